#include "tasks/task_inputs.h"
#include "ui/windows/fc_analysis_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/us_map.h"
#include "common/error.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/windows/sweep_window_support.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

struct MarkStyle {
  const char* name;
  QColor pen, brush;
  int size;
};
const MarkStyle kMarks[] = {{"Exact", Qt::black, Qt::black, 5},
                            {"Estimation", Qt::black, Qt::white, 7},
                            {"start", QColor(200, 0, 0), QColor(200, 0, 0), 9},
                            {"trials", QColor(90, 90, 90), QColor(160, 160, 160), 3}};

void DrawMark(QPainter& p, int kind, QPointF at) {
  const MarkStyle& m = kMarks[kind];
  p.setPen(QPen(m.pen, kind == 0 ? 1.8 : 1.2));
  p.setBrush(m.brush);
  const double r = m.size / 2.0;
  if (kind == 0) {
    p.drawLine(at + QPointF(-r, -r), at + QPointF(r, r));
    p.drawLine(at + QPointF(-r, r), at + QPointF(r, -r));
  } else if (kind == 2) {
    p.drawRect(QRectF(at.x() - r, at.y() - r, 2 * r, 2 * r));
  } else {
    p.drawEllipse(at, r, r);
  }
}

// The analysis drawn in the window: maps, marks and the estimated conductances.
class PanelSink final : public FiringClampAnalysisSink {
 public:
  PanelSink(FiringClampAnalysisPanel& panel, Chart& conductances) : panel_(panel), chart_(conductances) {}
  void Maps(const USMapData& map) override {
    if (drawn_) return;
    panel_.DrawMaps(map);
    drawn_ = true;
  }
  void Exact(double u, double s) override { Mark(EstimateMap::Exact, u, s); }
  void Start(double u, double s) override { Mark(EstimateMap::Start, u, s); }
  void Estimation(double u, double s) override { Mark(EstimateMap::Estimation, u, s); }
  void Trial(double u, double s) override { Mark(EstimateMap::Trials, u, s); }
  void ClearTrials() override {
    panel_.mapF()->ClearMark(EstimateMap::Trials);
    panel_.mapG()->ClearMark(EstimateMap::Trials);
  }
  void Conductances(EstimateKind kind, double t, double gE, double gI) override {
    static const char* const names[3][2] = {{"gE_FC", "gI_FC"}, {"gE_un", "gI_un"}, {"gE_Wi", "gI_Wi"}};
    const auto k = static_cast<std::size_t>(kind);
    chart_.AddPoint(chart_.FindSeries(QString::fromUtf8(names[k][0])), t * 1000.0, gE);
    chart_.AddPoint(chart_.FindSeries(QString::fromUtf8(names[k][1])), t * 1000.0, gI);
  }

 private:
  void Mark(int kind, double u, double s) {
    panel_.mapF()->AddMark(kind, u * 1000.0, s);
    panel_.mapG()->AddMark(kind, u * 1000.0, s);
  }
  FiringClampAnalysisPanel& panel_;
  Chart& chart_;
  bool drawn_ = false;
};

class PanelHost final : public Host {
 public:
  PanelHost(Workbench& wb, FiringClampAnalysisPanel& panel, Chart& chart, const bool& stop, QLabel& status)
      : wb_(wb), panel_(panel), chart_(chart), stop_(stop), status_(status) {}
  void ProcessEvents() override {
    if (chart_.NeedsRefresh()) chart_.Refresh();
    panel_.mapF()->update();
    panel_.mapG()->update();
    wb_.ProcessEvents();
  }
  bool StopRequested() const override { return stop_ || wb_.StopRequested(); }
  bool Confirm(const std::string& q) override { return wb_.Confirm(q); }
  QLabel& status() { return status_; }

 private:
  Workbench& wb_;
  FiringClampAnalysisPanel& panel_;
  Chart& chart_;
  const bool& stop_;
  QLabel& status_;
};

