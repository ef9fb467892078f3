// The host's process entry: the phone hands the program its command line as one wide string,
// the arguments joined by single spaces.
#include "host.h"

int main(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    std::u16string commandLine = host::fromUtf8(line);
    int code = WinMain(host::instance(), nullptr, commandLine.data(), 1);
    host::closeStore();
    return code;
}
