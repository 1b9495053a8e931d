#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <cmath>
#include <qcustomplot.h>

#include "ui/windows/analysis_windows.h"
#include "ui/windows/us_map_window.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/chart.h"
#include "ui/run_view_charts.h"
#include "run/session.h"
#include "run/clamp_run.h"
#include <QComboBox>
#include "workbench_fixture.h"

using membrix::NumericInput;
using membrix::testing::WorkbenchFixture;

namespace {

// Typed without Return: the window takes the text when it reads its inputs.
void TypeInto(QWidget& window, const char* name, const QString& text) {
  membrix::testing::TypeInto(window, name, text, false);
}

int LineCount(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  return static_cast<int>(file.readAll().count('\n'));
}

}  // namespace

class USMapWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void PlotsTheMapReadsItBackAndMakesItLinear();
  void FICurveButtonOpensTheMapWhenPlot2DIsTicked();
  void FiringClampItemHoldsTheRateSetOnThePage();
  void TheColoursReadAsRates();
};

void USMapWindowTest::PlotsTheMapReadsItBackAndMakesItLinear() {
  WorkbenchFixture f;
  QTest::mouseClick(f.Button(QStringLiteral("(u,s) -plot")), Qt::LeftButton);
  membrix::USMapWindow& w = f.form1().analysisWindows().usMap();
  QVERIFY(w.isVisible());
  QCOMPARE(w.windowTitle(), QStringLiteral("Form9: Calculates Freq. etc. on (u,s) plane "));
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit7"))->value(), 20.0);
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit4"))->value(), 500.0);
  TypeInto(w, "DDSpinEdit7", QStringLiteral("4"));
  TypeInto(w, "DDSpinEdit8", QStringLiteral("3"));
  TypeInto(w, "DDSpinEdit4", QStringLiteral("200"));
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Plot Frequency(u,s)")), Qt::LeftButton);
  QCOMPARE(w.map()->BubbleCount(), 20);
  QCOMPARE(LineCount(f.FilePath(QStringLiteral("v(u_s).dat"))), 22);
  QCOMPARE(w.map()->ScaleBottom(), QStringLiteral("0 Hz"));
  int firing = 0;
  for (int k = 0; k < w.map()->BubbleCount(); ++k) firing += w.map()->BubbleLevel(k) > 1 ? 1 : 0;
  QVERIFY(firing > 0);

  // A double click reads the file and shows F; the next one G.
  QTest::mouseDClick(w.map(), Qt::LeftButton);
  QVERIFY(!w.ShowsG());
  QVERIFY(w.map()->ScaleTop().startsWith(QStringLiteral("F ")));
  QTest::mouseDClick(w.map(), Qt::LeftButton);
  QVERIFY(w.ShowsG());

  QPushButton* linear = f.Button(QStringLiteral("Make linear F,G"));
  QVERIFY(linear->isEnabled());
  QTest::mouseClick(linear, Qt::LeftButton);
  QCOMPARE(linear->text(), QStringLiteral("Undo linear F,G"));
  QCOMPARE(LineCount(f.FilePath(QStringLiteral("v(u_s)_Linear.dat"))), 22);
  QTest::mouseClick(linear, Qt::LeftButton);
  QCOMPARE(linear->text(), QStringLiteral("Make linear F,G"));
}

void USMapWindowTest::FICurveButtonOpensTheMapWhenPlot2DIsTicked() {
  WorkbenchFixture f;
  auto* plot2D = f.form1().findChild<QAction*>(QStringLiteral("Plot 2D: nu(u,s)"));
  QVERIFY(plot2D != nullptr);
  plot2D->setChecked(true);
  QTest::mouseClick(f.Button(QStringLiteral("f-I -curve")), Qt::LeftButton);
  QVERIFY(f.form1().analysisWindows().usMap().isVisible());
}

