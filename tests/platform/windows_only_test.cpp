// What only the Windows side of the platform layer does.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "frame/log.h"
#include "platform/clock.h"
#include "platform/syserror.h"
#include "platform/thread.h"
#include "test_support.h"

namespace {

constexpr uint32_t kBadExeFormat = 193;  // "%1 is not a valid Win32 application."

TEST(SystemErrorText, InsertsInTheSystemTextStayAsText) {
    char text[512];
    const std::size_t length = Tamber::SystemErrorText(kBadExeFormat, text, sizeof text);
    ASSERT_GT(length, 2u);
    EXPECT_EQ(std::string(text).size(), length);
    EXPECT_NE(std::string::npos, std::string(text).find("%1"));
    EXPECT_EQ("\r\n", std::string(text).substr(length - 2));
}

TEST(SystemErrorText, CutToTheCallersBuffer) {
    char text[8];
    EXPECT_EQ(7u, Tamber::SystemErrorText(kBadExeFormat, text, sizeof text));
    EXPECT_EQ(7u, std::string(text).size());
}

TEST(SystemErrorText, AnUnknownCodeHasNoText) {
    char text[64] = "untouched";
    EXPECT_EQ(0u, Tamber::SystemErrorText(0x2FFFFFFFu, text, sizeof text));
}

TEST(SystemErrorText, LoggedWithItsInsertUnfilled) {
    TamberTest::LogSession session("inserts");
    Tamber::SetLastSystemError(kBadExeFormat);
    VantorLog_SystemError("VantorProcessHelper_StartProcess");
    const std::string text = session.Text();
    const std::size_t line = text.find("INFO: [VantorProcessHelper_StartProcess] ");
    ASSERT_NE(std::string::npos, line) << text;
    EXPECT_NE(std::string::npos, text.find("%1", line)) << text;
}

std::atomic<uint32_t> g_beats{0};

uint32_t BeatForever(void*) {
    for (;;) {
        g_beats.fetch_add(1);
        Tamber::SleepMilliseconds(1);
    }
}

TEST(Thread, TerminateStopsARunningThread) {
    auto thread = Tamber::Thread::Create(BeatForever, nullptr);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(TamberTest::WaitUntil([] { return g_beats.load() > 3; }));
    EXPECT_NE(0, thread->Terminate());
    EXPECT_NE(0u, thread->Join(0));  // a killed thread never finishes its function
    Tamber::SleepMilliseconds(20);  // the kill completes after the call returns
    const uint32_t after = g_beats.load();
    Tamber::SleepMilliseconds(50);
    EXPECT_EQ(after, g_beats.load());
}

}  // namespace
