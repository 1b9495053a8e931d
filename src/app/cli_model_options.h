#pragma once
// What the membrix-cli commands share about their inputs and messages: the
// check of a parameter file that must be read more than once, and messages
// made safe for the terminal.

#include <string>

namespace membrix {

// Refuses a parameter file that is not a regular file: a run reads it again
// for the section of each recording, which a pipe cannot give twice.
void CheckParameterFileReadable(const std::string& path);

// A message for the terminal: control bytes escaped, every double-quoted part
// cut to 80 characters.
std::string TerminalMessage(const std::string& text);

}  // namespace membrix