void USMapWindowTest::FiringClampItemHoldsTheRateSetOnThePage() {
  WorkbenchFixture f;
  membrix::Session& s = f.wb->session();
  s.stim.uu = 0.0025;
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 100.0;
  membrix::SetRunLength(s.run, 3.0);
  TypeInto(f.form1(), "DDSpinEdit8", QStringLiteral("40"));
  TypeInto(f.form1(), "DDSpinEdit9", QStringLiteral("20000"));
  TypeInto(f.form1(), "DDSpinEdit10", QStringLiteral("0"));
  TypeInto(f.form1(), "DDSpinEdit11", QStringLiteral("0"));
  f.form1().findChild<QComboBox*>(QStringLiteral("ComboBox1"))->setCurrentIndex(1);  // " Adjust  u"
  QCOMPARE(f.in().firingClamp.Mode, 1);
  auto* item = f.form1().findChild<QAction*>(QStringLiteral("Firing-Clamp and PRC"));
  QVERIFY(item != nullptr && item->isEnabled());
  membrix::Chart* adaptation = f.form1().analysisWindows().usMap().adaptation();
  item->trigger();
  membrix::FiringClampWindow& w = f.form1().analysisWindows().firingClamp();
  QVERIFY(w.isVisible());
  QCOMPARE(w.windowTitle(), QStringLiteral("Form8: Firing-Clamp \u2014 ran ") + f.wb->ModelText());
  const membrix::FiringClampResult& r = w.last();
  QVERIFY(r.records.size() > 100);
  const std::size_t n = r.records.size();
  const double rate = (n / 2 - 1) / (r.records[n - 1].tLastSpike - r.records[n / 2].tLastSpike);
  QVERIFY2(std::abs(rate - 40.0) < 2.0, qPrintable(QString::number(rate)));
  QVERIFY(w.conductances()->PointCount(0) > 1000);
  QCOMPARE(w.functions()->PointCount(0), static_cast<int>(n));
  QCOMPARE(s.stim.uu, 0.0025);
  // The rate chart holds the rate 1/ISI of every interval and the target; the
  // window and the status bar state the rate error.
  membrix::Chart* rates = w.functions();
  const int isi = rates->FindSeries(QStringLiteral("1/ISI")), target = rates->FindSeries(QStringLiteral("Freq. hold"));
  QCOMPARE(rates->PointCount(isi), static_cast<int>(n) - 1);
  QCOMPARE(rates->PointCount(target), static_cast<int>(n) - 1);
  QCOMPARE(rates->Point(target, 0).y(), 40.0);
  QVERIFY2(w.RateErrorText().startsWith(QStringLiteral("rate error over %1 ISIs: mean ").arg(n - 1)),
           qPrintable(w.RateErrorText()));
  const QString status = f.form1().RunSummaryLabel()->text();
  QVERIFY2(status.startsWith(QStringLiteral("Firing clamp complete: %1 spikes in 3000.0 ms, target 40 Hz, rate error mean ").arg(n)),
           qPrintable(status));
  // The drive charts keep drawing to the end of the run, past its first second.
  membrix::Chart* drive = w.clamp();
  QVERIFY(drive->Point(0, drive->PointCount(0) - 1).x() > 2900.0);
  QVERIFY(w.conductances()->Point(0, w.conductances()->PointCount(0) - 1).x() > 2900.0);
  // The voltage of the run on the main window (the envelope of a run this
  // long: the least and the most of each column of its time axis), the
  // adaptation estimate on the (u,s) window.
  QVERIFY(s.run.nt > membrix::RunViewCharts::kFullResolutionSteps);
  constexpr int kColumns = membrix::RunViewCharts::kEnvelopeColumns;
  const int drawn = f.Points(QStringLiteral(" V "));
  QVERIFY2(drawn > kColumns && drawn <= 2 * (kColumns + 1), qPrintable(QString::number(drawn)));
  QCOMPARE(adaptation->PointCount(adaptation->FindSeries(QStringLiteral("s_Adapt"))), s.run.nt / 40);
  QCOMPARE(adaptation->PointCount(adaptation->FindSeries(QStringLiteral("ws"))), r.nSpikes);
}

