#pragma once
// The distributed model: a ball-and-stick neuron. A lumped soma sits at x = 0
// on an unbranched axon of length L cut into N segments; every node 0..N is a
// complete membrane built by the neuron factory from the current parameters.
// The nodes are coupled by the axial resistance and advanced together by a
// linearly implicit step and one tridiagonal solve. Channel densities may vary
// along the axon; the soma or the two ends receive the input of the chosen
// stimulation mode. Internal units are the record's (s, V, cm, mS/cm², mF/cm²);
// absolute currents are in mA (1 pA = 1e-9 mA), absolute conductances in mS.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "neuron/neuron.h"
#include "params/neuron_properties.h"
#include "run/host.h"

namespace membrix {

struct Session;

// The most segments an axon may have (nodes 0 ... 500).
inline constexpr std::int32_t kMaxFiberSegments = 500;

// "Stimulation:" modes, in the list's item order.
enum class FiberStimulation : std::int32_t {
  SomaProtocol = 0,         // the single-neuron stimulus protocol at the soma
  EndSteps = 1,             // current steps at both ends
  EndAlpha = 2,             // alpha-shaped currents at both ends
  SomaNoise = 3,            // noisy excitatory and inhibitory conductances at the soma
  EndAlphaConductance = 4,  // alpha-shaped conductances gs(t)*(V - Vrev) at both ends
};
inline constexpr std::array<std::string_view, 5> kFiberStimulationNames = {
    "stimulation at soma from 1-comp. model", "steps at both ends", "alpha-functions at both ends",
    "noise for gE, gI at soma", "alpha-functions gs(t)*(V-Vrev) at both ends"};

inline constexpr std::array<std::string_view, 6> kNaDistributionNames = {
    "linear: gNa-decrease; gNaR-increase", "NaThreshShift is linear", "homogeneous",
    "Na-soma, NaR- right half of axon", "fiber is passive", "AHP and KM grows up to z=L"};
inline constexpr std::array<std::string_view, 4> kKDistributionNames = {
    "Nothing", "gK, gKA follow gNaR (scaled at the soma)", "gK, gKA follow gNaR (scaled at the end)",
    "K, KA - right half of axon"};

// The inputs of the distributed-model window and the electrode of the fiber
// view, in the windows' units (µm, Ohm*cm, pA, nS, mV, ms, mS/cm²).
struct FiberInputs {
  FiberStimulation Stimulation = FiberStimulation::SomaProtocol;  // "Stimulation:"
  double alpha_Hz = 100.0;                                        // "alpha_Hz"
  double Iind_Left = 0.0, Iind_Right = 0.0;                       // "Iind_Left,        Iind_Right, pA"
  double Gs_Left = 0.0, Gs_Right = 0.0;                           // "Gs, nS"
  double Vrev_Left = -50.0, Vrev_Right = -70.0;                   // "Vrev, mV"
  double wNa = 1.0;                     // "disbalance of gNa, w="
  double wK = 1.0;                      // "disbalance of gK,    w="
  std::int32_t Homogeneous = 1;         // "Homogeneous gNa, gK in axon"
  std::int32_t RightHalfPassive = 0;    // "Right half of axon is passive"
  std::int32_t NoAdaptation = 1;        // "No adaptation on the fiber"
  std::int32_t NaDistribution = 0;      // Na distribution list
  std::int32_t KDistribution = 0;       // K distribution list
  double diam = 1.0;                    // "diam, mum"
  double L = 50.0;                      // "L, mum"
  double RL = 150.0;                    // "RL, Ohm*cm:"
  double tau_noise = 3.0;               // "tau_noise, ms"
  double Ampl_gE = 0.0, Ampl_gI = 0.0;  // "Ampl_gE, mS/cm^2", "Ampl_gl, mS/cm^2"
  double mean_gE = 0.0, mean_gI = 0.0;  // "mean_gE, mS/cm^2", "mean_gI, mS/cm^2"
  std::int32_t N = 50;                  // "N"
  std::int32_t nDraw = 50;              // "nDraw": drawing interval in steps, 0 = only the first step
  double zDraw = 0.0;                   // "zDraw/L": the observed node, as a fraction of the axon
  double LFP_d = 0.5;                   // "d / L=": electrode position along the axis
  double LFP_h = 0.5;                   // "h / L=": electrode distance from the axis
};

// The fiber's parameters.
struct FiberProperties {
  std::string Name = "Axon";
  NeuronProperties NP;   // parameters shared by the nodes
  double dx = 0.0;       // node spacing L/N, cm
  double L = 0.0;        // axon length, cm
  double VClamp = 0.0;   // clamp voltage of the soma node, V
  double ri = 0.0;       // axial resistance per length, kOhm/cm
  double Rho = 0.0;      // axial resistivity, kOhm*cm
  double Lambda = 0.0;   // length constant, cm
  double d = 0.0;        // diameter, cm
  double SegArea = 0.0;  // membrane area of a segment, cm²
  std::int32_t N = 0;
  std::int32_t SomaClamped = 0;  // 1: the soma node is held at VClamp
};

// The inputs in model units, set by the setup.
struct FiberSettings {
  FiberStimulation mode = FiberStimulation::SomaProtocol;
  double alpha_Hz = 100.0;
  double Iind_Left = 0.0, Iind_Right = 0.0;  // mA
  double Gs_Left = 0.0, Gs_Right = 0.0;      // mS
  double Vrev_Left = 0.0, Vrev_Right = 0.0;  // V
  double tau_noise = 0.0;                    // s
  double Ampl_gE = 0.0, Ampl_gI = 0.0, mean_gE = 0.0, mean_gI = 0.0;  // mS/cm²
  double Gs_R = 0.0;   // "1/ro_inf": the cable's input conductance over the soma's, for a long cable
  std::int32_t k = 0;  // the observed node
};

class TFiber {
 public:
  // Creates the N+1 node neurons from props.NP; every array the run needs is
  // allocated here, none in the step.
  TFiber(const FiberProperties& props, RunView clock);
  TFiber(const TFiber&) = delete;
  TFiber& operator=(const TFiber&) = delete;

