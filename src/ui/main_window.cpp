#include "tasks/task_inputs.h"
#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <utility>

#include "common/error.h"
#include "common/version.h"
#include "data/fit_table.h"
#include "data/global_fit.h"
#include "data/simplex.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/recording.h"
#include "run/run_views.h"
#include "run/session.h"
#include "run/trace_files.h"
#include "ui/chart.h"
#include "ui/input_units.h"
#include "ui/protocol_keeper.h"
#include "ui/run_summary.h"
#include "ui/numeric_input.h"
#include "ui/parameter_window.h"
#include "ui/run_view_charts.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/us_map_window.h"
#include "ui/windows/data_tools.h"
#include "ui/windows/reverse_problem_window.h"
#include "ui/workbench.h"
#include "ui/settings_binding.h"
#include "ui/windows/act_inact_window.h"
#include "ui/windows/ensemble_window.h"
#include "ui/windows/fit_dialog.h"
#include "ui/windows/firing_clamp_window.h"
#include "run/output_variables.h"

namespace membrix {

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

// The output list "Var to write" in the order the window shows it.
const char* const kVarToWrite[] = {
    "mm",     "hh",   "ii",    "mmR",      "hhR",  "nn", "nA",   "lA",   "xD",   "yD",   "mCaT",
    "hCaT",   "mCaH", "hCaH",  "kCaH",     "nM",   "Ca", "nKCa", "mBst", "mNaP", "wAHP", "V",
    "Vexp",   "PSC",  "avPSC", "Vav ",     "INA",  "IK", "IKA",  "IKM",  "IH",   "IAHP", "Im",
    "Im-INa", "VatE", "yK",    "du_Reset", "wADP", "Vr", "uu",   "iiR",  "Iind", "lAHP"};

// The model families of the "HH_type" menu, in menu order, with the items'
// program names. "Bazhenov" never carries a mark.
struct NamedItem {
  const char* name;
  const char* caption;
};
constexpr NamedItem kFamilies[] = {
    {"Passive1", "Passive"}, {"Rariza1", "Rariza"}, {"Destexhe1", "Destexhe"}, {"Migliore1", "Migliore"},
    {"Cummins1", "Cummins"}, {"Chow1", "Chow"},     {"Lyle1", "Lyle"},         {"Naundorf1", "Naundorf"},
    {"White1", "White"},     {"White21", "White2"}, {"Shu1", "Shu"},           {"Bazhenov1", "Bazhenov"}};
constexpr NamedItem kGeometryItems[] = {{"N1point1", "1-point"},
                                        {"N2points1", "2-points"},
                                        {"N2pMainenSejn1", "2-p-MainenSejn"},
                                        {"N2pActiveDend1", "2-p-ActiveDend"}};

struct BlockageItem {
  const char* caption;
  std::int32_t NeuronProperties::*flag;
};
constexpr BlockageItem kBlockage[] = {
    {"I_NaR", &NeuronProperties::IfBlockNaR}, {"I_Na", &NeuronProperties::IfBlockNa},
    {"I_K", &NeuronProperties::IfBlockK},     {"I_KM", &NeuronProperties::IfBlockKM},
    {"I_KA", &NeuronProperties::IfBlockKA},   {"I_Pass", &NeuronProperties::IfBlockPass}};

// The File menu's fixed parameter files, in menu order; the person-named sets
// are those of the samples folder. Two of them are hidden at start.
struct FixedFile {
  const char* file;
  bool hiddenAtStart;
};
constexpr FixedFile kFixedFiles[] = {
    {"Cummins_Na.id", false}, {"Na_slow.id", false}, {"Na_slow_ina.id", false}, {"Na_V10&S12.id", false},
    {"Hodgkin_AP.id", false}, {"AP.id", false},      {"Chow_train.id", true},   {"Destexhe_adapt.id", true},
    {"Lyle_us.id", false},    {"ramp.id", false},    {"VC_steps.id", false},
    {"Act_Inact.id", false}};

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

const char* const kAboutText =
    "Membrix v.21.1 - single neurons, their channels and their recordings, simulated and compared.";

constexpr const char* kTraceFilter = "data-files|*.dat|all files|*.*";
constexpr const char* kIdFilter = "Files with paremeters (*.id)|*.id";
constexpr const char* kRecordingFilter = "recordings|*.dat;*.d;*.txt|all files|*.*";

// A menu caption shows "&" only when it is doubled.
QString MenuText(const QString& caption) {
  QString text = caption;
  return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

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

MainWindow::MainWindow(Workbench& workbench) : QMainWindow(nullptr), wb_(workbench) {
  // The program addresses its main window by this name.
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(ProgramTitle()));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(4);
  topArea_ = BuildTopArea();
  layout->addWidget(topArea_);
  auto* body = new QHBoxLayout;
  body->setSpacing(6);
  body->addWidget(BuildPages(), 1);
  body->addWidget(BuildVarToWrite());
  layout->addLayout(body, 1);
  setCentralWidget(central);
  BuildMenus();
  UpdateEmptyPageHints();
  ShowMainWindowUnits(this);
  BuildDesktopHabits();
  resize(1180, 760);
}

MainWindow::~MainWindow() = default;

Session& MainWindow::s() const { return wb_.session(); }

Chart* MainWindow::chart(int number) const {
  return number >= 1 && number < static_cast<int>(charts_.size()) ? charts_[number] : nullptr;
}

std::vector<Chart*> MainWindow::RunCharts() const {
  return {charts_[1], charts_[2], charts_[4], charts_[5], charts_[3], charts_[6], charts_[7]};
}

bool MainWindow::NoCleaning() const { return noCleaning_->isChecked(); }
bool MainWindow::FitPictureToExpData() const { return fitPicture_->isChecked(); }
bool MainWindow::PhasePageShown() const { return pages_->currentIndex() == 5; }

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

QAction* MainWindow::AddAction(QMenu* menu, const QString& name, const QString& caption, bool checkable) {
  QAction* a = menu->addAction(MenuText(caption));
  a->setObjectName(name);
  a->setCheckable(checkable);
  return a;
}

void MainWindow::BuildMenus() {
  BuildFileMenu();
  BuildParametersMenu();
  BuildTasksMenu();
  QAction* help = menuBar()->addAction(QStringLiteral("Help"));
  help->setObjectName(QStringLiteral("Help1"));
  connect(help, &QAction::triggered, this, [this] { wb_.ShowHelp(QStringLiteral("Help")); });
  QMenu* about = menuBar()->addMenu(QStringLiteral("About"));
  about->setObjectName(QStringLiteral("About"));
  QAction* credit = about->addAction(QString::fromUtf8(kAboutText));
  credit->setObjectName(QStringLiteral("Credit"));
  connect(credit, &QAction::triggered, this, [this] {
    wb_.dialogs().ShowMessage(this, QStringLiteral("About Membrix"), QString::fromUtf8(kAboutText));
  });
}

void MainWindow::BuildFileMenu() {
  fileMenu_ = menuBar()->addMenu(QStringLiteral("File"));
  fileMenu_->setObjectName(QStringLiteral("File"));
  // Opening the menu puts the parameter memo in front of the conductance charts.
  connect(fileMenu_, &QMenu::aboutToShow, this, [this] {
    charts_[4]->hide();
    charts_[5]->hide();
    ShowMemo(paramsMemo_);
  });
  QAction* open = AddAction(fileMenu_, QStringLiteral("Open *.id file"), QStringLiteral("Open *.id file"));
  open->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
  connect(open, &QAction::triggered, this, &MainWindow::OnOpenIdFile);
  QAction* defaults = AddAction(fileMenu_, QStringLiteral("Default"), QStringLiteral("Default"), true);
  connect(defaults, &QAction::triggered, this, &MainWindow::OnDefault);
  fileMenu_->addSeparator();
  for (const FixedFile& f : kFixedFiles) {
    const QString caption = QStringLiteral("'%1'").arg(QString::fromUtf8(f.file));
    QAction* a = AddAction(fileMenu_, caption, caption, true);
    a->setData(QString::fromUtf8(f.file));
    connect(a, &QAction::triggered, this, [this, file = QString::fromUtf8(f.file)] { OnFixedFile(file); });
    if (f.hiddenAtStart) hiddenFileItems_.push_back(a);
  }
  fileMenu_->addSeparator();
  QAction* setParams =
      AddAction(fileMenu_, QStringLiteral("Set params in window"), QStringLiteral("Set params in window"));
  connect(setParams, &QAction::triggered, this, &MainWindow::OnSetParamsInWindow);
  fileMenu_->addSeparator();
  // The settings file "_HHSettings.txt" keeps the state of the windows.
  const struct {
    const char* caption;
    const char* shortcut;
  } settings[] = {{"Save all settings", "Ctrl+S"},
                  {"Restore previous settings", "Ctrl+L"},
                  {"Save settings as ...", nullptr},
                  {"Load settings from ...", nullptr}};
  for (const auto& item : settings) {
    QAction* a = AddAction(fileMenu_, QString::fromUtf8(item.caption), QString::fromUtf8(item.caption));
    if (item.shortcut != nullptr) a->setShortcut(QKeySequence(QString::fromUtf8(item.shortcut)));
    ConnectSettingsCommand(wb_, a);
  }
}

void MainWindow::BuildParametersMenu() {
  QMenu* params = menuBar()->addMenu(QStringLiteral("Parameters"));
  params->setObjectName(QStringLiteral("Parameters"));

  auto subMenu = [params](const QString& name, const QString& caption) {
    QMenu* m = params->addMenu(MenuText(caption));
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    return m;
  };
  QMenu* cc = subMenu(QStringLiteral("Current-Clamp"), QStringLiteral("Current-Clamp"));
  cc->menuAction()->setCheckable(true);
  for (const char* mode : {"CC", "Iind", "Iind=Vexp"}) {
    QAction* a = AddAction(cc, QString::fromUtf8(mode), QString::fromUtf8(mode), true);
    connect(a, &QAction::triggered, this, [this, m = QString::fromUtf8(mode)] { OnClampMode(m); });
    if (std::string_view(mode) == "Iind=Vexp") iindIsVexp_ = a;
  }
  QAction* ramp = AddAction(cc, QStringLiteral("Ramp in CC"), QStringLiteral("Ramp in CC"));
  connect(ramp, &QAction::triggered, this, [this] { OpenRampInCC(wb_); });
  QMenu* vc = subMenu(QStringLiteral("Voltage-Clamp"), QStringLiteral("Voltage-Clamp"));
  vc->menuAction()->setCheckable(true);
  for (const char* mode : {"VC", "for  gNa", "VC at Vexp", "VC with pipette"}) {
    QAction* a = AddAction(vc, QString::fromUtf8(mode), QString::fromUtf8(mode), true);
    connect(a, &QAction::triggered, this, [this, m = QString::fromUtf8(mode)] { OnClampMode(m); });
  }

  QMenu* families = subMenu(QStringLiteral("HHtype2"), QStringLiteral("HH_type"));
  for (const NamedItem& f : kFamilies) {
    const bool bazhenov = std::string_view(f.caption) == "Bazhenov";
    QAction* a = AddAction(families, QString::fromUtf8(f.name), QString::fromUtf8(f.caption), !bazhenov);
    connect(a, &QAction::triggered, this,
            [this, family = QString::fromUtf8(f.caption)] { OnModelFamily(family); });
  }
  QMenu* geometries = subMenu(QStringLiteral("HHorder1"), QStringLiteral("HH_order"));
  for (const NamedItem& g : kGeometryItems) {
    QAction* a = AddAction(geometries, QString::fromUtf8(g.name), QString::fromUtf8(g.caption), true);
    connect(a, &QAction::triggered, this,
            [this, geometry = QString::fromUtf8(g.caption)] { OnGeometry(geometry); });
  }

  // The sample items live once; the run button's pop-up menu shows the same
  // items, so a tick in one menu is the tick of its twin.
  QMenu* samples = subMenu(QStringLiteral("Samples"), QStringLiteral("Samples"));
  auto* sampleChoice = new QActionGroup(samples);
  auto* runMenu = new QMenu(runClamp_);
  runMenu->setObjectName(QStringLiteral("RunClampMenu"));
  for (int k = 1; k <= kMaxRecording + 1; ++k) {
    const int item = k <= kMaxRecording ? k : 0;
    QAction* a =
        AddAction(samples, QStringLiteral("Smpl%1").arg(item), QStringLiteral("Smpl=%1").arg(item), true);
    sampleChoice->addAction(a);
    runMenu->addAction(a);
    sampleItems_[item] = a;
    connect(a, &QAction::triggered, this, [this, item] { OnSample(item); });
  }
  connect(runClamp_, &QPushButton::customContextMenuRequested, this,
          [this, runMenu](const QPoint& at) { runMenu->popup(runClamp_->mapToGlobal(at)); });

  QAction* thr = AddAction(params, QStringLiteral("ThrModel"), QStringLiteral("ThrModel"), true);
  thr->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
  connect(thr, &QAction::triggered, this, &MainWindow::OnThrModel);
  // Ctrl+L belongs to "Restore previous settings", which comes first in menu
  // order; this item is reached by clicking it.
  QAction* lif = AddAction(params, QStringLiteral("LIF_model"), QStringLiteral("LIF_model"), true);
  connect(lif, &QAction::triggered, this, &MainWindow::OnLIFModel);

  QMenu* blockage = subMenu(QStringLiteral("Blockage"), QStringLiteral("Blockage"));
  for (const BlockageItem& b : kBlockage) {
    QAction* a = AddAction(blockage, QString::fromUtf8(b.caption), QString::fromUtf8(b.caption), true);
    connect(a, &QAction::triggered, this, [this, a, flag = b.flag](bool checked) {
      std::int32_t& value = s().NP0.*flag;
      value = 1 - value;
      // The mark shows a flag of 0 or 1; another value is flipped unmarked.
      if (value == 0 || value == 1) {
        a->setChecked(value == 1);
      } else {
        a->setChecked(!checked);
      }
      wb_.Correspond();
    });
  }
  auto choice = [this](QMenu* menu, const char* first, const char* second,
                       std::int32_t NeuronProperties::*field) {
    auto* group = new QActionGroup(menu);
    int value = 1;
    for (const char* caption : {first, second}) {
      QAction* a = AddAction(menu, QString::fromUtf8(caption), QString::fromUtf8(caption), true);
      group->addAction(a);
      connect(a, &QAction::triggered, this, [this, field, value] {
        s().NP0.*field = value;
        wb_.Correspond();
      });
      ++value;
    }
  };
  choice(subMenu(QStringLiteral("IfSet_gL_or_tau"), QStringLiteral("IfSet_gL_or_tau")), "gL is fixed",
         "tau is fixed", &NeuronProperties::IfSet_gL_or_tau);
  choice(subMenu(QStringLiteral("IfSet_VL_or_Vrest"), QStringLiteral("IfSet_VL_or_Vrest")), "VL is fixed",
         "Vrest is fixed", &NeuronProperties::IfSet_VL_or_Vrest);

  params->addSeparator();
  QAction* oldFormat = AddAction(params, QStringLiteral("Set exp. data file in old format"),
                                 QStringLiteral("Set exp. data file in old format"));
  connect(oldFormat, &QAction::triggered, this, [this] { OnExpDataFile(1); });
  QAction* expData =
      AddAction(params, QStringLiteral("Set exp. data file"), QStringLiteral("Set exp. data file"));
  connect(expData, &QAction::triggered, this, [this] { OnExpDataFile(2); });

  QMenu* simplex = subMenu(QStringLiteral("Simplex1"), QStringLiteral("Simplex"));
  for (const FitParameter& p : FitParameters()) {
    const int slot = static_cast<int>(fitItems_.size());
    QAction* a = AddAction(simplex, Q(p.menuItem), Q(p.menuItem), true);
    connect(a, &QAction::triggered, this,
            [this, slot](bool checked) { s().fit.MenuChecked[slot] = checked; });
    fitItems_.push_back(a);
  }
  simplex->addSeparator();
  QAction* kFit = AddAction(simplex, QStringLiteral("Fit K-current"), QStringLiteral("Fit K-current"));
  connect(kFit, &QAction::triggered, this, [this] {
    MarkKCurrentFit(s().fit);
    ShowFitMarks();
  });
  QAction* clearMarks =
      AddAction(simplex, QStringLiteral("Clear all marks"), QStringLiteral("Clear all marks"));
  connect(clearMarks, &QAction::triggered, this, [this] {
    ClearFitMarks(s().fit);
    ShowFitMarks();
  });

  params->addSeparator();
  fitPicture_ =
      AddAction(params, QStringLiteral("FitPictureToExpData"), QStringLiteral("FitPictureToExpData"), true);
  fitPicture_->setToolTip(QStringLiteral("The experiment's axis spans the values of every recording"));
  writing_ = AddAction(params, QStringLiteral("Writing1"), QStringLiteral("Writing"), true);
  connect(writing_, &QAction::triggered, this, [this](bool checked) { s().run.Writing = checked ? 1 : 0; });
  noCleaning_ = AddAction(params, QStringLiteral("NoCleaning"), QStringLiteral("NoCleaning"), true);
  QAction* enableAll =
      AddAction(params, QStringLiteral("Enable all series"), QStringLiteral("Enable all series"));
  connect(enableAll, &QAction::triggered, this, [this] { wb_.views().ShowAllSeries(); });
  for (QMenu* m : {params, cc, vc, families, geometries, samples, blockage, simplex})
    m->setToolTipsVisible(true);
}

void MainWindow::BuildTasksMenu() {
  QMenu* tasks = menuBar()->addMenu(QStringLiteral("Tasks"));
  tasks->setObjectName(QStringLiteral("Tasks"));
  QAction* simplex = AddAction(tasks, QStringLiteral("Simplex"), QStringLiteral("Simplex"));
  connect(simplex, &QAction::triggered, this, &MainWindow::OnSimplexTask);
  QAction* firingClamp = AddAction(tasks, QStringLiteral("Firing-Clamp and PRC"), QStringLiteral("Firing-Clamp and PRC"));
  connect(firingClamp, &QAction::triggered, this, [this] {
    if (wb_.Running()) return;  // a held run keeps its pause
    analysisWindows().RunFiringClamp();
    s().run.PauseFlag = 'N';
    SyncPauseButton();
  });
  QAction* actInact = AddAction(tasks, QStringLiteral("Act/Inact"), QStringLiteral("Act/Inact"));
  connect(actInact, &QAction::triggered, this, [this] { ActInactWindow::Open(wb_, this); });
  simplexTask_ = simplex;
  QAction* fitOptions = AddAction(tasks, QStringLiteral("FittingOptions"), QStringLiteral("Fitting options..."));
  connect(fitOptions, &QAction::triggered, this, [this] { FitDialog::Open(wb_, this); });
  // The windows back where the program puts them, the user's layout for this
  // screen size forgotten.
  tasks->addSeparator();
  QAction* resetLayout = AddAction(tasks, QStringLiteral("ResetLayout"), QStringLiteral("Reset layout"));
  connect(resetLayout, &QAction::triggered, this, [this] { wb_.ResetLayout(); });
}

int MainWindow::CommandRowHeight() const {
  if (QLayout* l = centralWidget()->layout()) l->activate();
  const int inWindow = topArea_->mapTo(this, QPoint(0, topArea_->height())).y();
  return inWindow + (geometry().top() - frameGeometry().top());
}

QRect MainWindow::CommandRow() const {
  const QRect frame = frameGeometry();
  return {frame.topLeft(), QSize(frame.width(), CommandRowHeight())};
}

// The habits of a desktop program: mnemonics on the menus, F5 or Ctrl+R for
// "RunClamp", File -> Quit (Ctrl+Q), the open file in the title, a status bar.
void MainWindow::BuildDesktopHabits() {
  const struct {
    const char* name;
    const char* text;
  } mnemonics[] = {{"File", "&File"}, {"Parameters", "&Parameters"}, {"Tasks", "&Tasks"}, {"About", "&About"}};
  for (const auto& m : mnemonics) {
    if (auto* menu = menuBar()->findChild<QMenu*>(QLatin1String(m.name))) menu->setTitle(QString::fromUtf8(m.text));
  }
  if (auto* help = findChild<QAction*>(QStringLiteral("Help1"))) help->setText(QStringLiteral("&Help"));

  auto* run = new QAction(QStringLiteral("RunClamp"), this);
  run->setObjectName(QStringLiteral("RunClampShortcut"));
  run->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(QStringLiteral("Ctrl+R"))});
  run->setShortcutContext(Qt::ApplicationShortcut);
  connect(run, &QAction::triggered, this, [this] {
    if (runClamp_->isEnabled() && runClamp_->isVisible()) runClamp_->click();
  });
  addAction(run);

  fileMenu_->addSeparator();
  QAction* quit = AddAction(fileMenu_, QStringLiteral("Quit"), QStringLiteral("Quit"));
  quit->setText(QStringLiteral("&Quit"));
  quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  quit->setShortcutContext(Qt::ApplicationShortcut);
  connect(quit, &QAction::triggered, this, &QWidget::close);

  runSummary_ = new QLabel(QStringLiteral("No run yet. F5 or Ctrl+R runs the clamp."), this);
  runSummary_->setObjectName(QStringLiteral("RunSummary"));
  runSummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(runSummary_, 1);
  protocolUndo_ = new QPushButton(QStringLiteral("Undo"), this);
  protocolUndo_->setObjectName(QStringLiteral("ProtocolUndo"));
  protocolUndo_->setToolTip(QStringLiteral("Gives the main protocol back as it was before the task"));
  protocolUndo_->hide();
  statusBar()->addWidget(protocolUndo_);
  connect(protocolUndo_, &QPushButton::clicked, this, [this] {
    const std::function<void()> undo = std::exchange(protocolUndoCommand_, {});
    ClearProtocolMarks();
    if (undo) undo();
    runSummary_->setText(QStringLiteral("The main protocol is back as it was before the task."));
  });
  // The model time and the recording of the run sit at the status bar's right
  // end, which leaves the top row room for the inputs on a small screen.
  statusBar()->addPermanentWidget(fileLabel_);
  statusBar()->addPermanentWidget(timeLabel_);
  statusBar()->setSizeGripEnabled(true);
}

