// Reading a dialog template in the classic layout: a DLGTEMPLATE header, the menu, class and
// caption, the font when DS_SETFONT is set, then one DLGITEMTEMPLATE per control, each on a
// four-byte boundary and followed by its class, text and creation data. Every read is checked
// against the end of the bytes, so a truncated or damaged template is refused, never overrun.
#include "dialog_template.h"
#include "byte_reader.h"

namespace {

constexpr DWORD kSetFont = 0x40; // DS_SETFONT: the header carries a point size and a face

// Window classes by their usual spelling; the ordinals' classes come first, in ordinal order
// from 0x0080. Class names match without regard to letter case, and the resource compiler
// writes a class named in the script in capitals.
const char16_t* const kKnownClasses[] = {u"Button",    u"Edit",     u"Static",           u"ListBox",
                                         u"ScrollBar", u"ComboBox", u"SysDateTimePick32"};
constexpr int kFirstClassOrdinal = 0x0080;
constexpr int kOrdinalClasses = 6;

std::u16string canonicalClass(const std::u16string& name) {
    for (const char16_t* known : kKnownClasses) {
        size_t i = 0;
        while (i < name.size() && known[i] != 0 &&
               host::upperAscii(name[i]) == host::upperAscii(known[i]))
            ++i;
        if (i == name.size() && known[i] == 0)
            return known;
    }
    return name;
}

bool readItem(host::ByteReader* r, host::DialogItem* item) {
    if (!r->alignToDword() || !r->dword(&item->style) || !r->dword(&item->exStyle) ||
        !r->coordinate(&item->x) || !r->coordinate(&item->y) || !r->coordinate(&item->cx) ||
        !r->coordinate(&item->cy) || !r->word(&item->id))
        return false;
    if (!r->nameOrOrdinal(&item->classOrdinal, &item->className))
        return false;
    if (item->classOrdinal >= 0) {
        int index = item->classOrdinal - kFirstClassOrdinal;
        if (index >= 0 && index < kOrdinalClasses)
            item->className = kKnownClasses[index];
    } else {
        item->className = canonicalClass(item->className);
    }
    if (!r->nameOrOrdinal(&item->textOrdinal, &item->text))
        return false;
    // The creation data: a count of the bytes that follow it, then those bytes.
    WORD extra;
    if (!r->word(&extra))
        return false;
    return r->bytesTo(extra, &item->creationData);
}

} // namespace

namespace host {

bool parseDialogTemplate(const void* data, size_t size, DialogTemplate* out) {
    if (!data || !out)
        return false;
    host::ByteReader r{static_cast<const BYTE*>(data), size};
    DialogTemplate dialog;
    WORD count;
    if (!r.dword(&dialog.style) || !r.dword(&dialog.exStyle) || !r.word(&count) ||
        !r.coordinate(&dialog.x) || !r.coordinate(&dialog.y) || !r.coordinate(&dialog.cx) ||
        !r.coordinate(&dialog.cy))
        return false;
    // An extended template starts with version 1 and the signature 0xFFFF; it is not read here.
    if ((dialog.style & 0xFFFF) == 1 && (dialog.style >> 16) == 0xFFFF)
        return false;
    if (!r.nameOrOrdinal(&dialog.menuOrdinal, &dialog.menu) ||
        !r.nameOrOrdinal(&dialog.classOrdinal, &dialog.className) || !r.text(&dialog.caption))
        return false;
    if ((dialog.style & kSetFont) && (!r.word(&dialog.pointSize) || !r.text(&dialog.fontName)))
        return false;
    // Every control takes at least 24 bytes, which bounds what a damaged count can reserve.
    dialog.items.reserve(count < size / 24 ? count : size / 24);
    for (WORD i = 0; i < count; ++i) {
        DialogItem item;
        if (!readItem(&r, &item))
            return false;
        dialog.items.push_back(std::move(item));
    }
    *out = std::move(dialog);
    return true;
}

} // namespace host
