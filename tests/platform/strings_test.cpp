#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/strings.h"

namespace {

// Collects assertion reports for the scope.
class Reports {
public:
    Reports() {
        Tamber::SetAssertionHandler([this](const char* report) { texts.emplace_back(report); });
    }
    ~Reports() { Tamber::SetAssertionHandler(nullptr); }
    std::vector<std::string> texts;
};

TEST(BoundedStrings, CopyTruncatesAndTerminates) {
    char buffer[16];
    EXPECT_STREQ("ERRO", Tamber::std_strncpy(buffer, "ERROR: %s", 5));
    EXPECT_STREQ("", Tamber::std_strncpy(buffer, "abc", 1));
    EXPECT_STREQ("abc", Tamber::std_strncpy(buffer, "abc", sizeof buffer));
}

TEST(BoundedStrings, NullArgumentsReportAndCopyNothing) {
    Reports reports;
    char buffer[8] = "keep";
    Tamber::std_strncpy(nullptr, "abc", 8);
    Tamber::std_strncpy(buffer, nullptr, 8);
    EXPECT_STREQ("keep", buffer);
    EXPECT_EQ(0u, Tamber::std_strnlen(nullptr, 5));
    Tamber::std_strcpy(buffer, nullptr);
    EXPECT_STREQ("keep", buffer);
    ASSERT_EQ(4u, reports.texts.size());
    const std::string& first = reports.texts[0];
    EXPECT_EQ(0u, first.rfind("Assertion failed!\n\nFile: ", 0));
    EXPECT_NE(std::string::npos, first.find("\nLine: "));
    const std::string tail = "\n\nFunction: Tamber::std_strncpy\n\nExpression: pDest";
    ASSERT_GE(first.size(), tail.size());
    EXPECT_EQ(tail, first.substr(first.size() - tail.size()));
    EXPECT_NE(std::string::npos, reports.texts[1].find("Expression: pSrc"));
    EXPECT_NE(std::string::npos, reports.texts[2].find("Function: Tamber::std_strnlen\n\nExpression: pStr"));
}

TEST(BoundedStrings, ReportWithDescription) {
    Reports reports;
    Tamber::ReportAssertion("x", 7, "f", "file.cpp", "why");
    ASSERT_EQ(1u, reports.texts.size());
    EXPECT_EQ("Assertion failed!\n\nFile: file.cpp\nLine: 7\n\nFunction: f\n\nExpression: x\n\nDescription: why",
              reports.texts[0]);
}

TEST(BoundedStrings, PathCopyNeverPassesItsBuffer) {
    char buffer[Tamber::kMaxPath + 8];
    std::memset(buffer, '#', sizeof buffer);
    const std::string source(400, 'p');
    Tamber::std_strcpy(buffer, source.c_str());
    EXPECT_EQ(259u, std::strlen(buffer));
    EXPECT_EQ('#', buffer[Tamber::kMaxPath]);
}

TEST(BoundedStrings, FormatTruncates) {
    char buffer[8];
    EXPECT_EQ(7, Tamber::std_snprintf(buffer, sizeof buffer, "%s-%d", "abcdef", 42));
    EXPECT_STREQ("abcdef-", buffer);
    EXPECT_EQ(0, Tamber::std_snprintf(buffer, 0, "%s", "x"));
}

TEST(BoundedStrings, LastOccurrence) {
    const char* text = "abcabc";
    EXPECT_EQ(text + 4, Tamber::std_strrstr(text, "bc"));
    EXPECT_EQ(nullptr, Tamber::std_strrstr("ab", "abc"));
    EXPECT_EQ(nullptr, Tamber::std_strrstr("abc", "x"));
    EXPECT_EQ(nullptr, Tamber::std_strrstr(nullptr, "x"));
    EXPECT_EQ(text + 6, Tamber::std_strrstr(text, ""));
    EXPECT_EQ(text, Tamber::std_strrstr(text, "abcabc"));
}

}  // namespace
