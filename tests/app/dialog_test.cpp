// The schedule dialog: opening from the stored timetable, the day boxes, To All, About, Cancel
// and OK, run in-process on a fresh phone; and the real program driven through standard input.
#include "dialog_at_opening.h"
#include "dialog_steps.h"
#include "mutex_holder.h"
#include "phone_fixture.h"

#include "app/app.h"
#include "app/dialog.h"
#include "app/resource.h"
#include "platform/dialog_script.h"
#include "schedule/settings.h"
#include "schedule/timed_run.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/stat.h>
#include <thread>

namespace {

using host::Dialog;

struct Box {
    HWND owner;
    std::string caption, text;
    UINT type;
};

class ScheduleDialog : public TempPhone {
  protected:
    void SetUp() override {
        TempPhone::SetUp();
        appInstance = host::instance();
        ASSERT_EQ(ERROR_SUCCESS, openSettings());
        host::setMessageBoxPresenter([this](HWND owner, const std::u16string& text,
                                            const std::u16string& caption, UINT type) {
            shown.push_back({owner, host::toUtf8(caption), host::toUtf8(text), type});
            lockFreeAtEveryBox = lockFreeAtEveryBox && mutexIsFree(TIMETABLE_LOCK_NAME);
            if (answers.empty())
                return host::defaultAnswer(type);
            int answer = answers.front();
            answers.erase(answers.begin());
            return answer;
        });
    }
    void TearDown() override {
        closeSettings();
        TempPhone::TearDown();
    }

    void storeFlags(const char16_t* flags) { ASSERT_TRUE(writeDayFlags(flags)); }
    void storeMinute(const char16_t* name, DWORD minute) {
        ASSERT_TRUE(writeSwitchMinute(name, minute));
    }

    // Runs the dialog as the interactive mode does, with the given input steps.
    void run(std::vector<DialogStep> steps) {
        StepsInstalled installed(std::move(steps));
        runScheduleDialog();
    }

    // Every stored value, as name -> type and bytes.
    std::map<std::string, std::string> stored() {
        std::map<std::string, std::string> out;
        for (const std::vector<std::string>& r :
             query("SELECT name, type, hex(data) FROM registry_values ORDER BY name"))
            out[r[0]] = r[1] + ":" + r[2];
        return out;
    }

    std::vector<Box> shown;
    std::vector<int> answers;
    bool lockFreeAtEveryBox = true;
};

std::u16string textOf(Dialog& d, int id) {
    WCHAR buffer[128] = {};
    GetDlgItemTextW(d.handle, id, buffer, 128);
    return buffer;
}

std::string shownTime(Dialog& d, int id) {
    return host::toUtf8(d.find(id)->shownTime());
}

int checkOf(Dialog& d, int id) {
    return (int)SendDlgItemMessageW(d.handle, id, BM_GETCHECK, 0, 0);
}

bool enabled(Dialog& d, int id) {
    return IsWindowEnabled(GetDlgItem(d.handle, id)) != FALSE;
}

void click(Dialog& d, int id) {
    std::string error;
    EXPECT_TRUE(clickControl(d, id, &error)) << id << ": " << error;
}

// Times are set as a script sets them.
void setTime(Dialog& d, int id, int hour, int minute) {
    std::string line = "set " + std::to_string(id) + " " + std::to_string(hour) + ":" +
                       (minute < 10 ? "0" : "") + std::to_string(minute);
    std::string error;
    EXPECT_TRUE(runDialogScriptLine(d.handle, line, nullptr, &error)) << line << ": " << error;
}

const int kDays = 7;

} // namespace

