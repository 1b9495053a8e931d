#include "ui/windows/step_series_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "data/ramp_analyzer.h"
#include "data/step_series.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/protocol_keeper.h"
#include "ui/run_view_charts.h"
#include "ui/windows/data_tool_inputs.h"
#include "ui/windows/ramp_analyzer_window.h"
#include "ui/workbench.h"

namespace membrix {

class StepSeriesWindow::Sink final : public StepSeriesSink {
 public:
  explicit Sink(StepSeriesWindow& w) : w_(w) {}
  void Clear() override { w_.chart_->ClearAll(); }
  void Level(double V) override { w_.level_->setValue(V); }
  void Point(double V, const StepMinima& m, bool doubleSteps) override {
    w_.chart_->AddPoint(0, V, m.Imin / 1000.0);
    if (doubleSteps) w_.chart_->AddPoint(1, V, m.Imin2 / 1000.0);
    w_.chart_->Refresh();
  }

 private:
  StepSeriesWindow& w_;
};

namespace {

QCheckBox* BoundCheck(QWidget* owner, const char* name, const QString& caption, bool& field) {
  auto* box = new QCheckBox(caption, owner);
  box->setObjectName(QString::fromUtf8(name));
  box->setChecked(field);
  QObject::connect(box, &QCheckBox::toggled, owner, [&field](bool on) { field = on; });
  return box;
}

}  // namespace

StepSeriesWindow::StepSeriesWindow(Workbench& wb, RampAnalyzerWindow& analyzer, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb), analyzer_(analyzer) {
  setObjectName(QStringLiteral("Form18"));
  setWindowTitle(QStringLiteral("Form18: ramps and steps"));
  StepSeriesInputs& in = wb_.inputs().steps;

  auto* panel = new QVBoxLayout;
  auto* steps = new QGridLayout;
  NumericInput* n = AddBoundInput(this, steps, 0, 0, "DDSpinEdit1", "Number of voltage steps", 0, in.NSteps);
  n->setDoubleClickValue(0.0);
  AddBoundInput(this, steps, 1, 0, "DDSpinEdit2", "Vmin", 1, in.Vmin);
  AddBoundInput(this, steps, 2, 0, "DDSpinEdit3", "Vmax", 1, in.Vmax);
  level_ = AddBoundInput(this, steps, 3, 0, "DDSpinEdit4", "Current level", 1, in.CurrentLevel);
  AddBoundInput(this, steps, 4, 0, "DDSpinEdit8", "V0", 1, in.V0);
  AddBoundInput(this, steps, 5, 0, "DDSpinEdit5", "V_DepStep", 1, in.V_DepStep);
  panel->addLayout(steps);

  auto* timing = new QGroupBox(QStringLiteral("Timing"), this);
  auto* timingGrid = new QGridLayout(timing);
  AddBoundInput(this, timingGrid, 0, 0, "DDSpinEdit9", "Depolarizing step start, ms", 1, in.t1);
  AddBoundInput(this, timingGrid, 1, 0, "DDSpinEdit10", "Depolarizing step duration, ms", 1, in.d1);
  AddBoundInput(this, timingGrid, 2, 0, "DDSpinEdit11", "First step start, ms", 1, in.t2);
  AddBoundInput(this, timingGrid, 3, 0, "DDSpinEdit12", "End of steps, ms", 1, in.t3);
  panel->addWidget(timing);

  auto* doubles = new QGroupBox(QStringLiteral("Double steps"), this);
  auto* doublesGrid = new QGridLayout(doubles);
  doublesGrid->addWidget(BoundCheck(this, "CheckBox3", QStringLiteral("If double steps"), in.IfDoubleSteps), 0, 0, 1, 2);
  AddBoundInput(this, doublesGrid, 1, 0, "DDSpinEdit6", "dV between steps", 1, in.dV);
  AddBoundInput(this, doublesGrid, 2, 0, "DDSpinEdit7", "tau between steps", 1, in.d2);
  panel->addWidget(doubles);

  auto* sourceBox = new QGroupBox(QStringLiteral("DataSource"), this);
  sourceBox->setObjectName(QStringLiteral("RadioGroup1"));
  auto* sourceLayout = new QVBoxLayout(sourceBox);
  source_ = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) {
    auto* b = new QRadioButton(QString::fromUtf8(kStepDataSources[i].data(), kStepDataSources[i].size()), sourceBox);
    b->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
    source_->addButton(b, i);
    sourceLayout->addWidget(b);
  }
  source_->button(1)->setToolTip(
      QStringLiteral("The soma of the axon of \"Form20: Distributed model\" follows the steps"));
  source_->button(std::clamp(in.DataSource, 0, 2))->setChecked(true);
  connect(source_, &QButtonGroup::idClicked, this, &StepSeriesWindow::OnDataSource);
  panel->addWidget(sourceBox);

