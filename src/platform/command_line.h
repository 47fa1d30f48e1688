// Splitting a command line into arguments by the rules that Windows programs
// apply to their own command line, so that a Linux child sees the same words.
#pragma once

#include <string>
#include <vector>

namespace Tamber {

// The first word (the program) ends at a space or tab outside double quotes; its
// quotes are removed and its backslashes kept. In every later word, spaces and
// tabs outside quotes separate words, double quotes group and are removed,
// 2n backslashes before a quote give n backslashes and the quote groups,
// 2n+1 backslashes before a quote give n backslashes and a literal quote, a
// doubled quote inside quotes gives a literal quote, and other backslashes are
// literal. An empty text gives no words.
std::vector<std::string> SplitCommandLine(const char* commandLine);

}  // namespace Tamber
