#include "ui/chart.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QRegularExpression>
#include <QSet>
#include <QWheelEvent>

#include "common/error.h"
#include <QVBoxLayout>
#include <qcustomplot.h>

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
  void MouseZoomsBothAxesAndADoubleClickRestoresThem();
  void ReadsTheCursorOutInAxisUnits();
  void MarksTheSamplesOfASampledCurveAndReadsThemAsTheyAre();
  void SavesTheVisibleSeriesAsAColumnFile();
  void SavesItsPictureInEachFormat();
  void ALegendFitsItsLongestTitleAndStackedChartsStayAligned();
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

namespace {

void Wheel(QWidget* w, QPoint at, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWheelEvent e(QPointF(at), QPointF(w->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

struct Ranges {
  double x0, x1, y0, y1;
};
Ranges Shown(const Chart& c) {
  return {c.AxisMinimum(ChartAxis::Bottom), c.AxisMaximum(ChartAxis::Bottom), c.AxisMinimum(ChartAxis::Left),
          c.AxisMaximum(ChartAxis::Left)};
}

}  // namespace

void ChartTest::MouseZoomsBothAxesAndADoubleClickRestoresThem() {
  Fixture f;
  for (int k = 0; k <= 100; ++k) f.chart.AddPoint(f.left, k, -70.0 + k);
  f.chart.Refresh();
  const Ranges automatic = Shown(f.chart);
  QWidget* area = f.chart.PlotArea();
  const QPoint middle = f.chart.PixelOf(f.left, 50.0, -20.0);

  // The wheel zooms in on both axes; Shift keeps the value axis.
  Wheel(area, middle, 120);
  Ranges zoomed = Shown(f.chart);
  QVERIFY(zoomed.x1 - zoomed.x0 < automatic.x1 - automatic.x0);
  QVERIFY(zoomed.y1 - zoomed.y0 < automatic.y1 - automatic.y0);
  Wheel(area, middle, 120, Qt::ShiftModifier);
  const Ranges shifted = Shown(f.chart);
  QVERIFY(shifted.x1 - shifted.x0 < zoomed.x1 - zoomed.x0);
  QCOMPARE(shifted.y0, zoomed.y0);
  // Where the user left the axes, new points do not move them.
  f.chart.AddPoint(f.left, 200.0, 100.0);
  f.chart.Refresh();
  QCOMPARE(Shown(f.chart).x1, shifted.x1);

  // A box drawn with Ctrl held becomes the range of both axes.
  f.chart.RestoreAutomaticRange();
  const QPoint from = f.chart.PixelOf(f.left, 20.0, -30.0), to = f.chart.PixelOf(f.left, 40.0, -50.0);
  QTest::mousePress(area, Qt::LeftButton, Qt::ControlModifier, from);
  QTest::mouseMove(area, to);
  QTest::mouseRelease(area, Qt::LeftButton, Qt::ControlModifier, to);
  const Ranges box = Shown(f.chart);
  QVERIFY2(std::abs(box.x0 - 20.0) < 2.0 && std::abs(box.x1 - 40.0) < 2.0, "bottom axis of the box");
  QVERIFY2(std::abs(box.y0 + 50.0) < 2.0 && std::abs(box.y1 + 30.0) < 2.0, "left axis of the box");

  // A double click off the traces restores the automatic ranges, unless the
  // window gave the double click a meaning of its own.
  QSignalSpy clicked(&f.chart, &Chart::plotDoubleClicked);
  f.chart.SetDoubleClickRestoresRange(false);
  const QPoint empty = f.chart.PixelOf(f.left, 25.0, -35.0);  // 10 mV above the trace
  QTest::mouseDClick(area, Qt::LeftButton, Qt::NoModifier, empty);
  QCOMPARE(clicked.count(), 1);
  QCOMPARE(Shown(f.chart).x0, box.x0);
  f.chart.SetDoubleClickRestoresRange(true);
  QTest::mouseDClick(area, Qt::LeftButton, Qt::NoModifier, empty);
  QCOMPARE(Shown(f.chart).x0, 0.0);
  QCOMPARE(Shown(f.chart).x1, 200.0);
  QVERIFY(f.chart.AxisAutomaticMinimum(ChartAxis::Left) && f.chart.AxisAutomaticMaximum(ChartAxis::Left));
  QVERIFY(f.chart.SeriesVisible(f.left));
}

void ChartTest::ReadsTheCursorOutInAxisUnits() {
  Fixture f;
  f.chart.SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  f.chart.SetAxisTitle(ChartAxis::Left, QStringLiteral("mV"));
  f.chart.SetAxisRange(ChartAxis::Bottom, 0.0, 10.0);
  f.chart.SetAxisRange(ChartAxis::Left, -80.0, 40.0);
  f.chart.Refresh();
  QWidget* area = f.chart.PlotArea();
  const QPoint at = f.chart.PixelOf(f.left, 2.5, -60.0);
  QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(area->mapToGlobal(at)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(area, &move);
  const QString text = f.chart.CursorReadOut();
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("^x = (\\S+) ms, y = (\\S+) mV, y = \\S+")).match(text);
  QVERIFY2(m.hasMatch(), qPrintable(text));
  QVERIFY(std::abs(m.captured(1).toDouble() - 2.5) < 0.05);
  QVERIFY(std::abs(m.captured(2).toDouble() + 60.0) < 0.5);
  QVERIFY(f.chart.ReadOutAt(QPoint(1, 1)).isEmpty());  // outside the plot area
}

void ChartTest::MarksTheSamplesOfASampledCurveAndReadsThemAsTheyAre() {
  // The units of the axis titles the windows use.
  const struct {
    const char* title;
    const char* unit;
  } titles[] = {{"I, pA", "pA"},         {"dVdt, mV/ms", "mV/ms"}, {"f (Hz)", "Hz"}, {"mV", "mV"},
                {"Model's units", ""}, {"I Peak", ""},            {"", ""}};
  for (const auto& t : titles) QCOMPARE(Chart::UnitOf(QString::fromUtf8(t.title)), QString::fromUtf8(t.unit));

  // An f-I curve sampled every 4 pA, beside a long trace.
  Fixture f;
  f.chart.SetAxisTitle(ChartAxis::Bottom, QStringLiteral("I, pA"));
  f.chart.SetAxisTitle(ChartAxis::Left, QStringLiteral("f, Hz"));
  const int fi = f.chart.AddSeries(QStringLiteral("f(I)"), SeriesKind::Line);
  const int dense = f.chart.AddSeries(QStringLiteral("dense"), SeriesKind::Line);
  for (int k = 0; k <= 10; ++k) f.chart.AddPoint(fi, 120.0 + 4.0 * k, k < 6 ? 0.0 : 10.0 * (k - 5));
  for (int k = 0; k < 2 * Chart::kMarkedPointLimit; ++k) f.chart.AddPoint(dense, 120.0 + 0.1 * k, 60.0);
  for (int k = 0; k < 50; ++k) f.chart.AddPoint(f.left, 120.0 + k, 30.0);
  f.chart.SetAxisRange(ChartAxis::Bottom, 118.0, 162.0);
  f.chart.SetAxisRange(ChartAxis::Left, -5.0, 70.0);
  f.chart.Refresh();
  QVERIFY(f.chart.PointsMarked(fi));
  QVERIFY(!f.chart.PointsMarked(dense));
  QVERIFY(!f.chart.PointsMarked(f.left));  // a fast trace never

  // Beside the onset sample the read-out gives the sample, not the line.
  const QPoint onset = f.chart.PixelOf(fi, 144.0, 10.0) + QPoint(3, -2);
  QCOMPARE(f.chart.ReadOutAt(onset), QStringLiteral("at point x = 144 pA, y = 10 Hz"));
  // Between samples, the cursor's place, in the axes' units.
  const QString between = f.chart.ReadOutAt(f.chart.PixelOf(fi, 142.0, 40.0));
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("^x = (\\S+) pA, y = (\\S+) Hz, y = \\S+$")).match(between);
  QVERIFY2(m.hasMatch(), qPrintable(between));
  QVERIFY(std::abs(m.captured(1).toDouble() - 142.0) < 0.2);
  // A hidden curve is not read.
  f.chart.SetSeriesVisible(fi, false);
  QVERIFY(!f.chart.ReadOutAt(onset).startsWith(QStringLiteral("at point")));
}

void ChartTest::SavesTheVisibleSeriesAsAColumnFile() {
  Fixture f;
  f.chart.SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
  f.chart.SetAxisTitle(ChartAxis::Left, QStringLiteral("mV"));
  f.chart.SetAxisTitle(ChartAxis::Right, QStringLiteral("mS/cm^2"));
  const int hidden = f.chart.AddSeries(QStringLiteral("hidden"), SeriesKind::Line);
  for (int k = 0; k < 3; ++k) f.chart.AddPoint(f.left, 0.5 * k, -65.0 + k);
  f.chart.AddPoint(f.right, 0.25, 0.3);  // not yet drawn: saved all the same
  f.chart.AddPoint(hidden, 1.0, 1.0);
  f.chart.SetSeriesVisible(hidden, false);

  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("chart.dat"));
  Chart::SetSaveFileNameAsker([&](QWidget*, const QString&, const QString&, const QString&) { return path; });
  QAction* save = f.chart.ContextMenu()->findChild<QAction*>(QStringLiteral("Save data..."));
  QVERIFY(save != nullptr);
  save->trigger();
  Chart::SetSaveFileNameAsker({});

  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 4);
  QCOMPARE(lines[0], QStringLiteral("V: x [ms]\tV [mV]\tg: x [ms]\tg [mS/cm^2]"));
  const struct {
    int row;
    double values[4];
    int cells;
  } rows[] = {{1, {0.0, -65.0, 0.25, 0.3}, 4}, {2, {0.5, -64.0}, 2}, {3, {1.0, -63.0}, 2}};
  for (const auto& r : rows) {
    const QStringList cells = lines[r.row].split(QLatin1Char('\t'));
    QCOMPARE(cells.size(), 4);  // a shorter series leaves its cells empty
    for (int c = 0; c < 4; ++c) {
      if (c < r.cells) {
        QCOMPARE(cells[c].trimmed().toDouble(), r.values[c]);
      } else {
        QVERIFY(cells[c].trimmed().isEmpty());
      }
    }
  }
  // A folder that does not exist is reported, not passed over.
  QVERIFY_THROWS_EXCEPTION(membrix::IoError, f.chart.SaveData(folder.filePath(QStringLiteral("no/chart.dat"))));
}

