#pragma once
// Which channel slots of a conductance-based neuron a run lets anyone see:
// the gates and currents its views draw, its traces write and its recorders
// read. The other slots that carry no current need not advance their gates.

#include <optional>
#include <string_view>

#include "neuron/cond_based_neuron.h"

namespace membrix {

struct Session;
class RunViewSink;

// The slot whose gate or current an output-list item shows ("mmR": the
// resurgent Na slot), none for the items that are not a slot's ("V", "Ca", "Im").
std::optional<Slot> SlotOfOutputItem(std::string_view item);

// The slots a clamp run of the session shows, writes or records with these views.
TCondBasedNrn::SlotSet ObservedSlots(const Session& s, const RunViewSink& views);

}  // namespace membrix