TEST_F(ScheduleDialog, OpensFromTheStoredTimetable) {
    setClock("2006-03-12 06:30"); // a Sunday
    storeFlags(u"1001010");
    storeMinute(u"S0", 420);
    storeMinute(u"S1", 425);
    storeMinute(u"C1", 1439);
    storeMinute(u"S3", 2000); // no time of day: the picker keeps the clock's time
    storeMinute(u"C6", 61);
    bool ran = false;
    run({[&](Dialog& d) {
        ran = true;
        EXPECT_TRUE(d.fullScreen);
        EXPECT_TRUE(d.doneButton);
        EXPECT_EQ(u"Brindlecap", d.caption);
        const int flags[kDays] = {1, 0, 0, 1, 0, 1, 0};
        for (int day = 0; day < kDays; ++day) {
            EXPECT_EQ(flags[day], checkOf(d, 1000 + day)) << day;
            EXPECT_EQ(flags[day] == 1, enabled(d, 1009 + 2 * day)) << day;
            EXPECT_EQ(flags[day] == 1, enabled(d, 1010 + 2 * day)) << day;
        }
        struct Shown {
            int id;
            const char* text;
        } times[] = {{1009, "7:00 "},  {1010, "0:00 "}, {1011, "7:05 "},
                     {1012, "23:59 "}, {1013, "7:00 "}, {1015, "6:30 "},
                     {1016, "0:00 "},  {1021, "7:00 "}, {1022, "1:01 "}};
        for (const Shown& s : times)
            EXPECT_EQ(s.text, shownTime(d, s.id)) << s.id;
        EXPECT_EQ(u"Next : 2006/3/12 7:00 ", textOf(d, IDC_NEXT_LINE));
    }});
    EXPECT_TRUE(ran);
    EXPECT_TRUE(shown.empty());
}

// A stored minute past the record's hours is no time of day: its picker keeps the clock's time,
// never one that a 16-bit hour would wrap to.
TEST_F(ScheduleDialog, AMinutePastTheRecordsHoursShowsNoWrappedTime) {
    setClock("2006-03-12 06:30");
    struct Case {
        const char16_t* name;
        int picker;
        DWORD minute;
    } cases[] = {
        {u"S0", 1009, 65536u * 60 + 420}, // would show 7:00
        {u"C0", 1010, 65536u * 60 + 5},   // would show 0:05
        {u"S1", 1011, 0xFFFFFFFFu},
    };
    for (const Case& c : cases)
        storeMinute(c.name, c.minute);
    run({[&](Dialog& d) {
        for (const Case& c : cases)
            EXPECT_EQ("6:30 ", shownTime(d, c.picker)) << c.picker;
    }});
}

TEST_F(ScheduleDialog, UncheckingKeepsTheTimesAndOkStoresThem) {
    storeMinute(u"S1", 425);
    storeMinute(u"C1", 1330);
    run({
        [&](Dialog& d) {
            click(d, 1001); // Monday takes part by default
            EXPECT_EQ(0, checkOf(d, 1001));
            EXPECT_FALSE(enabled(d, 1011));
            EXPECT_FALSE(enabled(d, 1012));
            EXPECT_EQ("7:05 ", shownTime(d, 1011));
            EXPECT_EQ("22:10 ", shownTime(d, 1012));
            std::string error;
            EXPECT_FALSE(runDialogScriptLine(d.handle, "set 1011 9:00", nullptr, &error))
                << "a disabled picker takes no input";
            EXPECT_EQ("control 1011 is disabled", error);
        },
        [&](Dialog& d) {
            click(d, 1002); // Tuesday comes in
            EXPECT_TRUE(enabled(d, 1013));
            EXPECT_TRUE(enabled(d, 1014));
            pressDone(d);
        },
    });
    EXPECT_EQ(u"1010001", [] {
        WCHAR flags[DAY_FLAGS_CHARS];
        readDayFlags(flags);
        return std::u16string(flags, 7);
    }());
    EXPECT_EQ(425u, readSwitchMinute(u"S1"));
    EXPECT_EQ(1330u, readSwitchMinute(u"C1"));
}

