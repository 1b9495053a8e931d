#include "ui/windows/reverse_problem_window.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "channels/potassium.h"
#include "channels/resurgent_sodium.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/run_globals.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/main_window.h"
#include "ui/numeric_input.h"
#include "ui/parameter_window.h"
#include "ui/protocol_keeper.h"
#include "ui/run_view_charts.h"
#include "ui/windows/data_tools.h"
#include "ui/workbench.h"

namespace membrix {

// The run views of the workbench, with the fitted and recorded conductances
// and the spike run's voltage and gates copied into this window's charts.
class MirroringSink final : public RunViewSink {
 public:
  MirroringSink(ReverseProblemWindow& w, RunViewSink& views) : w_(w), views_(views) {}
  bool Drawing() const override { return true; }
  bool KeepsPoints() const override { return views_.KeepsPoints(); }
  bool PhasePlaneShown() const override { return views_.PhasePlaneShown(); }
  void Clear() override {
    views_.Clear();
    for (Chart* c : {w_.fitChart_, w_.voltageChart_, w_.gateChart_}) c->ClearAll();
  }
  void Prepare(const RunViewSetup& setup) override { views_.Prepare(setup); }
  void Point(std::string_view series, double x, double y) override {
    if (views_.Drawing()) views_.Point(series, x, y);
    if (series == "Model") w_.fitChart_->AddPoint(0, x, y);
    if (series == "Experiment") w_.fitChart_->AddPoint(1, x, y);
    if (series == " V ") w_.voltageChart_->AddPoint(0, x, y);
    if (series == "mmR") w_.gateChart_->AddPoint(0, x, y);
    if (series == "hhR") w_.gateChart_->AddPoint(1, x, y);
    if (series == "nn") w_.gateChart_->AddPoint(2, x, y);
  }
  void Status(double tMs, const std::string& entry) override { views_.Status(tMs, entry); }
  void Spike(double tSpike) override { views_.Spike(tSpike); }
  void CurvePoint(double x, double y) override { views_.CurvePoint(x, y); }

 private:
  ReverseProblemWindow& w_;
  RunViewSink& views_;
};

// The workbench's host, with this window's Stop. During a fit the windows are
// not refilled from the parameters at every run (twice per run, for every
// curve of every evaluation): the coefficient inputs follow the simplex at
// each pass, and all windows are refreshed when the fit ends.
class StoppableHost final : public Host {
 public:
  StoppableHost(ReverseProblemWindow& w, Workbench& wb, bool fitting = false) : w_(w), wb_(wb), fitting_(fitting) {}
  void ProcessEvents() override { wb_.ProcessEvents(); }
  bool StopRequested() const override { return w_.stop_ || wb_.StopRequested(); }
  bool Confirm(const std::string& q) override { return wb_.Confirm(q); }
  void ShowParameters() override {
    if (!fitting_) wb_.ShowParameters();
  }

 private:
  ReverseProblemWindow& w_;
  Workbench& wb_;
  bool fitting_;
};

namespace {

// The progress of a fit: the label, the inputs following the simplex, the
// charts.
class WindowProgress final : public FitProgress {
 public:
  WindowProgress(ReverseProblemWindow& w, QLabel* label, MainWindow& form1) : w_(w), label_(label), form1_(form1) {}
  void Pass(const SimplexPass& pass, const std::string& line) override {
    nmaxExceeded_ = nmaxExceeded_ || pass.nmaxExceeded;
    label_->setText(QStringLiteral("Step, Residual=") + QString::fromStdString(line));
    w_.ShowCoefficients();
    form1_.SyncMemos();
    for (Chart* c : {w_.fitChart()}) c->Refresh();
  }
  // Whether the last pass ran past the most evaluations the fit allows.
  bool NmaxExceeded() const { return nmaxExceeded_; }

