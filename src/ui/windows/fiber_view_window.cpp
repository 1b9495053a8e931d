#include "tasks/task_inputs.h"
#include "ui/windows/fiber_view_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "run/session.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/windows/sweep_window_support.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

// How often a running fiber redraws its charts at most.
constexpr int kRedrawMs = 40;
// A node is taken to fire when its voltage rises above this level.
constexpr double kSpikeLevel = -0.02;  // V

Chart* MakeChart(QWidget* owner, const char* name, const char* x, const char* y,
                 std::initializer_list<const char*> series, SeriesKind kind = SeriesKind::Line) {
  auto* chart = new Chart(owner);
  chart->setObjectName(QString::fromUtf8(name));
  chart->SetAxisTitle(ChartAxis::Bottom, QString::fromUtf8(x));
  chart->SetAxisTitle(ChartAxis::Left, QString::fromUtf8(y));
  for (const char* title : series) chart->AddSeries(QString::fromUtf8(title), kind);
  return chart;
}

QPushButton* MakeButton(QWidget* owner, const char* caption) {
  auto* b = new QPushButton(QString::fromUtf8(caption), owner);
  b->setObjectName(QString::fromUtf8(caption));
  return b;
}

// A chart with its "CopyToBMP" button under it.
QWidget* WithCopy(QWidget* owner, Chart* chart, std::initializer_list<QWidget*> more = {}) {
  auto* box = new QWidget(owner);
  auto* v = new QVBoxLayout(box);
  v->setContentsMargins(0, 0, 0, 0);
  chart->setParent(box);
  v->addWidget(chart, 1);
  auto* row = new QHBoxLayout;
  QPushButton* copy = MakeButton(box, "CopyToBMP");
  QObject::connect(copy, &QPushButton::clicked, chart, [chart] { chart->CopyToClipboard(); });
  row->addWidget(copy);
  for (QWidget* w : more) row->addWidget(w);
  row->addStretch(1);
  v->addLayout(row);
  return box;
}

}  // namespace

