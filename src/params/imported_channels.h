#pragma once
// Adding channels read from NeuroML files to a model's parameter record.

#include <string>

#include "params/neuron_properties.h"

namespace membrix {

// The channel a text "FILE[#ID]:G:E" names: the channel ID of the NeuroML
// file FILE (the ID may be left out when the file holds one channel), with
// the maximal conductance density G in mS/cm² and the reversal potential E in
// mV. Throws FormatError for a text not of this form, IoError and FormatError
// from reading the file.
ImportedChannel ImportChannel(const std::string& channelText);

// Adds c to the record's imported channels. Throws RangeError where the
// record would hold more channels or gates than a neuron takes, or a second
// channel of the same id.
void AddImportedChannel(NeuronProperties& np, ImportedChannel c);

}  // namespace membrix