void MainWindow::ShowIdFileInTitle() {
  const std::string& file = s().rec.IdFileName;
  QString title = QString::fromUtf8(ProgramTitle());
  if (!file.empty()) title += QStringLiteral(" \u2014 ") + QFileInfo(QString::fromStdString(file)).fileName();
  setWindowTitle(title);
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

// ---- State shown and changed by the start-up and the runs ----------------------

void MainWindow::ApplyStartupState() {
  s().fit.MenuChecked[0] = false;  // "tau"
  ShowFitMarks();
  paramsMemo_->hide();
  frequencyItem_->setChecked(true);
  varToWrite_->hide();
  fitPicture_->setChecked(false);
  for (QAction* a : hiddenFileItems_) a->setVisible(false);
  // Setting a list from the program runs nothing.
  actionList_->setCurrentIndex(12);
  resetList_->setCurrentIndex(1);
  noiseList_->setCurrentIndex(static_cast<int>(NoiseList::NoiseConductance));
  s().stim.noiseList = NoiseList::NoiseConductance;
  UpdateEmptyPageHints();
}

void MainWindow::ShowFitMarks() {
  for (std::size_t slot = 0; slot < fitItems_.size(); ++slot)
    fitItems_[slot]->setChecked(s().fit.MenuChecked[slot]);
}

void MainWindow::ShowIindIsVexpMark() { iindIsVexp_->setChecked(s().NP0.If_I_V_or_g == 7); }

void MainWindow::SetRunning(bool running) {
  for (QWidget* w : runCommands_) w->setEnabled(!running);
  simplexTask_->setEnabled(!running);
  varToWrite_->setEnabled(!running);
  SyncPauseButton();
}

void MainWindow::SyncPauseButton() { pause_->setChecked(s().run.PauseFlag == 'P'); }

namespace {

// Shows the session's lines in a memo: new lines are appended; a memo whose
// lines were replaced is written again.
void ShowLines(QPlainTextEdit* memo, const std::vector<std::string>& lines, std::size_t& shown,
               QString& lastShown) {
  const bool appended =
      lines.size() >= shown && (shown == 0 || QString::fromStdString(lines[shown - 1]) == lastShown);
  if (appended && lines.size() == shown) return;
  if (!appended) {
    memo->clear();
    shown = 0;
  }
  for (; shown < lines.size(); ++shown) memo->appendPlainText(QString::fromStdString(lines[shown]));
  lastShown = shown > 0 ? QString::fromStdString(lines[shown - 1]) : QString();
}

}  // namespace

void MainWindow::SyncMemos() {
  ShowLines(simplexMemo_, s().SimplexMemo, memoLines_[0], memoLast_[0]);
  ShowLines(paramsMemo_, s().ParamsMemo, memoLines_[1], memoLast_[1]);
  ShowLines(coeMemo_, s().CoeMemo, memoLines_[2], memoLast_[2]);
}

void MainWindow::ShowMemo(QPlainTextEdit* memo) {
  SyncMemos();
  memo->show();
  UpdateEmptyPageHints();
}

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

int MainWindow::ChooseSample(int tickedItem, int NSmpls) {
  if (tickedItem == 1) return 1;
  if (tickedItem >= 2 && tickedItem <= kMaxRecording && NSmpls >= tickedItem) return tickedItem;
  return tickedItem == 0 ? 0 : 1;
}

void MainWindow::ShowProtocolChanges(const QString& task, const std::vector<ProtocolChange>& changes,
                                     std::function<void()> undo) {
  ClearProtocolMarks();
  QStringList phrases;
  for (const ProtocolChange& c : changes) {
    phrases << c.phrase;
    if (c.input.isEmpty()) continue;
    QWidget* input = c.input.startsWith(QLatin1String("Form4."))
                         ? wb_.parameterWindow().findChild<QWidget*>(c.input.mid(6))
                         : findChild<QWidget*>(c.input);
    if (input == nullptr) continue;
    input->setProperty("changedByTask", input->toolTip());
    input->setStyleSheet(QStringLiteral("background-color: #ffe38a;"));
    input->setToolTip(QStringLiteral("Set by %1: %2").arg(task, c.phrase));
    protocolMarked_.push_back(input);
    // Editing a marked input takes it over: its mark goes.
    if (auto* in = qobject_cast<NumericInput*>(input)) {
      connect(in, &QLineEdit::textEdited, this, [this, in] {
        auto it = std::find(protocolMarked_.begin(), protocolMarked_.end(), in);
        if (it == protocolMarked_.end()) return;
        in->setStyleSheet(QString());
        in->setToolTip(in->property("changedByTask").toString());
        in->setProperty("changedByTask", QVariant());
        protocolMarked_.erase(it);
      }, Qt::SingleShotConnection);
    }
  }
  protocolUndoCommand_ = std::move(undo);
  protocolUndo_->show();
  runSummary_->setText(QStringLiteral("%1 set the main protocol: %2.").arg(task, phrases.join(QStringLiteral(", "))));
}

void MainWindow::ClearProtocolMarks() {
  for (QWidget* w : protocolMarked_) {
    w->setStyleSheet(QString());
    w->setToolTip(w->property("changedByTask").toString());
    w->setProperty("changedByTask", QVariant());
  }
  protocolMarked_.clear();
  protocolUndoCommand_ = {};
  if (protocolUndo_ != nullptr) protocolUndo_->hide();
}

QStringList MainWindow::ProtocolMarks() const {
  QStringList names;
  for (QWidget* w : protocolMarked_) names << w->objectName();
  return names;
}

QPushButton* MainWindow::ProtocolUndo() const { return protocolUndo_->isHidden() ? nullptr : protocolUndo_; }

void MainWindow::ShowTaskStatus(const QString& line) { runSummary_->setText(line); }

void MainWindow::TakeSampleFromMarks() {
  for (int item = 0; item < static_cast<int>(sampleItems_.size()); ++item) {
    if (sampleItems_[item] != nullptr && sampleItems_[item]->isChecked()) {
      s().rec.Smpl = ChooseSample(item, s().rec.NSmpls);
      return;
    }
  }
}

// ---- Events -----------------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    emit firstShown();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (wb_.Running()) {
    // The run stops at its next breathing point; the program ends after it.
    event->ignore();
    wb_.OnMainWindowClosing();
    return;
  }
  QMainWindow::closeEvent(event);
  wb_.OnMainWindowClosing();
  if (analysisWindows_) analysisWindows_->CloseAll();
}

