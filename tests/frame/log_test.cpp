#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TamberLauncher.h"
#include "frame/log.h"
#include "platform/strings.h"
#include "platform/syserror.h"
#include "test_support.h"

using TamberTest::LogSession;
using TamberTest::OnDisk;

// Levels give prefixes, lines end only where the text says, a line is cut at
// 1023 characters, and a system error line carries its context.
TEST(Log, LinesAsWrittenAndNothingAfterRemove) {
    LogSession session("levels");
    EXPECT_EQ(1, VantorLog_Message(kLogInfo, "one\n"));
    const std::pair<int32_t, std::string> lines[] = {
        {kLogWarning, "two\n"}, {kLogError, "three"}, {7, "raw\n"}, {-1, "neg\n"}, {kLogError, std::string(3000, 'x')}};
    for (const auto& [level, line] : lines) VantorLog_Message(level, line.c_str());
    VantorLog_Formatted(kLogInfo, 16, "%s", "0123456789abcdefghij");
    char text[512];
    ASSERT_GT(Tamber::SystemErrorText(2, text, sizeof text), 0u);
    for (const char* context : {"VantorServer_Start", static_cast<const char*>(nullptr)}) {
        Tamber::SetLastSystemError(2);
        VantorLog_SystemError(context);
    }
    const std::string written =
        "INFO: vantor [levels] initializing...\nINFO: one\nWARNING: two\nERROR: threeraw\nneg\nERROR: " +
        std::string(1023 - 7, 'x') + "INFO: 0123456789abcde" + "INFO: [VantorServer_Start] " + text + "INFO: " + text;
    EXPECT_EQ(OnDisk(written), session.Text());
    // After Remove nothing is written; Init starts the file afresh; a file
    // that cannot be opened loses only that line.
    Vantor_Remove();
    const std::string closed = OnDisk(written + "INFO: vantor exiting...\n");
    EXPECT_EQ(0, VantorLog_Write("late\n"));
    EXPECT_EQ(0, VantorLog_Format("%s", "late\n"));
    VantorLog_Message(kLogError, "late\n");
    EXPECT_EQ(1, Vantor_Remove());  // no log open: nothing written or closed
    EXPECT_EQ(closed, session.Text());
    Vantor_Init("levels");
    EXPECT_EQ(OnDisk("INFO: vantor [levels] initializing...\n"), session.Text());
    std::filesystem::remove(session.LogPath());
    std::filesystem::create_directory(session.LogPath());
    EXPECT_EQ(0, VantorLog_Write("lost\n"));
    std::filesystem::remove(session.LogPath());
    EXPECT_EQ(1, VantorLog_Write("kept\n"));
    EXPECT_EQ(OnDisk("kept\n"), session.Text());
    Vantor_Remove();
}

// In a working directory of 245 characters the log's path would pass the
// 260-byte limit, and the cut name be another file's: the log has no file,
// and that file is neither deleted nor written.
TEST(Log, NoFileWhereThePathLimitWouldCutItsName) {
    TamberTest::TempDir folder;
    const std::filesystem::path near = folder.Path() / std::string(245 - folder.Path().string().size() - 1, 'd');
    std::filesystem::create_directory(near);
    TamberTest::WorkingDirectory cwd(near);
    const std::size_t room = Tamber::kMaxPath - 1 - std::filesystem::current_path().string().size() - 1;
    const std::string cut = std::string("vantor-cut.log").substr(0, room);
    std::ofstream(near / cut) << "kept";
    Vantor_Init("cut");
    EXPECT_EQ(0, VantorLog_Write("lost\n"));
    Vantor_Remove();
    EXPECT_EQ("kept", TamberTest::ReadFile((near / cut).string()));
}

TEST(Log, CloseWhileOtherThreadsWriteIsSafe) {
    TamberTest::TempDir folder;
    TamberTest::WorkingDirectory cwd(folder.Path());
    for (int round = 0; round < 20; ++round) {
        Vantor_Init("race");
        std::atomic<bool> stop{false};
        std::vector<std::thread> writers;
        for (int t = 0; t < 4; ++t)
            writers.emplace_back([&stop] {
                while (!stop.load()) VantorLog_Message(kLogInfo, "busy\n");
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        Vantor_Remove();
        stop.store(true);
        for (auto& writer : writers) writer.join();
        EXPECT_EQ(0, VantorLog_Write("after\n"));
    }
}
