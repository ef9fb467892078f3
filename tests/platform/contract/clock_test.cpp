// The clock and the tick count through the seam: a pinned local time is what every reading
// gives, and a virtual tick count advances by its step with each reading.
#include "contract.h"

#include <cstring>

namespace {

class Clock : public Seam {};

TEST_F(Clock, APinnedTimeIsEveryReading) {
    ASSERT_TRUE(contract::pinClock("2008-02-27 06:59:30"));
    for (int reading = 0; reading < 2; ++reading) {
        SYSTEMTIME now;
        memset(&now, contract::kMarkerByte, sizeof now);
        GetLocalTime(&now);
        EXPECT_EQ(2008, now.wYear);
        EXPECT_EQ(2, now.wMonth);
        EXPECT_EQ(27, now.wDay);
        EXPECT_EQ(3, now.wDayOfWeek) << "a Wednesday, the date's own weekday";
        EXPECT_EQ(6, now.wHour);
        EXPECT_EQ(59, now.wMinute);
        EXPECT_EQ(30, now.wSecond);
        EXPECT_EQ(0, now.wMilliseconds);
    }

    EXPECT_FALSE(contract::pinClock("2023-02-29 10:00")) << "no such day";
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(2008, now.wYear) << "a refused pin leaves the clock pinned where it was";

    ASSERT_TRUE(contract::pinClock(nullptr));
    memset(&now, contract::kMarkerByte, sizeof now);
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024) << "the platform's own time again";
    EXPECT_LE(now.wMonth, 12);
    EXPECT_LE(now.wDayOfWeek, 6);
    EXPECT_LE(now.wHour, 23);
}

TEST_F(Clock, AVirtualTickCountAdvancesByItsStepAndWraps) {
    ASSERT_EQ(ERROR_SUCCESS, control::setVirtualTick(250, 0xFFFFFF00u));
    EXPECT_EQ(0xFFFFFFFAu, GetTickCount());
    EXPECT_EQ(0xF4u, GetTickCount());
    EXPECT_EQ(0x1EEu, GetTickCount());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, control::setVirtualTick(0, 0))
        << "a count that never moves is refused";
    EXPECT_EQ(0x2E8u, GetTickCount());
}

} // namespace
