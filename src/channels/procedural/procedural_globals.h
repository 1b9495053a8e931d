#pragma once
// What the procedural channel library keeps beside the parameter record and
// the state record: the occupancies of its own Lyle Na scheme and the level the
// Bst gate is kicked toward at a spike.

#include <array>
#include <cstdint>

namespace membrix {

// Occupancies of the procedural Lyle Na scheme: 1 open, 2 inactivated, 3 and 4
// closed; entry 0 is unused. Independent of the neuron's pNa.
using LyleOccupancies = std::array<double, 5>;

// The model choices of the record that the procedural step reads as text
// (HH_type, NaR_type, HH_order), resolved once when the gates are set up.
enum class ProcFamily : std::uint8_t { Other, Passive, Rariza, Destexhe, Migliore, Cummins, Chow, Lyle };
enum class ProcGeometry : std::uint8_t { Other, OnePoint, TwoPoints };
struct ProcModel {
  bool resolved = false;
  ProcFamily family = ProcFamily::Other;
  bool cumminsNaR = false;  // NaR_type "Cummins"
  ProcGeometry geometry = ProcGeometry::Other;
};

struct ProceduralGlobals {
  LyleOccupancies ProcLyleP{};
  // The "tau1, ms" input of the parameter window, stored as entered. 0 means
  // not set: the Bst current then takes 100 and keeps it.
  double tau1 = 0.0;
  // The record's model choices as of the last ProcInitGates (or the first step).
  ProcModel model;
  // False: in ProceduralStep a current whose maximal conductance is 0 leaves
  // its gates where they are (it carries 0 either way). True: every gate
  // advances at every step, for a caller that reads the gates of such currents.
  bool everyGate = false;
};

}  // namespace membrix
