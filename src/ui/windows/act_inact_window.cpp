#include "ui/windows/act_inact_window.h"

#include <qcustomplot.h>

#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "analysis/act_inact_worker.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/windows/message_window.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

// The line the message window shows when the parameters do not fit the window.
const char* const kUnfitParameters =
    "Все возможности окна не будут доступны с заданными параметрами. Пример параметров задания параметров см. "
    "в файле \"Na_V10&S12.id\"";

struct SaveItem {
  const char* name;  // the menu item's caption, also its object name
  int mode;
};
constexpr SaveItem kSaveItems[6] = {{"Save g to file", 1},       {"Save I to file", 2},
                                    {"Save g/g_max to file", 1}, {"Save I/I_max to file", 2},
                                    {"Save m^3, h to file", 1},  {"Save tau_m, tau_h to file", 1}};

struct PlotInfo {
  const char* name;
  const char* title;
  const char* left;
  const char* right;  // nullptr: no right axis
  const char* bottom;
};
constexpr PlotInfo kPlots[kActInactPlots] = {
    {"Chart1", "Activation and inactivation", "I/Imax", "g/gmax, m^3, h", "V, mV"},
    {"Chart2", "Peaks", "I Peak, pA", nullptr, "V, mV"},
    {"Chart3", "Time course of the protocol", "PSC, pA", nullptr, "t, ms"},
    {"Chart4", "NaR activation", "tau, ms", "a, b", "V, mV"},
    {"Chart5", "NaR inactivation", "tau, ms", "a, b", "V, mV"},
};

// Recorded values are drawn as points, the model as lines.
SeriesKind KindOf(ActInactCurve c) {
  switch (c) {
    case ActInactCurve::M3Exp:
    case ActInactCurve::HExp:
    case ActInactCurve::PeakExp: return SeriesKind::Points;
    case ActInactCurve::It:
    case ActInactCurve::ItExp: return SeriesKind::FastLine;
    default: return SeriesKind::Line;
  }
}

ChartAxis AxisOf(ActInactAxis a) { return a == ActInactAxis::Right ? ChartAxis::Right : ChartAxis::Left; }

// Puts the legend of a chart inside its plot, in a corner ("lt", "lb", "rb",
// "rt"), where "MoveLegends" can take it away from the curves.
void PutLegendInCorner(Chart* chart, const QString& corner) {
  auto* plot = chart->findChild<QCustomPlot*>();
  if (plot == nullptr) return;
  QCPLegend* legend = plot->legend;
  QCPLayoutInset* inset = plot->axisRect()->insetLayout();
  if (legend->layout() != inset) {
    if (auto* side = qobject_cast<QCPLayoutGrid*>(legend->layout())) {
      side->take(legend);
      side->simplify();
      side->setMinimumSize(0, 0);
      side->setVisible(false);
    }
    inset->addElement(legend, Qt::AlignRight | Qt::AlignTop);
  }
  Qt::Alignment a = corner.startsWith(QLatin1Char('l')) ? Qt::AlignLeft : Qt::AlignRight;
  a |= corner.endsWith(QLatin1Char('b')) ? Qt::AlignBottom : Qt::AlignTop;
  for (int i = 0; i < inset->elementCount(); ++i) {
    if (inset->elementAt(i) == legend) inset->setInsetAlignment(i, a);
  }
  legend->setBrush(QColor(255, 255, 255, 220));
  plot->replot(QCustomPlot::rpQueuedReplot);
}

// The host of a save command: it runs on the interface thread, so the windows
// wait, and Stop cannot act; the question goes to the Yes/No box.
class SaveHost final : public Host {
 public:
  SaveHost(Workbench& wb, QWidget* parent) : wb_(wb), parent_(parent) {}
  bool Confirm(const std::string& question) override {
    return wb_.dialogs().Confirm(parent_, QString::fromStdString(question));
  }

 private:
  Workbench& wb_;
  QWidget* parent_;
};

}  // namespace

ActInactWindow::ActInactWindow(Workbench& wb, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb), refresh_(new QTimer(this)) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Form2: Activation and inactivation of the Na current"));
  worker_ = std::make_unique<ActInactWorker>([this](std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
  });
  Build();
  refresh_->setInterval(100);
  connect(refresh_, &QTimer::timeout, this, &ActInactWindow::RefreshCharts);
  resize(1200, 720);
}