class TrialCounter final : public FiringClampAnalysisSink {
 public:
  TrialCounter(FiringClampAnalysisSink& inner, QLabel& status) : inner_(inner), status_(status) {}
  void Maps(const USMapData& m) override { inner_.Maps(m); }
  void Exact(double u, double s) override { inner_.Exact(u, s); }
  void Start(double u, double s) override { inner_.Start(u, s); }
  void Estimation(double u, double s) override { inner_.Estimation(u, s); }
  void Trial(double u, double s) override { inner_.Trial(u, s); }
  void ClearTrials() override { inner_.ClearTrials(); }
  void Conductances(EstimateKind k, double t, double gE, double gI) override { inner_.Conductances(k, t, gE, gI); }
  void TrialDone(std::int32_t k, std::int32_t n) override {
    status_.setText(QStringLiteral("trial %1 of %2").arg(k).arg(n));
  }

 private:
  FiringClampAnalysisSink& inner_;
  QLabel& status_;
};

}  // namespace

EstimateMap::EstimateMap(QWidget* parent) : BubbleMap(parent) {}

void EstimateMap::SetMapRanges(double xMin, double xMax, double yMin, double yMax) {
  SetRanges(xMin, xMax, yMin, yMax);
}

void EstimateMap::AddMark(int kind, double u, double s) { marks_[static_cast<std::size_t>(kind)].emplace_back(u, s); }
void EstimateMap::ClearMark(int kind) { marks_[static_cast<std::size_t>(kind)].clear(); }
void EstimateMap::ClearMarks() {
  for (auto& m : marks_) m.clear();
}

void EstimateMap::paintEvent(QPaintEvent* event) {
  BubbleMap::paintEvent(event);
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm = p.fontMetrics();
  const QRect plot = PlotRect();
  auto at = [&](QPointF q) { return ToPixel(plot, q.x(), q.y()); };
  p.setClipRect(plot);
  for (int kind : {Trials, Exact, Estimation, Start}) {
    for (const QPointF& q : marks_[static_cast<std::size_t>(kind)]) DrawMark(p, kind, at(q));
  }
  p.setClipping(false);
  // The legend, in a white box in the plot's top right corner.
  const int rowH = fm.height() + 2;
  int w = 0;
  for (const MarkStyle& m : kMarks) w = std::max(w, fm.horizontalAdvance(QString::fromUtf8(m.name)));
  const QRect box(plot.right() - w - 30, plot.top() + 4, w + 26, 4 * rowH + 6);
  p.setPen(Qt::gray);
  p.setBrush(QColor(255, 255, 255, 225));
  p.drawRect(box);
  for (int k = 0; k < 4; ++k) {
    const double y = box.top() + 4 + k * rowH + rowH / 2.0;
    DrawMark(p, k, QPointF(box.left() + 10, y));
    p.setPen(Qt::black);
    p.drawText(QPointF(box.left() + 20, y + fm.ascent() / 2.0 - 1), QString::fromUtf8(kMarks[k].name));
  }
}

