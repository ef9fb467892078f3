// The compiled resources read back from the running program and compared with what the
// schedule dialog, the icon and the version record must be.
#include "app/resource.h"
#include "platform/host/dialog_template.h"
#include "platform/host/host.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD WsPopup = 0x80000000, WsChild = 0x40000000, WsVisible = 0x10000000,
                WsDisabled = 0x08000000, WsCaption = 0x00C00000, WsSysMenu = 0x00080000,
                WsTabStop = 0x00010000, WsExStaticEdge = 0x00020000;
constexpr DWORD DsModalFrame = 0x80, DsSetFont = 0x40, DsSetForeground = 0x200;
constexpr DWORD BsPushButton = 0, BsDefPushButton = 1, BsAutoCheckBox = 3, BsGroupBox = 7;
constexpr DWORD SsLeft = 0, SsIcon = 3, DtsTimeUpDown = 0x9;

// The bytes of a resource of the running program, found the way the program finds them.
std::vector<BYTE> resourceBytes(LPCWSTR name, LPCWSTR type) {
    HMODULE self = host::instance();
    HRSRC found = FindResource(self, name, type);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(self, found);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    DWORD size = SizeofResource(self, found);
    if (!data)
        return {};
    return std::vector<BYTE>(data, data + size);
}

host::DialogTemplate scheduleTemplate() {
    HMODULE self = host::instance();
    HRSRC found = FindResource(self, MAKEINTRESOURCE(IDD_SCHEDULE), RT_DIALOG);
    EXPECT_NE(found, nullptr);
    host::DialogTemplate dialog;
    if (!found)
        return dialog;
    const void* data = LockResource(LoadResource(self, found));
    EXPECT_TRUE(host::parseDialogTemplate(data, SizeofResource(self, found), &dialog));
    return dialog;
}

enum Kind { CheckBox, Picker, Label, Button, DefaultButton, Icon, Frame };

struct Control {
    int id;
    Kind kind;
    std::u16string text;
    short x, y, cx, cy;
};

// The dialog's controls in template order, which is the tab order.
std::vector<Control> expectedControls() {
    const char16_t* days[] = {u"SUN", u"MON", u"TUE", u"WED", u"THU", u"FRI", u"SAT"};
    const short boxY[] = {27, 41, 54, 67, 80, 93, 106};
    const short pickerY[] = {25, 39, 52, 65, 78, 91, 104};
    const short toY[] = {27, 41, 55, 68, 81, 94, 106};
    std::vector<Control> c;
    for (int i = 0; i < 7; ++i) {
        c.push_back({1000 + i, CheckBox, days[i], 13, boxY[i], 28, 10});
        c.push_back({1009 + 2 * i, Picker, u"DateTimePicker1", 44, pickerY[i], 33,
                     static_cast<short>(i == 0 ? 13 : 12)});
        c.push_back({1010 + 2 * i, Picker, u"DateTimePicker1", 93, pickerY[i], 33, 12});
    }
    c.push_back({1023, Label, u"Next\uFF1A", 13, 119, 115, 8});
    c.push_back({1024, Button, u"To All", 6, 135, 31, 14});
    c.push_back({1025, Button, u"About", 38, 135, 31, 14});
    c.push_back({1, DefaultButton, u"Ok", 70, 135, 31, 14});
    c.push_back({2, Button, u"Cancel", 102, 135, 31, 14});
    c.push_back({0, Icon, u"", 6, 4, 18, 18});
    c.push_back({0, Label, u"TO", 79, toY[0], 12, 10});
    c.push_back({0xFFFF, Label, u"", 28, 8, 110, 9}); // the title: its wording is ours
    for (int i = 1; i < 7; ++i)
        c.push_back({0, Label, u"TO", 79, toY[i], 12, 10});
    c.push_back({0, Frame, u"", 6, 15, 127, 116});
    return c;
}

TEST(ScheduleTemplate, DialogHeader) {
    host::DialogTemplate d = scheduleTemplate();
    EXPECT_EQ(d.style, WsPopup | WsCaption | DsSetForeground | DsSetFont);
    EXPECT_EQ(d.style & WsSysMenu, 0u) << "no system menu";
    EXPECT_EQ(d.style & DsModalFrame, 0u) << "no modal frame";
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.caption, u"Brindlecap");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.fontName, u"Tahoma");
    EXPECT_EQ(d.cx, 160);
    EXPECT_EQ(d.cy, 202);
    EXPECT_EQ(d.menuOrdinal, -1);
    EXPECT_TRUE(d.menu.empty());
    EXPECT_EQ(d.classOrdinal, -1);
    EXPECT_TRUE(d.className.empty());
}

