#pragma once
// What the fuzz targets share: the input written to a file of the process's
// own (the readers take file names), one session reused from input to input
// with everything a reader writes set back, and the checks that every input,
// good or bad, must pass.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/error.h"
#include "run/session.h"

namespace membrix::fuzz {

// Stops the run with the input that broke a property; libFuzzer saves it.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz property violated: %s\n", what.c_str());
  std::abort();
}

// A file of this process in memory-backed storage where the system has it
// (rewriting a file on disk for every input costs more than reading it), else
// in the temporary folder; removed at exit.
class InputFile {
 public:
  explicit InputFile(const char* suffix) {
    std::error_code ec;
    const std::filesystem::path folder =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
    path_ = (folder / ("membrix-fuzz-" + std::to_string(::getpid()) + suffix)).string();
  }
  ~InputFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  const std::string& Write(const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) Fail("cannot write the input file " + path_);
    return path_;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The session of the targets. A fresh Session holds two trace tables of
// several megabytes; building one per input would make the fuzzer crawl, so
// one is kept and the parts the readers write are set back before each input.
inline Session& FreshSession() {
  static Session* s = new Session;
  s->NP0 = NeuronProperties{};
  s->stim = StimulusGlobals{};
  s->run = RunGlobals{};
  s->rec = RecordingGlobals{};
  s->prog = ProgramGlobals{};
  s->ParamsMemo.clear();
  s->SimplexMemo.clear();
  return *s;
}

// Lines of a text, counting a last line without a line end; a line ends with
// LF, CR LF or a lone CR, as the readers take it.
inline int LineCount(const std::uint8_t* data, std::size_t size) {
  int lines = 1;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' || (data[i] == '\r' && (i + 1 == size || data[i + 1] != '\n'))) ++lines;
  }
  return lines;
}

// A bad input is reported as a FormatError naming the file it came from and a
// line that the file has, or line 0 for what concerns the whole file (a
// recording without a single point).
inline void CheckFormatError(const FormatError& e, const std::string& path, int lines) {
  if (e.file() != path) Fail("message names " + e.file() + " instead of " + path + ": " + e.what());
  if (e.line() < 0 || e.line() > lines) {
    Fail("line " + std::to_string(e.line()) + " outside 0 ... " + std::to_string(lines) + ": " + e.what());
  }
}

}  // namespace membrix::fuzz