  FiberProperties Props;
  FiberSettings Settings;
  // Per-node inputs, zeroed at the start of every step: a current density
  // (mA/cm²), a conductance density (mS/cm²) reversing at Vus, an injected current (mA).
  std::vector<double> Iext, gSyn, Iind;
  std::vector<std::unique_ptr<TNeuron>> Nodes;
  // Node voltages (V), total membrane conductance densities, ionic and synaptic
  // current density sources, voltages at the start of the step.
  std::vector<double> V, g, Iion, Isyn, Vold;
  double ISoma = 0.0, IAxon = 0.0;    // current entering the cable at the soma and at the far end, mA
  double JmSoma = 0.0, JmAxon = 0.0;  // membrane currents of the end nodes, mA
  double gE = 0.0, gI = 0.0;          // the noisy soma conductances, mS/cm²

  std::int32_t N() const { return Props.N; }
  RunView clock() const { return clock_; }

  // Zeroes the per-node inputs.
  void ClearInputs();

  // The tridiagonal system of the step, rows 0..N (lower[0] and upper[N] unused).
  std::vector<double> lower, diag, upper, rhs, U;

 private:
  RunView clock_;
};

// Fills the record from np and the geometry, sets the run's time step to dt and
// builds the fiber with its N+1 nodes.
std::unique_ptr<TFiber> CreateFiber(Session& s, const std::string& name, std::int32_t N, std::int32_t SomaClamped,
                                    double Rho, double Lambda, double VClamp, double L, double dt);

// Refuses (RangeError) inputs that give no fiber: N outside 1 ... 500, a
// non-positive length, diameter or resistivity, a membrane without time
// constant or capacitance, the integrate-and-fire model as node.
void CheckFiberInputs(const Session& s, const FiberInputs& in);

// Builds the fiber from the session's parameters and the inputs: the run is
// reset, the nodes integrate as single points, the channel distribution is
// applied. Nothing is run.
std::unique_ptr<TFiber> SetupFiber(Session& s, const FiberInputs& in);

// The channel distribution along the axon, step by step in its order.
void ApplyChannelDistribution(TFiber& fiber, const FiberInputs& in);

// t = 0, every node at rest; the arrays from the nodes.
void InitFiber(Session& s, TFiber& fiber);

// The inputs of the step at the present time for the fiber's stimulation mode.
// Writes VClamp in mode 0. Draws the noise of mode 3 from the session's generator.
void StimulateFiber(Session& s, TFiber& fiber);

// One step to time t.
void StepFiber(Session& s, TFiber& fiber, double t);

// Solves the tridiagonal system in place (forward elimination, back
// substitution, no pivoting); the solution goes to U.
void SolveTridiagonal(std::vector<double>& lower, std::vector<double>& diag, const std::vector<double>& upper,
                      std::vector<double>& rhs, std::vector<double>& U, std::int32_t N);

// The extracellular potential (V) of the present step at the electrode xe
// along the axis and ye from it (cm).
double FiberLFP(const TFiber& fiber, double xe, double ye);

// The values the distribution page shows.
struct FiberDerived {
  double Lambda = 0.0;  // cm
  double Gs_R = 0.0;
  double ri = 0.0;      // kOhm/cm
  double ro = 0.0;      // tanh(L/λ)/Gs_R
};
FiberDerived DerivedValues(const TFiber& fiber);
// The four labels of "Derived values".
std::array<std::string, 4> DerivedLabels(const FiberDerived& d);

// What a fiber run draws.
class FiberSink {
 public:
  virtual ~FiberSink() = default;
  // The run starts: clear the profiles (and the time courses when the view cleans them).
  virtual void Clear() {}
  // Whether the field potential is wanted in the frames (its page is shown).
  virtual bool WantsLFP() const { return false; }
  // One frame at time t (s); lfp in V, computed only when wanted.
  virtual void Frame(const TFiber& fiber, double t, double lfp) { (void)fiber, (void)t, (void)lfp; }
  // The channel densities per node and the derived values.
  virtual void Distribution(const TFiber& fiber, const FiberDerived& derived) { (void)fiber, (void)derived; }
};

struct FiberOutcome {
  std::int32_t steps = 0;
  bool stopped = false;
};

// The fiber run with the inputs in: from rest over the run's step count,
// recording the model value of the clamp mode, drawing every nDraw steps,
// writing the run's trace files when writing is on.
FiberOutcome FiberRun(Session& s, const FiberInputs& in, Host& host, FiberSink& sink);

// Builds the fiber of in as the run would and hands the distribution to the sink.
FiberDerived ShowDistribution(Session& s, const FiberInputs& in, Host& host, FiberSink& sink);

}  // namespace membrix
