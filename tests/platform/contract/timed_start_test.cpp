// The timed-start service through the seam: one pending start per executable, replaced,
// cancelled, or refused whole; what it refused, kept by the service; starts listed earliest
// first, and taken off as they fire.
#include "contract.h"

#include "platform/phone/timed_start.h"

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

// A start as the phone's runner names it when it fires.
timed_start_state::PendingStart due(LPCWSTR path, const char* when) {
    timed_start_state::PendingStart start;
    start.path = timed_start_state::storedPath(path);
    start.text = when;
    return start;
}

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

// The service records each registration it refused, with the error the caller got, oldest
// first; a registration it took is not in it, and only the latest hundred are kept.
TEST_F(TimedStart, RefusalsAreRecordedAndTheLatestHundredKept) {
    SYSTEMTIME good = at(2026, 12, 13, 7, 0), hour25 = at(2026, 12, 14, 25, 0);
    struct Case {
        LPCWSTR path;
        const SYSTEMTIME* time;
        const char* refused; // the time the record holds; nullptr when the call is taken
        const char* path8;
    } cases[] = {
        {kApp, &good, nullptr, ""},
        {kApp, &hour25, "2026-12-14 25:00:00", "C:\\Program Files\\Velmora\\velmora.exe"},
        {kApp, nullptr, nullptr, ""},
        {TEXT(""), &good, "2026-12-13 07:00:00", ""},
        {nullptr, nullptr, "", ""},
    };
    size_t recorded = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path8);
        SCOPED_TRACE(c.refused ? c.refused : "taken");
        SetLastError(contract::kMarker);
        EXPECT_EQ(c.refused == nullptr, CeRunAppAtTime(c.path, c.time) != FALSE);
        std::vector<control::Refusal> all = contract::refusals();
        ASSERT_EQ(recorded + (c.refused ? 1 : 0), all.size());
        if (!c.refused)
            continue;
        recorded = all.size();
        EXPECT_EQ(c.path8, all.back().path);
        EXPECT_EQ(c.refused, all.back().at);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), all.back().error);
        EXPECT_EQ(GetLastError(), all.back().error);
        EXPECT_EQ(contract::processId(), all.back().pid);
    }

    const int more = static_cast<int>(phone_timed_start::kRefusalsKept);
    for (int i = 0; i < more; ++i) {
        SYSTEMTIME minute =
            at(2026, 12, 14, 25, static_cast<WORD>(i % 60), static_cast<WORD>(i / 60));
        ASSERT_FALSE(CeRunAppAtTime(kOther, &minute));
    }
    std::vector<control::Refusal> kept = contract::refusals();
    ASSERT_EQ(static_cast<size_t>(more), kept.size());
    for (const control::Refusal& r : kept)
        ASSERT_EQ("C:\\Program Files\\Other\\other.exe", r.path) << "the earlier ones are gone";
    EXPECT_EQ("2026-12-14 25:00:00", kept.front().at) << "the oldest of the latest hundred";
    EXPECT_EQ("2026-12-14 25:39:01", kept.back().at);
}

TEST_F(TimedStart, AFiredStartIsTakenOffUnlessRegisteredAgain) {
    SYSTEMTIME first = at(2026, 12, 13, 0, 0), second = at(2026, 12, 13, 7, 0);
    ASSERT_TRUE(CeRunAppAtTime(kApp, &first));
    ASSERT_TRUE(CeRunAppAtTime(kOther, &first));
    ASSERT_TRUE(CeRunAppAtTime(kApp, &second)); // as the program does when it runs
    EXPECT_EQ(ERROR_SUCCESS, phone_timed_start::takePendingStart(due(kApp, "2026-12-13 00:00:00")));
    EXPECT_EQ("2026-12-13 07:00:00", contract::pendingStart(kApp)) << "registered again: it stays";
    EXPECT_EQ(ERROR_SUCCESS, phone_timed_start::takePendingStart(due(kApp, "2026-12-13 07:00:00")));
    EXPECT_EQ("none", contract::pendingStart(kApp));
    EXPECT_EQ(ERROR_SUCCESS, phone_timed_start::takePendingStart(due(kApp, "2026-12-13 07:00:00")))
        << "a start taken already is no failure";
    EXPECT_EQ("2026-12-13 00:00:00", contract::pendingStart(kOther)) << "only its own is taken";
}

TEST_F(TimedStart, StartsAreListedEarliestFirstWithTheDatesWeekday) {
    const LPCWSTR kEarly = TEXT("C:\\Program Files\\Zeta\\early.exe");
    SYSTEMTIME sunday = at(2026, 12, 13, 0, 0), later = at(2026, 12, 13, 7, 0);
    sunday.wDayOfWeek = 4;
    ASSERT_TRUE(CeRunAppAtTime(kApp, &later));
    ASSERT_TRUE(CeRunAppAtTime(kEarly, &sunday));
    ASSERT_TRUE(CeRunAppAtTime(kOther, &later));
    std::vector<timed_start_state::PendingStart> all;
    ASSERT_EQ(ERROR_SUCCESS, phone_timed_start::pendingStarts(&all));
    const LPCWSTR order[] = {kEarly, kOther, kApp}; // by time, then by path
    ASSERT_EQ(3u, all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_TRUE(timed_start_state::storedPath(order[i]) == all[i].path) << i;
        EXPECT_TRUE(all[i].valid) << i;
        EXPECT_EQ(ERROR_SUCCESS, all[i].status) << i;
    }
    EXPECT_EQ("2026-12-13 00:00:00", all[0].text);
    EXPECT_EQ(0, all[0].at.wDayOfWeek) << "a Sunday, whatever the caller said";
}

} // namespace
