#include "analysis/sweep_file.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/error.h"
#include "run/independent_runs.h"

namespace membrix {

SweepFile::SweepFile(std::string path, Lines lines) : path_(std::move(path)), lines_(lines) {
  // A helper process sends its results to the writer, which writes the file.
  if (path_.empty() || IsHelperProcess()) return;
  errno = 0;
  out_.open(path_, std::ios::out | std::ios::trunc);
  if (!out_) throw IoError(path_, errno != 0 ? std::strerror(errno) : "the file could not be created");
}

void SweepFile::WriteLine(const std::string& text) {
  if (!out_.is_open()) return;
  out_ << text << '\n';
  if (lines_ == Lines::Flushed) out_.flush();
  Check();
}

void SweepFile::Close() {
  if (!out_.is_open()) return;
  out_.flush();
  Check();
  out_.close();
}

void SweepFile::Check() {
  if (out_.good()) return;
  const std::string reason = errno != 0 ? std::strerror(errno) : "the file could not be written";
  out_.close();
  throw IoError(path_, "writing failed: " + reason);
}

std::int64_t CurrentGridCount(double max, double step, const char* stepLabel) {
  if (!(step > 0.0) || !std::isfinite(step)) {
    throw RangeError(std::string(stepLabel) + " must be positive");
  }
  const double last = std::trunc(max / step);
  if (!(last <= 1e6)) throw RangeError(std::string(stepLabel) + " is too small: more than a million currents");
  return last < 0.0 ? 0 : static_cast<std::int64_t>(last) + 1;
}

}  // namespace membrix
