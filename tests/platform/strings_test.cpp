#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/strings.h"

namespace {

using testing::AllOf;
using testing::ElementsAre;
using testing::EndsWith;
using testing::HasSubstr;
using testing::StartsWith;

TEST(BoundedStrings, CopiesAndFormatsTruncateAndTerminate) {
    char buffer[Tamber::kMaxPath + 8];
    EXPECT_STREQ("ERRO", Tamber::std_strncpy(buffer, "ERROR: %s", 5));
    EXPECT_STREQ("", Tamber::std_strncpy(buffer, "abc", 1));
    std::memset(buffer, '#', sizeof buffer);
    Tamber::std_strcpy(buffer, std::string(400, 'p').c_str());
    EXPECT_EQ(259u, std::strlen(buffer));
    EXPECT_EQ('#', buffer[Tamber::kMaxPath]);
    EXPECT_EQ(7, Tamber::std_snprintf(buffer, 8, "%s-%d", "abcdef", 42));
    EXPECT_STREQ("abcdef-", buffer);
    EXPECT_EQ(0, Tamber::std_snprintf(buffer, 0, "%s", "x"));
    const char* text = "abcabc";
    EXPECT_EQ(Tamber::std_strrstr(text, "bc"), text + 4);
    EXPECT_EQ(Tamber::std_strrstr(text, ""), text + 6);
    EXPECT_EQ(Tamber::std_strrstr("ab", "abc"), nullptr);
    EXPECT_EQ(Tamber::std_strrstr(nullptr, "x"), nullptr);
}

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
