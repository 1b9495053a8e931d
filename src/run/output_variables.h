#pragma once
// The items of the main window's output list "Var to write": what "Save any
// curve" writes and "Draw any curve" plots, read from the running neuron's
// state copy and the run globals.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace membrix {

struct Session;
struct NeuronProperties;

// The items in the list's order, spelt as the list shows them.
std::span<const std::string_view> OutputVariables();

bool IsOutputVariable(std::string_view item);

// The items of a model's imported channels, after the list's: "I_<id>", the
// channel's current (mA/cm², outward), and "<id>.<gate>", each of its gates.
std::vector<std::string> ImportedOutputVariables(const NeuronProperties& np);

// An item of the list or of np's imported channels.
bool IsOutputVariable(std::string_view item, const NeuronProperties& np);

// The item's value now: voltages in mV ("V", "VatE", "Vexp", "Vav "), currents
// in mA/cm², "PSC" and "Iind" in pA, gates as they are. An item the list does
// not have reads 0.
double OutputVariableValue(const Session& s, std::string_view item);

}  // namespace membrix
