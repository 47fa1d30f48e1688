#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/strings.h"

namespace {

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
    EXPECT_TRUE(Tamber::std_strrstr(text, "bc") == text + 4 && Tamber::std_strrstr(text, "") == text + 6);
    EXPECT_TRUE(Tamber::std_strrstr("ab", "abc") == nullptr && Tamber::std_strrstr(nullptr, "x") == nullptr);
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
    ASSERT_EQ(4u, reports.size());
    const std::string& first = reports[0];
    const std::string tail = "\nLine: " + std::to_string(std::atoi(first.c_str() + first.find("\nLine: ") + 7)) +
                             "\n\nFunction: Tamber::std_strncpy\n\nExpression: pDest";
    EXPECT_EQ(tail, first.substr(first.find("\nLine: ")));
    EXPECT_NE(std::string::npos, reports[1].find("Expression: pSrc"));
    EXPECT_NE(std::string::npos, reports[2].find("Function: Tamber::std_strnlen\n\nExpression: pStr"));
    EXPECT_EQ("Assertion failed!\n\nFile: file.cpp\nLine: 7\n\nFunction: f\n\nExpression: x\n\nDescription: why", reports[3]);
}

}  // namespace
