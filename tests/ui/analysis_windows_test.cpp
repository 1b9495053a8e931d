#include <QCheckBox>
#include <QFile>
#include <QTimer>

#include "analysis/statistics.h"
#include "ui/windows/adaptation_window.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/fi_window.h"
#include "ui/windows/statistics_window.h"
#include "ui/windows/threshold_window.h"
#include "workbench_fixture.h"

using membrix::Chart;
using membrix::NumericInput;
using membrix::testing::WorkbenchFixture;

namespace {

// Types into an input of a task window as the user does.
// Typed without Return: the window takes the text when it reads its inputs.
void TypeInto(QWidget& window, const char* name, const QString& text) {
  membrix::testing::TypeInto(window, name, text, false);
}

QPushButton* ButtonOf(QWidget& window, const char* caption) {
  return window.findChild<QPushButton*>(QString::fromUtf8(caption));
}

int LineCount(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  return static_cast<int>(file.readAll().count('\n'));
}

}  // namespace

class AnalysisWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void FrequencyCurrentWindowSweepsFromItsInputs();
  void StopEndsTheSweepAndKeepsWhatIsWritten();
  void AdaptationWindowDrawsFiveCurves();
  void ThresholdWindowFillsItsChartsAndKeepsItsRunSettings();
  void StatisticsBoxShowsTheWindowAndSwitchesItOff();
};

void AnalysisWindowsTest::FrequencyCurrentWindowSweepsFromItsInputs() {
  WorkbenchFixture f;
  QTest::mouseClick(f.Button(QStringLiteral("f-I -curve")), Qt::LeftButton);
  membrix::FIWindow& w = f.form1().analysisWindows().fi();
  QVERIFY(w.isVisible());
  QCOMPARE(w.windowTitle(), QStringLiteral("Form5: Frequency-Current"));
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit3"))->value(), 600.0);  // the run's t_end
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit4"))->value(), 4.0);
  TypeInto(w, "DDSpinEdit1", QStringLiteral("40"));
  TypeInto(w, "DDSpinEdit4", QStringLiteral("20"));
  TypeInto(w, "DDSpinEdit3", QStringLiteral("20"));
  QCOMPARE(f.s().run.t_end, 0.02);  // the window edits the run's length
  QTest::mouseClick(ButtonOf(w, "Start"), Qt::LeftButton);
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(w.chart()->PointCount(0), 3);
  QCOMPARE(w.chart()->Point(0, 2).x(), 40.0);
  QCOMPARE(LineCount(QStringLiteral("v(Iind).dat")), 3);
  QVERIFY(ButtonOf(w, "Start")->isEnabled());
  QVERIFY(!ButtonOf(w, "Stop")->isEnabled());
  QCOMPARE(w.findChild<QLabel*>(QStringLiteral("SweepStatus"))->text(), QStringLiteral("done: 3 currents"));
  QTest::mouseClick(ButtonOf(w, "Clear"), Qt::LeftButton);
  QCOMPARE(w.chart()->PointCount(0), 0);
}

void AnalysisWindowsTest::StopEndsTheSweepAndKeepsWhatIsWritten() {
  WorkbenchFixture f;
  f.s().parallel.workers = 1;
  membrix::FIWindow& w = f.form1().analysisWindows().fi();
  w.show();
  TypeInto(w, "DDSpinEdit3", QStringLiteral("300"));
  QTimer::singleShot(0, &w, [&w] { QTest::mouseClick(ButtonOf(w, "Stop"), Qt::LeftButton); });
  QTest::mouseClick(ButtonOf(w, "Start"), Qt::LeftButton);
  const int points = w.chart()->PointCount(0);
  QVERIFY(points < 101);
  QCOMPARE(LineCount(QStringLiteral("v(Iind).dat")), points);
  QVERIFY(w.findChild<QLabel*>(QStringLiteral("SweepStatus"))->text().startsWith(QStringLiteral("stopped after")));
  QVERIFY(ButtonOf(w, "Start")->isEnabled());
  QCOMPARE(f.s().stim.Iind, 0.0);  // the start-up value, as before the sweep
}

