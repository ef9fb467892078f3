// The classic dialog-template reader on hand-made templates: every field, the ways a class and
// a text may be given, the alignment of controls, and damaged or truncated input.
#include "platform/host/dialog_template.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Writes a template byte by byte, little-endian, as the resource compiler does.
struct Bytes {
    std::vector<BYTE> b;
    Bytes& word(WORD w) {
        b.push_back(static_cast<BYTE>(w));
        b.push_back(static_cast<BYTE>(w >> 8));
        return *this;
    }
    Bytes& dword(DWORD d) { return word(static_cast<WORD>(d)).word(static_cast<WORD>(d >> 16)); }
    Bytes& str(const std::u16string& s) {
        for (char16_t c : s)
            word(c);
        return word(0);
    }
    Bytes& ord(WORD n) { return word(0xFFFF).word(n); }
    Bytes& align4() {
        while (b.size() % 4)
            b.push_back(0);
        return *this;
    }
    Bytes& header(DWORD style, WORD count, short cx = 100, short cy = 50) {
        return dword(style).dword(0).word(count).word(1).word(2).word(cx).word(cy);
    }
    Bytes& item(DWORD style, WORD id, short x = 1, short y = 2, short cx = 3, short cy = 4) {
        align4();
        return dword(style).dword(0).word(x).word(y).word(cx).word(cy).word(id);
    }
};

constexpr DWORD kSetFont = 0x40;

bool parse(const std::vector<BYTE>& bytes, host::DialogTemplate* out) {
    // An exact-size heap copy, so that the sanitizer catches any read past the end.
    std::vector<BYTE> exact(bytes.begin(), bytes.end());
    return host::parseDialogTemplate(exact.empty() ? nullptr : exact.data(), exact.size(), out);
}

// A template that uses every feature: menu by number, class by name, font, and controls with
// ordinal and named classes, ordinal text, creation data of odd length and an id of -1.
std::vector<BYTE> fullTemplate() {
    Bytes t;
    t.header(0x80C00000 | kSetFont, 4, 160, 202).ord(7).str(u"MyDialogClass").str(u"Caption");
    t.word(9).str(u"Tahoma");
    t.item(0x50010003, 1000).ord(0x0080).str(u"SUN").word(0);
    t.item(0x50010009, 1009).str(u"SYSDATETIMEPICK32").str(u"DateTimePicker1").word(3);
    t.b.insert(t.b.end(), {0xAA, 0xBB, 0xCC});
    t.item(0x50000003, 0).ord(0x0082).ord(101).word(0);
    t.item(0x50020000, 0xFFFF).ord(0x0082).str(u"Next\uFF1A").word(0);
    return t.b;
}

TEST(DialogTemplate, ReadsEveryFieldOfTheHeaderAndControls) {
    host::DialogTemplate d;
    ASSERT_TRUE(parse(fullTemplate(), &d));
    EXPECT_EQ(d.style, 0x80C00040u);
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.x, 1);
    EXPECT_EQ(d.y, 2);
    EXPECT_EQ(d.cx, 160);
    EXPECT_EQ(d.cy, 202);
    EXPECT_EQ(d.menuOrdinal, 7);
    EXPECT_TRUE(d.menu.empty());
    EXPECT_EQ(d.classOrdinal, -1);
    EXPECT_EQ(d.className, u"MyDialogClass");
    EXPECT_EQ(d.caption, u"Caption");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.fontName, u"Tahoma");
    ASSERT_EQ(d.items.size(), 4u);

    const host::DialogItem& box = d.items[0];
    EXPECT_EQ(box.style, 0x50010003u);
    EXPECT_EQ(box.id, 1000);
    EXPECT_EQ(box.className, u"Button");
    EXPECT_EQ(box.classOrdinal, 0x80);
    EXPECT_EQ(box.text, u"SUN");
    EXPECT_EQ(box.textOrdinal, -1);
    EXPECT_EQ(box.x, 1);
    EXPECT_EQ(box.y, 2);
    EXPECT_EQ(box.cx, 3);
    EXPECT_EQ(box.cy, 4);
    EXPECT_TRUE(box.creationData.empty());

    const host::DialogItem& picker = d.items[1];
    EXPECT_EQ(picker.className, u"SysDateTimePick32"); // class names ignore letter case
    EXPECT_EQ(picker.classOrdinal, -1);
    EXPECT_EQ(picker.text, u"DateTimePicker1");
    EXPECT_EQ(picker.creationData, (std::vector<BYTE>{0xAA, 0xBB, 0xCC}));

    const host::DialogItem& icon = d.items[2];
    EXPECT_EQ(icon.className, u"Static");
    EXPECT_EQ(icon.textOrdinal, 101);
    EXPECT_TRUE(icon.text.empty());

    const host::DialogItem& line = d.items[3];
    EXPECT_EQ(line.id, 0xFFFF);
    EXPECT_EQ(line.text, u"Next\uFF1A");
}

