// Fuzz target of the recording reader: the first byte chooses the layout (one
// value per line or time and value) and whether values are negated, the rest is
// the recording file. The recording is read and resampled onto a short model
// grid. A bad file may only end the reading with a FormatError that names the
// file and one of its lines; a file that is read gives no more points than it
// has lines, all finite, one time per value, and in the one-column layout the times 0.05 ms
// apart from 0.05 ms on.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "run/recording.h"

using namespace membrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static fuzz::InputFile file(".d");
  const std::uint8_t layout = data[0];
  const std::string& path = file.Write(data + 1, size - 1);
  const int lines = fuzz::LineCount(data + 1, size - 1);

  Session& s = fuzz::FreshSession();
  s.rec.Smpl = 1 + layout % kMaxRecording;
  s.rec.SmplFile[s.rec.Smpl] = path;
  s.rec.IfDataIn1column = (layout >> 5) & 1;
  s.rec.DataFormat = (layout >> 6) % 3;
  s.run.nt_end = 200;
  try {
    LoadRecording(s);
  } catch (const FormatError& e) {
    fuzz::CheckFormatError(e, path, lines);
    return 0;
  }

  const RecordedTrace& trace = s.rec.Trace;
  if (trace.time.size() != trace.value.size()) fuzz::Fail("times and values differ in number");
  if (trace.time.size() > static_cast<std::size_t>(lines)) fuzz::Fail("more points than lines");
  for (std::size_t i = 0; i < trace.time.size(); ++i) {
    if (!std::isfinite(trace.time[i]) || !std::isfinite(trace.value[i])) fuzz::Fail("a point is not finite");
    if (s.rec.IfDataIn1column == 1 && std::abs(trace.time[i] - 0.05 * static_cast<double>(i + 1)) > 1e-9) {
      fuzz::Fail("one-column time " + std::to_string(trace.time[i]) + " at line " + std::to_string(i + 1));
    }
  }
  return 0;
}