TEST_F(ScheduleDialog, ToAllCopiesSundayWhenAnsweredYes) {
    struct Case {
        const char16_t* flags;
        int answer;
        const char16_t* storedFlags;
        bool copied;
    } cases[] = {
        {u"1100001", IDYES, u"1111111", true},
        {u"0100001", IDYES, u"0000000", true},
        {u"1100001", IDNO, u"1100001", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(host::toUtf8(c.flags) + (c.answer == IDYES ? " yes" : " no"));
        storeFlags(c.flags);
        storeMinute(u"S0", 375);
        storeMinute(u"C0", 1410);
        for (int day = 1; day < kDays; ++day) {
            WCHAR name[4];
            formatSwitchName(name, 4, SwitchOn, day);
            storeMinute(name, 400 + day);
            formatSwitchName(name, 4, SwitchOff, day);
            storeMinute(name, 0);
        }
        shown.clear();
        answers = {c.answer};
        bool before[kDays * 2];
        run({
            [&](Dialog& d) {
                for (int p = 0; p < kDays * 2; ++p)
                    before[p] = enabled(d, 1009 + p);
                click(d, IDC_TO_ALL);
                for (int day = 1; day < kDays; ++day) {
                    EXPECT_EQ(c.storedFlags[day] == u'1', checkOf(d, 1000 + day) == 1) << day;
                    EXPECT_EQ(c.copied ? "6:15 " : "6:" + std::to_string(40 + day) + " ",
                              shownTime(d, 1009 + 2 * day))
                        << day;
                    EXPECT_EQ(c.copied ? "23:30 " : "0:00 ", shownTime(d, 1010 + 2 * day)) << day;
                }
                // The pickers keep their enabled state until their boxes are clicked.
                for (int p = 0; p < kDays * 2; ++p)
                    EXPECT_EQ(before[p], enabled(d, 1009 + p)) << 1009 + p;
            },
            [&](Dialog& d) {
                click(d, 1003);
                click(d, 1003);
                EXPECT_EQ(c.storedFlags[3] == u'1', enabled(d, 1015)) << "a click catches up";
                pressDone(d);
            },
        });
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ("Q:", shown[0].caption);
        EXPECT_EQ("Apply Sun setting. Yes ?", shown[0].text);
        EXPECT_EQ(0x24u, shown[0].type);
        EXPECT_NE(nullptr, shown[0].owner);
        WCHAR flags[DAY_FLAGS_CHARS];
        readDayFlags(flags);
        EXPECT_EQ(host::toUtf8(c.storedFlags), host::toUtf8(std::u16string(flags, 7)));
        EXPECT_EQ(c.copied ? 375u : 404u, readSwitchMinute(u"S4"));
        EXPECT_EQ(c.copied ? 1410u : 0u, readSwitchMinute(u"C6"));
    }
}

TEST_F(ScheduleDialog, AboutTellsAndStoresNothing) {
    HWND dialogWindow = nullptr;
    run({[&](Dialog& d) {
        dialogWindow = d.handle;
        click(d, IDC_ABOUT);
    }});
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Hi", shown[0].caption);
    EXPECT_EQ(0x40u, shown[0].type);
    EXPECT_EQ(dialogWindow, shown[0].owner);
    EXPECT_EQ(0u, shown[0].text.find("VANTROLE V1.0\n")) << shown[0].text;
    EXPECT_EQ(2, std::count(shown[0].text.begin(), shown[0].text.end(), '\n')) << "three lines";
    EXPECT_TRUE(stored().empty());
}

TEST_F(ScheduleDialog, CancelAfterEditsChangesNothing) {
    storeFlags(u"1100001");
    storeMinute(u"S2", 500);
    // A start pending from before, at a time the timetable would not give.
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SYSTEMTIME someday;
    ASSERT_TRUE(host::parseDateTime("2031-01-02 03:04", &someday));
    ASSERT_TRUE(CeRunAppAtTime(self, &someday));
    std::map<std::string, std::string> before = stored();
    struct Ending {
        const char* name;
        DialogStep step;
    } endings[] = {
        {"cancel button", [](Dialog& d) { click(d, IDCANCEL); }},
        {"escape", [](Dialog& d) { pressKey(d, "escape", nullptr); }},
        {"end of input", [](Dialog&) {}},
    };
    for (const Ending& e : endings) {
        answers = {IDYES};
        run({
            [&](Dialog& d) {
                click(d, 1000);
                click(d, 1002);
                setTime(d, 1013, 5, 55);
                click(d, IDC_TO_ALL);
            },
            e.step,
        });
        EXPECT_EQ(before, stored()) << e.name;
        std::vector<control::PendingStart> pending = readPending();
        ASSERT_EQ(1u, pending.size()) << e.name;
        EXPECT_EQ("2031-01-02 03:04:00", pending[0].text) << e.name;
        EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Brindlecap")) << e.name;
    }
}

TEST_F(ScheduleDialog, OkStoresFlagsAndFourteenTimes) {
    setClock("2006-03-14 12:00:37"); // the seconds play no part in the start armed
    run({[&](Dialog& d) {
        click(d, 1002);
        click(d, 1003);
        click(d, 1006); // Saturday leaves; its pickers keep their times
        click(d, 1005);
        click(d, 1005); // Friday stays out
        for (int p = 0; p < kDays * 2; ++p)
            if (enabled(d, 1009 + p))
                setTime(d, 1009 + p, p, 3 * p);
        setTime(d, 1014, 12, 0); // Tuesday's switch-off is this very minute
        pressKey(d, "done", nullptr);
    }});
    // The radio changes only at the next switch, never on OK.
    std::vector<control::LineDevice> lines = readLines();
    ASSERT_FALSE(lines.empty());
    for (const control::LineDevice& line : lines) {
        EXPECT_EQ(5u, line.equipmentState) << line.name;
        EXPECT_TRUE(line.registered) << line.name;
    }
    EXPECT_TRUE(readCalls().empty()) << "no telephony call at all";
    std::map<std::string, std::string> values = stored();
    // "1111000" as 14 bytes of UTF-16, no terminator.
    EXPECT_EQ("1:3100310031003100300030003000", values["Enabled"]);
    for (int p = 0; p < kDays * 2; ++p) {
        WCHAR name[4];
        formatSwitchName(name, 4, p % 2 == 0 ? SwitchOn : SwitchOff, p / 2);
        DWORD expected = p < 8 ? (DWORD)(p * 60 + 3 * p) : (p % 2 == 0 ? 420u : 0u);
        if (p == 5)
            expected = 720;
        EXPECT_EQ(expected, readSwitchMinute(name)) << host::toUtf8(name);
        EXPECT_EQ(0u, values[host::toUtf8(name)].find("4:")) << "a four-byte number";
    }
    EXPECT_EQ(15u, values.size());
    EXPECT_TRUE(shown.empty()) << "nothing failed, nothing was asked";
    // Armed at the next switch after this minute: Wednesday's switch-on at 6:18.
    std::vector<control::PendingStart> pending = readPending();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ("2006-03-15 06:18:00", pending[0].text);
}

TEST_F(ScheduleDialog, ProcedureAnswersOnlyItsMessages) {
    run({[&](Dialog& d) {
        struct Case {
            UINT message;
            WPARAM wParam;
            INT_PTR handled;
        } cases[] = {
            {WM_DESTROY, 0, TRUE},     {0x0005 /* size */, 0, FALSE},
            {WM_COMMAND, 1000, FALSE}, {WM_COMMAND, IDC_ABOUT, FALSE},
            {WM_COMMAND, 4242, FALSE}, {WM_COMMAND, MAKEWPARAM(1000, 0x0200), FALSE},
        };
        for (const Case& c : cases)
            EXPECT_EQ(c.handled, scheduleDialogProc(d.handle, c.message, c.wParam, 0))
                << c.message << " " << c.wParam;
        // A notification code in the high word does not hide the id: the box was read.
        EXPECT_TRUE(enabled(d, 1009));
        SendDlgItemMessageW(d.handle, 1000, BM_SETCHECK, BST_UNCHECKED, 0);
        scheduleDialogProc(d.handle, WM_COMMAND, MAKEWPARAM(1000, 0x0200), 0);
        EXPECT_FALSE(enabled(d, 1009));
        EXPECT_FALSE(d.ended);
        EXPECT_EQ(TRUE, scheduleDialogProc(d.handle, WM_COMMAND, IDCANCEL, 0));
        EXPECT_TRUE(d.ended);
        EXPECT_EQ(0, d.result);
    }});
}

TEST_F(ScheduleDialog, TheRealProgramTakesCommandsFromStandardInput) {
    closeSettings();
    host::closeStore();
    phone({"clock", "set", "2006-03-12 06:30"});
    CommandResult r = velmora({}, "dump\nclick 1001\nanswer yes\nclick 1024\nset 1009 6:05\n"
                                  "set 1010 22:45\nfrobnicate\nclick 9999\ndump\nok\n");
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos,
              r.out.find("1009\tSysDateTimePick32\t\"7:00 \"\t-\t1\t\"7:00 \"\t-\n"))
        << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("1023\tStatic\t\"Next : 2006/3/12 7:00 \"\t-\t1\t-\t-\n"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\n0\tStatic\t\"#101\"\t-\t1\t-\t-\n"))
        << "the icon, named by its resource number:\n"
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("1001\tButton\t\"MON\"\t1\t1\t-\t-\n"))
        << "To All checked Monday again:\n"
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("1012\tSysDateTimePick32\t\"0:00 \"\t-\t0\t"
                                            "\"0:00 \"\t-\n"))
        << "Monday's pickers stay disabled until its box is clicked:\n"
        << r.out;
    EXPECT_NE(std::string::npos, r.err.find("velmora: unknown command 'frobnicate'")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("velmora: no control with id 9999\n")) << r.err;
    CommandResult reg = phone({"reg", "get", "Enabled"});
    EXPECT_NE(std::string::npos, reg.out.find("1111111")) << reg.out;
    reg = phone({"reg", "get", "C0"});
    EXPECT_NE(std::string::npos, reg.out.find("1365")) << reg.out;
    reg = phone({"reg", "get", "S6"});
    EXPECT_NE(std::string::npos, reg.out.find("420")) << "To All came before the edit: " << reg.out;
    // Sunday's switch-on is now 6:05, already past at 6:30: the next is Sunday's 22:45.
    std::vector<control::PendingStart> pending = readPending();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ("2006-03-12 22:45:00", pending[0].text);
    EXPECT_EQ(VELMORA_EXE, pending[0].path);

    // Without ok the end of the input cancels, and nothing is stored.
    r = velmora({}, "click 1000\nset 1009 1:00\n");
    EXPECT_EQ(0, r.status);
    reg = phone({"reg", "get", "Enabled"});
    EXPECT_NE(std::string::npos, reg.out.find("1111111")) << reg.out;
    pending = readPending();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ("2006-03-12 22:45:00", pending[0].text);
}