 private:
  bool nmaxExceeded_ = false;
  ReverseProblemWindow& w_;
  QLabel* label_;
  MainWindow& form1_;
};

// After the residual of a fit: whether the simplex settled within its
// tolerance or stopped short of it.
QString ConvergenceNote(const SimplexResult& r, bool nmaxExceeded) {
  if (r.stopped) return QStringLiteral(" \u2014 not converged: stopped after %1 passes").arg(r.passes);
  if (nmaxExceeded) return QStringLiteral(" \u2014 not converged: the evaluations ran out after %1").arg(r.nfunk);
  if (r.flat) return QStringLiteral(" \u2014 not converged: the coefficients do not change the residual");
  return QStringLiteral(" \u2014 converged after %1 passes").arg(r.passes);
}

constexpr int kFitPage = 0;
constexpr int kSpikePage = 1;
constexpr int kFiguresPage = 2;

const char* const kNaInputs[] = {"DDSpinEdit1", "DDSpinEdit2",  "DDSpinEdit3",  "DDSpinEdit4",
                                 "DDSpinEdit5", "DDSpinEdit6",  "DDSpinEdit7",  "DDSpinEdit8",
                                 "DDSpinEdit9", "DDSpinEdit10", "DDSpinEdit11", "DDSpinEdit12"};
const char* const kKInputs[] = {"DDSpinEdit14", "DDSpinEdit15", "DDSpinEdit16", "DDSpinEdit17",
                                "DDSpinEdit18", "DDSpinEdit19", "DDSpinEdit20", "DDSpinEdit21"};

// A gate relaxing at a fixed voltage: x(t) = x_inf - (x_inf - x0) exp(-t/tau).
double Relaxed(const GateRates& r, double x0, double tMs) {
  return r.tau > 0.0 ? r.inf - (r.inf - x0) * std::exp(-tMs / r.tau) : r.inf;
}

QString FormulaPage(const QString& title, const QString& body) {
  return QStringLiteral(
             "<div style='font-family:serif; font-size:15pt'><p "
             "style='font-size:16pt'><b>%1</b></p>%2</div>")
      .arg(title, body);
}

// A page of formulas, typeset when it is first shown: the window is made at
// start-up, and typesetting is the slow part of making it.
class FormulaLabel final : public QLabel {
 public:
  explicit FormulaLabel(QString html) : html_(std::move(html)) {}

 protected:
  void showEvent(QShowEvent* event) override {
    if (pixmap().isNull()) {
      setPixmap(QPixmap::fromImage(ReverseProblemWindow::FormulaPicture(html_, 640)));
      adjustSize();
    }
    QLabel::showEvent(event);
  }

