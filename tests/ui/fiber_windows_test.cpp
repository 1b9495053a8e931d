#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <qcustomplot.h>

#include "common/number_format.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/fiber_input_window.h"
#include "ui/windows/fiber_view_window.h"
#include "workbench_fixture.h"

using membrix::Chart;
using membrix::NumericInput;
using membrix::testing::TypeInto;
using membrix::testing::WorkbenchFixture;

namespace {

int Points(Chart* chart, const char* series) { return chart->PointCount(chart->FindSeries(QString::fromUtf8(series))); }

}  // namespace

class FiberWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void TheStartInputsShowASpikeTravellingAlongTheAxon();
  void AxonRunsTheFiberAndDrawsItsProfilesAndEnds();
  void InputsKeepTheirLimitsAndDoubleClicksToggle();
  void RefreshShowsTheDensitiesAndTheCableValues();
};

void FiberWindowsTest::TheStartInputsShowASpikeTravellingAlongTheAxon() {
  WorkbenchFixture f;
  membrix::SetRunLength(f.s().run, 0.014);
  membrix::FiberViewWindow& view = f.form1().analysisWindows().fiberView();
  view.show();
  QCOMPARE(view.endLine()->text(), QStringLiteral("Not run yet."));
  // The window's own Run button; the densities are shown without "Refresh".
  QTest::mouseClick(view.runButton(), Qt::LeftButton);
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QCOMPARE(Points(view.densityChart(), "gNa"), 201);
  QVERIFY(view.derivedLabel(0)->text().startsWith(QStringLiteral("lamda=")));
  // The profiles are drawn every 0.1 ms: the spike is caught on its way, and
  // the end line says where it went and how fast.
  QCOMPARE(Points(view.endsChart(), "V(0,T)"), 1 + f.s().run.nt_end / 2);
  const QString end = view.endLine()->text();
  QVERIFY2(end.startsWith(QStringLiteral("Run complete: 14.00 ms in ")), qPrintable(end));
  QVERIFY2(end.contains(QStringLiteral("the far end at ")) && end.contains(QStringLiteral(" m/s")), qPrintable(end));
  const double soma = end.section(QStringLiteral("\u221220 mV at "), 1).section(QStringLiteral(" ms"), 0, 0).toDouble();
  const double far = end.section(QStringLiteral("the far end at "), 1).section(QStringLiteral(" ms"), 0, 0).toDouble();
  QVERIFY2(soma > 0.0 && far > soma + 3.0, qPrintable(end));
  // Drawn at the first step only, the run does not claim the spike stayed home.
  f.in().fiber.nDraw = 0;
  QTest::mouseClick(view.runButton(), Qt::LeftButton);
  QVERIFY2(view.endLine()->text().endsWith(QStringLiteral("the spike's way is not followed.")),
           qPrintable(view.endLine()->text()));
  // The legends read as meant; the series keep the program's names.
  QCustomPlot* currents = view.currentChart()->findChild<QCustomPlot*>();
  QCOMPARE(currents->graph(0)->name(), QStringLiteral("Current at soma"));
  QCOMPARE(currents->graph(2)->name(), QStringLiteral("Jm at soma"));
  QCOMPARE(view.currentChart()->SeriesTitle(0), QStringLiteral("Current an soma"));
  QCOMPARE(view.inputChart()->findChild<QCustomPlot*>()->graph(1)->name(), QStringLiteral("Iind[L]"));
}

void FiberWindowsTest::AxonRunsTheFiberAndDrawsItsProfilesAndEnds() {
  WorkbenchFixture f;
  membrix::Session& s = f.s();
  f.in().fiber.N = 10;
  f.in().fiber.nDraw = 5;
  f.in().fiber.Stimulation = membrix::FiberStimulation::EndSteps;
  f.in().fiber.Iind_Left = 200.0;
  membrix::SetRunLength(s.run, 100 * s.run.dt);
  QPushButton* axon = f.Button(QStringLiteral("Axon"));
  QVERIFY(axon->isEnabled());
  QTest::mouseClick(axon, Qt::LeftButton);
  QVERIFY(axon->isEnabled());
  membrix::FiberViewWindow& view = f.form1().analysisWindows().fiberView();
  membrix::FiberInputWindow& input = f.form1().analysisWindows().fiberInput();
  QVERIFY(view.isVisible() && input.isVisible());
  // The window's own title, then the model the run used.
  QCOMPARE(view.windowTitle(), QStringLiteral("Form12: FiberO \u2014 ran ") + f.wb->ModelText());
  QCOMPARE(input.windowTitle(), QStringLiteral("Form20: Distributed model"));
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(Points(view.voltageChart(), "V"), 11);
  QCOMPARE(Points(view.gateChart(), "h"), 11);
  const int frames = 1 + s.run.nt_end / 5;
  QCOMPARE(Points(view.endsChart(), "V(0,T)"), frames);
  QCOMPARE(Points(view.currentChart(), "Jm at axon"), frames);
  // The injected current at the soma is the step entered.
  QCOMPARE(view.inputChart()->Point(0, 3).y(), 200.0);
  // The field potential only while its page is shown.
  QCOMPARE(Points(view.lfpChart(), "LFP"), 0);

  // Without "Clean" the time courses of the next run are drawn over the first; the LFP page now shows.
  view.clean()->setChecked(false);
  view.pages()->setCurrentIndex(view.pages()->count() - 1);
  QTest::mouseClick(axon, Qt::LeftButton);
  QCOMPARE(Points(view.endsChart(), "V(0,T)"), 2 * frames);
  QCOMPARE(Points(view.voltageChart(), "V"), 11);
  QCOMPARE(Points(view.lfpChart(), "LFP"), frames);
}

