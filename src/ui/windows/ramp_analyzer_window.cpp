#include "tasks/task_inputs.h"
#include "ui/windows/ramp_analyzer_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "run/session.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/windows/data_tool_inputs.h"
#include "ui/workbench.h"

namespace membrix {

// The analyzer's series on the three charts.
class RampAnalyzerWindow::Sink final : public RampSink {
 public:
  explicit Sink(RampAnalyzerWindow& w) : w_(w) {}
  void Clear(RampSeries series) override {
    const auto [c, i] = Where(series);
    w_.charts_[c]->Clear(i);
  }
  void Point(RampSeries series, double x, double y) override {
    const auto [c, i] = Where(series);
    w_.charts_[c]->AddPoint(i, x, y);
  }

 private:
  static std::pair<int, int> Where(RampSeries series) {
    switch (series) {
      case RampSeries::Vexp: return {1, 0};
      case RampSeries::Vfilt: return {1, 1};
      case RampSeries::VPointer: return {1, 2};
      case RampSeries::Ramp: return {1, 3};
      case RampSeries::Iexp: return {2, 0};
      case RampSeries::IPointer: return {2, 1};
      case RampSeries::Ifilt: return {2, 2};
      case RampSeries::Spike: return {2, 3};
      case RampSeries::VTtau: return {3, 0};
      case RampSeries::SpikeAmpl: return {3, 1};
    }
    return {1, 0};
  }
  RampAnalyzerWindow& w_;
};

namespace {

QPushButton* Button(QWidget* owner, const QString& caption) {
  auto* b = new QPushButton(caption, owner);
  b->setObjectName(caption);
  return b;
}

// The data collection of the folder items 1 ... 4: MEMBRIX_RAMP_DATA, else
// membrix-data/ramps in the home folder.
QString DataRoot() {
  const QString env = qEnvironmentVariable("MEMBRIX_RAMP_DATA");
  return env.isEmpty() ? QDir::home().filePath(QStringLiteral("membrix-data/ramps")) : env;
}

}  // namespace

RampAnalyzerWindow::RampAnalyzerWindow(Workbench& wb, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb), sink_(std::make_unique<Sink>(*this)) {
  setObjectName(QStringLiteral("Form31"));
  setWindowTitle(QStringLiteral("Form31: RampAnalyzer v.13.12"));
  RampInputs& in = wb_.inputs().ramp;

  // The controls.
  auto* panel = new QVBoxLayout;
  help_ = new QPlainTextEdit(QString::fromUtf8(kRampHelp), this);
  help_->setObjectName(QStringLiteral("Memo1"));
  help_->setReadOnly(true);
  help_->setMaximumHeight(120);
  help_->viewport()->installEventFilter(this);
  panel->addWidget(help_);

  fileLabel_ = new QLabel(QStringLiteral("File  name:"), this);
  fileLabel_->setObjectName(QStringLiteral("File  name:"));
  fileLabel_->setToolTip(QStringLiteral("Click to choose the sweep file"));
  fileLabel_->setCursor(Qt::PointingHandCursor);
  fileLabel_->installEventFilter(this);
  fileName_ = new QLabel(this);
  fileName_->setObjectName(QStringLiteral("FileNameLabel"));
  fileName_->setWordWrap(true);
  panel->addWidget(fileLabel_);
  panel->addWidget(fileName_);

  folders_ = new QComboBox(this);
  folders_->setObjectName(QStringLiteral("ComboBox1"));
  for (int item = 0; item <= 4; ++item) folders_->addItem(FolderOf(item));
  folders_->addItem(QString::fromUtf8(kDataFromSimulations.data(), kDataFromSimulations.size()));
  folders_->setCurrentIndex(in.FolderItem);
  panel->addWidget(folders_);

  auto* commands = new QGridLayout;
  const char* names[] = {"ReadAndDrawData", "FilterCurrent", "FindThreshold", "AllSamples", "DataFromSimulation"};
  void (RampAnalyzerWindow::*actions[])() = {&RampAnalyzerWindow::ReadAndDrawData,
                                             &RampAnalyzerWindow::FilterCurrent, &RampAnalyzerWindow::FindThreshold,
                                             &RampAnalyzerWindow::AllSamples, &RampAnalyzerWindow::DataFromSimulation};
  for (int i = 0; i < 5; ++i) {
    QPushButton* b = Button(this, QString::fromUtf8(names[i]));
    connect(b, &QPushButton::clicked, this, [this, a = actions[i]] { wb_.RunCommand([this, a] { (this->*a)(); }); });
    commands->addWidget(b, i / 2, i % 2);
  }
  panel->addLayout(commands);

  auto* filter = new QGroupBox(QStringLiteral("Filter"), this);
  auto* filterGrid = new QGridLayout(filter);
  inputs_[3] = AddBoundInput(this, filterGrid, 0, 0, "DDSpinEdit3", "tauFilt, ms", 2, in.tauFilt);
  panel->addWidget(filter);

  auto* grid = new QGridLayout;
  inputs_[2] = AddBoundInput(this, grid, 0, 0, "DDSpinEdit2", "Smpl", 0, in.Smpl);
  inputs_[8] = AddBoundInput(this, grid, 1, 0, "DDSpinEdit8", "t_maxLimit, ms", 1, in.t_maxLimit);
  inputs_[11] = AddBoundInput(this, grid, 2, 0, "DDSpinEdit11", "Cesium shifts voltage by", 0, in.CesiumShift);
  inputs_[11]->setToolTip(QStringLiteral("70mV by default"));
  inputs_[4] = AddBoundInput(this, grid, 3, 0, "DDSpinEdit4", " Conv_thr=", 0, in.Conv_thr);
  inputs_[5] = AddBoundInput(this, grid, 4, 0, "DDSpinEdit5", " SpikeShapeAmplitude=", 0, in.SpikeShapeAmplitude);
  inputs_[6] = AddBoundInput(this, grid, 5, 0, "DDSpinEdit6", " SpikeShapeHalfDuration=", 2,
                             in.SpikeShapeHalfDuration);
  inputs_[7] = AddBoundInput(this, grid, 6, 0, "DDSpinEdit7", " MinSpikeAmpl=", 0, in.MinSpikeAmpl);
  inputs_[9] = AddBoundInput(this, grid, 7, 0, "DDSpinEdit9", "Criterio for threshold:  dIdt=", 0, in.dIdt);
  inputs_[10] = AddBoundInput(this, grid, 8, 0, "DDSpinEdit10", " d2Idt2=", 0, in.d2Idt2);
  inputs_[1] = AddBoundInput(this, grid, 9, 0, "DDSpinEdit1", "n_Draw", 0, in.n_Draw);
  panel->addLayout(grid);
  inputs_[2]->setDoubleClickValue(std::nullopt);
  connect(inputs_[2], &NumericInput::valueChanged, this, &RampAnalyzerWindow::OnSweepChanged);

  mode_ = new QComboBox(this);
  mode_->setObjectName(QStringLiteral("ComboBox2"));
  for (std::string_view m : kShapeModeNames) mode_->addItem(QString::fromUtf8(m.data(), m.size()));
  mode_->setCurrentIndex(in.ShapeMode);
  connect(mode_, &QComboBox::currentIndexChanged, this, [this](int i) {
    wb_.inputs().ramp.ShapeMode = i;
    ApplyModeRule();
  });
  panel->addWidget(mode_);
  markers_ = new QCheckBox(QStringLiteral("WriteSpikeMarkers"), this);
  markers_->setObjectName(QStringLiteral("CheckBox1"));
  markers_->setChecked(in.WriteSpikeMarkers);
  markers_->setToolTip(QStringLiteral("Off when the window opens. Ticked: every spike found from then on also writes "
                                      "SpikeShapeNNN.dat, VandINNN.dat and SpikeMarkerNNN.dat into the folder of "
                                      "VT_tau.dat"));
  connect(markers_, &QCheckBox::toggled, this, [this](bool on) { wb_.inputs().ramp.WriteSpikeMarkers = on; });
  panel->addWidget(markers_);
  panel->addStretch(1);
  connect(folders_, &QComboBox::activated, this, &RampAnalyzerWindow::OnFolderChanged);

  // The charts.
  for (int n = 1; n <= 3; ++n) {
    charts_[n] = new Chart(this);
    charts_[n]->setObjectName(QStringLiteral("Chart%1").arg(n));
  }
  Chart* c1 = charts_[1];
  c1->AddSeries(QStringLiteral("Vexp"), SeriesKind::Points);
  c1->AddSeries(QStringLiteral("Vfilt"), SeriesKind::Line);
  c1->AddSeries(QStringLiteral("Pointer"), SeriesKind::Points, ChartAxis::Left, Qt::red);
  c1->AddSeries(QStringLiteral("Ramp"), SeriesKind::Points, ChartAxis::Left, Qt::darkGreen);
  c1->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  c1->SetAxisTitle(ChartAxis::Left, QStringLiteral("mV"));
  Chart* c2 = charts_[2];
  c2->AddSeries(QStringLiteral("Iexp"), SeriesKind::Points);
  c2->AddSeries(QStringLiteral("Pointer"), SeriesKind::Points, ChartAxis::Left, Qt::red);
  c2->AddSeries(QStringLiteral("Ifilt"), SeriesKind::Line);
  c2->AddSeries(QStringLiteral("Spike"), SeriesKind::Line, ChartAxis::Left, Qt::magenta);
  c2->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  c2->SetAxisTitle(ChartAxis::Left, QStringLiteral("pA"));
  Chart* c3 = charts_[3];
  c3->AddSeries(QStringLiteral("VT(tau)"), SeriesKind::Line);
  c3->AddSeries(QStringLiteral("SpikeAmpl"), SeriesKind::Line, ChartAxis::Right);
  c3->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("tau, ms"));
  c3->SetAxisTitle(ChartAxis::Left, QStringLiteral("mV"));
  c3->SetAxisTitle(ChartAxis::Right, QStringLiteral("pA"));
  c1->PlotArea()->installEventFilter(this);

