// The simulated phone's timed-start service where its store fails it (the service's rules are
// the contract's, tests/platform/contract/timed_start_test.cpp).
#include "phone_fixture.h"

#include <cstdlib>

namespace {

SYSTEMTIME at(const char* text) {
    SYSTEMTIME t{};
    EXPECT_TRUE(host::parseDateTime(text, &t)) << text;
    return t;
}

class TimedStart : public TempPhone {};

TEST_F(TimedStart, AStoreThatCannotBeOpenedFailsWithItsStatus) {
    setenv("VELMORA_PHONE", dir.c_str(), 1); // a folder is no store
    host::closeStore();
    SYSTEMTIME good = at("2026-12-13 07:00");
    const SYSTEMTIME* times[] = {&good, nullptr};
    for (const SYSTEMTIME* time : times) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CeRunAppAtTime(u"/phone/velmora", time));
        EXPECT_NE(0xdeadbeefu, GetLastError());
        EXPECT_NE(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
}

} // namespace
