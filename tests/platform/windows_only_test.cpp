// What only the Windows side of the platform layer does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "frame/log.h"
#include "platform/syserror.h"
#include "test_support.h"

namespace {

using testing::HasSubstr;

constexpr uint32_t kBadExeFormat = 193;  // "%1 is not a valid Win32 application."

// Inserts in the system's text stay as text in the log.
TEST(SystemErrorLine, InsertsStayAsText) {
    TamberTest::LogSession session("inserts");
    Tamber::SetLastSystemError(kBadExeFormat);
    VantorLog_SystemError("VantorProcessHelper_StartProcess");
    ASSERT_TRUE(session.Has("INFO: [VantorProcessHelper_StartProcess] "));
    const std::string logged = session.Text();
    EXPECT_THAT(logged.substr(logged.find("[VantorProcessHelper_StartProcess] ")), HasSubstr("%1"));
}

}  // namespace
