#pragma once
// Where the plots of a run go. The engine names the series (" V ", "-Im",
// "Spike", ...) and sends points and clear/prepare events; the workbench turns
// them into chart series, the batch tool may write them, tests record them.

#include <span>
#include <string>
#include <string_view>

namespace membrix {

// What the views set up before a run.
struct RunViewSetup {
  bool dendriteActive = false;  // the "Vd" series is drawn (two-compartment geometries)
  bool clearFirst = true;       // the series are emptied first
  double tEndMs = 0.0;          // bottom-axis maximum of the conductance charts
  std::string modelAxisTitle;   // left-axis title of the model-and-experiment chart
  bool ionViews = false;        // ion dynamics is on: its window is shown, else hidden
};

class RunViewSink {
 public:
  virtual ~RunViewSink() = default;
  // False when nothing is drawn: the run then skips making the points.
  virtual bool Drawing() const { return true; }
  // True when successive runs are drawn over each other ("NoCleaning"): a run
  // then does not empty the series first.
  virtual bool KeepsPoints() const { return false; }
  // A run draws every series at its first step, every n_Draw-th step and
  // every step with a spike. True when the views also take the voltage, the
  // model value and the phase plane of every other step (they reduce them
  // for drawing themselves).
  virtual bool EveryStep() const { return false; }
  // True while the phase-plane views are shown; only then a run sends their
  // points ("dVdt(V)", "Im(V)").
  virtual bool PhasePlaneShown() const { return false; }
  virtual void Clear() {}
  virtual void Prepare(const RunViewSetup& setup) { (void)setup; }
  virtual void Point(std::string_view series, double x, double y) { (void)series, (void)x, (void)y; }
  // A point of the model's imported channel `channel` (0, 1, ... in the
  // record's order): its current drawn as the built-in ones are (−I,
  // mA/cm²) for gate −1, else the value of its gate `gate` (in the
  // channel's order). Views name them "-I_<id>" and "<id>.<gate>".
  virtual void ImportedPoint(int channel, int gate, double x, double y) {
    (void)channel, (void)gate, (void)x, (void)y;
  }
  // The model time (ms) and the recording entry of the run, for the time and
  // file labels of the main window (their texts: RunStatusTimeText and
  // RunStatusFileText). Sent at every drawing step; a view makes the texts only
  // when it shows them.
  virtual void Status(double tMs, const std::string& recordingEntry) { (void)tMs, (void)recordingEntry; }
  // A spike at the interpolated peak time tSpike (s).
  virtual void Spike(double tSpike) { (void)tSpike; }
  // The curve window's series: the selected output variable against t in ms.
  virtual void CurvePoint(double x, double y) { (void)x, (void)y; }
  // Output-list items the views read from the session at their curve points
  // besides the one sent ("mmR", "IAHP", ...): the run keeps the gates behind
  // them advancing.
  virtual std::span<const std::string_view> ReadItems() const { return {}; }
};

// Draws nothing.
class NullRunViewSink final : public RunViewSink {
 public:
  bool Drawing() const override { return false; }
};

}  // namespace membrix
