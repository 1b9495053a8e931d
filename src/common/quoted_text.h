#pragma once
// Quoting a piece of a user's input inside a message: a line of a file or a
// command-line token may be long or hold control bytes, and a message should
// stay one readable line whatever was read.

#include <string>
#include <string_view>

namespace membrix {

// text with control bytes and DEL written as \r, \t, \n or \xHH.
inline std::string Escaped(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
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
      out += ch;
    }
  }
  return out;
}

// text in double quotes, at most 80 characters of it (longer text ends in
// "..."), escaped as above.
inline std::string Quoted(std::string_view text) {
  constexpr std::size_t kMost = 80;
  if (text.size() <= kMost) return "\"" + Escaped(text) + "\"";
  return "\"" + Escaped(text.substr(0, kMost)) + "...\"";
}

}  // namespace membrix
