// What only the Windows side of the platform layer does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "frame/log.h"
#include "platform/syserror.h"
#include "test_support.h"

namespace {

using testing::AllOf;
using testing::EndsWith;
using testing::HasSubstr;

constexpr uint32_t kBadExeFormat = 193;  // "%1 is not a valid Win32 application."

// Inserts in the system's text stay as text, in the log too; the text is cut
// to the caller's buffer; an unknown code has none.
TEST(SystemErrorText, AsTheSystemGivesIt) {
    char text[512];
    const std::size_t length = Tamber::SystemErrorText(kBadExeFormat, text, sizeof text);
    const std::string full = text;
    ASSERT_EQ(full.size(), length);
    EXPECT_THAT(full, AllOf(HasSubstr("%1"), EndsWith("\r\n")));
    EXPECT_EQ(7u, Tamber::SystemErrorText(kBadExeFormat, text, 8));
    EXPECT_EQ(7u, std::string(text).size());
    EXPECT_EQ(0u, Tamber::SystemErrorText(0x2FFFFFFFu, text, sizeof text));
    TamberTest::LogSession session("inserts");
    Tamber::SetLastSystemError(kBadExeFormat);
    VantorLog_SystemError("VantorProcessHelper_StartProcess");
    ASSERT_TRUE(session.Has("INFO: [VantorProcessHelper_StartProcess] "));
    const std::string logged = session.Text();
    EXPECT_THAT(logged.substr(logged.find("[VantorProcessHelper_StartProcess] ")), HasSubstr("%1"));
}

}  // namespace
