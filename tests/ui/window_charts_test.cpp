// Every chart of every window of the workbench saves its picture from its
// menu, and zooms and restores as a chart of the program does, except where
// the window gives the double click a meaning of its own.

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <functional>

#include "ui/chart.h"
#include "ui/curve_window.h"
#include "ui/parameter_window.h"
#include "ui/windows/act_inact_window.h"
#include "ui/windows/adaptation_window.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/data_tools.h"
#include "ui/windows/ensemble_window.h"
#include "ui/windows/fc_analysis_panel.h"
#include "ui/windows/fi_window.h"
#include "ui/windows/fiber_input_window.h"
#include "ui/windows/fiber_view_window.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/windows/fit_dialog.h"
#include "ui/windows/ion_dynamics_window.h"
#include "ui/windows/ramp_analyzer_window.h"
#include "ui/windows/reverse_problem_window.h"
#include "ui/windows/statistics_window.h"
#include "ui/windows/step_series_window.h"
#include "ui/windows/stimulus_preview_window.h"
#include "ui/windows/threshold_window.h"
#include "ui/windows/us_map_window.h"
#include "ui/windows/z_function_window.h"
#include "workbench_fixture.h"

using membrix::BubbleMap;
using membrix::Chart;
using membrix::ChartAxis;
using membrix::testing::WorkbenchFixture;

class WindowChartsTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryChartOfEveryWindowSavesItsPicture();
  void AChartOfAWindowZoomsAndADoubleClickRestoresIt();
  void DoubleClicksWithAMeaningOfTheirOwnKeepIt();
};

namespace {

struct WindowCase {
  const char* name;
  std::function<QWidget*(WorkbenchFixture&)> open;
  int charts;  // at least this many Chart or bubble-map children
};

const WindowCase kWindows[] = {
    {"main window", [](WorkbenchFixture& f) -> QWidget* { return &f.form1(); }, 9},
    {"parameter window", [](WorkbenchFixture& f) -> QWidget* { return &f.wb->parameterWindow(); }, 0},
    {"Draw any curve", [](WorkbenchFixture& f) -> QWidget* { return &f.wb->curveWindow(); }, 1},
    {"ion dynamics", [](WorkbenchFixture& f) -> QWidget* { return &f.wb->ionWindow(); }, 6},
    {"f-I", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().fi(); }, 1},
    {"adaptation", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().adaptation(); }, 1},
    {"threshold", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().threshold(); }, 6},
    {"statistics", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().statistics(); }, 2},
    {"(u,s) map", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().usMap(); }, 3},
    {"firing clamp", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().firingClamp(); }, 5},
    {"fiber input", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().fiberInput(); }, 0},
    {"fiber view", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().fiberView(); }, 8},
    {"Z-function", [](WorkbenchFixture& f) -> QWidget* { return &f.form1().analysisWindows().zFunction(); }, 3},
    {"ensemble", [](WorkbenchFixture& f) -> QWidget* { return &membrix::ShowEnsembleWindow(*f.wb, &f.form1()); }, 1},
    {"synapse",
     [](WorkbenchFixture& f) -> QWidget* {
       membrix::ShowEnsembleWindow(*f.wb, &f.form1());
       return f.Find<QWidget>(QStringLiteral("Form15"));
     },
     1},
    {"Act/Inact", [](WorkbenchFixture& f) -> QWidget* { return &membrix::ActInactWindow::Open(*f.wb, &f.form1()); },
     5},
    {"ramp analyzer", [](WorkbenchFixture& f) -> QWidget* { return &membrix::RampAnalyzer(*f.wb); }, 3},
    {"step series", [](WorkbenchFixture& f) -> QWidget* { return &membrix::StepSeries(*f.wb); }, 1},
    {"stimulus preview", [](WorkbenchFixture& f) -> QWidget* { return &membrix::StimulusPreview(*f.wb); }, 3},
    {"reverse problem",
     [](WorkbenchFixture& f) -> QWidget* {
       membrix::ShowReverseProblemWindow(*f.wb, &f.form1());
       return f.form1().findChild<membrix::ReverseProblemWindow*>();
     },
     6},
    {"fitting options", [](WorkbenchFixture& f) -> QWidget* { return &membrix::FitDialog::Open(*f.wb, &f.form1()); },
     0},
};

// The menu of a chart's right mouse button, whichever kind of chart it is.
QMenu* MenuOf(QWidget* chart) {
  if (auto* c = qobject_cast<Chart*>(chart)) return c->ContextMenu();
  if (auto* m = qobject_cast<BubbleMap*>(chart)) return m->ContextMenu();
  return nullptr;
}

QString NameOf(const char* window, QWidget* chart) {
  return QStringLiteral("%1: %2 \"%3\"")
      .arg(QString::fromUtf8(window), QString::fromUtf8(chart->metaObject()->className()), chart->objectName());
}