  panel->addWidget(BoundCheck(this, "CheckBox4",
                              QStringLiteral("Set VC-mode with Vh from Vexp from \"%1\"").arg(kStepProtocolFile),
                              in.SetVCatVexp));
  panel->addWidget(BoundCheck(this, "CheckBox1", QStringLiteral("IfClear"), in.IfClear));
  QCheckBox* lines = BoundCheck(this, "CheckBox2", QStringLiteral("Show lines"), in.ShowLines);
  panel->addWidget(lines);
  auto* run = new QPushButton(QStringLiteral("Run Steps"), this);
  run->setObjectName(QStringLiteral("Button1"));
  connect(run, &QPushButton::clicked, this, &StepSeriesWindow::RunSteps);
  panel->addWidget(run);
  panel->addStretch(1);

  chart_ = new Chart(this);
  chart_->setObjectName(QStringLiteral("Chart1"));
  chart_->AddSeries(QStringLiteral("Imin(V)"), SeriesKind::Line);
  chart_->AddSeries(QStringLiteral("Imin2(V)"), SeriesKind::Line);
  chart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("mV"));
  chart_->SetAxisTitle(ChartAxis::Left, QStringLiteral("nA"));
  connect(lines, &QCheckBox::toggled, this, [this](bool on) {
    for (int i = 0; i < 2; ++i) chart_->SetLineVisible(i, on);
    chart_->Refresh();
  });
  for (int i = 0; i < 2; ++i) chart_->SetLineVisible(i, in.ShowLines);
  auto* copy = new QPushButton(QStringLiteral("CopyToBMP"), this);
  copy->setObjectName(QStringLiteral("CopyToBMP"));
  connect(copy, &QPushButton::clicked, this, [this] { chart_->CopyToClipboard(); });
  auto* plots = new QVBoxLayout;
  plots->addWidget(chart_, 1);
  auto* row = new QHBoxLayout;
  row->addWidget(copy);
  row->addStretch(1);
  plots->addLayout(row);

  auto* top = new QHBoxLayout(this);
  auto* panelWidget = new QWidget(this);
  panelWidget->setLayout(panel);
  panelWidget->setFixedWidth(330);
  top->addWidget(panelWidget);
  top->addLayout(plots, 1);
  resize(980, 640);
}

StepSeriesWindow::~StepSeriesWindow() = default;

Session& StepSeriesWindow::s() const { return wb_.session(); }

void StepSeriesWindow::OnDataSource(int item) {
  wb_.inputs().steps.DataSource = item;
  if (item != 2) return;
  if (!analyzer_.ramp()) analyzer_.show();
  wb_.RunCommand([this] {
    analyzer_.ChooseRampFile();
    analyzer_.ReadChosenFile();
  });
}

void StepSeriesWindow::RunSteps() {
  Sink sink(*this);
  // The series sets up the main protocol to replay its steps (the recording
  // "ramp_.d" and, when asked, "VC at Vexp"): the main window shows what it set.
  const ProtocolKeeper keeper(wb_, QStringLiteral("The voltage-step series"), ProtocolKeeper::Ending::Show);
  wb_.RunSimulation([this, &sink] {
    // With the analyzer closed, the model's sweeps go to data of this window.
    TRamp* ramp = analyzer_.ramp();
    if (!ramp) {
      if (!ownRamp_) ownRamp_ = std::make_unique<TRamp>();
      ramp = ownRamp_.get();
    }
    RampSink none;
    RampSink& rampSink = analyzer_.ramp() ? analyzer_.sink() : none;
    const StepSeriesResult r = membrix::RunSteps(s(), wb_.inputs().steps, wb_.inputs().ramp, wb_.inputs().fiber, wb_,
                                                 *ramp, sink, wb_.views(), rampSink);
    if (!r.note.empty()) wb_.dialogs().ShowMessage(this, windowTitle(), QString::fromStdString(r.note));
  }, this);
  chart_->Refresh();
  wb_.Correspond();
}

}  // namespace membrix
