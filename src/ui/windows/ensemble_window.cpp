#include "tasks/task_inputs.h"
#include "ui/windows/ensemble_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/statistics.h"
#include "population/ensemble.h"
#include "population/network.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/protocol_keeper.h"
#include "ui/main_window.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/statistics_window.h"
#include "ui/windows/sweep_window_support.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

// The series of the chart, in the order they are added.
enum Series { kRate, kVoltage, kVMean, kVMeanUp, kVMeanDown, kMean, kMeanUp, kMeanDown, kEnds };

// Redraws at most a few times a second while members come in.
class Pacer {
 public:
  Pacer() { clock_.start(); }
  bool Due() {
    if (clock_.elapsed() < 250) return false;
    clock_.restart();
    return true;
  }

 private:
  QElapsedTimer clock_;
};

// "ro(t,0)": every bin of the rate.
void DrawRate(Chart& chart, const RateHistogram& ro) {
  chart.Clear(kRate);
  for (std::int32_t k = 0; k <= ro.Nrate(); ++k) chart.AddPoint(kRate, ro.TimeOf(k) * 1000.0, ro.ro()[static_cast<std::size_t>(k)]);
  chart.Refresh();
}

// What the run left: a stopped run's rate is that of the members done.
void ShowRateResult(Chart& chart, QLabel& progress, const EnsembleResult& r, std::int64_t members) {
  if (r.outcome.stopped) {
    progress.setText(QStringLiteral("stopped after %1 of %2 members").arg(r.outcome.delivered).arg(members));
    if (r.outcome.delivered < 1) {
      chart.Clear(kRate);
      chart.Refresh();
      return;
    }
  }
  DrawRate(chart, r.ro);
}

class RateChartSink final : public EnsembleSink {
 public:
  RateChartSink(Chart& chart, QLabel& progress, QLabel& sigmaV) : chart_(chart), progress_(progress), sigmaV_(sigmaV) {}
  void Member(std::int64_t j, std::int64_t count) override {
    last_ = j + 1 == count;
    if (last_ || pacer_.Due()) {
      progress_.setText(QStringLiteral("j=%1").arg(j));
      draw_ = true;
    }
  }
  void Rate(const RateHistogram& ro) override {
    if (!draw_) return;
    draw_ = false;
    DrawRate(chart_, ro);
    sigmaShown_ = false;
  }
  void Voltage(const std::vector<TimeValue>& trace) override {
    chart_.Clear(kVoltage);
    for (const TimeValue& p : trace) chart_.AddPoint(kVoltage, p.t * 1000.0, p.v * 1000.0);
  }
  void SigmaV(double sigmaV) override {
    if (sigmaShown_) return;
    sigmaShown_ = true;
    sigmaV_.setText(QStringLiteral("sgmV at t=               =%1").arg(sigmaV, 7, 'f', 3));
  }

 private:
  Chart& chart_;
  QLabel& progress_;
  QLabel& sigmaV_;
  Pacer pacer_;
  bool draw_ = true;
  bool last_ = false;
  bool sigmaShown_ = true;
};

class ConductanceChartSink final : public ConductanceEnsembleSink {
 public:
  ConductanceChartSink(Chart& chart, QLabel& progress) : chart_(chart), progress_(progress) {}
  void Member(std::int64_t i, std::int64_t) override {
    progress_.setText(QStringLiteral("j=%1").arg(i));
    chart_.Refresh();
  }
  void Voltage(std::int64_t, const std::vector<TimeValue>& trace) override {
    for (const TimeValue& p : trace) chart_.AddPoint(kVoltage, p.t * 1000.0, p.v * 1000.0);
    if (!trace.empty()) chart_.AddPoint(kEnds, trace.back().t * 1000.0, trace.back().v * 1000.0);
  }
  void Linearised(const std::vector<LinearisedPoint>& points) override {
    for (const LinearisedPoint& p : points) {
      chart_.AddPoint(kVMean, p.t * 1000.0, p.V * 1000.0);
      chart_.AddPoint(kVMeanUp, p.t * 1000.0, (p.V + p.sigmaV) * 1000.0);
      chart_.AddPoint(kVMeanDown, p.t * 1000.0, (p.V - p.sigmaV) * 1000.0);
    }
  }
  void Dispersion(const std::vector<DispersionPoint>& points) override {
    for (const DispersionPoint& p : points) {
      chart_.AddPoint(kMean, p.t * 1000.0, p.mean * 1000.0);
      chart_.AddPoint(kMeanUp, p.t * 1000.0, (p.mean + p.D) * 1000.0);
      chart_.AddPoint(kMeanDown, p.t * 1000.0, (p.mean - p.D) * 1000.0);
    }
    chart_.Refresh();
  }

