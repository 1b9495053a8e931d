#include <QCheckBox>
#include <QFile>
#include <QLabel>

#include "analysis/us_map.h"
#include "run/clamp_run.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/fc_analysis_panel.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/windows/z_function_window.h"
#include <QCheckBox>
#include <cmath>
#include <fstream>
#include "workbench_fixture.h"

using membrix::testing::WorkbenchFixture;

namespace {

// The start-up neuron's map over its tonic-firing inputs, written where the
// window reads it.
void MakeMap(membrix::Session& s, membrix::TaskInputs& in) {
  in.usMap.nue = 7;
  in.usMap.nse = 7;
  in.usMap.u_min = 3.0;
  in.usMap.u_max = 6.5;
  in.usMap.s_min = 0.05;
  in.usMap.s_max = 0.4;
  in.usMap.t_end = 600;
  in.firingClamp.FunctionG = 1;  // the mean voltage of the interval
  class Quiet final : public membrix::USMapSink {
    void Point(const membrix::USMapPoint&) override {}
  } quiet;
  membrix::BatchHost host;
  membrix::MapUS(s, in.usMap, in.fiber, host, quiet, membrix::MapGrid::US, membrix::kUSMapFile);
}

int Points(membrix::Chart& c, const char* series) { return c.PointCount(c.FindSeries(QString::fromUtf8(series))); }

}  // namespace

class FCAnalysisPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void ChecksAnalysesAndRunsTrialsFromTheWindow();
  void KernelBoxShowsTheZFunctionWindowWhichAnalysesOneISI();
};