// OK stores and arms under the timetable lock: while a timed run holds it, nothing is stored.
TEST_F(ScheduleDialog, OkWaitsWhileATimedRunHoldsTheTimetable) {
    setClock("2006-03-13 00:00"); // a Monday
    MutexHolder timedRun(TIMETABLE_LOCK_NAME);
    ASSERT_TRUE(timedRun.held());
    std::string storedMeanwhile;
    std::thread watcher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        storedMeanwhile = phone({"reg", "get", "S1"}).out;
        timedRun.release();
    });
    run({[&](Dialog& d) {
        setTime(d, 1011, 6, 30);
        pressDone(d);
    }});
    watcher.join();
    EXPECT_EQ("", storedMeanwhile) << "stored while the lock was held";
    EXPECT_EQ(390u, readSwitchMinute(u"S1"));
    std::vector<control::PendingStart> pending = readPending();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ("2006-03-13 06:30:00", pending[0].text);
    EXPECT_TRUE(shown.empty());
}

// The notices of failed writes come once the lock is let go, one for each value, in order.
TEST_F(ScheduleDialog, WriteFailuresAreToldAfterTheLockIsLetGo) {
    run({[&](Dialog& d) {
        closeSettings(); // every write now goes to a key that is not open
        pressDone(d);
    }});
    ASSERT_EQ(15u, shown.size());
    EXPECT_EQ("往註冊表內寫入設定時出錯！\nEnabled\nNo : 6", shown[0].text);
    EXPECT_EQ("往註冊表內寫入設定時出錯！\nS0\nNo : 6", shown[1].text);
    EXPECT_EQ("往註冊表內寫入設定時出錯！\nC6\nNo : 6", shown[14].text);
    for (const Box& b : shown)
        EXPECT_EQ("rozev -- 出錯", b.caption);
    EXPECT_TRUE(lockFreeAtEveryBox);
    EXPECT_EQ(1u, readPending().size()) << "armed all the same";
    ASSERT_EQ(ERROR_SUCCESS, openSettings());
}

