#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TamberLauncher.h"
#include "frame/log.h"
#include "platform/clock.h"
#include "platform/syserror.h"
#include "test_support.h"

using TamberTest::LogSession;
using TamberTest::OnDisk;

namespace {

TEST(Log, InitStartsAFreshFileWithOneLine) {
    TamberTest::TempDir folder;
    TamberTest::WorkingDirectory cwd(folder.Path());
    std::ofstream(folder.File("vantor-again.log")) << "old line\n";
    Vantor_Init("again");
    EXPECT_EQ(OnDisk("INFO: vantor [again] initializing...\n"), TamberTest::ReadFile(folder.File("vantor-again.log")));
    Vantor_Remove();
}

// Levels give prefixes, lines end only where the text says, a line is cut at
// 1023 characters, and a system error line carries its context.
TEST(Log, LinesAsWritten) {
    LogSession session("levels");
    EXPECT_EQ(1, VantorLog_Message(kLogInfo, "one\n"));
    VantorLog_Message(kLogWarning, "two\n");
    VantorLog_Message(kLogError, "three");
    VantorLog_Message(7, "raw\n");
    VantorLog_Message(-1, "neg\n");
    VantorLog_Message(kLogError, std::string(3000, 'x').c_str());
    VantorLog_Formatted(kLogInfo, 16, "%s", "0123456789abcdefghij");
    char text[512];
    ASSERT_GT(Tamber::SystemErrorText(2, text, sizeof text), 0u);
    Tamber::SetLastSystemError(2);
    VantorLog_SystemError("VantorServer_Start");
    Tamber::SetLastSystemError(2);
    VantorLog_SystemError(nullptr);
    EXPECT_EQ(OnDisk("INFO: vantor [levels] initializing...\nINFO: one\nWARNING: two\nERROR: threeraw\nneg\nERROR: " +
                     std::string(1023 - 7, 'x') + "INFO: 0123456789abcde" + "INFO: [VantorServer_Start] " + text +
                     "INFO: " + text),
              session.Text());
    EXPECT_EQ('\n', session.Text().back());
}

TEST(Log, NothingIsWrittenAfterRemove) {
    LogSession session("after");
    session.Remove();
    const std::string before = session.Text();
    EXPECT_EQ(OnDisk("INFO: vantor [after] initializing...\nINFO: vantor exiting...\n"), before);
    EXPECT_EQ(0, VantorLog_Write("late\n"));
    EXPECT_EQ(0, VantorLog_Format("%s", "late\n"));
    VantorLog_Message(kLogError, "late\n");
    EXPECT_EQ(before, session.Text());
    EXPECT_EQ(1, Vantor_Remove());  // no log open: nothing written or closed
    EXPECT_EQ(before, session.Text());
}

TEST(Log, AnUnwritableFileLosesOnlyThatLine) {
    LogSession session("blocked");
    const std::string path = session.LogPath();
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);  // the file cannot be opened now
    EXPECT_EQ(0, VantorLog_Write("lost\n"));
    std::filesystem::remove(path);
    EXPECT_EQ(1, VantorLog_Write("kept\n"));
    EXPECT_EQ(OnDisk("kept\n"), session.Text());
}

TEST(Log, ConcurrentLinesArriveWholeAndExactlyOnce) {
    LogSession session("threads");
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                const std::string line = "t" + std::to_string(t) + " line " + std::to_string(i) +
                                         " ................................................\n";
                VantorLog_Message(kLogInfo, line.c_str());
            }
        });
    }
    for (auto& writer : writers) writer.join();
    std::istringstream in(session.Text());
    std::string line;
    std::set<std::string> seen;
    int count = 0;
    std::getline(in, line);  // the initializing line
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ASSERT_EQ(0u, line.rfind("INFO: t", 0)) << line;
        ASSERT_EQ(std::string::npos, line.find("INFO:", 1)) << "interleaved: " << line;
        ASSERT_TRUE(seen.insert(line).second) << "twice: " << line;
        ++count;
    }
    EXPECT_EQ(kThreads * kLines, count);
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

}  // namespace
