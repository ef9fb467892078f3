// The real schedule dialog under Wine, driven through its script on standard input (a pipe, as
// a script's), with the clock pinned: what it shows at opening, To All, About, OK, Cancel and
// the end of the input, Done, a second start, and pictures. What it stored is read back
// through the phone state's helper, as a script would read it.
#include "support/dialog_at_opening.h"
#include "support/win32/wine_phone.h"

#include "app/app.h"
#include "app/dialog.h"
#include "app/resource.h"
#include "schedule/settings.h"

#include <wincodec.h>

#include <cstdio>
#include <map>
#include <set>

namespace {

const wchar_t kProgram[] = L"velmora.exe";
const char kDefaultFlags[] = "1100001";

// A Saturday evening: the default timetable's next switch is Sunday's at 00:00.
const char kSaturdayEvening[] = "2026-12-12 23:00";

std::string settingsKeyText() {
    return winphone::toUtf8(winphone::withoutEmptyKeyNames(SETTINGS_KEY_PATH));
}

// The helper's output, which must succeed.
std::string stateHelper(const std::wstring& arguments) {
    ProgramResult r = runProgram(L"velmora-state.exe", arguments);
    EXPECT_EQ(0u, r.status) << winphone::toUtf8(arguments) << ": " << r.err;
    return r.out;
}

// What the program left on the phone, as one dump of the state's helper lists it: the settings
// (name -> "TYPE BYTES VALUE") and the program's pending start ("none" without one).
struct ReadBack {
    std::map<std::string, std::string> settings;
    std::string pending = "none";
};

ReadBack readBack() {
    const std::string settingsKey = settingsKeyText() + "\t";
    const std::string startsKey = "SOFTWARE\\VelmoraPhone\\TimedStarts\t";
    // The helper's listing escapes the backslashes of names.
    const std::string program = winphone::oneLine(winphone::toUtf8(programPath(kProgram))) + "\t";
    ReadBack state;
    std::string dump = stateHelper(L"dump");
    for (size_t at = 0, end; at < dump.size(); at = end + 1) {
        end = dump.find('\n', at);
        if (end == std::string::npos)
            end = dump.size();
        std::string line = dump.substr(at, end - at);
        if (line.compare(0, settingsKey.size(), settingsKey) == 0) {
            // KEY, NAME, TYPE, BYTES, VALUE
            std::string rest = line.substr(settingsKey.size());
            size_t tab = rest.find('\t');
            std::string fields = rest.substr(tab + 1);
            for (char& c : fields)
                if (c == '\t')
                    c = ' ';
            state.settings[rest.substr(0, tab)] = fields;
        } else if (line.compare(0, startsKey.size() + program.size(), startsKey + program) == 0) {
            // ... sz BYTES YYYY-MM-DD HH:MM:SS
            state.pending = line.substr(line.rfind('\t') + 1);
        }
    }
    return state;
}

// Enabled as the program stores it: seven UTF-16 characters, 14 bytes, no terminator.
std::string flagsAsStored(const char* flags) {
    std::string hex;
    for (const char* c = flags; *c; ++c) {
        char byte[8];
        snprintf(byte, sizeof byte, "%02x00", static_cast<unsigned char>(*c));
        hex += byte;
    }
    return "1 14 " + hex;
}

// Every switch minute as the helper lists it; `minutes` names those that differ from the
// defaults (07:00 on, 00:00 off).
std::map<std::string, std::string> expectedSettings(const char* flags,
                                                    std::map<std::string, unsigned> minutes) {
    std::map<std::string, std::string> values;
    values["Enabled"] = std::string("sz 14 ") + flags;
    for (int day = 0; day < 7; ++day)
        for (char kind : {'S', 'C'}) {
            std::string name = kind + std::to_string(day);
            unsigned minute = kind == 'S' ? 420 : 0;
            if (minutes.count(name))
                minute = minutes[name];
            values[name] = "dword 4 " + std::to_string(minute);
        }
    return values;
}

class DialogScript : public WinePhone {
  protected:
    void storeOpeningState() {
        setClock(kOpeningClock);
        std::wstring flags = winphone::fromUtf8(kOpeningFlags);
        setSetting(L"Enabled", REG_SZ, flags.data(), 14);
        for (const OpeningMinute& m : kOpeningMinutes)
            setDword(winphone::fromUtf8(m.name).c_str(), m.minute);
    }
};

TEST_F(DialogScript, DumpAtOpeningIsTheSimulatedPhones) {
    storeOpeningState();
    std::map<std::string, std::string> before = readBack().settings;
    ProgramResult run = runWithScript(kProgram, L"", "dump\n");
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), run.status);
    EXPECT_EQ(kOpeningDump, run.out);
    EXPECT_EQ("", run.err);
    ReadBack after = readBack();
    EXPECT_EQ(before, after.settings) << "the end of the script cancelled";
    EXPECT_EQ("none", after.pending);
}

