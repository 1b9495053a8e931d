// The windows of the experimental-data tools, opened from the main window as a
// researcher opens them.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "data/ramp_analyzer.h"
#include "ui/windows/data_tools.h"
#include "ui/windows/ramp_analyzer_window.h"
#include "ui/windows/step_series_window.h"
#include "ui/windows/stimulus_preview_window.h"
#include "workbench_fixture.h"

using namespace membrix;
using membrix::testing::WorkbenchFixture;

namespace {

int Points(Chart* c, const char* series) { return c->PointCount(c->FindSeries(QString::fromUtf8(series))); }

}  // namespace

class DataToolsTest : public QObject {
  Q_OBJECT

 private slots:
  void RampsStepsOpensTheAnalyzerOnTheShippedSweeps();
  void StepSeriesPlotsThePeakCurrentOfEveryTestVoltage();
  void RampInCCPreviewsTheChosenPulseShape();
};

void DataToolsTest::RampsStepsOpensTheAnalyzerOnTheShippedSweeps() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  QPushButton* open = f.Button(QStringLiteral("ramps/steps"));
  QVERIFY(open && open->isEnabled());
  QTest::mouseClick(open, Qt::LeftButton);
  RampAnalyzerWindow& w = RampAnalyzer(*f.wb);
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(w.windowTitle(), QStringLiteral("Form31: RampAnalyzer v.13.12"));
  QVERIFY(StepSeries(*f.wb).isVisible());

  // The shipped sample is read, drawn and its first sweep analysed.
  TRamp* r = w.ramp();
  QVERIFY(r != nullptr);
  QCOMPARE(r->NSweeps, 14);
  QCOMPARE(r->CurSweep, 1);
  QVERIFY(r->tSpike[1] > 0.0);
  QCOMPARE(Points(w.chart(1), "Vexp"), r->NLast + 1);
  QCOMPARE(Points(w.chart(2), "Pointer"), 1);
  QVERIFY(Points(w.chart(2), "Spike") > 10);
  // Opening writes no marker files; they come once "WriteSpikeMarkers" is ticked.
  const auto marker = [&f](const char* stem, int sweep) {
    return QFile::exists(f.FilePath(QString::fromStdString(MarkerFileName(stem, sweep))));
  };
  QVERIFY(QDir(f.FilePath(QString())).entryList({QStringLiteral("*.dat")}, QDir::Files).isEmpty());

  // The help note hides on a click.
  auto* help = w.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
  QTest::mouseClick(help->viewport(), Qt::LeftButton);
  QVERIFY(help->isHidden());

  // Another sweep; a number beyond the sweeps is brought back to 100.
  NumericInput* smpl = w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit2"));
  w.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(true);
  smpl->setValue(3);
  QCOMPARE(r->CurSweep, 3);
  for (const char* stem : {"SpikeShape", "VandI", "SpikeMarker"}) QVERIFY2(marker(stem, 3), stem);
  QVERIFY(!marker("SpikeMarker", 1));
  QVERIFY(r->tSpike[3] > r->tSpike[1] || r->tSpike[3] > 0.0);
  smpl->setValue(250);
  QCOMPARE(smpl->value(), 100.0);
  smpl->setValue(2);

  // All sweeps: the VT(tau) curve and its file.
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("AllSamples")), Qt::LeftButton);
  QCOMPARE(Points(w.chart(3), "VT(tau)"), 14);
  QVERIFY(QFile::exists(f.FilePath(QStringLiteral("VT_tau.dat"))));
  QVERIFY(f.dialogs->errors.isEmpty());

  // Unscaled mode disables the scaled template's inputs.
  auto* mode = w.findChild<QComboBox*>(QStringLiteral("ComboBox2"));
  QVERIFY(!w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit5"))->isEnabled());
  mode->setCurrentIndex(0);
  QVERIFY(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit5"))->isEnabled());
  mode->setCurrentIndex(1);

  // Closing frees the data; showing again reads the file anew.
  w.close();
  QVERIFY(w.ramp() == nullptr);
  w.show();
  QVERIFY(w.ramp() != nullptr && w.ramp()->NSweeps == 14);
}

void DataToolsTest::StepSeriesPlotsThePeakCurrentOfEveryTestVoltage() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  OpenRampsAndSteps(*f.wb);
  StepSeriesWindow& w = StepSeries(*f.wb);
  QCOMPARE(w.windowTitle(), QStringLiteral("Form18: ramps and steps"));
  QVERIFY(w.findChild<QRadioButton*>(QStringLiteral("RadioGroup1Item1"))->isEnabled());  // the distributed model
  w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit1"))->setValue(8);
  w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit3"))->setValue(20);
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QCOMPARE(Points(w.chart(), "Imin(V)"), 9);
  QCOMPARE(Points(w.chart(), "Imin2(V)"), 9);
  QCOMPARE(f.s().rec.Smpl, 19);
  QCOMPARE(f.s().NP0.If_I_V_or_g, 5);
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit4"))->value(), 20.0);
  QVERIFY(QFile::exists(f.FilePath(QStringLiteral("Steps_V_Imin_Imin2.dat"))));
  QVERIFY(QFile::exists(f.FilePath(QStringLiteral("ramp_.d"))));
  // Some test voltage draws an inward sodium current.
  double lowest = 0.0;
  for (int k = 0; k < 9; ++k) lowest = std::min(lowest, w.chart()->Point(0, k).y());
  QVERIFY(lowest < 0.0);
  w.chart()->Refresh();
}

void DataToolsTest::RampInCCPreviewsTheChosenPulseShape() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  f.Item(QStringLiteral("Ramp in CC"))->trigger();
  StimulusPreviewWindow& w = StimulusPreview(*f.wb);
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(w.windowTitle(), QStringLiteral("Form21: Ramp in CC"));
  f.s().stim.Iind = 100.0;
  f.s().stim.t_IindShift = 0.1;
  f.s().stim.t_Iind = 0.3;
  f.wb->Correspond();
  w.findChild<QRadioButton*>(QStringLiteral("RadioGroup1Item1"))->click();
  QCOMPARE(f.s().stim.pulseShape, PulseShape::Ramp);
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Re-calculate")), Qt::LeftButton);
  const int n = f.s().run.nt_end;
  QCOMPARE(Points(w.chart(1), "Input current, pA"), n);
  QCOMPARE(Points(w.chart(3), "ss, nS"), n);
  QCOMPARE(Points(w.chart(1), "Pulse window"), 2);
  // The ramp reaches the amplitude at the end of the window.
  double highest = 0.0;
  for (int k = 0; k < n; ++k) highest = std::max(highest, w.chart(1)->Point(0, k).y());
  QVERIFY(std::abs(highest - 100.0) < 1.0);
}

QTEST_MAIN(DataToolsTest)
#include "data_tools_test.moc"
