// The dialog laid out in character cells for the terminal: where each control is drawn, and
// which control, and which field of a picker, a click at a cell lands on.
#include "dialog_manager.h"

#include <algorithm>
#include <cmath>

namespace host {

std::vector<CellRect> layoutDialog(const Dialog& d) {
    // Every control is a line at its vertical centre; a group box is two lines, its top and
    // bottom edges. Lines less than two dialog units apart share a row; rows are twelve units,
    // which keeps a phone-sized dialog on a small terminal, and never fewer than one a line.
    struct Mark {
        double y;
        size_t control;
        int edge; // 0 centre, 1 top edge, 2 bottom edge
    };
    std::vector<Mark> marks;
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        if (c.kind == ControlKind::GroupBox) {
            marks.push_back({static_cast<double>(c.y), i, 1});
            marks.push_back({static_cast<double>(c.y + c.cy), i, 2});
        } else {
            marks.push_back({c.y + c.cy / 2.0, i, 0});
        }
    }
    std::stable_sort(marks.begin(), marks.end(),
                     [](const Mark& a, const Mark& b) { return a.y < b.y; });
    std::vector<int> rowOfMark(marks.size());
    int lastRow = -1;
    for (size_t start = 0; start < marks.size();) {
        size_t end = start + 1;
        double sum = marks[start].y;
        while (end < marks.size() && marks[end].y - marks[end - 1].y < 2.0)
            sum += marks[end++].y;
        int row = static_cast<int>(std::lround(sum / static_cast<double>(end - start) / 12.0));
        row = std::max(row, lastRow + 1);
        for (size_t k = start; k < end; ++k)
            rowOfMark[k] = row;
        lastRow = row;
        start = end;
    }
    std::vector<CellRect> rects(d.controls.size());
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        rects[i].col = static_cast<int>(std::lround(c.x / 4.0));
        rects[i].cols = std::max(1, static_cast<int>(std::lround(c.cx / 4.0)));
    }
    for (size_t k = 0; k < marks.size(); ++k) {
        CellRect& r = rects[marks[k].control];
        if (marks[k].edge == 2)
            r.rows = rowOfMark[k] - r.row + 1;
        else
            r.row = rowOfMark[k];
    }
    return rects;
}

int controlAt(const Dialog& d, int row, int col) {
    std::vector<CellRect> rects = layoutDialog(d);
    for (size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        const CellRect& r = rects[i];
        // A box's label may run past its width; it is drawn, and clicked, in full.
        int cols = r.cols;
        if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton)
            cols = std::max(cols, 4 + static_cast<int>(c.text.size()));
        if (c.takesInput() && row == r.row && col >= r.col && col < r.col + cols)
            return static_cast<int>(i);
    }
    return -1;
}

int pickerFieldAt(const Control& c, int col) {
    int at = 1, editable = -1; // after the opening bracket
    for (const PickerField& f : c.fields) {
        int w = static_cast<int>(formatPickerField(f, c.time).size());
        if (f.editable())
            ++editable;
        if (col >= at && col < at + w)
            return f.editable() ? editable : -1;
        at += w;
    }
    return -1;
}

} // namespace host
