// The command line a started program is given, and how it splits into arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/command_line.h"
#include "process/command_line.h"

namespace {

using Words = std::vector<std::string>;

TEST(CommandLine, QuotesThePathOnlyWhenItHoldsASpace) {
    EXPECT_EQ("\"C:\\Program Files\\Game\\game.exe\" -a 1", BuildCommandLine("C:\\Program Files\\Game\\game.exe", "-a 1"));
    EXPECT_EQ("\"C:\\Program Files\\Game\\game.exe\"", BuildCommandLine("C:\\Program Files\\Game\\game.exe", ""));
    EXPECT_EQ("C:\\Games\\game.exe -a 1", BuildCommandLine("C:\\Games\\game.exe", "-a 1"));
    EXPECT_EQ("C:\\Games\\game.exe", BuildCommandLine("C:\\Games\\game.exe", ""));
    // Tabs and other characters never trigger quoting.
    EXPECT_EQ("C:\\Ga\tmes\\g&me.exe", BuildCommandLine("C:\\Ga\tmes\\g&me.exe", ""));
}

TEST(CommandLine, AQuotedPathWithASpaceGetsASecondPair) {
    EXPECT_EQ("\"\"C:\\My Games\\game.exe\"\" x", BuildCommandLine("\"C:\\My Games\\game.exe\"", "x"));
    EXPECT_EQ("\"C:\\Games\\game.exe\" x", BuildCommandLine("\"C:\\Games\\game.exe\"", "x"));
}

TEST(CommandLine, ArgumentsPassUnchangedAndNullCountsAsEmpty) {
    EXPECT_EQ("game.exe  \"a b\"\\ ", BuildCommandLine("game.exe", " \"a b\"\\ "));
    EXPECT_EQ("game.exe", BuildCommandLine("game.exe", nullptr));
    EXPECT_EQ("", BuildCommandLine(nullptr, nullptr));
}

TEST(CommandLineSplit, ProgramNameKeepsBackslashesAndDropsQuotes) {
    EXPECT_EQ((Words{"C:\\My Games\\game.exe", "x"}), Tamber::SplitCommandLine("\"C:\\My Games\\game.exe\" x"));
    EXPECT_EQ((Words{"C:\\dir\\", "x"}), Tamber::SplitCommandLine("C:\\dir\\ x"));
    EXPECT_EQ((Words{"a\\\\b", "c"}), Tamber::SplitCommandLine("a\\\"\\b\" c"));
    EXPECT_EQ((Words{"/tmp/game"}), Tamber::SplitCommandLine("/tmp/game"));
    EXPECT_EQ(Words{}, Tamber::SplitCommandLine(""));
    EXPECT_EQ(Words{}, Tamber::SplitCommandLine(nullptr));
}

TEST(CommandLineSplit, ADoublyQuotedPathSplitsAtItsSpace) {
    // What a program sees when its path, already quoted, was quoted again.
    EXPECT_EQ((Words{"C:\\My", "Games\\game.exe", "x"}), Tamber::SplitCommandLine("\"\"C:\\My Games\\game.exe\"\" x"));
}

TEST(CommandLineSplit, BackslashesCountOnlyBeforeAQuote) {
    EXPECT_EQ((Words{"p", "a\\b", "c\\\\d"}), Tamber::SplitCommandLine("p a\\b c\\\\d"));
    EXPECT_EQ((Words{"p", "a\\b c"}), Tamber::SplitCommandLine("p \"a\\b c\""));
    // 2n backslashes and a quote: n backslashes, the quote groups.
    EXPECT_EQ((Words{"p", "a\\b c"}), Tamber::SplitCommandLine("p a\\\\\"b c\""));
    // 2n+1 backslashes and a quote: n backslashes and a literal quote.
    EXPECT_EQ((Words{"p", "a\"b", "c"}), Tamber::SplitCommandLine("p a\\\"b c"));
    EXPECT_EQ((Words{"p", "a\\\"b"}), Tamber::SplitCommandLine("p a\\\\\\\"b"));
    // A quoted word that ends in a backslash needs it doubled.
    EXPECT_EQ((Words{"p", "C:\\dir\\", "x"}), Tamber::SplitCommandLine("p \"C:\\dir\\\\\" x"));
}

TEST(CommandLineSplit, QuotesGroupAndBlanksSeparate) {
    EXPECT_EQ((Words{"p", "a", "b"}), Tamber::SplitCommandLine("p \t a  \t b \t"));
    EXPECT_EQ((Words{"p", "a b", "c"}), Tamber::SplitCommandLine("p \"a b\" c"));
    EXPECT_EQ((Words{"p", "ab c\" d"}), Tamber::SplitCommandLine("p a\"b c\"\" d\""));
    EXPECT_EQ((Words{"p", ""}), Tamber::SplitCommandLine("p \"\""));
    EXPECT_EQ((Words{"p", "a \" b"}), Tamber::SplitCommandLine("p \"a \"\" b\""));
    EXPECT_EQ((Words{"p", "open end"}), Tamber::SplitCommandLine("p \"open end"));
}

TEST(CommandLineSplit, TheGameAndAirCommandLines) {
    EXPECT_EQ((Words{"C:\\Games\\game.exe", "5001", "C:\\Program Files\\L\\launcher.exe", "C:\\Air\\KavCLient.exe",
                     "-mode fast"}),
              Tamber::SplitCommandLine("C:\\Games\\game.exe \"5001\" \"C:\\Program Files\\L\\launcher.exe\" "
                                       "\"C:\\Air\\KavCLient.exe\" \"-mode fast\""));
    EXPECT_EQ((Words{"C:\\Air Client\\adl.exe", "-runtime", ".\\", "-nodebug", "META-INF\\AIR\\application.xml", ".\\",
                     "--", "5000", "x"}),
              Tamber::SplitCommandLine("\"C:\\Air Client\\adl.exe\" -runtime .\\ -nodebug "
                                       "META-INF\\AIR\\application.xml .\\ -- 5000 x"));
}

}  // namespace
