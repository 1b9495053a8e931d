#pragma once
// The run views of the workbench: the series a run names (" V ", "-Im",
// "Spike", ...) go to the charts of the main window's pages, the status to its
// two labels, and the chosen output variable to the curve window. Points are
// collected as the run makes them and drawn when the run lets the windows
// breathe, at a pace that keeps the drawing a small share of the run.

#include <QElapsedTimer>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_view_sink.h"

class QWidget;

namespace membrix {

struct Session;
class Chart;
class CurveWindow;
class MainWindow;

class RunViewCharts final : public RunViewSink {
 public:
  RunViewCharts(const Session& s, MainWindow& form1, CurveWindow& curve);

  bool Drawing() const override { return true; }
  // The voltage and the model trace are drawn from every step of a run of any
  // length, so that spikes keep their shape; the other series keep the n_Draw
  // cadence. Runs of up to kFullResolutionSteps steps hand every step's point
  // to the charts, which reduce them to the minimum and maximum of each pixel
  // column when they draw, and draw the phase plane from every step as a
  // smooth curve. Longer runs hand the charts that envelope itself, taken as
  // the run goes over kEnvelopeColumns columns of the time axis (more than a
  // screen has pixels), for every trace against time (the others from the
  // points of their cadence): a chart's points stay a few thousand however
  // long the run. The phase plane of a long run keeps the n_Draw cadence.
  static constexpr int kFullResolutionSteps = 50000;
  static constexpr int kEnvelopeColumns = 4096;
  bool EveryStep() const override;
  bool KeepsPoints() const override;
  bool PhasePlaneShown() const override;
  // Empties every run series of the main window's pages.
  void Clear() override;
  void Prepare(const RunViewSetup& setup) override;
  void Point(std::string_view series, double x, double y) override;
  // The imported channels' series: each channel's current on the current
  // chart ("-I_<id>"), its gates on the slow gates' chart ("<id>.<gate>"),
  // made for the channels of the run and hidden for channels no longer in
  // the model.
  void ImportedPoint(int channel, int gate, double x, double y) override;
  void Status(double tMs, const std::string& recordingEntry) override;
  void CurvePoint(double x, double y) override;

  // Draws what came since the last drawing; unless forced, only when enough
  // time has passed for the drawing to stay a small share of the run.
  void Flush(bool force);

  // The charts of the ion window: they take the ion series of a run, are
  // emptied with the others, and the window is shown for a run with ion
  // dynamics and hidden for one without.
  void AddIonCharts(const std::vector<Chart*>& charts, QWidget* window);

  // Shows every run series again ("Enable all series").
  void ShowAllSeries();

  // The chart and index of a run series, for tests; null chart when unknown.
  struct Target {
    std::string name;
    Chart* chart = nullptr;
    int index = -1;
    bool phase = false;
    int overlay = -1;  // its series on the one-axis model chart ("Model", "Experiment")
    bool model = false;
    bool everyStep = false;  // drawn from every step
    bool spikeMarks = false;  // a point at each spike, never enveloped
    bool imported = false;    // a series of an imported channel of this run
  };
  const Target* Find(std::string_view name);

 private:
  const Session& s_;
  MainWindow& form1_;
  CurveWindow& curve_;
  QWidget* ionWindow_ = nullptr;
  std::vector<Target> targets_;
  std::vector<Chart*> charts_;
  Chart* overlay_ = nullptr;   // the model and its recording on one axis
  Chart* residual_ = nullptr;  // and their difference
  double overlayScale_ = 1.0;  // from the run's unit to the recording's (V -> mV)
  bool recording_ = false;     // the run has a recording to subtract
  std::size_t cursor_ = 0;  // the series a run names next, as DrawRunStep goes
  double statusTimeMs_ = 0.0;
  const std::string* statusEntry_ = nullptr;  // the session's recording entry of the run
  bool statusChanged_ = false;
  // The minimum and maximum of one series over one column of the time axis,
  // handed to its chart in the order they came when the column is complete.
  struct Envelope {
    Chart* chart = nullptr;
    int index = -1;
    double scale = 1.0;
    std::int64_t column = -1;  // -1: nothing held
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    void Add(double x, double y, double columnWidth);
    void Hand();
  };
  void AddEnveloped(const Target& t, double x, double y);
  void Draw(const Target& t, double x, double y);
  void PrepareImported();
  // Where each imported channel's targets begin in targets_ (its current,
  // then its gates).
  std::vector<std::size_t> importedFirst_;
  void HandEnvelopes();
  bool enveloped_ = false;      // the run is long: every-step series are enveloped
  double columnWidth_ = 1.0;    // ms of the time axis a column spans
  std::vector<Envelope> envelopes_;  // per target: its chart, its overlay, its residual
  QElapsedTimer sinceDrawing_;
  double lastDrawSeconds_ = 0.0;
};

}  // namespace membrix
