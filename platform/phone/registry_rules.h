// Where the phone's registry differs from desktop Win32 in what it takes, once for both layers:
// a value name has at most 255 characters, and a key path is the names between its
// backslashes, empty ones (a leading backslash) skipped. Each layer applies these in its own
// registry (platform/host/registry.cpp, platform/win32/registry.cpp); which bytes a value keeps
// and which access a key is opened with are the layers' own to arrange.
#ifndef VELMORA_PHONE_REGISTRY_RULES_H
#define VELMORA_PHONE_REGISTRY_RULES_H

#include <cstddef>
#include <string>
#include <vector>

namespace registry_rules {

// Not counting the terminator (RegSetValueEx in the Windows CE reference; desktop Win32 takes
// 16,383).
inline constexpr size_t kMaxValueNameChars = 255;

// The length of a value name, counted no further than one past the longest the phone takes; 0
// for none (the key's default value).
template <typename C> size_t valueNameLength(const C* name) {
    size_t length = 0;
    while (name != nullptr && length <= kMaxValueNameChars && name[length] != 0)
        ++length;
    return length;
}

// Whether the phone takes the value name; RegSetValueEx refuses one it does not with
// ERROR_INVALID_PARAMETER.
template <typename C> bool valueNameFits(const C* name) {
    return valueNameLength(name) <= kMaxValueNameChars;
}

// The names of a key path, in order; none for a null or empty path.
template <typename C> std::vector<std::basic_string<C>> keyNames(const C* path) {
    std::vector<std::basic_string<C>> names;
    for (const C* name = path; name != nullptr && *name != 0;) {
        const C* end = name;
        while (*end != 0 && *end != C('\\'))
            ++end;
        if (end > name)
            names.emplace_back(name, end);
        name = *end != 0 ? end + 1 : end;
    }
    return names;
}

} // namespace registry_rules

#endif