TEST(DialogTemplate, WithoutSetFontThereIsNoFontAndNoMenuOrClass) {
    Bytes t;
    t.header(0x80000000, 1).word(0).word(0).str(u"");
    t.item(0x50000000, 5).ord(0x0081).str(u"").word(0);
    host::DialogTemplate d;
    ASSERT_TRUE(parse(t.b, &d));
    EXPECT_EQ(d.menuOrdinal, -1);
    EXPECT_TRUE(d.menu.empty());
    EXPECT_EQ(d.classOrdinal, -1);
    EXPECT_TRUE(d.className.empty());
    EXPECT_TRUE(d.caption.empty());
    EXPECT_EQ(d.pointSize, 0);
    EXPECT_TRUE(d.fontName.empty());
    ASSERT_EQ(d.items.size(), 1u);
    EXPECT_EQ(d.items[0].className, u"Edit");
    EXPECT_EQ(d.items[0].id, 5);
}

TEST(DialogTemplate, MapsClassOrdinalsAndKnownNames) {
    struct Case {
        bool byOrdinal;
        WORD ordinal;
        std::u16string written, expected;
    };
    const Case cases[] = {
        {true, 0x80, u"", u"Button"},
        {true, 0x81, u"", u"Edit"},
        {true, 0x82, u"", u"Static"},
        {true, 0x83, u"", u"ListBox"},
        {true, 0x84, u"", u"ScrollBar"},
        {true, 0x85, u"", u"ComboBox"},
        {true, 0x86, u"", u""}, // an atom this phone does not know: kept as a number only
        {true, 0x7F, u"", u""},
        {false, 0, u"BUTTON", u"Button"},
        {false, 0, u"static", u"Static"},
        {false, 0, u"SysDateTimePick32", u"SysDateTimePick32"},
        {false, 0, u"sysdatetimepick3", u"sysdatetimepick3"}, // a prefix is another class
        {false, 0, u"SysDateTimePick32x", u"SysDateTimePick32x"},
        {false, 0, u"MyOwnClass", u"MyOwnClass"},
    };
    for (const Case& c : cases) {
        Bytes t;
        t.header(0, 1).word(0).word(0).str(u"x");
        t.item(0, 1);
        if (c.byOrdinal)
            t.ord(c.ordinal);
        else
            t.str(c.written);
        t.str(u"t").word(0);
        host::DialogTemplate d;
        ASSERT_TRUE(parse(t.b, &d));
        ASSERT_EQ(d.items.size(), 1u);
        EXPECT_EQ(d.items[0].className, c.expected) << "ordinal " << c.ordinal;
        EXPECT_EQ(d.items[0].classOrdinal, c.byOrdinal ? c.ordinal : -1);
    }
}

TEST(DialogTemplate, ControlsStartOnFourByteBoundaries) {
    // The caption "abc" leaves the header two bytes past a boundary; the first control's text
    // "c" and the creation data of one byte leave the second control misaligned too.
    Bytes t;
    t.header(0, 2).word(0).word(0).str(u"abc");
    ASSERT_NE(t.b.size() % 4, 0u);
    t.item(0x1, 11).ord(0x80).str(u"c").word(1);
    t.b.push_back(0x42);
    ASSERT_NE(t.b.size() % 4, 0u);
    t.item(0x2, 12).ord(0x80).str(u"d").word(0);
    host::DialogTemplate d;
    ASSERT_TRUE(parse(t.b, &d));
    ASSERT_EQ(d.items.size(), 2u);
    EXPECT_EQ(d.items[0].id, 11);
    EXPECT_EQ(d.items[0].creationData, std::vector<BYTE>{0x42});
    EXPECT_EQ(d.items[1].id, 12);
    EXPECT_EQ(d.items[1].style, 0x2u);
    EXPECT_EQ(d.items[1].text, u"d");
}

