// How a command line splits into arguments, by the Windows rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/command_line.h"

namespace {

using Words = std::vector<std::string>;

TEST(CommandLineSplit, ByTheWindowsRules) {
    const std::pair<const char*, Words> cases[] = {
        // The program name keeps backslashes and drops quotes.
        {"\"C:\\My Games\\game.exe\" x", {"C:\\My Games\\game.exe", "x"}},
        {"C:\\dir\\ x", {"C:\\dir\\", "x"}},
        {"a\\\"\\b\" c", {"a\\\\b", "c"}},
        {"", {}},
        // A path quoted twice splits at its space.
        {"\"\"C:\\My Games\\game.exe\"\" x", {"C:\\My", "Games\\game.exe", "x"}},
        // Backslashes count only before a quote (the rest of those rules is
        // the child start test's, through a real child).
        {"p a\\b c\\\\d", {"p", "a\\b", "c\\\\d"}},
        // Quotes group, blanks separate.
        {"p \t a  \t b \t", {"p", "a", "b"}},
        {"p a\"b c\"\" d\"", {"p", "ab c\" d"}},
        {"p \"\"", {"p", ""}},
        {"p \"open end", {"p", "open end"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, Tamber::SplitCommandLine(c.first)) << c.first;
    EXPECT_EQ(Words{}, Tamber::SplitCommandLine(nullptr));
}

}  // namespace
