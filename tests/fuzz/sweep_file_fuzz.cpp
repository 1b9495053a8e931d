// Fuzz target of the ramp analyzer's sweep-file reader: the first byte chooses
// t_maxLimit (1 ... 256 ms) and the sweep analysed, the second the Cesium shift
// and the template mode, the rest is the sweep file. The file is read, and the
// sweep is filtered and searched for its spike. A bad file may only end the
// reading with a FormatError that names the file and one of its lines; a file
// that is read gives 0 ... 100 sweeps, samples 0 ... 25000 with finite times,
// and the analysis of any sweep stays inside the tables.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "data/ramp_analyzer.h"
#include "fuzz/fuzz_support.h"

using namespace membrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static fuzz::InputFile file(".txt");
  // One table for every input, as the window keeps one while it is open.
  static TRamp* ramp = new TRamp;
  const std::string& path = file.Write(data + 2, size - 2);
  const int lines = fuzz::LineCount(data + 2, size - 2);

  TRamp& r = *ramp;
  r.NSweeps = r.NLast = r.Loaded = 0;
  r.FileName = path;
  RampInputs in;
  in.t_maxLimit = 1.0 + data[0];
  in.CesiumShift = (data[1] & 0x7f) - 64.0;
  in.ShapeMode = data[1] >> 7;
  in.WriteSpikeMarkers = false;
  in.tauFilt = (data[0] & 3) * 0.25;
  try {
    ReadRampFile(r, in);
  } catch (const FormatError& e) {
    fuzz::CheckFormatError(e, path, lines);
    return 0;
  }
  if (r.NSweeps < 0 || r.NSweeps > TRamp::kMaxSweeps) fuzz::Fail("NSweeps " + std::to_string(r.NSweeps));
  if (r.NLast < 0 || r.NLast > TRamp::kLastSample) fuzz::Fail("NLast " + std::to_string(r.NLast));
  for (int j = 0; j <= r.NLast; ++j) {
    if (!std::isfinite(r.t[j])) fuzz::Fail("time of sample " + std::to_string(j) + " is not finite");
  }
  r.CurSweep = SweepNumber(1 + data[0] % 100);
  RampSink sink;
  FilterCurrent(r, in, sink);
  FindThreshold(r, in, sink);
  return 0;
}
