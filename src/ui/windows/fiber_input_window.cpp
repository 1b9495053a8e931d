#include "tasks/task_inputs.h"
#include "ui/windows/fiber_input_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "fiber/fiber.h"
#include "run/session.h"
#include "ui/numeric_input.h"
#include "ui/windows/sweep_window_support.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

template <std::size_t n>
QComboBox* MakeList(QWidget* owner, const char* name, const std::array<std::string_view, n>& items) {
  auto* box = new QComboBox(owner);
  box->setObjectName(QString::fromUtf8(name));
  for (std::string_view item : items) box->addItem(QString::fromUtf8(item.data(), static_cast<int>(item.size())));
  return box;
}

QCheckBox* MakeCheck(QWidget* owner, const char* name, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), owner);
  box->setObjectName(QString::fromUtf8(name));
  return box;
}

}  // namespace

FiberInputs WorkbenchFiberInputs() {
  FiberInputs in;
  in.Stimulation = FiberStimulation::EndSteps;
  in.Iind_Left = 3000.0;
  in.L = 3000.0;
  in.N = 200;
  in.NaDistribution = 2;  // "homogeneous"
  in.nDraw = 2;
  return in;
}

FiberInputWindow::FiberInputWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form20"));
  setWindowTitle(QStringLiteral("Form20: Distributed model"));
  FiberInputs& in = wb_.inputs().fiber;

  // Stimulation.
  auto* stimBox = new QGroupBox(QStringLiteral("Stimulation:"), this);
  auto* stimGrid = new QGridLayout(stimBox);
  stimulation_ = MakeList(stimBox, "ComboBox2", kFiberStimulationNames);
  connect(stimulation_, &QComboBox::currentIndexChanged, this,
          [&in](int i) { in.Stimulation = static_cast<FiberStimulation>(std::max(0, i)); });
  stimGrid->addWidget(stimulation_, 0, 0, 1, 2);
  alpha_ = AddSweepInput(stimBox, stimGrid, 1, "DDSpinEdit6", "alpha_Hz", 1, [&in](double v) { in.alpha_Hz = v; });
  auto* pages = new QTabWidget(stimBox);
  auto* currents = new QWidget(pages);
  auto* currentGrid = new QGridLayout(currents);
  iLeft_ = AddSweepInput(currents, currentGrid, 0, "DDSpinEdit1", "Iind_Left, pA", 1,
                         [&in](double v) { in.Iind_Left = v; });
  iRight_ = AddSweepInput(currents, currentGrid, 1, "DDSpinEdit2", "Iind_Right, pA", 1,
                          [&in](double v) { in.Iind_Right = v; });
  pages->addTab(currents, QStringLiteral("Currents"));
  auto* conductances = new QWidget(pages);
  auto* gGrid = new QGridLayout(conductances);
  gLeft_ = AddSweepInput(conductances, gGrid, 0, "DDSpinEdit14", "Gs, nS  left", 3, [&in](double v) { in.Gs_Left = v; });
  gRight_ = AddSweepInput(conductances, gGrid, 1, "DDSpinEdit15", "Gs, nS  right", 3,
                          [&in](double v) { in.Gs_Right = v; });
  vLeft_ = AddSweepInput(conductances, gGrid, 2, "DDSpinEdit16", "Vrev, mV  left", 1,
                         [&in](double v) { in.Vrev_Left = v; });
  vRight_ = AddSweepInput(conductances, gGrid, 3, "DDSpinEdit20", "Vrev, mV  right", 1,
                          [&in](double v) { in.Vrev_Right = v; });
  pages->addTab(conductances, QStringLiteral("Conductances"));
  stimGrid->addWidget(pages, 2, 0, 1, 2);

  // Channel distribution.
  auto* distBox = new QGroupBox(QStringLiteral("Channel distribution:"), this);
  auto* distGrid = new QGridLayout(distBox);
  wNa_ = AddSweepInput(distBox, distGrid, 0, "DDSpinEdit3", "disbalance of gNa, w=", 3, [&in](double v) { in.wNa = v; });
  wNa_->setHint(QStringLiteral("if 0 then gNa in axon is 0."));
  wK_ = AddSweepInput(distBox, distGrid, 1, "DDSpinEdit7", "disbalance of gK,    w=", 3, [&in](double v) { in.wK = v; });
  wK_->setHint(QStringLiteral("if 0 then gK in axon is 0."));
  for (NumericInput* w : {wNa_, wK_}) {
    connect(w, &NumericInput::doubleClicked, this, [w] { w->setValue(1.0); });
  }
  homogeneous_ = MakeCheck(distBox, "CheckBox2", "Homogeneous gNa, gK in axon");
  rightHalf_ = MakeCheck(distBox, "CheckBox5", "Right half of axon is passive");
  noAdaptation_ = MakeCheck(distBox, "CheckBox1", "No adaptation on the fiber");
  connect(homogeneous_, &QCheckBox::toggled, this, [&in](bool on) { in.Homogeneous = on ? 1 : 0; });
  connect(rightHalf_, &QCheckBox::toggled, this, [&in](bool on) { in.RightHalfPassive = on ? 1 : 0; });
  connect(noAdaptation_, &QCheckBox::toggled, this, [&in](bool on) { in.NoAdaptation = on ? 1 : 0; });
  distGrid->addWidget(homogeneous_, 2, 0, 1, 2);
  distGrid->addWidget(rightHalf_, 3, 0, 1, 2);
  distGrid->addWidget(noAdaptation_, 4, 0, 1, 2);
  naDistribution_ = MakeList(distBox, "ComboBox1", kNaDistributionNames);
  kDistribution_ = MakeList(distBox, "ComboBox3", kKDistributionNames);
  connect(naDistribution_, &QComboBox::currentIndexChanged, this, [&in](int i) { in.NaDistribution = std::max(0, i); });
  connect(kDistribution_, &QComboBox::currentIndexChanged, this, [&in](int i) { in.KDistribution = std::max(0, i); });
  distGrid->addWidget(naDistribution_, 5, 0, 1, 2);
  distGrid->addWidget(kDistribution_, 6, 0, 1, 2);

  // Geometry.
  auto* axonBox = new QGroupBox(QStringLiteral("Axon"), this);
  auto* axonGrid = new QGridLayout(axonBox);
  diam_ = AddSweepInput(axonBox, axonGrid, 0, "DDSpinEdit4", "diam, mum", 3, [&in](double v) { in.diam = v; });
  length_ = AddSweepInput(axonBox, axonGrid, 1, "DDSpinEdit5", "L, mum", 1, [&in](double v) { in.L = v; });
  rl_ = AddSweepInput(axonBox, axonGrid, 2, "DDSpinEdit17", "RL, Ohm*cm:", 1, [&in](double v) { in.RL = v; });
  for (NumericInput* x : {diam_, length_, rl_}) x->setHint(QStringLiteral("must be positive"));

  // Soma noise.
  auto* noiseBox = new QGroupBox(QStringLiteral("Noise"), this);
  auto* noiseGrid = new QGridLayout(noiseBox);
  tauNoise_ = AddSweepInput(noiseBox, noiseGrid, 0, "DDSpinEdit8", "tau_noise, ms", 2,
                            [&in](double v) { in.tau_noise = v; });
  amplE_ = AddSweepInput(noiseBox, noiseGrid, 1, "DDSpinEdit9", "Ampl_gE, mS/cm^2", 3, [&in](double v) { in.Ampl_gE = v; });
  amplI_ = AddSweepInput(noiseBox, noiseGrid, 2, "DDSpinEdit10", "Ampl_gl, mS/cm^2", 3, [&in](double v) { in.Ampl_gI = v; });
  meanE_ = AddSweepInput(noiseBox, noiseGrid, 3, "DDSpinEdit11", "mean_gE, mS/cm^2", 3, [&in](double v) { in.mean_gE = v; });
  meanI_ = AddSweepInput(noiseBox, noiseGrid, 4, "DDSpinEdit12", "mean_gI, mS/cm^2", 3, [&in](double v) { in.mean_gI = v; });

  // Segments and drawing.
  auto* spaceBox = new QGroupBox(QStringLiteral("Space"), this);
  auto* spaceGrid = new QGridLayout(spaceBox);
  // 1 ... 500 segments: an axon needs one, and its arrays hold 500. The
  // input shows the value taken once the edit ends.
  n_ = AddSweepInput(spaceBox, spaceGrid, 0, "DDSpinEdit19", "N", 0, [&in](double v) {
    in.N = static_cast<std::int32_t>(std::clamp(std::trunc(v), 1.0, static_cast<double>(kMaxFiberSegments)));
  });
  connect(n_, &NumericInput::valueCommitted, this, [this, &in](double v) {
    if (v != in.N) n_->setValue(in.N);
  });
  n_->setHint(QStringLiteral("segments of the axon, 1 ... 500"));
  auto* drawBox = new QGroupBox(QStringLiteral("Drawing"), this);
  auto* drawGrid = new QGridLayout(drawBox);
  // A negative interval becomes 1.
  nDraw_ = AddSweepInput(drawBox, drawGrid, 0, "DDSpinEdit18", "nDraw", 0,
                         [&in](double v) { in.nDraw = v < 0 ? 1 : static_cast<std::int32_t>(v); });
  connect(nDraw_, &NumericInput::valueCommitted, this, [this, &in](double v) {
    if (v != in.nDraw) nDraw_->setValue(in.nDraw);
  });
  nDraw_->setHint(QStringLiteral("DblClick for increment=1"));
  connect(nDraw_, &NumericInput::doubleClicked, this, [this] { nDraw_->setValue(0); });
  zDraw_ = AddSweepInput(drawBox, drawGrid, 1, "DDSpinEdit13", "zDraw/L", 2,
                         [&in](double v) { in.zDraw = std::clamp(v, 0.0, 1.0); });
  zDraw_->setHint(QStringLiteral("DblClick for increment=1"));
  connect(zDraw_, &NumericInput::doubleClicked, this, [this] { zDraw_->setValue(zDraw_->value() != 0.0 ? 0.0 : 1.0); });

  auto* left = new QVBoxLayout;
  left->addWidget(stimBox);
  left->addWidget(distBox);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(axonBox);
  right->addWidget(noiseBox);
  right->addWidget(spaceBox);
  right->addWidget(drawBox);
  right->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addLayout(right);
  ShowInputs();
}