 private:
  Chart& chart_;
  QLabel& progress_;
};

class NetworkChartSink final : public NetworkSink {
 public:
  NetworkChartSink(Chart& chart, Chart& gate, QLabel& progress, NumericInput& dt, Workbench& wb)
      : chart_(chart), gate_(gate), progress_(progress), dt_(dt), wb_(wb) {}
  double StepLength(double dt) override {
    const double v = dt_.value() / 1000.0;
    return v > 0.0 ? v : dt;
  }
  void Bin(double t, double ro, double mGABA) override {
    chart_.AddPoint(kRate, t * 1000.0, ro);
    gate_.AddPoint(0, t * 1000.0, mGABA);
  }
  void Voltage(double t, double V) override { chart_.AddPoint(kVoltage, t * 1000.0, V * 1000.0); }
  void Time(double t) override {
    if (!pacer_.Due()) return;
    progress_.setText(QStringLiteral("t=%1 ms").arg(t * 1000.0, 0, 'f', 1));
    chart_.Refresh();
    gate_.Refresh();
  }
  // The drawn member feeds the statistics window while it is shown.
  StatisticsSink* Statistics() override {
    StatisticsWindow& w = wb_.mainWindow().analysisWindows().statistics();
    return w.isVisible() ? &w : nullptr;
  }

 private:
  Chart& chart_;
  Chart& gate_;
  QLabel& progress_;
  NumericInput& dt_;
  Workbench& wb_;
  Pacer pacer_;
};

// Shows the series of one kind of run and hides the others, so that the
// legend names only what is drawn.
void ShowSeries(Chart& chart, bool conductances) {
  for (int i = kRate; i <= kEnds; ++i) {
    const bool rateRun = i == kRate || i == kVoltage;
    chart.SetSeriesVisible(i, conductances ? i != kRate : rateRun);
  }
}

QPushButton* Button(QWidget* owner, const char* name, const char* caption, const char* hint) {
  auto* b = new QPushButton(QString::fromUtf8(caption), owner);
  b->setObjectName(QString::fromUtf8(name));
  if (hint != nullptr) b->setToolTip(QString::fromUtf8(hint));
  return b;
}

// Toggles the unit combo box on a double click.
class DoubleClickToggle final : public QObject {
 public:
  DoubleClickToggle(QObject* parent, std::function<void()> action) : QObject(parent), action_(std::move(action)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonDblClick) {
      action_();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> action_;
};

}  // namespace

SynapseWindow::SynapseWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form15"));
  setWindowTitle(QStringLiteral("Form15: Synaptic Current for the Net"));
  SynapseInputs& syn = wb_.inputs().synapse;
  auto* grid = new QGridLayout;
  inputs_[0] = AddSweepInput(this, grid, 0, "DDSpinEdit1", "gGABA, mS/cm^2", 3, [&syn](double v) { syn.gGABA = v; });
  inputs_[1] = AddSweepInput(this, grid, 1, "DDSpinEdit2", "alGABA, Hz", 1, [&syn](double v) { syn.alGABA = v; });
  inputs_[2] = AddSweepInput(this, grid, 2, "DDSpinEdit3", "beGABA,Hz", 1, [&syn](double v) { syn.beGABA = v; });
  inputs_[3] = AddSweepInput(this, grid, 3, "DDSpinEdit4", "VGABA, mV", 1, [&syn](double v) { syn.VGABA = v; });
  inputs_[4] = AddSweepInput(this, grid, 4, "DDSpinEdit5", "delay, ms", 2, [&syn](double v) { syn.delay = v; });
  grid->setRowStretch(5, 1);
  chart_ = new Chart(this);
  chart_->setObjectName(QStringLiteral("Chart1"));
  chart_->AddSeries(QStringLiteral("mGABA"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 200));
  chart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("t, ms"));
  chart_->SetAxisTitle(ChartAxis::Left, QStringLiteral("mGABA"));
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(chart_, 1);
  resize(620, 300);
  ShowInputs();
}