void FCAnalysisPanelTest::ChecksAnalysesAndRunsTrialsFromTheWindow() {
  WorkbenchFixture f;
  membrix::Session& s = f.wb->session();
  MakeMap(s, f.in());
  membrix::FiringClampWindow& w = f.form1().analysisWindows().firingClamp();
  w.show();
  auto* panel = w.findChild<membrix::FiringClampAnalysisPanel*>();
  QVERIFY(panel != nullptr);
  QCOMPARE(w.windowTitle(), QStringLiteral("Form8: Firing-Clamp"));

  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
  std::size_t firing = 0;
  const membrix::USMapData map = membrix::ReadAnalysisMap(f.in().fcAnalysis, f.in().firingClamp);
  for (const membrix::SpikeRecord& r : membrix::CheckRecords(map)) firing += r.F != 0.0;
  QVERIFY(firing >= 10);
  QCOMPARE(panel->last().estimates.size(), firing);
  QCOMPARE(panel->mapF()->BubbleCount(), 64);
  QCOMPARE(panel->mapG()->BubbleCount(), 64);
  QCOMPARE(panel->mapF()->MarkCount(membrix::EstimateMap::Exact), 20);
  QCOMPARE(panel->mapG()->MarkCount(membrix::EstimateMap::Estimation), 20);
  QCOMPARE(panel->mapF()->MarkCount(membrix::EstimateMap::Start), 1);
  QCOMPARE(Points(*w.conductances(), "gE_FC"), static_cast<int>(firing));

  // A noisy run held at a mean input inside the map, then its records inverted.
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
  QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
  QCOMPARE(Points(*w.conductances(), "gE_FC"), 0);
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  s.stim.uu = 0.005;
  s.stim.ss = 0.2;
  s.prog.tau_E = s.prog.tau_I = 0.0;
  s.prog.NoiseToSignal = 0.05;
  s.stim.tau_Noise = 0.002;
  f.in().firingClamp.Mode = -1;
  membrix::SetRunLength(s.run, 0.6);
  QVERIFY(w.Run(100000));
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button3")), Qt::LeftButton);
  QVERIFY(!panel->last().estimates.empty());
  QCOMPARE(Points(*w.conductances(), "gE_FC"), static_cast<int>(panel->last().estimates.size()));

  // Two trials, written to the trial file.
  auto* n = w.findChild<membrix::NumericInput*>(QStringLiteral("DDSpinEdit1"));
  n->setValue(2);
  QCOMPARE(f.in().fcAnalysis.Trials, 2);
  QCOMPARE(n->text().trimmed(), QStringLiteral("2"));  // a count shows whole
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button5")), Qt::LeftButton);
  QCOMPARE(panel->lastTrials().trials, 2);
  QFile file(f.FilePath(QStringLiteral("gE_gI(t).dat")));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(static_cast<std::int64_t>(file.readAll().count('\n')), panel->lastTrials().estimates);
  QVERIFY(QFile::exists(f.FilePath(QStringLiteral("mean_gE_gI(t).dat"))));

  // "Wiener Kernel" makes the run write the voltage of every step. The run
  // analysed above wrote none: the analysis says so rather than read a trace
  // some other run left.
  std::ofstream(f.FilePath(QStringLiteral("V(t).dat")).toStdString()) << "0 -65\n";
  w.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(true);
  QCOMPARE(s.run.WriteMode, 1);
  QVERIFY(f.in().fcAnalysis.WienerKernel);
  f.dialogs->errors.clear();
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button3")), Qt::LeftButton);
  QCOMPARE(f.dialogs->errors.size(), 1);
  QVERIFY2(f.dialogs->errors[0].contains(QStringLiteral("run the firing clamp again")), qPrintable(f.dialogs->errors[0]));
  // The menu's run writes the trace, and the analysis of that run reads it.
  membrix::SetRunLength(s.run, 0.3);
  f.dialogs->errors.clear();
  f.form1().analysisWindows().RunFiringClamp();
  QCOMPARE(w.last().voltageTrace, std::string(membrix::kWienerTraceFile));
  QFile trace(f.FilePath(QStringLiteral("V(t).dat")));
  QVERIFY(trace.open(QIODevice::ReadOnly));
  QCOMPARE(static_cast<std::int64_t>(trace.readAll().count('\n')), static_cast<std::int64_t>(s.run.nt));
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button3")), Qt::LeftButton);
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QStringLiteral("; "))));
  QVERIFY(!panel->last().estimates.empty());
  QVERIFY(Points(*w.conductances(), "gE_Wi") > 0);
  w.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(false);
  QCOMPARE(s.run.WriteMode, 0);

  // "Make linear F,G" is what the analysis inverts against, as the batch
  // tool's --linear: the self-test gives the estimates the engine gives on
  // the planes.
  auto* linear = f.Find<QPushButton>(QStringLiteral("Make linear F,G"));
  QVERIFY(linear != nullptr);
  QTest::mouseClick(linear, Qt::LeftButton);
  QCOMPARE(linear->text(), QStringLiteral("Undo linear F,G"));
  QVERIFY(f.in().fcAnalysis.linear);
  QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
  membrix::FiringClampAnalysisInputs planes = f.in().fcAnalysis;
  planes.linear = true;
  membrix::BatchHost host;
  membrix::FiringClampAnalysisSink none;
  const membrix::FiringClampAnalysis expected =
      membrix::CheckFiringClamp(s, planes, f.in().firingClamp, f.in().zInputs, host,
                                membrix::ReadAnalysisMap(planes, f.in().firingClamp), none);
  QCOMPARE(panel->last().estimates.size(), expected.estimates.size());
  for (std::size_t k = 0; k < expected.estimates.size(); ++k) {
    QCOMPARE(panel->last().estimates[k].gE, expected.estimates[k].gE);
    QCOMPARE(panel->last().estimates[k].gI, expected.estimates[k].gI);
  }
  QTest::mouseClick(linear, Qt::LeftButton);
  QVERIFY(!f.in().fcAnalysis.linear);
}

