// Fuzz target of the NeuroML channel reader: the input is read as a NeuroML
// file. A bad file may only end the reading with a FormatError that names the
// file and one of its lines; a file that is read gives channels with distinct,
// non-empty ids, gates with distinct ids and 1 ... 12 instances, and every
// channel can be set to rest and stepped.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "channels/neuroml_reader.h"
#include "fuzz/fuzz_support.h"

using namespace membrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int lines = fuzz::LineCount(data, size);
  std::vector<NmlChannel> channels;
  try {
    channels = ParseNeuroMLChannels(text, "fuzz.nml");
  } catch (const FormatError& e) {
    fuzz::CheckFormatError(e, "fuzz.nml", lines);
    return 0;
  }
  if (channels.empty()) fuzz::Fail("a file read without a channel");
  std::set<std::string> ids;
  for (const NmlChannel& c : channels) {
    if (c.id.empty() || !ids.insert(c.id).second) fuzz::Fail("channel id \"" + c.id + "\" empty or repeated");
    if (c.line < 1 || c.line > lines) fuzz::Fail("channel \"" + c.id + "\" on line " + std::to_string(c.line));
    std::set<std::string> gates;
    for (const NmlGate& g : c.gates) {
      if (g.id.empty() || !gates.insert(g.id).second) fuzz::Fail("gate id \"" + g.id + "\" empty or repeated");
      if (g.instances < 1 || g.instances > 12) fuzz::Fail("gate \"" + g.id + "\" with " + std::to_string(g.instances));
    }
    std::vector<double> x(c.gates.size(), 0.0);
    c.Init(-60.0, 300.0, x.data());
    c.Step(-20.0, 300.0, 2.5e-5, x.data());
    (void)c.OpenFraction(x.data());
  }
  return 0;
}
