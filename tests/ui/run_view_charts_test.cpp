#include <QButtonGroup>
#include <QImage>
#include <QRadioButton>
#include <QTabWidget>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "params/imported_channels.h"
#include "run/host.h"
#include "run/trace_recorder.h"
#include "ui/curve_window.h"
#include "ui/run_view_charts.h"
#include "workbench_fixture.h"

using membrix::Chart;
using membrix::ChartAxis;
using membrix::testing::WorkbenchFixture;

class RunViewChartsTest : public QObject {
  Q_OBJECT

 private slots:
  void PhasePlaneIsDrawnOnlyWhileItsPageIsShown();
  void NoCleaningDrawsRunsOverEachOtherAndClearEmpties();
  void DrawAnyCurveFeedsTheCurveWindowOnce();
  void HiddenSeriesComeBackWithEnableAllSeries();
  void RunSetsTheAxesOfItsModeAndGeometry();
  void TimeAxesAreAlignedAndMadeAutomatic();
  void PrintScreenWritesAPicture();
  void LongRunsDrawTheEnvelopeOfEveryStep();
  void ImportedChannelsAreDrawnByTheirIds();
};

namespace {

void ChooseOutputItem(WorkbenchFixture& f, const QString& item) {
  for (QAbstractButton* b : f.Find<QButtonGroup>(QStringLiteral("RadioGroup1Items"))->buttons()) {
    if (b->text() != item) continue;
    QTRY_VERIFY(b->isVisible() && !b->rect().isEmpty());
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(6, b->height() / 2));
    return;
  }
  QFAIL(qPrintable(QStringLiteral("no item ") + item));
}

// Points a run of nt_end steps draws on a series: every step of a run short
// enough to be drawn in full, else the first step, every n_Draw steps and
// every spike.
int DrawSteps(const membrix::Session& s) {
  if (s.run.nt_end <= membrix::RunViewCharts::kFullResolutionSteps) return static_cast<int>(s.run.nt_end);
  return static_cast<int>(1 + s.run.nt_end / s.run.n_Draw + s.spikes.nSpikes);
}

}  // namespace

void RunViewChartsTest::PhasePlaneIsDrawnOnlyWhileItsPageIsShown() {
  WorkbenchFixture f;
  f.RunClampFor(QStringLiteral("10"));
  QCOMPARE(f.Points(QStringLiteral("dVdt(V)")), 0);
  QCOMPARE(f.Points(QStringLiteral("Im(V)")), 0);

  f.Find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(5);
  f.RunClampFor(QStringLiteral("10"));
  QCOMPARE(f.Points(QStringLiteral("dVdt(V)")), DrawSteps(f.s()));
  QCOMPARE(f.Points(QStringLiteral("Im(V)")), DrawSteps(f.s()));
  // x is the voltage: the phase plane spans the spike.
  Chart* phase = f.form1().chart(6);
  double vMax = -1e9;
  for (int k = 0; k < phase->PointCount(0); ++k) vMax = std::max(vMax, phase->Point(0, k).x());
  QVERIFY2(vMax > 0.0, "the spike's peak is in the phase plane");
}

void RunViewChartsTest::NoCleaningDrawsRunsOverEachOtherAndClearEmpties() {
  WorkbenchFixture f;
  f.RunClampFor(QStringLiteral("5"));
  const int once = f.Points(QStringLiteral(" V "));
  QVERIFY(once > 0);
  f.RunClampFor(QStringLiteral("5"));
  QCOMPARE(f.Points(QStringLiteral(" V ")), once);  // a run clears first

  f.Item(QStringLiteral("NoCleaning"))->trigger();
  f.RunClampFor(QStringLiteral("5"));
  QCOMPARE(f.Points(QStringLiteral(" V ")), 2 * once);
  QCOMPARE(f.Points(QStringLiteral("Experiment")), 2 * 2);  // no recording: a line of zeros, twice

  QTest::mouseClick(f.Button(QStringLiteral("Clear")), Qt::LeftButton);
  for (const char* series : {" V ", "-Im", "mm", "nn", "Model", "Experiment"}) {
    QVERIFY2(f.Points(QString::fromUtf8(series)) == 0, series);
  }
}