void SynapseWindow::ShowInputs() {
  const SynapseInputs& syn = wb_.inputs().synapse;
  const double values[5] = {syn.gGABA, syn.alGABA, syn.beGABA, syn.VGABA, syn.delay};
  for (int i = 0; i < 5; ++i) {
    const QSignalBlocker block(inputs_[i]);
    inputs_[i]->setValue(values[i]);
  }
}

EnsembleWindow::EnsembleWindow(Workbench& wb, SynapseWindow& synapse, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb), synapse_(synapse) {
  setObjectName(QStringLiteral("Form7"));
  setWindowTitle(QStringLiteral("Form7: Rate of Gaussian ensemble"));
  Session& s = wb_.session();
  EnsembleInputs& in = wb_.inputs().ensemble;

  auto bind = [this](QGridLayout* grid, int row, const char* name, const char* caption, int decimals,
                     std::function<void(double)> store, std::function<double()> show) {
    NumericInput* input = AddSweepInput(this, grid, row, name, caption, decimals, std::move(store));
    shown_.emplace_back(input, std::move(show));
    return input;
  };

  // "Set parameters ": the problem and the members.
  auto* problemBox = new QGroupBox(QStringLiteral("Set parameters "), this);
  auto* problem = new QGridLayout(problemBox);
  NumericInput* dt = bind(problem, 0, "DDSpinEdit2", "dt, ms", 3, [&in](double v) { in.dt = v; }, [&in] { return in.dt; });
  bind(problem, 1, "DDSpinEdit3", "t_end, ms", 1, [&in](double v) { in.t_end = v; }, [&in] { return in.t_end; });
  bind(problem, 2, "DDSpinEdit4", "t_Iind, ms", 1, [&in](double v) { in.t_Iind = v; }, [&in] { return in.t_Iind; });
  bind(problem, 3, "DDSpinEdit15", "Oscillations, Hz", 1, [&in](double v) { in.Freq_Iind = v; },
       [&in] { return in.Freq_Iind; });
  bind(problem, 4, "DDSpinEdit5", "Iind, pA", 1, [&in](double v) { in.Iind = v; }, [&in] { return in.Iind; });
  bind(problem, 5, "DDSpinEdit6", "Mesh for rate, Nrate", 0,
       [&in](double v) { in.Nrate = static_cast<std::int32_t>(std::lround(v)); }, [&in] { return double(in.Nrate); });
  bind(problem, 6, "DDSpinEdit7", "Mesh for Gauss", 0,
       [&in](double v) { in.MeshGauss = static_cast<std::int32_t>(std::lround(v)); },
       [&in] { return double(in.MeshGauss); });
  sgmV_ = bind(problem, 7, "DDSpinEdit13", "sgm_V", 3,
               [this, &s](double v) {
                 wb_.inputs().ensemble.sgm_V = v;
                 s.stim.sgm_V_Input = v;  // the same spread the f-I curve's noise uses
               },
               [&in] { return in.sgm_V; });
  unit_ = new QComboBox(this);
  unit_->setObjectName(QStringLiteral("ComboBox1"));
  unit_->addItems({QStringLiteral("in mV"), QStringLiteral("nondim.")});
  unit_->setToolTip(QStringLiteral("Is sgm  relative or fixed in mV?"));
  unit_->installEventFilter(new DoubleClickToggle(unit_, [this] { unit_->setCurrentIndex(1 - unit_->currentIndex()); }));
  problem->addWidget(unit_, 8, 1);
  disperse_ = new QComboBox(this);
  disperse_->setObjectName(QStringLiteral("ComboBox2"));
  disperse_->addItems({QStringLiteral("Disperse Thr."), QStringLiteral("Disperse gL"),
                       QStringLiteral("Disperse Thr. and gL")});
  problem->addWidget(disperse_, 9, 0, 1, 2);
  renewal_ = new QCheckBox(QStringLiteral("Thr. Renewal"), this);
  renewal_->setObjectName(QStringLiteral("CheckBox3"));
  problem->addWidget(renewal_, 10, 0, 1, 2);
  bind(problem, 11, "DDSpinEdit14", "sgmV at t, ms", 1, [&in](double v) { in.tMeasure = v; },
       [&in] { return in.tMeasure; });
  NumericInput* tauNoise = bind(problem, 12, "DDSpinEdit16", "tau_Noise=", 2,
                                [this, &s](double v) {
                                  wb_.inputs().ensemble.tau_Noise = std::max(0.0, v);
                                  s.stim.tau_Noise = std::max(0.0, v) / 1000.0;
                                },
                                [&in] { return in.tau_Noise; });
  tauNoise->setDoubleClickValue(0.0);
  fixThreshold_ = new QCheckBox(QStringLiteral("Fix Threshold, mV:"), this);
  fixThreshold_->setObjectName(QStringLiteral("CheckBox1"));
  auto* fixValue = new NumericInput(this, 1);
  fixValue->setObjectName(QStringLiteral("DDSpinEdit1"));
  fixValue->setMaximumWidth(90);
  shown_.emplace_back(fixValue, [&in] { return in.FixThr; });
  problem->addWidget(fixThreshold_, 13, 0);
  problem->addWidget(fixValue, 13, 1);
  auto applyFix = [this, &s] {
    ApplyFixThreshold(s, wb_.inputs().ensemble);
    wb_.Correspond();
  };
  connect(fixValue, &NumericInput::valueChanged, this, [&in, applyFix](double v) {
    in.FixThr = v;
    applyFix();
  });
  connect(fixThreshold_, &QCheckBox::toggled, this, [&in, applyFix](bool on) {
    in.FixThreshold = on;
    applyFix();
  });
  dontClear_ = new QCheckBox(QStringLiteral("Don't clear"), this);
  dontClear_->setObjectName(QStringLiteral("CheckBox2"));
  problem->addWidget(dontClear_, 14, 0, 1, 2);
  connect(renewal_, &QCheckBox::toggled, this, [&in](bool on) { in.ThrRenewal = on; });
  connect(dontClear_, &QCheckBox::toggled, this, [&in](bool on) { in.DontClear = on; });
  connect(unit_, &QComboBox::currentIndexChanged, this, &EnsembleWindow::SetUnit);
  connect(disperse_, &QComboBox::currentIndexChanged, this, [this, &in](int i) {
    in.disperse = static_cast<DispersionKind>(std::max(0, i));
    if (i == 1 || i == 2) unit_->setCurrentIndex(1);  // a leak spread is relative
  });

  // The runs.
  auto* thresholds = new QGroupBox(QStringLiteral("Gaussian thresholds"), this);
  auto* thrRow = new QHBoxLayout(thresholds);
  auto* noise = new QGroupBox(QStringLiteral("Noise"), this);
  auto* noiseRow = new QHBoxLayout(noise);
  auto* b1 = Button(this, "Button1", "Run HH", "Members with the conductance-based model");
  auto* b2 = Button(this, "Button2", "Run Thr. Model", "Members with the threshold model");
  auto* b5 = Button(this, "Button5", "Run HH", "Members with the conductance-based model");
  auto* b6 = Button(this, "Button6", "Run Thr. Model", "Members with the threshold model");
  thrRow->addWidget(b1);
  thrRow->addWidget(b2);
  noiseRow->addWidget(b5);
  noiseRow->addWidget(b6);

  auto* condBox = new QGroupBox(QStringLiteral("Set for dispersed conductances"), this);
  auto* cond = new QGridLayout(condBox);
  bind(cond, 0, "DDSpinEdit8", "Ampl_gE, mS/cm^2", 3, [&in](double v) { in.Ampl_gE = v; }, [&in] { return in.Ampl_gE; });
  NumericInput* tauE =
      bind(cond, 1, "DDSpinEdit9", "tau_E, ms", 2, [&in](double v) { in.tau_E = v; }, [&in] { return in.tau_E; });
  tauE->setToolTip(QStringLiteral("if 0 then cond. is constant"));
  bind(cond, 2, "DDSpinEdit10", "sigmaG_nd", 3, [&in](double v) { in.sigmaG = v; }, [&in] { return in.sigmaG; });
  bind(cond, 3, "DDSpinEdit11", "Iind, pA ", 1, [&in](double v) { in.IindG = v; }, [&in] { return in.IindG; });
  bind(cond, 4, "DDSpinEdit12", "Mesh for Gauss ", 0,
       [&in](double v) { in.MeshG = static_cast<std::int32_t>(std::lround(v)); }, [&in] { return double(in.MeshG); });
  auto* b4 = Button(this, "Button4", "Run HH", "Members with the conductance-based model");
  auto* b3 = Button(this, "Button3", "Run Thr. Model", "Members with the threshold model at a fixed threshold of 14 mV");
  auto* condRow = new QHBoxLayout;
  condRow->addWidget(b4);
  condRow->addWidget(b3);
  cond->addLayout(condRow, 5, 0, 1, 2);

  auto* netBox = new QGroupBox(QStringLiteral("Network"), this);
  auto* netRow = new QHBoxLayout(netBox);
  // One run button; the box chooses between members with dispersed
  // thresholds and no noise, and members driven by white noise.
  auto* b7 = Button(this, "Button7", "Run Network",
                    "Members with dispersed thresholds, without noise; with the box ticked, with white noise");
  auto* whiteNoise = new QCheckBox(QStringLiteral("with white noise"), this);
  whiteNoise->setObjectName(QStringLiteral("NetWhiteNoise"));
  whiteNoise->setToolTip(QStringLiteral("Members start from Gaussian voltages (sgm_V) and each is driven by its own "
                                        "white-noise current (tau_Noise is not used); with \"Thr. Renewal\" a member "
                                        "draws a new threshold shift at every spike. Not ticked: fixed Gaussian "
                                        "threshold shifts and no noise"));
  netRow->addWidget(b7);
  netRow->addWidget(whiteNoise);
  auto* stop = Button(this, "ButtonStop", "Stop", "Stops the run; the members done so far stay in the rate");
  buttons_ = {b1, b2, b3, b4, b5, b6, b7};

  progress_ = new QLabel(QStringLiteral("nV="), this);
  progress_->setObjectName(QStringLiteral("Label15"));
  sigmaV_ = new QLabel(QStringLiteral("sgmV at t=               ="), this);
  sigmaV_->setObjectName(QStringLiteral("Label18"));

  connect(b1, &QPushButton::clicked, this, [this] { RunThresholds(EnsembleModel::ConductanceBased); });
  connect(b2, &QPushButton::clicked, this, [this] { RunThresholds(EnsembleModel::ThresholdModel); });
  connect(b5, &QPushButton::clicked, this, [this] { RunNoise(EnsembleModel::ConductanceBased); });
  connect(b6, &QPushButton::clicked, this, [this] { RunNoise(EnsembleModel::ThresholdModel); });
  connect(b4, &QPushButton::clicked, this, [this] { RunConductances(EnsembleModel::ConductanceBased); });
  connect(b3, &QPushButton::clicked, this, [this, fixValue] {
    fixValue->setValue(14.0);
    fixThreshold_->setChecked(true);
    RunConductances(EnsembleModel::ThresholdModel);
  });
  connect(b7, &QPushButton::clicked, this, [this, whiteNoise] { RunNet(whiteNoise->isChecked()); });
  connect(stop, &QPushButton::clicked, this, [this] { stop_ = true; });
  (void)dt;

  auto* left = new QVBoxLayout;
  left->addWidget(problemBox);
  left->addStretch(1);
  auto* middle = new QVBoxLayout;
  middle->addWidget(thresholds);
  middle->addWidget(noise);
  middle->addWidget(condBox);
  middle->addWidget(netBox);
  middle->addWidget(stop);
  middle->addWidget(progress_);
  middle->addWidget(sigmaV_);
  middle->addStretch(1);

  chart_ = new Chart(this);
  chart_->setObjectName(QStringLiteral("Chart2"));
  chart_->AddSeries(QStringLiteral("ro(t,0)"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));
  chart_->AddSeries(QStringLiteral("V(t)"), SeriesKind::Points, ChartAxis::Right, QColor(120, 120, 120));
  chart_->AddSeries(QStringLiteral("V(mean gE)"), SeriesKind::Line, ChartAxis::Right, QColor(0, 0, 200));
  chart_->AddSeries(QStringLiteral("V(mean gE)+sgm_V"), SeriesKind::Line, ChartAxis::Right, QColor(90, 140, 255));
  chart_->AddSeries(QStringLiteral("V(mean gE)-sgm_V"), SeriesKind::Line, ChartAxis::Right, QColor(90, 140, 255));
  chart_->AddSeries(QStringLiteral("Mean"), SeriesKind::Line, ChartAxis::Right, QColor(0, 140, 0));
  chart_->AddSeries(QStringLiteral("Mean+Dispersion"), SeriesKind::Line, ChartAxis::Right, QColor(120, 200, 120));
  chart_->AddSeries(QStringLiteral("Mean-Dispersion"), SeriesKind::Line, ChartAxis::Right, QColor(120, 200, 120));
  chart_->AddSeries(QStringLiteral("Ends"), SeriesKind::Points, ChartAxis::Right, QColor(0, 0, 0));
  chart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("t, ms"));
  chart_->SetAxisTitle(ChartAxis::Left, QStringLiteral("ro, Hz"));
  chart_->SetAxisTitle(ChartAxis::Right, QStringLiteral("V, mV"));
  chart_->SetLegendVisible(true);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addLayout(middle);
  layout->addWidget(chart_, 1);
  resize(1320, 660);
  ShowInputs();
}

