#pragma once
// The items of the main window's output list "Var to write": what "Save any
// curve" writes and "Draw any curve" plots, read from the running neuron's
// state copy and the run globals.

#include <span>
#include <string_view>

namespace membrix {

struct Session;

// The items in the list's order, spelt as the list shows them.
std::span<const std::string_view> OutputVariables();

bool IsOutputVariable(std::string_view item);

// The item's value now: voltages in mV ("V", "VatE", "Vexp", "Vav "), currents
// in mA/cm², "PSC" and "Iind" in pA, gates as they are. An item the list does
// not have reads 0.
double OutputVariableValue(const Session& s, std::string_view item);

}  // namespace membrix