void FCAnalysisPanelTest::KernelBoxShowsTheZFunctionWindowWhichAnalysesOneISI() {
  WorkbenchFixture f;
  membrix::Session& s = f.wb->session();
  MakeMap(s, f.in());
  // Each point ends with its fifth spike, the interval the five-spike runs
  // of the one-ISI analysis end with.
  f.in().usMap.t_end = 200;
  f.in().usMap.MaxSpikes = 5;
  f.in().usMap.nue = f.in().usMap.nse = 5;
  {
    class Quiet final : public membrix::USMapSink {
      void Point(const membrix::USMapPoint&) override {}
    } quiet;
    membrix::BatchHost host;
    membrix::MapUS(s, f.in().usMap, f.in().fiber, host, quiet, membrix::MapGrid::US, membrix::kUSMapFile);
  }
  for (const char* name : {membrix::kStoredZFile, membrix::kStoredZVavFile}) {
    std::ofstream out(f.FilePath(QString::fromUtf8(name)).toStdString());
    for (int k = 0; k <= 200; ++k) out << -0.1 * k << ' ' << 50.0 * std::exp(-0.02 * k) << '\n';
  }
  auto* kernel = f.form1().findChild<QCheckBox*>(QStringLiteral("CheckBox2"));
  QVERIFY(kernel != nullptr && kernel->isEnabled());
  kernel->setChecked(true);
  membrix::ZFunctionWindow& z = f.form1().analysisWindows().zFunction();
  QVERIFY(z.isVisible());
  QCOMPARE(z.windowTitle(), QStringLiteral("Form14 - Z-function to correct F-C"));
  QVERIFY(f.in().zInputs.Visible);
  QCOMPARE(s.run.WriteMode, 1);

  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  s.stim.uu = 0.005;
  s.stim.ss = 0.2;
  s.prog.tau_E = s.prog.tau_I = 0.0;
  s.prog.NoiseToSignal = 0.03;
  s.stim.tau_Noise = 0.002;
  s.run.WriteMode = 0;
  f.in().firingClamp.Mode = -1;  // open loop: the runs are held at the mean input
  // The map and the runs share the reset protocol the workbench starts with.
  QCOMPARE(s.resetInputs.Reset, membrix::ResetProtocol::ResetVoltage);
  membrix::SetRunLength(s.run, 0.3);
  auto* repeat = z.findChild<membrix::NumericInput*>(QStringLiteral("DDSpinEdit1"));
  repeat->setValue(4);
  QCOMPARE(repeat->text().trimmed(), QStringLiteral("4"));
  f.dialogs->errors.clear();
  QTest::mouseClick(z.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
  QVERIFY(z.deltaFreqText().startsWith(QStringLiteral("delta_freq =")));
  // The map holds the fifth interval after rest at every point, so the noisy
  // intervals are estimated; the window shows the predictions, the last
  // interval against the orbit at its estimate (ending at the spike), and the
  // stored function at the run's step: 201 samples 0.1 ms apart become
  // trunc(201·2) samples 0.05 ms apart.
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QStringLiteral("; "))));
  QCOMPARE(z.zChart()->PointCount(0), 402);
  QVERIFY(z.predictions()->PointCount(0) > 0);
  QCOMPARE(z.predictions()->PointCount(0), z.predictions()->PointCount(1));
  QVERIFY(z.orbit()->PointCount(0) > 100);
  QCOMPARE(z.orbit()->PointCount(1), z.orbit()->PointCount(0));
  QVERIFY(z.disturbance()->PointCount(0) > 100);
  QVERIFY(z.statusText().startsWith(QStringLiteral("%1 intervals analysed").arg(z.predictions()->PointCount(0))));

  // With no repeat analysed there is nothing to show: the error says why.
  s.stim.uu = 0.0;
  membrix::SetRunLength(s.run, 0.03);
  repeat->setValue(1);
  f.dialogs->errors.clear();
  QTest::mouseClick(z.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
  QCOMPARE(z.predictions()->PointCount(0), 0);
  QCOMPARE(f.dialogs->errors,
           QStringList{QStringLiteral("no interval analysed: 1 of 1 repeats not analysed: the noisy run recorded no spike")});

  kernel->setChecked(false);
  QVERIFY(!z.isVisible());
  QVERIFY(!f.in().zInputs.Visible);
}

QTEST_MAIN(FCAnalysisPanelTest)
#include "fc_analysis_panel_test.moc"