FiringClampAnalysisPanel::FiringClampAnalysisPanel(Workbench& wb, FiringClampWindow& window, QWidget* parent)
    : QWidget(parent), wb_(wb), window_(window) {
  setObjectName(QStringLiteral("FiringClampAnalysis"));
  Session& s = wb_.session();
  Chart& g = *window_.conductances();
  const QColor red(200, 0, 0), blue(0, 0, 200);
  for (auto [name, colour] : {std::pair{"gE_FC", red}, {"gI_FC", blue}, {"gE_Wi", QColor(230, 130, 0)},
                              {"gI_Wi", QColor(0, 150, 150)}, {"gE_un", QColor(150, 0, 150)},
                              {"gI_un", QColor(0, 130, 0)}}) {
    const int k = g.AddSeries(QString::fromUtf8(name), SeriesKind::Line, ChartAxis::Left, colour);
    g.SetLineVisible(k, false);
  }

  auto* controls = new QGridLayout;
  auto button = [&](const char* name, const QString& text, int row, auto slot) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromUtf8(name));
    connect(b, &QPushButton::clicked, this, slot);
    controls->addWidget(b, row, 0, 1, 2);
    return b;
  };
  button("Button1", QStringLiteral("CheckFiringClamp"), 0, [this] { Check(); });
  button("Button3", QStringLiteral("AnalyzeByFiringClamp"), 1, [this] { Analyze(); })
      ->setToolTip(QStringLiteral("to write, press \"Set of Trials\""));
  auto* trials = new QPushButton(QStringLiteral("Set of Trials, N="), this);
  trials->setObjectName(QStringLiteral("Button5"));
  connect(trials, &QPushButton::clicked, this, [this] { Trials(); });
  controls->addWidget(trials, 2, 0);
  trialsN_ = new NumericInput(this);
  trialsN_->setObjectName(QStringLiteral("DDSpinEdit1"));
  trialsN_->setDecimals(0);  // a number of trials is whole
  trialsN_->setValue(wb_.inputs().fcAnalysis.Trials);
  connect(trialsN_, &NumericInput::valueChanged, this, [this](double v) {
    wb_.inputs().fcAnalysis.Trials = std::max(0, static_cast<int>(v));
  });
  controls->addWidget(trialsN_, 2, 1);
  button("Button6", QStringLiteral("Stop"), 3, [this] { Stop(); });
  button("Button2", QStringLiteral("Clear All"), 4, [this] { ClearAll(); });
  auto box = [&](const char* name, const QString& text, int row, bool& value) {
    auto* c = new QCheckBox(text, this);
    c->setObjectName(QString::fromUtf8(name));
    c->setChecked(value);
    connect(c, &QCheckBox::toggled, this, [&value](bool on) { value = on; });
    controls->addWidget(c, row, 0, 1, 2);
    return c;
  };
  wiener_ = box("CheckBox1", QStringLiteral("Wiener Kernel"), 5, wb_.inputs().fcAnalysis.WienerKernel);
  // The Wiener correction reads the voltage of every step of the run back.
  connect(wiener_, &QCheckBox::toggled, this, [this, &s](bool on) {
    s.run.WriteMode = on ? 1 : 0;
    wb_.inputs().fcAnalysis.wienerTrace = kWienerTraceFile;
  });
  unsteadiness_ = box("CheckBox2", QStringLiteral("Unsteadiness"), 6, wb_.inputs().fcAnalysis.Unsteadiness);
  stepByStep_ = box("CheckBox3", QStringLiteral("Step by Step"), 7, wb_.inputs().fcAnalysis.StepByStep);
  stepByStep_->setToolTip(QStringLiteral("press \"Pause\""));
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("AnalysisStatus"));
  status_->setWordWrap(true);
  controls->addWidget(status_, 8, 0, 1, 2);
  controls->setRowStretch(9, 1);

  mapF_ = new EstimateMap(this);
  mapF_->setObjectName(QStringLiteral("MapF"));
  mapG_ = new EstimateMap(this);
  mapG_->setObjectName(QStringLiteral("MapG"));
  for (EstimateMap* m : {mapF_, mapG_}) {
    m->setMinimumSize(320, 240);
    // A double click swaps the two maps.
    connect(m, &BubbleMap::doubleClicked, this, [this] {
      const bool fFirst = mapF_->isVisible();
      mapF_->setVisible(!fFirst);
      mapG_->setVisible(fFirst);
    });
  }
  auto* maps = new QVBoxLayout;
  maps->addWidget(mapF_, 1);
  maps->addWidget(mapG_, 1);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(controls);
  layout->addLayout(maps, 1);
}

void FiringClampAnalysisPanel::DrawMaps(const USMapData& m) {
  const double radius = std::max(m.nse, m.nue) * (m.ds / 2) / std::max(1, m.nue);
  for (int which = 0; which < 2; ++which) {
    EstimateMap* map = which == 0 ? mapF_ : mapG_;
    const std::vector<double>& X = which == 0 ? m.F : m.G;
    double lo = 0.0, hi = 0.0;
    bool any = false;
    for (double x : X) {
      if (x == 0.0) continue;
      lo = any ? std::min(lo, x) : x;
      hi = any ? std::max(hi, x) : x;
      any = true;
    }
    map->Clear();
    map->SetMapRanges(m.u0 * 1000, (m.u0 + m.nue * m.du) * 1000, m.s0, m.s0 + m.nse * m.ds);
    map->SetAxisTitles(QStringLiteral("u, µA/cm²"), QStringLiteral("s, mS/cm²"));
    for (std::int32_t j = 0; j <= m.nse; ++j) {
      for (std::int32_t i = 0; i <= m.nue; ++i) {
        const double x = X[m.At(i, j)];
        map->AddBubble(m.u0 * 1000 + i * m.du * 1000, m.s0 + j * m.ds, radius, x == 0.0 ? 0 : ArrayLevel(x, lo, hi));
      }
    }
    // G is a voltage for most choices: shown ·1000 (mV) like the records' chart.
    const double k = which == 0 ? 1.0 : 1000.0;
    const QString name = which == 0 ? QStringLiteral("F ") : QStringLiteral("G ");
    map->SetScale(name + QString::number(lo * k, 'g', 3), name + QString::number(hi * k, 'g', 3));
    map->update();
  }
}