 private:
  QString html_;
};

QWidget* PicturePage(const QString& html, const char* name) {
  auto* label = new FormulaLabel(html);
  label->setObjectName(QString::fromUtf8(name));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* scroll = new QScrollArea;
  scroll->setWidget(label);
  scroll->setStyleSheet(QStringLiteral("background: white"));
  return scroll;
}

}  // namespace

ReverseProblemWindow::ReverseProblemWindow(Workbench& workbench, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(workbench) {
  setObjectName(QStringLiteral("Form17"));
  setWindowTitle(
      QStringLiteral("Reverse problem: Na and K rate coefficients "
                     "from voltage-clamp conductances"));
  auto* layout = new QVBoxLayout(this);
  pages_ = new QTabWidget;
  pages_->setObjectName(QStringLiteral("PageControl1"));
  pages_->addTab(BuildFitPage(), QStringLiteral("Set initial coefficients and solve reverse problem"));
  pages_->addTab(BuildSpikePage(), QStringLiteral("Simulate spikes"));
  pages_->addTab(BuildFiguresPage(), QStringLiteral("View figures"));
  pages_->addTab(BuildApproximationsPage(), QStringLiteral("View approximations"));
  layout->addWidget(pages_);
  connect(pages_, &QTabWidget::currentChanged, this, &ReverseProblemWindow::OnPageChanged);
  resize(1000, 720);
  ShowCoefficients();
}

Session& ReverseProblemWindow::s() const { return wb_.session(); }

ReverseCurrent ReverseProblemWindow::Current() const {
  return current_->checkedId() == 1 ? ReverseCurrent::K : ReverseCurrent::Na;
}

QWidget* ReverseProblemWindow::BuildFitPage() {
  auto* page = new QWidget;
  auto* top = new QHBoxLayout;
  // The two coefficient tables.
  int boxNumber = 0;
  for (ReverseCurrent c : {ReverseCurrent::Na, ReverseCurrent::K}) {
    auto* group = new QGroupBox(c == ReverseCurrent::Na ? QStringLiteral("for Na:") : QStringLiteral("for K:"));
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(2);
    const auto coefficients = ReverseCoefficients(c);
    for (std::size_t i = 0; i < coefficients.size(); ++i) {
      const ReverseCoefficient& k = coefficients[i];
      auto* box = new QCheckBox(QString::fromUtf8(k.caption.data(), static_cast<int>(k.caption.size())));
      box->setObjectName(QStringLiteral("CheckBox%1").arg(++boxNumber));
      const bool volts = k.windowScale != 1.0;
      const bool conductance = k.caption.starts_with('g');
      auto* input = new NumericInput(nullptr, volts || conductance ? 2 : 4);
      input->setObjectName(QString::fromUtf8(c == ReverseCurrent::Na ? kNaInputs[i] : kKInputs[i]));
      input->setDoubleClickValue(std::nullopt);
      input->setMaximumWidth(110);
      if (volts) input->setToolTip(QStringLiteral("mV"));
      if (conductance) input->setToolTip(QStringLiteral("mS/cm^2"));
      grid->addWidget(box, static_cast<int>(i), 0);
      grid->addWidget(input, static_cast<int>(i), 1);
      rows_.push_back({&k, box, input});
      const Row row = rows_.back();
      connect(box, &QCheckBox::toggled, this, [this] {
        if (!showing_) ApplyCoefficients();
      });
      connect(input, &NumericInput::valueChanged, this, [this, row](double v) {
        if (!showing_) s().NP0.*row.coefficient->member = v / row.coefficient->windowScale;
      });
    }
    grid->setRowStretch(static_cast<int>(coefficients.size()), 1);
    top->addWidget(group);
  }

  // The choice, the curve, the tolerance and the commands.
  auto* controls = new QVBoxLayout;
  auto* radio = new QGroupBox(QStringLiteral("Fit sodium or potassium?"));
  radio->setObjectName(QStringLiteral("RadioGroup1"));
  auto* radioLayout = new QHBoxLayout(radio);
  current_ = new QButtonGroup(this);
  for (int id : {0, 1}) {
    auto* b = new QRadioButton(id == 0 ? QStringLiteral("Na") : QStringLiteral("K"));
    b->setObjectName(id == 0 ? QStringLiteral("RadioNa") : QStringLiteral("RadioK"));
    current_->addButton(b, id);
    radioLayout->addWidget(b);
  }
  current_->button(0)->setChecked(true);
  connect(current_, &QButtonGroup::idClicked, this, &ReverseProblemWindow::OnCurrentChosen);
  controls->addWidget(radio);

  auto* form = new QGridLayout;
  form->addWidget(new QLabel(QStringLiteral("Curve number: ")), 0, 0);
  curve_ = new QSpinBox;
  curve_->setObjectName(QStringLiteral("SpinEdit1"));
  curve_->setRange(0, kMaxRecording);
  curve_->setValue(1);
  connect(curve_, &QSpinBox::valueChanged, this, &ReverseProblemWindow::OnCurveNumber);
  form->addWidget(curve_, 0, 1);
  form->addWidget(new QLabel(QStringLiteral("Tolerance=")), 1, 0);
  tolerance_ = new NumericInput(nullptr, 5);
  tolerance_->setObjectName(QStringLiteral("DDSpinEdit24"));
  tolerance_->setToolTip(QStringLiteral("0 means 1e-4; read at every pass of the simplex"));
  connect(tolerance_, &NumericInput::valueChanged, this, [this](double v) { s().fit.Tolerance = v; });
  form->addWidget(tolerance_, 1, 1);
  controls->addLayout(form);

  solve_ = new QPushButton(QStringLiteral("Solve reverse problem"));
  solve_->setObjectName(QStringLiteral("Solve reverse problem"));
  auto* stop = new QPushButton(QStringLiteral("Stop"));
  stop->setObjectName(QStringLiteral("Stop"));
  connect(solve_, &QPushButton::clicked, this, &ReverseProblemWindow::OnSolve);
  connect(stop, &QPushButton::clicked, this, &ReverseProblemWindow::OnStop);
  auto* run = new QHBoxLayout;
  run->addWidget(solve_);
  run->addWidget(stop);
  controls->addLayout(run);
  progress_ = new QLabel(QStringLiteral("Step, Residual="));
  progress_->setObjectName(QStringLiteral("Label_Residual"));
  fileName_ = new QLabel(QStringLiteral("File name: "));
  fileName_->setObjectName(QStringLiteral("Label_FileName"));
  controls->addWidget(progress_);
  controls->addWidget(fileName_);

  const struct {
    const char* name;
    const char* caption;
    void (ReverseProblemWindow::*slot)();
  } buttons[] = {
      {"Button5", "Set the start-up parameters", &ReverseProblemWindow::OnSetStartup},
      {"Button6", "Set Na coefficients of the squid-axon model", &ReverseProblemWindow::OnSetSquidAxon},
      {"Button8", "Set gNa, gK, gL and VL of recording 11", &ReverseProblemWindow::OnSetConductancesFromSample11},
  };
  for (const auto& b : buttons) {
    auto* button = new QPushButton(QString::fromUtf8(b.caption));
    button->setObjectName(QString::fromUtf8(b.name));
    connect(button, &QPushButton::clicked, this, b.slot);
    controls->addWidget(button);
  }
  details_ = new QPushButton(QStringLiteral("Hide details"));
  details_->setObjectName(QStringLiteral("Button_Details"));
  connect(details_, &QPushButton::clicked, this, &ReverseProblemWindow::OnDetails);
  controls->addWidget(details_);
  controls->addStretch(1);
  top->addLayout(controls);

  fitChart_ = new Chart;
  fitChart_->setObjectName(QStringLiteral("Chart3"));
  fitChart_->AddSeries(QStringLiteral("Model"), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 0, 200));
  fitChart_->AddSeries(QStringLiteral("Experiment"), SeriesKind::FastLine, ChartAxis::Left, QColor(200, 0, 0));
  fitChart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  fitChart_->SetAxisTitle(ChartAxis::Left, QStringLiteral("g, in units"));
  fitChart_->SetAxisRange(ChartAxis::Left, 0.0, 2.0);
  fitChart_->setMinimumHeight(260);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(top);
  layout->addWidget(fitChart_, 1);
  return page;
}

NumericInput* ReverseProblemWindow::AddSpikeInput(QGridLayout* grid, int row, const char* name, const char* caption,
                                                  void (*store)(Session&, double)) {
  grid->addWidget(new QLabel(QString::fromUtf8(caption)), row, 0);
  auto* input = new NumericInput(nullptr, 2);
  input->setObjectName(QString::fromUtf8(name));
  input->setDoubleClickValue(std::nullopt);
  input->setMaximumWidth(110);
  grid->addWidget(input, row, 1);
  connect(input, &NumericInput::valueChanged, this, [this, store](double v) {
    if (!showing_) store(s(), v);
  });
  spikeInputs_.push_back(input);
  return input;
}

QWidget* ReverseProblemWindow::BuildSpikePage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout;
  // The current density is entered in muA/cm^2: value x Square x 1e6 is pA.
  AddSpikeInput(grid, 0, "DDSpinEdit13",
                " I injected,  muA/cm^2:", [](Session& s, double v) { s.stim.Iind = v * s.NP0.Square * 1e6; });
  AddSpikeInput(grid, 1, "DDSpinEdit22", " gNa, mS/cm^2:", [](Session& s, double v) { s.NP0.gNaR = v; });
  AddSpikeInput(grid, 2, "DDSpinEdit23", " gK,    mS/cm^2:", [](Session& s, double v) { s.NP0.gK = v; });
  AddSpikeInput(grid, 3, "DDSpinEdit25",
                " Integration time, ms:", [](Session& s, double v) { SetRunLength(s.run, v / 1000.0); });
  AddSpikeInput(grid, 4, "DDSpinEdit26", " gL,    mS/cm^2:", [](Session& s, double v) { s.NP0.gL = v; });
  AddSpikeInput(grid, 5, "DDSpinEdit27",
                " VL,                mV:", [](Session& s, double v) { s.NP0.VL = v / 1000.0; });
  auto* run = new QPushButton(QStringLiteral("Run"));
  run->setObjectName(QStringLiteral("Run"));
  connect(run, &QPushButton::clicked, this, &ReverseProblemWindow::OnRunSpikes);
  grid->addWidget(run, 6, 0, 1, 2);
  grid->setRowStretch(7, 1);