void EnsembleWindow::SetUnit(int index) {
  const SigmaUnit unit = index == 1 ? SigmaUnit::Nondim : SigmaUnit::InMV;
  if (unit == wb_.inputs().ensemble.sigmaUnit) return;
  // The same spread read the other way: mV become a fraction and back.
  const double v = unit == SigmaUnit::Nondim ? wb_.inputs().ensemble.sgm_V / 10.0 : wb_.inputs().ensemble.sgm_V * 10.0;
  wb_.inputs().ensemble.sigmaUnit = unit;
  wb_.inputs().ensemble.sgm_V = v;
  const QSignalBlocker block(sgmV_);
  sgmV_->setValue(v);
}

void EnsembleWindow::ShowInputs() {
  const EnsembleInputs& in = wb_.inputs().ensemble;
  for (auto& [input, show] : shown_) {
    const QSignalBlocker block(input);
    input->setValue(show());
  }
  const QSignalBlocker b1(unit_), b2(disperse_), b3(renewal_), b4(fixThreshold_), b5(dontClear_);
  unit_->setCurrentIndex(in.sigmaUnit == SigmaUnit::Nondim ? 1 : 0);
  disperse_->setCurrentIndex(static_cast<int>(in.disperse));
  renewal_->setChecked(in.ThrRenewal);
  fixThreshold_->setChecked(in.FixThreshold);
  dontClear_->setChecked(in.DontClear);
}