  auto* chartButtons = new QHBoxLayout;
  QPushButton* toVoltage = Button(this, QStringLiteral("Adjust range to current"));
  connect(toVoltage, &QPushButton::clicked, this, [this] {
    charts_[1]->SetAxisRange(ChartAxis::Bottom, charts_[2]->AxisMinimum(ChartAxis::Bottom),
                             charts_[2]->AxisMaximum(ChartAxis::Bottom));
    charts_[1]->Refresh();
  });
  QPushButton* toCurrent = Button(this, QStringLiteral("Adjust range to voltage"));
  connect(toCurrent, &QPushButton::clicked, this, [this] {
    charts_[2]->SetAxisRange(ChartAxis::Bottom, charts_[1]->AxisMinimum(ChartAxis::Bottom),
                             charts_[1]->AxisMaximum(ChartAxis::Bottom));
    charts_[2]->Refresh();
  });
  chartButtons->addWidget(toVoltage);
  chartButtons->addWidget(toCurrent);
  for (int n = 1; n <= 2; ++n) {
    QPushButton* autoAxis = Button(this, QStringLiteral("Auto"));
    autoAxis->setObjectName(QStringLiteral("Auto%1").arg(n));
    connect(autoAxis, &QPushButton::clicked, this, [this, n] {
      charts_[n]->SetAxisAutomatic(ChartAxis::Bottom, true);
      charts_[n]->Refresh();
    });
    chartButtons->addWidget(autoAxis);
  }
  for (int n = 1; n <= 3; ++n) {
    QPushButton* copy = Button(this, QStringLiteral("CopyToBMP"));
    copy->setObjectName(QStringLiteral("CopyToBMP%1").arg(n));
    copy->setToolTip(QStringLiteral("Copies chart %1 to the clipboard").arg(n));
    connect(copy, &QPushButton::clicked, this, [this, n] { charts_[n]->CopyToClipboard(); });
    chartButtons->addWidget(copy);
  }
  QPushButton* enableAll = Button(this, QStringLiteral("Enable all series"));
  connect(enableAll, &QPushButton::clicked, this, [this] {
    for (int n = 1; n <= 3; ++n) {
      charts_[n]->ShowAllSeries();
      charts_[n]->Refresh();
    }
  });
  chartButtons->addWidget(enableAll);
  chartButtons->addStretch(1);

