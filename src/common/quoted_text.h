#pragma once
// Quoting a piece of a user's input inside a message: a line of a file or a
// command-line token may be long or hold control bytes, and a message should
// stay one readable line whatever was read.

#include <string>
#include <string_view>

namespace membrix {

// text in double quotes, at most 80 characters of it (longer text ends in
// "..."), control bytes and DEL written as \r, \t, \n or \xHH.
inline std::string Quoted(std::string_view text) {
  constexpr std::size_t kMost = 80;
  std::string out = "\"";
  const std::size_t shown = text.size() > kMost ? kMost : text.size();
  for (std::size_t i = 0; i < shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7f) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (shown < text.size()) out += "...";
  return out + "\"";
}

}  // namespace membrix
