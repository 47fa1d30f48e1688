#include <gtest/gtest.h>

#include <climits>

#include "TamberLauncher.h"

// Names by value; unknown message types are INVALID and succeed, other
// unknown values leave an empty text; small buffers cut the name and keep
// the result.
TEST(Names, ValuesAndBuffers) {
    using ToString = int32_t(VANTOR_CALL*)(int32_t, char*, uint32_t);
    const struct {
        ToString function;
        int32_t value;
        uint32_t size;
        int32_t result;
        const char* text;
    } cases[] = {
        {Vantor_MessageTypeToString, 35, 128, 1, "VANTORMESSAGETYPE_INVALID"},
        {Vantor_MessageTypeToString, INT32_MIN, 128, 1, "VANTORMESSAGETYPE_INVALID"},
        {Vantor_MessageTypeToString, 29, 67, 1, "VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIAL"},
        {Vantor_MessageTypeToString, 4, 0, 1, "untouched"},
        {Vantor_ProcessTypeToString, 3, 64, 0, ""},
        {Vantor_ErrorToString, 9, 64, 0, ""},
        {Vantor_ErrorToString, 7, 4, 1, "VAN"},
    };
    for (const auto& c : cases) {
        char buffer[128] = "untouched";
        EXPECT_EQ(c.result, c.function(c.value, buffer, c.size)) << c.value;
        EXPECT_STREQ(c.text, buffer) << c.value;
    }
    EXPECT_EQ(1, Vantor_MessageTypeToString(4, nullptr, 8));
    EXPECT_EQ(0, Vantor_ProcessTypeToString(7, nullptr, 8));
}
