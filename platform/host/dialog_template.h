// Reading a dialog template in the classic (DLGTEMPLATE) layout, as the resource compiler
// writes it: the dialog manager builds dialogs from it and the tests check it.
#ifndef VELMORA_HOST_DIALOG_TEMPLATE_H
#define VELMORA_HOST_DIALOG_TEMPLATE_H

#include "win32_core.h"

#include <string>
#include <vector>

namespace host {

struct DialogItem {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0; // -1 reads as 0xFFFF
    // Predefined and common-control classes by their usual spelling: "Button", "Edit",
    // "Static", "ListBox", "ScrollBar", "ComboBox", "SysDateTimePick32"; others as written.
    std::u16string className;
    int classOrdinal = -1; // the class's number when the template gives one, or -1
    std::u16string text;   // empty when the text is an ordinal
    int textOrdinal = -1;  // a resource id (an icon's), or -1
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::u16string menu, className, caption;
    int menuOrdinal = -1, classOrdinal = -1; // when given by number, or -1
    WORD pointSize = 0;                      // only with DS_SETFONT
    std::u16string fontName;
    std::vector<DialogItem> items;
};

// False when the bytes are not a whole, well-formed classic template.
bool parseDialogTemplate(const void* data, size_t size, DialogTemplate* out);

} // namespace host

#endif
