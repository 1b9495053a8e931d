#include "tasks/task_inputs.h"
#include "ui/windows/threshold_window.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "analysis/sweep_file.h"
#include "analysis/threshold_sweep.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/main_window.h"
#include "ui/numeric_input.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

class ThresholdChartSink final : public ThresholdSink {
 public:
  ThresholdChartSink(ThresholdWindow& window, QLabel& status) : window_(window), status_(status) {}
  void Current(const ThresholdResult& r) override { window_.Draw(r); }
  void Progress(std::int64_t done, std::int64_t total) override { status_.setText(ProgressText(done, total)); }

 private:
  ThresholdWindow& window_;
  QLabel& status_;
};

Chart* MakeChart(QWidget* owner, const char* name, const char* bottom, const char* left) {
  auto* c = new Chart(owner);
  c->setObjectName(QString::fromUtf8(name));
  c->SetAxisTitle(ChartAxis::Bottom, QString::fromUtf8(bottom));
  c->SetAxisTitle(ChartAxis::Left, QString::fromUtf8(left));
  c->setMinimumSize(260, 180);
  return c;
}

const QColor kRed(200, 0, 0), kBlue(0, 0, 200), kGreen(0, 130, 0), kGray(120, 120, 120), kOrange(220, 120, 0);

}  // namespace

