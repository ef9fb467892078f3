// The simulated phone's telephony: the calls whose declarations are the simulated platform's own
// (the shared rules answer them, platform/phone/telephony.cpp), and the controls of the lines,
// the open handles and the call log that only the store can answer (platform/phone/control.h).
#include "telephony_store.h"

#include "platform/phone/telephony.h"

namespace host {

void writeWaitingCallEntries() {
    writeWaitingEntriesNow();
}

} // namespace host

namespace control {

using namespace host;

LONG lineDevices(std::vector<LineDevice>* out) {
    std::vector<Row> rows, faults;
    out->clear();
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT idx, name, media, state, registered FROM line_devices "
                         "ORDER BY idx",
                         {}, &rows);
    if (status == ERROR_SUCCESS)
        status = execute("SELECT idx, operation, code FROM line_faults ORDER BY idx, operation", {},
                         &faults);
    if (status != ERROR_SUCCESS)
        return status;
    struct Fault {
        long long device;
        std::string text;
    };
    std::vector<Fault> readable;
    status = collectRows(status, faults, &readable, [](Row& f) {
        long long device = f.integer(0);
        std::string operation = f.text(1);
        return Fault{device, operation + '=' + std::to_string(f.int32(2))};
    });
    return collectRows(status, rows, out, [&readable](Row& r) {
        LineDevice d = deviceFromRow(r);
        for (const Fault& f : readable) {
            if (f.device != d.index)
                continue;
            if (!d.faults.empty())
                d.faults += ',';
            d.faults += f.text;
        }
        if (d.faults.empty())
            d.faults.push_back('-');
        return d;
    });
}

LONG setLineFault(DWORD index, line_rules::LineOperation operation, LONG code) {
    if (code >= 0)
        return refuse(ERROR_INVALID_PARAMETER, "a fault is a failing code on a known operation");
    LONG status = phone_state::findDevice(index);
    if (status != ERROR_SUCCESS)
        return status;
    return execute("INSERT OR REPLACE INTO line_faults(idx, operation, code) VALUES(?, ?, ?)",
                   {Param::integer(index), Param::str(line_rules::operationName(operation)),
                    Param::integer(code)});
}

LONG healLine(DWORD index) {
    LONG status = phone_state::findDevice(index);
    if (status != ERROR_SUCCESS)
        return status;
    return execute("DELETE FROM line_faults WHERE idx = ?", {Param::integer(index)});
}

LONG addLine(const std::string& name, DWORD mediaModes, DWORD state, DWORD* index) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL || name.empty())
        return refuse(ERROR_INVALID_PARAMETER, "a line needs a name and a state from 1 to 5");
    std::vector<Row> rows;
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("INSERT INTO line_devices(idx, name, media, state, registered) "
                         "SELECT COALESCE(MAX(idx) + 1, 0), ?, ?, ?, ? FROM line_devices "
                         "RETURNING idx",
                         {Param::str(name), Param::integer(mediaModes), Param::integer(state),
                          Param::integer(state == LINEEQUIPSTATE_FULL ? 1 : 0)},
                         &rows);
    if (status != ERROR_SUCCESS)
        return status;
    *index = rows.at(0).dword(0);
    return rows[0].status();
}

LONG removeLine(DWORD index) {
    LONG status = phone_state::findDevice(index);
    if (status != ERROR_SUCCESS)
        return status;
    // Device ids stay 0..count-1: the devices above move down one. Shifting upwards in
    // descending order would collide, so the rows are moved one by one in ascending order.
    status = execute("BEGIN IMMEDIATE");
    if (status != ERROR_SUCCESS)
        return status;
    status = execute("DELETE FROM line_devices WHERE idx = ?", {Param::integer(index)});
    if (status == ERROR_SUCCESS)
        status = execute("DELETE FROM line_faults WHERE idx = ?", {Param::integer(index)});
    // Every device above moves, past a gap a person may have left too.
    long long highest = -1;
    if (status == ERROR_SUCCESS)
        status = queryInteger("SELECT COALESCE(MAX(idx), -1) FROM line_devices", {}, &highest);
    for (long long i = index + 1; status == ERROR_SUCCESS && i <= highest; ++i) {
        status =
            execute("UPDATE line_devices SET idx = idx - 1 WHERE idx = ?", {Param::integer(i)});
        if (status == ERROR_SUCCESS)
            status =
                execute("UPDATE line_faults SET idx = idx - 1 WHERE idx = ?", {Param::integer(i)});
    }
    if (status == ERROR_SUCCESS)
        status = execute("COMMIT");
    if (status != ERROR_SUCCESS) {
        std::string why = storeProblem();
        execute("ROLLBACK");
        refuse(status, why);
    }
    return status;
}

LONG openHandles(std::vector<OpenHandle>* out) {
    std::vector<Row> rows;
    out->clear();
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT pid, kind, handle, device FROM telephony_handles "
                         "ORDER BY pid, handle",
                         {}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return OpenHandle{r.integer(0), r.text(1), r.integer(2), r.integerOrNull(3).value_or(-1)};
    });
}

LONG clearLeaks() {
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("DELETE FROM telephony_handles");
    if (status == ERROR_SUCCESS)
        status = setSetting("telephony.closed_by_shutdown", std::nullopt);
    return status;
}

LONG callLog(std::vector<CallRecord>* out) {
    std::vector<Row> rows;
    out->clear();
    writeWaitingEntriesNow();
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT pid, call, device, result, count, arguments "
                         "FROM telephony_call_log ORDER BY id",
                         {}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return CallRecord{r.integer(0), r.text(1),    r.integerOrNull(2).value_or(-1),
                          r.int32(3),   r.integer(4), r.text(5)};
    });
}

LONG clearCallLog() {
    // What waits was called before the log is cleared.
    dropWaitingEntries();
    LONG status = telephonyReady();
    return status == ERROR_SUCCESS ? execute("DELETE FROM telephony_call_log") : status;
}

} // namespace control

LONG WINAPI lineInitialize(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, LPCWSTR,
                           LPDWORD lpdwNumDevs) {
    return phone_telephony::initialize(lphLineApp, lpfnCallback, lpdwNumDevs);
}

LONG WINAPI lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                           DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps) {
    return phone_telephony::devCaps(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                    lpLineDevCaps);
}

LONG WINAPI lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                     DWORD dwExtVersion, DWORD_PTR, DWORD dwPrivileges, DWORD dwMediaModes,
                     LPLINECALLPARAMS const) {
    return phone_telephony::open(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion,
                                 dwPrivileges, dwMediaModes);
}