TEST(DialogTemplate, EveryTruncationIsRefused) {
    const std::vector<BYTE> whole = fullTemplate();
    host::DialogTemplate d;
    ASSERT_TRUE(parse(whole, &d));
    for (size_t n = 0; n < whole.size(); ++n) {
        std::vector<BYTE> prefix(whole.begin(), whole.begin() + n);
        host::DialogTemplate out;
        out.caption = u"untouched";
        EXPECT_FALSE(parse(prefix, &out)) << "prefix of " << n << " bytes";
        EXPECT_EQ(out.caption, u"untouched") << "a refused template changed the result";
    }
}

TEST(DialogTemplate, RefusesMalformedInput) {
    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
    };
    std::vector<Case> cases;
    {
        Bytes t;
        t.word(1).word(0xFFFF).dword(0).dword(0).dword(0).word(0);
        t.word(0).word(0).word(10).word(10).word(0).word(0).str(u"ex");
        cases.push_back({"an extended template", t.b});
    }
    {
        Bytes t;
        t.header(0, 0).word(0).word(0).word(u'a').word(u'b'); // the caption never ends
        cases.push_back({"an unterminated caption", t.b});
    }
    {
        Bytes t;
        t.header(0, 3).word(0).word(0).str(u"x");
        t.item(0, 1).ord(0x80).str(u"one").word(0);
        cases.push_back({"fewer controls than counted", t.b});
    }
    {
        Bytes t;
        t.header(0, 0xFFFF).word(0).word(0).str(u"x");
        cases.push_back({"a huge count and no controls", t.b});
    }
    {
        Bytes t;
        t.header(0, 1).word(0).word(0).str(u"x");
        t.item(0, 1).ord(0x80).str(u"t").word(200).word(1);
        cases.push_back({"creation data longer than the template", t.b});
    }
    {
        Bytes t;
        t.header(0, 0).word(0xFFFF);
        cases.push_back({"a menu ordinal cut off", t.b});
    }
    {
        Bytes t;
        t.header(kSetFont, 0).word(0).word(0).str(u"x").word(9).word(u'T');
        cases.push_back({"a face name cut off", t.b});
    }
    for (const Case& c : cases) {
        host::DialogTemplate d;
        EXPECT_FALSE(parse(c.bytes, &d)) << c.what;
    }
    host::DialogTemplate d;
    EXPECT_FALSE(host::parseDialogTemplate(nullptr, 100, &d));
    const std::vector<BYTE> whole = fullTemplate();
    EXPECT_FALSE(host::parseDialogTemplate(whole.data(), whole.size(), nullptr));
}

TEST(DialogTemplate, TrailingBytesAfterTheLastControlAreAllowed) {
    std::vector<BYTE> bytes = fullTemplate();
    bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0});
    host::DialogTemplate d;
    ASSERT_TRUE(parse(bytes, &d));
    EXPECT_EQ(d.items.size(), 4u);
}

TEST(DialogTemplate, SurvivesGarbage) {
    // Random bytes and damaged copies of a good template: the reader may accept or refuse,
    // but it must never read outside the bytes (the sanitizer watches).
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<BYTE>(seed >> 16);
    };
    const std::vector<BYTE> good = fullTemplate();
    for (int round = 0; round < 2000; ++round) {
        std::vector<BYTE> bytes;
        if (round % 2) {
            bytes.resize(next() % 96);
            for (BYTE& b : bytes)
                b = next();
        } else {
            bytes = good;
            for (int k = 0; k < 3; ++k)
                bytes[next() % bytes.size()] = next();
        }
        host::DialogTemplate d;
        parse(bytes, &d);
    }
}

} // namespace