  voltageChart_ = new Chart;
  voltageChart_->setObjectName(QStringLiteral("ChartV"));
  voltageChart_->AddSeries(QStringLiteral(" V "), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 0, 200));
  voltageChart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  voltageChart_->SetAxisTitle(ChartAxis::Left, QStringLiteral("mV"));
  gateChart_ = new Chart;
  gateChart_->setObjectName(QStringLiteral("ChartGates"));
  gateChart_->AddSeries(QStringLiteral("m"), SeriesKind::FastLine, ChartAxis::Left, QColor(200, 0, 0));
  gateChart_->AddSeries(QStringLiteral("h"), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 150, 0));
  gateChart_->AddSeries(QStringLiteral("n"), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 0, 200));
  gateChart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  gateChart_->SetAxisRange(ChartAxis::Left, 0.0, 1.0);
  auto* charts = new QVBoxLayout;
  charts->addWidget(voltageChart_, 1);
  charts->addWidget(gateChart_, 1);

  auto* layout = new QHBoxLayout(page);
  layout->addLayout(grid);
  layout->addLayout(charts, 1);
  return page;
}

QWidget* ReverseProblemWindow::BuildFiguresPage() {
  // Conductances of the classic squid-axon kinetics under voltage steps from
  // the rest, computed from the rate functions of the current coefficients
  // each time the page is shown.
  auto* tabs = new QTabWidget;
  tabs->setObjectName(QStringLiteral("PageControl2"));
  const char* const titles[] = {"Na and K activation", "Na and K de-activation", "Na inactivation"};
  for (const char* title : titles) {
    auto* chart = new Chart;
    chart->setObjectName(QString::fromUtf8(title));
    chart->SetTitle(QString::fromUtf8(title));
    chart->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
    chart->SetAxisTitle(ChartAxis::Left, QStringLiteral("g, mS/cm^2"));
    tabs->addTab(chart, QString::fromUtf8(title));
  }
  return tabs;
}

