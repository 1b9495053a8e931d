#pragma once
// Ensembles of uncoupled copies of the procedural neuron under one stimulus:
// - Gaussian thresholds: members differ by a Gaussian threshold shift and/or
//   leak conductance; with threshold renewal a member draws a new shift after
//   each of its spikes;
// - noise: identical members, each driven by its own white or coloured noise
//   current and started from a Gaussian spread of voltages;
// - Gaussian conductances: members receive an excitatory conductance spread
//   over a Gaussian and are followed up to their first spike; the mean and the
//   dispersion of their voltage are set beside the linearised estimate.
// The first two histogram the members' spikes into the population rate ro(t).
// Members run as independent runs: each on its own copy of the session with a
// generator started from its index, delivered in index order, so the files do
// not depend on the number of workers. The caller's parameter record is left
// as it was; the window's dt, t_end, t_Iind, Iind and Freq_Iind become the
// session's run settings.

#include <cstdint>
#include <string>
#include <vector>

#include "population/rate_histogram.h"
#include "run/host.h"
#include "run/independent_runs.h"

namespace membrix {

struct Session;

// "in mV" / "nondim.": how sgm_V is read.
enum class SigmaUnit : std::int32_t { InMV = 0, Nondim = 1 };
// "Disperse Thr.", "Disperse gL", "Disperse Thr. and gL".
enum class DispersionKind : std::int32_t { Threshold = 0, Leak = 1, ThresholdAndLeak = 2 };

// The inputs of the Gaussian-ensemble window, in its units.
struct EnsembleInputs {
  // "Problem" / "Set parameters "
  double dt = 0.05;          // "dt, ms"
  double t_end = 120.0;      // "t_end, ms"
  double t_Iind = 2000.0;    // "t_Iind, ms"
  double Freq_Iind = 0.0;    // "Oscillations, Hz"
  double Iind = 300.0;       // "Iind, pA"
  std::int32_t Nrate = 240;  // "Mesh for rate, Nrate"
  std::int32_t MeshGauss = 4000;  // "Mesh for Gauss": members 0 ... MeshGauss
  double sgm_V = 3.0;        // "sgm_V"
  SigmaUnit sigmaUnit = SigmaUnit::InMV;
  DispersionKind disperse = DispersionKind::Threshold;
  bool ThrRenewal = false;   // "Thr. Renewal"
  double tMeasure = 100.0;   // ms, time of the σV measurement (noise)
  double tau_Noise = 0.0;    // "tau_Noise=", ms; 0 = white
  bool FixThreshold = false;  // "Fix Threshold, mV:"
  double FixThr = 14.0;       // mV
  bool DontClear = false;     // "Don't clear" (network)
  // "Set for dispersed conductances"
  double Ampl_gE = 0.01;     // "Ampl_gE, mS/cm^2"
  double tau_E = 0.0;        // "tau_E, ms"; 0 = constant conductance
  double sigmaG = 0.2;       // "sigmaG_nd"
  double IindG = 0.0;        // "Iind, pA" of the group
  std::int32_t MeshG = 4;    // "Mesh for Gauss" of the group: members 0 ... MeshG
};

// Which model the members are.
enum class EnsembleModel { ConductanceBased, ThresholdModel };

inline constexpr const char* kRateFileName = "rate(t).dat";
inline constexpr const char* kRateNoiseFileName = "RateNoise(t).dat";
inline constexpr const char* kOneCurveFileName = "OneCurve(t).dat";
inline constexpr const char* kGaussTVFileName = "Gauss(t,V).dat";
inline constexpr const char* kGaussMeanDispFileName = "Gauss_Mean_Disp.dat";
inline constexpr const char* kGaussVMeanFileName = "Gauss_V(MeanGE).dat";
inline constexpr const char* kGaussBoundFileName = "Gauss_bound.dat";

struct TimeValue {
  double t = 0.0;  // s
  double v = 0.0;  // V (voltages) or the quantity's own unit
};

// What one member of a rate ensemble leaves.
struct EnsembleMember {
  std::vector<double> spikes;  // spike times, s
  std::vector<double> shifts;  // threshold shift in mV at the start and after each spike
  double gL = 0.0;             // its leak conductance, mS/cm²
  double Vmeasure = 0.0;       // V at the measurement time (noise), V
  std::vector<TimeValue> trace;  // V(t) of the drawn member, empty for the others
  std::vector<TimeValue> noise;  // uu·1000 every n_Draw steps of member 0 (noise)
};

class EnsembleSink {
 public:
  virtual ~EnsembleSink() = default;
  // Member j of count has been added to the rate ("j=").
  virtual void Member(std::int64_t j, std::int64_t count) { (void)j, (void)count; }
  // The rate so far ("ro(t,0)").
  virtual void Rate(const RateHistogram& ro) { (void)ro; }
  // V(t) of the drawn member ("V(t)") and, for the noise, its input current.
  virtual void Voltage(const std::vector<TimeValue>& trace) { (void)trace; }
  virtual void NoiseInput(const std::vector<TimeValue>& uu) { (void)uu; }
  // The voltage dispersion at the measurement time so far (noise), mV.
  virtual void SigmaV(double sigmaV) { (void)sigmaV; }
};

// A stopped run (outcome.stopped) keeps the members done, outcome.delivered:
// ro and its file are their rate, each spike weighing 1/(done·Δ); with none
// done the file is left empty.
struct EnsembleResult {
  RateHistogram ro;
  RunsOutcome outcome;
  double sigmaV = 0.0;  // mV (noise)
  std::string file;     // the rate file written
};

// The members of a run and the σ of the dispersion.
std::int64_t EnsembleMembers(const EnsembleInputs& in);
double DispersionSigma(const EnsembleInputs& in);

// Puts the window's problem inputs into the session's run settings.
void ApplyEnsembleProblem(Session& s, const EnsembleInputs& in);

// The "Fix Threshold, mV:" rule: FixThr = value/1000 + ThrShift when ticked, else 0.
void ApplyFixThreshold(Session& s, const EnsembleInputs& in);

// One member of the Gaussian-threshold ensemble on its own copy of the session
// (generator already at the member's seed); draw = keep its V(t).
EnsembleMember GaussianThresholdMember(Session& copy, const EnsembleInputs& in, bool draw, const Host* host);

// One member of the noise ensemble; first = member 0, which keeps its every
// step for "OneCurve(t).dat" and its input; draw keeps V(t) too.
EnsembleMember NoiseMember(Session& copy, const EnsembleInputs& in, bool first, const Host* host);

// The runs; files go into dir ("" = the working folder). Throw RangeError for
// inputs outside the model and IoError for a file that cannot be written.
EnsembleResult RunGaussianThresholds(Session& s, const EnsembleInputs& in, Host& host, EnsembleSink& sink,
                                     EnsembleModel model, const std::string& dir = "");
EnsembleResult RunNoiseEnsemble(Session& s, const EnsembleInputs& in, Host& host, EnsembleSink& sink,
                                EnsembleModel model, const std::string& dir = "");

// ---- Gaussian conductances ------------------------------------------------

struct LinearisedPoint {
  double t = 0.0;                     // s
  double V = 0.0, sigmaV = 0.0;       // V
};
struct DispersionPoint {
  double t = 0.0;                     // s
  double mean = 0.0, D = 0.0;         // V
};

class ConductanceEnsembleSink {
 public:
  virtual ~ConductanceEnsembleSink() = default;
  virtual void Member(std::int64_t i, std::int64_t count) { (void)i, (void)count; }
  // The member's V(t) up to its first spike ("V(t)") and its end point ("Ends").
  virtual void Voltage(std::int64_t i, const std::vector<TimeValue>& trace) { (void)i, (void)trace; }
  // "V(mean gE)" and its ± sgm_V lines.
  virtual void Linearised(const std::vector<LinearisedPoint>& points) { (void)points; }
  // "Mean", "Mean+Dispersion", "Mean-Dispersion".
  virtual void Dispersion(const std::vector<DispersionPoint>& points) { (void)points; }
};

// A stop ends the run between members or within one: the statistics and
// "Gauss_V(MeanGE).dat" are then those of the members done; the lines the
// member in progress had written to the other files stay.
struct ConductanceEnsembleResult {
  std::vector<DispersionPoint> dispersion;
  std::vector<LinearisedPoint> linearised;
  double T_min = 0.0;  // s, the earliest first spike (t_end when none fired)
  std::int64_t members = 0;  // members done
  bool stopped = false;      // a stop ended the run before every member was done
};

ConductanceEnsembleResult RunGaussianConductances(Session& s, const EnsembleInputs& in, Host& host,
                                                  ConductanceEnsembleSink& sink, EnsembleModel model,
                                                  const std::string& dir = "");

// The model choice on a session: the threshold model sets ThrModel, the
// conductance-based cell clears ThrModel and LIF_model.
void SelectEnsembleModel(Session& s, EnsembleModel model);

// dir joined with a file name.
std::string EnsemblePath(const std::string& dir, const char* name);

}  // namespace membrix
