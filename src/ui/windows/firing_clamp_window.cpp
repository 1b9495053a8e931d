#include "tasks/task_inputs.h"
#include "ui/windows/firing_clamp_window.h"

#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "run/session.h"
#include "ui/chart.h"
#include "ui/main_window.h"
#include "ui/numeric_input.h"
#include "ui/run_view_charts.h"
#include "ui/windows/fc_analysis_panel.h"
#include "ui/windows/sweep_window_support.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

// The rate chart's series beside F and G: the rate 1/ISI at each spike and the
// target the clamp holds it to ("Freq. hold").
constexpr int kRateSeries = 2, kTargetSeries = 3;

class ClampChartSink final : public FiringClampSink {
 public:
  ClampChartSink(FiringClampWindow& w, QLabel& status, RunViewSink& views)
      : w_(w), status_(status), views_(views), adaptation_(w.AdaptationChart()) {}
  void Sample(const FiringClampSample& x, bool full) override {
    const double t = x.t * 1000.0;
    w_.conductances()->AddPoint(0, t, x.gE);
    w_.conductances()->AddPoint(1, t, x.gI);
    if (!full) return;
    w_.clamp()->AddPoint(0, t, x.uu * 1000.0);
    w_.clamp()->AddPoint(1, t, x.ss);
    w_.clamp()->AddPoint(2, t, x.FC_Ua * 1000.0);
    w_.clamp()->AddPoint(3, t, x.FC_Sa);
  }
  void Record(const SpikeRecord& r) override {
    const double t = r.tLastSpike * 1000.0;
    w_.functions()->AddPoint(0, t, r.F);
    w_.functions()->AddPoint(1, t, r.G * 1000.0);
    QString line = QStringLiteral("spike %1 at %2 ms").arg(++spikes_).arg(t, 0, 'f', 1);
    // The rate the clamp holds, 1/ISI, against its target.
    if (spikes_ > 1 && r.tLastSpike > lastSpike_) {
      const double rate = 1.0 / (r.tLastSpike - lastSpike_);
      w_.functions()->AddPoint(kRateSeries, t, rate);
      const double target = w_.TargetRate();
      if (target > 0.0) {
        w_.functions()->AddPoint(kTargetSeries, t, target);
        w_.AddRateError(rate - target);
        line += QStringLiteral(": 1/ISI %1 Hz, target %2 Hz, error %3 Hz")
                    .arg(rate, 0, 'f', 1)
                    .arg(target, 0, 'g', 4)
                    .arg(rate - target, 0, 'f', 1);
      } else {
        line += QStringLiteral(": 1/ISI %1 Hz").arg(rate, 0, 'f', 1);
      }
    }
    lastSpike_ = r.tLastSpike;
    status_.setText(line);
  }
  void Surgery(double t, double FC_Ua, double) override { w_.clamp()->AddPoint(4, t * 1000.0, FC_Ua * 1000.0); }
  StatisticsSink* Statistics() override { return w_.Statistics(); }
  RunViewSink* Views() override { return &views_; }
  void Adaptation(double t, double s_Adapt, double s_AdEx, double nM, double wAHP) override {
    if (adaptation_ == nullptr) return;
    const double x = t * 1000.0;
    adaptation_->AddPoint(0, x, s_Adapt);
    adaptation_->AddPoint(1, x, s_AdEx);
    adaptation_->AddPoint(2, x, nM);
    adaptation_->AddPoint(3, x, wAHP);
  }
  void AdaptationGates(double t, double w, double n, double ws, double ns) override {
    if (adaptation_ == nullptr) return;
    const double x = t * 1000.0;
    adaptation_->AddPoint(4, x, w);
    adaptation_->AddPoint(5, x, n);
    adaptation_->AddPoint(6, x, ws);
    adaptation_->AddPoint(7, x, ns);
  }
  Chart* AdaptationChart() const { return adaptation_; }

