#pragma once
// The (u,s) frequency map: the neuron's steady response to a constant input,
// over a grid of input pairs. The input is the pair (u, s) - a current u and a
// conductance s, the current density u - s·(V - Vus) - or, equivalently, an
// excitatory and an inhibitory conductance (gE reversing at 0 V, gI at Vus),
// with u = -Vus·gE and s = gE + gI. Every grid point is a run from rest of a
// fixed length; its rate and per-spike measures make one line of "v(u_s).dat",
// a Tecplot point zone. The points run in parallel (independent runs); the file
// and what the sink receives are the same for any number of workers.
//
// The file is read back into F(u, s) and G(u, s) for the firing-clamp analysis,
// optionally replaced by planes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "run/host.h"
#include "run/independent_runs.h"

namespace membrix {

struct Session;
struct SpikeStats;
struct ZFunctionState;
struct FiberInputs;

// How the grid is laid out.
enum class MapGrid : std::int32_t { US = 0, GEGI = 1 };

// The noise during each run, in the window's item order.
enum class MapNoise : std::int32_t { None = 0, Current = 1, Conductances = 2 };
inline constexpr std::array<std::string_view, 3> kMapNoiseNames = {"no Noise", "Noise-current",
                                                                    "Noise-conductances"};

// The largest grid index on either axis.
inline constexpr std::int32_t kMaxMapIndex = 200;

// The inputs of the (u,s) window, in its units (u in µA/cm², t_end in ms).
struct USMapInputs {
  std::int32_t nue = 20, nse = 8;   // "nue x nse ="
  double u_max = 10.0, s_max = 0.5;  // "u_max, s_max ="
  double u_min = 0.0, s_min = 0.0;   // "u_min, s_min ="
  double t_end = 500.0;              // " t_end, ms "
  std::int32_t MaxSpikes = 10002;    // "Max number of spikes"
  double MaxFreq = 50.0;             // "Max Freq., Hz": top of the colour scale
  std::int32_t ShowPlot = 1;         // "Show (u,s)-plot or not "
  MapNoise Noise = MapNoise::None;   // "Noise"
  std::int32_t IfDistributedModel = 0;  // "IfDistributedModel"
  std::string storedFolder;  // where the stored Z-functions of VxZ and IxZ are read (working folder when empty)
};

inline constexpr const char* kUSMapFile = "v(u_s).dat";
inline constexpr const char* kUSMapLinearFile = "v(u_s)_Linear.dat";

// One grid point with what its run measured. Voltages in V, times in s.
struct USMapPoint {
  std::int32_t i = 0, j = 0;
  double u = 0.0, s = 0.0, gE = 0.0, gI = 0.0;
  double Freq = 0.0;
  double VPeakLast = 0.0, VFiltLast = 0.0, VavLast = 0.0, avPSCLast = 0.0, VTroughLast = 0.0;
  double Convolution = 0.0, VxZ = 0.0, IxZ = 0.0;  // products of the Z-function analysis
  double WidthAP = 0.0, V1ms = 0.0, ThAtSpike = 0.0;
  double GL = 1.0;  // the leak conductance Cm/tau_m of the record
  std::int64_t steps = 0;  // the time steps its run took
};

class USMapSink {
 public:
  virtual ~USMapSink() = default;
  // A point, in the file's order (j outer, i inner).
  virtual void Point(const USMapPoint& point) = 0;
  virtual void Progress(std::int64_t done, std::int64_t total) { (void)done, (void)total; }
};

// Refuses a grid the map cannot hold or a setting it cannot use (RangeError).
void CheckUSMapInputs(const Session& s, const USMapInputs& in);

// The input of grid point (i, j) (u in mA/cm²).
void USMapGridPoint(const USMapInputs& in, MapGrid grid, double Vus, std::int32_t i, std::int32_t j, double& u,
                    double& s, double& gE, double& gI);

// Ends a point's run: its steps and rate (0 for a run that fell silent or
// diverged); a point that fires at 5 Hz or more takes the measures of its last
// spike from st and the products of its last interval from z, a slower one
// keeps none and no V1ms. Returns whether it fired.
bool TakeUSMapMeasures(USMapPoint& p, const SpikeStats& st, const ZFunctionState& z, std::int64_t steps,
                       bool silentOrDiverged);

// How many changes of its input the threshold neuron of a map point may hold
// back before it catches up with the model (see USMapRun).
inline constexpr std::size_t kThresholdNeuronLag = 4096;

// One grid point: a run from rest of the neuron of s.NP0 (on s, a copy in a map).
// Beside the model runs a threshold neuron of the same parameters and inputs,
// whose voltage the model's spikes take as their reference. It is read only
// there, so it steps only when a spike needs it (or when thresholdLag input
// changes wait; 1 steps it with the model): a run that falls silent never
// steps it, and the point is the same either way.
USMapPoint USMapRun(Session& s, const USMapInputs& in, MapGrid grid, std::int32_t i, std::int32_t j,
                    const Host* host = nullptr, std::size_t thresholdLag = kThresholdNeuronLag);

// The map of in; writes file (none when empty). With in.IfDistributedModel
// every point runs on a fiber built from the axon inputs fiber. The caller's
// session is left as it was.
RunsOutcome MapUS(Session& s, const USMapInputs& in, const FiberInputs& fiber, Host& host, USMapSink& sink,
                  MapGrid grid, const std::string& file = kUSMapFile);

// The two header lines of a map file for a grid of (nue + 1) × (nse + 1) points.
std::string USMapZoneLine();
std::string USMapSizeLine(std::int32_t nue, std::int32_t nse);
// How a column of "v(u_s).dat" is written: "width:decimals".
struct MapColumn {
  int width;
  int decimals;
};
// A map line holds at most these values: u, s, F, VPeak, VFilt, Vav, avPSC,
// gE, gI, VTrough, Convolution, VxZ, IxZ, WidthAP, V1ms, ThAtSpike, u/GL, s/GL.
inline constexpr std::size_t kUSMapValues = 18;
// The point neuron's columns: all of them.
inline constexpr MapColumn kUSMapColumns[kUSMapValues] = {
    {6, 2}, {8, 4}, {6, 2}, {6, 2}, {6, 2}, {6, 2}, {8, 4}, {8, 4}, {8, 4},
    {6, 2}, {6, 2}, {6, 2}, {8, 4}, {8, 4}, {6, 2}, {6, 2}, {6, 2}, {6, 2}};
// The distributed model's: wider fields, the rate among the wide ones, and
// without the two columns over the leak conductance.
inline constexpr MapColumn kUSMapColumnsDistributed[16] = {
    {7, 3}, {9, 5}, {9, 5}, {7, 3}, {7, 3}, {7, 3}, {9, 5}, {9, 5},
    {9, 5}, {7, 3}, {7, 3}, {7, 3}, {9, 5}, {9, 5}, {7, 3}, {7, 3}};
// The line of "v(u_s).dat" for a point: its first columns.size() values.
std::string USMapLine(const USMapPoint& p, std::span<const MapColumn> columns = kUSMapColumns);

// F and G over the grid, read from a map file.
struct USMapData {
  std::string file;  // where it was read from (empty for a map made in memory)
  std::int32_t nue = 0, nse = 0;
  std::vector<double> u, s, F, G, trough;  // (nue + 1)·(nse + 1) entries, index i + j·(nue + 1)
  double u0 = 0.0, s0 = 0.0, du = 0.0, ds = 0.0;
  std::size_t At(std::int32_t i, std::int32_t j) const {
    return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * static_cast<std::size_t>(nue + 1);
  }
};

// Reads a map file; F and G by the choices of "Function F to be measured:" and
// "Function G to be measured:" (0 ... 6). G's silent start (the zeros before
// the first non-zero G of a row) takes that first value. With linear, F and G
// become planes (LinearizeFG) written to linearFile. Throws IoError or FormatError.
// F and G of a point (the choices of "Function F to be measured:" and
// "Function G to be measured:"), as the analyses read them from its line.
double USMapF(const USMapPoint& p, std::int32_t fChoice);
double USMapG(const USMapPoint& p, std::int32_t gChoice);

// The map the analyses read: the parameter file's "File_u_s", "v(u_s).dat"
// when it names none.
std::string USMapFileOf(const Session& s);

USMapData ReadUSMap(const std::string& file, std::int32_t fChoice, std::int32_t gChoice, bool linear = false,
                    const std::string& linearFile = kUSMapLinearFile);

// Replaces F and G by the planes through the points at one and two thirds of
// the grid and writes them to file (none when empty). Refuses grids with fewer
// than three steps on an axis, where the planes have no support.
void LinearizeFG(USMapData& map, const std::string& file = kUSMapLinearFile);

// The colour scale shared by the maps: level 0 is black, level k = 1 ... 16 has
// red 128, green min(255, 16k) and blue min(255, 272 - 16k).
struct MapRgb {
  int r = 0, g = 0, b = 0;
};
MapRgb MapColour(int level);
// The level of a rate on the scale of a map whose top is maxFreq: 1 ... 15.
int FrequencyLevel(double Freq, double maxFreq);
// The level of x on the scale from lo to hi of an array (DrawMap): 1 ... 15.
int ArrayLevel(double x, double lo, double hi);

}  // namespace membrix
