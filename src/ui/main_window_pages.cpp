// The main window's command row, its six pages of charts, memos and
// firing-clamp inputs, and the output list beside them.

#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

#include "run/output_variables.h"
#include "run/run_views.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "ui/chart.h"
#include "ui/main_window_parts.h"
#include "ui/numeric_input.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/data_tools.h"
#include "ui/windows/ensemble_window.h"
#include "ui/windows/reverse_problem_window.h"
#include "ui/windows/us_map_window.h"
#include "ui/workbench.h"

namespace membrix {

using main_window_parts::kVarToWrite;
using main_window_parts::Q;

namespace {

// The firing clamp's lists and measured functions.
const char* const kClampActions[] = {" Adjust  u and s",
                                     " Adjust  u",
                                     " Adjust  s",
                                     " Add adaptation  (-)",
                                     " Nothing",
                                     " Extract adaptation",
                                     " Estimate lack of adapt",
                                     " FC for adapted nu(u,s)",
                                     " Add adapt. to freq_H",
                                     " Adaptation and FC",
                                     " Extract adapt. and FC",
                                     " Estimate adaptation",
                                     " Estimate ad., do FC"};
const char* const kResetProtocols[] = {"Nothing", "Reset voltage", "Current pulse reset",
                                       "Meanders except apexes", "Meanders "};
const char* const kFunctionsF[] = {"Frequency", "VxZ",    "Width of AP", "MinVoltage",
                                   "Vmax-Vmin", "VT_1ms", "Th"};
const char* const kFunctionsG[] = {
    "Potential rate, dV/dt", "Average voltage", "MinVoltage", "MaxVoltage", "Convolution", "VxZ", "IxZ"};
constexpr int kNothingAction = 4;
constexpr int kVT_1ms = 5;
QGroupBox* RadioGroupBox(const QString& name, const QString& title, const char* const* items, int count,
                         int columns, QButtonGroup*& group, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  group = new QButtonGroup(box);
  group->setObjectName(name + QStringLiteral("Items"));
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(1);
  const int rows = (count + columns - 1) / columns;
  for (int i = 0; i < count; ++i) {
    auto* b = new QRadioButton(QString::fromUtf8(items[i]), box);
    group->addButton(b, i);
    grid->addWidget(b, i % rows, i / rows);
  }
  return box;
}

void SelectRadio(QButtonGroup* group, int index) {
  if (QAbstractButton* b = group->button(index)) b->setChecked(true);
}

}  // namespace

// ---- Building ---------------------------------------------------------------

NumericInput* MainWindow::AddInput(QGridLayout* grid, int row, int col, const char* name, const char* caption,
                                   int decimals, const char* hint, bool resetOnDoubleClick,
                                   std::function<void(double)> store) {
  auto* label = new QLabel(QString::fromUtf8(caption).trimmed(), this);
  label->setObjectName(QString::fromUtf8(caption));
  auto* input = new NumericInput(this, decimals);
  input->setObjectName(QString::fromUtf8(name));
  input->setMaximumWidth(84);
  input->setMinimumWidth(64);
  label->setBuddy(input);
  if (hint != nullptr) {
    input->setToolTip(QString::fromUtf8(hint));
    label->setToolTip(QString::fromUtf8(hint));
  }
  if (!resetOnDoubleClick) input->setDoubleClickValue(std::nullopt);
  connect(input, &NumericInput::valueChanged, this, [store = std::move(store)](double v) { store(v); });
  grid->addWidget(label, row, col, Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(input, row, col + 1);
  return input;
}

QPushButton* MainWindow::AddButton(const QString& caption, const char* hint) {
  auto* b = new QPushButton(caption, this);
  b->setObjectName(caption);
  if (hint != nullptr) b->setToolTip(QString::fromUtf8(hint));
  return b;
}

QWidget* MainWindow::BuildTopArea() {
  auto* area = new QWidget(this);
  auto* row = new QHBoxLayout(area);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(12);

  // The run and the tool windows.
  auto* buttons = new QGridLayout;
  buttons->setHorizontalSpacing(4);
  buttons->setVerticalSpacing(3);
  runClamp_ = AddButton(QStringLiteral("RunClamp"), "Run I-clamp or V-clamp");
  QFont bold = runClamp_->font();
  bold.setBold(true);
  runClamp_->setFont(bold);
  runClamp_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(runClamp_, &QPushButton::clicked, this, &MainWindow::OnRunClamp);
  auto* clear = AddButton(QStringLiteral("Clear"));
  connect(clear, &QPushButton::clicked, this, &MainWindow::OnClear);
  pause_ = AddButton(QStringLiteral("Pause"), "Holds a running computation until pressed again");
  pause_->setCheckable(true);
  connect(pause_, &QPushButton::clicked, this, &MainWindow::OnPause);
  buttons->addWidget(runClamp_, 0, 0);
  buttons->addWidget(clear, 0, 1);
  buttons->addWidget(pause_, 0, 2);

  // The task windows: each button shows its window.
  auto* fI = AddButton(QStringLiteral("f-I -curve"));
  fI->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* fIMenu = new QMenu(fI);
  auto* fIChoice = new QActionGroup(fIMenu);
  frequencyItem_ =
      AddAction(fIMenu, QStringLiteral("Frequency:  nu(Iind)"), QStringLiteral("Frequency:  nu(Iind)"), true);
  QAction* plot2D =
      AddAction(fIMenu, QStringLiteral("Plot 2D: nu(u,s)"), QStringLiteral("Plot 2D: nu(u,s)"), true);
  fIChoice->addAction(frequencyItem_);
  fIChoice->addAction(plot2D);
  connect(fI, &QPushButton::customContextMenuRequested, this,
          [fI, fIMenu](const QPoint& at) { fIMenu->popup(fI->mapToGlobal(at)); });
  const char* const tools[] = {"Adaptation", "(u,s) -plot", "Threshold",  "Rate (ens.)",
                               "HH approx.", "Axon",        "ramps/steps"};
  std::vector<QPushButton*> toolButtons = {fI};
  for (const char* t : tools) toolButtons.push_back(AddButton(QString::fromUtf8(t)));
  for (std::size_t i = 0; i < toolButtons.size(); ++i) {
    buttons->addWidget(toolButtons[i], 1 + static_cast<int>(i) / 4, static_cast<int>(i) % 4);
  }
  axon_ = toolButtons[6];
  fI->setToolTip(QStringLiteral("The f-I curve; right click: the (u,s) map instead"));
  toolButtons[1]->setToolTip(QStringLiteral("Adaptation: the first inter-spike intervals against the current"));
  toolButtons[2]->setToolTip(QStringLiteral("Firing rate and other functions on the (u,s) plane"));
  toolButtons[3]->setToolTip(QStringLiteral("Voltage threshold of the refractory neuron"));
  connect(fI, &QPushButton::clicked, this, [this] {
    if (frequencyItem_->isChecked()) analysisWindows().ShowFI();
    else analysisWindows().ShowUSMap();  // "Plot 2D: nu(u,s)" is ticked
  });
  connect(toolButtons[2], &QPushButton::clicked, this, [this] { analysisWindows().ShowUSMap(); });
  connect(toolButtons[1], &QPushButton::clicked, this, [this] { analysisWindows().ShowAdaptation(); });
  connect(toolButtons[3], &QPushButton::clicked, this, [this] { analysisWindows().ShowThreshold(); });
  // "Axon": only while no run is in progress; disabled while the fiber runs.
  axon_->setToolTip(QStringLiteral("Shows the distributed model (a soma with its axon) and runs it"));
  connect(axon_, &QPushButton::clicked, this, [this] {
    if (wb_.Running()) return;
    axon_->setEnabled(false);
    analysisWindows().RunAxon();
    axon_->setEnabled(true);
  });
  // "Rate (ens.)" opens the ensemble window with the synapse window of the network.
  toolButtons[4]->setToolTip(QStringLiteral("Population rate of ensembles with dispersed thresholds, noise or "
                                            "Gaussian conductances, and of the inhibitory network"));
  connect(toolButtons[4], &QPushButton::clicked, this, [this] { ShowEnsembleWindow(wb_, this); });
  QPushButton* rampsSteps = toolButtons[7];
  rampsSteps->setToolTip(QStringLiteral("The voltage-step series with the ramp analyzer of recorded sweeps"));
  connect(rampsSteps, &QPushButton::clicked, this, [this] { OpenRampsAndSteps(wb_); });
  // "HH approx." opens the reverse-problem window.
  toolButtons[5]->setToolTip(QStringLiteral("Fit Na or K rate coefficients to voltage-clamp conductances"));
  connect(toolButtons[5], &QPushButton::clicked, this, [this] { ShowReverseProblemWindow(wb_, this); });
  auto* saveAny = AddButton(QStringLiteral("Save any curve"), "Write one variable of the run to a file");
  auto* drawAny =
      AddButton(QStringLiteral("Draw any curve"), "Plot one variable of the run in a window of its own");
  auto* printScreen =
      AddButton(QStringLiteral("Print Screen"), "Saves a picture of the screen as Screen.jpg");
  connect(saveAny, &QPushButton::clicked, this, [this] { OnShowOutputList(false); });
  connect(drawAny, &QPushButton::clicked, this, [this] { OnShowOutputList(true); });
  connect(printScreen, &QPushButton::clicked, this, &MainWindow::OnPrintScreen);
  buttons->addWidget(saveAny, 0, 3);
  buttons->addWidget(drawAny, 0, 4);
  buttons->addWidget(printScreen, 1, 4);
  runCommands_ = {runClamp_, saveAny, drawAny};
  row->addLayout(buttons);

  // The stimulus of a clamp run.
  auto* inputs = new QGridLayout;
  inputs->setHorizontalSpacing(4);
  inputs->setVerticalSpacing(3);
  StimulusGlobals& stim = s().stim;
  RunGlobals& run = s().run;
  AddInput(inputs, 0, 0, "DDSpinEdit1", " Iind, pA   ", 1, "at soma", true,
           [&stim](double v) { stim.Iind = v; });
  // The command voltage shares its place; the clamp mode shows one of the two.
  NumericInput* vh = AddInput(inputs, 0, 0, "DDSpinEdit4", " Vh, mV ", 1, "at soma", false,
                              [this](double v) { s().stim.Vh = v / 1000.0 + s().NP0.Vrest; });
  vh->hide();
  findChild<QLabel*>(QStringLiteral(" Vh, mV "))->hide();
  AddInput(inputs, 0, 2, "DDSpinEdit2", " t_Iind, ms", 1, nullptr, false,
           [&stim](double v) { stim.t_Iind = v / 1000.0; });
  AddInput(inputs, 0, 4, "DDSpinEdit3", " t_end, ms", 1, nullptr, false,
           [&run](double v) { SetRunLength(run, v / 1000.0); });
  AddInput(inputs, 0, 6, "DDSpinEdit14", " Freq_Iind, Hz ", 1, nullptr, false,
           [&stim](double v) { stim.Freq_Iind = v; });
  AddInput(inputs, 0, 8, "DDSpinEdit20", " t_IindShift, ms: ", 1, nullptr, true,
           [&stim](double v) { stim.t_IindShift = v / 1000.0; });
  AddInput(inputs, 1, 0, "DDSpinEdit5", "u", 2, "at dendrite, in muA/cm^2", true,
           [&stim](double v) { stim.uu = v / 1000.0; });
  AddInput(inputs, 1, 2, "DDSpinEdit6", "s", 3, "at dendrite, in mS/cm^2", true,
           [&stim](double v) { stim.ss = v; });
  AddInput(inputs, 1, 4, "DDSpinEdit22", "t", 3, "NMDA amplitude, mS/cm^2", false,
           [&stim](double v) { stim.gNMDA = v; });
  AddInput(inputs, 1, 6, "DDSpinEdit23", " s_soma   ", 3, "mS/cm^2", true,
           [&stim](double v) { stim.s_soma = v; });
  row->addLayout(inputs);
  row->addStretch(1);

  // The run's status.
  auto* status = new QVBoxLayout;
  timeLabel_ = new QLabel(QStringLiteral("Time="), this);
  timeLabel_->setObjectName(QStringLiteral("Time="));
  timeLabel_->setMinimumWidth(110);
  QFont mono = timeLabel_->font();
  mono.setFamily(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  timeLabel_->setFont(mono);
  fileLabel_ = new QLabel(QStringLiteral("FileLabel"), this);
  fileLabel_->setObjectName(QStringLiteral("FileLabel"));
  fileLabel_->setToolTip(QStringLiteral("The recording of the run"));
  status->addWidget(timeLabel_);
  status->addWidget(fileLabel_);
  status->addStretch(1);
  row->addLayout(status);
  return area;
}

Chart* MainWindow::AddChart(int number, const char* title) {
  auto* c = new Chart(this);
  c->setObjectName(QStringLiteral("Chart%1").arg(number));
  if (title != nullptr) c->SetTitle(QString::fromUtf8(title));
  charts_[number] = c;
  return c;
}

QPushButton* MainWindow::AddSaveButton(int writeMode, const QString& item) {
  auto* b = new QPushButton(QStringLiteral("Save"), this);
  b->setObjectName(QStringLiteral("Save%1").arg(writeMode));
  auto* menu = new QMenu(b);
  QAction* a = AddAction(menu, item, item);
  connect(a, &QAction::triggered, this, [this, writeMode] { OnSaveTrace(writeMode); });
  b->setMenu(menu);
  saveButtons_.push_back(b);
  runCommands_.push_back(b);
  return b;
}

namespace {

// A row of buttons under the charts of a page.
QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> buttons) {
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  for (QWidget* b : buttons) row->addWidget(b);
  row->addStretch(1);
  return row;
}

}  // namespace

QWidget* MainWindow::BuildVoltagePage() {
  auto* page = new QWidget(this);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(2, 2, 2, 2);
  Chart* voltage = AddChart(1, nullptr);
  voltage->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  voltage->SetAxisTitle(ChartAxis::Left, QStringLiteral("mV"));
  voltage->SetAxisTitle(ChartAxis::Right, QStringLiteral("mS/cm^2"));
  voltage->AddSeries(QStringLiteral(" V "), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 0, 200));
  const int surgery = voltage->AddSeries(QStringLiteral(" Surgery"), SeriesKind::Points, ChartAxis::Left);
  voltage->SetSeriesVisible(surgery, false);
  voltage->AddSeries(QStringLiteral("Vd"), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 140, 0));
  voltage->AddSeries(QStringLiteral("Thr"), SeriesKind::FastLine, ChartAxis::Left, QColor(230, 120, 0));
  voltage->AddSeries(QStringLiteral("g"), SeriesKind::FastLine, ChartAxis::Right, QColor(140, 0, 160));
  voltage->AddSeries(QStringLiteral("Spike"), SeriesKind::Points, ChartAxis::Left, QColor(200, 0, 0));