void EnsembleWindow::showEvent(QShowEvent* event) {
  ShowInputs();
  QWidget::showEvent(event);
}

namespace {

QString RateRunText(const QString& what, const EnsembleResult& r, std::int64_t members) {
  return QStringLiteral("%1 %2: %3 of %4 members%5")
      .arg(what, r.outcome.stopped ? QStringLiteral("stopped") : QStringLiteral("complete"))
      .arg(r.outcome.delivered)
      .arg(members)
      .arg(r.file.empty() ? QString() : QStringLiteral(", rate in ") + QString::fromStdString(r.file));
}

QString ModelName(EnsembleModel model) {
  return model == EnsembleModel::ThresholdModel ? QStringLiteral("threshold model") : QStringLiteral("HH");
}

}  // namespace

void EnsembleWindow::Run(const std::function<void()>& body) {
  stop_ = false;
  done_.clear();
  QElapsedTimer clock;
  clock.start();
  sigmaV_->setText(QStringLiteral("sgmV at t=               ="));  // only the noise run measures it
  for (QPushButton* b : buttons_) b->setEnabled(false);
  {
    // The ensembles run their own protocol ("Problem"): the main one is
    // given back when they end.
    const ProtocolKeeper keeper(wb_, windowTitle(), ProtocolKeeper::Ending::GiveBack);
    wb_.RunSimulation(body, this);
  }
  for (QPushButton* b : buttons_) b->setEnabled(true);
  wb_.Correspond();
  if (!done_.isEmpty())
    wb_.mainWindow().ShowTaskStatus(done_ + QStringLiteral(" (%1 s)").arg(clock.elapsed() / 1000.0, 0, 'f', 1));
}

