// What only the Windows side of the platform layer does.
#include <gtest/gtest.h>

#include <string>

#include "frame/log.h"
#include "platform/syserror.h"
#include "test_support.h"

namespace {

constexpr uint32_t kBadExeFormat = 193;  // "%1 is not a valid Win32 application."

// Inserts in the system's text stay as text, in the log too; the text is cut
// to the caller's buffer; an unknown code has none.
TEST(SystemErrorText, AsTheSystemGivesIt) {
    char text[512];
    const std::size_t length = Tamber::SystemErrorText(kBadExeFormat, text, sizeof text);
    const std::string full = text;
    ASSERT_TRUE(length > 2 && full.size() == length) << full;
    EXPECT_TRUE(full.find("%1") != std::string::npos && full.substr(length - 2) == "\r\n") << full;
    EXPECT_EQ(7u, Tamber::SystemErrorText(kBadExeFormat, text, 8));
    EXPECT_EQ(7u, std::string(text).size());
    EXPECT_EQ(0u, Tamber::SystemErrorText(0x2FFFFFFFu, text, sizeof text));
    TamberTest::LogSession session("inserts");
    Tamber::SetLastSystemError(kBadExeFormat);
    VantorLog_SystemError("VantorProcessHelper_StartProcess");
    EXPECT_TRUE(session.Has("INFO: [VantorProcessHelper_StartProcess] "));
    EXPECT_NE(std::string::npos, session.Text().find("%1", session.Text().find("[VantorProcessHelper_StartProcess] ")));
}

}  // namespace