  Chart* current = AddChart(2, nullptr);
  current->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  current->SetAxisTitle(ChartAxis::Left, QStringLiteral("nA"));
  current->SetAxisTitle(ChartAxis::Right, QStringLiteral("mA/cm^2"));
  const int psc = current->AddSeries(QStringLiteral("PSC"), SeriesKind::FastLine, ChartAxis::Left);
  current->SetSeriesVisible(psc, false);
  current->AddSeries(QStringLiteral("-Im"), SeriesKind::FastLine, ChartAxis::Right, QColor(0, 0, 0));
  current->AddSeries(QStringLiteral("-INa"), SeriesKind::FastLine, ChartAxis::Right, QColor(200, 0, 0));
  current->AddSeries(QStringLiteral("-IK-IKA-IKD"), SeriesKind::FastLine, ChartAxis::Right,
                     QColor(0, 0, 200));
  current->AddSeries(QStringLiteral("du_Reset"), SeriesKind::FastLine, ChartAxis::Right, QColor(0, 140, 0));

  v->addWidget(voltage, 3);
  v->addWidget(current, 2);
  auto* toCurrent = AddButton(QStringLiteral("Adjust range to current"),
                              "The voltage chart takes the time range of the current chart");
  auto* toVoltage = AddButton(QStringLiteral("Adjust range to voltage"),
                              "The current chart takes the time range of the voltage chart");
  auto* automatic = AddButton(QStringLiteral("Auto"), "Automatic time axes");
  auto* copy = AddButton(QStringLiteral("CopyToBMP"), "Copies the charts to the clipboard as a picture");
  connect(toCurrent, &QPushButton::clicked, this, [this] { OnAdjustTimeAxis(charts_[2], charts_[1]); });
  connect(toVoltage, &QPushButton::clicked, this, [this] { OnAdjustTimeAxis(charts_[1], charts_[2]); });
  connect(automatic, &QPushButton::clicked, this, &MainWindow::OnAutoTimeAxes);
  connect(copy, &QPushButton::clicked, this, [this] { OnCopyPage({charts_[1], charts_[2]}); });
  v->addLayout(
      ButtonRow({toCurrent, toVoltage, automatic, copy, AddSaveButton(1, QStringLiteral("Save V to file"))}));
  return page;
}

