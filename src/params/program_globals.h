#pragma once
// Settings the program keeps for the firing clamp, the fitting and the
// parameter files, held by the session next to the run and stimulus globals.
// They start at the values the program starts with.

#include <cstdint>

namespace membrix {

struct ProgramGlobals {
  double NoiseToSignal = 0.0;  // noise of the firing-clamp conductances, relative to their means
  double FC_dFdu = 700.0;      // firing clamp: rate change per unit of u, Hz
  double FC_I0 = 0.01;         // firing clamp: current scale of the s correction
  double FC_freq = 0.0;        // firing clamp: rate held, Hz (0 = open loop)
  double tau_E = 0.02;         // s, period of the excitatory modulation (0 = constant)
  double tau_I = 0.05;         // s, the same for the inhibitory conductance
  double sc_Simplex = 1.0;     // divisor of each recording's deviation in the fitting objective
  std::int32_t KeepParams = 0; // set by the parameter files and the start-up set
};

}  // namespace membrix