QWidget* ReverseProblemWindow::BuildApproximationsPage() {
  auto* tabs = new QTabWidget;
  tabs->setObjectName(QStringLiteral("PageControl3"));
  const QString rest = QStringLiteral(
      "<p>V is the membrane potential minus Tr_NaR (&minus;60 mV in the classic model), in mV; "
      "rates are in 1/ms. "
      "The fourth coefficients keep their classic values "
      "(a<sub>4</sub> = 1, b<sub>4</sub> = c<sub>4</sub> = 0, "
      "d<sub>4</sub> = &minus;1) and are not fitted.</p>");
  tabs->addTab(PicturePage(FormulaPage(QStringLiteral("Sodium current"),
                                       QStringLiteral("<p>I<sub>Na</sub> = g<sub>Na</sub> m<sup>3</sup> h (V "
                                                      "&minus; V<sub>Na</sub>)</p>"
                                                      "<p>dm/dt = &alpha;<sub>m</sub>(V) (1 &minus; m) &minus; "
                                                      "&beta;<sub>m</sub>(V) m, "
                                                      "&nbsp; dh/dt = &alpha;<sub>h</sub>(V) (1 &minus; h) &minus; "
                                                      "&beta;<sub>h</sub>(V) h</p>"
                                                      "<p>&alpha;<sub>m</sub>(V) = a<sub>1</sub> (a<sub>2</sub> "
                                                      "&minus; V) / "
                                                      "(exp((a<sub>2</sub> &minus; V) / a<sub>3</sub>) &minus; "
                                                      "1)</p>"
                                                      "<p>&beta;<sub>m</sub>(V) = b<sub>1</sub> exp((b<sub>2</sub> "
                                                      "&minus; V) / b<sub>3</sub>)</p>"
                                                      "<p>&alpha;<sub>h</sub>(V) = c<sub>1</sub> "
                                                      "exp((c<sub>2</sub> &minus; V) / c<sub>3</sub>)</p>"
                                                      "<p>&beta;<sub>h</sub>(V) = d<sub>1</sub> / "
                                                      "(exp((d<sub>2</sub> &minus; V) / d<sub>3</sub>) + 1)</p>"
                                                      "<p>b<sub>2</sub> and c<sub>2</sub> are 0 in the classic "
                                                      "model and are not among the "
                                                      "window's coefficients.</p>") +
                                           rest),
                           "PictureNa"),
               QStringLiteral("Na"));
  tabs->addTab(PicturePage(FormulaPage(QStringLiteral("Potassium current"),
                                       QStringLiteral("<p>I<sub>K</sub> = g<sub>K</sub> n<sup>4</sup> (V "
                                                      "&minus; V<sub>K</sub>)</p>"
                                                      "<p>dn/dt = &alpha;<sub>n</sub>(V) (1 &minus; n) "
                                                      "&minus; &beta;<sub>n</sub>(V) n</p>"
                                                      "<p>&alpha;<sub>n</sub>(V) = a<sub>1</sub> "
                                                      "(a<sub>2</sub> &minus; V) / "
                                                      "(exp((a<sub>2</sub> &minus; V) / a<sub>3</sub>) "
                                                      "&minus; 1)</p>"
                                                      "<p>&beta;<sub>n</sub>(V) = b<sub>1</sub> "
                                                      "exp((b<sub>2</sub> &minus; V) / b<sub>3</sub>)</p>"
                                                      "<p>V is the membrane potential minus Tr_Na "
                                                      "(&minus;60 mV in the classic model), in mV; "
                                                      "rates are in 1/ms.</p>")),
                           "PictureK"),
               QStringLiteral("K"));
  tabs->addTab(PicturePage(FormulaPage(QStringLiteral("How the reverse problem is solved"),
                                       QStringLiteral("<p>Each recording i is a voltage-clamp step to "
                                                      "V<sub>i</sub>; its current is "
                                                      "turned into a conductance</p>"
                                                      "<p>&nbsp;&nbsp; g<sub>i</sub>(t) = I<sub>i</sub>(t) / "
                                                      "(V<sub>i</sub> &minus; E), "
                                                      "&nbsp; E = VrevFit (V<sub>Na</sub> or V<sub>K</sub> of the "
                                                      "recording).</p>"
                                                      "<p>The model runs the same steps in the clamp mode "
                                                      "\"for&nbsp; gNa\" and gives "
                                                      "g<sub>i</sub><sup>mod</sup>(t) the same way. The residual "
                                                      "is</p>"
                                                      "<p>&nbsp;&nbsp; F = &Sigma;<sub>i</sub> [ (1/N) "
                                                      "&Sigma;<sub>t</sub> "
                                                      "(g<sub>i</sub>(t) &minus; "
                                                      "g<sub>i</sub><sup>mod</sup>(t))<sup>2</sup> ]<sup>1/2</sup> "
                                                      "/ sc_Simplex,</p>"
                                                      "<p>the sum over the curves 1 &hellip; NSmpls of the "
                                                      "root-mean-square deviation after "
                                                      "the start of the step. The ticked coefficients move by the "
                                                      "downhill simplex "
                                                      "method (Nelder&ndash;Mead) until the highest and the lowest "
                                                      "vertex agree within "
                                                      "the tolerance; the best vertex is the result.</p>")),
                           "PictureFit"),
               QStringLiteral("How the reverse problem is solved?"));
  return tabs;
}