// A lock that is never let go, at the start or at OK, is waited for a bounded time and then
// passed by: the dialog opens, and OK stores and arms, all the same; the program says so once,
// with the platform's time-out.
TEST_F(ScheduleDialog, ALockNeverLetGoAtTheStartOrAtOkIsPassedBy) {
    closeSettings();
    host::closeStore();
    setClock("2006-03-13 00:00"); // a Monday: 07:00 is next, 06:30 once OK has stored it
    for (const char16_t* lock : {DIALOG_START_LOCK_NAME, TIMETABLE_LOCK_NAME}) {
        SCOPED_TRACE(host::toUtf8(lock));
        ASSERT_EQ(0, phone({"reg", "set", "S1", "dword", "420"}).status);
        ASSERT_EQ(ERROR_SUCCESS, control::clearMessages());
        MutexHolder holder(lock);
        ASSERT_TRUE(holder.held());
        CommandResult r = velmora({}, "dump\nset 1011 6:30\nok\n");
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.out.find("1000\tButton\t\"SUN\"")) << "the dialog opened";
        std::vector<control::MessageRecord> all = boxes();
        ASSERT_EQ(1u, all.size()) << r.err;
        EXPECT_EQ("rozev -- 出錯", all[0].caption);
        EXPECT_EQ("等候其他程序時出錯！\nNo : 258", all[0].text);
        EXPECT_EQ(0, phone({"reg", "get", "S1"}).out.find("dword 4 390")) << "OK stored";
        std::vector<control::PendingStart> pending = readPending();
        ASSERT_EQ(1u, pending.size());
        EXPECT_EQ("2006-03-13 06:30:00", pending[0].text);
    }
}