// The one known difference: the pinned clock is the program's, and Wine's own picker does not
// see it. A stored minute that is no time of day is refused by the picker, which then keeps
// what it showed from its creation: Wine's real time, where the simulated phone's shows the
// pinned clock's.
TEST_F(DialogScript, APickerThatRefusesATimeShowsWinesOwnClock) {
    storeOpeningState();
    setDword(L"S3", 2000);
    auto shown = [](const SYSTEMTIME& t) {
        char text[16];
        snprintf(text, sizeof text, "%u:%02u ", t.wHour, t.wMinute);
        return std::string(text);
    };
    // The platform's local time, past the pin (GetLocalTime is the phone's here).
    auto wineClock = [] {
        SYSTEMTIME utc, local;
        GetSystemTime(&utc);
        SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
        return local;
    };
    SYSTEMTIME before = wineClock();
    ProgramResult run = runWithScript(kProgram, L"", "dump\n");
    SYSTEMTIME after = wineClock();
    std::string expected = kOpeningDump;
    std::string pinned = "1015\tSysDateTimePick32\t\"6:30 \"\t-\t1\t\"6:30 \"\t-\n";
    size_t line = expected.find(pinned);
    ASSERT_NE(std::string::npos, line);
    std::string candidates[2];
    for (int i = 0; i < 2; ++i) {
        std::string time = shown(i == 0 ? before : after);
        candidates[i] = expected;
        candidates[i].replace(line, pinned.size(),
                              "1015\tSysDateTimePick32\t\"" + time + "\"\t-\t1\t\"" + time +
                                  "\"\t-\n");
    }
    EXPECT_TRUE(run.out == candidates[0] || run.out == candidates[1]) << run.out;
}

TEST_F(DialogScript, ToAllCopiesSundayOnlyWhenAnsweredYes) {
    struct Case {
        const char* what;
        const char* answer; // a script line, or nothing
        int taken;
        const char* flags;
        bool copied; // Sunday's times on every day
    } cases[] = {
        {"yes", "answer yes\n", IDYES, "1111111", true},
        {"no", "answer no\n", IDNO, "1000001", false},
        {"nothing queued: the safe default", "", IDNO, "1000001", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WinePhone::SetUp();
        setClock(kSaturdayEvening);
        ProgramResult run =
            runWithScript(kProgram, L"",
                          std::string("set 1009 6:05\nset 1010 22:45\nclick 1001\n") + c.answer +
                              "click 1024\nok\n");
        EXPECT_EQ(DWORD(EXIT_INTERACTIVE), run.status) << run.err;
        std::vector<Box> boxes = readBoxes();
        ASSERT_EQ(1u, boxes.size()) << run.err;
        EXPECT_EQ(TO_ALL_CAPTION, boxes[0].caption);
        EXPECT_EQ(TO_ALL_QUESTION, boxes[0].text);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), boxes[0].type);
        EXPECT_EQ(c.taken, boxes[0].answer);
        std::map<std::string, unsigned> minutes = {{"S0", 365}, {"C0", 1365}};
        for (int day = 1; c.copied && day < 7; ++day) {
            minutes["S" + std::to_string(day)] = 365;
            minutes["C" + std::to_string(day)] = 1365;
        }
        ReadBack state = readBack();
        EXPECT_EQ(expectedSettings(c.flags, minutes), state.settings);
        // Sunday's switch-on at 06:05 comes first either way.
        EXPECT_EQ("2026-12-13 06:05:00", state.pending);
    }
}

