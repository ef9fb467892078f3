// Bounded wide formatting and the string helpers.
#include "phone_fixture.h"

#include <climits>

namespace {

TEST(Formatting, Conversions) {
    WCHAR out[64];
    EXPECT_EQ(S_OK, StringCchPrintfW(out, 64, u"%s\nNo : %d", u"寫入！", 5));
    EXPECT_EQ("寫入！\nNo : 5", host::toUtf8(out));
    EXPECT_EQ(S_OK, StringCchPrintfW(out, 64, u"Next : %d/%d/%d %d:%02d ", 2006, 3, 12, 7, 0));
    EXPECT_EQ("Next : 2006/3/12 7:00 ", host::toUtf8(out));
    EXPECT_EQ(S_OK, StringCchPrintfW(out, 64, u"ret: %d", (LONG)0x80000052));
    EXPECT_EQ("ret: -2147483566", host::toUtf8(out));
    EXPECT_EQ(S_OK, StringCchPrintfW(out, 64, u"%d|%02d|%02d|%u|%x|%5s|%-3d|", INT_MIN, -5, 123,
                                     4294967295u, 255u, u"ab", 7));
    EXPECT_EQ("-2147483648|-5|123|4294967295|ff|   ab|7  |", host::toUtf8(out));
    EXPECT_EQ(S_OK, StringCchPrintfW(out, 64, u"S%d", 6));
    EXPECT_EQ("S6", host::toUtf8(out));
    EXPECT_EQ(S_OK, StringCchPrintfW(out, 64, u"100%%"));
    EXPECT_EQ("100%", host::toUtf8(out));
}

TEST(Formatting, NeverWritesPastTheBuffer) {
    WCHAR out[8];
    for (WCHAR& c : out)
        c = u'#';
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchPrintfW(out, 4, u"%s-%d", u"abcdef", 42));
    EXPECT_EQ("abc", host::toUtf8(out)) << "truncated and terminated";
    EXPECT_EQ(u'#', out[4]);

    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchCopyW(out, 4, u"1100001"));
    EXPECT_EQ("110", host::toUtf8(out));
    EXPECT_EQ(S_OK, StringCchCopyW(out, 8, u"1100001"));
    EXPECT_EQ("1100001", host::toUtf8(out));
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchPrintfW(out, 0, u"x"));
    EXPECT_EQ(STRSAFE_E_INVALID_PARAMETER, StringCchPrintfW(out, 8, u"%q", 1));
}

TEST(Strings, CompareAndLength) {
    EXPECT_EQ(0, lstrcmpW(u"AppRunAtTime", u"AppRunAtTime"));
    EXPECT_NE(0, lstrcmpW(u"AppRunAtTime", u"apprunattime"));
    EXPECT_LT(lstrcmpW(u"AppRunAtTime", u"AppRunAtTime x"), 0);
    EXPECT_EQ(7, lstrlenW(u"1100001"));
    EXPECT_EQ(0, lstrlenW(nullptr));
}

TEST(Strings, Utf8RoundTrip) {
    for (std::string s : {"", "plain", "rozev -- 出錯", "Next：", "emoji \xF0\x9F\x93\xB1"})
        EXPECT_EQ(s, host::toUtf8(host::fromUtf8(s)));
    EXPECT_EQ(u"\uFFFD", host::fromUtf8("\xFF"));
    EXPECT_EQ("a\\nb\\tc\\\\", host::oneLine("a\nb\tc\\"));
}

} // namespace
