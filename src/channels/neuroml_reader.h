#pragma once
// Reads the ion channels of a NeuroML 2 file. Read: ionChannelHH (and
// ionChannel of that type, and the gate-less ionChannelPassive) with the gates
// gateHHrates, gateHHtauInf, gateHHratesInf, gateHHratesTau and
// gateHHInstantaneous; the rate forms HHExpRate, HHSigmoidRate,
// HHExpLinearRate, the variable forms HHExpVariable, HHSigmoidVariable,
// HHExpLinearVariable and the time course fixedTimeCourse; q10Settings of the
// types q10ExpTemp and q10Fixed; quantities in mV, V, per_ms, per_s, ms, s and
// degC. Anything else that bears on the kinetics (a ComponentType with
// dynamics of its own, a kinetic scheme, a form of its own type) is refused
// with the element, the file and the line: a file is read whole or not at all.

#include <string>
#include <string_view>
#include <vector>

#include "channels/neuroml_channel.h"

namespace membrix {

// The channels of the NeuroML text; file names it in messages. Throws
// FormatError naming the file and the line.
std::vector<NmlChannel> ParseNeuroMLChannels(std::string_view text, const std::string& file);

// The channels of the file at path. Throws IoError when it cannot be read and
// FormatError as above.
std::vector<NmlChannel> ReadNeuroMLChannels(const std::string& path);

}  // namespace membrix