ActInactWindow::~ActInactWindow() {
  worker_.reset();  // stops a running worker and waits for it
}

ActInactWindow& ActInactWindow::Open(Workbench& wb, QWidget* owner) {
  auto* w = owner->findChild<ActInactWindow*>(QStringLiteral("Form2"), Qt::FindDirectChildrenOnly);
  if (w == nullptr) w = new ActInactWindow(wb, owner);
  const Session& s = wb.session();
  if (s.NP0.If_I_V_or_g != 1 || s.rec.NSmpls <= 0) {
    MessageWindow::Of(owner).AddLine(QString::fromUtf8(kUnfitParameters));
  }
  w->show();
  w->raise();
  w->activateWindow();
  return *w;
}

QPushButton* ActInactWindow::AddButton(const char* name, const QString& caption, const QString& hint) {
  auto* b = new QPushButton(caption, this);
  b->setObjectName(QString::fromUtf8(name));
  b->setToolTip(hint);
  return b;
}

void ActInactWindow::AttachMenu(QWidget* widget, std::initializer_list<int> items) {
  // A chart keeps its own menu (picture, data) and takes the save items below it.
  if (auto* chart = qobject_cast<Chart*>(widget)) {
    chart->ContextMenu()->addSeparator();
    for (int i : items) chart->ContextMenu()->addAction(saveActions_[static_cast<std::size_t>(i)]);
    return;
  }
  auto* menu = new QMenu(widget);
  for (int i : items) menu->addAction(saveActions_[static_cast<std::size_t>(i)]);
  widget->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(widget, &QWidget::customContextMenuRequested, menu,
          [menu, widget](const QPoint& at) { menu->popup(widget->mapToGlobal(at)); });
}

