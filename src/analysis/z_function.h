#pragma once
// How a small input during an inter-spike interval shifts the next spike: the
// Z-function (the linear response of the spike time to the input).
//
// - The first-order kernel: during a noisy firing-clamp run, the average of the
//   normalised input over the interval before each spike, weighted by an output
//   of that spike; written to "func_Z.dat".
// - Stored Z-functions ("set_func_Z.dat", "set_func_Z_Vav.dat",
//   "set_func_Z_Unit.dat") resampled to the run's step.
// - A ring of the last 1001 steps of voltage, input current and conductance,
//   from which the last interval's trajectory (the "orbit") is taken: the
//   deterministic orbit of a noise-free pre-run, and at every spike of a run the
//   products VxZ, IxZ and the windowed mean voltage "Convolution".
// - The one-ISI analysis: a noisy interval compared with the deterministic
//   orbit at the estimated input, the disturbance current that explains the
//   difference, and the rate shift it predicts through the Z-function.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "run/host.h"

namespace membrix {

struct Session;
class FiringClampAnalysisSink;
struct FiringClampAnalysisInputs;
struct FiringClampInputs;

inline constexpr std::int32_t kZRing = 1001;  // samples 0 ... 1000

// The inputs of the Z-function window.
struct ZFunctionInputs {
  bool Visible = false;       // the window is shown (" Kernel " of the main window)
  std::int32_t Input = 0;     // " Input ": 0 "Current", 1 "Voltage"
  std::int32_t Output = 1;    // " Output function ": 0 "Unity", 1 "Interspike interval", 2 "Mean voltage"
  std::int32_t n_repeat = 1;  // "n_repeat"
  std::string kernelFile = "func_Z.dat";  // written at the run's last step (none when empty)
  std::string storedFolder;               // where the stored Z-functions are read (working folder when empty)
};

inline constexpr const char* kStoredZFile = "set_func_Z.dat";
inline constexpr const char* kStoredZVavFile = "set_func_Z_Vav.dat";
inline constexpr const char* kStoredZUnitFile = "set_func_Z_Unit.dat";

// What the analysis keeps between steps and runs.
struct ZFunctionState {
  // The kernel: the input since the last spike by its distance back, and Z by lag.
  std::array<double, kZRing> x{}, Z{};
  std::int64_t lastSpikeStep = 0;
  std::int32_t nSpikes = 0, K = 0, W = 1000;
  double u0 = 0.0, s0 = 0.0;  // the base input of the run

  // The stored Z-functions (empty when their file is missing).
  std::vector<double> storedZ, storedZVav, storedZUnit;

  // The ring of the last steps: voltage, input current, conductance.
  std::array<double, kZRing> ringV{}, ringI{}, ringG{};
  std::int32_t pos = 0, count = 0;

  std::int32_t samplesAfterSpike = 0;  // ring samples pushed since the last spike of a run

  // The deterministic orbit: the last interval of a noise-free run, oldest
  // first, n + 1 samples, with its rate, mean voltage and the voltage 1.2 ms
  // before its spike.
  std::vector<double> V_det, I_det, g_det;
  std::int32_t n = 0;
  double freq = 0.0, VavLast = 0.0, V1ms = 0.0;

  // The interval the last spike of a run ended, and its voltage 1.2 ms before
  // the spike (what "VT_1ms" measures at every spike).
  std::vector<double> V_last, I_last;
  std::int32_t nLast = 0;
  double V1msLast = 0.0;

