#pragma once
// What the procedural channel library keeps beside the parameter record and
// the state record: the occupancies of its own Lyle Na scheme and the level the
// Bst gate is kicked toward at a spike.

#include <array>

namespace membrix {

// Occupancies of the procedural Lyle Na scheme: 1 open, 2 inactivated, 3 and 4
// closed; entry 0 is unused. Independent of the neuron's pNa.
using LyleOccupancies = std::array<double, 5>;

struct ProceduralGlobals {
  LyleOccupancies ProcLyleP{};
  // The "tau1, ms" input of the parameter window, stored as entered. 0 means
  // not set: the Bst current then takes 100 and keeps it.
  double tau1 = 0.0;
};

}  // namespace membrix