void EnsembleWindow::RunThresholds(EnsembleModel model) {
  Run([this, model] {
    Session& s = wb_.session();
    SelectEnsembleModel(s, model);
    ShowSeries(*chart_, false);
    for (int i : {kRate, kVoltage}) chart_->Clear(i);
    SweepWindowHost host(wb_, stop_);
    RateChartSink sink(*chart_, *progress_, *sigmaV_);
    const EnsembleResult r = RunGaussianThresholds(s, wb_.inputs().ensemble, host, sink, model);
    ShowRateResult(*chart_, *progress_, r, EnsembleMembers(wb_.inputs().ensemble));
    done_ = RateRunText(QStringLiteral("Ensemble with dispersed thresholds (%1)").arg(ModelName(model)), r,
                        EnsembleMembers(wb_.inputs().ensemble));
  });
}

void EnsembleWindow::RunNoise(EnsembleModel model) {
  Run([this, model] {
    Session& s = wb_.session();
    if (model == EnsembleModel::ConductanceBased) s.NP0.ThrModel = 0;
    ShowSeries(*chart_, false);
    for (int i : {kRate, kVoltage}) chart_->Clear(i);
    SweepWindowHost host(wb_, stop_);
    RateChartSink sink(*chart_, *progress_, *sigmaV_);
    const EnsembleResult r = RunNoiseEnsemble(s, wb_.inputs().ensemble, host, sink, model);
    if (!r.outcome.stopped || r.outcome.delivered > 0) {
      sigmaV_->setText(QStringLiteral("sgmV at t=               =%1").arg(r.sigmaV, 7, 'f', 3));
    }
    ShowRateResult(*chart_, *progress_, r, EnsembleMembers(wb_.inputs().ensemble));
    done_ = RateRunText(QStringLiteral("Noisy ensemble (%1)").arg(ModelName(model)), r,
                        EnsembleMembers(wb_.inputs().ensemble));
  });
}