void AnalysisWindowsTest::AdaptationWindowDrawsFiveCurves() {
  WorkbenchFixture f;
  QTest::mouseClick(f.Button(QStringLiteral("Adaptation")), Qt::LeftButton);
  membrix::AdaptationWindow& w = f.form1().analysisWindows().adaptation();
  QVERIFY(w.isVisible());
  QCOMPARE(w.windowTitle(), QStringLiteral("Form6: Adaptation"));
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit4"))->value(), 8.0);
  TypeInto(w, "DDSpinEdit1", QStringLiteral("40"));
  TypeInto(w, "DDSpinEdit4", QStringLiteral("20"));
  TypeInto(w, "DDSpinEdit3", QStringLiteral("100"));
  QTest::mouseClick(ButtonOf(w, "Start"), Qt::LeftButton);
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(w.chart()->SeriesCount(), 5);
  for (int k = 0; k < 5; ++k) QCOMPARE(w.chart()->PointCount(k), 3);
  QCOMPARE(LineCount(QStringLiteral("adaptation(I).dat")), 3);
}

void AnalysisWindowsTest::ThresholdWindowFillsItsChartsAndKeepsItsRunSettings() {
  WorkbenchFixture f;
  QTest::mouseClick(f.Button(QStringLiteral("Threshold")), Qt::LeftButton);
  membrix::ThresholdWindow& w = f.form1().analysisWindows().threshold();
  QVERIFY(w.isVisible());
  QCOMPARE(w.windowTitle(), QStringLiteral("Form3: Threshold for refractory neuron"));
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit1"))->value(), 2000.0);
  TypeInto(w, "DDSpinEdit1", QStringLiteral("1000"));
  TypeInto(w, "DDSpinEdit4", QStringLiteral("500"));
  QTest::mouseClick(ButtonOf(w, "Start"), Qt::LeftButton);
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(LineCount(QStringLiteral("VTh(tAP).dat")), 2);
  QVERIFY(w.chart(0)->PointCount(0) > 100);  // the time course of the last current
  QCOMPARE(w.chart(2)->PointCount(0), 2);    // Th against the current
  QCOMPARE(w.chart(5)->PointCount(1), 2);    // Th1 against hh
  QCOMPARE(f.s().run.dt, 1.5e-5);
  QCOMPARE(f.s().run.t_end, 0.4);
  QCOMPARE(f.Input(QStringLiteral("DDSpinEdit3"))->value(), 400.0);  // shown in the main window
}

void AnalysisWindowsTest::StatisticsBoxShowsTheWindowAndSwitchesItOff() {
  WorkbenchFixture f;
  auto* box = f.Find<QCheckBox>(QStringLiteral("CheckBox1"));
  QVERIFY(box->isEnabled());
  box->setChecked(true);
  membrix::StatisticsWindow& w = f.form1().analysisWindows().statistics();
  QVERIFY(w.isVisible());
  QCOMPARE(w.windowTitle(), QStringLiteral("Form13: Statistics"));
  membrix::Session& s = f.s();
  s.run.n_Draw = 1;
  for (s.run.nt = 1; s.run.nt <= 100; ++s.run.nt) {
    membrix::AddSample(s, s.statistics, s.run.nt % 2 == 0 ? 10.0 : 30.0, w, *f.wb);
  }
  QCOMPARE(w.meanLabel()->text(), QStringLiteral(" Mean =     20.00"));
  QCOMPARE(w.dispersionLabel()->text(), QStringLiteral(" Dispersion =     10.00"));
  QVERIFY(w.histogram()->PointCount(0) > 0);
  QCOMPARE(w.correlation()->PointCount(0), 1001);  // lags 0 ... nt_corr
  box->setChecked(false);
  QVERIFY(!w.isVisible());
  QCOMPARE(s.statistics.StatMode, membrix::kStatOff);
}

QTEST_MAIN(AnalysisWindowsTest)
#include "analysis_windows_test.moc"
