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

template <typename... Args> std::string printed(const WCHAR* format, Args... args) {
    WCHAR out[64];
    EXPECT_EQ(S_OK, StringCchPrintfW(out, 64, format, args...)) << host::toUtf8(format);
    return host::toUtf8(out);
}

// Each part of a directive, '*' widths and precisions taken from the arguments in order.
TEST(Formatting, FlagsWidthsAndPrecisions) {
    struct Case {
        std::string got, want;
    } cases[] = {
        {printed(u"[%*d]", 5, 42), "[   42]"},
        {printed(u"[%*d]", -5, 42), "[42   ]"},
        {printed(u"[%.*s|%s]", 2, u"abcdef", u"z"), "[ab|z]"},
        {printed(u"[%*.*d|%d]", 6, 4, 7, 8), "[  0007|8]"},
        {printed(u"[%+d|% d|%+d]", 5, 5, -5), "[+5| 5|-5]"},
        {printed(u"[%05d|%-05d|%05.2d]", -42, 42, 3), "[-0042|42   |   03]"},
        {printed(u"[%08X|%.4x|%-6u]", 0xBEEFu, 0xAu, 12u), "[0000BEEF|000a|12    ]"},
        {printed(u"[%c%3c]", 'A', u'\u00e9'), "[A  \u00e9]"},
        {printed(u"[%ld|%hd|%lu|%ls]", 7, 8, 9u, u"w"), "[7|8|9|w]"},
        {printed(u"[%s]", static_cast<const WCHAR*>(nullptr)), "[(null)]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.want, c.got);
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