void FiberWindowsTest::InputsKeepTheirLimitsAndDoubleClicksToggle() {
  WorkbenchFixture f;
  membrix::FiberInputWindow& w = f.form1().analysisWindows().fiberInput();
  w.show();
  const membrix::FiberInputs& in = f.in().fiber;
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit19"))->value(), 200.0);
  TypeInto(w, "DDSpinEdit19", QStringLiteral("0"));
  QCOMPARE(in.N, 1);
  QCOMPARE(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit19"))->value(), 1.0);
  TypeInto(w, "DDSpinEdit19", QStringLiteral("900"));
  QCOMPARE(in.N, 500);
  TypeInto(w, "DDSpinEdit18", QStringLiteral("-3"));
  QCOMPARE(in.nDraw, 1);
  QTest::mouseDClick(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit18")), Qt::LeftButton);
  QCOMPARE(in.nDraw, 0);
  auto* zDraw = w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit13"));
  QTest::mouseDClick(zDraw, Qt::LeftButton);
  QCOMPARE(in.zDraw, 1.0);
  QTest::mouseDClick(zDraw, Qt::LeftButton);
  QCOMPARE(in.zDraw, 0.0);
  TypeInto(w, "DDSpinEdit3", QStringLiteral("0"));
  QCOMPARE(in.wNa, 0.0);
  QTest::mouseDClick(w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit3")), Qt::LeftButton);
  QCOMPARE(in.wNa, 1.0);
  TypeInto(w, "DDSpinEdit5", QStringLiteral("120"));
  QCOMPARE(in.L, 120.0);
  w.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->setCurrentIndex(4);
  QCOMPARE(in.NaDistribution, 4);
  w.findChild<QComboBox*>(QStringLiteral("ComboBox2"))->setCurrentIndex(3);
  QCOMPARE(static_cast<int>(in.Stimulation), 3);
  w.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(false);
  QCOMPARE(in.NoAdaptation, 0);
}

void FiberWindowsTest::RefreshShowsTheDensitiesAndTheCableValues() {
  WorkbenchFixture f;
  f.in().fiber.N = 20;
  f.in().fiber.NaDistribution = 0;  // "linear: gNa-decrease; gNaR-increase"
  f.in().fiber.L = 1e6;  // far longer than the length constant: ro is 1/Gs_R
  membrix::FiberViewWindow& view = f.form1().analysisWindows().fiberView();
  view.show();
  QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("Refresh")), Qt::LeftButton);
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(Points(view.densityChart(), "gNa"), 21);
  // The default Na distribution: gNa falls from the soma's to none at the far end.
  QCOMPARE(view.densityChart()->Point(0, 20).y(), 0.0);
  QVERIFY(view.densityChart()->Point(0, 0).y() > 0.0);
  QVERIFY(view.derivedLabel(0)->text().startsWith(QStringLiteral("lamda=")));
  QVERIFY(view.derivedLabel(0)->text().endsWith(QStringLiteral(" mum")));
  const QString gsR = view.derivedLabel(1)->text().mid(QStringLiteral("1/ro_inf=Gs_R=").size());
  QCOMPARE(view.derivedLabel(3)->text(),
           QStringLiteral("ro=") + QString::fromStdString(membrix::Fixed(1.0 / gsR.toDouble(), 8, 5)));
  // The soma is drawn while it has an area, and not without one (on the
  // densities' page, whichever page is shown).
  QVERIFY(!view.somaShape()->isHidden());
  f.s().NP0.Square = 0.0;
  view.Refresh();
  QVERIFY(view.somaShape()->isHidden());
}

QTEST_MAIN(FiberWindowsTest)
#include "fiber_windows_test.moc"
