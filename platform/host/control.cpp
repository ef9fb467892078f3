// The controls of the simulated phone itself (platform/phone/control.h): where its store is,
// opening and letting go of it, the reason of the last failure, a new phone, and values stored
// with their exact bytes. The phone's state is in the store, not in its registry.
#include "host.h"

#include "platform/phone/control.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace control {

std::string where() {
    return host::storePath();
}

LONG openPhone() {
    LONG status = ERROR_SUCCESS;
    host::store(&status);
    return status;
}

void closePhone() {
    host::closeStore();
}

void echoBadValues(bool enabled) {
    host::echoBadRows(enabled);
}

const std::string& problem() {
    return host::storeProblem();
}

LONG noteProblem(LONG status, std::string why) {
    return host::refuse(status, std::move(why));
}

// The whole store goes, program keys and all: its next use makes a new phone.
LONG resetPhone(const std::vector<std::string>&) {
    host::closeStore();
    const std::string path = host::storePath();
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const std::string file = path + suffix;
        if (unlink(file.c_str()) != 0 && errno != ENOENT)
            return host::refuse(errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED
                                                                  : ERROR_CANTWRITE,
                                file + ": " + std::strerror(errno));
    }
    return ERROR_SUCCESS;
}

LONG backupPhone(const std::string& file) {
    return host::backupStore(file);
}

LONG restorePhone(const std::string& file) {
    return host::restoreStore(file);
}

LONG storeValue(const std::string& key, const std::string& name, DWORD type,
                const std::string& bytes) {
    HKEY handle;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, host::fromUtf8(key).c_str(), 0, nullptr, 0, 0,
                                  nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExW(handle, host::fromUtf8(name).c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size()));
    RegCloseKey(handle);
    return status;
}

std::string valueProblem(const std::string&, const std::string&, DWORD, const std::string&) {
    return {};
}

} // namespace control
