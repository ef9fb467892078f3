#include "dialog_template.h"

// Placeholder until the template reader lands.
namespace host {
bool parseDialogTemplate(const void*, size_t, DialogTemplate*) {
    return false;
}
} // namespace host
