// The console's line and telephony verbs, run as scripts run them.
#include "platform/platform.h"
#include "support/phone_fixture.h"

#include <string>
#include <unistd.h>
#include <vector>

namespace {

using LineVerbsTest = TempPhone;

const char* const kNewPhone = "0\tCellular Line\t0x00000014\t5\tyes\t-\n"
                              "1\tCellular Data\t0x00000010\t5\tyes\t-\n";

void ok(const CommandResult& r) {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST_F(LineVerbsTest, ListsANewPhonesLines) {
    CommandResult r = phone({"lines"});
    ok(r);
    EXPECT_EQ(r.out, kNewPhone);
}

TEST_F(LineVerbsTest, ChangesLinesAsTold) {
    ok(phone({"line", "0", "state", "1"}));
    ok(phone({"line", "0", "register", "no"}));
    ok(phone({"line", "1", "media", "0x110"}));
    ok(phone({"line", "1", "fail", "getstate", "-5"}));
    ok(phone({"line", "1", "fail", "open", "0x80000048"}));
    ok(phone({"line", "1", "fail", "close", "LINEERR_NOMEM"}));
    CommandResult added = phone({"line", "add", "Spare Voice\tLine", "14", "3"});
    ok(added);
    EXPECT_EQ(added.out, "2\n");
    CommandResult r = phone({"lines"});
    EXPECT_EQ(r.out, "0\tCellular Line\t0x00000014\t1\tno\t-\n"
                     "1\tCellular Data\t0x00000110\t5\tyes\t"
                     "close=-2147483580,getstate=-5,open=-2147483576\n"
                     "2\tSpare Voice\\tLine\t0x00000014\t3\tno\t-\n");
    // What the console set is what the phone's lines are.
    EXPECT_EQ(readLine(0).equipmentState, 1u);
    EXPECT_EQ(readLine(1).mediaModes, 0x110u);

    ok(phone({"line", "1", "heal"}));
    ok(phone({"line", "1", "remove"}));
    r = phone({"lines"});
    EXPECT_EQ(r.out, "0\tCellular Line\t0x00000014\t1\tno\t-\n"
                     "1\tSpare Voice\\tLine\t0x00000014\t3\tno\t-\n");
    ok(phone({"line", "1", "remove"}));
    ok(phone({"line", "0", "remove"}));
    r = phone({"lines"});
    ok(r);
    EXPECT_EQ(r.out, "");
    // A line added to an empty phone is device 0, registered when its radio is on.
    added = phone({"line", "add", "Only", "4", "5"});
    EXPECT_EQ(added.out, "0\n");
    EXPECT_EQ(phone({"lines"}).out, "0\tOnly\t0x00000004\t5\tyes\t-\n");
}

TEST_F(LineVerbsTest, RejectsWhatItCannotDoAndChangesNothing) {
    const std::vector<std::vector<std::string>> bad = {
        {"line"},
        {"line", "0"},
        {"line", "2", "state", "1"},
        {"line", "x", "state", "1"},
        {"line", "-1", "state", "1"},
        {"line", "0", "state", "0"},
        {"line", "0", "state", "6"},
        {"line", "0", "state", "5x"},
        {"line", "0", "state"},
        {"line", "0", "media", "xyz"},
        {"line", "0", "media", "-4"},
        {"line", "0", "media", "100000000"},
        {"line", "0", "register", "maybe"},
        {"line", "0", "fail", "dial", "-5"},
        {"line", "0", "fail", "open", "5"},
        {"line", "0", "fail", "open", "0"},
        {"line", "0", "fail", "open", "soon"},
        {"line", "0", "fail", "open"},
        {"line", "0", "heal", "now"},
        {"line", "0", "explode"},
        {"line", "add", "X", "14"},
        {"line", "add", "", "14", "5"},
        {"line", "add", "X", "zz", "5"},
        {"line", "add", "X", "14", "9"},
        {"lines", "all"},
        {"reinit"},
        {"reinit", "-1"},
        {"reinit", "many"},
        {"reinit", "for"},
        {"reinit", "for", "1s"},
        {"telephony", "fail", "1"},
        {"telephony", "bogus"},
        {"tick", "virtual"},
        {"tick", "virtual", "fast"},
        {"tick", "virtual", "0"},
        {"tick", "sideways"},
    };
    for (const std::vector<std::string>& args : bad) {
        std::string shown;
        for (const std::string& a : args)
            shown += a + " ";
        SCOPED_TRACE(shown);
        CommandResult r = phone(args);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.rfind("velmora-phone: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
    EXPECT_EQ(phone({"lines"}).out, kNewPhone);
    CommandResult status = phone({"telephony"});
    EXPECT_NE(status.out.find("reinit attempts\t0\n"), std::string::npos);
    EXPECT_NE(status.out.find("init fault\t-\n"), std::string::npos);
}

TEST_F(LineVerbsTest, ReinitAnswersTheNextAttempts) {
    ok(phone({"reinit", "2"}));
    EXPECT_NE(phone({"telephony"}).out.find("reinit attempts\t2\n"), std::string::npos);
    auto noEvents = [](DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {};
    HLINEAPP app = 0;
    DWORD count = 0;
    EXPECT_EQ(lineInitialize(&app, nullptr, noEvents, nullptr, &count), LINEERR_REINIT);
    EXPECT_EQ(lineInitialize(&app, nullptr, noEvents, nullptr, &count), LINEERR_REINIT);
    ASSERT_EQ(lineInitialize(&app, nullptr, noEvents, nullptr, &count), 0);
    EXPECT_EQ(count, 2u);

    // While the session is open another process counts it; after, nothing is left.
    CommandResult open = phone({"telephony"});
    EXPECT_EQ(open.out, "sessions open\t1\nlines open\t0\nlines closed by shutdown\t0\n"
                        "reinit attempts\t0\nreinit milliseconds\t0\ninit fault\t-\n");
    CommandResult leaks = phone({"telephony", "leaks"});
    EXPECT_EQ(leaks.out.rfind(std::to_string(getpid()) + "\tsession\t0x", 0), 0u) << leaks.out;
    EXPECT_EQ(lineShutdown(app), 0);
    EXPECT_EQ(phone({"telephony", "leaks"}).out, "");

    CommandResult calls = phone({"telephony", "calls"});
    std::string pid = std::to_string(getpid());
    EXPECT_EQ(calls.out, pid + "\tlineInitialize\t-\t-2147483566\t2\t-\n" + pid +
                             "\tlineInitialize\t-\t0\t1\t-\n" + pid +
                             "\tlineShutdown\t-\t0\t1\t-\n");
    ok(phone({"telephony", "calls", "clear"}));
    EXPECT_EQ(phone({"telephony", "calls"}).out, "");

    ok(phone({"reinit", "for", "1500"}));
    ok(phone({"reinit", "0"}));
    EXPECT_NE(phone({"telephony"}).out.find("reinit milliseconds\t1500\n"), std::string::npos);
}

TEST_F(LineVerbsTest, SessionFaultAndVirtualTick) {
    ok(phone({"telephony", "fail", "LINEERR_NODRIVER"}));
    EXPECT_NE(phone({"telephony"}).out.find("init fault\t-2147483581\n"), std::string::npos);
    ok(phone({"telephony", "heal"}));
    EXPECT_NE(phone({"telephony"}).out.find("init fault\t-\n"), std::string::npos);

    ok(phone({"tick", "virtual", "1000", "5000"}));
    EXPECT_EQ(phone({"tick"}).out, "5000\tvirtual +1000 ms a reading\n");
    EXPECT_EQ(GetTickCount(), 6000u);
    EXPECT_EQ(phone({"tick"}).out, "6000\tvirtual +1000 ms a reading\n");
    ok(phone({"tick", "real"}));
    EXPECT_NE(phone({"tick"}).out.find("\treal\n"), std::string::npos);
}

TEST_F(LineVerbsTest, ShowHasALinesSection) {
    ok(phone({"line", "1", "fail", "open", "-9"}));
    ok(phone({"reinit", "4"}));
    CommandResult r = phone({"show"});
    ok(r);
    EXPECT_NE(r.out.find("Line devices: 2\n"
                         "  0 Cellular Line: media 0x00000014, equipment state 5, registered, "
                         "faults -\n"
                         "  1 Cellular Data: media 0x00000010, equipment state 5, registered, "
                         "faults open=-9\n"
                         "Telephony: 0 session(s) and 0 line(s) open, 0 line(s) closed by "
                         "shutdown\n"
                         "  lineInitialize answers LINEERR_REINIT: 4 more attempt(s), 0 ms\n"),
              std::string::npos)
        << r.out;
}

} // namespace
