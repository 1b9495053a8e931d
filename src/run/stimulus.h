#pragma once
// The protocol of a run: what the neuron receives at every step (the u - s input
// at dendrite and soma, an NMDA conductance, an injected current, a command
// voltage) and the electrode that may stand between the stimulus and the cell.

#include <array>
#include <cstdint>
#include <limits>
#include <string_view>

#include "common/random_generator.h"
#include "neuron/neuron.h"

namespace membrix {

struct Session;

// The time course of the inputs inside the pulse window: the radio group of the
// "Ramp in CC" window, in its item order.
enum class PulseShape : std::int32_t { Step = 0, Ramp = 1, Oscillations = 2, ReversedRamp = 3, RampS = 4 };
inline constexpr std::array<std::string_view, 5> kPulseShapeNames = {"Step", "Ramp", "Oscillations",
                                                                      "Reversed ramp", "Ramp s"};

// The main window's noise list, in its item order.
enum class NoiseList : std::int32_t { NoiseConductance = 0, NoiseCurrent = 1 };
inline constexpr std::array<std::string_view, 2> kNoiseListNames = {"noise-conductance", "noise-current"};

// A pulse window shorter than this with a positive frequency is a train of pulses.
inline constexpr double kTrainPulseLimit = 0.015;  // s
// A train has at most this many pulses.
inline constexpr int kTrainPulses = 11;

// Noise added to the injected current from the parameter window: an
// Ornstein-Uhlenbeck process.
struct NoiseRecord {
  double tau = 0.0;        // s
  double amplitude = 0.0;  // current density, mA/cm²
  double state = 0.0;
};

// The pipette between the stimulus and the cell; transparent when G1 = 0.
struct PipetteRecord {
  double G1 = 0.0;      // pipette conductance, mS/cm²
  double C1 = 0.0;      // pipette capacitance, mF/cm²
  double Vp = 0.0;      // pipette voltage, V
  double VpPrev = 0.0;  // pipette voltage of the previous step, V
  double Ip = 0.0;      // pipette current density, mA/cm²
};

struct StimulusGlobals {
  double t_IindShift = 0.0;  // start of the pulse window, s
  double t_Iind = 0.05;      // length of the pulse window, s
  double Iind = 100.0;       // injected current amplitude, pA
  double Freq_Iind = 0.0;    // oscillation or pulse-train frequency, Hz
  double Vh = 0.0;           // command voltage during the window, V
  double uu = 0.0;           // dendritic input current density, mA/cm²
  double ss = 0.0;           // dendritic input conductance density, mS/cm²
  double s_soma = 0.0;       // somatic input conductance density, mS/cm²
  double gNMDA = 0.0;        // NMDA conductance density during the window, mS/cm²
  double Vus = -0.065;       // reversal potential of the u - s input, V
  double du_Reset = 0.0;     // extra current density of the firing-clamp reset generator
  double tau_Noise = 0.0;    // time constant of the "noise-current" option, s
  NoiseRecord NoiseRec;
  PipetteRecord Pipette;

  PulseShape pulseShape = PulseShape::Step;          // "Ramp in CC" radio group
  NoiseList noiseList = NoiseList::NoiseConductance;  // main window's noise list
  // State of the "noise-current" process, in pA. It is kept from step to step
  // inside the pulse window, rests at 0 outside it and is set to 0 at the start
  // of every run, so that every pulse starts its noise from the mean.
  double noiseCurrentState = 0.0;

  // Voltage noise of the Gaussian-ensemble window.
  std::int32_t IfVoltageNoise = 0;  // 1 = on
  double sgm_V = 0.0;               // V; 0 = take it from the window input
  double sgm_V_Input = 3.0;         // the window's "sgm_V" input, mV

  // sqrt(2·tau_m/dt)·sgm_V·Cm/tau_m, the current that gives the voltage noise
  // per unit normal draw, kept for the values it was made from: a constant of
  // the run, worked out at its first step.
  struct VoltageNoiseScale {
    double tau_m = std::numeric_limits<double>::quiet_NaN();
    double Cm = 0.0, dt = 0.0, sgm_V = 0.0, value = 0.0;
  } voltageNoiseScale;
};

// The inputs of one step, in the order the neuron's Step takes them.
struct StepInputs {
  double uDend = 0.0;
  double sDend = 0.0;
  double uSoma = 0.0;
  double sSoma = 0.0;
  double gNMDA = 0.0;
  double Iext = 0.0;
  double Vclamp = 0.0;
};

// Whether t lies in the pulse window of the u - s and NMDA inputs, both ends included.
bool InPulseWindow(const StimulusGlobals& g, double t);

// The inputs at the present time t for the neuron's parameters np. Draws the
// noise of this step from the session's generator.
StepInputs Stimulus(Session& s, const NeuronProperties& np);

// The injected current density at the present time t (mA/cm²), without du_Reset.
double InjectedCurrent(Session& s, const NeuronProperties& np);

// The command voltage at time t (V).
double ClampVoltage(const Session& s, const NeuronProperties& np, double t);

// One step of an Ornstein-Uhlenbeck process p with time constant tau (s), mean
// and deviation sigma, driven by the standard normal deviate r; tau = 0 gives
// white noise around the mean, cut at ten deviations. Returns the new p.
// Throws RangeError for a negative tau, whose process would have no value.
double OUStep(double& p, double tau, double mean, double sigma, double dt, double r);
// The same with a fresh deviate from the generator.
double OUStep(double& p, double tau, double mean, double sigma, double dt, RandomGenerator& random);

// The firing-clamp reset generator; runs with every injected current that is not
// the recording and may update du_Reset: the meander protocols write their
// square current there.
void ResetCurrentGenerator(Session& s);

// The pipette acts on the inputs before the neuron steps; the neuron's voltage
// is the one before its step.
void Electrode(Session& s, const TNeuron& neuron, StepInputs& in);

// The protocol at the start of a run: the pipette at the cell's voltage V, the
// noise-current process at its mean.
void ResetStimulusState(StimulusGlobals& g, double V);

}  // namespace membrix
