// The simulated phone's side of the dialog script: its lines, read one at a time from a stream
// (standard input when no terminal shows the dialog), and what the script needs that no window
// call gives: this process's answer queue for message boxes, and the phone's keys. The
// simulated phone has no screen, so it takes no pictures.
#include "dialog_manager.h"
#include "host.h"
#include "platform/dialog_script.h"

#include <istream>
#include <ostream>

namespace host {
namespace {

class ScriptFrontEnd : public DialogFrontEnd {
  public:
    ScriptFrontEnd(std::istream& in, std::ostream& out, std::ostream& err)
        : in_(in), out_(out), err_(err) {}
    bool step(Dialog& dialog) override {
        std::string line;
        if (!std::getline(in_, line))
            return false;
        std::string output, error;
        if (!runDialogScriptLine(dialog.handle, line, &output, &error))
            err_ << "velmora: " << error << std::endl;
        out_ << output << std::flush;
        return true;
    }

  private:
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace

std::shared_ptr<DialogFrontEnd> makeScriptFrontEnd(std::istream& in, std::ostream& out,
                                                   std::ostream& err) {
    return std::make_shared<ScriptFrontEnd>(in, out, err);
}

} // namespace host

// The dialog's end takes back what no box used (see runDialog).
void dialogScriptAnswer(int answer) {
    host::queueProcessAnswer(answer);
}

bool dialogScriptSnap(HWND, std::string_view, std::string* error) {
    *error = "snap: the simulated phone has no screen to take a picture of";
    return false;
}

bool dialogScriptKey(HWND dialog, std::string_view name, std::string* error) {
    host::Dialog* d = host::runningDialog(dialog);
    if (!d) {
        *error = "the dialog is not running";
        return false;
    }
    return host::pressKey(*d, name, error);
}