ThresholdWindow::ThresholdWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Form3: Threshold for refractory neuron"));
  ThresholdInputs& in = wb_.inputs().threshold;
  auto* inputs = new QGridLayout;
  iindMax_ = AddSweepInput(this, inputs, 0, "DDSpinEdit1", " Iind_max, pA ", 0, [&in](double v) { in.Iind_max = v; });
  step_ = AddSweepInput(this, inputs, 1, "DDSpinEdit4", " Step for Iind   ", 1, [&in](double v) { in.StepIind = v; });
  criterion_ = AddSweepInput(this, inputs, 2, "DDSpinEdit6", "Threshold criterion, dV/dt:", 1,
                             [&in](double v) { in.dVdtCriterion = v; });
  oscillations_ = AddSweepInput(this, inputs, 3, "DDSpinEdit2", "Oscillations, Hz", 1,
                                [&in](double v) { in.Oscillations = v; });
  sgm_ = AddSweepInput(this, inputs, 4, "DDSpinEdit3", "sgm, mV", 2, [&in](double v) { in.sgm = v; });
  s_ = AddSweepInput(this, inputs, 5, "DDSpinEdit5", " s ", 3, [&in](double v) { in.s = v; });
  noNoiseInT_ = new QCheckBox(QStringLiteral("No noise in T-neuron"), this);
  noNoiseInT_->setObjectName(QStringLiteral("CheckBox1"));
  connect(noNoiseInT_, &QCheckBox::toggled, this, [&in](bool on) { in.NoNoiseInT = on ? 1 : 0; });
  inputs->addWidget(noNoiseInT_, 6, 0, 1, 2);
  auto* note = new QLabel(QStringLiteral("Adaptation must be turned off."), this);
  inputs->addWidget(note, 7, 0, 1, 2);
  commands_ = AddSweepCommands(this, inputs, 8);
  inputs->setRowStretch(11, 1);
  connect(commands_.start, &QPushButton::clicked, this, &ThresholdWindow::Start);
  connect(commands_.stop, &QPushButton::clicked, this, [this] { stop_ = true; });
  connect(commands_.clear, &QPushButton::clicked, this, [this] {
    for (Chart* c : charts_) c->ClearAll();
  });
  connect(commands_.copy, &QPushButton::clicked, this, [this] { charts_[0]->CopyToClipboard(); });

  Chart* course = charts_[0] = MakeChart(this, "Chart1", "ms", "mV");
  course->AddSeries(QStringLiteral("V, full model"), SeriesKind::FastLine, ChartAxis::Left, kRed);
  course->AddSeries(QStringLiteral("V, T-neuron"), SeriesKind::FastLine, ChartAxis::Left, kBlue);
  course->AddSeries(QStringLiteral("Th"), SeriesKind::Points, ChartAxis::Left, kGreen);
  course->AddSeries(QStringLiteral("Th_Curv"), SeriesKind::Points, ChartAxis::Left, kOrange);
  course->AddSeries(QStringLiteral("V12_- for Lyle-VT(h)"), SeriesKind::Points, ChartAxis::Left, kGray);
  course->SetLineVisible(2, false);
  course->SetLineVisible(3, false);
  course->SetLineVisible(4, false);
  Chart* tap = charts_[1] = MakeChart(this, "Chart2", "tAP, ms", "Th, mV");
  tap->AddSeries(QStringLiteral("Th"), SeriesKind::Points, ChartAxis::Left, kRed);
  tap->AddSeries(QStringLiteral("Th1"), SeriesKind::Points, ChartAxis::Left, kBlue);
  Chart* byI = charts_[2] = MakeChart(this, "Chart3", "I ind, pA", "Th, mV");
  byI->AddSeries(QStringLiteral("Th"), SeriesKind::Line, ChartAxis::Left, kRed);
  byI->AddSeries(QStringLiteral("tAP"), SeriesKind::Line, ChartAxis::Right, kBlue);
  byI->AddSeries(QStringLiteral("Th_Curv"), SeriesKind::Line, ChartAxis::Left, kOrange);
  byI->SetAxisTitle(ChartAxis::Right, QStringLiteral("tAP, ms"));
  Chart* dvdt = charts_[3] = MakeChart(this, "Chart4", "I ind, pA", "dV/dt, mV");
  dvdt->AddSeries(QStringLiteral("dV/dt"), SeriesKind::Line, ChartAxis::Left, kRed);
  Chart* phase = charts_[4] = MakeChart(this, "Chart5", "dV/dt, mV/ms", "mV");
  phase->AddSeries(QStringLiteral("Th"), SeriesKind::Points, ChartAxis::Left, kRed);
  phase->AddSeries(QStringLiteral("Th1"), SeriesKind::Points, ChartAxis::Left, kBlue);
  phase->AddSeries(QStringLiteral("Th_Curv"), SeriesKind::Points, ChartAxis::Left, kOrange);
  Chart* hh = charts_[5] = MakeChart(this, "Chart6", "hh", "Th, mV");
  hh->AddSeries(QStringLiteral("Th"), SeriesKind::Points, ChartAxis::Left, kRed);
  hh->AddSeries(QStringLiteral("Th1"), SeriesKind::Points, ChartAxis::Left, kBlue);
  for (Chart* c : {tap, phase, hh}) {
    for (int i = 0; i < c->SeriesCount(); ++i) c->SetLineVisible(i, false);
  }

  rateNotLatency_ = new QCheckBox(QStringLiteral("Rate, not latency"), this);
  rateNotLatency_->setObjectName(QStringLiteral("CheckBox2"));
  connect(rateNotLatency_, &QCheckBox::toggled, this, [this, &in](bool on) {
    in.RateNotLatency = on ? 1 : 0;
    charts_[1]->SetAxisTitle(ChartAxis::Bottom, on ? QStringLiteral("Rate, Hz") : QStringLiteral("tAP, ms"));
  });

  // The small charts name their series in their titles, with the colours.
  tap->SetTitle(QStringLiteral("Th red, Th1 blue"));
  byI->SetTitle(QStringLiteral("Th red, Th_Curv orange, tAP blue"));
  phase->SetTitle(QStringLiteral("Th red, Th1 blue, Th_Curv orange"));
  hh->SetTitle(QStringLiteral("Th red, Th1 blue"));
  for (Chart* c : {tap, byI, dvdt, phase, hh}) c->SetLegendVisible(false);

  auto* grid = new QGridLayout;
  grid->addWidget(course, 0, 0, 1, 3);
  auto* tapBox = new QVBoxLayout;
  tapBox->addWidget(tap, 1);
  tapBox->addWidget(rateNotLatency_);
  grid->addLayout(tapBox, 1, 0);
  grid->addWidget(byI, 1, 1);
  grid->addWidget(dvdt, 1, 2);
  grid->addWidget(phase, 2, 0);
  grid->addWidget(hh, 2, 1);
  grid->setRowStretch(0, 3);
  grid->setRowStretch(1, 2);
  grid->setRowStretch(2, 2);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(inputs);
  layout->addLayout(grid, 1);
  resize(1200, 900);
  ShowInputs();
}