void ActInactWindow::Build() {
  for (int i = 0; i < 6; ++i) {
    auto* a = new QAction(QString::fromUtf8(kSaveItems[i].name), this);
    a->setObjectName(QString::fromUtf8(kSaveItems[i].name));
    connect(a, &QAction::triggered, this, [this, i] { Save(i); });
    saveActions_[static_cast<std::size_t>(i)] = a;
  }

  QPushButton* calc = AddButton("Button3", QStringLiteral("g, I"),
                                QStringLiteral("Runs the 41 voltage-clamp protocols against their recordings and "
                                               "draws the peak conductances and currents (right click: save)"));
  QPushButton* norm = AddButton("Button1", QStringLiteral("I/I_max, g/g_max"),
                                QStringLiteral("Divides the peak curves by their maxima (right click: save)"));
  QPushButton* steady = AddButton("Button2", QStringLiteral("m^3, h"),
                                  QStringLiteral("m^3 and h of the NaR gates at steady state (right click: save)"));
  QPushButton* rates = AddButton("Button5", QStringLiteral("tau_m, tau_h"),
                                 QStringLiteral("Time constants and rates of the NaR gates (right click: save)"));
  QPushButton* clear = AddButton("Button4", QStringLiteral(" Clear All "), QStringLiteral("Empties every curve"));
  QPushButton* stop = AddButton("Button7", QStringLiteral(" Stop "),
                                QStringLiteral("Ends the peak computation within the protocol it is running"));
  QPushButton* move = AddButton("Button6", QStringLiteral("MoveLegends"),
                                QStringLiteral("Moves the legends to the next corner at the next drawing"));
  connect(calc, &QPushButton::clicked, this, &ActInactWindow::StartPeaks);
  connect(norm, &QPushButton::clicked, this, &ActInactWindow::Normalize);
  connect(steady, &QPushButton::clicked, this, &ActInactWindow::SteadyState);
  connect(rates, &QPushButton::clicked, this, &ActInactWindow::Rates);
  connect(clear, &QPushButton::clicked, this, &ActInactWindow::ClearAll);
  connect(stop, &QPushButton::clicked, this, &ActInactWindow::StopPeaks);
  connect(move, &QPushButton::clicked, this, &ActInactWindow::MoveLegends);
  busyDisabled_ = {calc, norm, steady, rates};  // and the save items, while the worker runs
  AttachMenu(calc, {0, 1});
  AttachMenu(norm, {2, 3});
  AttachMenu(steady, {4});
  AttachMenu(rates, {5});

  for (int p = 0; p < kActInactPlots; ++p) {
    auto* chart = new Chart(this);
    chart->setObjectName(QString::fromUtf8(kPlots[p].name));
    chart->SetTitle(QString::fromUtf8(kPlots[p].title));
    chart->SetAxisTitle(ChartAxis::Left, QString::fromUtf8(kPlots[p].left));
    chart->SetAxisTitle(ChartAxis::Bottom, QString::fromUtf8(kPlots[p].bottom));
    if (kPlots[p].right != nullptr) chart->SetAxisTitle(ChartAxis::Right, QString::fromUtf8(kPlots[p].right));
    charts_[static_cast<std::size_t>(p)] = chart;
  }
  for (int c = 0; c < kActInactCurves; ++c) {
    const ActInactCurveInfo& info = CurveInfo(static_cast<ActInactCurve>(c));
    series_[static_cast<std::size_t>(c)] = chart(info.plot)->AddSeries(
        QString::fromUtf8(info.title), KindOf(static_cast<ActInactCurve>(c)), AxisOf(info.axis));
  }
  Chart* normalised = chart(ActInactPlot::Normalised);
  normalised->SetAxisRange(ChartAxis::Bottom, -100.0, 50.0);
  AttachMenu(normalised, {0, 1, 2, 3, 4});
  AttachMenu(chart(ActInactPlot::TauM), {5});
  AttachMenu(chart(ActInactPlot::TauH), {5});
  for (int p = 0; p < kActInactPlots; ++p) {
    PlaceLegend(static_cast<ActInactPlot>(p), p == 0 ? "lb" : "rt");
  }

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("StatusLabel"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {calc, norm, steady, rates, clear, stop, move}) buttons->addWidget(b);
  buttons->addSpacing(12);
  buttons->addWidget(status_, 1);

  auto* grid = new QGridLayout;
  grid->addWidget(normalised, 0, 0, 2, 1);
  grid->addWidget(chart(ActInactPlot::Peaks), 0, 1);
  grid->addWidget(chart(ActInactPlot::TimeCourse), 1, 1);
  grid->addWidget(chart(ActInactPlot::TauM), 0, 2);
  grid->addWidget(chart(ActInactPlot::TauH), 1, 2);
  grid->setColumnStretch(0, 4);
  grid->setColumnStretch(1, 3);
  grid->setColumnStretch(2, 3);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(buttons);
  layout->addLayout(grid, 1);
  status_->setText(QStringLiteral("Recordings below %1").arg(QDir::toNativeSeparators(DataFolder())));
}

QString ActInactWindow::DataFolder() const {
  const QString start = wb_.StartFolder().isEmpty() ? QDir::currentPath() : wb_.StartFolder();
  return QString::fromStdString(ActInactDataFolder(start.toStdString(), wb_.session().rec.IdFileName));
}

bool ActInactWindow::ActInactRunning() const { return worker_->ActInactRunning(); }

void ActInactWindow::SetBusy(bool busy) {
  for (QWidget* w : busyDisabled_) w->setEnabled(!busy);
  for (QAction* a : saveActions_) a->setEnabled(!busy);
  if (busy) {
    refresh_->start();
  } else {
    refresh_->stop();
  }
}

void ActInactWindow::RefreshCharts() {
  for (Chart* c : charts_)
    if (c->NeedsRefresh()) c->Refresh();
}

// ---- Commands ------------------------------------------------------------------------