QWidget* MainWindow::BuildConductancePage() {
  auto* page = new QWidget(this);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(2, 2, 2, 2);
  Chart* gates = AddChart(4, nullptr);
  gates->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  gates->SetAxisTitle(ChartAxis::Left, QStringLiteral("gating variables"));
  for (const char* name :
       {"mmR", "hhR", "mm", "hh", "ii", "XNa[1]", "XNa[2]", "XNa[3]", "XNa[4]", "XNa[13]"}) {
    gates->AddSeries(QString::fromUtf8(name), SeriesKind::FastLine);
  }
  Chart* slow = AddChart(5, nullptr);
  slow->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  slow->SetAxisTitle(ChartAxis::Left, QStringLiteral("gating variables"));
  for (const char* name : {"nn", "nM", "wAHP", "wADP"})
    slow->AddSeries(QString::fromUtf8(name), SeriesKind::FastLine);
  v->addWidget(gates, 1);
  v->addWidget(slow, 1);
  auto* hint = new QLabel(this);
  emptyPageHints_.push_back(hint);
  v->addWidget(hint, 1);
  auto* copy = AddButton(QStringLiteral("CopyToBMP"), "Copies the charts to the clipboard as a picture");
  copy->setObjectName(QStringLiteral("CopyToBMP2"));
  connect(copy, &QPushButton::clicked, this, [this] { OnCopyPage({charts_[4], charts_[5]}); });
  v->addLayout(ButtonRow(
      {copy, AddSaveButton(3, QStringLiteral("Save mmR and hhR (m and h for slow Na-current) to file"))}));
  return page;
}