QImage ReverseProblemWindow::FormulaPicture(const QString& html, int width) {
  QTextDocument doc;
  doc.setHtml(html);
  doc.setTextWidth(width - 24);
  const QSize size(width, static_cast<int>(std::ceil(doc.size().height())) + 24);
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(12, 12);
    doc.drawContents(&painter);
  }
  // Kept and shown as a PNG picture.
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  QImage picture;
  picture.loadFromData(png, "PNG");
  return picture;
}

void ReverseProblemWindow::ShowCoefficients() {
  showing_ = true;
  const Session& ss = s();
  for (const Row& r : rows_) {
    r.input->setValue(ss.NP0.*r.coefficient->member * r.coefficient->windowScale);
    r.box->setChecked(ss.fit.MenuChecked[FindFitSlot(r.coefficient->fitItem)]);
  }
  const double square = ss.NP0.Square;
  spikeInputs_[0]->setValue(square > 0.0 ? ss.stim.Iind / square / 1e6 : 0.0);
  spikeInputs_[1]->setValue(ss.NP0.gNaR);
  spikeInputs_[2]->setValue(ss.NP0.gK);
  spikeInputs_[3]->setValue(ss.run.t_end * 1000.0);
  spikeInputs_[4]->setValue(ss.NP0.gL);
  spikeInputs_[5]->setValue(ss.NP0.VL * 1000.0);
  tolerance_->setValue(ss.fit.Tolerance);
  showing_ = false;
  UpdateEnabled();
}

void ReverseProblemWindow::ApplyCoefficients() {
  Session& ss = s();
  // The inputs wrote their fields as they changed; writing the shown,
  // rounded values again would lose the digits of a fitted value.
  for (const Row& r : rows_) ss.fit.MenuChecked[FindFitSlot(r.coefficient->fitItem)] = r.box->isChecked();
  SetRunLength(ss.run, ss.run.t_end);
  UpdateEnabled();
  wb_.mainWindow().ShowFitMarks();
}

void ReverseProblemWindow::UpdateEnabled() {
  for (const Row& r : rows_) r.input->setEnabled(r.box->isChecked());
}

void ReverseProblemWindow::OnCurrentChosen(int id) {
  const ReverseCurrent current = id == 1 ? ReverseCurrent::K : ReverseCurrent::Na;
  wb_.RunCommand([&] { SelectReverseCurrent(s(), current); });
  if (curve_->value() > s().rec.NSmpls) {
    const QSignalBlocker quiet(curve_);
    curve_->setValue(std::max(1, s().rec.NSmpls));
  }
  ShowCoefficients();
  wb_.mainWindow().ShowFitMarks();
  wb_.Correspond();
}

void ReverseProblemWindow::OnCurveNumber(int v) {
  if (v < 1 || v > s().rec.NSmpls || wb_.Running()) {
    const QSignalBlocker quiet(curve_);
    curve_->setValue(s().rec.Smpl);
    return;
  }
  s().rec.Smpl = v;
  StoppableHost host(*this, wb_);
  MirroringSink sink(*this, wb_.views());
  wb_.RunSimulation([&] { RunClamp(s(), host, sink); }, this);
  ShowFileName();
  RefreshCharts();
}

void ReverseProblemWindow::ShowFileName() {
  const Session& ss = s();
  fileName_->setText(QStringLiteral("File name: ") + QString::fromStdString(ss.rec.SmplFile[ss.rec.Smpl]));
}

void ReverseProblemWindow::RefreshCharts() {
  // The recorded conductances may reach beyond the axis's 0 ... 2. The
  // capacitive current of the voltage jumps (a few steps at the start and the
  // end of the step) does not set the scale.
  const Session& ss = s();
  const double dtMs = ss.run.dt * 1000.0;
  const double edges[] = {ss.stim.t_IindShift * 1000.0, (ss.stim.t_IindShift + ss.stim.t_Iind) * 1000.0};
  const auto atEdge = [&](double x) {
    for (double e : edges) {
      if (x > e - 0.5 * dtMs && x <= e + 3.5 * dtMs) return true;
    }
    return false;
  };
  double top = 2.0;
  for (int series : {0, 1}) {
    for (int k = 0; k < fitChart_->PointCount(series); ++k) {
      const QPointF p = fitChart_->Point(series, k);
      if (!atEdge(p.x())) top = std::max(top, p.y());
    }
  }
  fitChart_->SetAxisRange(ChartAxis::Left, 0.0, top > 2.0 ? 1.05 * top : 2.0);
  for (Chart* c : {fitChart_, voltageChart_, gateChart_}) c->Refresh();
}