void RunViewChartsTest::DrawAnyCurveFeedsTheCurveWindowOnce() {
  WorkbenchFixture f;
  f.Type(QStringLiteral("DDSpinEdit3"), QStringLiteral("10"));
  membrix::CurveWindow& curve = f.wb->curveWindow();
  QVERIFY(!curve.isVisible());
  QTest::mouseClick(f.Button(QStringLiteral("Draw any curve")), Qt::LeftButton);
  ChooseOutputItem(f, QStringLiteral("nn"));
  QVERIFY(curve.isVisible());
  const int points = f.s().run.nt_end / f.s().run.n_Draw;
  QCOMPARE(curve.chart()->PointCount(0), points);
  QCOMPARE(curve.chart()->SeriesTitle(0), QStringLiteral("nn"));
  QCOMPARE(f.s().run.DrawAnyCurve, 0);

  // The next run draws the run views only.
  QTest::mouseClick(f.Button(QStringLiteral("RunClamp")), Qt::LeftButton);
  QCOMPARE(curve.chart()->PointCount(0), points);

  // Closed and drawn again, the window starts empty.
  curve.close();
  QTest::mouseClick(f.Button(QStringLiteral("Draw any curve")), Qt::LeftButton);
  ChooseOutputItem(f, QStringLiteral("V"));
  QCOMPARE(curve.chart()->PointCount(0), points);
  QVERIFY(curve.chart()->Point(0, 0).y() < -50.0);  // mV near rest

  // A list closed without a choice leaves the runs as they were.
  QTest::mouseClick(f.Button(QStringLiteral("Draw any curve")), Qt::LeftButton);
  QTest::mouseClick(f.Find<QWidget>(QStringLiteral("VarToWriteNote"))->findChild<QWidget*>(), Qt::LeftButton);
  QVERIFY(!f.Find<QWidget>(QStringLiteral("RadioGroup1"))->isVisible());
  QCOMPARE(f.s().run.DrawAnyCurve, 0);
}

void RunViewChartsTest::HiddenSeriesComeBackWithEnableAllSeries() {
  WorkbenchFixture f;
  f.RunClampFor(QStringLiteral("5"));
  Chart* voltage = f.form1().chart(1);
  Chart* current = f.form1().chart(2);
  const int v = voltage->FindSeries(QStringLiteral(" V "));
  const int psc = current->FindSeries(QStringLiteral("PSC"));
  QVERIFY(!current->SeriesVisible(psc));  // shown only on request
  // A point of " V " well apart from the other traces drawn at its time.
  const int g = voltage->FindSeries(QStringLiteral("g"));
  QPoint at;
  for (int k = 1; k + 1 < voltage->PointCount(v) && at.isNull(); ++k) {
    const QPointF p = voltage->Point(v, k);
    const QPointF q = voltage->Point(g, k);
    const QPoint pixel = voltage->PixelOf(v, p.x(), p.y());
    if (std::abs(pixel.y() - voltage->PixelOf(g, q.x(), q.y()).y()) > 20) at = pixel;
  }
  QVERIFY(!at.isNull());
  QTest::mouseDClick(voltage->PlotArea(), Qt::LeftButton, Qt::NoModifier, at);
  QVERIFY(!voltage->SeriesVisible(v));

  f.Item(QStringLiteral("Enable all series"))->trigger();
  for (Chart* c : f.form1().RunCharts()) {
    for (int i = 0; i < c->SeriesCount(); ++i) QVERIFY2(c->SeriesVisible(i), qPrintable(c->SeriesTitle(i)));
  }
}

void RunViewChartsTest::RunSetsTheAxesOfItsModeAndGeometry() {
  const struct {
    const char* modeItem;
    const char* geometryItem;
    const char* modelAxis;
    bool dendrite;
  } cases[] = {{"CC", "N1point1", "V, Volts", false},
               {"VC at Vexp", "N2points1", "I, pA", true},
               {"VC", "N2pMainenSejn1", "I, pA", true}};
  for (auto c : cases) {
    WorkbenchFixture f;
    f.Item(QString::fromUtf8(c.geometryItem))->trigger();
    f.Item(QString::fromUtf8(c.modeItem))->trigger();
    f.RunClampFor(QStringLiteral("5"));
    QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
    QCOMPARE(f.form1().chart(3)->AxisTitle(ChartAxis::Left), QString::fromUtf8(c.modelAxis));
    Chart* voltage = f.form1().chart(1);
    QCOMPARE(voltage->SeriesVisible(voltage->FindSeries(QStringLiteral("Vd"))), c.dendrite);
    for (int n : {4, 5}) {
      QVERIFY(!f.form1().chart(n)->AxisAutomaticMaximum(ChartAxis::Bottom));
      QCOMPARE(f.form1().chart(n)->AxisMaximum(ChartAxis::Bottom), 5.0);
    }
  }
}

void RunViewChartsTest::TimeAxesAreAlignedAndMadeAutomatic() {
  WorkbenchFixture f;
  f.RunClampFor(QStringLiteral("10"));
  Chart* voltage = f.form1().chart(1);
  Chart* current = f.form1().chart(2);
  current->SetAxisRange(ChartAxis::Bottom, 2.0, 8.0);
  QTest::mouseClick(f.Button(QStringLiteral("Adjust range to current")), Qt::LeftButton);
  QCOMPARE(voltage->AxisMinimum(ChartAxis::Bottom), 2.0);
  QCOMPARE(voltage->AxisMaximum(ChartAxis::Bottom), 8.0);

  QTest::mouseClick(f.Button(QStringLiteral("Auto")), Qt::LeftButton);
  for (Chart* c : {voltage, current}) {
    QVERIFY(c->AxisAutomaticMinimum(ChartAxis::Bottom) && c->AxisAutomaticMaximum(ChartAxis::Bottom));
    QCOMPARE(c->AxisMaximum(ChartAxis::Bottom), 10.0);
  }
}

