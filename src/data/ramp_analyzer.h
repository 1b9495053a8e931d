#pragma once
// The ramp analyzer: a file of up to 100 concatenated voltage-clamp sweeps
// (time, voltage, current), low-pass filtered; in each sweep the first
// spike-shaped inward current after the ramp has started is found by matching a
// template, and the filtered voltage at its onset is the threshold VT, plotted
// against the delay tau from the end of the prepulse ("VT_tau.dat"). The sweeps
// may also be taken from the last simulations: the recorded traces ExpData as
// the voltage and the model traces ModelData as the current.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "run/host.h"

namespace membrix {

struct Session;

// The inputs of the ramp analyzer window, with the defaults it opens with.
struct RampInputs {
  double Smpl = 1.0;                    // DDSpinEdit2: the sweep shown and analysed, 1 ... 100
  double tauFilt = 0.5;                 // DDSpinEdit3: filter time constant, ms; <= 0 = no filtering
  double Conv_thr = 100.0;              // DDSpinEdit4: template-match threshold, pA
  double SpikeShapeAmplitude = 300.0;   // DDSpinEdit5: template amplitude in scaled mode, pA
  double SpikeShapeHalfDuration = 1.5;  // DDSpinEdit6: the template's time parameter, ms
  double MinSpikeAmpl = 100.0;          // DDSpinEdit7: smallest amplitude in unscaled mode, pA
  double t_maxLimit = 490.0;            // DDSpinEdit8: end of the stored part of each sweep, ms
  double CesiumShift = 0.0;             // DDSpinEdit11: subtracted from the file's voltages, mV
  double dIdt = 20.0;                   // DDSpinEdit9: pA/ms (kept, not used by the analysis)
  double d2Idt2 = 100.0;                // DDSpinEdit10: pA/ms^2 (kept, not used by the analysis)
  double n_Draw = 1.0;                  // DDSpinEdit1: kept for the settings file
  std::int32_t FolderItem = 0;          // ComboBox1: data folder item 0 ... 4, 5 = from simulations
  std::int32_t ShapeMode = 1;           // ComboBox2: 0 = "Scaled spike shape", 1 = "Unscaled spike shape"
  bool WriteSpikeMarkers = false;       // CheckBox1: off until the researcher ticks it
};

inline constexpr std::array<std::string_view, 2> kShapeModeNames = {"Scaled spike shape",
                                                                     "Unscaled spike shape"};
inline constexpr std::string_view kDataFromSimulations = "Data from simulations";

// The short help of the window.
extern const char* const kRampHelp;

// Voltage and current of up to 100 sweeps, samples 0 ... 25000 each: a table
// allocated once, zero-filled.
class SweepTable {
 public:
  SweepTable();
  double& operator()(int sample, int sweep) { return v_[Index(sample, sweep)]; }
  double operator()(int sample, int sweep) const { return v_[Index(sample, sweep)]; }

 private:
  static std::size_t Index(int sample, int sweep);
  struct Free {
    void operator()(double* p) const;
  };
  // Zero-filled by the system as pages are first touched: a table costs
  // nothing until its sweeps are read.
  std::unique_ptr<double[], Free> v_;
};

// Everything the analyzer holds. Sweeps are numbered from 1, samples from 0.
struct TRamp {
  static constexpr int kLastSample = 25000;
  static constexpr int kMaxSweeps = 100;

  TRamp();

