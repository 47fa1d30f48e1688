#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"

namespace {

TEST(Paths, ParentDirectoryFollowsTheWindowsRules) {
    const std::pair<std::string, const char*> cases[] = {{"C:\\a\\b\\file.exe", "C:\\a\\b\\"},
                                                         {"C:\\a\\b\\", "C:\\a\\"},
                                                         {"C:\\", "C:\\"},
                                                         {"C:/x/y\\z\\", "C:/x/"},  // the last forward slash wins
                                                         {"/opt/game/bin/", "/opt/game/"},
                                                         {"file.exe", ""},
                                                         {"", ""},
                                                         {"D:name", "D:"},
                                                         {"C:\\" + std::string(300, 'd') + "\\file", nullptr}};
    for (const auto& c : cases) {
        char output[256] = "untouched";
        EXPECT_EQ(c.second != nullptr, Tamber::GetParentDirectory(c.first.c_str(), output)) << c.first;
        EXPECT_STREQ(c.second ? c.second : "untouched", output) << c.first;
    }
}

}  // namespace