 private:
  FiringClampWindow& w_;
  QLabel& status_;
  RunViewSink& views_;
  Chart* adaptation_;
  int spikes_ = 0;
  double lastSpike_ = 0.0;
};

// The host of a run: the workbench's breathing points (with "Pause"), and its
// charts redrawn at them.
class ClampHost final : public Host {
 public:
  ClampHost(Workbench& wb, FiringClampWindow& w, const bool& stop) : wb_(wb), w_(w), stop_(stop) {}
  void ProcessEvents() override {
    for (Chart* c : {w_.conductances(), w_.functions(), w_.clamp(), w_.AdaptationChart()}) {
      if (c != nullptr && c->NeedsRefresh()) c->Refresh();
    }
    wb_.ProcessEvents();
  }
  bool StopRequested() const override { return stop_ || wb_.StopRequested(); }
  bool Confirm(const std::string& q) override { return wb_.Confirm(q); }

 private:
  Workbench& wb_;
  FiringClampWindow& w_;
  const bool& stop_;
};

Chart* MakeChart(QWidget* owner, const char* name, const QString& y) {
  auto* c = new Chart(owner);
  c->setObjectName(QString::fromUtf8(name));
  c->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("t, ms"));
  c->SetAxisTitle(ChartAxis::Left, y);
  c->SetAxisAutomatic(ChartAxis::Left, true);
  c->SetAxisAutomatic(ChartAxis::Bottom, true);
  return c;
}

}  // namespace

FiringClampWindow::FiringClampWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form8"));
  setWindowTitle(QStringLiteral("Form8: Firing-Clamp"));
  conductances_ = MakeChart(this, "Chart1", QStringLiteral("g, mS/cm²"));
  conductances_->AddSeries(QStringLiteral("gE"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));
  conductances_->AddSeries(QStringLiteral("gI"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 200));
  functions_ = MakeChart(this, "Chart2", QStringLiteral("F, G·1000"));
  functions_->AddSeries(QStringLiteral("F"), SeriesKind::Points, ChartAxis::Left, QColor(200, 0, 0));
  functions_->AddSeries(QStringLiteral("G"), SeriesKind::Points, ChartAxis::Left, QColor(0, 120, 0));
  functions_->AddSeries(QStringLiteral("1/ISI"), SeriesKind::Points, ChartAxis::Right, QColor(0, 0, 200));
  functions_->AddSeries(QStringLiteral("Freq. hold"), SeriesKind::Line, ChartAxis::Right, QColor(120, 120, 120));
  functions_->SetAxisTitle(ChartAxis::Right, QStringLiteral("rate, Hz"));
  functions_->SetAxisAutomatic(ChartAxis::Right, true);
  clamp_ = MakeChart(this, "Chart3", QStringLiteral("u (µA/cm²), s (mS/cm²)"));
  clamp_->AddSeries(QStringLiteral("uu"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));
  clamp_->AddSeries(QStringLiteral("ss"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 200));
  clamp_->AddSeries(QStringLiteral("FC_Ua"), SeriesKind::Line, ChartAxis::Left, QColor(230, 130, 0));
  clamp_->AddSeries(QStringLiteral("FC_Sa"), SeriesKind::Line, ChartAxis::Left, QColor(0, 150, 150));
  clamp_->AddSeries(QStringLiteral("Surgery"), SeriesKind::Points, ChartAxis::Left, QColor(0, 0, 0));

  auto* controls = new QGridLayout;
  decay_ = AddSweepInput(this, controls, 0, "DDSpinEdit2", "decay, periods", 0, [this](double v) {
    if (v > 0) wb_.inputs().firingClamp.DecayPeriods = v;
  });
  decay_->setValue(wb_.inputs().firingClamp.DecayPeriods);
  decay_->setToolTip(QStringLiteral("Decay of the clamp corrections between spikes, in target periods"));
  auto* clear = new QPushButton(QStringLiteral("Clear All"), this);
  clear->setObjectName(QStringLiteral("Button2"));
  connect(clear, &QPushButton::clicked, this, &FiringClampWindow::ClearAll);
  controls->addWidget(clear, 1, 0, 1, 2);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("SweepStatus"));
  controls->addWidget(status_, 2, 0, 1, 2);
  rateError_ = new QLabel(QStringLiteral("rate error: no run yet"), this);
  rateError_->setObjectName(QStringLiteral("RateError"));
  rateError_->setToolTip(QStringLiteral("How far the rate 1/ISI stayed from \" Freq. hold: \" over the run: the mean "
                                        "and the root mean square of 1/ISI - target"));
  rateError_->setWordWrap(true);
  controls->addWidget(rateError_, 3, 0, 1, 2);
  controls->setRowStretch(4, 1);

  auto* charts = new QVBoxLayout;
  charts->addWidget(conductances_, 1);
  charts->addWidget(functions_, 1);
  charts->addWidget(clamp_, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(controls);
  layout->addLayout(charts, 1);
  layout->addWidget(new FiringClampAnalysisPanel(wb_, *this, this), 1);
  resize(1400, 760);
}

