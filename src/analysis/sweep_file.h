#pragma once
// The column file of a sweep: created empty when the sweep starts, one line per
// point as the point is delivered, every write checked.

#include <cstdint>
#include <fstream>
#include <string>

namespace membrix {

class SweepFile {
 public:
  // Whether each line reaches the disk as it is written. A sweep whose lines
  // each cost a whole run hands them over at once, so that a researcher
  // watching the file sees them come and a killed job keeps every line done.
  enum class Lines { Buffered, Flushed };
  // Creates the file empty; no file when path is empty. Throws IoError.
  explicit SweepFile(std::string path, Lines lines = Lines::Buffered);
  // Appends one line (the text without its line end). Throws IoError when the
  // line cannot be written.
  void WriteLine(const std::string& text);
  // Flushes and closes; throws IoError when what was written is incomplete.
  void Close();
  const std::string& path() const { return path_; }

 private:
  void Check();
  std::string path_;
  Lines lines_;
  std::ofstream out_;
};

// The points k·step for k = 0 ... trunc(max/step), as a count. Throws RangeError
// for a step that is not positive or a grid beyond a million points.
std::int64_t CurrentGridCount(double max, double step, const char* stepLabel);

}  // namespace membrix
