#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TamberLauncher.h"

namespace {

std::string MessageName(int32_t type, uint32_t size = 128) {
    char buffer[128] = "untouched";
    EXPECT_EQ(1, Vantor_MessageTypeToString(type, buffer, size));
    return buffer;
}

TEST(Names, EveryMessageTypeHasItsConstantName) {
    EXPECT_EQ("VANTORMESSAGETYPE_GAMECLIENT_CREATE", MessageName(0));
    EXPECT_EQ("VANTORMESSAGETYPE_HEARTBEAT", MessageName(4));
    EXPECT_EQ("VANTORMESSAGETYPE_REPLY", MessageName(5));
    EXPECT_EQ("VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME", MessageName(11));
    EXPECT_EQ("VANTORMESSAGETYPE_PLAY_REPLAY", MessageName(20));
    EXPECT_EQ("VANTORMESSAGETYPE_GAMECLIENT_GAME_LOADING_COMPLETE", MessageName(33));
    EXPECT_EQ("VANTORMESSAGETYPE_KILL_GAMECLIENT_PROCESS", MessageName(34));
}

TEST(Names, UnknownMessageTypesAreInvalidAndSucceed) {
    for (int32_t type : {35, -1, 1000, INT32_MIN, INT32_MAX})
        EXPECT_EQ("VANTORMESSAGETYPE_INVALID", MessageName(type)) << type;
}

TEST(Names, ProcessTypes) {
    char buffer[64];
    EXPECT_EQ(1, Vantor_ProcessTypeToString(0, buffer, sizeof buffer));
    EXPECT_STREQ("VANTORPROCESSTYPE_AIR", buffer);
    EXPECT_EQ(1, Vantor_ProcessTypeToString(2, buffer, sizeof buffer));
    EXPECT_STREQ("VANTORPROCESSTYPE_LAUNCHER", buffer);
    for (int32_t type : {3, -1}) {
        std::strcpy(buffer, "x");
        EXPECT_EQ(0, Vantor_ProcessTypeToString(type, buffer, sizeof buffer));
        EXPECT_STREQ("", buffer);
    }
}

TEST(Names, ErrorTypes) {
    char buffer[64];
    EXPECT_EQ(1, Vantor_ErrorToString(0, buffer, sizeof buffer));
    EXPECT_STREQ("VANTORERRORTYPE_GAMEPROCESSSTART", buffer);
    EXPECT_EQ(1, Vantor_ErrorToString(8, buffer, sizeof buffer));
    EXPECT_STREQ("VANTORERRORTYPE_INVALID", buffer);
    EXPECT_EQ(0, Vantor_ErrorToString(9, buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
}

TEST(Names, SmallBuffersTruncateButKeepTheResult) {
    EXPECT_EQ("VANTORMES", MessageName(4, 10));
    const char* longest = "VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS";
    ASSERT_EQ(67u, std::strlen(longest));
    EXPECT_EQ(longest, MessageName(29, 68));
    EXPECT_EQ(std::string(longest, 66), MessageName(29, 67));
    char buffer[4];
    EXPECT_EQ(1, Vantor_ErrorToString(7, buffer, sizeof buffer));
    EXPECT_STREQ("VAN", buffer);
}

TEST(Names, ZeroSizeOrNullBufferWritesNothing) {
    char buffer[8] = "keep";
    EXPECT_EQ(1, Vantor_MessageTypeToString(4, buffer, 0));
    EXPECT_STREQ("keep", buffer);
    EXPECT_EQ(1, Vantor_MessageTypeToString(4, nullptr, 8));
    EXPECT_EQ(0, Vantor_ProcessTypeToString(7, nullptr, 8));
}

}  // namespace