// The map's colours are rates on the bar's scale: the scale fits the rates of
// the map, "Max Freq." recolours at once, hovering a bubble names its point
// and rate, and the heat map holds the same rates cell by cell.
void USMapWindowTest::TheColoursReadAsRates() {
  WorkbenchFixture f;
  QTest::mouseClick(f.Button(QStringLiteral("(u,s) -plot")), Qt::LeftButton);
  membrix::USMapWindow& w = f.form1().analysisWindows().usMap();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  TypeInto(w, "DDSpinEdit7", QStringLiteral("4"));
  TypeInto(w, "DDSpinEdit8", QStringLiteral("3"));
  TypeInto(w, "DDSpinEdit4", QStringLiteral("200"));
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Plot Frequency(u,s)")), Qt::LeftButton);
  membrix::BubbleMap* map = w.map();
  QCOMPARE(map->BubbleCount(), 20);
  int top = 0;
  for (int k = 0; k < map->BubbleCount(); ++k) {
    if (map->BubbleValue(k) > map->BubbleValue(top)) top = k;
  }
  const double highest = map->BubbleValue(top);
  QVERIFY(highest > 0.0);
  // The default scale fits the rates: the highest is near the top, not past it.
  QVERIFY2(map->ScaleHigh() >= highest && map->ScaleHigh() <= 2.5 * highest,
           qPrintable(QStringLiteral("%1 Hz at most, scale to %2 Hz").arg(highest).arg(map->ScaleHigh())));
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit1"))->value(), map->ScaleHigh());
  QCOMPARE(map->BubbleColour(top), membrix::MapScaleColour(highest / map->ScaleHigh()));
  QVERIFY(f.form1().RunSummaryLabel()->text().startsWith(QStringLiteral("(u,s) map complete: 20 points")));

  // "Max Freq." at half the highest rate: the map takes its colours at once.
  const QColor before = map->BubbleColour(top);
  TypeInto(w, "DDSpinEdit1", QString::number(highest / 2.0, 'f', 1));
  QVERIFY(!w.findChild<QCheckBox*>(QStringLiteral("FitScale"))->isChecked());
  QCOMPARE(map->ScaleHigh(), w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit1"))->value());
  QVERIFY(map->ScaleHigh() < highest);
  QVERIFY(map->BubbleColour(top) != before);
  QCOMPARE(map->BubbleColour(top), membrix::MapScaleColour(1.0));
  QCOMPARE(map->ScaleTop(), QStringLiteral("%1 Hz").arg(QString::number(map->ScaleHigh(), 'g', 4)));
  for (int k = 0; k < map->BubbleCount(); ++k) {
    QCOMPARE(map->BubbleColour(k), membrix::MapScaleColour(map->BubbleValue(k) / map->ScaleHigh()));
  }

  // Hovering names the point and its rate.
  const QString hover = map->TextAt(map->BubbleAt(top));
  QVERIFY2(hover.startsWith(QStringLiteral("u = ")) && hover.contains(QStringLiteral(", s = ")) &&
               hover.endsWith(QStringLiteral("rate %1 Hz").arg(QString::number(highest, 'g', 4))),
           qPrintable(hover));

  // The heat map: one cell per point of the 5 x 4 grid, holding its rate.
  w.findChild<QCheckBox*>(QStringLiteral("HeatView"))->setChecked(true);
  QVERIFY(w.heatMap()->isVisible() && !map->isVisible());
  QCPColorMapData* cells = w.heatCells()->data();
  QCOMPARE(cells->keySize(), 5);
  QCOMPARE(cells->valueSize(), 4);
  const QPointF at = map->BubblePlace(top);
  QCOMPARE(cells->data(at.x(), at.y()), highest);
  QCOMPARE(w.heatCells()->dataRange().upper, map->ScaleHigh());
}

QTEST_MAIN(USMapWindowTest)
#include "us_map_window_test.moc"