void ThresholdWindow::ShowInputs() {
  const ThresholdInputs& in = wb_.inputs().threshold;
  const QSignalBlocker b1(iindMax_), b2(step_), b3(criterion_), b4(oscillations_), b5(sgm_), b6(s_),
      b7(noNoiseInT_), b8(rateNotLatency_);
  iindMax_->setValue(in.Iind_max);
  step_->setValue(in.StepIind);
  criterion_->setValue(in.dVdtCriterion);
  oscillations_->setValue(in.Oscillations);
  sgm_->setValue(in.sgm);
  s_->setValue(in.s);
  noNoiseInT_->setChecked(in.NoNoiseInT == 1);
  rateNotLatency_->setChecked(in.RateNotLatency == 1);
}

void ThresholdWindow::ShowFirstChart() { charts_[0]->setFocus(); }

void ThresholdWindow::Draw(const ThresholdResult& r) {
  Chart* course = charts_[0];
  for (int i = 0; i < course->SeriesCount(); ++i) course->Clear(i);
  for (const ThresholdResult::Sample& p : r.trace) {
    course->AddPoint(0, p.t, p.V);
    course->AddPoint(1, p.t, p.VT);
    course->AddPoint(4, p.t, p.aux);
  }
  for (const ThresholdResult::Mark& m : r.marks) {
    course->AddPoint(2, m.t, m.Th);
    course->AddPoint(3, m.tCurv, m.ThCurv);
  }
  if (r.plotted) {
    const double th = r.ThR * 1000.0, th1 = r.Th0 * 1000.0;
    const bool rate = wb_.inputs().threshold.RateNotLatency == 1;
    const double x = rate ? (r.t2 >= 1e-6 ? 1.0 / r.t2 : 0.0) : r.t2 * 1000.0;
    charts_[1]->AddPoint(0, x, th);
    charts_[1]->AddPoint(1, x, th1);
    charts_[2]->AddPoint(0, r.Iind, th);
    charts_[2]->AddPoint(1, r.Iind, r.tLastSpike * 1000.0);
    charts_[2]->AddPoint(2, r.Iind, r.Th_Curv * 1000.0);
    charts_[3]->AddPoint(0, r.Iind, r.dVdtR);
    charts_[4]->AddPoint(0, r.dVdtR, th);
    charts_[4]->AddPoint(1, r.dVdt0, th1);
    charts_[4]->AddPoint(2, r.Th_Curv_dVdt, r.Th_Curv * 1000.0);
    charts_[5]->AddPoint(0, r.hhRefr, th);
    charts_[5]->AddPoint(1, r.hh0, th1);
  }
  for (Chart* c : charts_) c->Refresh();
}

void ThresholdWindow::Start() {
  // The sweep's runs are not compared with a recording.
  if (auto* fit = wb_.mainWindow().findChild<QAction*>(QStringLiteral("FitPictureToExpData"))) fit->setChecked(false);
  RunSweepCommand(wb_, commands_, stop_, [this]() -> std::pair<long long, long long> {
    Session& s = wb_.session();
    SweepWindowHost host(wb_, stop_);
    ThresholdChartSink sink(*this, *commands_.status);
    const RunsOutcome outcome = ThresholdSweep(s, wb_.inputs().threshold, wb_.inputs().fi.IfNoise == 1, host, sink);
    wb_.Correspond();  // the sweep's time step and run length
    return {outcome.delivered, CurrentGridCount(wb_.inputs().threshold.Iind_max, wb_.inputs().threshold.StepIind,
                                                "Step for Iind") - 1};
  });
}

}  // namespace membrix