  auto* plots = new QVBoxLayout;
  plots->addWidget(c1, 3);
  plots->addWidget(c2, 3);
  plots->addWidget(c3, 2);
  plots->addLayout(chartButtons);

  auto* top = new QHBoxLayout(this);
  top->setContentsMargins(6, 6, 6, 6);
  auto* panelWidget = new QWidget(this);
  panelWidget->setLayout(panel);
  panelWidget->setFixedWidth(330);
  top->addWidget(panelWidget);
  top->addLayout(plots, 1);
  resize(1200, 820);
  ApplyModeRule();
}

RampAnalyzerWindow::~RampAnalyzerWindow() = default;

Session& RampAnalyzerWindow::s() const { return wb_.session(); }
RampSink& RampAnalyzerWindow::sink() { return *sink_; }
Chart* RampAnalyzerWindow::chart(int number) const { return charts_[number]; }

QString RampAnalyzerWindow::FolderOf(int item) const {
  static const char* const kSubfolders[] = {"cell2", "cell2/Lyle", "cell2/Destexhe", "cell2/Soma+Axon_Migliore"};
  if (item == 0) return QDir(wb_.StartFolder().isEmpty() ? QDir::currentPath() : wb_.StartFolder()).absolutePath();
  return QDir(DataRoot()).filePath(QString::fromUtf8(kSubfolders[item - 1]));
}

void RampAnalyzerWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!ramp_) wb_.RunCommand([this] { StartUp(); });
}

void RampAnalyzerWindow::closeEvent(QCloseEvent* event) {
  ramp_.reset();
  QWidget::closeEvent(event);
}

void RampAnalyzerWindow::StartUp() {
  ramp_ = std::make_unique<TRamp>();
  ApplyModeRule();
  const QString folder = FolderOf(0);
  ramp_->Folder = folder.toStdString();
  ramp_->FileName = QDir(folder).filePath(DefaultFileName()).toStdString();
  // Without the default file in the first folder, the shipped sample is read;
  // output still goes to the first folder.
  QString sample;
  if (!QFileInfo::exists(QString::fromStdString(ramp_->FileName))) {
    sample = QDir(wb_.ProjectFolder()).filePath(QStringLiteral("resources/ramps/") + DefaultFileName());
    if (QFileInfo::exists(sample)) ramp_->FileName = sample.toStdString();
  }
  if (QFileInfo::exists(QString::fromStdString(ramp_->FileName))) {
    ReadChosenFile();
  } else {
    // No sweeps to read: said where they were looked for, instead of empty
    // traces that look like a recording of nothing.
    fileName_->setText(
        QStringLiteral("No sweeps: neither %1 nor the sample %2 exists; the model's sweeps are shown. "
                       "Click \"File  name:\" to choose a sweep file.")
            .arg(QDir::toNativeSeparators(QDir(folder).filePath(DefaultFileName())),
                 QDir::toNativeSeparators(sample)));
    fileName_->setToolTip(wb_.NotFoundAdvice(QStringLiteral("the ramp sample (resources/ramps)")));
    DataFromSimulation();
    settingFolder_ = true;
    folders_->setCurrentIndex(5);
    wb_.inputs().ramp.FolderItem = 5;
    settingFolder_ = false;
  }
  FilterCurrent();
  FindThreshold();
}

bool RampAnalyzerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    if (watched == help_->viewport()) {
      help_->hide();
      return true;
    }
    if (watched == fileLabel_) {
      wb_.RunCommand([this] {
        ChooseRampFile();
        ReadChosenFile();
      });
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonDblClick && charts_[1] && watched == charts_[1]->PlotArea()) {
    charts_[1]->SetAxisAutomatic(ChartAxis::Bottom, true);
    charts_[1]->SetAxisAutomatic(ChartAxis::Left, true);
    charts_[1]->Refresh();
  }
  return QWidget::eventFilter(watched, event);
}

