#include "ui/chart.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

using membrix::Chart;
using membrix::ChartAxis;
using membrix::SeriesKind;

class ChartTest : public QObject {
  Q_OBJECT

 private slots:
  void PointsWaitForTheRefreshAndClearEmpties();
  void AutomaticAxesFollowTheVisibleSeries();
  void FixedEndsStayWhereTheyWereSet();
  void DoubleClickOnASeriesHidesIt();
  void PointSeriesKeepTheOrderOfItsPoints();
  void CopiesItsPictureToTheClipboard();
};

namespace {

// A shown chart with a line on the left axis and one on the right.
struct Fixture {
  Fixture() {
    chart.resize(500, 300);
    left = chart.AddSeries(QStringLiteral(" V "), SeriesKind::FastLine);
    right = chart.AddSeries(QStringLiteral("g"), SeriesKind::Line, ChartAxis::Right);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
  }
  Chart chart;
  int left = -1, right = -1;
};

}  // namespace

void ChartTest::PointsWaitForTheRefreshAndClearEmpties() {
  Fixture f;
  for (int k = 0; k < 100; ++k) f.chart.AddPoint(f.left, k * 0.1, -65.0 + k);
  QCOMPARE(f.chart.PointCount(f.left), 100);
  QVERIFY(f.chart.NeedsRefresh());
  QCOMPARE(f.chart.Point(f.left, 99), QPointF(9.9, 34.0));
  f.chart.Refresh();
  QVERIFY(!f.chart.NeedsRefresh());
  QCOMPARE(f.chart.PointCount(f.left), 100);
  QCOMPARE(f.chart.Point(f.left, 99), QPointF(9.9, 34.0));
  QCOMPARE(f.chart.FindSeries(QStringLiteral("g")), f.right);
  QCOMPARE(f.chart.FindSeries(QStringLiteral("V")), -1);  // titles are taken as they are

  f.chart.Clear(f.left);
  QCOMPARE(f.chart.PointCount(f.left), 0);
  f.chart.AddPoint(f.right, 0.0, 1.0);
  f.chart.ClearAll();
  QCOMPARE(f.chart.PointCount(f.right), 0);
}

void ChartTest::AutomaticAxesFollowTheVisibleSeries() {
  Fixture f;
  f.chart.AddPoint(f.left, 0.0, -70.0);
  f.chart.AddPoint(f.left, 20.0, 30.0);
  f.chart.AddPoint(f.right, 5.0, 0.1);
  f.chart.AddPoint(f.right, 40.0, 0.3);
  f.chart.Refresh();
  // The time axis spans every visible series; a value axis its own series with
  // a margin.
  QCOMPARE(f.chart.AxisMinimum(ChartAxis::Bottom), 0.0);
  QCOMPARE(f.chart.AxisMaximum(ChartAxis::Bottom), 40.0);
  QVERIFY(f.chart.AxisMinimum(ChartAxis::Left) < -70.0 && f.chart.AxisMinimum(ChartAxis::Left) > -80.0);
  QVERIFY(f.chart.AxisMaximum(ChartAxis::Left) > 30.0 && f.chart.AxisMaximum(ChartAxis::Left) < 40.0);
  QVERIFY(f.chart.AxisMaximum(ChartAxis::Right) > 0.3 && f.chart.AxisMaximum(ChartAxis::Right) < 0.32);

  f.chart.SetSeriesVisible(f.right, false);
  f.chart.Refresh();
  QCOMPARE(f.chart.AxisMaximum(ChartAxis::Bottom), 20.0);

  // A flat trace still gets an axis that can be drawn.
  Chart flat;
  const int i = flat.AddSeries(QStringLiteral("flat"), SeriesKind::FastLine);
  flat.AddPoint(i, 0.0, 5.0);
  flat.AddPoint(i, 1.0, 5.0);
  flat.show();
  flat.Refresh();
  QVERIFY(flat.AxisMinimum(ChartAxis::Left) < flat.AxisMaximum(ChartAxis::Left));
  QVERIFY(flat.AxisMinimum(ChartAxis::Left) <= 5.0 && flat.AxisMaximum(ChartAxis::Left) >= 5.0);
}

