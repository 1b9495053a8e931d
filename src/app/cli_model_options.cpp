#include "app/cli_model_options.h"

#include <algorithm>

#include "common/error.h"
#include "common/quoted_text.h"

namespace membrix {

std::string TerminalMessage(const std::string& text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('"', i);
    const std::size_t close = open == std::string::npos ? open : text.find('"', open + 1);
    if (close == std::string::npos) break;
    out += Escaped(std::string_view(text).substr(i, open - i));
    out += Quoted(std::string_view(text).substr(open + 1, close - open - 1));
    i = close + 1;
  }
  return out + Escaped(std::string_view(text).substr(std::min(i, text.size())));
}

}  // namespace membrix
