#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "params/model_menus.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/windows/ensemble_window.h"
#include "workbench_fixture.h"

using membrix::Chart;
using membrix::NumericInput;
using membrix::testing::TypeInto;
using membrix::testing::WorkbenchFixture;

namespace {

int LineCount(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  return static_cast<int>(file.readAll().count('\n'));
}

QWidget* Window(WorkbenchFixture& f, const char* name) {
  return f.form1().findChild<QWidget*>(QString::fromUtf8(name));
}

}  // namespace

class EnsembleWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void RateButtonOpensBothWindowsAndTheNoiseRunDrawsTheRate();
  void LeakSpreadSwitchesToRelativeAndDoubleClickSwitchesBack();
  void ConductancesAndNetworkDrawTheirSeries();
  void AStoppedNoiseRunDrawsTheRateOfTheMembersDone();
};

void EnsembleWindowTest::RateButtonOpensBothWindowsAndTheNoiseRunDrawsTheRate() {
  WorkbenchFixture f;
  QTest::mouseClick(f.Button(QStringLiteral("Rate (ens.)")), Qt::LeftButton);
  QWidget* w = Window(f, "Form7");
  QWidget* syn = Window(f, "Form15");
  QVERIFY(w != nullptr && w->isVisible());
  QVERIFY(syn != nullptr && syn->isVisible());
  QCOMPARE(w->windowTitle(), QStringLiteral("Form7: Rate of Gaussian ensemble"));
  QCOMPARE(syn->windowTitle(), QStringLiteral("Form15: Synaptic Current for the Net"));
  QCOMPARE(w->findChild<NumericInput*>(QStringLiteral("DDSpinEdit7"))->value(), 4000.0);
  TypeInto(*w, "DDSpinEdit3", QStringLiteral("20"));
  TypeInto(*w, "DDSpinEdit7", QStringLiteral("7"));
  TypeInto(*w, "DDSpinEdit6", QStringLiteral("40"));
  TypeInto(*w, "DDSpinEdit14", QStringLiteral("10"));
  QCOMPARE(f.in().ensemble.MeshGauss, 7);
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Button5")), Qt::LeftButton);
  auto* chart = w->findChild<Chart*>(QStringLiteral("Chart2"));
  QCOMPARE(chart->PointCount(chart->FindSeries(QStringLiteral("ro(t,0)"))), 41);
  QVERIFY(chart->PointCount(chart->FindSeries(QStringLiteral("V(t)"))) > 0);
  QCOMPARE(LineCount(f.FilePath(QStringLiteral("RateNoise(t).dat"))), 41);
  QCOMPARE(LineCount(f.FilePath(QStringLiteral("OneCurve(t).dat"))), 400);
  QVERIFY(w->findChild<QLabel*>(QStringLiteral("Label18"))->text().startsWith(QStringLiteral("sgmV at t=")));
  QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Label15"))->text(), QStringLiteral("j=7"));
}

void EnsembleWindowTest::LeakSpreadSwitchesToRelativeAndDoubleClickSwitchesBack() {
  WorkbenchFixture f;
  membrix::ShowEnsembleWindow(*f.wb, &f.form1());
  QWidget* w = Window(f, "Form7");
  auto* unit = w->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
  auto* disperse = w->findChild<QComboBox*>(QStringLiteral("ComboBox2"));
  auto* sgm = w->findChild<NumericInput*>(QStringLiteral("DDSpinEdit13"));
  QCOMPARE(unit->currentText(), QStringLiteral("in mV"));
  disperse->setCurrentIndex(1);
  QCOMPARE(unit->currentText(), QStringLiteral("nondim."));
  QCOMPARE(sgm->value(), 0.3);
  QCOMPARE(f.in().ensemble.sgm_V, 0.3);
  QTest::mouseDClick(unit, Qt::LeftButton);
  QCOMPARE(unit->currentText(), QStringLiteral("in mV"));
  QCOMPARE(f.in().ensemble.sgm_V, 3.0);

  auto* fix = w->findChild<QCheckBox*>(QStringLiteral("CheckBox1"));
  fix->setChecked(true);
  QCOMPARE(f.s().NP0.FixThr, 0.014 + f.s().NP0.ThrShift);
  fix->setChecked(false);
  QCOMPARE(f.s().NP0.FixThr, 0.0);
}