TEST(ScheduleTemplate, EveryControlAsTheTableGivesIt) {
    host::DialogTemplate d = scheduleTemplate();
    const std::vector<Control> expected = expectedControls();
    ASSERT_EQ(d.items.size(), expected.size());
    for (size_t n = 0; n < expected.size(); ++n) {
        const Control& want = expected[n];
        const host::DialogItem& got = d.items[n];
        SCOPED_TRACE("control " + std::to_string(n) + ", id " + std::to_string(want.id));
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.style & (WsChild | WsVisible), WsChild | WsVisible);
        EXPECT_EQ(got.style & WsDisabled, 0u);
        EXPECT_TRUE(got.creationData.empty());
        bool tabStop = want.kind == CheckBox || want.kind == Picker || want.kind == Button ||
                       want.kind == DefaultButton;
        EXPECT_EQ((got.style & WsTabStop) != 0, tabStop);
        EXPECT_EQ(got.exStyle, want.kind == Picker ? WsExStaticEdge : 0u);
        if (want.kind == Icon) {
            EXPECT_EQ(got.textOrdinal, IDI_APP);
            EXPECT_TRUE(got.text.empty());
        } else {
            EXPECT_EQ(got.textOrdinal, -1);
            if (want.id != 0xFFFF)
                EXPECT_EQ(got.text, want.text);
            else
                EXPECT_FALSE(got.text.empty()) << "the title label has a title";
        }
        switch (want.kind) {
        case CheckBox:
            EXPECT_EQ(got.className, u"Button");
            EXPECT_EQ(got.style & 0xF, BsAutoCheckBox);
            break;
        case Picker:
            EXPECT_EQ(got.className, u"SysDateTimePick32");
            EXPECT_EQ(got.style & 0xFFFF, DtsTimeUpDown);
            break;
        case Label:
            EXPECT_EQ(got.className, u"Static");
            EXPECT_EQ(got.style & 0x1F, SsLeft);
            break;
        case Button:
            EXPECT_EQ(got.className, u"Button");
            EXPECT_EQ(got.style & 0xF, BsPushButton);
            break;
        case DefaultButton:
            EXPECT_EQ(got.className, u"Button");
            EXPECT_EQ(got.style & 0xF, BsDefPushButton);
            break;
        case Icon:
            EXPECT_EQ(got.className, u"Static");
            EXPECT_EQ(got.style & 0x1F, SsIcon);
            break;
        case Frame:
            EXPECT_EQ(got.className, u"Button");
            EXPECT_EQ(got.style & 0xF, BsGroupBox);
            break;
        }
    }
}

TEST(ScheduleTemplate, ControlIdsFollowTheirArithmetic) {
    host::DialogTemplate d = scheduleTemplate();
    ASSERT_GE(d.items.size(), 21u);
    for (int i = 0; i < 7; ++i) {
        int box = d.items[3 * i].id;
        EXPECT_EQ(box, IDC_DAY_FIRST + i);
        EXPECT_EQ(d.items[3 * i + 1].id, 2 * box - 991) << "switch-on picker of box " << box;
        EXPECT_EQ(d.items[3 * i + 2].id, 2 * box - 990) << "switch-off picker of box " << box;
    }
    for (int j = 0; j < 14; ++j) {
        int id = IDC_PICKER_FIRST + j;
        auto at = std::find_if(d.items.begin(), d.items.end(),
                               [id](const host::DialogItem& it) { return it.id == id; });
        ASSERT_NE(at, d.items.end());
        // Picker j belongs to weekday j / 2: it sits in that weekday's row.
        EXPECT_EQ(at->y, d.items[3 * (j / 2) + 1].y);
        EXPECT_EQ(at->x, j % 2 == 0 ? 44 : 93);
    }
}

TEST(ScheduleTemplate, FullWidthColonIsCompiledAsUtf16) {
    std::vector<BYTE> bytes = resourceBytes(MAKEINTRESOURCE(IDD_SCHEDULE), RT_DIALOG);
    const BYTE next[] = {'N', 0, 'e', 0, 'x', 0, 't', 0, 0x1A, 0xFF, 0, 0};
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), std::begin(next), std::end(next)),
              bytes.end());
}

WORD word(const std::vector<BYTE>& b, size_t at) {
    return static_cast<WORD>(b[at] | (b[at + 1] << 8));
}
DWORD dword(const std::vector<BYTE>& b, size_t at) {
    return word(b, at) | (static_cast<DWORD>(word(b, at + 2)) << 16);
}

