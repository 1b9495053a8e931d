#pragma once
// The name and version the program shows in its main window caption and
// reports from its batch tool.

namespace membrix {

inline constexpr const char* kProgramVersion = "21.1";
inline constexpr const char* kProgramTitle = "Membrix v.21.1";

// The caption of the main window: program name and version.
const char* ProgramTitle();

}  // namespace membrix
