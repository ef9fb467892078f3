// The dialog laid out in character cells: controls on one visual line share a row, and a
// click at a cell finds the control and the picker field under it.
#include "platform/host/dialog_manager.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

using host::Dialog;

SYSTEMTIME at(int hour, int minute) {
    SYSTEMTIME t{};
    t.wYear = 2006;
    t.wMonth = 3;
    t.wDay = 12;
    t.wHour = (WORD)hour;
    t.wMinute = (WORD)minute;
    return t;
}

} // namespace

TEST(DialogLayout, RowsOfTogetherControlsShareAScreenRow) {
    Dialog d;
    auto add = [&](short x, short y, short cx, short cy, host::ControlKind kind) {
        host::Control c;
        c.x = x;
        c.y = y;
        c.cx = cx;
        c.cy = cy;
        c.kind = kind;
        d.controls.push_back(c);
    };
    using K = host::ControlKind;
    // A check box, a picker and a label placed a unit or two apart, as one visual row, twice.
    add(13, 27, 28, 10, K::CheckBox);
    add(44, 25, 33, 13, K::Picker);
    add(79, 27, 12, 10, K::Text);
    add(13, 54, 28, 10, K::CheckBox);
    add(44, 52, 33, 12, K::Picker);
    add(79, 55, 12, 10, K::Text);
    add(6, 15, 127, 116, K::GroupBox);
    add(28, 8, 110, 9, K::Text);
    std::vector<host::CellRect> r = host::layoutDialog(d);
    EXPECT_EQ(r[0].row, r[1].row);
    EXPECT_EQ(r[0].row, r[2].row);
    EXPECT_EQ(r[3].row, r[4].row);
    EXPECT_EQ(r[3].row, r[5].row);
    EXPECT_LT(r[0].row, r[3].row);
    EXPECT_LT(r[7].row, r[6].row) << "the label above the group box keeps its own row";
    EXPECT_LT(r[6].row, r[0].row);
    EXPECT_GT(r[6].row + r[6].rows - 1, r[3].row) << "the frame encloses its rows";
    EXPECT_EQ(3, r[0].col);
    EXPECT_EQ(11, r[1].col);
    EXPECT_EQ(8, r[1].cols);
}

TEST(DialogLayout, ClicksFindTheControlAndThePickerField) {
    Dialog d;
    auto add = [&](WORD id, short x, short y, short cx, short cy, host::ControlKind kind,
                   const char16_t* text) {
        host::Control c;
        c.id = id;
        c.x = x;
        c.y = y;
        c.cx = cx;
        c.cy = cy;
        c.kind = kind;
        c.text = text;
        c.fields = host::parsePickerFormat(u"H':'mm' '");
        c.time = at(7, 5);
        d.controls.push_back(c);
    };
    using K = host::ControlKind;
    add(1000, 13, 27, 28, 10, K::CheckBox, u"SUN");
    add(1009, 44, 25, 33, 13, K::Picker, u"DateTimePicker1");
    add(0, 79, 27, 12, 10, K::Text, u"TO");
    add(1010, 93, 25, 33, 12, K::Picker, u"DateTimePicker1");
    int row = host::layoutDialog(d)[0].row;
    struct Case {
        int row, col, index;
    } cases[] = {
        {row, 2, -1},  {row, 3, 0},  {row, 9, 0},  {row, 11, 1},  {row, 18, 1},
        {row, 20, -1}, {row, 23, 3}, {row, 30, 3}, {row, 31, -1}, {row + 1, 11, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.index, host::controlAt(d, c.row, c.col)) << c.row << "," << c.col;
    d.controls[3].enabled = false;
    EXPECT_EQ(-1, host::controlAt(d, row, 23)) << "a disabled picker takes no click";

    const host::Control& picker = d.controls[1];
    int fields[] = {-1, 0, -1, 1, 1, -1, -1};
    for (int col = 0; col < 7; ++col)
        EXPECT_EQ(fields[col], host::pickerFieldAt(picker, col)) << col;
}
