// The phone's store shared by several processes at once.
#include "phone_fixture.h"

#include <filesystem>
#include <thread>

namespace {

class Store : public TempPhone {};

std::string valueName(int i) {
    // Built by appending: GCC 12's -Wrestrict misjudges "literal" + std::string in Release.
    std::string name = "V";
    name += std::to_string(i);
    return name;
}

// Processes that set up a brand-new phone together all get in; none is turned away busy.
TEST_F(Store, ProcessesStartingANewPhoneTogetherAllSucceed) {
    for (int round = 0; round < 10; ++round) {
        host::closeStore();
        std::filesystem::remove(dbPath);
        std::filesystem::remove(dbPath + "-wal");
        std::filesystem::remove(dbPath + "-shm");
        std::vector<CommandResult> results(4);
        std::vector<std::thread> writers;
        for (int i = 0; i < 4; ++i)
            writers.emplace_back([&, i] {
                results[i] = phone({"reg", "set", valueName(i), "dword", "1"});
            });
        writers.emplace_back([&] { EXPECT_EQ(1, velmora({"AppRunAtTime"}).status); });
        for (std::thread& t : writers)
            t.join();
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(0, results[i].status) << "round " << round << ": " << results[i].err;
            EXPECT_EQ("dword 4 1\n", phone({"reg", "get", valueName(i)}).out);
        }
    }
}

} // namespace
