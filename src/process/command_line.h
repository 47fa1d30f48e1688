// The command line that a started program receives.
#pragma once

#include <string>

// executablePath, in double quotes when it contains a space (and only then, even
// when it is quoted already), then one space and arguments unless arguments is
// empty. Null texts count as empty.
std::string BuildCommandLine(const char* executablePath, const char* arguments);
