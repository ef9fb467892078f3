// velmora-phone's registry, clock and message verbs, as scripts use them.
#include "phone_fixture.h"

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace {

class PhoneConsole : public TempPhone {};

TEST_F(PhoneConsole, RegistryValuesRoundTrip) {
    struct Case {
        std::vector<std::string> set;
        std::string get;
    } cases[] = {
        {{"Enabled", "sz", "1010101"}, "sz 16 1010101\n"},
        {{"Label", "sz", "出錯"}, "sz 6 出錯\n"},
        {{"Label", "sz", ""}, "sz 2 \n"},
        {{"S3", "dword", "2000"}, "dword 4 2000\n"},
        {{"S3", "dword", "-1"}, "dword 4 4294967295\n"},
        {{"S3", "dword", "0x80000000"}, "dword 4 2147483648\n"},
        {{"S3", "dword", "010"}, "dword 4 10\n"}, // decimal, never octal
        {{"S3", "dword", "0x1F"}, "dword 4 31\n"},
        {{"Blob", "binary", "00ff10"}, "binary 3 00ff10\n"},
        {{"Blob", "binary", ""}, "binary 0 \n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"reg", "set"};
        args.insert(args.end(), c.set.begin(), c.set.end());
        ASSERT_EQ(0, phone(args).status) << c.set[2];
        CommandResult r = phone({"reg", "get", c.set[0]});
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(c.get, r.out);
    }
}

// No stored text reaches the terminal as control characters: a name and a text holding an
// escape sequence are shown escaped, as newlines and tabs are.
TEST_F(PhoneConsole, ControlCharactersAreShownEscaped) {
    ASSERT_EQ(0, phone({"reg", "set", "A\x1b[2JB\tC", "sz", "x\x07y\x7f"}).status);
    CommandResult r = phone({"show"});
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.out.find("A\\x1b[2JB\\tC")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("x\\x07y\\x7f")) << r.out;
    EXPECT_EQ(r.out.end(), std::find_if(r.out.begin(), r.out.end(), [](char c) {
                  return (static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7f;
              }));
}

TEST_F(PhoneConsole, ValuesWrittenAsTheProgramWritesThem) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\QuillmarshSoft\\Velmora", 0,
                              nullptr, 0, 0, nullptr, &key, nullptr));
    WORD two = 7;
    RegSetValueExW(key, u"C0", 0, REG_DWORD, (const BYTE*)&two, 2);
    RegSetValueExW(key, u"Enabled", 0, REG_SZ, (const BYTE*)u"1100001\0garbage", 14);
    RegCloseKey(key);
    EXPECT_EQ("dword 2 7\n", phone({"reg", "get", "C0"}).out);
    EXPECT_EQ("sz 14 1100001\n", phone({"reg", "get", "Enabled"}).out);
    CommandResult shown = phone({"show"});
    EXPECT_NE(std::string::npos, shown.out.find("Enabled"));
    EXPECT_NE(std::string::npos, shown.out.find("1100001"));
    EXPECT_NE(std::string::npos, shown.out.find("Clock:"));
}

TEST_F(PhoneConsole, MistakesAreOneLineAndNonZero) {
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"reg", "get", "Missing"}, 1},
        {{"reg", "delete", "Missing"}, 1},
        {{"reg", "set", "S1", "dword", "12x"}, 2},
        {{"reg", "set", "S1", "dword", "4294967296"}, 2},
        {{"reg", "set", "S1", "binary", "abc"}, 2},
        {{"reg", "set", "S1", "binary", "zz"}, 2},
        {{"reg", "set", "S1", "dword", " 5"}, 2},
        {{"reg", "set", "S1", "dword", "0x"}, 2},
        {{"reg", "set", "S1", "dword", "1\n2"}, 2},
        {{"reg", "set", "\xff\xfe", "sz", "x"}, 2},
        {{"reg", "set", "S1", "sz", "\xc3\x28"}, 2},
        {{"reg", "get", "a\nb"}, 1},
        {{"clock", "set", "2026-12-1223:00"}, 2},
        {{"reg", "set", "S1", "float", "1"}, 2},
        {{"reg", "frob"}, 2},
        {{"clock", "set", "2026-13-01 00:00"}, 2},
        {{"clock", "wind"}, 2},
        {{"messages", "all"}, 2},
        {{"dance"}, 2},
    };
    for (const Case& c : cases) {
        CommandResult r = phone(c.args);
        EXPECT_EQ(c.status, r.status) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
        EXPECT_EQ(0u, r.err.rfind("velmora-phone: ", 0)) << r.err;
    }
}

TEST_F(PhoneConsole, DeleteRemovesTheValue) {
    ASSERT_EQ(0, phone({"reg", "set", "S1", "dword", "5"}).status);
    EXPECT_EQ(0, phone({"reg", "delete", "S1"}).status);
    EXPECT_EQ(1, phone({"reg", "get", "S1"}).status);
}

TEST_F(PhoneConsole, AnUnopenableStoreIsReported) {
    CommandResult r = runProgram(VELMORA_PHONE_EXE, {"show"}, "", {"VELMORA_PHONE=" + dir});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("cannot open the phone at")) << r.err;
}

TEST(PhoneDefaultLocation, FollowsTheXdgStateDirectory) {
    char tmpl[] = "/tmp/velmora-xdg-XXXXXX";
    std::string state = mkdtemp(tmpl);
    CommandResult r = runProgram(VELMORA_PHONE_EXE, {"reg", "set", "S1", "dword", "1"}, "",
                                 {"VELMORA_PHONE=", "XDG_STATE_HOME=" + state});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(0, access((state + "/velmora/phone.db").c_str(), F_OK));
    std::filesystem::remove_all(state);
}

} // namespace