void FiberInputWindow::ShowInputs() {
  const FiberInputs& in = wb_.inputs().fiber;
  const QSignalBlocker b1(stimulation_), b2(naDistribution_), b3(kDistribution_), b4(homogeneous_), b5(rightHalf_),
      b6(noAdaptation_);
  stimulation_->setCurrentIndex(static_cast<int>(in.Stimulation));
  naDistribution_->setCurrentIndex(in.NaDistribution);
  kDistribution_->setCurrentIndex(in.KDistribution);
  homogeneous_->setChecked(in.Homogeneous == 1);
  rightHalf_->setChecked(in.RightHalfPassive == 1);
  noAdaptation_->setChecked(in.NoAdaptation == 1);
  const std::pair<NumericInput*, double> values[] = {
      {alpha_, in.alpha_Hz}, {iLeft_, in.Iind_Left}, {iRight_, in.Iind_Right}, {gLeft_, in.Gs_Left},
      {gRight_, in.Gs_Right}, {vLeft_, in.Vrev_Left}, {vRight_, in.Vrev_Right}, {wNa_, in.wNa},
      {wK_, in.wK},         {diam_, in.diam},       {length_, in.L},         {rl_, in.RL},
      {tauNoise_, in.tau_noise}, {amplE_, in.Ampl_gE}, {amplI_, in.Ampl_gI}, {meanE_, in.mean_gE},
      {meanI_, in.mean_gI}, {n_, static_cast<double>(in.N)}, {nDraw_, static_cast<double>(in.nDraw)},
      {zDraw_, in.zDraw}};
  for (const auto& [input, v] : values) {
    const QSignalBlocker b(input);
    input->setValue(v);
  }
}

void FiberInputWindow::showEvent(QShowEvent* event) {
  ShowInputs();
  QWidget::showEvent(event);
}

}  // namespace membrix
