#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "platform/strings.h"
#include "test_support.h"

namespace {

std::string Parent(const char* path) {
    char output[256] = "untouched";
    EXPECT_TRUE(Tamber::GetParentDirectory(path, output)) << path;
    return output;
}

TEST(Paths, ParentDirectoryFollowsTheWindowsRules) {
    EXPECT_EQ("C:\\a\\b\\", Parent("C:\\a\\b\\file.exe"));
    EXPECT_EQ("C:\\a\\", Parent("C:\\a\\b\\"));
    EXPECT_EQ("C:\\", Parent("C:\\"));
    EXPECT_EQ("C:/x/", Parent("C:/x/y\\z\\"));  // the last forward slash wins
    EXPECT_EQ("/opt/game/", Parent("/opt/game/bin/"));
    EXPECT_EQ("/opt/game/bin/", Parent("/opt/game/bin/run"));
    EXPECT_EQ("", Parent("file.exe"));
    EXPECT_EQ("", Parent(""));
    EXPECT_EQ("D:", Parent("D:name"));
}

TEST(Paths, ParentDirectoryRefusesWhatCannotBeSplit) {
    char output[256] = "untouched";
    const std::string tooLong = "C:\\" + std::string(300, 'd') + "\\file";
    EXPECT_FALSE(Tamber::GetParentDirectory(tooLong.c_str(), output));
    EXPECT_FALSE(Tamber::GetParentDirectory(nullptr, output));
    EXPECT_STREQ("untouched", output);
}

TEST(Paths, SplitGivesDriveDirectoryAndName) {
    char drive[3], directory[256], name[256];
    ASSERT_TRUE(Tamber::SplitPath("C:\\games\\kav.exe", drive, 3, directory, 256, name, 256));
    EXPECT_STREQ("C:", drive);
    EXPECT_STREQ("\\games\\", directory);
    EXPECT_STREQ("kav.exe", name);
    ASSERT_TRUE(Tamber::SplitPath("/usr/bin/kav.exe", drive, 3, directory, 256, name, 256));
    EXPECT_STREQ("", drive);
    EXPECT_STREQ("/usr/bin/", directory);
    EXPECT_STREQ("kav.exe", name);
}

TEST(Paths, ModuleDirectoryIsTheTestExecutables) {
    char directory[Tamber::kMaxPath];
    ASSERT_TRUE(Tamber::GetModuleDirectory(directory, sizeof directory));
    const std::size_t length = std::strlen(directory);
    ASSERT_GT(length, 0u);
    EXPECT_TRUE(directory[length - 1] == '/' || directory[length - 1] == '\\');
    EXPECT_TRUE(Tamber::FileExists(directory));
    char tiny[2];
    EXPECT_FALSE(Tamber::GetModuleDirectory(tiny, sizeof tiny));
    EXPECT_FALSE(Tamber::GetModuleDirectory(nullptr, 10));
}

TEST(Paths, FilesExistAndGo) {
    TamberTest::TempDir folder;
    const std::string file = folder.File("a.txt");
    EXPECT_FALSE(Tamber::FileExists(file.c_str()));
    std::ofstream(file) << "x";
    EXPECT_TRUE(Tamber::FileExists(file.c_str()));
    EXPECT_TRUE(Tamber::FileExists(folder.Path().string().c_str()));  // a directory counts
    EXPECT_TRUE(Tamber::DeleteFileAtPath(file.c_str()));
    EXPECT_FALSE(Tamber::FileExists(file.c_str()));
    EXPECT_FALSE(Tamber::DeleteFileAtPath(file.c_str()));
}

TEST(Paths, FullPathOfARelativeNameIsInTheCurrentDirectory) {
    TamberTest::TempDir folder;
    TamberTest::WorkingDirectory cwd(folder.Path());
    char current[Tamber::kMaxPath];
    ASSERT_TRUE(Tamber::GetCurrentDirectoryPath(current));
    char full[Tamber::kMaxPath];
    ASSERT_TRUE(Tamber::GetFullPath("name.txt", full));
    EXPECT_EQ(std::string(current) + Tamber::PathSeparator() + "name.txt", full);
    EXPECT_EQ(std::filesystem::path(full).parent_path(), std::filesystem::current_path());
}

}  // namespace