TEST(ProgramIcon, FourImagesInTwoSizesAndTwoDepths) {
    std::vector<BYTE> group = resourceBytes(MAKEINTRESOURCE(IDI_APP), RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u);
    EXPECT_EQ(word(group, 0), 0);
    EXPECT_EQ(word(group, 2), 1) << "an icon, not a cursor";
    ASSERT_EQ(word(group, 4), 4);
    ASSERT_EQ(group.size(), 6u + 4 * 14);
    std::set<std::pair<int, int>> kinds;
    for (int k = 0; k < 4; ++k) {
        size_t e = 6 + 14 * k;
        int width = group[e], height = group[e + 1], colours = group[e + 2];
        int planes = word(group, e + 4), bits = word(group, e + 6);
        DWORD bytesInRes = dword(group, e + 8);
        WORD id = word(group, e + 12);
        SCOPED_TRACE("image " + std::to_string(k));
        EXPECT_EQ(width, height);
        EXPECT_EQ(planes, 1);
        EXPECT_EQ(colours, bits == 4 ? 16 : 0);
        kinds.insert({width, bits});

        std::vector<BYTE> image = resourceBytes(MAKEINTRESOURCE(id), RT_ICON);
        ASSERT_EQ(image.size(), bytesInRes);
        ASSERT_GE(image.size(), 40u);
        EXPECT_EQ(dword(image, 0), 40u);
        EXPECT_EQ(static_cast<int>(dword(image, 4)), width);
        EXPECT_EQ(static_cast<int>(dword(image, 8)), 2 * height) << "colour rows and mask";
        EXPECT_EQ(word(image, 12), 1);
        EXPECT_EQ(word(image, 14), bits);
        size_t palette = 4u << bits;
        size_t colourRow = ((width * bits + 31) / 32) * 4, maskRow = ((width + 31) / 32) * 4;
        ASSERT_EQ(image.size(), 40 + palette + height * (colourRow + maskRow));
        // The mask shows a picture: some pixels drawn, some transparent.
        size_t opaque = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                BYTE m = image[40 + palette + height * colourRow + y * maskRow + x / 8];
                opaque += (m & (0x80 >> (x % 8))) == 0;
            }
        }
        EXPECT_GT(opaque, static_cast<size_t>(width * height / 10));
        EXPECT_LT(opaque, static_cast<size_t>(width * height * 9 / 10));
    }
    EXPECT_EQ(kinds, (std::set<std::pair<int, int>>{{16, 4}, {16, 8}, {32, 4}, {32, 8}}));
}

// A version record is a tree of blocks: length, value length, type, key, then the value and
// the children, each on a four-byte boundary. Collects every value by its path of keys.
void readVersionBlock(const std::vector<BYTE>& b, size_t at, size_t end, const std::string& path,
                      std::map<std::string, std::vector<BYTE>>* values) {
    while (at + 6 <= end) {
        size_t length = word(b, at), valueLength = word(b, at + 2), type = word(b, at + 4);
        ASSERT_GE(length, 6u);
        ASSERT_LE(at + length, end);
        size_t p = at + 6;
        std::string key;
        for (; p + 1 < at + length && word(b, p) != 0; p += 2)
            key += static_cast<char>(word(b, p));
        p = (p + 2 + 3) & ~size_t(3);
        size_t valueBytes = type == 1 ? 2 * valueLength : valueLength;
        ASSERT_LE(p + valueBytes, at + length);
        std::string here = path + "/" + key;
        (*values)[here] = std::vector<BYTE>(b.begin() + p, b.begin() + p + valueBytes);
        size_t children = (p + valueBytes + 3) & ~size_t(3);
        readVersionBlock(b, children, at + length, here, values);
        at = (at + length + 3) & ~size_t(3);
    }
}

std::u16string textOf(const std::vector<BYTE>& v) {
    std::u16string s;
    for (size_t i = 0; i + 1 < v.size(); i += 2) {
        char16_t c = static_cast<char16_t>(v[i] | (v[i + 1] << 8));
        if (c == 0)
            break;
        s.push_back(c);
    }
    return s;
}

TEST(ProgramVersion, FileVersionOneAndChinesePrcUnicode) {
    std::vector<BYTE> b = resourceBytes(MAKEINTRESOURCE(1), RT_VERSION);
    ASSERT_GE(b.size(), 92u);
    std::map<std::string, std::vector<BYTE>> values;
    readVersionBlock(b, 0, b.size(), "", &values);

    const std::vector<BYTE>& fixed = values["/VS_VERSION_INFO"];
    ASSERT_EQ(fixed.size(), 52u);
    EXPECT_EQ(dword(fixed, 0), 0xFEEF04BDu) << "the fixed file information's signature";
    EXPECT_EQ(dword(fixed, 8), 0x00010000u) << "file version 1.0";
    EXPECT_EQ(dword(fixed, 12), 0u) << "file version .0.0";
    EXPECT_EQ(dword(fixed, 16), 0x00010000u) << "product version 1.0";
    EXPECT_EQ(dword(fixed, 20), 0u) << "product version .0.0";
    EXPECT_EQ(dword(fixed, 32), 0x00050000u) << "for Windows CE";
    EXPECT_EQ(dword(fixed, 36), 1u) << "an application";

    const std::string strings = "/VS_VERSION_INFO/StringFileInfo/080404b0";
    ASSERT_TRUE(values.count(strings)) << "a string table for Chinese (PRC), Unicode";
    EXPECT_EQ(textOf(values[strings + "/FileVersion"]), u"1, 0, 0, 0");
    EXPECT_FALSE(textOf(values[strings + "/FileDescription"]).empty());
    EXPECT_FALSE(textOf(values[strings + "/ProductName"]).empty());

    const std::vector<BYTE>& translation = values["/VS_VERSION_INFO/VarFileInfo/Translation"];
    ASSERT_EQ(translation.size(), 4u);
    EXPECT_EQ(word(translation, 0), 0x0804);
    EXPECT_EQ(word(translation, 2), 1200);
}

} // namespace