void EnsembleWindow::RunConductances(EnsembleModel model) {
  Run([this, model] {
    Session& s = wb_.session();
    chart_->ClearAll();
    ShowSeries(*chart_, true);
    SweepWindowHost host(wb_, stop_);
    ConductanceChartSink sink(*chart_, *progress_);
    RunGaussianConductances(s, wb_.inputs().ensemble, host, sink, model);
    chart_->Refresh();
    done_ = QStringLiteral("Ensemble with Gaussian conductances (%1) %2")
                .arg(ModelName(model), stop_ ? QStringLiteral("stopped") : QStringLiteral("complete"));
  });
}

void EnsembleWindow::RunNet(bool noise) {
  synapse_.ShowInputs();
  synapse_.show();
  Run([this, noise] {
    Session& s = wb_.session();
    ShowSeries(*chart_, false);
    if (!wb_.inputs().ensemble.DontClear) {
      for (int i : {kRate, kVoltage}) chart_->Clear(i);
      synapse_.chart()->ClearAll();
    }
    SweepWindowHost host(wb_, stop_);
    auto* dt = findChild<NumericInput*>(QStringLiteral("DDSpinEdit2"));
    NetworkChartSink sink(*chart_, *synapse_.chart(), *progress_, *dt, wb_);
    const EnsembleModel model =
        !noise || s.NP0.ThrModel != 1 ? EnsembleModel::ConductanceBased : EnsembleModel::ThresholdModel;
    RunNetwork(s, wb_.inputs().ensemble, wb_.inputs().synapse, host, sink, model, noise);
    chart_->Refresh();
    done_ = QStringLiteral("Network%1 %2")
                .arg(noise ? QStringLiteral(" with noise") : QString(),
                     stop_ ? QStringLiteral("stopped") : QStringLiteral("complete"));
    progress_->setText(done_);  // not the member count of an earlier ensemble run
    synapse_.chart()->Refresh();
  });
}

EnsembleWindow& ShowEnsembleWindow(Workbench& wb, QWidget* mainWindow) {
  auto* synapse = mainWindow->findChild<SynapseWindow*>();
  if (synapse == nullptr) synapse = new SynapseWindow(wb, mainWindow);
  auto* w = mainWindow->findChild<EnsembleWindow*>();
  if (w == nullptr) w = new EnsembleWindow(wb, *synapse, mainWindow);
  synapse->ShowInputs();
  synapse->show();
  w->show();
  w->raise();
  return *w;
}

}  // namespace membrix
