// Fuzz target of the settings-file reader: the input is read as a settings
// file. A bad file may only end the reading with a FormatError that names the
// file and one of its lines; a file that is read holds 84 ... 234 lines with a
// finite value for every one, integers on the lines that take integers, and
// writing those values and reading them back gives the same values.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "params/settings_file.h"

using namespace membrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile file(".txt");
  const std::string& path = file.Write(data, size);
  const int lines = fuzz::LineCount(data, size);

  SettingsValues read;
  try {
    read = ReadSettingsFile(path);
  } catch (const FormatError& e) {
    fuzz::CheckFormatError(e, path, lines);
    return 0;
  }

  if (read.lines < kSettingsRequiredLines || read.lines > kSettingsLineCount || read.lines > lines) {
    fuzz::Fail("a file of " + std::to_string(lines) + " lines read as " + std::to_string(read.lines));
  }
  if (read.values.size() != static_cast<std::size_t>(kSettingsLineCount)) fuzz::Fail("not one value per line");
  const auto& table = SettingsLines();
  for (int i = 0; i < read.lines; ++i) {
    const double v = read.values[static_cast<std::size_t>(i)];
    if (!std::isfinite(v)) fuzz::Fail("line " + std::to_string(i + 1) + " is not finite");
    const SettingKind kind = table[static_cast<std::size_t>(i)].kind;
    if (kind != SettingKind::Real && v != std::trunc(v)) {
      fuzz::Fail("line " + std::to_string(i + 1) + " takes an integer, read " + std::to_string(v));
    }
  }

  // Written back (in the file's fixed formats) the values read again as they
  // were, to the written precision.
  const SettingsValues again = ParseSettings(FormatSettings(read.values), "again");
  for (int i = 0; i < read.lines; ++i) {
    const double a = read.values[static_cast<std::size_t>(i)], b = again.values[static_cast<std::size_t>(i)];
    if (std::abs(a - b) > 0.5e-4 * std::max(1.0, std::abs(a)) + 0.5e-4) {
      fuzz::Fail("line " + std::to_string(i + 1) + " reads back as " + std::to_string(b) + " instead of " +
                 std::to_string(a));
    }
  }
  return 0;
}