void FiringClampWindow::ClearAll() {
  for (Chart* c : {conductances_, functions_, clamp_}) c->ClearAll();
  status_->clear();
  errorCount_ = 0;
  errorSum_ = errorSquares_ = 0.0;
  rateError_->setText(QStringLiteral("rate error: no run yet"));
}

double FiringClampWindow::TargetRate() const { return wb_.session().prog.FC_freq; }

void FiringClampWindow::AddRateError(double error) {
  ++errorCount_;
  errorSum_ += error;
  errorSquares_ += error * error;
  rateError_->setText(RateErrorText());
}

QString FiringClampWindow::RateErrorText() const {
  if (errorCount_ == 0) return QStringLiteral("rate error: no interval yet");
  return QStringLiteral("rate error over %1 ISIs: mean %2 Hz, rms %3 Hz")
      .arg(errorCount_)
      .arg(errorSum_ / errorCount_, 0, 'f', 2)
      .arg(std::sqrt(errorSquares_ / errorCount_), 0, 'f', 2);
}

bool FiringClampWindow::Run(std::int32_t maxSpikes, const std::string& traceFile) {
  ClearAll();
  bool stop = false;
  FiringClampFiles files;
  files.trace = traceFile;
  Session& s = wb_.session();
  if (s.run.Writing == 1) files.conductances = kNoisyConductanceFile;
  QElapsedTimer clock;
  clock.start();
  const bool done = wb_.RunSimulation([&] {
    ClampHost host(wb_, *this, stop);
    ClampChartSink sink(*this, *status_, wb_.views());
    if (Chart* a = sink.AdaptationChart()) a->ClearAll();
    last_ = RunWithNoise(s, wb_.inputs().firingClamp, wb_.inputs().zInputs, host, sink, maxSpikes, files);
    for (Chart* c : {conductances_, functions_, clamp_, sink.AdaptationChart()}) {
      if (c != nullptr) c->Refresh();
    }
    wb_.views().Flush(true);
    status_->setText(QStringLiteral("%1 spikes in %2 ms").arg(last_.nSpikes).arg(last_.t * 1000.0, 0, 'f', 1));
  }, this);
  if (done) {
    const QString target = TargetRate() > 0.0 && errorCount_ > 0
                               ? QStringLiteral(", target %1 Hz, rate error ").arg(TargetRate(), 0, 'g', 4) +
                                     RateErrorText().section(QLatin1Char(':'), 1).trimmed()
                               : QString();
    wb_.mainWindow().ShowTaskStatus(QStringLiteral("Firing clamp %1: %2 spikes in %3 ms%4 (%5 s)")
                                        .arg(last_.stopped ? QStringLiteral("stopped") : QStringLiteral("complete"))
                                        .arg(last_.nSpikes)
                                        .arg(last_.t * 1000.0, 0, 'f', 1)
                                        .arg(target)
                                        .arg(clock.elapsed() / 1000.0, 0, 'f', 1));
  }
  return done;
}

}  // namespace membrix