void ChartTest::SavesItsPictureInEachFormat() {
  Fixture f;
  f.chart.AddPoint(f.left, 0.0, 0.0);
  f.chart.AddPoint(f.left, 1.0, 1.0);
  QTemporaryDir folder;
  const struct {
    const char* name;
    QByteArray start;
  } formats[] = {{"c.png", "\x89PNG"}, {"c.svg", "<?xml"}, {"c.pdf", "%PDF"}};
  for (const auto& format : formats) {
    const QString path = folder.filePath(QString::fromLatin1(format.name));
    f.chart.SavePicture(path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), format.name);
    QVERIFY2(file.read(format.start.size()) == format.start, format.name);
  }
  QVERIFY_THROWS_EXCEPTION(membrix::IoError, f.chart.SavePicture(folder.filePath(QStringLiteral("no/c.png"))));

  // "PNG resolution": twice the pixels in each direction; the name offered
  // comes from the window and the chart.
  const QSize screenSize = QImage(folder.filePath(QStringLiteral("c.png"))).size();
  f.chart.ContextMenu()->findChild<QAction*>(QStringLiteral("PngScale2"))->trigger();
  QCOMPARE(f.chart.PictureScale(), 2);
  f.chart.setWindowTitle(QStringLiteral("f-I curve"));
  f.chart.SetTitle(QStringLiteral("Onset (I, pA)"));
  QString offered;
  const QString big = folder.filePath(QStringLiteral("big"));
  Chart::SetSaveFileNameAsker([&](QWidget*, const QString&, const QString& suggested, const QString&) {
    offered = suggested;
    return big;
  });
  f.chart.ContextMenu()->findChild<QAction*>(QStringLiteral("Save picture..."))->trigger();
  Chart::SetSaveFileNameAsker({});
  QCOMPARE(offered, QStringLiteral("Onset_I_pA.png"));  // a chart that is its own window: its title only
  QCOMPARE(QImage(big + QStringLiteral(".png")).size(), screenSize * 2);

  // Ten series take ten different colours.
  QSet<QRgb> colours;
  for (int i = 0; i < 10; ++i) colours.insert(Chart::PaletteColor(i).rgb());
  QCOMPARE(colours.size(), Chart::PaletteSize());
}

