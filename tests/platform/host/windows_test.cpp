// Top-level windows are found across processes, but only while their process lives.
#include "phone_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

class Windows : public TempPhone {};

TEST_F(Windows, FindsALiveWindowByTitle) {
    HWND mine = host::createTopLevelWindow(u"Brindlecap", u"Dialog");
    ASSERT_NE(nullptr, mine);
    EXPECT_EQ(mine, FindWindowW(nullptr, u"Brindlecap"));
    EXPECT_EQ(mine, FindWindowW(u"Dialog", u"Brindlecap"));
    EXPECT_EQ(nullptr, FindWindowW(u"Other", u"Brindlecap"));
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"rozev"));

    EXPECT_TRUE(SetForegroundWindow(mine));
    std::vector<host::ForegroundRequest> requests = readForegroundRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(getpid(), requests[0].pid);

    host::destroyTopLevelWindow(mine);
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Brindlecap"));
    EXPECT_FALSE(SetForegroundWindow(mine));
}

TEST_F(Windows, AWindowOfAnEndedProcessIsNotFound) {
    pid_t child = fork();
    if (child == 0) {
        host::closeStore(); // the child opens its own connection
        host::createTopLevelWindow(u"Brindlecap", u"Dialog");
        _exit(0);
    }
    int status;
    waitpid(child, &status, 0);
    ASSERT_EQ(1u, query("SELECT id FROM windows").size());
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Brindlecap"));
}

// A window's record names its process by id and start: a live process that was given the id
// of an ended dialog's process is not that dialog.
TEST_F(Windows, ARecordOfAReusedProcessIdIsNotFound) {
    const std::string self = host::processIdentity(getpid());
    ASSERT_FALSE(self.empty());
    EXPECT_EQ("", host::processIdentity(0));
    EXPECT_EQ("", host::processIdentity(1LL << 40));
    struct Case {
        std::optional<std::string> started; // none for a record made before starts were kept
        bool found;
    } cases[] = {
        {self, true},
        {std::nullopt, true},
        {std::to_string(getpid()).append("@another-boot+1"), false},
        {std::string(self).append("0"), false},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS,
                  host::execute("INSERT INTO windows(pid, title, class, started) "
                                "VALUES(?, 'Brindlecap', 'Dialog', ?)",
                                {host::Param::integer(getpid()),
                                 c.started ? host::Param::str(*c.started) : host::Param::null()}));
        const std::string shown = c.started.value_or("none");
        EXPECT_EQ(c.found, FindWindowW(nullptr, u"Brindlecap") != nullptr) << shown;
        EXPECT_EQ(c.found ? 1u : 0u, query("SELECT id FROM windows").size())
            << shown << ": the record of a process that has ended is dropped";
        ASSERT_EQ(ERROR_SUCCESS, host::execute("DELETE FROM windows"));
    }
}

TEST(Process, ModuleFileNameIsTheRunningExecutable) {
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(u'/', path[0]);
    EXPECT_NE(std::string::npos, host::toUtf8(path).find("test_platform_host"));

    WCHAR small[5];
    EXPECT_EQ(5u, GetModuleFileNameW(nullptr, small, 5));
    EXPECT_EQ(4, lstrlenW(small)) << "truncated and terminated";
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
}

} // namespace
