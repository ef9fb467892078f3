// The telephony's names, as every layer stores them and the console reads them: the operations
// a fault is set on, and result codes by name or number.
#include "contract.h"

#include "platform/phone/line_rules.h"

namespace {

using line_rules::LineOperation;

TEST(LineRules, OperationsAreNamedAsThePhoneStoresThem) {
    // The words a phone made before has in its faults; renaming one would lose them.
    const char* const stored[] = {"negotiate", "devcaps",  "open",       "halfopen", "getstate",
                                  "setstate",  "register", "unregister", "close"};
    ASSERT_EQ(std::size(stored), std::size(line_rules::kOperations));
    for (size_t i = 0; i < std::size(stored); ++i) {
        LineOperation operation = line_rules::kOperations[i];
        EXPECT_STREQ(stored[i], line_rules::operationName(operation));
        EXPECT_EQ(operation, line_rules::operationFromName(stored[i]));
    }
    EXPECT_FALSE(line_rules::operationFromName("dial"));
    EXPECT_FALSE(line_rules::operationFromName("Open"));
    EXPECT_FALSE(line_rules::operationFromName(""));
}

TEST(LineRules, ParsesResultCodes) {
    struct Case {
        const char* text;
        bool ok;
        LONG value;
    };
    const Case cases[] = {
        {"-5", true, -5},
        {"-2147483566", true, static_cast<LONG>(LINEERR_REINIT)},
        {"0x80000052", true, static_cast<LONG>(LINEERR_REINIT)},
        {"0X80000048", true, static_cast<LONG>(LINEERR_OPERATIONFAILED)},
        {"LINEERR_NOMEM", true, static_cast<LONG>(LINEERR_NOMEM)},
        {"LINEERR_REINIT", true, static_cast<LONG>(LINEERR_REINIT)},
        {"12", true, 12},
        {"-2147483649", false, 0},
        {"0x100000000", false, 0},
        {"0x-5", false, 0},
        {"", false, 0},
        {"-5x", false, 0},
        {"LINEERR_NOPE", false, 0},
    };
    for (const Case& c : cases) {
        LONG v = contract::kMarker;
        EXPECT_EQ(line_rules::parseLineResult(c.text, &v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : static_cast<LONG>(contract::kMarker)) << c.text;
    }
}

} // namespace
