// The contract's fixture on the phone over desktop Win32: one prefix for the whole run, made a
// new phone before each test by deleting the phone's keys.
#include "contract.h"

#include "platform/win32/telephony_store.h"

namespace contract {

// The keys the tests create beside the phone's own.
const char kTestKeys[] = "SOFTWARE\\VelmoraContract";

void newPhone() {
    ASSERT_EQ(ERROR_SUCCESS, control::resetPhone({kTestKeys})) << control::problem();
}

void endPhone() {}

long long processId() {
    return GetCurrentProcessId();
}

// Every process reads the registry afresh.
void reopenPhone() {}

void deleteLineRecord(DWORD index) {
    std::vector<control::LineDevice> seeded;
    control::lineDevices(&seeded);
    ASSERT_EQ(ERROR_SUCCESS, winphone::deleteStateKey(winphone::lineKey(index)));
}

} // namespace contract