TEST_F(DialogScript, AboutTellsAndStoresNothing) {
    setClock(kSaturdayEvening);
    // An answer that does not fit the box is passed over for its own.
    ProgramResult run = runWithScript(kProgram, L"", "answer yes\nclick 1025\n");
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), run.status);
    std::vector<Box> boxes = readBoxes();
    ASSERT_EQ(1u, boxes.size()) << run.err;
    EXPECT_EQ(ABOUT_CAPTION, boxes[0].caption);
    EXPECT_EQ(ABOUT_TEXT, boxes[0].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), boxes[0].type);
    EXPECT_EQ(IDOK, boxes[0].answer);
    EXPECT_NE(std::string::npos,
              run.err.find("(the queued answer 'yes' does not fit this box; ok taken instead)\n"))
        << run.err;
    ReadBack state = readBack();
    EXPECT_TRUE(state.settings.empty());
    EXPECT_EQ("none", state.pending);
}

TEST_F(DialogScript, OkStoresFourteenBytesAndFourteenDwordsAndArms) {
    setClock(kSaturdayEvening);
    ProgramResult run =
        runWithScript(kProgram, L"", "click 1002\nset 1013 8:15\nset 1014 23:30\nok\n");
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), run.status) << run.err;
    EXPECT_EQ("", run.err);
    EXPECT_EQ(flagsAsStored("1110001") + "\n", stateHelper(L"hex settings Enabled"));
    ReadBack state = readBack();
    EXPECT_EQ(expectedSettings("1110001", {{"S2", 495}, {"C2", 1410}}), state.settings);
    EXPECT_EQ("2026-12-13 00:00:00", state.pending);
    EXPECT_TRUE(readBoxes().empty());
}

// However the script ends without OK, nothing is stored or armed, and the dialog ends at once.
TEST_F(DialogScript, CancelAndTheEndOfTheInputStoreNothing) {
    struct Case {
        const char* what;
        const char* script; // nullptr: standard input is NUL
    } cases[] = {
        {"cancel, and nothing after it runs", "click 1002\nset 1009 5:00\ncancel\nok\n"},
        {"the end of the input", "click 1002\nset 1009 5:00\n"},
        {"no input at all", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WinePhone::SetUp();
        setClock(kSaturdayEvening);
        DWORD started = GetTickCount();
        ProgramResult run =
            c.script ? runWithScript(kProgram, L"", c.script) : runProgram(kProgram, L"");
        EXPECT_EQ(DWORD(EXIT_INTERACTIVE), run.status);
        EXPECT_LT(GetTickCount() - started, 20000u) << "nothing waited for more input";
        EXPECT_EQ("", run.err);
        ReadBack state = readBack();
        EXPECT_TRUE(state.settings.empty());
        EXPECT_EQ("none", state.pending);
    }
}

// Done (the caption's close box) while the script's input is still open: OK, with what the
// script changed.
TEST_F(DialogScript, DoneStoresWhatTheScriptChanged) {
    setClock(kSaturdayEvening);
    Process p(kProgram, L"", Process::FromPipe);
    HWND dialog = p.waitForWindow(DIALOG_CAPTION);
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(p.send("click 1003\nset 1015 9:10\ndump\n"));
    ASSERT_TRUE(p.waitForOutput("1015\tSysDateTimePick32\t\"9:10 \"\t-\t1\t")) << p.out();
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), p.wait()) << "the unread input keeps nothing waiting";
    EXPECT_EQ(flagsAsStored("1101001") + "\n", stateHelper(L"hex settings Enabled"));
    ReadBack state = readBack();
    EXPECT_EQ(expectedSettings("1101001", {{"S3", 550}}), state.settings);
    EXPECT_EQ("2026-12-13 00:00:00", state.pending);
}

