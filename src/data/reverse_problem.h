#pragma once
// The reverse problem: given conductance curves recorded under voltage-clamp
// steps (one per recording of the parameter file, in the clamp mode "for gNa"),
// find the rate coefficients, the reversal potential and the maximal
// conductance of the sodium (m^3 h) or the potassium (n^4) current that
// reproduce them. The minimisation is the simplex of the ordinary fit; this
// module chooses the current, isolates it, checks that the recordings are
// conductances, and prepares the spike run with the coefficients found.
//
// The sodium set lives in the resurgent-Na fields (a1NaR ... d3NaR, VNaR,
// gNaR), the potassium set in a1K ... b3K, VK, gK.

#include <span>
#include <string>
#include <string_view>

#include "data/simplex.h"
#include "params/neuron_properties.h"

namespace membrix {

struct Session;
class Host;
class RunViewSink;

enum class ReverseCurrent { Na, K };

inline constexpr int kNaCurves = 10;                      // conductance curves of a sodium fit
inline constexpr int kKCurves = 7;                        // and of a potassium fit
inline constexpr std::int32_t kConductanceClampMode = 3;  // "for  gNa"

// One coefficient of the window's tables: its caption, the Parameters ->
// Simplex item its box mirrors, the field it writes, the factor from the
// record's unit to the window's (1000 for a reversal potential shown in mV),
// and whether choosing its current ticks it.
struct ReverseCoefficient {
  std::string_view caption;
  std::string_view fitItem;
  double NeuronProperties::*member;
  double windowScale;
  bool tickedByChoice;
};

// The twelve sodium coefficients (a1 a2 a3 b1 b3 c1 c3 d1 d2 d3 VNa gNa) or the
// eight potassium ones (a1 a2 a3 b1 b2 b3 VK gK), in window order.
std::span<const ReverseCoefficient> ReverseCoefficients(ReverseCurrent current);

// The current named "na" or "k" (either case); an Error for any other name.
ReverseCurrent ParseReverseCurrent(std::string_view name);

// The number of conductance curves a fit of this current uses: 10 for sodium,
// 7 for potassium, but never more than the open parameter file declares
// (NSmpls of its common section), so that a file with fewer recordings is not
// compared with recordings it does not have.
int ReverseCurveCount(const Session& s, ReverseCurrent current);

// Chooses the current to fit: NSmpls := ReverseCurveCount; the other current
// blocked (sodium: IfBlockNaR 0, IfBlockK 1; potassium: IfBlockNaR 1,
// IfBlockK 0); VrevFit := VNaR or VK; the boxes of the chosen current ticked as
// the choice ticks them (potassium leaves "b2K" clear) and those of the other
// current cleared. The other items of Parameters -> Simplex keep their marks.
void SelectReverseCurrent(Session& s, ReverseCurrent current);

// What must hold before the reverse problem runs, besides what every fit
// needs (CheckFitRequest): every recording 1 ... NSmpls runs in the clamp mode
// "for  gNa" with the fitted current not blocked, and the model's channel of
// that current is the one whose rates the coefficients describe. Reads the
// recording sections on a copy of the session. Throws Error naming the file
// and the recording.
void CheckReverseRequest(const Session& s, ReverseCurrent current);

// "Solve reverse problem": the selection from the marks, the checks, and the
// simplex (RunSimplex) with its progress. The best vertex ends in NP0.
//
// A simplex may settle before the minimum when its vertices collapse along a
// valley; started again from its result, it goes on. With restarts > 0 the
// minimisation is started again from the best vertex, at most restarts times,
// while a new start lowers the residual by more than the tolerance (relative),
// and never after a stop. The result counts the passes and evaluations of all
// the starts.
SimplexResult SolveReverseProblem(Session& s, Host& host, RunViewSink& views, FitProgress& progress,
                                  ReverseCurrent current, int restarts = 0);

// The fitted parameter file: the open parameter file's text with the fitted
// values added at the end of its neuron section (before "KeepParams=0"), so
// that it runs the same protocol and recordings with the coefficients found.
// x holds fit positions 1 ... FitCount in x[0] ... x[FitCount - 1]. Recording
// names are resolved next to the written file, so it belongs beside the
// original. Without an open file, the fitted values alone (as the ordinary fit
// writes them).
std::string ReverseParameterFileText(const Session& s, std::span<const double> x, const std::string& comment);

// Entering "Simulate spikes": a current-clamp run of 50 ms with a pulse of
// 100 ms (300 pA if the pulse amplitude was 0), no recording, the potassium,
// the sodium of the fit and the leak unblocked.
void PrepareSpikeSimulation(Session& s);

// "Run" of "Simulate spikes": drawing every second step, one clamp run.
double SimulateSpikes(Session& s, Host& host, RunViewSink& views);

}  // namespace membrix