AnalysisWindows& MainWindow::analysisWindows() {
  if (!analysisWindows_) analysisWindows_ = std::make_unique<AnalysisWindows>(wb_);
  return *analysisWindows_;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == paramsMemo_->viewport()) {
      OnParamsMemoDoubleClick();
      return true;
    }
    if (watched == firingClampPanel_) {
      OnFiringClampPanelDoubleClick();
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonPress && watched == varToWriteNote_->viewport()) {
    HideOutputList();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- Commands -----------------------------------------------------------------

void MainWindow::OnRunClamp() {
  if (wb_.Running()) return;
  runClamp_->setEnabled(false);
  ShowConductanceCharts();
  double deviation = 0.0;
  QElapsedTimer clock;
  clock.start();
  const bool completed = wb_.RunSimulation([this, &deviation] {
    FitExperimentAxis();
    deviation = RunClamp(s(), wb_, wb_.views());
  });
  const RunSummary summary = SummarizeRun(s(), deviation, completed, clock.nsecsElapsed() * 1e-9);
  runSummary_->setText(RunSummaryText(summary));
  modelOverlay_->SetLegendNote(summary.recording ? QStringLiteral("RMS deviation\n%1 %2")
                                                        .arg(summary.deviation, 0, 'g', 3)
                                                        .arg(summary.unit)
                                                  : QStringLiteral("no recording"));
  modelOverlay_->Refresh();
  s().run.PauseFlag = 'R';
  runClamp_->setEnabled(!wb_.Running());
  SyncPauseButton();
}

void MainWindow::FitExperimentAxis() {
  // With "FitPictureToExpData" the experiment's axis spans every recording, on
  // the two-axis chart and, in the recording's unit, on the one-axis chart.
  Chart* c = charts_[3];
  ValueRange range;
  if (FitPictureToExpData()) range = RecordingRange(s());
  if (range.any) {
    c->SetAxisRange(ChartAxis::Right, range.min, range.max);
    const double scale = ModelTraceUnitOf(s().NP0.If_I_V_or_g).scale;
    modelOverlay_->SetAxisRange(ChartAxis::Left, range.min * scale, range.max * scale);
    overlayFitted_ = true;
    return;
  }
  c->SetAxisAutomatic(ChartAxis::Right, true);
  if (overlayFitted_) modelOverlay_->SetAxisAutomatic(ChartAxis::Left, true);
  overlayFitted_ = false;
}

void MainWindow::OnClear() {
  ClearRunViews(wb_.views());
  wb_.views().Flush(true);
}

void MainWindow::OnPause() {
  char& flag = s().run.PauseFlag;
  flag = flag == 'P' ? ' ' : 'P';
  SyncPauseButton();
}

void MainWindow::OnSaveTrace(int writeMode) {
  if (wb_.Running()) return;
  const std::string item = s().trace.VarToWrite;
  const QString file = wb_.dialogs().SaveFileName(this, QStringLiteral("Save the trace"), QDir::currentPath(),
                                                  QString::fromUtf8(kTraceFilter));
  if (file.isEmpty()) return;
  QDir::setCurrent(wb_.StartFolder());
  ShowConductanceCharts();
  // One variable of the output list is written by a clamp run or, when the
  // researcher declines that, by the firing clamp with noise.
  if (writeMode == 4 && !wb_.Confirm("Run \"RunClamp\"")) {
    if (wb_.Confirm("Run \"WithNoise\"")) SaveTraceWithNoise(file, item);
    return;
  }
  wb_.RunSimulation([&] {
    FitExperimentAxis();
    SaveTraceRun(s(), wb_, wb_.views(), file.toStdString(), writeMode, item);
  });
}

void MainWindow::SaveTraceWithNoise(const QString& file, const std::string& item) {
  Session& ss = s();
  const std::string path = file.toStdString();
  if (!IsOutputVariable(item)) {
    wb_.dialogs().ShowError(this, QStringLiteral("\"%1\" is not an item of the output list \"Var to write\"")
                                      .arg(QString::fromStdString(item)));
    return;
  }
  ss.trace.TraceFile = path;
  ss.trace.VarToWrite = item;
  ss.run.WriteMode = 4;
  analysisWindows().ShowFiringClamp();
  const bool done = analysisWindows().firingClamp().Run(100000, path);
  ss.run.WriteMode = 0;
  // A trace that is not confirmed, or that a failed run left half written, is
  // emptied: it never looks complete.
  const bool keep = done && wb_.Confirm(TraceStatusText(4, item) + ". OK?");
  if (!keep && QFileInfo::exists(file)) wb_.RunCommand([&] { EmptyFile(path); });
}

void MainWindow::OnShowOutputList(bool draw) {
  // The list's next choice draws or saves; a list closed without a choice
  // leaves the runs as they were.
  s().run.DrawAnyCurve = draw ? 1 : 0;
  varToWrite_->show();
  varToWriteNote_->show();
}

void MainWindow::HideOutputList() {
  varToWrite_->hide();
  varToWriteItems_->setExclusive(false);
  for (QAbstractButton* b : varToWriteItems_->buttons()) b->setChecked(false);
  varToWriteItems_->setExclusive(true);
  if (s().run.WriteMode == 0 && !wb_.Running()) s().run.DrawAnyCurve = 0;
}

void MainWindow::OnOutputItemChosen(int item) {
  if (item < 0 || item >= static_cast<int>(std::size(kVarToWrite)) || wb_.Running()) return;
  s().trace.VarToWrite = kVarToWrite[item];
  const bool draw = s().run.DrawAnyCurve == 1;
  varToWrite_->hide();
  if (draw) {
    wb_.RunSimulation([this] {
      FitExperimentAxis();
      RunClamp(s(), wb_, wb_.views());
    });
    s().run.DrawAnyCurve = 0;
  } else {
    OnSaveTrace(4);
  }
  HideOutputList();
}

void MainWindow::OnPrintScreen() {
  wb_.RunCommand([this] {
    QScreen* screen = windowHandle() != nullptr ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    const QPixmap picture = screen != nullptr ? screen->grabWindow(0) : QPixmap();
    const QString path = QDir::current().filePath(QStringLiteral("Screen.jpg"));
    if (picture.isNull()) throw Error(path.toStdString() + ": the screen could not be captured");
    if (!picture.save(path, "JPG")) throw IoError(path.toStdString(), "the picture could not be written");
  });
}

void MainWindow::OnAdjustTimeAxis(Chart* from, Chart* to) {
  from->Refresh();
  to->SetAxisRange(ChartAxis::Bottom, from->AxisMinimum(ChartAxis::Bottom),
                   from->AxisMaximum(ChartAxis::Bottom));
  to->Refresh();
}

void MainWindow::OnAutoTimeAxes() {
  for (Chart* c : {charts_[1], charts_[2]}) {
    c->SetAxisAutomatic(ChartAxis::Bottom, true);
    c->Refresh();
  }
}

void MainWindow::OnCopyPage(const std::vector<Chart*>& charts) {
  // The shown charts of the page, one under the other, as one picture.
  std::vector<QPixmap> pictures;
  int width = 0, height = 0;
  for (Chart* c : charts) {
    if (c->isHidden()) continue;
    pictures.push_back(c->Picture());
    width = std::max(width, pictures.back().width());
    height += pictures.back().height();
  }
  if (pictures.empty()) return;
  if (pictures.size() == 1) {
    QApplication::clipboard()->setPixmap(pictures.front());
    return;
  }
  QPixmap page(width, height);
  page.fill(Qt::white);
  QPainter painter(&page);
  int y = 0;
  for (const QPixmap& p : pictures) {
    painter.drawPixmap(0, y, p);
    y += p.height();
  }
  painter.end();
  QApplication::clipboard()->setPixmap(page);
}

void MainWindow::OnOpenIdFile() {
  const QString folder = QDir::currentPath();
  const QString file = wb_.dialogs().OpenFileName(this, QStringLiteral("Open *.id file"), folder,
                                                  QString::fromUtf8(kIdFilter));
  QDir::setCurrent(folder);
  if (file.isEmpty()) return;
  ShowMemo(paramsMemo_);
  wb_.RunCommand([&] { LoadParameterFile(s(), file.toStdString()); });
  // Assignments read before a failure stay applied; the windows show them.
  wb_.Correspond();
  SyncMemos();
}

void MainWindow::OnDefault() {
  QDir::setCurrent(wb_.StartFolder());
  CloseParameterFile(s());
  wb_.RunCommand([this] { ApplyStartupSet(s()); });
  wb_.Correspond();
}

void MainWindow::OnFixedFile(const QString& file) {
  QDir::setCurrent(wb_.StartFolder());
  ShowMemo(paramsMemo_);
  // The start folder's own file first; the shipped sample where it has none.
  const QString own = QDir(wb_.StartFolder()).filePath(file);
  const QString path = QFileInfo::exists(own) ? own : QDir(wb_.SamplesFolder()).filePath(file);
  if (!QFileInfo::exists(path)) {
    wb_.dialogs().ShowError(
        this, wb_.NotFoundAdvice(QStringLiteral("the parameter file \"%1\" (in the start folder %2 or in "
                                                "resources/samples)")
                                     .arg(file, QDir::toNativeSeparators(wb_.StartFolder()))));
    return;
  }
  wb_.RunCommand([&] { LoadParameterFile(s(), path.toStdString()); });
  for (QAction* a : fileMenu_->actions()) {
    if (a->data().toString() == file) a->setToolTip(QStringLiteral("Opened %1").arg(QDir::toNativeSeparators(path)));
  }
  fileMenu_->setToolTipsVisible(true);
  wb_.Correspond();
  SyncMemos();
}

void MainWindow::OnSetParamsInWindow() {
  s().ParamsMemo.push_back("Here you can set any parameters. DblClick to finish.");
  ShowMemo(paramsMemo_);
  pages_->setCurrentIndex(3);
  paramsMemo_->setFocus();
  paramsMemo_->moveCursor(QTextCursor::End);
}

void MainWindow::OnParamsMemoDoubleClick() {
  const QString path = QDir::current().filePath(QStringLiteral("Memo.id"));
  const QString text = paramsMemo_->toPlainText();
  wb_.RunCommand([&] {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
      throw IoError(path.toStdString(), out.errorString().toStdString());
    }
    const QByteArray bytes = text.toUtf8() + '\n';
    if (out.write(bytes) != bytes.size() || !out.flush()) {
      throw IoError(path.toStdString(), out.errorString().toStdString());
    }
    out.close();
    ReadSection(s(), path.toStdString(), "Any", "Any");
  });
  paramsMemo_->hide();
  UpdateEmptyPageHints();
  wb_.Correspond();
  SyncMemos();
}

