#pragma once
// Activation and inactivation curves of the sodium current of the NaR slot.
//
// A fixed family of 41 voltage-clamp protocols, r = -20 ... 20: 21 activation
// steps from a holding level of -100 mV to -50 ... +50 mV, and 20 inactivation
// prepulses at -110 ... -15 mV followed by a step to 0 mV. Each protocol is
// simulated with the procedural point neuron and compared with its recording,
// read from a fixed folder below the start folder; the peak currents and
// conductances of model and recording give the current-voltage curves and the
// normalised activation and inactivation curves. Beside them: m^3 and h at
// steady state, and the time constants and rates of the NaR gates.
//
// Each command draws through an ActInactSink and, when a save mode is set,
// writes its lines to the open column file (values "9:3", one blank apart).

#include <array>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "run/host.h"

namespace membrix {

struct Session;

inline constexpr int kActInactHalf = 20;                      // protocols r = -20 ... 20
inline constexpr int kActInactProtocols = 2 * kActInactHalf + 1;

// The largest element by magnitude of a[from .. to], with its sign. Starts from
// 0 and takes an element only when it is strictly larger in magnitude, so an
// empty or all-zero range gives 0 and the first of equal magnitudes wins.
double MaxAbsInRange(std::span<const double> a, int from, int to);

// One value per protocol, indexed by r = -20 ... 20.
struct ProtocolValues {
  std::array<double, kActInactProtocols> v{};
  double& operator[](int r) { return v[static_cast<std::size_t>(r + kActInactHalf)]; }
  double operator[](int r) const { return v[static_cast<std::size_t>(r + kActInactHalf)]; }
  // MaxAbsInRange over the protocols from .. to.
  double MaxAbs(int from, int to) const { return MaxAbsInRange(v, from + kActInactHalf, to + kActInactHalf); }
};

// The peaks of the last peak computation; kept until the next one.
struct ActInactPeaks {
  ProtocolValues V;       // the protocol's voltage, V
  ProtocolValues Imod;    // model peak current, pA
  ProtocolValues Iexp;    // recorded peak current
  ProtocolValues gmod;    // model peak conductance, pA/V
  ProtocolValues gexp;    // recorded peak conductance
  std::array<bool, kActInactProtocols> done{};  // protocols whose peaks the last computation gave
};

struct ActInactProtocol {
  int r;
  double Vrest;  // holding level, V
  double Vh;     // step level, V
  double V;      // the protocol's voltage: Vh for activation, Vrest for inactivation
};
ActInactProtocol ActInactProtocolOf(int r);

// The folders of the recordings, relative to the start folder.
inline constexpr const char* kActivationFolder = "Data/Tessel";
inline constexpr const char* kInactivationFolder = "Data/Tessel/DataOf_SSA12";
// "a" + the integer nearest to 1000·V + ".d": a-50.d, a25.d, a-110.d.
std::string ActInactRecordingName(double V);
// The recording of protocol r below the start folder, in the platform's form.
std::string ActInactRecordingPath(const std::string& startFolder, int r);

// The folder the recordings are found below: the start folder when it holds
// the activation folder, else the folder of the open parameter file when that
// one does (the sample data ship beside their parameter file), else the start
// folder.
std::string ActInactDataFolder(const std::string& startFolder, const std::string& idFile);

// The curves of the window, seventeen in all, and the five plots they are on.
enum class ActInactCurve : int {
  GNorm, INorm, MInf3, HInf, M3Exp, HExp,  // normalised plot
  PeakExp, PeakInact, PeakAct,             // peaks
  It, ItExp,                               // time course
  TauM, AlphaM, BetaM,                     // tau_m plot
  TauH, AlphaH, BetaH,                     // tau_h plot
};
inline constexpr int kActInactCurves = 17;
enum class ActInactPlot : int { Normalised, Peaks, TimeCourse, TauM, TauH };
inline constexpr int kActInactPlots = 5;
enum class ActInactAxis : int { Left, Right };

struct ActInactCurveInfo {
  const char* title;
  ActInactPlot plot;
  ActInactAxis axis;
};
const ActInactCurveInfo& CurveInfo(ActInactCurve c);

// What the commands draw.
class ActInactSink {
 public:
  virtual ~ActInactSink() = default;
  virtual void Clear(ActInactCurve) {}
  virtual void AddPoint(ActInactCurve, double /*x*/, double /*y*/) {}
  virtual void SetAxisRange(ActInactPlot, ActInactAxis, double /*min*/, double /*max*/) {}
  // The legend of a plot at "lt", "lb", "rb" or "rt".
  virtual void PlaceLegend(ActInactPlot, const std::string& /*corner*/) {}
  // The time course of a protocol is complete: draw it now.
  virtual void RepaintTimeCourse() {}
};

// The file of a save command, open while its command runs.
class ActInactFile {
 public:
  // Creates the file empty. Throws IoError.
  explicit ActInactFile(std::string path);
  // One line: each value "9:3" followed by a blank, or separated by one blank.
  void Write(std::span<const double> values, bool blankAfterEach = false);
  // Closes what was written. Throws IoError when it could not be completed.
  void Close();
  const std::string& path() const { return path_; }