void Wheel(QWidget* w, QPoint at, int delta) {
  QWheelEvent e(QPointF(at), QPointF(w->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

}  // namespace

void WindowChartsTest::EveryChartOfEveryWindowSavesItsPicture() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  QTemporaryDir out;
  QString answer;
  Chart::SetSaveFileNameAsker([&](QWidget*, const QString&, const QString&, const QString&) { return answer; });
  int saved = 0;
  for (const WindowCase& w : kWindows) {
    QWidget* window = w.open(f);
    QVERIFY2(window != nullptr, w.name);
    QList<QWidget*> charts;
    for (Chart* c : window->findChildren<Chart*>()) charts << c;
    for (BubbleMap* m : window->findChildren<BubbleMap*>()) charts << m;
    QVERIFY2(charts.size() >= w.charts, w.name);
    for (QWidget* chart : charts) {
      const QString name = NameOf(w.name, chart);
      QMenu* menu = MenuOf(chart);
      QVERIFY2(menu != nullptr, qPrintable(name));
      QAction* picture = menu->findChild<QAction*>(QStringLiteral("Save picture..."));
      QVERIFY2(picture != nullptr && picture->isEnabled() && menu->actions().contains(picture), qPrintable(name));
      QVERIFY2(menu->findChild<QAction*>(QStringLiteral("CopyToBMP")) != nullptr, qPrintable(name));
      for (const char* suffix : {"png", "svg", "pdf"}) {
        answer = out.filePath(QStringLiteral("chart%1.%2").arg(saved++).arg(QString::fromUtf8(suffix)));
        picture->trigger();
        QVERIFY2(QFileInfo(answer).size() > 0, qPrintable(name + QStringLiteral(" as ") + suffix));
      }
    }
  }
  Chart::SetSaveFileNameAsker({});

  // The Act/Inact window's save commands stay on its charts' menus, below the
  // chart's own items.
  auto* actInact = f.form1().findChild<membrix::ActInactWindow*>(QStringLiteral("Form2"));
  QVERIFY(actInact != nullptr);
  QMenu* normalised = actInact->findChild<Chart*>(QStringLiteral("Chart1"))->ContextMenu();
  for (const char* item : {"Save g/g_max to file", "Save m^3, h to file"}) {
    bool found = false;
    for (QAction* a : normalised->actions()) found = found || a->objectName() == QString::fromUtf8(item);
    QVERIFY2(found, item);
  }
}

void WindowChartsTest::AChartOfAWindowZoomsAndADoubleClickRestoresIt() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  membrix::StatisticsWindow& stats = f.form1().analysisWindows().statistics();
  stats.show();
  QVERIFY(QTest::qWaitForWindowExposed(&stats));
  Chart* chart = stats.findChildren<Chart*>().value(0);
  QVERIFY(chart != nullptr && chart->SeriesCount() > 0);
  for (int k = 0; k <= 100; ++k) chart->AddPoint(0, k, k);
  chart->Refresh();
  const double x0 = chart->AxisMinimum(ChartAxis::Bottom), x1 = chart->AxisMaximum(ChartAxis::Bottom);
  QWidget* area = chart->PlotArea();
  Wheel(area, chart->PixelOf(0, 50.0, 50.0), 240);
  QVERIFY(chart->AxisMaximum(ChartAxis::Bottom) - chart->AxisMinimum(ChartAxis::Bottom) < 0.9 * (x1 - x0));
  QTest::mouseDClick(area, Qt::LeftButton, Qt::NoModifier, chart->PixelOf(0, 40.0, 60.0));  // off the line
  QCOMPARE(chart->AxisMinimum(ChartAxis::Bottom), x0);
  QCOMPARE(chart->AxisMaximum(ChartAxis::Bottom), x1);
}

// The (u,s) map: the wheel zooms it, its double click toggles F and G and
// leaves the view alone, "Automatic range" brings the whole map back. The
// Z-function chart: a double click shows every series again.
void WindowChartsTest::DoubleClicksWithAMeaningOfTheirOwnKeepIt() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  membrix::USMapWindow& usMap = f.form1().analysisWindows().usMap();
  usMap.show();
  QVERIFY(QTest::qWaitForWindowExposed(&usMap));
  BubbleMap* map = usMap.map();
  map->SetRanges(0.0, 10.0, 0.0, 1.0);
  const QRectF whole = map->View();
  Wheel(map, map->rect().center(), 240);
  const QRectF zoomed = map->View();
  QVERIFY(zoomed.width() < 0.9 * whole.width() && zoomed.height() < 0.9 * whole.height());
  QSignalSpy toggled(map, &BubbleMap::doubleClicked);
  QTest::mouseDClick(map, Qt::LeftButton, Qt::NoModifier, map->rect().center());
  QCOMPARE(toggled.count(), 1);
  QCOMPARE(map->View(), zoomed);
  map->ContextMenu()->findChild<QAction*>(QStringLiteral("Automatic range"))->trigger();
  QCOMPARE(map->View(), whole);

  membrix::ZFunctionWindow& z = f.form1().analysisWindows().zFunction();
  z.show();
  QVERIFY(QTest::qWaitForWindowExposed(&z));
  Chart* chart = z.findChild<Chart*>(QStringLiteral("Chart1"));
  QVERIFY(chart != nullptr);
  for (int k = 0; k <= 10; ++k) chart->AddPoint(0, k, k);
  chart->SetSeriesVisible(0, false);
  chart->SetSeriesVisible(1, false);
  chart->Refresh();
  QTest::mouseDClick(chart->PlotArea(), Qt::LeftButton, Qt::NoModifier, chart->PlotArea()->rect().center());
  QVERIFY(chart->SeriesVisible(0) && chart->SeriesVisible(1));
}

QTEST_MAIN(WindowChartsTest)
#include "window_charts_test.moc"
