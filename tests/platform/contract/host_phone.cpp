// The contract's fixture on the simulated phone: a fresh store per test.
#include "contract.h"

#include "platform/host/host.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace contract {

namespace {
std::string phoneDir;
}

void newPhone() {
    if (!phoneDir.empty())
        endPhone();
    char folder[] = "/tmp/velmora-contract-XXXXXX";
    phoneDir = mkdtemp(folder);
    setenv("VELMORA_PHONE", (phoneDir + "/phone.db").c_str(), 1);
    control::closePhone();
    host::setTerminalPrompts(false);
}

void endPhone() {
    control::closePhone();
    unsetenv("VELMORA_PHONE");
    std::filesystem::remove_all(phoneDir);
    phoneDir.clear();
}

long long processId() {
    return getpid();
}

void reopenPhone() {
    control::closePhone();
}

void deleteLineRecord(DWORD index) {
    std::vector<control::LineDevice> seeded;
    control::lineDevices(&seeded);
    ASSERT_EQ(ERROR_SUCCESS, host::execute("DELETE FROM line_devices WHERE idx = ?",
                                           {host::Param::integer(index)}));
}

} // namespace contract
