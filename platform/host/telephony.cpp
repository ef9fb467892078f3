// The simulated phone's telephony: the calls whose declarations are the simulated platform's own
// (the shared rules answer them, platform/phone/telephony.cpp), and the phone's lines as the
// console and the tests read and change them.
#include "telephony_store.h"

#include "platform/phone/telephony.h"

namespace host {

// ---- The phone's lines, for the console and tests ----

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

LONG lineDevice(DWORD index, LineDevice* out) {
    std::vector<LineDevice> all;
    LONG status = lineDevices(&all);
    for (LineDevice& d : all)
        if (d.index == index) {
            *out = std::move(d);
            return ERROR_SUCCESS;
        }
    return status != ERROR_SUCCESS
               ? status
               : refuse(ERROR_BAD_UNIT, "the phone has no line " + std::to_string(index));
}

LONG setLineState(DWORD index, DWORD state) {
    if (state < LINEEQUIPSTATE_MINIMUM || state > LINEEQUIPSTATE_FULL)
        return refuse(ERROR_INVALID_PARAMETER, "an equipment state is 1 to 5");
    return updateLine(index, "state", state);
}

LONG setLineMedia(DWORD index, DWORD mediaModes) {
    return updateLine(index, "media", mediaModes);
}

LONG setLineRegistered(DWORD index, bool registered) {
    return updateLine(index, "registered", registered ? 1 : 0);
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
    long long count = status == ERROR_SUCCESS ? deviceCount() : -1;
    for (long long i = index + 1; status == ERROR_SUCCESS && i <= count; ++i) {
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

LONG setReinitAttempts(DWORD count) {
    return setSetting("telephony.reinit_attempts",
                      count ? std::optional<std::string>(std::to_string(count)) : std::nullopt);
}

LONG setReinitMilliseconds(DWORD ms) {
    LONG status = setSetting("telephony.reinit_since", std::nullopt);
    if (status != ERROR_SUCCESS)
        return status;
    return setSetting("telephony.reinit_ms",
                      ms ? std::optional<std::string>(std::to_string(ms)) : std::nullopt);
}

LONG setInitFault(LONG code) {
    if (code > 0)
        return refuse(ERROR_INVALID_PARAMETER, "a failing lineInitialize answers a negative code");
    return setSetting("telephony.init_fault",
                      code ? std::optional<std::string>(std::to_string(code)) : std::nullopt);
}

LONG telephonyStatus(TelephonyStatus* out) {
    TelephonyStatus s;
    std::optional<long long> attempts, ms, fault, closed;
    LONG status = numberSetting("telephony.reinit_attempts", &attempts, 0, 0xFFFFFFFFll);
    if (status == ERROR_SUCCESS)
        status = numberSetting("telephony.reinit_ms", &ms, 0, 0xFFFFFFFFll);
    if (status == ERROR_SUCCESS)
        status = numberSetting("telephony.init_fault", &fault, INT32_MIN, 0);
    if (status == ERROR_SUCCESS)
        status = numberSetting("telephony.closed_by_shutdown", &closed, 0, INT64_MAX);
    std::vector<Row> rows;
    if (status == ERROR_SUCCESS)
        status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT kind, COUNT(*) FROM telephony_handles GROUP BY kind", {}, &rows);
    s.reinitAttempts = static_cast<DWORD>(attempts.value_or(0));
    s.reinitMilliseconds = static_cast<DWORD>(ms.value_or(0));
    s.initFault = static_cast<LONG>(fault.value_or(0));
    s.linesClosedByShutdown = closed.value_or(0);
    for (Row& r : rows) {
        std::string kind = r.text(0);
        long long count = r.integer(1);
        if (r.status() != ERROR_SUCCESS)
            status = r.status();
        else
            (kind == "session" ? s.sessionsOpen : s.linesOpen) += count;
    }
    *out = s;
    return status;
}

LONG openTelephonyHandles(std::vector<TelephonyHandle>* out) {
    std::vector<Row> rows;
    out->clear();
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT pid, kind, handle, device FROM telephony_handles "
                         "ORDER BY pid, handle",
                         {}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return TelephonyHandle{r.integer(0), r.text(1), r.integer(2),
                               r.integerOrNull(3).value_or(-1)};
    });
}

LONG clearTelephonyLeaks() {
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("DELETE FROM telephony_handles");
    if (status == ERROR_SUCCESS)
        status = setSetting("telephony.closed_by_shutdown", std::nullopt);
    return status;
}

void writeWaitingCallEntries() {
    writeWaitingEntriesNow();
}

LONG telephonyCalls(std::vector<TelephonyCall>* out) {
    std::vector<Row> rows;
    out->clear();
    writeWaitingEntriesNow();
    LONG status = telephonyReady();
    if (status == ERROR_SUCCESS)
        status = execute("SELECT pid, call, device, result, count, arguments "
                         "FROM telephony_call_log ORDER BY id",
                         {}, &rows);
    return collectRows(status, rows, out, [](Row& r) {
        return TelephonyCall{r.integer(0), r.text(1),    r.integerOrNull(2).value_or(-1),
                             r.int32(3),   r.integer(4), r.text(5)};
    });
}

LONG clearTelephonyCalls() {
    // What waits was called before the log is cleared.
    dropWaitingEntries();
    LONG status = telephonyReady();
    return status == ERROR_SUCCESS ? execute("DELETE FROM telephony_call_log") : status;
}

} // namespace host

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