QWidget* MainWindow::BuildModelPage() {
  auto* page = new QWidget(this);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(2, 2, 2, 2);
  Chart* c = AddChart(3, nullptr);
  c->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  c->SetAxisTitle(ChartAxis::Left, QStringLiteral("Model's units"));
  c->SetAxisTitle(ChartAxis::Right, QStringLiteral("Experiment's units"));
  c->AddSeries(QStringLiteral("Model"), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 0, 200));
  c->AddSeries(QStringLiteral("Experiment"), SeriesKind::FastLine, ChartAxis::Right, QColor(200, 0, 0));
  v->addWidget(c, 1);
  BuildModelAgainstRecording(v);
  auto* copy = AddButton(QStringLiteral("CopyToBMP"), "Copies the chart to the clipboard as a picture");
  copy->setObjectName(QStringLiteral("CopyToBMP3"));
  connect(copy, &QPushButton::clicked, this, [this] {
    // The form the page shows, whether or not the page is in front.
    if (ModelOnOneAxis()) {
      OnCopyPage({modelOverlay_, residual_});
    } else {
      OnCopyPage({charts_[3]});
    }
  });
  v->addLayout(ButtonRow({copy, AddSaveButton(2, QStringLiteral("Save exp.&mod. curves to file")), oneAxis_}));
  return page;
}

