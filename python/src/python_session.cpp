#include "python_session.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "common/error.h"
#include "params/model_defaults.h"

namespace membrix::python {

PythonSession::PythonSession() { ApplyProgramStart(s); }

PythonSession::PythonSession(const PythonSession& other)
    : s((other.CheckIdle(), other.s)), arrays(other.arrays), steps(other.steps) {
  // The copy writes its array recordings into a folder of its own.
  for (auto& [k, recording] : arrays) recording.written = false;
  if (!arrays.empty()) ApplyAllArrayRecordings();
}

PythonSession::~PythonSession() {
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

void PythonSession::CheckIdle() const {
  if (running_.load()) throw std::runtime_error("the session is running; wait for its run to end");
}

PythonSession::Busy::Busy(PythonSession& owner) : owner_(owner) {
  if (owner_.running_.exchange(true)) throw std::runtime_error("the session is running; wait for its run to end");
}

PythonSession::Busy::~Busy() { owner_.running_.store(false); }

std::filesystem::path PythonSession::ArrayFile(int k) {
  if (folder_.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "membrix-recordings-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw IoError(pattern, "cannot make a folder for the recordings given from arrays");
    }
    folder_ = pattern;
  }
  return folder_ / ("recording_" + std::to_string(k) + ".d");
}

void PythonSession::WriteArrayFile(int k) {
  ArrayRecording& recording = arrays.at(k);
  const std::filesystem::path file = ArrayFile(k);
  if (!recording.written) {
    // Time in the unit of a given file, values as the run compares them.
    std::FILE* out = std::fopen(file.c_str(), "w");
    if (out == nullptr) throw IoError(file.string(), "cannot be written");
    for (std::size_t i = 0; i < recording.t.size(); ++i) {
      std::fprintf(out, "%.17g %.17g\n", recording.t[i] / kGivenRecordingTimeUnit, recording.values[i]);
    }
    if (std::fclose(out) != 0) throw IoError(file.string(), "cannot be written");
    recording.written = true;
  }
  s.rec.SmplFileGiven[static_cast<std::size_t>(k)] = file.string();
}

void PythonSession::ApplyArrayRecording() {
  const int k = s.rec.Smpl;
  if (!arrays.contains(k)) return;
  WriteArrayFile(k);
  ApplyGivenRecordingFile(s, k);
}

void PythonSession::ApplyAllArrayRecordings() {
  for (const auto& [k, recording] : arrays) WriteArrayFile(k);
  ApplyArrayRecording();
}

}  // namespace membrix::python