void EnsembleWindowTest::ConductancesAndNetworkDrawTheirSeries() {
  WorkbenchFixture f;
  membrix::ShowEnsembleWindow(*f.wb, &f.form1());
  QWidget* w = Window(f, "Form7");
  TypeInto(*w, "DDSpinEdit3", QStringLiteral("10"));
  TypeInto(*w, "DDSpinEdit6", QStringLiteral("20"));
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Button4")), Qt::LeftButton);
  auto* chart = w->findChild<Chart*>(QStringLiteral("Chart2"));
  for (const char* series : {"Mean", "Mean+Dispersion", "V(mean gE)", "Ends"}) {
    QVERIFY2(chart->PointCount(chart->FindSeries(QString::fromUtf8(series))) > 0, series);
  }
  QCOMPARE(LineCount(f.FilePath(QStringLiteral("Gauss_bound.dat"))), 200);

  TypeInto(*w, "DDSpinEdit7", QStringLiteral("10"));
  // One "Run Network", here with white noise.
  const QList<QPushButton*> buttons = w->findChildren<QPushButton*>();
  QCOMPARE(std::count_if(buttons.begin(), buttons.end(),
                         [](const QPushButton* b) { return b->text() == QStringLiteral("Run Network"); }),
           1);
  w->findChild<QCheckBox*>(QStringLiteral("NetWhiteNoise"))->setChecked(true);
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Button7")), Qt::LeftButton);
  auto* gate = Window(f, "Form15")->findChild<Chart*>(QStringLiteral("Chart1"));
  QCOMPARE(gate->PointCount(0), 21);
  QCOMPARE(LineCount(f.FilePath(QStringLiteral("rate(t).dat"))), 21);
  // The window's line says the network ran, not the members of the run before.
  QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Label15"))->text(), QStringLiteral("Network with noise complete"));
}

// Identical members (no spread) all fire in the same bins: the rate there is
// 1/Δ = 2000 Hz for 0.5 ms bins, however many members were done before "Stop",
// and the window shows that, not the rate diluted by the members never run.
void EnsembleWindowTest::AStoppedNoiseRunDrawsTheRateOfTheMembersDone() {
  WorkbenchFixture f;
  membrix::SelectModelFamily(f.s(), "Rariza");
  membrix::ShowEnsembleWindow(*f.wb, &f.form1());
  QWidget* w = Window(f, "Form7");
  TypeInto(*w, "DDSpinEdit7", QStringLiteral("1000000"));
  TypeInto(*w, "DDSpinEdit13", QStringLiteral("0"));
  QCOMPARE(f.in().ensemble.MeshGauss, 1000000);
  QCOMPARE(f.in().ensemble.sgm_V, 0.0);
  // "Stop" once member 0 has been written.
  auto* stop = w->findChild<QPushButton*>(QStringLiteral("ButtonStop"));
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (LineCount(f.FilePath(QStringLiteral("OneCurve(t).dat"))) > 0) {
      poll.stop();
      stop->click();
    }
  });
  poll.start();
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("Button5")), Qt::LeftButton);
  QVERIFY(!poll.isActive());
  const QString progress = w->findChild<QLabel*>(QStringLiteral("Label15"))->text();
  QVERIFY2(progress.startsWith(QStringLiteral("stopped after ")) && progress.endsWith(QStringLiteral(" of 1000001 members")),
           qPrintable(progress));
  auto* chart = w->findChild<Chart*>(QStringLiteral("Chart2"));
  const int rate = chart->FindSeries(QStringLiteral("ro(t,0)"));
  QCOMPARE(chart->PointCount(rate), 241);
  double peak = 0.0;
  for (int k = 0; k < 241; ++k) peak = std::max(peak, chart->Point(rate, k).y());
  QVERIFY2(std::abs(peak - 2000.0) < 1e-6, qPrintable(QString::number(peak, 'g', 12)));
  QCOMPARE(LineCount(f.FilePath(QStringLiteral("RateNoise(t).dat"))), 241);
}

QTEST_MAIN(EnsembleWindowTest)
#include "ensemble_window_test.moc"