void ReverseProblemWindow::OnSolve() {
  if (wb_.Running()) return;
  ApplyCoefficients();
  MainWindow& form1 = wb_.mainWindow();
  for (const char* memo : {"SimplexMemo", "CoeMemo"}) {
    if (auto* w = form1.findChild<QWidget*>(QString::fromUtf8(memo))) w->show();
  }
  for (int n : {5, 4, 1, 2}) {
    if (Chart* c = form1.chart(n)) c->hide();
  }
  stop_ = false;
  solve_->setText(QStringLiteral("In process"));
  StoppableHost host(*this, wb_, true);
  MirroringSink sink(*this, wb_.views());
  WindowProgress progress(*this, progress_, form1);
  const ReverseCurrent current = Current();
  SimplexResult result;
  bool done = false;
  {
    // The fit's result is the rate coefficients; the recordings it ran
    // through hand the main protocol back as it was before.
    const ProtocolKeeper keeper(wb_, QStringLiteral("The reverse problem"), ProtocolKeeper::Ending::GiveBack);
    done = wb_.RunSimulation([&] { result = SolveReverseProblem(s(), host, sink, progress, current); }, this);
  }
  solve_->setText(QStringLiteral("Run"));
  // The residual shown is the best vertex's; whether the simplex got to its
  // tolerance is said beside it.
  if (done) progress_->setText(progress_->text() + ConvergenceNote(result, progress.NmaxExceeded()));
  stop_ = false;
  wb_.Correspond();
  ShowCoefficients();
  ShowFileName();
  RefreshCharts();
  form1.SyncMemos();
}

void ReverseProblemWindow::OnStop() {
  if (!wb_.Running()) return;
  stop_ = true;
  SetRunLength(s().run, s().run.t_end);
}

void ReverseProblemWindow::OnRunSpikes() {
  StoppableHost host(*this, wb_);
  MirroringSink sink(*this, wb_.views());
  stop_ = false;
  wb_.RunSimulation([&] { SimulateSpikes(s(), host, sink); }, this);
  RefreshCharts();
}

void ReverseProblemWindow::OnDetails() {
  const bool hide = !details_->text().startsWith(QStringLiteral("Show"));
  if (hide) {
    MoveMainWindowAside();
    wb_.parameterWindow().hide();
    details_->setText(QStringLiteral("Show detailed information"));
  } else {
    BringMainWindowBack();
    wb_.parameterWindow().show();
    details_->setText(QStringLiteral("Hide detailed information"));
  }
}

void ReverseProblemWindow::MoveMainWindowAside() {
  QWidget& form1 = wb_.mainWindow();
  const QScreen* screen = form1.screen() != nullptr ? form1.screen() : QGuiApplication::primaryScreen();
  const QRect frame = form1.frameGeometry();
  int room = 1000;
  if (screen != nullptr) room = std::max(0, screen->availableGeometry().right() - frame.right());
  const int shift = std::min(1000, room);
  form1.move(form1.x() + shift, form1.y());
  mainShift_ += shift;
}

void ReverseProblemWindow::BringMainWindowBack() {
  QWidget& form1 = wb_.mainWindow();
  form1.move(form1.x() - mainShift_, form1.y());
  mainShift_ = 0;
}

