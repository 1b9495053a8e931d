#include "params/imported_channels.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "channels/neuroml_reader.h"
#include "common/error.h"

namespace membrix {

namespace {

double Number(const std::string& channelText, const std::string& text, const char* what) {
  double x = 0.0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, last, x);
  if (ec != std::errc() || end != last || !std::isfinite(x)) {
    throw FormatError("", 0, "channel \"" + channelText + "\": " + what + " \"" + text + "\" is not a number");
  }
  return x;
}

}  // namespace

ImportedChannel ImportChannel(const std::string& channelText) {
  // From the right, so that the file's name may hold colons itself.
  const std::size_t e = channelText.rfind(':');
  const std::size_t g = e == std::string::npos || e == 0 ? std::string::npos : channelText.rfind(':', e - 1);
  if (g == std::string::npos || g == 0) {
    throw FormatError("", 0,
                      "channel \"" + channelText + "\": expected FILE[#ID]:G:E (G in mS/cm², E in mV), for example "
                      "k.nml#k_squid:36:-72");
  }
  std::string file = channelText.substr(0, g);
  std::string id;
  if (const std::size_t hash = file.rfind('#'); hash != std::string::npos) {
    id = file.substr(hash + 1);
    file.resize(hash);
  }
  ImportedChannel c;
  c.g = Number(channelText, channelText.substr(g + 1, e - g - 1), "the conductance density");
  c.E = Number(channelText, channelText.substr(e + 1), "the reversal potential") / 1000.0;
  if (c.g < 0.0) throw RangeError("channel \"" + channelText + "\": the conductance density must not be negative");
  const std::vector<NmlChannel> channels = ReadNeuroMLChannels(file);
  if (id.empty()) {
    if (channels.size() != 1) {
      std::string ids;
      for (const NmlChannel& k : channels) ids += (ids.empty() ? "" : ", ") + k.id;
      throw FormatError(file, 0, "holds " + std::to_string(channels.size()) + " channels (" + ids +
                                     "): name one as " + file + "#ID");
    }
    c.kinetics = channels.front();
    return c;
  }
  for (const NmlChannel& k : channels) {
    if (k.id == id) {
      c.kinetics = k;
      return c;
    }
  }
  throw FormatError(file, 0, "holds no channel with the id \"" + id + "\"");
}

void AddImportedChannel(NeuronProperties& np, ImportedChannel c) {
  int gates = static_cast<int>(c.kinetics.gates.size());
  for (const ImportedChannel& k : np.Imported) {
    if (k.kinetics.id == c.kinetics.id) {
      throw RangeError("the model has an imported channel \"" + c.kinetics.id + "\" already");
    }
    gates += static_cast<int>(k.kinetics.gates.size());
  }
  if (static_cast<int>(np.Imported.size()) + 1 > kMaxImportedChannels || gates > kMaxImportedGates) {
    throw RangeError("a model takes at most " + std::to_string(kMaxImportedChannels) + " imported channels with " +
                     std::to_string(kMaxImportedGates) + " gates in all; \"" + c.kinetics.id + "\" would make " +
                     std::to_string(np.Imported.size() + 1) + " with " + std::to_string(gates));
  }
  np.Imported.push_back(std::move(c));
}

}  // namespace membrix