void MainWindow::OnModelFamily(const QString& family) {
  wb_.RunCommand([&] { SelectModelFamily(s(), family.toStdString()); });
  wb_.Correspond();
}

void MainWindow::OnGeometry(const QString& geometry) {
  wb_.RunCommand([&] { SelectGeometry(s(), geometry.toStdString()); });
  wb_.Correspond();
}

void MainWindow::OnClampMode(const QString& mode) {
  wb_.RunCommand([&] { SelectClampMode(s(), mode.toStdString()); });
  if (mode == QLatin1String("Iind=Vexp")) {
    ShowIindIsVexpMark();
  } else {
    wb_.Correspond();
  }
}

void MainWindow::OnSample(int item) {
  sampleItems_[item]->setChecked(true);
  s().rec.Smpl = ChooseSample(item, s().rec.NSmpls);
  if (item == 0) fitPicture_->setChecked(false);
}

void MainWindow::OnThrModel() {
  wb_.RunCommand([this] { ToggleThrModel(s()); });
  wb_.Correspond();
}

void MainWindow::OnLIFModel() {
  wb_.RunCommand([this] { ToggleLIFModel(s()); });
  wb_.Correspond();
}

void MainWindow::OnExpDataFile(int dataFormat) {
  const QString file = wb_.dialogs().OpenFileName(this, QStringLiteral("Recording of sample 0"),
                                                  QDir::currentPath(), QString::fromUtf8(kRecordingFilter));
  if (file.isEmpty()) return;
  wb_.RunCommand([&] { ChooseRecordingFile(s(), file.toStdString(), dataFormat); });
}

