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

} // namespace contract
