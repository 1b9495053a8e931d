#pragma once
// Messages of membrix-cli made safe for the terminal.

#include <string>

namespace membrix {

// A message for the terminal: control bytes escaped, every double-quoted part
// cut to 80 characters.
std::string TerminalMessage(const std::string& text);

}  // namespace membrix