  // The products of the last spike.
  double Convolution = 0.0, VxZ = 0.0, IxZ = 0.0;
};

// One step of the kernel (every step of a noisy run, after spike detection).
void KernelStep(Session& s, const ZFunctionInputs& in, std::int32_t SpikePhase);
// The kernel as points (lag in ms, going back, and Z), m = 0 ... W.
std::vector<std::pair<double, double>> KernelPoints(const ZFunctionState& z, double dt);
// Writes "func_Z.dat". Throws IoError.
void WriteKernelFile(const ZFunctionState& z, double dt, const std::string& file);

// The span of a stored Z-function, from the spike back to its last time, in
// ms: the length of an interval before a spike.
inline constexpr double kStoredZMinSpanMs = 0.5;
inline constexpr double kStoredZMaxSpanMs = 1000.0;

// Reads one stored Z-function file, resampled to dt; empty when the file does
// not exist. Throws FormatError for a malformed file, and for one whose last
// time lies outside -1000 ... -0.5 ms (times not in milliseconds).
std::vector<double> ReadStoredZ(const std::string& file, double dt);
// Reads the three stored Z-functions into s.z from storedFolder (the
// working folder when empty); a file that is not there leaves its function
// empty, a named folder that is not there is an IoError.
void LoadStoredZ(Session& s, const std::string& storedFolder);

// One step into the ring (at nt <= 1 the ring starts afresh).
void PushTrace(Session& s, double g, double I, double V);
// The orbit from the ring: the last trunc(ISI/dt) steps (at most 1000).
void OrbitFromRing(Session& s);
// At a spike: the interval it ended (V_last, I_last, V1msLast), then
// Convolution, VxZ and IxZ over it. The deterministic orbit is left as it is.
void SpikeProducts(Session& s);
// The run's products start at 0.
void ClearSpikeProducts(Session& s);

// The procedural model at the fixed input (u, sIn) until nSpikes spikes or
// nt_end; when all spikes came, the orbit is rebuilt from that run. uu and ss
// are restored. Returns whether the spikes came.
bool DeterministicPreRun(Session& s, std::int32_t nSpikes, double u, double sIn);

// How a convolution with a Z-function is summed.
enum class ZMode : std::int32_t { Plain = 0, Normalized = 1, UnderThr = 2 };

// The interval a convolution needs besides its input: the deterministic and the
// noisy voltage, for the "UnderThr" test of each sample.
struct ISIPair {
  std::vector<double> V_det, V_no;
};

// Σ I[n-i]·Z[round(i·scale)]·dt back from sample n (normalised by Σ Z·dt in
// "Normalized"; only the samples under -40 mV in both voltages in "UnderThr").
double ZConvolution(const std::vector<double>& Z, const std::vector<double>& I, ZMode mode, double scale,
                    std::int32_t n, double dt, const ISIPair& v);
// The second-order term of the same convolution.
double SecondKernel(const std::vector<double>& Z, const std::vector<double>& I, ZMode mode, std::int32_t n,
                    double dt, const ISIPair& v);

// A noisy interval taken from the ring, with the whole voltage history.
struct NoisyInterval {
  std::vector<double> V_no, I_no, g_no, H;
  std::int32_t n_no = 0;
  double freq = 0.0, Vav = 0.0;
};
NoisyInterval CaptureNoisyInterval(Session& s);

// The noisy interval against the deterministic orbit at the input (u0, s0).
struct IntervalDisturbance {
  bool ok = false;       // the pre-run fired
  ISIPair v;             // orbit and noisy voltage, aligned at the spike
  std::int32_t n_c = 0;  // samples compared
  std::vector<double> D;       // noisy minus deterministic voltage
  std::vector<double> I_dstb;  // the input that makes the noisy voltage, less the estimate
  std::vector<double> averaged;  // 1 ms running mean of the fall of D
  double dfreq = 0.0, dVav = 0.0, freq_det = 0.0, Vav_det = 0.0;
};
IntervalDisturbance DisturbanceCurrent(Session& s, const NoisyInterval& noisy, double u0, double s0);

// Why a repetition of the one-ISI analysis could not be analysed.
enum class OneISISkip : std::int32_t {
  NoRecords = 0,   // the noisy run recorded no spike
  NoEstimate = 1,  // the inversion found no input for the last spike's F and G
  SilentPreRun = 2,  // the neuron did not fire at the estimated input without noise
};
inline constexpr std::int32_t kOneISISkipReasons = 3;

// The one-ISI analysis ("Analyse one ISI"): n_repeat noisy runs, each
// estimated, corrected by the Z-function and estimated again.
struct OneISIResult {
  double delta_freq = 0.0;  // the last prediction, Hz
  double u0 = 0.0, s0 = 0.0, u1 = 0.0, s1 = 0.0;  // the last estimates before and after
  double e_u0 = 0.0, e_s0 = 0.0, e_u1 = 0.0, e_s1 = 0.0;  // mean absolute errors
  std::int32_t repeats = 0;
  struct Prediction {
    double dfreq, f_no, f_dstb, K2, dVav, w_dstb;
  };
  std::vector<Prediction> predictions;
  // The last analysed interval, aligned at its spike (sample k of n_c + 1 at
  // (k - n_c)·dt): the orbit at the estimate, the noisy voltage, their
  // difference (V), the disturbance current and the input (mA/cm²).
  struct Interval {
    std::vector<double> V_det, V_no, V_dstb, I_dstb, I_no;
  } last;
  std::int32_t attempted = 0;  // repetitions run to their end, analysed or not
  bool stopped = false;        // a stop ended the repetitions early
  std::array<std::int32_t, kOneISISkipReasons> skipped{};  // by OneISISkip
  std::int32_t Skipped() const { return skipped[0] + skipped[1] + skipped[2]; }
};
// A map with no firing point, or repetitions that all run to their end without
// one analysed interval, throw NothingToAnalyseError; a stop returns what was
// analysed (the means are over result.repeats, none when it is 0).
OneISIResult AnalyseOneISI(Session& s, const FiringClampAnalysisInputs& in, const FiringClampInputs& fc,
                           const ZFunctionInputs& zIn, Host& host,
                           FiringClampAnalysisSink& sink);

// What the user reads about the repetitions left out, e.g. "1 of 1 repeats
// not analysed: the last spike has no estimate (its F and G lie outside the
// map)"; empty when every repetition was analysed.
std::string OneISISkippedText(const OneISIResult& r);

}  // namespace membrix
