# Writes a compiled resource image (INPUT, a .res file) as a C++ source (OUTPUT) that defines
# host::programResourceImage and host::programResourceImageSize.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x..," 16 row)
string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from velmora.res by the build; not to be edited.
#include \"platform/host/resources.h\"

namespace host {
alignas(8) const unsigned char programResourceImage[${size} + 1] = {
    ${bytes}
};
const size_t programResourceImageSize = ${size};
} // namespace host
")
