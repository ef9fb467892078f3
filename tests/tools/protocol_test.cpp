// The line protocol between the console and the Wine phone's helper: every field comes back
// exactly as it was sent, whatever bytes it holds, and a line never holds a control character.
#include "tools/shared/protocol.h"

#include <gtest/gtest.h>

namespace {

TEST(Protocol, FieldsComeBackExactly) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const std::vector<std::vector<std::string>> lines = {
        {"reg-get", "SOFTWARE\\QuillmarshSoft\\Velmora", "S0"},
        {"", "a\tb", "line\none\r", "\\x41 is not an escape of ours", "\\"},
        {"name \x1b[2J", "bell\x07", "del\x7f", everyByte},
        {"出錯", "\\xzz", "\\x4"},
    };
    for (const std::vector<std::string>& fields : lines) {
        const std::string line = protocol::join(fields);
        EXPECT_EQ(fields, protocol::split(line)) << line;
        for (char c : line)
            EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) << line;
    }
}

} // namespace