void FiringClampAnalysisPanel::ClearAll() {
  mapF_->ClearMarks();
  mapG_->ClearMarks();
  Chart& g = *window_.conductances();
  for (const char* name : {"gE_FC", "gI_FC", "gE_Wi", "gI_Wi", "gE_un", "gI_un"}) {
    g.Clear(g.FindSeries(QString::fromUtf8(name)));
  }
  g.Refresh();
  mapF_->update();
  mapG_->update();
  status_->clear();
}

bool FiringClampAnalysisPanel::RunAnalysis(
    const std::function<void(FiringClampAnalysisSink&, Host&, const USMapData&)>& body) {
  stop_ = false;
  mapF_->ClearMarks();
  mapG_->ClearMarks();
  return wb_.RunCommand([&] {
    Chart& chart = *window_.conductances();
    PanelHost host(wb_, *this, chart, stop_, *status_);
    PanelSink sink(*this, chart);
    wb_.inputs().fcAnalysis.mapFile = USMapFileOf(wb_.session());
    const USMapData map = ReadAnalysisMap(wb_.inputs().fcAnalysis, wb_.inputs().firingClamp);
    body(sink, host, map);
    chart.Refresh();
    mapF_->update();
    mapG_->update();
  });
}

bool FiringClampAnalysisPanel::Check() {
  return RunAnalysis([this](FiringClampAnalysisSink& sink, Host& host, const USMapData& map) {
    const TaskInputs& in = wb_.inputs();
    last_ = CheckFiringClamp(wb_.session(), in.fcAnalysis, in.firingClamp, in.zInputs, host, map, sink);
    status_->setText(QStringLiteral("%1 of the 20 points of the circle recovered").arg(last_.estimates.size()));
  });
}

bool FiringClampAnalysisPanel::Analyze() {
  return RunAnalysis([this](FiringClampAnalysisSink& sink, Host& host, const USMapData& map) {
    const FiringClampResult& run = window_.last();
    const std::vector<SpikeRecord>& records = run.records;
    const TaskInputs& in = wb_.inputs();
    // The Wiener correction replays the voltage of the run whose records it
    // analyses, never a trace an earlier run left.
    FiringClampAnalysisInputs analysis = in.fcAnalysis;
    if (analysis.WienerKernel) {
      if (run.voltageTrace.empty()) {
        throw RangeError("\"Wiener Kernel\" needs the voltage trace of the firing-clamp run it analyses: tick it "
                         "and run the firing clamp again");
      }
      analysis.wienerTrace = run.voltageTrace;
    }
    last_ = AnalyzeByFiringClamp(wb_.session(), analysis, in.firingClamp, in.zInputs, host, map, records, sink);
    status_->setText(QStringLiteral("%1 estimates from %2 records%3")
                         .arg(last_.estimates.size())
                         .arg(records.size())
                         .arg(last_.stopped ? QStringLiteral(" (stopped)") : QString()));
  });
}

bool FiringClampAnalysisPanel::Trials() {
  return RunAnalysis([this](FiringClampAnalysisSink& sink, Host& host, const USMapData& map) {
    TrialCounter counter(sink, *status_);
    const TaskInputs& in = wb_.inputs();
    trials_ = RunTrials(wb_.session(), in.fcAnalysis, in.firingClamp, in.zInputs, host, map, counter);
    status_->setText(QStringLiteral("%1 trials, %2 estimates written to \"%3\"%4")
                         .arg(trials_.trials)
                         .arg(trials_.estimates)
                         .arg(QString::fromUtf8(kTrialEstimateFile))
                         .arg(trials_.stopped ? QStringLiteral(" (stopped: the trials written are kept)")
                                              : QString()));
  });
}

}  // namespace membrix