void RampAnalyzerWindow::ApplyModeRule() {
  const bool scaled = mode_->currentIndex() == 0;
  for (int n : {9, 10, 5}) inputs_[n]->setEnabled(scaled);
}

void RampAnalyzerWindow::ShowInputs() {
  const RampInputs& in = wb_.inputs().ramp;
  inputs_[4]->setValue(in.Conv_thr);
  inputs_[5]->setValue(in.SpikeShapeAmplitude);
  inputs_[6]->setValue(in.SpikeShapeHalfDuration);
  inputs_[7]->setValue(in.MinSpikeAmpl);
}

void RampAnalyzerWindow::RefreshCharts() {
  for (int n = 1; n <= 3; ++n) charts_[n]->Refresh();
}

bool RampAnalyzerWindow::ChooseRampFile() {
  const int item = std::min(folders_->currentIndex(), 4);
  const QString chosen =
      wb_.dialogs().OpenFileName(this, QStringLiteral("Sweep file"), FolderOf(item),
                                 QStringLiteral("sweep files|*.txt;*.dat|all files|*.*"));
  if (chosen.isEmpty() || !ramp_) return false;
  ramp_->FileName = chosen.toStdString();
  ramp_->Folder = QFileInfo(chosen).absolutePath().toStdString();
  return true;
}

void RampAnalyzerWindow::ReadChosenFile() {
  if (!ramp_) return;
  ramp_->CurSweep = SweepNumber(wb_.inputs().ramp.Smpl);
  if (ReadRampFile(*ramp_, wb_.inputs().ramp)) {
    fileName_->setText(QString::fromStdString(ramp_->FileName));
    if (!ramp_->Note.empty()) wb_.dialogs().ShowMessage(this, windowTitle(), QString::fromStdString(ramp_->Note));
  }
  DrawSweep(*ramp_, *sink_, wb_);
  RefreshCharts();
}

void RampAnalyzerWindow::ReadAndDrawData() {
  ChooseRampFile();
  ReadChosenFile();
}

void RampAnalyzerWindow::FilterCurrent() {
  if (!ramp_) return;
  membrix::FilterCurrent(*ramp_, wb_.inputs().ramp, *sink_);
  RefreshCharts();
}

void RampAnalyzerWindow::FindThreshold() {
  if (!ramp_) return;
  membrix::FindThreshold(*ramp_, wb_.inputs().ramp, *sink_);
  RefreshCharts();
}

void RampAnalyzerWindow::AllSamples() {
  if (!ramp_) return;
  membrix::AllSamples(*ramp_, wb_.inputs().ramp, *sink_, wb_);
  // The recorded traces of the last sweep analysed go with its filtered ones.
  DrawSweep(*ramp_, *sink_, wb_);
  RefreshCharts();
}

void RampAnalyzerWindow::DataFromSimulation() {
  if (!ramp_) return;
  membrix::DataFromSimulation(*ramp_, s(), wb_.inputs().ramp, FolderOf(0).toStdString(), *sink_, wb_);
  RefreshCharts();
}

void RampAnalyzerWindow::OnSweepChanged(double value) {
  if (!ramp_) return;
  if (value < 1.0 || value > TRamp::kMaxSweeps) {
    inputs_[2]->setValue(value < 1.0 ? 1.0 : TRamp::kMaxSweeps);
    return;
  }
  wb_.RunCommand([this, value] {
    ramp_->CurSweep = static_cast<std::int32_t>(std::trunc(value));
    DrawSweep(*ramp_, *sink_, wb_);
    FilterCurrent();
    FindThreshold();
  });
}

void RampAnalyzerWindow::OnFolderChanged(int item) {
  if (settingFolder_ || !ramp_) return;
  wb_.inputs().ramp.FolderItem = item;
  const std::string name = ApplyFolderChoice(wb_.inputs().ramp, item);
  if (!name.empty()) {
    ShowInputs();
    ramp_->Folder = FolderOf(item).toStdString();
    ramp_->FileName = QDir(FolderOf(item)).filePath(QString::fromStdString(name)).toStdString();
  }
  wb_.RunCommand([this] {
    ReadChosenFile();
    FilterCurrent();
    FindThreshold();
  });
}

}  // namespace membrix
