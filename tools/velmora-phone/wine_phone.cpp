// A phone under Wine behind the console: the prefix's registry, read and changed by the Win32
// build's helper (velmora-state serve, wine_helper.h) running in the prefix. One helper answers
// the whole console run, so that the run pays for one Wine start; the programs the phone starts
// are started by the helper too, inside the same wine server. Every status is the helper's, as
// the Wine phone gave it.
#include "calendar.h"
#include "wine_helper.h"
#include "tools/shared/phone.h"
#include "tools/shared/protocol.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace phone {
namespace {

// Where `tools/run --wine` builds the Win32 programs (set by the build).
const char kDefaultWin32Folder[] = VELMORA_WIN32_BIN_DEFAULT;

// How long one program started on the phone may take before the helper ends it.
const char kStartLimitSeconds[] = "120";

using Row = WineHelper::Row;

std::string bytesOf(const std::string& hex) {
    std::string bytes;
    protocol::unhex(hex, &bytes);
    return bytes;
}

long long toNumber(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

class WinePhone final : public Phone {
  public:
    explicit WinePhone(std::string prefix) : prefix_(absolute(prefix)), helper_(prefix_) {}

    std::string where() const override { return prefix_; }
    std::string problem() const override { return helper_.problem(); }

    LONG open() override { return helper_.start(win32ProgramFolder()); }

    LONG readValue(const std::u16string& key, const std::u16string& name,
                   RegistryValue* out) override {
        std::vector<Row> rows;
        LONG status = call({"read", utf8Of(key), utf8Of(name)}, &rows, 2);
        if (status == ERROR_SUCCESS) {
            out->name = name;
            out->type = static_cast<DWORD>(toNumber(rows[0][0]));
            out->bytes = bytesOf(rows[0][1]);
        }
        return status;
    }

    LONG listValues(const std::u16string& key, std::vector<ListedValue>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"list", utf8Of(key)}, &rows, 4);
        for (const Row& r : rows) {
            ListedValue v;
            v.value.name = utf16Of(r[0]);
            v.value.type = static_cast<DWORD>(toNumber(r[1]));
            v.value.bytes = bytesOf(r[2]);
            v.status = static_cast<LONG>(toNumber(r[3]));
            if (v.status != ERROR_SUCCESS)
                v.value = RegistryValue{v.value.name, REG_NONE, {}};
            if (status == ERROR_SUCCESS && v.status != ERROR_SUCCESS)
                status = helper_.refuse(v.status, "'" + r[0] + "' cannot be read");
            out->push_back(std::move(v));
        }
        return status;
    }

    LONG writeValue(const std::u16string& key, const RegistryValue& value) override {
        return call({"write", utf8Of(key), utf8Of(value.name), std::to_string(value.type),
                     protocol::hex(value.bytes)});
    }

    LONG deleteValue(const std::u16string& key, const std::u16string& name) override {
        return call({"delete", utf8Of(key), utf8Of(name)});
    }

    LONG nextSwitchLine(std::string* line) override {
        std::vector<Row> rows;
        LONG status = call({"next"}, &rows, 1);
        if (status == ERROR_SUCCESS)
            *line = rows[0][0];
        return status;
    }

    LONG readClock(ClockReading* out) override {
        std::vector<Row> rows;
        LONG status = call({"clock"}, &rows, 2);
        if (status != ERROR_SUCCESS)
            return status;
        unsigned f[8] = {};
        if (std::sscanf(rows[0][1].c_str(), "%u %u %u %u %u %u %u %u", &f[0], &f[1], &f[2], &f[3],
                        &f[4], &f[5], &f[6], &f[7]) != 8)
            return helper_.refuse(ERROR_INVALID_DATA,
                                  "the helper's clock reads '" + rows[0][1] + "'");
        SYSTEMTIME& t = out->now;
        t.wYear = static_cast<WORD>(f[0]);
        t.wMonth = static_cast<WORD>(f[1]);
        t.wDay = static_cast<WORD>(f[2]);
        t.wHour = static_cast<WORD>(f[3]);
        t.wMinute = static_cast<WORD>(f[4]);
        t.wSecond = static_cast<WORD>(f[5]);
        t.wMilliseconds = static_cast<WORD>(f[6]);
        t.wDayOfWeek = static_cast<WORD>(f[7]);
        out->pinned = rows[0][0] == "1";
        return ERROR_SUCCESS;
    }

