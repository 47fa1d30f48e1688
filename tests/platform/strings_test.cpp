#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/strings.h"

namespace {

using testing::AllOf;
using testing::ElementsAre;
using testing::EndsWith;
using testing::HasSubstr;
using testing::StartsWith;

TEST(BoundedStrings, NullArgumentsReportAndCopyNothing) {
    std::vector<std::string> reports;
    Tamber::SetAssertionHandler([&](const char* report) { reports.emplace_back(report); });
    char buffer[8] = "keep";
    Tamber::std_strncpy(nullptr, "abc", 8);
    Tamber::std_strncpy(buffer, nullptr, 8);
    EXPECT_EQ(0u, Tamber::std_strnlen(nullptr, 5));
    Tamber::ReportAssertion("x", 7, "f", "file.cpp", "why");
    Tamber::SetAssertionHandler(nullptr);
    EXPECT_STREQ("keep", buffer);
    EXPECT_THAT(reports, ElementsAre(AllOf(StartsWith("Assertion failed!\n\nFile: "), HasSubstr("\nLine: "),
                                           EndsWith("\n\nFunction: Tamber::std_strncpy\n\nExpression: pDest")),
                                     EndsWith("Expression: pSrc"),
                                     EndsWith("\n\nFunction: Tamber::std_strnlen\n\nExpression: pStr"),
                                     "Assertion failed!\n\nFile: file.cpp\nLine: 7\n\nFunction: f\n\nExpression: "
                                     "x\n\nDescription: why"));
}

}  // namespace
