// The parameter splitting of the program's run-time, as a pure function over a command line.
//
// Every byte from 1 to 32 (control characters and the blank) separates parameters; a double quote
// starts a quoted stretch that runs to the next double quote (or the end) and may hold blanks; the
// quotes are dropped, so a"b c"d is the one parameter ab cd. An empty pair of quotes standing alone
// gives no parameter. A NUL ends the text. Element 0 is the program path, the parameters follow.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> SplitCommandLine(const std::string& commandLine);