    LONG pinClock(const std::optional<SYSTEMTIME>& at) override {
        if (!at)
            return call({"pin"});
        if (!isValidDateTime(*at))
            return helper_.refuse(ERROR_INVALID_PARAMETER, "no such local time");
        return call({"pin", formatDateTime(*at)});
    }

    LONG messages(std::vector<MessageRecord>* out, long long afterId) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"messages", std::to_string(afterId)}, &rows, 6);
        for (const Row& r : rows)
            out->push_back({toNumber(r[0]), toNumber(r[1]), r[4], r[5],
                            static_cast<UINT>(toNumber(r[2])), static_cast<int>(toNumber(r[3]))});
        return status;
    }
    LONG lastMessageId(long long* id) override {
        std::vector<MessageRecord> all;
        LONG status = messages(&all, 0);
        *id = all.empty() ? 0 : all.back().id;
        return status;
    }
    LONG clearMessages() override { return call({"clear-messages"}); }
    LONG queueAnswer(int answer) override { return call({"answer", std::to_string(answer)}); }

    LONG lines(std::vector<LineDevice>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"lines"}, &rows, 6);
        for (const Row& r : rows)
            out->push_back({static_cast<DWORD>(toNumber(r[0])), r[1],
                            static_cast<DWORD>(toNumber(r[2])), static_cast<DWORD>(toNumber(r[3])),
                            r[4] == "1", r[5]});
        return status;
    }
    LONG line(DWORD index, LineDevice* out) override {
        std::vector<LineDevice> all;
        LONG status = lines(&all);
        if (status != ERROR_SUCCESS)
            return status;
        for (const LineDevice& d : all)
            if (d.index == index) {
                *out = d;
                return ERROR_SUCCESS;
            }
        return helper_.refuse(ERROR_BAD_UNIT, "the phone has no line " + std::to_string(index));
    }
    LONG setLineState(DWORD index, DWORD state) override {
        return call({"line-state", std::to_string(index), std::to_string(state)});
    }
    LONG setLineMedia(DWORD index, DWORD mediaModes) override {
        return call({"line-media", std::to_string(index), std::to_string(mediaModes)});
    }
    LONG setLineRegistered(DWORD index, bool registered) override {
        return call({"line-register", std::to_string(index), registered ? "1" : "0"});
    }
    LONG setLineFault(DWORD index, line_rules::LineOperation operation, LONG code) override {
        return call({"line-fault", std::to_string(index), line_rules::operationName(operation),
                     std::to_string(code)});
    }
    LONG healLine(DWORD index) override { return call({"line-heal", std::to_string(index)}); }
    LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index) override {
        std::vector<Row> rows;
        LONG status =
            call({"line-add", name, std::to_string(mediaModes), std::to_string(state)}, &rows, 1);
        if (status == ERROR_SUCCESS)
            *index = static_cast<DWORD>(toNumber(rows[0][0]));
        return status;
    }
    LONG removeLine(DWORD index) override { return call({"line-remove", std::to_string(index)}); }
    LONG setReinitAttempts(DWORD count) override { return call({"reinit", std::to_string(count)}); }
    LONG setReinitMilliseconds(DWORD ms) override {
        return call({"reinit-ms", std::to_string(ms)});
    }
    LONG setInitFault(LONG code) override { return call({"init-fault", std::to_string(code)}); }
    LONG telephonyStatus(TelephonyStatus* out) override {
        std::vector<Row> rows;
        LONG status = call({"telephony"}, &rows, 6);
        if (status == ERROR_SUCCESS) {
            const Row& r = rows[0];
            out->reinitAttempts = static_cast<DWORD>(toNumber(r[0]));
            out->reinitMilliseconds = static_cast<DWORD>(toNumber(r[1]));
            out->initFault = static_cast<LONG>(toNumber(r[2]));
            out->sessionsOpen = toNumber(r[3]);
            out->linesOpen = toNumber(r[4]);
            out->linesClosedByShutdown = toNumber(r[5]);
        }
        return status;
    }
    LONG openHandles(std::vector<OpenHandle>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"handles"}, &rows, 4);
        for (const Row& r : rows)
            out->push_back({toNumber(r[0]), r[1], toNumber(r[2]), toNumber(r[3])});
        return status;
    }
    LONG clearLeaks() override { return call({"clear-leaks"}); }
    LONG calls(std::vector<CallRecord>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"calls"}, &rows, 6);
        for (const Row& r : rows)
            out->push_back({toNumber(r[0]), r[1], toNumber(r[2]), static_cast<LONG>(toNumber(r[3])),
                            toNumber(r[4]), r[5]});
        return status;
    }
    LONG clearCalls() override { return call({"clear-calls"}); }

    LONG readTick(TickReading* out) override {
        std::vector<Row> rows;
        LONG status = call({"tick"}, &rows, 2);
        if (status == ERROR_SUCCESS) {
            out->count = static_cast<DWORD>(toNumber(rows[0][0]));
            out->virtualStep = rows[0][1] == "-"
                                   ? std::nullopt
                                   : std::optional<DWORD>(static_cast<DWORD>(toNumber(rows[0][1])));
        }
        return status;
    }
    LONG setVirtualTick(std::optional<DWORD> step, std::optional<DWORD> start) override {
        return call(
            {"set-tick", step ? std::to_string(*step) : "-", start ? std::to_string(*start) : "-"});
    }

    LONG pendingStarts(std::vector<PendingStart>* out) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"pending"}, &rows, 2);
        for (const Row& r : rows) {
            PendingStart p;
            p.path = hostPath(r[0]);
            p.text = r[1];
            p.valid = parseDateTime(p.text, &p.at);
            out->push_back(p);
        }
        return status;
    }
    LONG refusals(std::vector<Refusal>* out, long long afterId) override {
        out->clear();
        std::vector<Row> rows;
        LONG status = call({"refusals", std::to_string(afterId)}, &rows, 5);
        for (const Row& r : rows)
            out->push_back({toNumber(r[0]), toNumber(r[1]), hostPath(r[4]), r[3],
                            static_cast<DWORD>(toNumber(r[2]))});
        return status;
    }
    LONG lastRefusalId(long long* id) override {
        std::vector<Refusal> all;
        LONG status = refusals(&all, 0);
        *id = all.empty() ? 0 : all.back().id;
        return status;
    }
    LONG takeDueStart(const PendingStart& due, const std::optional<SYSTEMTIME>& pinAt) override {
        Row request = {"take", windowsPath(due.path), due.text};
        if (pinAt)
            request.push_back(formatDateTime(*pinAt));
        return call(request);
    }

    int runProgram(const std::string& path, const std::vector<std::string>& args,
                   const std::string& input, std::string* why, long long* processId,
                   std::string* output) override {
        why->clear();
        *processId = 0;
        Row request = {"start", kStartLimitSeconds, output ? "1" : "0", windowsPath(path), input};
        request.insert(request.end(), args.begin(), args.end());
        std::vector<Row> rows;
        LONG status = call(request, &rows, 4);
        if (status != ERROR_SUCCESS) {
            *why = "status " + std::to_string(status) +
                   (helper_.problem().empty() ? "" : ": " + helper_.problem());
            return -1;
        }
        int exitStatus = static_cast<int>(toNumber(rows[0][0]));
        *processId = toNumber(rows[0][1]);
        *why = rows[0][2];
        if (output)
            *output = rows[0][3];
        return exitStatus;
    }

    // Windows paths name one file however their letters are cased and slashes written.
    std::string programIdentity(const std::string& path) override {
        std::string id = windowsPath(path);
        for (char& c : id)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return id;
    }

    LONG resetPhone() override { return call({"reset"}); }

  private:
    LONG call(const Row& request, std::vector<Row>* rows = nullptr, size_t fields = 0) {
        return helper_.call(request, rows, fields);
    }

    // A path on drive Z:, which Wine maps to the host's root, as the host names it; any other
    // as the phone holds it. windowsPath() gives the phone's name back exactly.
    static std::string hostPath(const std::string& path) {
        if (path.rfind("Z:\\", 0) != 0 || path.find('/') != std::string::npos)
            return path;
        std::string out = path.substr(2);
        for (char& c : out)
            if (c == '\\')
                c = '/';
        return out;
    }

    // A host path as the phone names it: Wine's drive Z: is the host's root.
    static std::string windowsPath(const std::string& path) {
        if (path.empty() || path[0] != '/')
            return path;
        std::string out = "Z:" + path;
        for (char& c : out)
            if (c == '/')
                c = '\\';
        return out;
    }

    std::string prefix_;
    WineHelper helper_;
};

} // namespace

std::string win32ProgramFolder() {
    const char* bin = std::getenv("VELMORA_WIN32_BIN");
    return bin && *bin ? absolute(bin) : std::string(kDefaultWin32Folder);
}

std::unique_ptr<Phone> winePhone(const std::string& prefix) {
    return std::make_unique<WinePhone>(prefix);
}

} // namespace phone
