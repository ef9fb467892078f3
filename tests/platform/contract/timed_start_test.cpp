// The timed-start service through the seam: one pending start per executable, replaced,
// cancelled, or refused whole.
#include "contract.h"

namespace {

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second = 0) {
    SYSTEMTIME t;
    memset(&t, 0, sizeof t);
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

const LPCWSTR kApp = TEXT("C:\\Program Files\\Velmora\\velmora.exe");
const LPCWSTR kOther = TEXT("C:\\Program Files\\Other\\other.exe");

class TimedStart : public Seam {};

TEST_F(TimedStart, RegisterReplaceAndCancel) {
    SYSTEMTIME first = at(2026, 12, 13, 0, 0), second = at(2026, 12, 13, 7, 0);
    first.wDayOfWeek = 4; // the caller's weekday is not the date's: the date counts

    SetLastError(contract::kMarker);
    EXPECT_TRUE(CeRunAppAtTime(kApp, nullptr)) << "cancelling with nothing pending is no failure";
    EXPECT_EQ(contract::kMarker, GetLastError());
    EXPECT_EQ("none", contract::pendingStart(kApp));

    ASSERT_TRUE(CeRunAppAtTime(kApp, &first));
    EXPECT_EQ("2026-12-13 00:00:00", contract::pendingStart(kApp));
    ASSERT_TRUE(CeRunAppAtTime(kOther, &first));
    ASSERT_TRUE(CeRunAppAtTime(kApp, &second));
    EXPECT_EQ(contract::kMarker, GetLastError()) << "success leaves the last error alone";
    EXPECT_EQ("2026-12-13 07:00:00", contract::pendingStart(kApp)) << "the newer one replaces it";
    EXPECT_EQ("2026-12-13 00:00:00", contract::pendingStart(kOther));

    ASSERT_TRUE(CeRunAppAtTime(kApp, nullptr));
    EXPECT_EQ("none", contract::pendingStart(kApp));
    EXPECT_EQ("2026-12-13 00:00:00", contract::pendingStart(kOther)) << "only its own is cancelled";
}

TEST_F(TimedStart, ImpossibleTimesAreRefusedAndThePendingStartStays) {
    const SYSTEMTIME refused[] = {
        at(2026, 12, 14, 25, 0), // a stored minute of 1500
        at(2026, 12, 14, 24, 0), at(2026, 12, 14, 7, 60), at(2026, 12, 14, 7, 0, 60),
        at(2026, 0, 14, 7, 0),   at(2026, 13, 14, 7, 0),  at(2026, 4, 31, 7, 0),
        at(2007, 2, 29, 7, 0),   at(2100, 2, 29, 7, 0),   at(2026, 12, 0, 7, 0),
        at(2026, 1, 32, 7, 0),
    };
    SYSTEMTIME good = at(2026, 12, 13, 7, 0);
    ASSERT_TRUE(CeRunAppAtTime(kApp, &good));
    for (const SYSTEMTIME& t : refused) {
        SCOPED_TRACE(testing::Message() << t.wYear << "-" << t.wMonth << "-" << t.wDay << " "
                                        << t.wHour << ":" << t.wMinute << ":" << t.wSecond);
        SetLastError(contract::kMarker);
        EXPECT_FALSE(CeRunAppAtTime(kApp, &t));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        EXPECT_EQ("2026-12-13 07:00:00", contract::pendingStart(kApp));
    }
    for (LPCWSTR path : {static_cast<LPCWSTR>(nullptr), TEXT("")}) {
        SetLastError(contract::kMarker);
        EXPECT_FALSE(CeRunAppAtTime(path, &good));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        EXPECT_FALSE(CeRunAppAtTime(path, nullptr));
    }
    EXPECT_EQ("2026-12-13 07:00:00", contract::pendingStart(kApp));

    const SYSTEMTIME accepted[] = {at(2008, 2, 29, 23, 59, 59), at(2000, 2, 29, 0, 0),
                                   at(2026, 12, 31, 0, 0)};
    for (const SYSTEMTIME& t : accepted)
        EXPECT_TRUE(CeRunAppAtTime(kApp, &t)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
    EXPECT_EQ("2026-12-31 00:00:00", contract::pendingStart(kApp));
}

} // namespace