QWidget* MainWindow::BuildNotesPage() {
  auto* page = new QWidget(this);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(2, 2, 2, 2);
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  auto memo = [this, &mono](const char* name, const char* hint, bool editable) {
    auto* m = new QPlainTextEdit(this);
    m->setObjectName(QString::fromUtf8(name));
    m->setFont(mono);
    m->setReadOnly(!editable);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setPlaceholderText(QString::fromUtf8(hint));
    m->setToolTip(QString::fromUtf8(hint));
    return m;
  };
  simplexMemo_ = memo("SimplexMemo", "Messages of the fitting and of the parameter input", false);
  paramsMemo_ = memo("ParamsMemo",
                     "Every assignment read from a parameter file. Double click: apply the lines "
                     "as a parameter file",
                     true);
  coeMemo_ = memo("CoeMemo", "The fitted coefficients", false);
  QPalette purple = coeMemo_->palette();
  purple.setColor(QPalette::Text, QColor(128, 0, 128));
  coeMemo_->setPalette(purple);
  paramsMemo_->viewport()->installEventFilter(this);
  auto* split = new QSplitter(Qt::Horizontal, page);
  split->addWidget(simplexMemo_);
  split->addWidget(paramsMemo_);
  auto* vsplit = new QSplitter(Qt::Vertical, page);
  vsplit->addWidget(split);
  vsplit->addWidget(coeMemo_);
  vsplit->setStretchFactor(0, 3);
  vsplit->setStretchFactor(1, 1);
  v->addWidget(vsplit);
  return page;
}