  SweepTable V;      // membrane voltage, mV (file column 2 minus the Cesium shift)
  SweepTable I;      // clamp current, pA
  SweepTable Ifilt;  // low-pass filtered I
  SweepTable Vfilt;  // low-pass filtered V
  std::vector<double> t;  // sample time, ms, shared by all sweeps (the last sweep read wins)
  std::array<double, kMaxSweeps + 1> ISpike{};     // Ifilt at the accepted spike onset
  std::array<double, kMaxSweeps + 1> VT{};         // Vfilt there: the threshold
  std::array<double, kMaxSweeps + 1> tSpike{};     // its time; 0 = none found
  std::array<double, kMaxSweeps + 1> SpikeAmpl{};  // its amplitude
  std::int32_t CurSweep = 0;
  std::int32_t NSweeps = 0;
  std::int32_t NLast = 0;  // last sample held
  std::int32_t Loaded = 0;
  std::string Folder;    // the folder output files are written into; empty = the current folder
  std::string FileName;  // the sweep file
  double tJumpDown = 0.0;   // ms, end of the prepulse: the reference of tau
  double tRampOnset = 0.0;  // ms, start of the voltage rise
  double ShapeAmplitude = 0.0;
  double ShapeHalfDuration = 0.0;
  double ShapeWindow = 0.0;
  double t_maxLimit = 0.0;  // s, while reading
  std::string Note;  // what the last read left out, empty when nothing
};

// The series the analyzer draws, by chart: voltage, current, VT(tau).
enum class RampSeries { Vexp, Vfilt, VPointer, Ramp, Iexp, IPointer, Ifilt, Spike, VTtau, SpikeAmpl };

class RampSink {
 public:
  virtual ~RampSink() = default;
  virtual void Clear(RampSeries series) { (void)series; }
  virtual void Point(RampSeries series, double x, double y) { (void)series, (void)x, (void)y; }
};

// The sweep shown: the input truncated and kept within 1 ... 100.
std::int32_t SweepNumber(double input);

// Reads the sweep file FileName: one sample per line, time in s, voltage in mV,
// current in pA, blank-separated; lines starting with '#' are comments. A sweep
// holds the samples up to t_maxLimit; a line beyond the limit followed by more
// samples ends it. Returns false, doing nothing, when the file does not exist.
// Throws IoError when it cannot be read, FormatError (file, line) for a line
// without three numbers and for a sweep of more than 25001 samples; sweeps
// beyond the hundredth are not read (Note says so).
bool ReadRampFile(TRamp& r, const RampInputs& in);

// Voltage and current of sweep CurSweep.
void DrawSweep(const TRamp& r, RampSink& sink, Host& host);

// Filters every sweep with the first-order low-pass filter of time constant
// tauFilt (ms), an explicit Euler step driven by the previous raw sample;
// tauFilt <= 0 copies the raw traces. Draws the filtered traces of CurSweep.
void FilterCurrent(TRamp& r, const RampInputs& in, RampSink& sink);

// The inward-current template at x ms after a candidate onset (sets ShapeWindow).
double SpikeShape(TRamp& r, double x);
// Root-mean-square mismatch between Ifilt of CurSweep and the template over the
// window starting at sample k.
double ShapeRms(TRamp& r, int k);
// Ifilt at k minus the smallest Ifilt of the window starting at k.
double SpikeAmplitude(TRamp& r, int k);

// The ramp times and the first accepted spike of sweep CurSweep; writes its
// marker files when asked to.
void FindThreshold(TRamp& r, const RampInputs& in, RampSink& sink);

// "SpikeShapeNNN.dat", "VandINNN.dat" and "SpikeMarkerNNN.dat" in Folder for
// the spike at sample k of CurSweep (NNN: the sweep number in three places).
void WriteSpikeMarkers(TRamp& r, int k);
// The marker file name of a sweep: "SpikeShape" and 7 give "SpikeShape  7.dat".
std::string MarkerFileName(std::string_view stem, int sweep);

// Filters and analyses every sweep and writes "VT_tau.dat" in Folder: per sweep
// tau = tSpike - tJumpDown, VT, SpikeAmpl and ISpike. Returns false when it
// was stopped before the last sweep.
bool AllSamples(TRamp& r, const RampInputs& in, RampSink& sink, Host& host);

// Takes the sweeps from the last simulations: for each recording 1 ... NSmpls
// the recorded trace ExpData as V and the model trace ModelData as I, samples
// 1 ... up to nt_end (at most 25000) or t_maxLimit. Output goes to folder.
void DataFromSimulation(TRamp& r, const Session& s, const RampInputs& in, const std::string& folder,
                        RampSink& sink, Host& host);

// The folder list's items 1 ... 4 set the template inputs for the data of that
// folder and give the file name inside it; the other items change nothing and
// give an empty name.
std::string ApplyFolderChoice(RampInputs& in, int item);

}  // namespace membrix
