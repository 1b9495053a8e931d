#pragma once
// Ion channels read from NeuroML 2 files: Hodgkin-Huxley channels whose gates
// are given by the standard rate, variable and time-course forms. Kinetics are
// evaluated as the built-in channels evaluate theirs: v in mV, rates per ms,
// time constants in ms, the temperature in K.

#include <cstdint>
#include <string>
#include <vector>

#include "neuron/numerics.h"

namespace membrix {

// One of the standard forms of a voltage-dependent rate (per ms), variable
// (dimensionless) or time course (ms), with its parameters in mV and per ms.
struct NmlForm {
  enum class Kind : std::int32_t {
    ExpRate,            // rate·exp((v − midpoint)/scale)
    SigmoidRate,        // rate/(1 + exp(−(v − midpoint)/scale))
    ExpLinearRate,      // rate·x/(1 − exp(−x)), x = (v − midpoint)/scale; rate at x = 0
    ExpVariable,        // as ExpRate, dimensionless
    SigmoidVariable,    // as SigmoidRate, dimensionless
    ExpLinearVariable,  // as ExpLinearRate, dimensionless
    FixedTime,          // a time constant that does not depend on v (ms)
  };
  Kind kind = Kind::ExpRate;
  double rate = 0.0;      // per ms for a rate, 1 for a variable
  double midpoint = 0.0;  // mV
  double scale = 1.0;     // mV
  double tau = 0.0;       // ms, FixedTime only

  double At(double v) const;
};

// The temperature scaling of a gate's rates.
struct NmlQ10 {
  enum class Kind : std::int32_t { None, Fixed, ExpTemp };
  Kind kind = Kind::None;
  double fixedQ10 = 1.0;
  double q10Factor = 1.0;
  double experimentalTemp = 0.0;  // K

  // The factor the rates are multiplied (and the time constants divided) by
  // at the temperature Temp (K).
  double Factor(double Temp) const;
};

// Steady state and time constant (ms) of one gate.
struct NmlGateRates {
  double inf;
  double tau;
};

struct NmlGate {
  enum class Kind : std::int32_t { Rates, TauInf, RatesInf, RatesTau, Instantaneous };
  std::string id;
  Kind kind = Kind::Rates;
  std::int32_t instances = 1;
  NmlForm forward, reverse;   // Rates, RatesInf, RatesTau
  NmlForm timeCourse;         // TauInf, RatesTau
  NmlForm steadyState;        // TauInf, RatesInf, Instantaneous
  NmlQ10 q10;

  // Steady state and time constant (ms) at v (mV) and Temp (K); an
  // instantaneous gate has a time constant of 0.
  NmlGateRates Rates(double v, double Temp) const;
};

struct NmlChannel {
  std::string id;
  std::string species;  // "na", "k", "ca", ... or empty (non-specific)
  std::string file;     // where it was read, for messages
  std::int32_t line = 0;
  std::vector<NmlGate> gates;

  // The open fraction: the product of each gate's value to its instances.
  // x holds one value per gate, in the order of gates.
  double OpenFraction(const double* x) const;
  // Every gate at its steady state at v (mV).
  void Init(double v, double Temp, double* x) const;
  // Advances every gate by dt (s) at v (mV) as the built-in channels relax
  // theirs: x += (1 − exp(−dt/τ))·(x∞ − x); an instantaneous gate is x∞.
  void Step(double v, double Temp, double dt, double* x) const;
  // The derivative of every gate (per s) at v (mV) for the state x; an
  // instantaneous gate has none and is set to its steady state instead.
  void Derivative(double v, double Temp, double* x, double* dxdt) const;
};

// A channel a model takes in beside its family's own: its kinetics, where
// they were read, and the maximal conductance and reversal potential the
// model gives it.
struct ImportedChannel {
  NmlChannel kinetics;
  double g = 0.0;  // maximal conductance density, mS/cm²
  double E = 0.0;  // reversal potential, V
};

// At most this many imported channels and gates in all, held in the neuron's
// state record beside the built-in gates.
inline constexpr int kMaxImportedChannels = 8;
inline constexpr int kMaxImportedGates = 32;

}  // namespace membrix
