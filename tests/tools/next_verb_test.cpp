// velmora-phone next: the next-switch line for the phone's timetable and clock, byte for byte.
#include "schedule/next_switch.h"
#include "schedule/settings.h"
#include "support/phone_fixture.h"

#include <random>
#include <string>
#include <vector>

namespace {

class NextVerb : public TempPhone {
  protected:
    void run(const std::vector<std::string>& args) {
        CommandResult r = phone(args);
        ASSERT_EQ(r.status, 0) << args[0] << ": " << r.err;
    }
};

TEST_F(NextVerb, PrintsTheLineForTheStoredTimetableAndClock) {
    using Commands = std::vector<std::vector<std::string>>;
    struct Case {
        const char* what;
        Commands setup;
        const char* out;
    } cases[] = {
        {"defaults, a minute before 07:00 on Sunday",
         {{"clock", "set", "2006-03-12 06:59"}},
         "Next : 2006/3/12 7:00 \n"},
        {"defaults, at 07:00: Monday's midnight",
         {{"clock", "set", "2006-03-12 07:00"}},
         "Next : 2006/3/13 0:00 \n"},
        {"no day takes part",
         {{"reg", "set", "Enabled", "sz", "0000000"}, {"clock", "set", "2006-03-12 06:00"}},
         "Next : None\n"},
        {"only Sunday, after its switches: a week on",
         {{"reg", "set", "Enabled", "sz", "1000000"}, {"clock", "set", "2006-03-12 08:00"}},
         "Next : 2006/3/19 0:00 \n"},
        {"over the year end",
         {{"reg", "set", "Enabled", "sz", "0001000"},
          {"reg", "set", "C3", "dword", "75"},
          {"clock", "set", "2007-12-30 12:00"}},
         "Next : 2008/1/2 1:15 \n"},
        {"onto 29 February",
         {{"reg", "set", "Enabled", "sz", "0000010"},
          {"reg", "set", "S5", "dword", "605"},
          {"reg", "set", "C5", "dword", "1000"},
          {"clock", "set", "2008-02-27 23:59:59"}},
         "Next : 2008/2/29 10:05 \n"},
        {"an unclamped stored minute",
         {{"reg", "set", "Enabled", "sz", "0001000"},
          {"reg", "set", "S3", "dword", "2000"},
          {"clock", "set", "2006-03-15 12:00"}},
         "Next : 2006/3/15 33:20 \n"},
        {"a top-bit minute reads as none",
         {{"reg", "set", "S0", "dword", "0x80000000"}, {"clock", "set", "2006-03-12 06:00"}},
         "Next : None\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run({"reg", "set", "Enabled", "sz", "1100001"});
        for (const char* name : {"S0", "C0", "S3", "C3", "S5", "C5"})
            phone({"reg", "delete", name});
        for (const auto& command : c.setup)
            run(command);
        CommandResult r = phone({"next"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(NextVerb, MatchesTheLineTheProgramItselfFormats) {
    // The console and the dialog share one formatter; random timetables must agree exactly.
    std::mt19937 rng(1023);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    ASSERT_EQ(openSettings(), ERROR_SUCCESS);
    for (int n = 0; n < 12; ++n) {
        std::u16string flags;
        for (int i = 0; i < 7; ++i)
            flags += pick(0, 2) ? u'0' : u'1';
        ASSERT_TRUE(writeDayFlags(flags.c_str()));
        for (int i = 0; i < 7; ++i) {
            for (SwitchKind kind : {SwitchOn, SwitchOff}) {
                WCHAR name[SWITCH_NAME_CHARS];
                formatSwitchName(name, SWITCH_NAME_CHARS, kind, i);
                ASSERT_TRUE(writeSwitchMinute(name, static_cast<DWORD>(pick(0, 1439))));
            }
        }
        SYSTEMTIME now{};
        now.wYear = static_cast<WORD>(pick(2000, 2030));
        now.wMonth = static_cast<WORD>(pick(1, 12));
        now.wDay = static_cast<WORD>(host::daysInMonth(now.wYear, now.wMonth) - pick(0, 6));
        now.wHour = static_cast<WORD>(pick(0, 23));
        now.wMinute = static_cast<WORD>(pick(0, 59));
        ASSERT_EQ(ERROR_SUCCESS, control::pinClock(now));

        WCHAR line[NEXT_LINE_CHARS];
        formatNextSwitchLine(line, NEXT_LINE_CHARS);
        CommandResult r = phone({"next"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, host::toUtf8(line) + "\n") << host::formatDateTime(now);
    }
    closeSettings();
}

TEST_F(NextVerb, RefusesExtraWordsAndAnUnusableStore) {
    CommandResult extra = phone({"next", "now"});
    EXPECT_EQ(extra.status, 2);
    EXPECT_EQ(extra.out, "");
    EXPECT_EQ(extra.err, "velmora-phone: usage: next\n");

    // A directory where the phone's store should be: one line on stderr, nothing on stdout.
    CommandResult broken = runProgram(VELMORA_PHONE_EXE, {"next"}, {}, {"VELMORA_PHONE=" + dir});
    EXPECT_NE(broken.status, 0);
    EXPECT_EQ(broken.out, "");
    ASSERT_FALSE(broken.err.empty());
    EXPECT_EQ(broken.err.find('\n'), broken.err.size() - 1) << broken.err;
}

} // namespace