void ChartTest::FixedEndsStayWhereTheyWereSet() {
  Fixture f;
  f.chart.AddPoint(f.left, 0.0, 1.0);
  f.chart.AddPoint(f.left, 300.0, 2.0);
  f.chart.SetAxisMaximum(ChartAxis::Bottom, 600.0);
  f.chart.Refresh();
  QCOMPARE(f.chart.AxisMinimum(ChartAxis::Bottom), 0.0);
  QCOMPARE(f.chart.AxisMaximum(ChartAxis::Bottom), 600.0);
  QVERIFY(f.chart.AxisAutomaticMinimum(ChartAxis::Bottom));
  QVERIFY(!f.chart.AxisAutomaticMaximum(ChartAxis::Bottom));

  // Ends given the wrong way round still make minimum < maximum.
  f.chart.SetAxisRange(ChartAxis::Bottom, 50.0, 10.0);
  f.chart.Refresh();
  QCOMPARE(f.chart.AxisMinimum(ChartAxis::Bottom), 10.0);
  QCOMPARE(f.chart.AxisMaximum(ChartAxis::Bottom), 50.0);

  f.chart.SetAxisAutomatic(ChartAxis::Bottom, true);
  f.chart.Refresh();
  QCOMPARE(f.chart.AxisMaximum(ChartAxis::Bottom), 300.0);

  f.chart.SetAxisTitle(ChartAxis::Left, QStringLiteral("mV"));
  QCOMPARE(f.chart.AxisTitle(ChartAxis::Left), QStringLiteral("mV"));
}

void ChartTest::DoubleClickOnASeriesHidesIt() {
  Fixture f;
  for (int k = 0; k <= 10; ++k) f.chart.AddPoint(f.left, k, 0.0);
  for (int k = 0; k <= 10; ++k) f.chart.AddPoint(f.right, k, k * k);  // far from the other at x = 5
  f.chart.Refresh();
  QSignalSpy hidden(&f.chart, &Chart::seriesHidden);
  QTest::mouseDClick(f.chart.PlotArea(), Qt::LeftButton, Qt::NoModifier, f.chart.PixelOf(f.left, 5.0, 0.0));
  QCOMPARE(hidden.count(), 1);
  QCOMPARE(hidden.first().at(0).toInt(), f.left);
  QVERIFY(!f.chart.SeriesVisible(f.left));
  QVERIFY(f.chart.SeriesVisible(f.right));
  QCOMPARE(f.chart.PointCount(f.left), 11);  // hidden, not emptied

  f.chart.ShowAllSeries();
  QVERIFY(f.chart.SeriesVisible(f.left));
}

void ChartTest::PointSeriesKeepTheOrderOfItsPoints() {
  Chart chart;
  const int phase = chart.AddSeries(QStringLiteral("dVdt(V)"), SeriesKind::Points);
  // A loop in the phase plane: x goes up and back down.
  const double xs[] = {-65.0, -40.0, 20.0, -10.0, -70.0};
  for (int k = 0; k < 5; ++k) chart.AddPoint(phase, xs[k], k);
  chart.show();
  chart.Refresh();
  for (int k = 0; k < 5; ++k) QCOMPARE(chart.Point(phase, k), QPointF(xs[k], k));

  // A line without its line keeps its points.
  const int line = chart.AddSeries(QStringLiteral("line"), SeriesKind::Line);
  chart.SetLineVisible(line, false);
  QVERIFY(!chart.LineVisible(line));
}

void ChartTest::CopiesItsPictureToTheClipboard() {
  Fixture f;
  f.chart.AddPoint(f.left, 0.0, 0.0);
  f.chart.AddPoint(f.left, 1.0, 1.0);
  QApplication::clipboard()->clear();
  f.chart.CopyToClipboard();
  const QImage picture = QApplication::clipboard()->image();
  QVERIFY(!picture.isNull());
  QCOMPARE(picture.size(), f.chart.PlotArea()->size());
}

QTEST_MAIN(ChartTest)
#include "chart_test.moc"
