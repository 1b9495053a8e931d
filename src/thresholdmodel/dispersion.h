#pragma once
// The linearised voltage dispersion of an ensemble with Gaussian conductances:
// the first and second moments S and S2 of the voltage deviation driven by the
// spread of the input, and the shift of the mean voltage they cause.

#include <cstdint>

namespace membrix {

struct Session;

// One step dt of S and S2 for the mean voltage Vm, the leak gLeak, the mean
// excitatory conductance m·gE and the spread a; both updates start from the old
// values. At the first step of a run (nt <= 1) and when flag is 2, S = S2 = 0.
void DispersionStep(const Session& s, std::int32_t flag, double& S, double& S2, double Vm, double gLeak,
                    double m, double gE, double a);

// Shifts the mean voltage Vm by the dispersion S of one step.
void DispersionMeanShift(const Session& s, double& Vm, double a, double m, double S);

}  // namespace membrix
