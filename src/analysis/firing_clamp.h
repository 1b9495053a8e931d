#pragma once
// The firing clamp: the procedural neuron driven by noisy excitatory and
// inhibitory conductances gE (reversal 0 V) and gI (reversal Vus), seen by the
// cell as the input pair u = -Vus·gE, s = gE + gI. After every spike the clamp
// compares the rate 1/ISI with the target and moves u and/or s so that the rate
// returns to it; the corrections decay between spikes. Optionally an estimate
// of the slow adaptation currents (M-type K and AHP) is added. At every spike
// the run records the functions F and G of the state with the (u, s) point at
// which the neuron was held.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "run/host.h"
#include "run/reset_protocol.h"

namespace membrix {

struct Session;
struct NeuronProperties;
class StatisticsSink;
class RunViewSink;
struct ZFunctionInputs;

// The clamp modes of the page's list, in its item order (each text with one leading blank).
inline constexpr std::array<std::string_view, 13> kFiringClampModeNames = {
    " Adjust  u and s",       " Adjust  u",           " Adjust  s",           " Add adaptation  (-)",
    " Nothing",               " Extract adaptation",  " Estimate lack of adapt", " FC for adapted nu(u,s)",
    " Add adapt. to freq_H",  " Adaptation and FC",   " Extract adapt. and FC", " Estimate adaptation",
    " Estimate ad., do FC"};

// The functions F and G recorded at each spike, in the radio groups' item order.
inline constexpr std::array<std::string_view, 7> kFunctionFNames = {
    "Frequency", "VxZ", "Width of AP", "MinVoltage", "Vmax-Vmin", "VT_1ms", "Th"};
inline constexpr std::array<std::string_view, 7> kFunctionGNames = {
    "Potential rate, dV/dt", "Average voltage", "MinVoltage", "MaxVoltage", "Convolution", "VxZ", "IxZ"};

// The inputs of the "Firing-Clamp and PRC" page, in internal units, besides
// those the parameter files keep with the program globals (NoiseToSignal,
// FC_freq, FC_dFdu, tau_E, tau_I, FC_I0), tau_Noise of the stimulus and the
// reset protocol, which the stimulus of every run reads (run/reset_protocol.h).
struct FiringClampInputs {
  std::int32_t Mode = -1;           // clamp mode (kFiringClampModeNames); -1 = none selected
  double SurgeryThreshold = 1.5;    // " Surgery: thresh. ", target periods
  double SurgeryDu = 0.002;         // " du, mA/cm^2: " (entered as 2.0)
  std::int32_t FunctionF = 0;       // "Function F to be measured:"
  std::int32_t FunctionG = 3;       // "Function G to be measured:"
  double DecayPeriods = 100.0;      // decay of the corrections, target periods
};

// At most this many per-spike records per run.
inline constexpr std::int32_t kMaxSpikeRecords = 1000;

// One spike of a firing-clamp run.
struct SpikeRecord {
  double F = 0.0, G = 0.0;
  double VTroughLast = 0.0;  // V
  double uu = 0.0, ss = 0.0;  // the input at the spike
  double tLastSpike = 0.0;    // s
  double uAtSpike = 0.0, sAtSpike = 0.0;          // the filtered corrections at the spike
  double uAtSpikeCorr = 0.0, sAtSpikeCorr = 0.0;  // the same with the adaptation taken off
  double uInput = 0.0, sInput = 0.0;  // stimulus + uu - FC_Ua, ss - FC_Sa: the input without the clamp
};

// One sample of the conductances and the input, for the u/s/gE/gI charts.
struct FiringClampSample {
  double t = 0.0;  // s
  double gE = 0.0, gI = 0.0;
  double uu = 0.0, ss = 0.0;
  double FC_Ua = 0.0, FC_Sa = 0.0;
  double V = 0.0;
};

class FiringClampSink {
 public:
  virtual ~FiringClampSink() = default;
  // Every step while t < 1 s, then every n_Draw steps (full = the u and s values
  // are fresh, every n_Draw steps).
  virtual void Sample(const FiringClampSample& sample, bool full) { (void)sample, (void)full; }
  // A per-spike record.
  virtual void Record(const SpikeRecord& record) { (void)record; }
  // A surgery kick at time t, with the correction it left.
  virtual void Surgery(double t, double FC_Ua, double V) { (void)t, (void)FC_Ua, (void)V; }
  // Voltage trace sample every n_Draw steps (t in s, V in V).
  virtual void Voltage(double t, double V) { (void)t, (void)V; }
  // Where the voltage of every step goes as a statistics sample (mV) while the
  // main window's " Statistics" is ticked; none otherwise.
  virtual StatisticsSink* Statistics() { return nullptr; }
  // The run views of the main window (V, currents, gates), drawn at the first
  // step and every n_Draw steps; none when nothing is drawn there.
  virtual RunViewSink* Views() { return nullptr; }
  // Every 40 steps: the smoothed adaptation estimate s_Adapt, the exact
  // adaptation conductance -gKM·nM² - gAHP·wAHP (mS/cm²) and the model's own
  // gates nM and wAHP (t in s).
  virtual void Adaptation(double t, double s_Adapt, double s_AdEx, double nM, double wAHP) {
    (void)t, (void)s_Adapt, (void)s_AdEx, (void)nM, (void)wAHP;
  }
  // At each spike of a clamped run: the estimate's gates w (AHP) and n (M-type
  // K) and their fixed points ws, ns under periodic firing.
  virtual void AdaptationGates(double t, double w, double n, double ws, double ns) {
    (void)t, (void)w, (void)n, (void)ws, (void)ns;
  }
};

// The files a run writes (none when empty).
struct FiringClampFiles {
  std::string records = "map_u_s.dat";        // one line per recorded spike
  std::string conductances;                   // "gE_gI_Noisy(t).dat" when Writing is 1
  std::string trace;                          // the per-step trace file when WriteMode is not 0
                                              // (1: V; 2: recording and model value; 3: mmR, hhR;
                                              // 4: the output item VarToWrite)
};

inline constexpr const char* kNoisyConductanceFile = "gE_gI_Noisy(t).dat";

// What a run leaves.
struct FiringClampResult {
  std::int32_t nSpikes = 0;
  double t = 0.0;  // s, where the run ended
  std::vector<SpikeRecord> records;
  bool stopped = false;
  std::string voltageTrace;  // the file of V at every step the run wrote (WriteMode 1; empty: none)
};

// Refuses settings outside the model before a run: Vus = 0 (the conductance
// split divides by it), FC_I0 = 0 with an active mode that corrects s, nonsense
// time constants. Throws RangeError.
void CheckFiringClampSettings(const Session& s, const FiringClampInputs& in);

// One step of a noisy conductance g around its mean, with deviation
// g0·NoiseToSignal and correlation time tauNoise (0 = white), driven by the
// standard normal deviate xi. The coloured process is reflected to keep the
// sign of the mean; the white one is cut at ten times |g0|.
double NoisyConductanceStep(double g, double mean, double g0, double noiseToSignal, double tauNoise, double dt,
                            double xi);

// The reset protocol of a firing-clamp run, after the spike detector at every
// step: a spike arms it; "Reset voltage" sets V to -60 mV once V is below the
// reset level, "Current pulse reset" drives du_Reset until V reaches Vmin.
// A voltage reset across the width level ends the spike (SpikePhase 3) at once.
void ResetProtocolStep(Session& s);

// The meander protocols: a square current of the target period written to
// du_Reset by the stimulus function at every step.
void MeanderCurrent(Session& s);

// F and G of the last spike, by the choices of the page.
double FunctionF(const Session& s, std::int32_t choice);
double FunctionG(const Session& s, std::int32_t choice);

// The run: up to maxSpikes spikes or nt_end steps. uu and ss are restored after it.
FiringClampResult RunWithNoise(Session& s, const FiringClampInputs& in, const ZFunctionInputs& zIn, Host& host,
                               FiringClampSink& sink, std::int32_t maxSpikes, const FiringClampFiles& files = {});

// The line of the per-spike record file.
std::string SpikeRecordLine(const SpikeRecord& r);

// The Z-function and kernel analysis inside the run: before it, the base input
// and the periodic orbit (when the kernel window is shown or F is "VT_1ms");
// every step, the kernel (window shown) and the trace ring; at each spike, the
// products Convolution, VxZ and IxZ of the last interval.
void ZFunctionPreRun(Session& s, const FiringClampInputs& in, const ZFunctionInputs& zIn);
void KernelAccumulate(Session& s, const ZFunctionInputs& zIn);
void ZFunctionAtSpike(Session& s);

}  // namespace membrix