 private:
  void Check();
  std::string path_;
  std::ofstream out_;
  std::string line_;
};

// The window's state the commands read and write.
struct ActInactState {
  int ActInactSaveMode = 0;   // 0 plots only; 1 the activation set (or the only one); 2 the inactivation set
  std::string ColumnsNote;    // the columns last written
  int LegendCorner = 0;       // 1 ... 4 move every legend to "lt", "lb", "rb", "rt"
  ActInactFile* file = nullptr;
};

// The corner a legend goes to when a command asks for `requested`.
std::string LegendPlacement(int LegendCorner, const std::string& requested);
// "MoveLegends": 1 -> 2 -> 3 -> 4 -> 5, anything else -> 1.
int NextLegendCorner(int LegendCorner);

// The column notes of the save commands.
inline constexpr const char* kNoteActivationG = "Columns for \"Activation\":   V  g_Exp  g_Mod";
inline constexpr const char* kNoteInactivationI = "Columns for \"Inactivation\": V  I_Exp  I_Mod";
inline constexpr const char* kNoteActivationNorm = "For \"Activation\":   V  g/gMax_Exp  g/gMax_Mod";
inline constexpr const char* kNoteInactivationNorm = "For \"Inactivation\": V  I/IMax_Exp  I/IMax_Mod";
inline constexpr const char* kNoteSteady = "Written columns are: V  m^3  h";
inline constexpr const char* kNoteTau = "Written columns are: V  tau_m  alpha_m  beta_m  tau_h  alpha_h  beta_h";

// The peaks of the protocol in progress, taken as its steps are made (a
// protocol keeps nothing per step, whatever its length): the largest value by
// magnitude, the first of equal ones, 0 before any.
struct ActInactTraces {
  double Imod = 0.0, Iexp = 0.0, gmod = 0.0, gexp = 0.0;
};

// Runs the 41 protocols against their recordings below startFolder and fills
// the peaks. host.ProcessEvents() is called after every step; once
// host.StopRequested() the running protocol ends without peaks and no further
// protocol runs. A recording that cannot be read ends the command with an
// IoError naming the file and the protocol. Recordings are read negated
// (inward currents recorded negative) unless a format was chosen before. Leaves Vrest and Vh at the last
// protocol's, Smpl = 1 and recording entry 1 naming its file.
void CalcPeaks(Session& s, const std::string& startFolder, ActInactPeaks& peaks, ActInactTraces& traces,
               ActInactState& st, Host& host, ActInactSink& sink);

// The peak curves divided by their maxima; nothing when a maximum is 0.
void NormalizePeaks(const ActInactPeaks& peaks, ActInactState& st, ActInactSink& sink);

// m^3 and h of the NaR gates at steady state at -110 ... +50 mV; Vrest is
// restored afterwards.
void SteadyStateCurves(Session& s, ActInactState& st, ActInactSink& sink);

// Time constants (ms) and rates (1/ms) of the NaR gates at -110 ... +50 mV.
void RateCurves(const Session& s, ActInactState& st, ActInactSink& sink);

// A save command: creates the file, runs the command with the save mode set,
// then asks ColumnsNote + ". OK?"; any answer but Yes empties the file. A
// command that fails empties the file too and the error is passed on. The save
// mode returns to 0.
void SaveActInact(ActInactState& st, const std::string& path, int saveMode, Host& host,
                  const std::function<void()>& command);

}  // namespace membrix