void RunViewChartsTest::PrintScreenWritesAPicture() {
  WorkbenchFixture f;
  QTest::mouseClick(f.Button(QStringLiteral("Print Screen")), Qt::LeftButton);
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QImage picture(f.FilePath(QStringLiteral("Screen.jpg")), "JPG");
  QVERIFY(!picture.isNull());
}

// A run longer than kFullResolutionSteps hands the voltage chart the minimum
// and maximum of each column of its time axis: a few thousand points that hold
// the extremes of every step, to the run's last step.
void RunViewChartsTest::LongRunsDrawTheEnvelopeOfEveryStep() {
  WorkbenchFixture f;
  f.Type(QStringLiteral("DDSpinEdit3"), QStringLiteral("3000"));  // 60 000 steps
  membrix::Session same = f.s();
  QTest::mouseClick(f.Button(QStringLiteral("RunClamp")), Qt::LeftButton);
  QCOMPARE(f.s().run.nt, std::int64_t{60000});
  membrix::TraceRecorder recorder(same, {"V"});
  membrix::BatchHost host;
  membrix::RecordedRun(same, host, recorder);
  const std::vector<double>& v = recorder.values[0];

  constexpr int kColumns = membrix::RunViewCharts::kEnvelopeColumns;
  Chart* voltage = f.form1().chart(1);
  const int series = voltage->FindSeries(QStringLiteral(" V "));
  const int n = voltage->PointCount(series);
  QVERIFY2(n > kColumns && n <= 2 * (kColumns + 1), qPrintable(QString::number(n)));
  double lo = 1e300, hi = -1e300;
  for (int k = 0; k < n; ++k) {
    lo = std::min(lo, voltage->Point(series, k).y());
    hi = std::max(hi, voltage->Point(series, k).y());
  }
  QVERIFY(std::abs(hi - *std::max_element(v.begin(), v.end())) < 1e-9);
  QVERIFY(std::abs(lo - *std::min_element(v.begin(), v.end())) < 1e-9);
  QVERIFY(voltage->Point(series, n - 1).x() > 3000.0 - 3000.0 / kColumns);
}

QTEST_MAIN(RunViewChartsTest)
#include "run_view_charts_test.moc"

// A run draws each imported channel's current beside the built-in currents
// and its gates beside the built-in gates, named by their NeuroML ids; a run
// without the channel leaves its series hidden and empty.
void RunViewChartsTest::ImportedChannelsAreDrawnByTheirIds() {
  WorkbenchFixture f;
  const std::string squid = MEMBRIX_SOURCE_DIR "/resources/neuroml/squid_axon.nml";
  membrix::AddImportedChannel(f.s().NP0, membrix::ImportChannel(squid + "#na_squid:1:50"));
  membrix::AddImportedChannel(f.s().NP0, membrix::ImportChannel(squid + "#k_squid:2:-80"));
  f.RunClampFor(QStringLiteral("5"));
  Chart* current = f.form1().chart(2);
  Chart* gates = f.form1().chart(5);
  // At the cadence of the built-in ones.
  const int drawn = f.Points(QStringLiteral("-INa"));
  QVERIFY(drawn > 2);
  for (const char* name : {"-I_na_squid", "-I_k_squid"}) QCOMPARE(f.Points(QString::fromUtf8(name)), drawn);
  for (const char* name : {"na_squid.m", "na_squid.h", "k_squid.n"}) {
    const int i = gates->FindSeries(QString::fromUtf8(name));
    QVERIFY2(i >= 0, name);
    QCOMPARE(gates->PointCount(i), drawn);
  }
  // The last point is the run's last state: the K current outward, drawn as −I.
  const int k = current->FindSeries(QStringLiteral("-I_k_squid"));
  const QPointF last = current->Point(k, current->PointCount(k) - 1);
  QCOMPARE(last.y(), -f.s().NV0.IImported[1]);
  QVERIFY(last.y() < 0.0);

  f.s().NP0.Imported.erase(f.s().NP0.Imported.begin());
  f.RunClampFor(QStringLiteral("5"));
  const int na = current->FindSeries(QStringLiteral("-I_na_squid"));
  QVERIFY(!current->SeriesVisible(na));
  QCOMPARE(current->PointCount(na), 0);
  QCOMPARE(f.Points(QStringLiteral("-I_k_squid")), f.Points(QStringLiteral("-INa")));
  const QPointF n = gates->Point(gates->FindSeries(QStringLiteral("k_squid.n")), 0);
  QVERIFY(n.y() > 0.0 && n.y() < 1.0);
}