void ActInactWindow::StartPeaks() {
  if (worker_->ActInactRunning()) return;  // a second start is ignored
  wb_.ShowModelIn(this);
  const QString folder = DataFolder();
  const bool started = worker_->Start(
      wb_.session(), folder.toStdString(), peaks_, state_, *this, [this](ActInactWorker::Outcome& o) {
        peaks_ = o.peaks;
        // The protocols' levels and recordings stay with the computation's
        // own copy of the session: the main protocol (Vrest, Vh, the
        // recording) is the researcher's, as before the start.
        // A run started since this one ended keeps the window busy.
        if (!worker_->ActInactRunning()) SetBusy(false);
        RefreshCharts();
        int done = 0;
        for (bool d : peaks_.done) done += d ? 1 : 0;
        if (!o.error.empty()) {
          status_->setText(QStringLiteral("Stopped by an error after %1 of 41 protocols").arg(done));
          wb_.dialogs().ShowError(this, QString::fromStdString(o.error));
        } else if (o.stopped) {
          status_->setText(QStringLiteral("Stopped after %1 of 41 protocols").arg(done));
        } else {
          status_->setText(QStringLiteral("41 protocols compared with the recordings below %1")
                               .arg(QDir::toNativeSeparators(DataFolder())));
        }
        emit peaksFinished();
      });
  if (!started) return;
  SetBusy(true);
  status_->setText(QStringLiteral("Computing the peaks of 41 protocols ... (\" Stop \" ends it)"));
}

void ActInactWindow::StopPeaks() { worker_->Stop(); }

void ActInactWindow::RunHere(const std::function<void()>& command) {
  wb_.ShowModelIn(this);
  wb_.RunCommand(command);
  RefreshCharts();
}

void ActInactWindow::Normalize() {
  RunHere([this] { NormalizePeaks(peaks_, state_, *this); });
}

void ActInactWindow::SteadyState() {
  RunHere([this] {
    SteadyStateCurves(wb_.session(), state_, *this);
    wb_.Correspond();
  });
}

void ActInactWindow::Rates() {
  RunHere([this] { RateCurves(wb_.session(), state_, *this); });
}

void ActInactWindow::ClearAll() {
  for (Chart* c : charts_) c->ClearAll();
  RefreshCharts();
}

void ActInactWindow::MoveLegends() { state_.LegendCorner = NextLegendCorner(state_.LegendCorner); }

void ActInactWindow::Save(int item) {
  if (item < 0 || item >= 6 || worker_->ActInactRunning()) return;
  const SaveItem& s = kSaveItems[item];
  const QString file =
      wb_.dialogs().SaveFileName(this, QString::fromUtf8(s.name), QDir::currentPath(), QString());
  if (file.isEmpty()) return;
  SaveHost host(wb_, this);
  RunHere([&] {
    SaveActInact(state_, file.toStdString(), s.mode, host, [&] {
      switch (item) {
        case 0:
        case 1: {
          ActInactTraces traces;
          CalcPeaks(wb_.session(), DataFolder().toStdString(), peaks_, traces, state_, host, *this);
          break;
        }
        case 2:
        case 3: NormalizePeaks(peaks_, state_, *this); break;
        case 4: SteadyStateCurves(wb_.session(), state_, *this); break;
        default: RateCurves(wb_.session(), state_, *this); break;
      }
    });
  });
  wb_.Correspond();
}

void ActInactWindow::closeEvent(QCloseEvent* event) {
  // A running worker is stopped before the window goes.
  if (worker_->ActInactRunning()) {
    worker_->Stop();
    worker_->Wait();
  }
  QWidget::closeEvent(event);
}

// ---- Sink ----------------------------------------------------------------------------------

void ActInactWindow::Clear(ActInactCurve c) { chart(CurveInfo(c).plot)->Clear(SeriesOf(c)); }

void ActInactWindow::AddPoint(ActInactCurve c, double x, double y) {
  chart(CurveInfo(c).plot)->AddPoint(SeriesOf(c), x, y);
}

void ActInactWindow::SetAxisRange(ActInactPlot plot, ActInactAxis axis, double min, double max) {
  chart(plot)->SetAxisRange(AxisOf(axis), min, max);
}

void ActInactWindow::PlaceLegend(ActInactPlot plot, const std::string& corner) {
  const QString c = QString::fromStdString(corner);
  corners_[static_cast<std::size_t>(plot)] = c;
  PutLegendInCorner(chart(plot), c);
}

void ActInactWindow::RepaintTimeCourse() { chart(ActInactPlot::TimeCourse)->Refresh(); }

}  // namespace membrix
