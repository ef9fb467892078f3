// What a statically linked program on the simulated phone puts in place of the C library's
// dlopen. SQLite refers to dlopen for loadable extensions, which nothing here loads; linked
// statically, the C library's dlopen could only load libraries built against the very same C
// library, and the linker warns about it on every build. The static programs link with
// -Wl,--wrap=dlopen, so that SQLite's reference lands here: loading a library always fails.
#include <cstddef>

extern "C" void* __wrap_dlopen(const char*, int) {
    return NULL;
}