QWidget* MainWindow::BuildFiringClampPage() {
  auto* page = new QWidget(this);
  page->setObjectName(QStringLiteral("FiringClampPanel"));
  page->setToolTip(QStringLiteral("Double click: show the charts and the Save buttons of the other pages"));
  page->installEventFilter(this);
  firingClampPanel_ = page;
  auto* v = new QHBoxLayout(page);
  v->setContentsMargins(6, 6, 6, 6);
  v->setSpacing(12);

  auto* inputs = new QGridLayout;
  inputs->setVerticalSpacing(3);
  ProgramGlobals& prog = s().prog;
  StimulusGlobals& stim = s().stim;
  AddInput(inputs, 0, 0, "DDSpinEdit7", " NoiseToSignal: ", 2, nullptr, true,
           [&prog](double v) { prog.NoiseToSignal = v; });
  AddInput(inputs, 1, 0, "DDSpinEdit8", " Freq. hold: ", 1, "Hz", true,
           [&prog](double v) { prog.FC_freq = v; });
  AddInput(inputs, 2, 0, "DDSpinEdit9", " dFreq/du: ", 0, nullptr, true,
           [&prog](double v) { prog.FC_dFdu = v; });
  AddInput(inputs, 3, 0, "DDSpinEdit10", " tau_E:", 1, "ms", true,
           [&prog](double v) { prog.tau_E = v / 1000.0; });
  AddInput(inputs, 4, 0, "DDSpinEdit11", " tau_I : ", 1, "ms", true,
           [&prog](double v) { prog.tau_I = v / 1000.0; });
  // " tau_Noise:" and " Vmin" share the handler that reads " tau_Noise:".
  NumericInput* tauNoise = AddInput(inputs, 5, 0, "DDSpinEdit12", " tau_Noise:", 1, "ms; 0 = white noise",
                                    true, [&stim](double v) { stim.tau_Noise = v / 1000.0; });
  AddInput(inputs, 6, 0, " dt, ms ", " dt, ms ", 3, nullptr, false, [this](double v) {
    // A time step of 0 or less would stop the run's clock; it is never taken.
    if (v > 0) SetTimeStep(s().run, v / 1000.0);
  });
  AddInput(inputs, 7, 0, "DDSpinEdit15", " I0, mkA/cm^2:", 2, nullptr, true,
           [&prog](double v) { prog.FC_I0 = v / 1000.0; });
  AddInput(inputs, 0, 2, "DDSpinEdit16", " Surgery: thresh. ", 1, "silence threshold, in target periods",
           false, [this](double v) { wb_.inputs().firingClamp.SurgeryThreshold = v; })
      ->setValue(1.5);
  AddInput(inputs, 1, 2, "DDSpinEdit17", " du, mA/cm^2: ", 1, nullptr, false,
           [this](double v) { wb_.inputs().firingClamp.SurgeryDu = v / 1000.0; })->setValue(2.0);
  AddInput(inputs, 2, 2, "DDSpinEdit18", " du_Reset, muA/cm^2:", 1, nullptr, false, [this](double v) {
    s().resetInputs.du_ResetAmplitude = v / 1000.0;
  })->setValue(-15.0);
  AddInput(inputs, 3, 2, "DDSpinEdit19", " Vmin", 1, "mV", false, [this, &stim, tauNoise](double v) {
    stim.tau_Noise = tauNoise->value() / 1000.0;
    s().resetInputs.Vmin = v / 1000.0;
  })->setValue(-70.0);
  AddInput(inputs, 4, 2, "DDSpinEdit21", "Reset at spike, mV", 1, nullptr, false, [this](double v) {
    s().resetInputs.ResetAtSpike = v / 1000.0;
  })->setValue(-15.0);

  actionList_ = new QComboBox(this);
  actionList_->setObjectName(QStringLiteral("ComboBox1"));
  for (const char* a : kClampActions) actionList_->addItem(QString::fromUtf8(a));
  actionList_->setCurrentIndex(-1);
  actionList_->setToolTip(QStringLiteral("What the firing clamp corrects"));
  resetList_ = new QComboBox(this);
  resetList_->setObjectName(QStringLiteral("ComboBox2"));
  for (const char* r : kResetProtocols) resetList_->addItem(QString::fromUtf8(r));
  resetList_->setCurrentIndex(-1);
  resetList_->setToolTip(QStringLiteral("Reset protocol after a spike"));
  connect(resetList_, qOverload<int>(&QComboBox::activated), this, &MainWindow::OnResetListChosen);
  connect(actionList_, &QComboBox::currentIndexChanged, this, [this](int i) { wb_.inputs().firingClamp.Mode = i; });
  connect(resetList_, &QComboBox::currentIndexChanged, this,
          [this](int i) { s().resetInputs.Reset = static_cast<ResetProtocol>(i); });
  noiseList_ = new QComboBox(this);
  noiseList_->setObjectName(QStringLiteral("NoiseList"));
  for (std::string_view n : kNoiseListNames) noiseList_->addItem(Q(n));
  noiseList_->setToolTip(
      QStringLiteral("The noise of a run: in the input conductances or in the injected current"));
  connect(noiseList_, qOverload<int>(&QComboBox::activated), this,
          [this](int i) { s().stim.noiseList = static_cast<NoiseList>(i); });
  auto* lists = new QGridLayout;
  lists->addWidget(new QLabel(QStringLiteral("Clamp:"), this), 0, 0);
  lists->addWidget(actionList_, 0, 1);
  lists->addWidget(new QLabel(QStringLiteral("Reset:"), this), 1, 0);
  lists->addWidget(resetList_, 1, 1);
  lists->addWidget(new QLabel(QStringLiteral("Noise:"), this), 2, 0);
  lists->addWidget(noiseList_, 2, 1);
  inputs->addLayout(lists, 5, 2, 3, 2);

  auto* left = new QVBoxLayout;
  left->addLayout(inputs);
  auto* boxes = new QHBoxLayout;
  auto* statistics = new QCheckBox(QStringLiteral(" Statistics"), this);
  statistics->setObjectName(QStringLiteral("CheckBox1"));
  auto* kernel = new QCheckBox(QStringLiteral(" Kernel "), this);
  kernel->setObjectName(QStringLiteral("CheckBox2"));
  auto* linear = AddButton(QStringLiteral("Make linear F,G"));
  for (QWidget* w : std::initializer_list<QWidget*>{statistics, kernel, linear}) boxes->addWidget(w);
  kernel->setToolTip(QStringLiteral("Shows the Z-function window: the kernel of the firing-clamp run"));
  connect(kernel, &QCheckBox::toggled, this, [this](bool on) { analysisWindows().SetKernelShown(on); });
  linear->setToolTip(QStringLiteral("Reads v(u_s).dat and replaces F and G by planes (or back)"));
  connect(linear, &QPushButton::clicked, this, [this, linear] {
    const bool toLinear = linear->text() == QStringLiteral("Make linear F,G");
    linear->setText(toLinear ? QStringLiteral("Undo linear F,G") : QStringLiteral("Make linear F,G"));
    wb_.inputs().fcAnalysis.linear = toLinear;  // what Check, Analyze and Trials invert against
    analysisWindows().ShowUSMap();
    analysisWindows().usMap().DrawFromFile(toLinear);
  });
  statistics->setToolTip(QStringLiteral("Shows the statistics of the running rate; clearing it switches them off"));
  connect(statistics, &QCheckBox::toggled, this, [this](bool on) { analysisWindows().SetStatisticsShown(on); });
  boxes->addStretch(1);
  left->addLayout(boxes);
  left->addStretch(1);
  v->addLayout(left);

  auto* functions = new QVBoxLayout;
  functions->addWidget(RadioGroupBox(QStringLiteral("RadioGroup3"),
                                     QStringLiteral("Function F to be measured:"), kFunctionsF, 7, 1,
                                     functionF_, this));
  functions->addWidget(RadioGroupBox(QStringLiteral("RadioGroup2"),
                                     QStringLiteral("Function G to be measured:"), kFunctionsG, 7, 1,
                                     functionG_, this));
  connect(functionF_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on) wb_.inputs().firingClamp.FunctionF = id;
  });
  connect(functionG_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on) wb_.inputs().firingClamp.FunctionG = id;
  });
  SelectRadio(functionF_, 0);
  SelectRadio(functionG_, 3);
  functions->addStretch(1);
  v->addLayout(functions);
  v->addStretch(1);
  return page;
}

