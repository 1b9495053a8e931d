// Fuzz target of the parameter-file reader: any bytes as a ".id" file, read as
// the memo is read back (every assignment active), opened as the File menu
// opens a file, and with the sections of a few recordings loaded as runs load
// them. A bad file may only end the reading with a FormatError that names the
// file and one of its lines; the recording number stays one the tables have,
// and every echo in ParamsMemo is an assignment.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "params/parameter_file.h"

namespace {

using namespace membrix;
using fuzz::Fail;

void CheckSession(const Session& s) {
  if (s.rec.Smpl < 0 || s.rec.Smpl > kMaxRecording) Fail("recording number " + std::to_string(s.rec.Smpl));
  for (const std::string& echo : s.ParamsMemo) {
    if (echo.find(":=") == std::string::npos || echo.back() != ';') Fail("echo \"" + echo + "\"");
  }
}

template <class Read>
void Expect(Read read, Session& s, const std::string& path, int lines) {
  try {
    read();
  } catch (const FormatError& e) {
    fuzz::CheckFormatError(e, path, lines);
  }
  CheckSession(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile file(".id");
  const std::string& path = file.Write(data, size);
  const int lines = fuzz::LineCount(data, size);

  Session& memo = fuzz::FreshSession();
  Expect([&] { ReadSection(memo, path, "Any", "Any"); }, memo, path, lines);

  Session& s = fuzz::FreshSession();
  Expect([&] { LoadParameterFile(s, path); }, s, path, lines);
  if (s.rec.IdFileName == path) {
    for (int k : {1, 2, 19}) {
      Expect([&] { LoadRecordingSection(s, k); }, s, path, lines);
    }
  }
  return 0;
}
