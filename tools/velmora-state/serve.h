// velmora-state serve: the helper that answers a console run's requests (serve.cpp), its
// requests on the phone's state (serve_state.cpp) and its start of the phone's programs
// (serve_start.cpp).
#ifndef VELMORA_TOOLS_STATE_SERVE_H
#define VELMORA_TOOLS_STATE_SERVE_H

#include "helper.h"

#include <string>
#include <vector>

namespace serve_requests {

using Fields = std::vector<std::string>;

// A whole decimal number; false for anything else.
bool number(const std::string& text, long long* out);

// The answer being written: data lines as they come, the closing line last.
class Reply {
  public:
    void line(const Fields& fields);
    void close(LONG status, const std::string& why = {});
    // Closes with a control's status, and its reason when it failed.
    void done(LONG status);

  private:
    std::string text;
};

// A request: its fields, the command's name first.
using Request = void (*)(const Fields&, Reply&);

// ---- The phone's state (serve_state.cpp) ----
void readValue(const Fields& f, Reply& r);
void listValues(const Fields& f, Reply& r);
void writeValue(const Fields& f, Reply& r);
void deleteValue(const Fields& f, Reply& r);
void nextSwitch(const Fields& f, Reply& r);
void clock(const Fields& f, Reply& r);
void pin(const Fields& f, Reply& r);
void messages(const Fields& f, Reply& r);
void lines(const Fields& f, Reply& r);
void lineChange(const Fields& f, Reply& r);
void lineOther(const Fields& f, Reply& r);
void telephony(const Fields& f, Reply& r);
void tick(const Fields& f, Reply& r);
void starts(const Fields& f, Reply& r);
void phone(const Fields& f, Reply& r);

// ---- The phone's programs (serve_start.cpp) ----
// start LIMIT-SECONDS CATCH PATH INPUT [ARG...]
void start(const Fields& f, Reply& r);

} // namespace serve_requests

// Answers requests on standard input until its end; the exit status.
int serve();

#endif
