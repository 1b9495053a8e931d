#pragma once
// From the spike records of a firing-clamp run back to the conductances that
// drove the neuron. Each record holds two functions F and G of the neuron's
// state at a spike; with the (u, s) maps of F and G (read from a map file) the
// pair (F, G) is inverted by a damped Newton iteration to the steady input
// (u, s) that would produce it, and that input, less the clamp's own
// corrections at the spike, is split into gE and gI. Two optional corrections
// refine an estimate: by the trough voltage of the interval ("Unsteadiness")
// and by the Z-function of the interval's disturbance ("Wiener Kernel").
//
// "CheckFiringClamp" feeds synthetic records taken from the maps themselves and
// must get their inputs back; a series of trials repeats noisy runs and writes
// the estimates over time.

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/firing_clamp.h"
#include "analysis/us_map.h"
#include "run/host.h"
#include "run/independent_runs.h"

namespace membrix {

struct Session;
struct ZFunctionInputs;

// The check boxes and the trial count of the firing-clamp window.
struct FiringClampAnalysisInputs {
  bool WienerKernel = false;  // "Wiener Kernel"
  bool Unsteadiness = false;  // "Unsteadiness"
  bool StepByStep = false;    // "Step by Step": pause after each record
  std::int32_t Trials = 0;    // "Set of Trials, N="
  std::string mapFile = kUSMapFile;  // the map the records are inverted against
  bool linear = false;               // F and G as planes ("Make linear F,G")
  std::string wienerTrace = "V(t).dat";  // the trace the run writes for the Wiener correction
};

inline constexpr const char* kMeanConductanceFile = "mean_gE_gI(t).dat";
inline constexpr const char* kTrialEstimateFile = "gE_gI(t).dat";
inline constexpr const char* kWienerTraceFile = "V(t).dat";
// At most this many estimates per analysis.
inline constexpr std::int32_t kMaxEstimates = 1000;

// Which estimate a conductance pair belongs to.
enum class EstimateKind : std::int32_t { FiringClamp = 0, Unsteadiness = 1, Wiener = 2 };

// One accepted estimate (t in s).
struct FiringClampEstimate {
  double t = 0.0, gE = 0.0, gI = 0.0, F = 0.0, G = 0.0, u = 0.0, s = 0.0;
};

class FiringClampAnalysisSink {
 public:
  virtual ~FiringClampAnalysisSink() = default;
  // The maps the records are inverted against.
  virtual void Maps(const USMapData& map) { (void)map; }
  // The true input of a record ("Exact"), the start point ("start"), the
  // result of an inversion ("Estimation"), a Newton trial ("trials"), u in mA/cm².
  virtual void Exact(double u, double s) { (void)u, (void)s; }
  virtual void Start(double u, double s) { (void)u, (void)s; }
  virtual void Estimation(double u, double s) { (void)u, (void)s; }
  virtual void Trial(double u, double s) { (void)u, (void)s; }
  virtual void ClearTrials() {}
  // An estimated conductance pair at time t (s).
  virtual void Conductances(EstimateKind kind, double t, double gE, double gI) { (void)kind, (void)t, (void)gE, (void)gI; }
  // A trial of a series is done (1-based) out of n.
  virtual void TrialDone(std::int32_t k, std::int32_t n) { (void)k, (void)n; }
};

// F and G at (u, s) by bilinear interpolation in the grid cell holding the
// point; 0 for both outside the cells of the grid (its last row and column are
// only cell corners).
void InterpolateFG(const USMapData& map, double s, double u, double& F, double& G);
// The trough voltage at (u, s), likewise.
double InterpolateTrough(const USMapData& map, double s, double u);

// The mean u and s over the grid points that fire (F ≠ 0) with u > 0 and s > 0;
// the grid origin when there is none.
void StartPoint(const USMapData& map, double& u, double& s);

// The result of one inversion.
struct Inversion {
  double u = 0.0, s = 0.0;
  bool accepted = false;    // converged inside the firing region
  std::int32_t iterations = 0;
};

// Damped Newton iteration from (u, s) towards the targets (Fstar, Gstar), at
// most 201 steps. A singular Jacobian, a point that leaves the firing region or
// no convergence give back the start point, not accepted. With
// fIsFrequency, a relative error of G weighs ten times that of F.
Inversion InvertFG(const USMapData& map, double u, double s, double Fstar, double Gstar, bool fIsFrequency,
                   FiringClampAnalysisSink* trials = nullptr);

// What an analysis left.
struct FiringClampAnalysis {
  std::vector<FiringClampEstimate> estimates;
  bool stopped = false;
};

// Inverts every record against the map. fc.FunctionF tells whether F is the
// rate; in the corrections (the Wiener correction reads the stored
// Z-functions from zIn.storedFolder). With "Step by Step" the run's pause is
// set after each record and the analysis waits for it to be lifted.
FiringClampAnalysis AnalyzeByFiringClamp(Session& s, const FiringClampAnalysisInputs& in, const FiringClampInputs& fc,
                                         const ZFunctionInputs& zIn, Host& host,
                                         const USMapData& map, const std::vector<SpikeRecord>& records,
                                         FiringClampAnalysisSink& sink);

// The map of in, read with the F and G of the firing-clamp page.
USMapData ReadAnalysisMap(const FiringClampAnalysisInputs& in, const FiringClampInputs& fc);

// A map with no firing point (F is 0 everywhere) inverts nothing: throws
// NothingToAnalyseError naming its file.
void RequireFiringPoint(const USMapData& map);

// Refuses a series of fewer than one trial (RangeError).
void CheckTrialsInputs(const FiringClampAnalysisInputs& in);

// The Wiener correction of one estimate (u, s in/out) over the interval
// [tBegin, tEnd] (s) of the trace written by the last run (traceFile). Returns
// true when the estimate was replaced.
bool WienerCorrection(Session& s, const FiringClampInputs& fc, const USMapData& map, const std::string& traceFile,
                      double& u, double& sIn,
                      double tEnd, double tBegin);

// The 20 synthetic records on a quarter circle in the (u, s) plane, with F, G
// and the trough taken from the map.
std::vector<SpikeRecord> CheckRecords(const USMapData& map);
// The self-test: those records analysed. A map with no firing point, or none
// on the quarter circle, leaves nothing to test: NothingToAnalyseError.
FiringClampAnalysis CheckFiringClamp(Session& s, const FiringClampAnalysisInputs& in, const FiringClampInputs& fc,
                                     const ZFunctionInputs& zIn, Host& host,
                                     const USMapData& map, FiringClampAnalysisSink& sink);

// The mean excitatory and inhibitory conductances of the noisy run at time t.
void MeanConductances(const Session& s, double t, double& gE, double& gI);

// The trials: writes meanFile, then runs in.Trials noisy runs of
// 1000 spikes, analyses each and appends its estimates to estimateFile, a
// trial at a time in trial order. A stop keeps the trials already written.
// Refused before anything is written: fewer than one trial (RangeError), a map
// with no firing point (NothingToAnalyseError). Trials that run to their end
// without a single estimate throw NothingToAnalyseError once the (empty)
// estimate file is closed.
struct TrialsOutcome {
  std::int32_t trials = 0;     // trials written
  std::int64_t estimates = 0;  // lines written
  bool stopped = false;
};
TrialsOutcome RunTrials(Session& s, const FiringClampAnalysisInputs& in, const FiringClampInputs& fc,
                        const ZFunctionInputs& zIn, Host& host,
                        const USMapData& map, FiringClampAnalysisSink& sink,
                        const std::string& meanFile = kMeanConductanceFile,
                        const std::string& estimateFile = kTrialEstimateFile);

// The line of the trial file for an estimate.
std::string TrialEstimateLine(const FiringClampEstimate& e, double Vus);

}  // namespace membrix
