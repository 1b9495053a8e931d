// Fuzz target of the readers the firing-clamp analysis feeds on: the first
// byte chooses the reader and its settings, the rest is the file. Even bytes:
// a stored Z-function read at a step of 5 ... 132 µs; it may only be refused
// with a FormatError naming the file and one of its lines, and what is read has
// at most 1001 finite values. Odd bytes: a (u,s) map with F and G chosen from
// the byte; a bad map may only be refused likewise, and on a map that is read
// the interpolation, the start point and the inversion stay finite and inside
// the grid.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "analysis/firing_clamp_analysis.h"
#include "analysis/us_map.h"
#include "analysis/z_function.h"
#include "fuzz/fuzz_support.h"

using namespace membrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static fuzz::InputFile file(".dat");
  const std::string& path = file.Write(data + 1, size - 1);
  const int lines = fuzz::LineCount(data + 1, size - 1);
  const std::uint8_t b = data[0];
  if ((b & 1) == 0) {
    const double dt = (5.0 + (b >> 1)) * 1e-6;
    try {
      const std::vector<double> z = ReadStoredZ(path, dt);
      if (z.size() > static_cast<std::size_t>(kZRing)) fuzz::Fail("Z-function longer than the ring");
      for (double x : z) {
        if (!std::isfinite(x)) fuzz::Fail("a Z value is not finite");
      }
    } catch (const FormatError& e) {
      fuzz::CheckFormatError(e, path, lines);
    }
    return 0;
  }
  USMapData map;
  try {
    map = ReadUSMap(path, (b >> 1) % 7, (b >> 4) % 7);
  } catch (const FormatError& e) {
    fuzz::CheckFormatError(e, path, lines);
    return 0;
  }
  double u = 0.0, s = 0.0;
  StartPoint(map, u, s);
  double F = 0.0, G = 0.0;
  InterpolateFG(map, s, u, F, G);
  // A map whose numbers are not finite has nothing to promise.
  for (const std::vector<double>* v : {&map.u, &map.s, &map.F, &map.G}) {
    for (double x : *v) {
      if (!std::isfinite(x)) return 0;
    }
  }
  if (!std::isfinite(F) || !std::isfinite(G)) fuzz::Fail("interpolation at the start point is not finite");
  const std::size_t corner = map.At(map.nue / 2, map.nse / 2);
  const Inversion inv = InvertFG(map, u, s, map.F[corner], map.G[corner], true);
  if (!std::isfinite(inv.u) || !std::isfinite(inv.s)) fuzz::Fail("inversion is not finite");
  return 0;
}
