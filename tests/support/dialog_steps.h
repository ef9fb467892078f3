// Runs a dialog with a front-end that performs the given steps, one per input, then runs out;
// and builds the controls of test dialogs.
#ifndef VELMORA_TESTS_DIALOG_STEPS_H
#define VELMORA_TESTS_DIALOG_STEPS_H

#include "platform/host/dialog_manager.h"

#include <functional>
#include <memory>
#include <vector>

using DialogStep = std::function<void(host::Dialog&)>;

class StepFrontEnd : public host::DialogFrontEnd {
  public:
    explicit StepFrontEnd(std::vector<DialogStep> steps) : steps_(std::move(steps)) {}
    bool step(host::Dialog& d) override {
        if (next_ >= steps_.size())
            return false;
        steps_[next_++](d);
        return true;
    }

  private:
    std::vector<DialogStep> steps_;
    size_t next_ = 0;
};

// Installs the steps as the front-end of the dialogs run until the guard goes.
struct StepsInstalled {
    explicit StepsInstalled(std::vector<DialogStep> steps) {
        host::setDialogFrontEnd(std::make_shared<StepFrontEnd>(std::move(steps)));
    }
    ~StepsInstalled() { host::setDialogFrontEnd(nullptr); }
};

// A visible child control of a test dialog's template.
inline host::DialogItem dialogItem(WORD id, const char16_t* cls, const char16_t* text, DWORD style,
                                   short x, short y, short cx, short cy) {
    host::DialogItem i;
    i.id = id;
    i.className = cls;
    i.text = text;
    i.style = WS_CHILD | WS_VISIBLE | style;
    i.x = x;
    i.y = y;
    i.cx = cx;
    i.cy = cy;
    return i;
}

#endif
