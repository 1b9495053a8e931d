#pragma once
// Protocol globals and parameter fields of a session addressed by their program
// names, as the batch tool's "--set KEY=VALUE" gives them: "Iind", "t_end",
// "NP0.gNa", "NP0.HH_type". Values are in the program's internal units.

#include <span>
#include <string_view>

namespace membrix {

struct Session;

// The protocol and run globals that can be set by name, in a stable order.
std::span<const std::string_view> SessionGlobalNames();

// Sets one value. "NP0." names a field of the parameter record; any other key a
// protocol or run global. Setting t_end or dt also recomputes the step count.
// Throws FormatError naming the key for an unknown key or a value that is not
// a number where a number is needed, and changes nothing then.
void SetSessionValue(Session& s, std::string_view key, std::string_view value);

// Splits "KEY=VALUE" and sets it; an argument without "=" is a FormatError.
void SetSessionAssignment(Session& s, std::string_view assignment);

}  // namespace membrix