FiberViewWindow::FiberViewWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form12"));
  setWindowTitle(QStringLiteral("Form12: FiberO"));
  FiberInputs& in = wb_.inputs().fiber;

  pages_ = new QTabWidget(this);
  voltage_ = MakeChart(this, "VoltageInSpace", "z, mum", "mV", {"V"});
  pages_->addTab(WithCopy(pages_, voltage_), QStringLiteral("Voltage in space"));

  conductance_ = MakeChart(this, "ConductanceInSpace", "z, mum", "mS/cm^2", {"g"});
  gates_ = MakeChart(this, "GatesInSpace", "z, mum", "units", {"m", "h"});
  auto* gPage = new QWidget(pages_);
  auto* gLayout = new QHBoxLayout(gPage);
  gLayout->addWidget(WithCopy(gPage, conductance_));
  gLayout->addWidget(WithCopy(gPage, gates_));
  pages_->addTab(gPage, QStringLiteral("Conductances"));

  currents_ = MakeChart(this, "CurrentsInTime", "t, ms", "I, pA",
                        {"Current an soma", "Current at axon", "Jm an soma", "Jm at axon"});
  // The series keep the program's names; their legends read as meant.
  currents_->SetSeriesLegend(0, QStringLiteral("Current at soma"));
  currents_->SetSeriesLegend(2, QStringLiteral("Jm at soma"));
  ends_ = MakeChart(this, "VoltageInTime", "t, ms", "mV", {"V(0,T)", "V(L,T)"});
  QPushButton* toVoltage = MakeButton(this, "Adjust range to voltage");
  QPushButton* currentsAuto = MakeButton(this, "Auto");
  connect(toVoltage, &QPushButton::clicked, this, [this] {
    currents_->SetAxisRange(ChartAxis::Bottom, ends_->AxisMinimum(ChartAxis::Bottom), ends_->AxisMaximum(ChartAxis::Bottom));
    currents_->Refresh();
  });
  connect(currentsAuto, &QPushButton::clicked, this, [this] {
    currents_->SetAxisAutomatic(ChartAxis::Bottom, true);
    currents_->Refresh();
  });
  pages_->addTab(WithCopy(pages_, currents_, {toVoltage, currentsAuto}), QStringLiteral("Currents in time"));

  inputs_ = MakeChart(this, "InputInTime", "t, ms", "I, pA", {"Iind[0]", "Ind[L]"});
  inputs_->SetSeriesLegend(1, QStringLiteral("Iind[L]"));
  pages_->addTab(WithCopy(pages_, inputs_), QStringLiteral("Input in time"));

  densities_ = MakeChart(this, "Densities", "node", "mS/cm^2", {"gNa", "gNaR", "gK", "gKM", "gAHP"}, SeriesKind::Points);
  auto* dPage = new QWidget(pages_);
  auto* dLayout = new QHBoxLayout(dPage);
  dLayout->addWidget(WithCopy(dPage, densities_), 1);
  auto* side = new QVBoxLayout;
  QPushButton* refresh = MakeButton(dPage, "Refresh");
  refresh->setToolTip(QStringLiteral("Builds the fiber as the run would and shows its channel densities"));
  connect(refresh, &QPushButton::clicked, this, &FiberViewWindow::Refresh);
  side->addWidget(refresh);
  auto* derivedBox = new QGroupBox(QStringLiteral("Derived values"), dPage);
  auto* derivedLayout = new QVBoxLayout(derivedBox);
  for (std::size_t i = 0; i < derived_.size(); ++i) {
    derived_[i] = new QLabel(derivedBox);
    derived_[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    derivedLayout->addWidget(derived_[i]);
  }
  side->addWidget(derivedBox);
  // The soma at the start of the axon: a disc, hidden while the soma has no area.
  auto* soma = new QLabel(dPage);
  soma->setObjectName(QStringLiteral("Shape1"));
  soma->setFixedSize(36, 36);
  soma->setStyleSheet(
      QStringLiteral("QLabel { background: #c8d8f0; border: 2px solid #30508a; border-radius: 18px; }"));
  soma->setToolTip(QStringLiteral("The soma"));
  soma->setVisible(wb_.session().NP0.Square != 0.0);
  somaShape_ = soma;
  side->addWidget(soma, 0, Qt::AlignHCenter);
  side->addStretch(1);
  dLayout->addLayout(side);
  pages_->addTab(dPage, QStringLiteral("Max.gNa,gK"));
  densityPage_ = dPage;
  // The densities of the inputs as they are now whenever their page is shown.
  connect(pages_, &QTabWidget::currentChanged, this, [this] {
    if (pages_->currentWidget() == densityPage_ && isVisible() && !wb_.Running()) Refresh();
  });

  lfp_ = MakeChart(this, "LFPInTime", "t, ms", "LFP, nV", {"LFP", "-Jm at soma"});
  lfpPage_ = new QWidget(pages_);
  auto* lfpLayout = new QHBoxLayout(lfpPage_);
  lfpLayout->addWidget(WithCopy(lfpPage_, lfp_), 1);
  auto* electrode = new QGridLayout;
  lfpD_ = AddSweepInput(lfpPage_, electrode, 0, "DDSpinEdit5", "d / L=", 2, [&in](double v) { in.LFP_d = v; });
  lfpH_ = AddSweepInput(lfpPage_, electrode, 1, "DDSpinEdit1", "h / L=", 2, [&in](double v) { in.LFP_h = v; });
  lfpD_->setValue(in.LFP_d);
  lfpH_->setValue(in.LFP_h);
  electrode->setRowStretch(2, 1);
  lfpLayout->addLayout(electrode);
  pages_->addTab(lfpPage_, QStringLiteral("LFP"));

  clean_ = new QCheckBox(QStringLiteral("Clean"), this);
  clean_->setObjectName(QStringLiteral("CheckBox1"));
  clean_->setChecked(true);
  clean_->setToolTip(QStringLiteral("Clear the time courses at the start of every run"));
  QPushButton* toCurrent = MakeButton(this, "Adjust range to current");
  QPushButton* endsAuto = MakeButton(this, "Auto");
  connect(toCurrent, &QPushButton::clicked, this, [this] {
    ends_->SetAxisRange(ChartAxis::Bottom, currents_->AxisMinimum(ChartAxis::Bottom),
                        currents_->AxisMaximum(ChartAxis::Bottom));
    ends_->Refresh();
  });
  connect(endsAuto, &QPushButton::clicked, this, [this] {
    ends_->SetAxisAutomatic(ChartAxis::Bottom, true);
    ends_->Refresh();
  });

  run_ = MakeButton(this, "Run");
  run_->setToolTip(QStringLiteral("Runs the fiber with the inputs of \"Form20: Distributed model\" for the run's "
                                  "t_end, as \"Axon\" on the main window does"));
  QFont bold = run_->font();
  bold.setBold(true);
  run_->setFont(bold);
  connect(run_, &QPushButton::clicked, this, [this] { Run(); });
  endLine_ = new QLabel(QStringLiteral("Not run yet."), this);
  endLine_->setObjectName(QStringLiteral("EndOfRun"));
  endLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  endLine_->setWordWrap(true);
  auto* top = new QHBoxLayout;
  top->addWidget(run_);
  top->addWidget(endLine_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(pages_, 3);
  layout->addWidget(WithCopy(this, ends_, {clean_, toCurrent, endsAuto}), 2);
  resize(820, 680);
}

void FiberViewWindow::Clear() {
  crossing_.fill(-1.0);
  reached_ = 0.0;
  for (Chart* c : {voltage_, conductance_, gates_}) c->ClearAll();
  if (clean_->isChecked()) {
    for (Chart* c : {currents_, inputs_, ends_, lfp_}) c->ClearAll();
  }
  sinceDrawn_.start();
}

bool FiberViewWindow::WantsLFP() const { return pages_->currentWidget() == lfpPage_; }

void FiberViewWindow::Frame(const TFiber& f, double t, double lfp) {
  for (Chart* c : {voltage_, conductance_, gates_}) c->ClearAll();
  const double dz = f.Props.dx * 1e4;  // µm
  for (std::int32_t i = 0; i <= f.N(); ++i) {
    const NeuronVariables& nv = f.Nodes[static_cast<std::size_t>(i)]->NV;
    const double z = i * dz;
    voltage_->AddPoint(0, z, f.V[i] * 1000.0);
    conductance_->AddPoint(0, z, f.g[i]);
    gates_->AddPoint(0, z, nv.mm);
    gates_->AddPoint(1, z, nv.hh);
  }
  const double ms = t * 1000.0;
  const std::size_t N = static_cast<std::size_t>(f.N());
  currents_->AddPoint(0, ms, f.ISoma * 1e9);
  currents_->AddPoint(1, ms, f.IAxon * 1e9);
  currents_->AddPoint(2, ms, f.JmSoma * 1e9);
  currents_->AddPoint(3, ms, f.JmAxon * 1e9);
  inputs_->AddPoint(0, ms, f.Iind[0] * 1e9);
  inputs_->AddPoint(1, ms, f.Iind[N] * 1e9);
  ends_->AddPoint(0, ms, f.V[0] * 1000.0);
  ends_->AddPoint(1, ms, f.V[N] * 1000.0);
  const std::size_t at[4] = {0, N / 4, (3 * N) / 4, N};
  for (std::size_t k = 0; k < std::size(at); ++k) {
    if (crossing_[k] < 0.0 && f.V[at[k]] > kSpikeLevel) crossing_[k] = t;
  }
  quarterDistance_ = static_cast<double>(at[2] - at[1]) * f.Props.dx;
  if (WantsLFP()) {
    lfp_->AddPoint(0, ms, lfp * 1000.0);
    lfp_->AddPoint(1, ms, -f.JmSoma * 1e9);
  }
  if (!sinceDrawn_.isValid() || sinceDrawn_.elapsed() >= kRedrawMs) {
    RefreshCharts();
    sinceDrawn_.start();
  }
}

void FiberViewWindow::RefreshCharts() {
  for (Chart* c : {voltage_, conductance_, gates_, currents_, inputs_, densities_, lfp_, ends_}) c->Refresh();
}

void FiberViewWindow::Distribution(const TFiber& f, const FiberDerived& d) {
  densities_->ClearAll();
  for (std::int32_t i = 0; i <= f.N(); ++i) {
    const NeuronProperties& np = f.Nodes[static_cast<std::size_t>(i)]->NP;
    const double values[] = {np.gNa, np.gNaR, np.gK, np.gKM, np.gAHP};
    for (int k = 0; k < 5; ++k) densities_->AddPoint(k, i, values[k]);
  }
  const auto labels = DerivedLabels(d);
  for (std::size_t i = 0; i < derived_.size(); ++i) derived_[i]->setText(QString::fromStdString(labels[i]));
  somaShape_->setVisible(f.Props.NP.Square != 0.0);
  densities_->Refresh();
}

void FiberViewWindow::Refresh() {
  wb_.RunCommand([this] { ShowDistribution(wb_.session(), wb_.inputs().fiber, wb_, *this); });
}

bool FiberViewWindow::Run() {
  if (wb_.Running()) return false;
  run_->setEnabled(false);
  endLine_->setText(QStringLiteral("Running ..."));
  QElapsedTimer clock;
  clock.start();
  bool completed = false;
  const bool done = wb_.RunSimulation([this, &completed] {
    ShowDistribution(wb_.session(), wb_.inputs().fiber, wb_, *this);
    completed = !FiberRun(wb_.session(), wb_.inputs().fiber, wb_, *this).stopped;
    RefreshCharts();
  }, this);
  RefreshCharts();
  reached_ = wb_.session().run.t;  // the last step, drawn or not
  endLine_->setText(done ? EndOfRunText(completed, clock.nsecsElapsed() * 1e-9)
                         : QStringLiteral("The fiber did not run; the message says why."));
  run_->setEnabled(true);
  return done && completed;
}

QString FiberViewWindow::EndOfRunText(bool completed, double seconds) const {
  const auto ms = [](double t) { return QString::number(t * 1000.0, 'f', 2) + QStringLiteral(" ms"); };
  QString text = completed ? QStringLiteral("Run complete: %1 in %2 s.").arg(ms(reached_)).arg(seconds, 0, 'f', 1)
                           : QStringLiteral("Stopped at %1.").arg(ms(reached_));
  if (wb_.inputs().fiber.nDraw <= 0) {
    return text + QStringLiteral(" Drawn at the first step only (nDraw 0): the spike's way is not followed.");
  }
  if (crossing_[0] < 0.0) {
    return text + QStringLiteral(" The soma did not rise above \u221220 mV.");
  }
  text += QStringLiteral(" The soma rose above \u221220 mV at %1").arg(ms(crossing_[0]));
  if (crossing_[3] < 0.0) return text + QStringLiteral("; the far end did not.");
  text += QStringLiteral(", the far end at %1").arg(ms(crossing_[3]));
  if (crossing_[2] > crossing_[1] && crossing_[1] >= 0.0) {
    const double velocity = quarterDistance_ / (crossing_[2] - crossing_[1]) / 100.0;  // m/s
    text += QStringLiteral(": %1 m/s between a quarter and three quarters of the axon").arg(velocity, 0, 'f', 2);
  }
  return text + QStringLiteral(" (read at the drawn steps).");
}

}  // namespace membrix
