// The Wine phone's helper as the console runs it: velmora-state.exe serve, started once in the
// prefix through tools/wine-prefix, asked one request at a time over its pipes
// (tools/shared/protocol.h), and ended with the console, with the prefix's wine server when this
// run started it.
#ifndef VELMORA_TOOLS_PHONE_WINE_HELPER_H
#define VELMORA_TOOLS_PHONE_WINE_HELPER_H

#include "platform/platform.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace phone {

class WineHelper {
  public:
    using Row = std::vector<std::string>;

    explicit WineHelper(std::string prefix) : prefix_(std::move(prefix)) {}
    ~WineHelper() { stop(); }
    WineHelper(const WineHelper&) = delete;
    WineHelper& operator=(const WineHelper&) = delete;

    // Starts the helper of the Win32 build in `bin` and greets it: ERROR_FILE_NOT_FOUND when
    // the build or the prefix routine is missing, ERROR_OPEN_FAILED when it cannot be started,
    // ERROR_REVISION_MISMATCH when it speaks another protocol, else the greeting's status.
    LONG start(const std::string& bin);
    // Sends one request and reads its answer: the data lines into `rows` (each with at least
    // `fields` fields), and the closing line's status, with its reason kept for problem().
    // ERROR_BROKEN_PIPE when the helper is not running or ends, ERROR_INVALID_DATA for an
    // answer outside the protocol.
    LONG call(const Row& request, std::vector<Row>* rows = nullptr, size_t fields = 0);
    // Ends the helper, and the wine server when this run started it.
    void stop();

    // The reason the last answer gave, or why the helper could not answer.
    const std::string& problem() const { return problem_; }
    // Keeps a reason of the caller's own and gives back `status`.
    LONG refuse(LONG status, std::string why) {
        problem_ = std::move(why);
        return status;
    }

  private:
    bool readLine(std::string* line);
    LONG lost();
    std::vector<std::string> environment() const;
    bool serverRunning() const;
    void stopServer() const;

    std::string prefix_;
    std::string problem_;
    std::string buffer_;
    pid_t helper_ = 0;
    int to_ = -1, from_ = -1;
    bool serverWasRunning_ = true;
};

} // namespace phone

#endif