QWidget* MainWindow::BuildPhasePage() {
  auto* page = new QWidget(this);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(2, 2, 2, 2);
  auto* h = new QHBoxLayout;
  Chart* phase = AddChart(6, "Phase plane");
  phase->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("V, mV"));
  phase->SetAxisTitle(ChartAxis::Left, QStringLiteral("dVdt, mV/ms"));
  phase->AddSeries(QStringLiteral("dVdt(V)"), SeriesKind::Points, ChartAxis::Left, QColor(0, 0, 200));
  Chart* iv = AddChart(7, "Dynamic I-V-function");
  iv->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("V, mV"));
  iv->SetAxisTitle(ChartAxis::Left, QStringLiteral("Im, mV/ms"));
  iv->AddSeries(QStringLiteral("Im(V)"), SeriesKind::Points, ChartAxis::Left, QColor(200, 0, 0));
  for (Chart* c : {phase, iv}) {
    c->SetLegendVisible(false);
    c->SetAxisAutomatic(ChartAxis::Bottom, true);
    c->SetPointsJoined(0, true);  // a trajectory, not a cloud of points
  }
  h->addWidget(phase);
  h->addWidget(iv);
  v->addLayout(h, 1);
  auto* copy = AddButton(QStringLiteral("CopyToBMP"), "Copies the charts to the clipboard as a picture");
  copy->setObjectName(QStringLiteral("CopyToBMP5"));
  connect(copy, &QPushButton::clicked, this, [this] { OnCopyPage({charts_[6], charts_[7]}); });
  auto* note = new QLabel(QStringLiteral("Drawn while this page is shown during a run."), this);
  v->addLayout(ButtonRow({copy, note}));
  return page;
}

QWidget* MainWindow::BuildPages() {
  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("PageControl1"));
  QWidget* voltage = BuildVoltagePage();
  // Page 0 shows a hint, too, when a fit has hidden its charts.
  auto* hint = new QLabel(this);
  emptyPageHints_.insert(emptyPageHints_.begin(), hint);
  static_cast<QVBoxLayout*>(voltage->layout())->insertWidget(2, hint, 1);
  pages_->addTab(voltage, QStringLiteral("Voltage and current trace"));
  pages_->addTab(BuildConductancePage(), QStringLiteral("Conductances"));
  pages_->addTab(BuildModelPage(), QStringLiteral("Model and Experiment"));
  pages_->addTab(BuildNotesPage(), QStringLiteral("Notes"));
  pages_->addTab(BuildFiringClampPage(), QStringLiteral("Firing-Clamp and PRC"));
  pages_->addTab(BuildPhasePage(), QStringLiteral("V-dVdt"));
  for (QLabel* h : emptyPageHints_) {
    h->setAlignment(Qt::AlignCenter);
    h->setWordWrap(true);
    h->setTextFormat(Qt::RichText);
    h->setText(
        QStringLiteral("The charts of this page are hidden while the notes are shown.<br>"
                       "<a href=\"show\">Show the charts</a>"));
    connect(h, &QLabel::linkActivated, this, [this](const QString&) { ShowChartsAndSaveButtons(); });
  }
  // The charts of a page draw what they missed when it is shown.
  connect(pages_, &QTabWidget::currentChanged, this, [this](int) {
    for (Chart* c : RunCharts()) {
      if (c->isVisible() && c->NeedsRefresh()) c->Refresh();
    }
  });
  return pages_;
}

