// The program's resources as the simulated phone's loader sees them: the compiled resource
// image (the resource compiler's .res output) linked into every executable, and its index.
#ifndef VELMORA_HOST_RESOURCES_H
#define VELMORA_HOST_RESOURCES_H

#include "win32_core.h"

#include <string>
#include <vector>

namespace host {

// Defined by the build from the compiled resource script.
extern const unsigned char programResourceImage[];
extern const size_t programResourceImageSize;

// One resource of an image. A type or name given by number has an empty text and its number
// in the ordinal; one given by name has the name and ordinal -1.
struct ResourceEntry {
    int typeOrdinal = -1;
    std::u16string typeName;
    int nameOrdinal = -1;
    std::u16string name;
    WORD language = 0;
    WORD memoryFlags = 0;
    const BYTE* data = nullptr; // inside the image
    size_t size = 0;
};

// Indexes a resource image: a sequence of resource headers, each followed by its data, both
// padded to four bytes. The leading empty entry that marks the format is skipped. False when
// the image is malformed anywhere; the entries read before the fault are still given.
bool parseResourceImage(const void* image, size_t size, std::vector<ResourceEntry>* entries);

// The running program's resources, in the image's order.
const std::vector<ResourceEntry>& programResources();

// When `data` points into one of the program's resources, the bytes from there to the end of
// that resource; 0 otherwise. The dialog manager uses it to bound a template it is handed.
size_t programResourceBytesFrom(const void* data);

} // namespace host

#endif
