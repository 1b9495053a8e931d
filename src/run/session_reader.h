#pragma once
// Reads back the values that SetSessionValue sets, by the same names: "Iind",
// "t_end", "NP0.gNa", "NP0.HH_type". Values are in the program's internal
// units.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace membrix {

struct Session;

using SessionValue = std::variant<std::int64_t, double, std::string>;

// The value of a protocol or run global, or of a parameter field ("NP0."
// prefix): a whole number, a number or a text as the field is. Throws
// FormatError naming the key for a name SetSessionValue does not know.
SessionValue GetSessionValue(const Session& s, std::string_view key);

}  // namespace membrix