void ChartTest::ALegendFitsItsLongestTitleAndStackedChartsStayAligned() {
  QWidget page;
  page.resize(600, 400);
  auto* layout = new QVBoxLayout(&page);
  auto* upper = new Chart(&page);
  auto* lower = new Chart(&page);
  layout->addWidget(upper);
  layout->addWidget(lower);
  upper->AddSeries(QStringLiteral("a long title of a series, mV/ms"), SeriesKind::Line);
  lower->AddSeries(QStringLiteral("V"), SeriesKind::Line);
  page.show();
  QVERIFY(QTest::qWaitForWindowExposed(&page));
  for (Chart* c : {upper, lower}) {
    c->AddPoint(0, 0.0, 0.0);
    c->AddPoint(0, 10.0, 1.0);
    c->Refresh();
  }
  upper->Refresh();
  const QCustomPlot* a = upper->findChild<QCustomPlot*>();
  const QCustomPlot* b = lower->findChild<QCustomPlot*>();
  const QRect legend = a->legend->outerRect();
  QVERIFY2(legend.width() >= a->legend->minimumOuterSizeHint().width(), "the legend is as wide as its title");
  QVERIFY2(legend.right() < a->width(), "the legend's right border is inside the chart");
  QCOMPARE(a->axisRect()->rect().left(), b->axisRect()->rect().left());
  QCOMPARE(a->axisRect()->rect().right(), b->axisRect()->rect().right());
}

QTEST_MAIN(ChartTest)
#include "chart_test.moc"
