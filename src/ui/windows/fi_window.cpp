#include "tasks/task_inputs.h"
#include "ui/windows/fi_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>

#include "analysis/fi_sweep.h"
#include "analysis/sweep_file.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/main_window.h"
#include "ui/windows/ensemble_window.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

class FIChartSink final : public FISink {
 public:
  FIChartSink(Chart& chart, QLabel& status) : chart_(chart), status_(status) {}
  void Point(const FIPoint& p) override { chart_.AddPoint(0, p.Iind, p.f); }
  void Progress(std::int64_t done, std::int64_t total) override {
    status_.setText(ProgressText(done, total));
    chart_.Refresh();
  }

 private:
  Chart& chart_;
  QLabel& status_;
};

}  // namespace

FIWindow::FIWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form5"));
  setWindowTitle(QStringLiteral("Form5: Frequency-Current"));
  Session& s = wb_.session();

  auto* inputs = new QGridLayout;
  iindMax_ = AddSweepInput(this, inputs, 0, "DDSpinEdit1", " Iind_max, pA ", 0, [this](double v) {
    wb_.inputs().fi.Iind_max = v;
    chart_->SetAxisMaximum(ChartAxis::Bottom, v);
  });
  step_ = AddSweepInput(this, inputs, 1, "DDSpinEdit4", " Step for Iind   ", 1,
                        [this](double v) { wb_.inputs().fi.StepIind = v; });
  tEnd_ = AddSweepInput(this, inputs, 2, "DDSpinEdit3", " t_end, ms       ", 1, [this, &s](double v) {
    if (v > 0) SetRunLength(s.run, v / 1000.0);
    wb_.Correspond();
  });
  maxSpikes_ = AddSweepInput(this, inputs, 3, "DDSpinEdit6", "Max number of spikes", 0,
                             [this](double v) { wb_.inputs().fi.MaxSpikes = static_cast<std::int32_t>(v); });
  estimator_ = new QComboBox(this);
  estimator_->setObjectName(QStringLiteral("ComboBox1"));
  for (std::string_view name : kFIEstimatorNames) estimator_->addItem(QString::fromUtf8(name.data(), name.size()));
  connect(estimator_, &QComboBox::currentIndexChanged, this,
          [this](int i) { wb_.inputs().fi.Estimator = static_cast<FIEstimator>(std::max(0, i)); });
  inputs->addWidget(estimator_, 4, 0, 1, 2);
  noise_ = new QCheckBox(QStringLiteral("IfNoise"), this);
  noise_->setObjectName(QStringLiteral("CheckBox1"));
  distributed_ = new QCheckBox(QStringLiteral("IfDistributedModel"), this);
  distributed_->setObjectName(QStringLiteral("CheckBox2"));
  distributed_->setToolTip(QStringLiteral("Runs the soma with its axon (the distributed model window's inputs) "
                                          "in place of the point neuron"));
  connect(distributed_, &QCheckBox::toggled, this,
          [this](bool on) { wb_.inputs().fi.IfDistributedModel = on ? 1 : 0; });
  inputs->addWidget(noise_, 5, 0, 1, 2);
  inputs->addWidget(distributed_, 6, 0, 1, 2);

  // The noise settings the sweep reads (shared with the ensemble's noise).
  noiseBox_ = new QGroupBox(QStringLiteral("Noise"), this);
  auto* noiseGrid = new QGridLayout(noiseBox_);
  sgmV_ = AddSweepInput(noiseBox_, noiseGrid, 0, "sgm_V", "sgm_V", 2, [&s](double v) { s.stim.sgm_V_Input = v; });
  tauNoise_ = AddSweepInput(noiseBox_, noiseGrid, 1, "tau_Noise", "tau_Noise=", 2, [this, &s](double v) {
    s.stim.tau_Noise = std::max(0.0, v) / 1000.0;
    wb_.Correspond();
  });
  noiseBox_->setToolTip(QStringLiteral("sgm_V: deviation of the voltage the noise causes, mV; tau_Noise: its "
                                       "correlation time, ms (0 = white noise)"));
  inputs->addWidget(noiseBox_, 7, 0, 1, 2);
  connect(noise_, &QCheckBox::toggled, this, [this](bool on) {
    wb_.inputs().fi.IfNoise = on ? 1 : 0;
    noiseBox_->setVisible(on);
    if (on) ShowEnsembleWindow(wb_, &wb_.mainWindow());  // where the noise is set up
  });
  noiseBox_->setVisible(false);

  commands_ = AddSweepCommands(this, inputs, 8);
  inputs->setRowStretch(11, 1);
  connect(commands_.start, &QPushButton::clicked, this, &FIWindow::Start);
  connect(commands_.stop, &QPushButton::clicked, this, [this] { stop_ = true; });
  connect(commands_.clear, &QPushButton::clicked, this, [this] { chart_->ClearAll(); });
  connect(commands_.copy, &QPushButton::clicked, this, [this] { chart_->CopyToClipboard(); });

  chart_ = new Chart(this);
  chart_->setObjectName(QStringLiteral("Chart1"));
  chart_->AddSeries(QStringLiteral("f"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));
  chart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("Iind, pA"));
  chart_->SetAxisTitle(ChartAxis::Left, QStringLiteral("f, Hz"));
  chart_->SetAxisRange(ChartAxis::Left, 0.0, 100.0);
  chart_->SetAxisRange(ChartAxis::Bottom, 0.0, wb_.inputs().fi.Iind_max);
  chart_->SetLegendVisible(false);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(inputs);
  layout->addWidget(chart_, 1);
  resize(760, 440);
  ShowInputs();
}

void FIWindow::ShowInputs() {
  const Session& s = wb_.session();
  const QSignalBlocker b1(iindMax_), b2(step_), b3(tEnd_), b4(maxSpikes_), b5(estimator_), b6(noise_), b7(sgmV_),
      b8(tauNoise_);
  iindMax_->setValue(wb_.inputs().fi.Iind_max);
  step_->setValue(wb_.inputs().fi.StepIind);
  tEnd_->setValue(s.run.t_end * 1000.0);
  maxSpikes_->setValue(wb_.inputs().fi.MaxSpikes);
  estimator_->setCurrentIndex(static_cast<int>(wb_.inputs().fi.Estimator));
  noise_->setChecked(wb_.inputs().fi.IfNoise == 1);
  distributed_->setChecked(wb_.inputs().fi.IfDistributedModel == 1);
  noiseBox_->setVisible(wb_.inputs().fi.IfNoise == 1);
  sgmV_->setValue(s.stim.sgm_V_Input);
  tauNoise_->setValue(s.stim.tau_Noise * 1000.0);
}

void FIWindow::showEvent(QShowEvent* event) {
  ShowInputs();
  chart_->SetAxisMaximum(ChartAxis::Bottom, wb_.inputs().fi.Iind_max);
  QWidget::showEvent(event);
}

void FIWindow::Start() {
  RunSweepCommand(wb_, commands_, stop_, [this]() -> std::pair<long long, long long> {
    Session& s = wb_.session();
    SweepWindowHost host(wb_, stop_);
    FIChartSink sink(*chart_, *commands_.status);
    const RunsOutcome outcome = SweepFI(s, wb_.inputs().fi, wb_.inputs().fiber, host, sink);
    chart_->Refresh();
    return {outcome.delivered, CurrentGridCount(wb_.inputs().fi.Iind_max, wb_.inputs().fi.StepIind, "Step for Iind")};
  });
}

}  // namespace membrix