// A program whose dialog template is missing or damaged cannot open the dialog: the start says
// so and ends. The program is a copy of the real one with its resource image changed.
TEST_F(ScheduleDialog, ADialogThatCannotBeFoundOrOpenedIsTold) {
    std::ifstream in(VELMORA_EXE, std::ios::binary);
    const std::string program((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    // The template's resource header: after its data size and header size, the type RT_DIALOG
    // and the name IDD_SCHEDULE, both as numbers.
    const std::string name = std::string("\xFF\xFF\x05\x00\xFF\xFF", 6) + char(IDD_SCHEDULE) + '\0';
    const size_t at = program.find(name);
    ASSERT_NE(std::string::npos, at);
    ASSERT_EQ(std::string::npos, program.find(name, at + 1));
    uint32_t headerSize = 0;
    memcpy(&headerSize, program.data() + at - 4, sizeof headerSize);
    const size_t controlCount = at - 8 + headerSize + 8; // after the style and extended style
    struct Case {
        const char* what;
        size_t offset;
        char16_t word;
        const char* notice;
    } cases[] = {
        {"another number", at + 6, IDD_SCHEDULE + 1, "Cannot find the schedule dialog\nNo : 1814"},
        {"more controls than it holds", controlCount, 0xFFFF,
         "Cannot open the schedule dialog\nNo : 87"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string damaged = program;
        memcpy(&damaged[c.offset], &c.word, sizeof c.word);
        const std::string path = dir + "/velmora";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
        ASSERT_EQ(0, chmod(path.c_str(), 0755));
        ASSERT_EQ(ERROR_SUCCESS, control::clearMessages());
        CommandResult r = runProgram(path, {}, "dump\nok\n", {"VELMORA_PHONE=" + dbPath});
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_EQ("", r.out) << "no dialog";
        std::vector<control::MessageRecord> all = boxes();
        ASSERT_EQ(1u, all.size()) << r.err;
        EXPECT_EQ("rozev -- 出錯", all[0].caption);
        EXPECT_EQ(c.notice, all[0].text);
        EXPECT_TRUE(readPending().empty()) << "nothing stored, nothing armed";
    }
}

// The same phone state gives the same dump as Wine's dialog manager gives of it (the Wine
// tests hold that one to the same text).
TEST_F(ScheduleDialog, TheDumpAtOpeningIsTheOneBothPlatformsGive) {
    setClock(kOpeningClock);
    storeFlags(host::fromUtf8(kOpeningFlags).c_str());
    for (const OpeningMinute& m : kOpeningMinutes)
        storeMinute(host::fromUtf8(m.name).c_str(), m.minute);
    closeSettings();
    host::closeStore();
    CommandResult r = velmora({}, "dump\n");
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(kOpeningDump, r.out);
    EXPECT_EQ("", r.err);
}