void MainWindow::OnSimplexTask() {
  if (wb_.Running()) return;
  ShowMemo(simplexMemo_);
  ShowMemo(coeMemo_);
  for (int n : {5, 4, 1, 2}) charts_[n]->hide();
  UpdateEmptyPageHints();
  pages_->setCurrentIndex(3);
  // The fit's state in one line of the status bar and of the fitting options,
  // rewritten as it goes; the options' "Stop" ends it keeping the best point.
  class FitHostAndProgress final : public Host, public FitProgress {
   public:
    FitHostAndProgress(Workbench& wb, MainWindow& window, QLabel& summary)
        : wb_(wb), window_(window), summary_(summary), echoes_(wb.session().ParamsMemo.size()) {}
    // Every evaluation reads the recordings' sections again; their assignments
    // were shown when the file was opened, and are not repeated for each one:
    // the Notes page gets one line per pass.
    void ProcessEvents() override {
      QuietSections();
      wb_.ProcessEvents();
    }
    void QuietSections() {
      std::vector<std::string>& memo = wb_.session().ParamsMemo;
      if (memo.size() <= echoes_) return;
      memo.resize(echoes_);
      if (!noted_) {
        memo.push_back("The fit reads the recordings' sections at every evaluation; their assignments are shown above.");
        noted_ = true;
      }
      echoes_ = memo.size();
    }
    bool StopRequested() const override { return wb_.StopRequested() || FitDialog::StopAsked(&window_); }
    bool Confirm(const std::string& question) override { return wb_.Confirm(question); }
    // The windows show the parameters rounded to the decimals of their inputs,
    // and an input whose text changes stores what it shows: the fit keeps the
    // values it evaluates, and the windows show them as well as they can.
    void ShowParameters() override {
      const NeuronProperties evaluated = wb_.session().NP0;
      wb_.ShowParameters();
      wb_.session().NP0 = evaluated;
    }
    void Status(const FitStatus& status) override {
      Show(FitDialog::WithResidualUnit(s(), QString::fromStdString(FitStatusLine(s().fit, status))));
    }
    void Show(const QString& line) {
      summary_.setText(line);
      FitDialog::ShowStatus(&window_, line);
    }
    Session& s() { return wb_.session(); }

   private:
    Workbench& wb_;
    MainWindow& window_;
    QLabel& summary_;
    std::size_t echoes_;
    bool noted_ = false;
  };
  FitHostAndProgress fitHost(wb_, *this, *runSummary_);
  FitDialog::SetFitting(this, true);
  fitHost.Show(QStringLiteral("Fitting: checking the request ..."));
  FitOutcome outcome;
  bool done = false;
  {
    // The fit's result is the parameters; the recordings' own protocols it
    // ran through go, and the main protocol is the one before the fit.
    ProtocolKeeper keeper(wb_, QStringLiteral("The fit"), ProtocolKeeper::Ending::GiveBack);
    done = wb_.RunSimulation([&] {
      CollectFitSelection(s().fit);
      for (std::size_t i = 0; i < FitParameters().size(); ++i) {
        if (FitParameters()[i].member == &NeuronProperties::Vrest && s().fit.FitSlots[i].FitSelected == 1)
          keeper.KeepVrest(true);
      }
      FitExperimentAxis();
      outcome = RunFit(s(), fitHost, wb_.views(), fitHost);
    });
  }
  fitHost.QuietSections();
  FitDialog::SetFitting(this, false);
  if (done) {
    fitHost.Show(FitDialog::WithResidualUnit(s(), QString::fromStdString(FitEndLine(s().fit, outcome))));
  } else {
    fitHost.Show(QStringLiteral("The fit did not run; the message says why."));
  }
  // The run pages show the fitted run again.
  ShowChartsAndSaveButtons();
  if (done) {
    // A finished fit ends its messages in red.
    QPalette red = simplexMemo_->palette();
    red.setColor(QPalette::Text, QColor(200, 0, 0));
    simplexMemo_->setPalette(red);
  }
  SyncMemos();
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
