// Whether the programs' executables are on disk.
#include <filesystem>
#include <fstream>
#include <string>

#include "process_fixture.h"

namespace {

using TamberTest::OnDisk;

using FileCheck = ProcessHelperTest;

void Touch(const std::string& path) { std::ofstream(path, std::ios::binary) << "x"; }

TEST_F(FileCheck, ABareNameIsLookedForBesideTheHostExecutable) {
    // The test executable's directory holds the helper program.
    const std::string beside = std::string("tamber_child") + TamberTest::kExeSuffix;
    EXPECT_EQ(1, VerifyFileExists(beside.c_str()));
    // A file in the current directory does not count.
    Touch(log_.Folder().File("only-here.exe"));
    EXPECT_EQ(0, VerifyFileExists("only-here.exe"));
    EXPECT_EQ(1, VerifyFileExists(log_.Folder().File("only-here.exe").c_str()));
    EXPECT_EQ(OnDisk("ERROR: The file [only-here.exe] does not exist."), Logged());
}

TEST_F(FileCheck, ADirectoryCountsAsExisting) {
    EXPECT_EQ(1, VerifyFileExists(log_.Folder().Path().string().c_str()));
    EXPECT_EQ("", Logged());
}

TEST_F(FileCheck, AMissingFileIsLoggedWithThePathAsGiven) {
    const std::string missing = log_.Folder().File("missing.exe");
    EXPECT_EQ(0, VerifyFileExists(missing.c_str()));
    // No line end of its own: the next line runs on.
    EXPECT_EQ(0, VerifyFileExists("sub/missing.exe"));
    EXPECT_EQ("ERROR: The file [" + missing + "] does not exist.ERROR: The file [sub/missing.exe] does not exist.",
              Logged());
}

TEST_F(FileCheck, AllFilesExistChecksAllThreeInOrder) {
    const std::string launcher = log_.Folder().File("launcher.exe");
    const std::string air = log_.Folder().File("air.exe");
    const std::string game = log_.Folder().File("game.exe");
    Touch(air);
    ASSERT_EQ(1, VantorProcessHelper_Init(launcher.c_str(), air.c_str(), game.c_str()));
    EXPECT_EQ(0, VantorProcessHelper_AllFilesExist());
    EXPECT_EQ("ERROR: The file [" + launcher + "] does not exist.ERROR: The file [" + game + "] does not exist.",
              Logged());
    Touch(launcher);
    Touch(game);
    const std::string before = Logged();
    EXPECT_EQ(1, VantorProcessHelper_AllFilesExist());
    EXPECT_EQ(before, Logged());
}

}  // namespace