void ReverseProblemWindow::OnPageChanged(int page) {
  if (page == kFitPage) {
    ShowCoefficients();
    s().rec.Smpl = 1;
    const QSignalBlocker quiet(curve_);
    curve_->setValue(1);
  } else if (page == kSpikePage) {
    PrepareSpikeSimulation(s());
    ShowCoefficients();
  } else if (page == kFiguresPage) {
    // The figures from the coefficients as they are now.
    auto* tabs = static_cast<QTabWidget*>(pages_->widget(kFiguresPage));
    const NeuronProperties& np = s().NP0;
    const double rest = np.Vrest * 1000.0;
    auto* activation = static_cast<Chart*>(tabs->widget(0));
    auto* deactivation = static_cast<Chart*>(tabs->widget(1));
    auto* inactivation = static_cast<Chart*>(tabs->widget(2));
    for (Chart* c : {activation, deactivation, inactivation}) c->ClearAll();
    const auto series = [](Chart* c, const QString& title, QColor color) {
      const int i = c->FindSeries(title);
      return i >= 0 ? i : c->AddSeries(title, SeriesKind::Line, ChartAxis::Left, color);
    };
    const SodiumRates naRest = TRarizaNaR::Rates(rest, np);
    const GateRates kRest = TRarizaK::Rates(rest, np);
    for (int step : {26, 51, 76, 101}) {  // mV above the rest
      const SodiumRates na = TRarizaNaR::Rates(rest + step, np);
      const GateRates k = TRarizaK::Rates(rest + step, np);
      const int iNa = series(activation, QStringLiteral("gNa, +%1 mV").arg(step), QColor(200, 30 + step, 0));
      const int iK = series(activation, QStringLiteral("gK, +%1 mV").arg(step), QColor(0, 30 + step, 200));
      const int tNa = series(deactivation, QStringLiteral("gNa, +%1 mV").arg(step), QColor(200, 30 + step, 0));
      const int tK = series(deactivation, QStringLiteral("gK, +%1 mV").arg(step), QColor(0, 30 + step, 200));
      // Stepped at 1 ms; for the de-activation back to the rest at 2 ms
      // (sodium) and 6 ms (potassium).
      for (double t = 0.0; t <= 12.0; t += 0.05) {
        const double on = std::max(0.0, t - 1.0);
        const double m = Relaxed(na.m, naRest.m.inf, on), h = Relaxed(na.h, naRest.h.inf, on);
        const double n = Relaxed(k, kRest.inf, on);
        activation->AddPoint(iNa, t, np.gNaR * m * m * m * h);
        activation->AddPoint(iK, t, np.gK * n * n * n * n);
        const double mOff = t <= 2.0 ? m : Relaxed(naRest.m, Relaxed(na.m, naRest.m.inf, 1.0), t - 2.0);
        const double hOff = t <= 2.0 ? h : Relaxed(naRest.h, Relaxed(na.h, naRest.h.inf, 1.0), t - 2.0);
        const double nOff = t <= 6.0 ? n : Relaxed(kRest, Relaxed(k, kRest.inf, 5.0), t - 6.0);
        deactivation->AddPoint(tNa, t, np.gNaR * mOff * mOff * mOff * hOff);
        deactivation->AddPoint(tK, t, np.gK * nOff * nOff * nOff * nOff);
      }
    }
    // Prepulses of 20 ms to -10 ... +20 mV about the rest, then a test step to
    // +60 mV.
    const SodiumRates test = TRarizaNaR::Rates(rest + 60.0, np);
    for (int pre : {-10, 0, 5, 10, 20}) {
      const SodiumRates p = TRarizaNaR::Rates(rest + pre, np);
      const double m0 = Relaxed(p.m, naRest.m.inf, 20.0), h0 = Relaxed(p.h, naRest.h.inf, 20.0);
      const int i = series(inactivation, QStringLiteral("prepulse %1 mV").arg(pre), QColor());
      for (double t = 0.0; t <= 6.0; t += 0.05) {
        const double m = Relaxed(test.m, m0, t), h = Relaxed(test.h, h0, t);
        inactivation->AddPoint(i, t, np.gNaR * m * m * m * h);
      }
    }
    for (Chart* c : {activation, deactivation, inactivation}) c->Refresh();
  }
  wb_.Correspond();
}

void ReverseProblemWindow::OnSetStartup() {
  s().prog.KeepParams = 0;
  ApplyStartupSet(s());
  s().rec.Smpl = 0;
  ShowCoefficients();
  wb_.Correspond();
}

void ReverseProblemWindow::OnSetSquidAxon() {
  Session& ss = s();
  ss.prog.KeepParams = 1;
  ApplyStartupSet(ss);
  NeuronProperties& np = ss.NP0;
  np.a1NaR = np.a1Na, np.a2NaR = np.a2Na, np.a3NaR = np.a3Na, np.a4NaR = np.a4Na;
  np.b1NaR = np.b1Na, np.b2NaR = np.b2Na, np.b3NaR = np.b3Na, np.b4NaR = np.b4Na;
  np.c1NaR = np.c1Na, np.c2NaR = np.c2Na, np.c3NaR = np.c3Na, np.c4NaR = np.c4Na;
  np.d1NaR = np.d1Na, np.d2NaR = np.d2Na, np.d3NaR = np.d3Na, np.d4NaR = np.d4Na;
  np.VNaR = np.VNa;
  np.gNaR = np.gNa;
  ss.rec.NSmpls = 17;
  ss.rec.Smpl = 0;
  ShowCoefficients();
  wb_.Correspond();
  // After the windows show the new values: the preview reads them back.
  RecomputeStimulus(wb_);
}

void ReverseProblemWindow::OnSetConductancesFromSample11() {
  wb_.RunCommand([this] {
    s().rec.Smpl = 11;
    LoadRecordingSection(s(), 11);
    s().rec.Smpl = 0;
  });
  ShowCoefficients();
  wb_.Correspond();
  RecomputeStimulus(wb_);
}

void ReverseProblemWindow::closeEvent(QCloseEvent* event) {
  // Closing this window ends the program, as closing the main window does.
  event->accept();
  if (closing_) return;
  closing_ = true;
  wb_.mainWindow().close();
}

void ShowReverseProblemWindow(Workbench& workbench, QWidget* mainWindow) {
  auto* w = mainWindow->findChild<ReverseProblemWindow*>();
  if (w == nullptr) w = new ReverseProblemWindow(workbench, mainWindow);
  w->ShowCoefficients();
  w->show();
  w->raise();
  w->MoveMainWindowAside();
  workbench.parameterWindow().hide();
  if (auto* details = w->findChild<QPushButton*>(QStringLiteral("Button_Details"))) {
    details->setText(QStringLiteral("Show detailed information"));
  }
}

}  // namespace membrix