QGroupBox* MainWindow::BuildVarToWrite() {
  varToWrite_ = RadioGroupBox(QStringLiteral("RadioGroup1"), QStringLiteral("Var to write"), kVarToWrite,
                              static_cast<int>(std::size(kVarToWrite)), 3, varToWriteItems_, this);
  connect(varToWriteItems_, &QButtonGroup::idClicked, this, &MainWindow::OnOutputItemChosen);
  varToWrite_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* close = new QMenu(varToWrite_);
  QAction* closeItem = AddAction(close, QStringLiteral("CloseRadioGroup"), QStringLiteral("CloseRadioGroup"));
  connect(closeItem, &QAction::triggered, this, &MainWindow::HideOutputList);
  connect(varToWrite_, &QWidget::customContextMenuRequested, this,
          [this, close](const QPoint& at) { close->popup(varToWrite_->mapToGlobal(at)); });
  varToWriteNote_ = new QPlainTextEdit(varToWrite_);
  varToWriteNote_->setObjectName(QStringLiteral("VarToWriteNote"));
  varToWriteNote_->setReadOnly(true);
  varToWriteNote_->setPlainText(
      QStringLiteral("Choose the variable of the run. A click here closes the list."));
  varToWriteNote_->setMaximumHeight(48);
  varToWriteNote_->viewport()->installEventFilter(this);
  auto* grid = static_cast<QGridLayout*>(varToWrite_->layout());
  grid->addWidget(varToWriteNote_, grid->rowCount(), 0, 1, grid->columnCount());
  varToWrite_->hide();
  return varToWrite_;
}
// The model and its recording on one axis in the recording's unit, with their
// difference below: a model within the recording's noise looks like one.
// Recordings in a unit of their own keep the two-axis chart.
void MainWindow::BuildModelAgainstRecording(QVBoxLayout* v) {
  modelOverlay_ = new Chart(this);
  modelOverlay_->setObjectName(QStringLiteral("ModelAgainstRecording"));
  modelOverlay_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  modelOverlay_->AddSeries(QStringLiteral("Experiment"), SeriesKind::FastLine, ChartAxis::Left,
                           Chart::PaletteColor(1));
  modelOverlay_->AddSeries(QStringLiteral("Model"), SeriesKind::Line, ChartAxis::Left, Chart::PaletteColor(0));
  residual_ = new Chart(this);
  residual_->setObjectName(QStringLiteral("Residual"));
  residual_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  residual_->AddSeries(QStringLiteral("Model - Exp."), SeriesKind::FastLine, ChartAxis::Left,
                       Chart::PaletteColor(6));
  residual_->setMinimumHeight(110);
  residual_->setMaximumHeight(170);
  v->addWidget(modelOverlay_, 3);
  v->addWidget(residual_, 1);
  oneAxis_ = new QCheckBox(QStringLiteral("One axis, with the residual"), this);
  oneAxis_->setObjectName(QStringLiteral("OneAxis"));
  oneAxis_->setToolTip(QStringLiteral("The model and the recording on one axis in the recording's unit, "
                                      "their difference below; off: each on its own axis"));
  oneAxis_->setChecked(true);
  connect(oneAxis_, &QCheckBox::toggled, this, [this] { ShowModelView(modelSharesUnit_, modelRecording_); });
  ShowModelView(false, false);
}

void MainWindow::ShowModelView(bool sharesUnit, bool recording) {
  modelSharesUnit_ = sharesUnit;
  modelRecording_ = recording;
  oneAxis_->setEnabled(sharesUnit);
  const bool one = sharesUnit && oneAxis_->isChecked();
  charts_[3]->setVisible(!one);
  modelOverlay_->setVisible(one);
  residual_->setVisible(one && recording);  // without a recording it would repeat the model
}

bool MainWindow::ModelOnOneAxis() const { return modelSharesUnit_ && oneAxis_->isChecked(); }
void MainWindow::ShowConductanceCharts() {
  charts_[4]->show();
  charts_[5]->show();
  UpdateEmptyPageHints();
}

void MainWindow::ShowChartsAndSaveButtons() {
  for (int n : {1, 2, 4, 5}) charts_[n]->show();
  for (QPushButton* b : saveButtons_) b->show();
  UpdateEmptyPageHints();
}

void MainWindow::UpdateEmptyPageHints() {
  if (emptyPageHints_.size() < 2) return;
  emptyPageHints_[0]->setVisible(charts_[1]->isHidden() && charts_[2]->isHidden());
  emptyPageHints_[1]->setVisible(charts_[4]->isHidden() && charts_[5]->isHidden());
}
void MainWindow::OnResetListChosen(int index) {
  if (index == 3 || index == 4) {
    // The meanders come with their own firing-clamp settings.
    actionList_->setCurrentIndex(kNothingAction);
    findChild<NumericInput*>(QStringLiteral("DDSpinEdit18"))->setValue(-40.0);
    SelectRadio(functionF_, kVT_1ms);
    findChild<NumericInput*>(QStringLiteral("DDSpinEdit8"))->setValue(200.0);
    findChild<NumericInput*>(QStringLiteral("DDSpinEdit10"))->setValue(30.0);
    findChild<NumericInput*>(QStringLiteral("DDSpinEdit11"))->setValue(40.0);
    findChild<NumericInput*>(QStringLiteral("DDSpinEdit6"))->setValue(0.2);
    findChild<NumericInput*>(QStringLiteral("DDSpinEdit3"))->setValue(400.0);
  }
  wb_.Correspond();
}

void MainWindow::OnFiringClampPanelDoubleClick() {
  // The firing-clamp window goes; the charts and "Save" buttons of the other
  // pages come back.
  if (QWidget* form8 = wb_.window(QStringLiteral("Form8"))) form8->hide();
  ShowChartsAndSaveButtons();
}

}  // namespace membrix