// A second start finds the running dialog and ends at once; its script is never read.
TEST_F(DialogScript, ASecondStartHandsOverWithoutReadingItsScript) {
    setClock(kSaturdayEvening);
    Process first(kProgram, L"", Process::FromPipe);
    ASSERT_TRUE(first.send("click 1002\ndump\n"));
    ASSERT_TRUE(first.waitForOutput("1002\tButton\t\"TUE\"\t1\t")) << first.out();

    ProgramResult second = runWithScript(kProgram, L"", "click 1006\ndump\nok\n");
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), second.status);
    EXPECT_EQ("", second.out);
    EXPECT_EQ(STILL_ACTIVE, first.wait(0));
    EXPECT_TRUE(readBack().settings.empty());

    ASSERT_TRUE(first.send("ok\n"));
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), first.wait());
    ReadBack state = readBack();
    EXPECT_EQ(std::string("sz 14 1110001"), state.settings["Enabled"]) << "Saturday stays";
    EXPECT_EQ("2026-12-13 00:00:00", state.pending);
}

// The PNG decoded by the platform's own codecs: its size and its pixels as 32-bit BGR.
bool decodePng(const std::wstring& path, UINT* width, UINT* height, std::vector<BYTE>* pixels) {
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapSource* converted = nullptr;
    bool ok =
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) &&
        SUCCEEDED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGR, frame, &converted)) &&
        SUCCEEDED(converted->GetSize(width, height));
    if (ok) {
        pixels->resize(size_t(*width) * *height * 4);
        ok = SUCCEEDED(converted->CopyPixels(nullptr, *width * 4, static_cast<UINT>(pixels->size()),
                                             pixels->data()));
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{converted, frame, decoder, factory})
        if (object != nullptr)
            object->Release();
    return ok;
}

TEST_F(DialogScript, SnapWritesAPictureOfTheDialog) {
    setClock(kOpeningClock);
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    // A name with a space: the file is the rest of the line.
    std::wstring folder = std::wstring(temp) + L"velmora snap " + std::to_wstring(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring picture = folder + L"\\the dialog.png";
    std::wstring missing = folder + L"\\no such folder\\x.png";
    ProgramResult run = runWithScript(kProgram, L"",
                                      "snap " + winphone::toUtf8(picture) + "\nsnap " +
                                          winphone::toUtf8(missing) + "\n");
    EXPECT_EQ(DWORD(EXIT_INTERACTIVE), run.status);
    // Errors quote the script with its backslashes escaped, as every line they quote.
    EXPECT_EQ("velmora: snap: cannot create '" + winphone::oneLine(winphone::toUtf8(missing)) +
                  "' (error 3)\n",
              run.err);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(missing.c_str()));

    // The signature, then the header chunk: 240 by 320, 8-bit RGB.
    HANDLE file = CreateFileW(picture.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char start[26] = {};
    DWORD got = 0;
    ReadFile(file, start, sizeof start, &got, nullptr);
    CloseHandle(file);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n"
                          "\0\0\0\x0dIHDR"
                          "\0\0\0\xf0\0\0\x01\x40\x08\x02",
                          26),
              std::string(start, got));

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    UINT width = 0, height = 0;
    std::vector<BYTE> pixels;
    EXPECT_TRUE(decodePng(picture, &width, &height, &pixels)) << "a PNG the platform can read";
    CoUninitialize();
    // The dialog fills the phone's screen.
    RECT area;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    EXPECT_EQ(UINT(area.right - area.left), width);
    EXPECT_EQ(UINT(area.bottom - area.top), height);
    EXPECT_EQ(240u, width);
    EXPECT_EQ(320u, height);
    // Drawn, not a blank or black surface: the caption, the controls and their texts.
    std::set<DWORD> colours;
    for (size_t i = 0; i + 3 < pixels.size(); i += 4)
        colours.insert(DWORD(pixels[i]) | DWORD(pixels[i + 1]) << 8 | DWORD(pixels[i + 2]) << 16);
    EXPECT_GT(colours.size(), 16u);
    DeleteFileW(picture.c_str());
    RemoveDirectoryW(folder.c_str());
}

} // namespace
