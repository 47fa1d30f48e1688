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
    char drive[3], directory[256], name[256];
    ASSERT_TRUE(Tamber::SplitPath("C:\\games\\kav.exe", drive, 3, directory, 256, name, 256));
    EXPECT_EQ(std::string("C:|\\games\\|kav.exe"), std::string(drive) + "|" + directory + "|" + name);
    ASSERT_TRUE(Tamber::SplitPath("/usr/bin/kav.exe", drive, 3, directory, 256, name, 256));
    EXPECT_EQ(std::string("|/usr/bin/|kav.exe"), std::string(drive) + "|" + directory + "|" + name);
}

}  // namespace
