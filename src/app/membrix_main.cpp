// The desktop workbench: one process, one interface thread, the main window
// first. `membrix --help` and `membrix --version` answer without a display.
//
// A hidden option measures what drawing costs a long clamp run:
//   membrix --draw-cost[=STEPS]
// runs the start-up protocol for STEPS steps (default 1000000) without drawing,
// with drawing, and without drawing again, and prints the times, their ratio
// and the longest time the windows waited for their events.
//   membrix --screenshots=FOLDER [--screen-only]
// starts up, presses "RunClamp" on the start-up protocol and saves pictures of
// the main window's pages and of the parameter window in FOLDER, the main
// window filling the screen (main_window_<W>x<H>.png) and the page "Model and
// Experiment" after a run of Hodgkin_AP.id. With --screen-only it saves the
// picture of the main window filling the screen only.
//   membrix --analysis-screenshots=FOLDER
// runs a sweep in the f-I, adaptation and threshold windows and fills the
// statistics window, and saves their pictures in FOLDER.
//   membrix --act-inact-screenshot=FILE
// opens the sample "Act_Inact.id", draws every curve of the Act/Inact window
// and saves a picture of that window in FILE.
//   membrix --fiber-screenshots=FOLDER
// runs a squid-membrane axon from the "Axon" windows and saves their pictures in FOLDER.
//   membrix --fit-screenshots=FOLDER
// fits gNa of the squid axon to a recording the program made of itself, from
// 20 % below, by the global method of the fitting options, and saves the
// options (fit_dialog.png) and the page "Model and Experiment" after the fit
// (main_window_fit.png) in FOLDER.

#include <QAction>
#include <QApplication>
#include <QRadioButton>
#include <QSpinBox>
#include <QEventLoop>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/version.h"
#include "run/clamp_run.h"
#include "run/run_globals.h"
#include "run/run_view_sink.h"
#include "run/session.h"
#include "params/parameter_file.h"
#include "ui/chart.h"
#include "ui/main_window.h"
#include "ui/windows/ion_dynamics_window.h"
#include "ui/windows/reverse_problem_window.h"
#include "ui/parameter_window.h"
#include "ui/run_view_charts.h"
#include "ui/windows/ensemble_window.h"
#include "ui/workbench.h"
#include "analysis/fi_sweep.h"
#include "analysis/statistics.h"
#include "params/model_menus.h"
#include <QTemporaryDir>
#include "ui/windows/adaptation_window.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/windows/us_map_window.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/fi_window.h"
#include "ui/windows/fiber_input_window.h"
#include "ui/windows/fiber_view_window.h"
#include "ui/windows/statistics_window.h"
#include "ui/windows/threshold_window.h"
#include "ui/windows/act_inact_window.h"
#include "ui/windows/fit_dialog.h"
#include <QFile>
#include <QTableWidget>
#include <QComboBox>

namespace {

using membrix::Session;
using membrix::Workbench;

struct Timing {
  double seconds = 0.0;
  double longestWait = 0.0;  // the longest interval between two ticks of a 10 ms timer
};

Timing TimedRun(Workbench& wb, membrix::RunViewSink& views) {
  QElapsedTimer sinceTick;
  double longest = 0.0;
  QTimer ticks;
  ticks.setInterval(10);
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    longest = std::max(longest, sinceTick.nsecsElapsed() * 1e-9);
    sinceTick.start();
  });
  QElapsedTimer clock;
  clock.start();
  sinceTick.start();
  ticks.start();
  wb.RunSimulation([&] { membrix::RunClamp(wb.session(), wb, views); });
  Timing t;
  t.seconds = clock.nsecsElapsed() * 1e-9;
  ticks.stop();
  t.longestWait = std::max(longest, sinceTick.nsecsElapsed() * 1e-9);
  return t;
}

int MeasureDrawCost(Workbench& wb, int steps) {
  wb.Show();
  Session& s = wb.session();
  membrix::SetRunLength(s.run, (steps + 0.5) * s.run.dt);
  wb.Correspond();
  std::printf("draw cost: %d steps of the start-up protocol (%s, dt = %g ms, drawing every %d steps)\n",
              s.run.nt_end, s.NP0.HH_type.c_str(), s.run.dt * 1000.0, s.run.n_Draw);
  membrix::NullRunViewSink nothing;
  const Timing bare1 = TimedRun(wb, nothing);
  const Timing drawn = TimedRun(wb, wb.views());
  const Timing bare2 = TimedRun(wb, nothing);
  const double bare = 0.5 * (bare1.seconds + bare2.seconds);
  std::printf("without drawing: %.3f s, %.3f s (longest wait for events %.0f ms)\n", bare1.seconds,
              bare2.seconds, 1000.0 * std::max(bare1.longestWait, bare2.longestWait));
  std::printf("with drawing:    %.3f s (longest wait for events %.0f ms)\n", drawn.seconds,
              1000.0 * drawn.longestWait);
  std::printf("ratio drawing / not drawing: %.2f\n", drawn.seconds / bare);
  return 0;
}

// Lets the windows lay themselves out and paint.
void Settle() {
  for (int i = 0; i < 25; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(20);
  }
}

// The dialogs of the pictures: the sample file to open, no to every question.
class ScreenshotDialogs final : public membrix::UserDialogs {
 public:
  bool Confirm(QWidget*, const QString&) override { return false; }
  void ShowError(QWidget*, const QString& message) override {
    std::fprintf(stderr, "membrix: %s\n", qPrintable(message));
  }
  void ShowMessage(QWidget*, const QString&, const QString&) override {}
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return file; }
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString file;
};

// The main window filling the available screen after a run of the start-up
// protocol, as a researcher sees it on that screen.
bool SaveFullScreen(membrix::MainWindow& form1, const QString& folder) {
  const QRect room = form1.screen()->availableGeometry();
  form1.setGeometry(room);
  Settle();
  const QString path =
      QDir(folder).filePath(QStringLiteral("main_window_%1x%2.png").arg(room.width()).arg(room.height()));
  const bool ok = form1.grab().save(path);
  std::printf("membrix: saved %s\n", qPrintable(path));
  return ok;
}

bool SaveWindow(QWidget& w, const QString& folder, const char* file) {
  w.raise();
  Settle();
  const QString path = QDir(folder).filePath(QString::fromUtf8(file));
  const bool ok = w.grab().save(path);
  std::printf("membrix: saved %s\n", qPrintable(path));
  return ok;
}

// The ion window: a 0.8 s current step of the start-up neuron with ion
// dynamics (Bazhenov-Kager pump), run for 1.5 s so that the pump's
// after-hyperpolarisation shows; then the pump characteristics.
bool TakeIonScreenshots(Workbench& wb, const QString& folder) {
  Session& s = wb.session();
  membrix::IonInputs& in = s.ionInputs;
  in.PumpType = 0;
  in.NaK1 = 20.0;  // balances the Na that leaks in at rest
  in.gamma = 0.005;
  wb.Correspond();
  wb.parameterWindow().findChild<QWidget*>(QStringLiteral("CheckBox2"))->setProperty("checked", true);
  s.stim.t_Iind = 0.8;
  membrix::SetRunLength(s.run, 1.5);
  wb.Correspond();
  membrix::MainWindow& form1 = wb.mainWindow();
  form1.findChild<QPushButton*>(QStringLiteral("RunClamp"))->click();
  Settle();
  membrix::IonDynamicsWindow& form19 = wb.ionWindow();
  form19.pages()->setCurrentIndex(0);
  // Ki hidden (as a double click on its legend entry does), so that Nai has the
  // axis to itself.
  membrix::Chart* concentrations = form19.RunCharts()[1];
  concentrations->SetSeriesVisible(concentrations->FindSeries(QStringLiteral("Ki")), false);
  concentrations->Refresh();
  bool ok = SaveWindow(form19, folder, "ion_dynamics.png");
  ok = SaveWindow(form1, folder, "ion_dynamics_voltage.png") && ok;
  wb.parameterWindow().findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(4);
  in.NaK2 = 10.0;  // the second isoform, of lower Na affinity, beside the first
  wb.Correspond();
  wb.parameterWindow().findChild<QPushButton*>(QStringLiteral("NaK-pump plots"))->click();
  Settle();
  ok = SaveWindow(form19, folder, "ion_pump_characteristics.png") && ok;
  return SaveWindow(wb.parameterWindow(), folder, "parameter_window_nak_pump.png") && ok;
}

// The reverse-problem window after fitting the potassium sample (the button
// pressed twice: the second simplex starts from the first one's result), and
// its page of the sodium rate functions.
bool TakeReverseProblemScreenshots(Workbench& wb, const QString& folder) {
  membrix::MainWindow& form1 = wb.mainWindow();
  membrix::LoadParameterFile(wb.session(),
                             QDir(wb.SamplesFolder()).filePath(QStringLiteral("HH_K_steps.id")).toStdString());
  form1.findChild<QPushButton*>(QStringLiteral("HH approx."))->click();
  auto* reverse = form1.findChild<membrix::ReverseProblemWindow*>();
  reverse->findChild<QRadioButton*>(QStringLiteral("RadioK"))->click();
  for (int i = 0; i < 2; ++i) reverse->findChild<QPushButton*>(QStringLiteral("Solve reverse problem"))->click();
  reverse->findChild<QSpinBox*>(QStringLiteral("SpinEdit1"))->setValue(6);
  Settle();
  bool ok = true;
  const QString fit = QDir(folder).filePath(QStringLiteral("reverse_problem_window.png"));
  ok = reverse->grab().save(fit) && ok;
  std::printf("membrix: saved %s\n", qPrintable(fit));
  reverse->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(3);
  Settle();
  const QString formulas = QDir(folder).filePath(QStringLiteral("reverse_problem_formulas.png"));
  ok = reverse->grab().save(formulas) && ok;
  std::printf("membrix: saved %s\n", qPrintable(formulas));
  return ok;
}

int TakeScreenshots(Workbench& wb, const QString& folder, bool screenOnly) {
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "membrix: cannot create %s\n", qPrintable(folder));
    return 1;
  }
  auto dialogs = std::make_unique<ScreenshotDialogs>();
  ScreenshotDialogs* script = dialogs.get();
  wb.SetDialogs(std::move(dialogs));
  wb.Show();
  Settle();
  membrix::MainWindow& form1 = wb.mainWindow();
  form1.findChild<QPushButton*>(QStringLiteral("RunClamp"))->click();
  Settle();
  if (screenOnly) return SaveFullScreen(form1, folder) ? 0 : 1;
  auto* pages = form1.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  const struct {
    int page;
    const char* file;
  } shots[] = {{0, "main_window.png"},
               {1, "main_window_conductances.png"},
               {2, "main_window_model.png"},
               {4, "main_window_firing_clamp.png"}};
  bool ok = true;
  for (const auto& shot : shots) {
    pages->setCurrentIndex(shot.page);
    Settle();
    const QString path = QDir(folder).filePath(QString::fromUtf8(shot.file));
    ok = form1.grab().save(path) && ok;
    std::printf("membrix: saved %s\n", qPrintable(path));
  }
  // The output list of "Save any curve", closed again without a choice.
  pages->setCurrentIndex(0);
  form1.findChild<QPushButton*>(QStringLiteral("Save any curve"))->click();
  Settle();
  const QString list = QDir(folder).filePath(QStringLiteral("main_window_var_to_write.png"));
  ok = form1.grab().save(list) && ok;
  std::printf("membrix: saved %s\n", qPrintable(list));
  form1.findChild<QWidget*>(QStringLiteral("RadioGroup1"))->hide();

  // The phase plane is drawn while its page is shown.
  pages->setCurrentIndex(5);
  form1.findChild<QPushButton*>(QStringLiteral("RunClamp"))->click();
  Settle();
  const QString phase = QDir(folder).filePath(QStringLiteral("main_window_phase_plane.png"));
  ok = form1.grab().save(phase) && ok;
  std::printf("membrix: saved %s\n", qPrintable(phase));
  pages->setCurrentIndex(0);
  const QString path = QDir(folder).filePath(QStringLiteral("parameter_window.png"));
  wb.parameterWindow().raise();
  Settle();
  ok = wb.parameterWindow().grab().save(path) && ok;
  std::printf("membrix: saved %s\n", qPrintable(path));

  // A model and its recording: Hodgkin_AP.id, recording 1.
  script->file = QDir(wb.SamplesFolder()).filePath(QStringLiteral("Hodgkin_AP.id"));
  form1.findChild<QAction*>(QStringLiteral("Open *.id file"))->trigger();
  pages->setCurrentIndex(2);
  form1.findChild<QPushButton*>(QStringLiteral("RunClamp"))->click();
  Settle();
  const QString model = QDir(folder).filePath(QStringLiteral("main_window_model_against_recording.png"));
  ok = form1.grab().save(model) && ok;
  std::printf("membrix: saved %s\n", qPrintable(model));

  // The start-up protocol again, the main window filling the screen.
  form1.findChild<QAction*>(QStringLiteral("Default"))->trigger();
  pages->setCurrentIndex(0);
  form1.findChild<QPushButton*>(QStringLiteral("RunClamp"))->click();
  Settle();
  ok = SaveFullScreen(form1, folder) && ok;
  ok = TakeIonScreenshots(wb, folder) && ok;
  ok = TakeReverseProblemScreenshots(wb, folder) && ok;
  return ok ? 0 : 1;
}

constexpr const char* kUsage =
    "usage: membrix [Qt options]\n"
    "\n"
    "The Membrix workbench: simulate single neurons and their channels under\n"
    "current and voltage clamp, compare them with recordings and fit them.\n"
    "It opens the main window with the built-in start-up model; File -> Open\n"
    "*.id file loads a parameter file. The batch tool membrix-cli runs the same\n"
    "protocols without a display.\n"
    "\n"
    "Keys: F5 or Ctrl+R runs the clamp, Ctrl+O opens a parameter file,\n"
    "Ctrl+Q quits. On a chart: wheel zooms, drag pans, Ctrl+drag zooms into a\n"
    "box, a double click restores the range, the right button saves the\n"
    "picture or the data.\n"
    "\n"
    "options:\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n"
    "  Qt's own options (-platform offscreen, -style ...) are passed to Qt.\n";

// The (u,s) map of the start-up neuron and a firing-clamp run, as pictures.
int TakeMapScreenshots(Workbench& wb, const QString& folder) {
  const QString target = QDir(folder).absolutePath();
  if (!QDir().mkpath(target)) {
    std::fprintf(stderr, "membrix: cannot create %s\n", qPrintable(target));
    return 1;
  }
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  wb.Show();
  Settle();
  membrix::AnalysisWindows& windows = wb.mainWindow().analysisWindows();
  bool ok = true;
  auto save = [&](QWidget& w, const char* file) {
    w.show();
    ok = SaveWindow(w, target, file) && ok;
  };
  Session& s = wb.session();
  windows.ShowUSMap();
  membrix::USMapWindow& map = windows.usMap();
  map.Plot(membrix::MapGrid::US);
  // The firing clamp: the rate held at 40 Hz by u under noisy conductances.
  s.stim.uu = 0.0025;
  s.stim.ss = 0.05;
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 100.0;
  s.stim.tau_Noise = 0.003;
  s.prog.NoiseToSignal = 0.3;
  s.prog.tau_E = s.prog.tau_I = 0.0;
  s.prog.FC_freq = 40.0;
  s.prog.FC_dFdu = 20000.0;
  s.firingClamp.Mode = 1;
  s.firingClamp.Reset = membrix::ResetProtocol::None;
  membrix::SetRunLength(s.run, 1.5);
  wb.Correspond();
  windows.ShowFiringClamp();
  windows.firingClamp().Run(100000);
  save(windows.firingClamp(), "firing_clamp_window.png");
  // The map with the run's adaptation estimate below it, and the run's voltage
  // on the main window.
  save(map, "us_map_window.png");
  save(wb.mainWindow(), "firing_clamp_main_window.png");
  return ok ? 0 : 1;
}

// The fiber windows after a run of a squid-membrane axon: the spike halfway
// along the axon, the time courses at its ends, the channel densities.
int TakeFiberScreenshots(Workbench& wb, const QString& folder) {
  const QString target = QDir(folder).absolutePath();
  if (!QDir().mkpath(target)) {
    std::fprintf(stderr, "membrix: cannot create %s\n", qPrintable(target));
    return 1;
  }
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  wb.Show();
  Settle();
  Session& s = wb.session();
  membrix::SelectModelFamily(s, "Rariza");
  s.NP0.If_I_V_or_g = 2;
  membrix::SetTimeStep(s.run, 2e-5);
  membrix::SetRunLength(s.run, 0.006);
  s.fiber.Stimulation = membrix::FiberStimulation::EndSteps;
  s.fiber.Iind_Left = 3000.0;
  s.fiber.L = 3000.0;
  s.fiber.N = 100;
  s.fiber.NaDistribution = 2;
  s.fiber.nDraw = 10;
  wb.Correspond();
  membrix::AnalysisWindows& windows = wb.mainWindow().analysisWindows();
  bool ok = windows.RunAxon();
  Settle();
  ok = SaveWindow(windows.fiberView(), target, "fiber_view_window.png") && ok;
  ok = SaveWindow(windows.fiberInput(), target, "fiber_input_window.png") && ok;
  windows.fiberView().pages()->setCurrentIndex(4);
  windows.fiberView().Refresh();
  Settle();
  ok = SaveWindow(windows.fiberView(), target, "fiber_distribution.png") && ok;
  return ok ? 0 : 1;
}

// The analysis windows after a sweep each; their files go to a temporary folder.
int TakeAnalysisScreenshots(Workbench& wb, const QString& folder) {
  const QString target = QDir(folder).absolutePath();
  if (!QDir().mkpath(target)) {
    std::fprintf(stderr, "membrix: cannot create %s\n", qPrintable(target));
    return 1;
  }
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  wb.Show();
  Settle();
  membrix::AnalysisWindows& windows = wb.mainWindow().analysisWindows();
  bool ok = true;
  auto save = [&](QWidget& w, const char* file) {
    w.show();
    ok = SaveWindow(w, target, file) && ok;
  };
  Session& s = wb.session();
  // The start-up neuron: adaptation and thresholds with the windows' defaults.
  membrix::AdaptationWindow& adaptation = windows.adaptation();
  adaptation.show();
  adaptation.Start();
  save(adaptation, "adaptation_window.png");
  membrix::ThresholdWindow& threshold = windows.threshold();
  threshold.show();
  threshold.Start();
  save(threshold, "threshold_window.png");
  // The squid axon: the f-I curve with its abrupt onset.
  membrix::SelectModelFamily(s, "Rariza");
  membrix::SetRunLength(s.run, 0.6);
  membrix::SetTimeStep(s.run, 5e-5);
  s.fi.Estimator = membrix::FIEstimator::ReverseLastISI;
  wb.Correspond();
  membrix::FIWindow& fi = windows.fi();
  fi.show();
  fi.ShowInputs();
  fi.Start();
  save(fi, "fi_window.png");
  // The statistics of a noisy rate around 40 Hz (an Ornstein-Uhlenbeck
  // process with a 5 ms correlation time), as a population run would pass it.
  windows.SetStatisticsShown(true);
  membrix::StatisticsWindow& stats = windows.statistics();
  s.statistics.inputs.nt_corr = 400;
  stats.ShowInputs();
  s.run.dt = 5e-5;
  s.run.n_Draw = 100;
  double rate = 40.0;
  const double tau = 0.005;
  for (s.run.nt = 1; s.run.nt <= 40000; ++s.run.nt) {
    rate += (40.0 - rate) * s.run.dt / tau + 15.0 * std::sqrt(2.0 * s.run.dt / tau) * s.random.Normal(0.0, 1.0);
    membrix::AddSample(s, s.statistics, rate, stats, wb);
  }
  save(stats, "statistics_window.png");
  return ok ? 0 : 1;
}

// The ensemble window after each kind of run on the squid axon, and the
// synapse window after the network; their files go to a temporary folder.
int TakeEnsembleScreenshots(Workbench& wb, const QString& folder) {
  const QString target = QDir(folder).absolutePath();
  if (!QDir().mkpath(target)) {
    std::fprintf(stderr, "membrix: cannot create %s\n", qPrintable(target));
    return 1;
  }
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  wb.Show();
  Settle();
  bool ok = true;
  Session& s = wb.session();
  membrix::SelectModelFamily(s, "Rariza");
  s.ensemble.MeshGauss = 2000;
  wb.Correspond();
  membrix::EnsembleWindow& w = membrix::ShowEnsembleWindow(wb, &wb.mainWindow());
  w.ShowInputs();
  auto* synapse = wb.mainWindow().findChild<QWidget*>(QStringLiteral("Form15"));
  w.RunNoise(membrix::EnsembleModel::ConductanceBased);
  ok = SaveWindow(w, target, "ensemble_noise.png") && ok;
  s.ensemble.ThrRenewal = true;
  w.ShowInputs();
  w.RunThresholds(membrix::EnsembleModel::ConductanceBased);
  ok = SaveWindow(w, target, "ensemble_thresholds.png") && ok;
  s.ensemble.ThrRenewal = false;
  s.ensemble.Ampl_gE = 0.03;
  s.ensemble.t_end = 20.0;
  s.ensemble.Nrate = 40;
  s.ensemble.MeshG = 20;
  w.ShowInputs();
  w.RunConductances(membrix::EnsembleModel::ConductanceBased);
  ok = SaveWindow(w, target, "ensemble_conductances.png") && ok;
  s.ensemble.t_end = 120.0;
  s.ensemble.Nrate = 240;
  s.ensemble.MeshGauss = 400;
  s.synapse.gGABA = 2.0;
  w.ShowInputs();
  w.RunNet(true);
  ok = SaveWindow(w, target, "ensemble_network.png") && ok;
  if (synapse != nullptr) ok = SaveWindow(*synapse, target, "synapse_window.png") && ok;
  return ok ? 0 : 1;
}

int TakeActInactScreenshot(Workbench& wb, const QString& file) {
  wb.Show();
  Settle();
  membrix::MainWindow& form1 = wb.mainWindow();
  form1.findChild<QAction*>(QStringLiteral("'Act_Inact.id'"))->trigger();
  form1.findChild<QAction*>(QStringLiteral("Act/Inact"))->trigger();
  auto* w = form1.findChild<membrix::ActInactWindow*>(QStringLiteral("Form2"));
  w->resize(1400, 820);
  QEventLoop wait;
  QObject::connect(w, &membrix::ActInactWindow::peaksFinished, &wait, &QEventLoop::quit);
  w->findChild<QPushButton*>(QStringLiteral("Button3"))->click();
  wait.exec();
  for (const char* button : {"Button1", "Button2", "Button5"}) {
    w->findChild<QPushButton*>(QString::fromUtf8(button))->click();
  }
  Settle();
  const bool ok = w->grab().save(file);
  std::printf("membrix: saved %s\n", qPrintable(file));
  return ok ? 0 : 1;
}

// The squid axon under a 300 pA pulse of 95 ms, recorded by the program at
// gNa = 120 and fitted from gNa = 96, where the simplex stops in a local
// minimum near 99.
int TakeFitScreenshots(Workbench& wb, const QString& folder) {
  QTemporaryDir work;
  if (!QDir().mkpath(folder) || !work.isValid()) {
    std::fprintf(stderr, "membrix: cannot create %s\n", qPrintable(folder));
    return 1;
  }
  auto dialogs = std::make_unique<ScreenshotDialogs>();
  ScreenshotDialogs* script = dialogs.get();
  wb.SetDialogs(std::move(dialogs));
  wb.Show();
  Settle();
  membrix::MainWindow& form1 = wb.mainWindow();
  const auto write = [&](const char* name, const QByteArray& text) {
    QFile f(QDir(work.path()).filePath(QString::fromUtf8(name)));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
  };
  QByteArray id =
      "CommonParametersFromFile\nNSmpls := 1;\nNP0.HH_type := 'Rariza';\nNP0.HH_order := '1-point';\n"
      "t_end := 0.1;\nIind := 300;  t_IindShift := 0.002;  t_Iind := 0.095;\nMembrixPhysParameters\n"
      "NP0.If_I_V_or_g := 2;\nKeepParams=0\nParametersFromFile\nSmplFile[Smpl] := 'squid_1.dat';\nend.\n";
  bool ok = write("squid.id", id) && write("squid_1.dat", "0 0\n");
  script->file = QDir(work.path()).filePath(QStringLiteral("squid.id"));
  form1.findChild<QAction*>(QStringLiteral("Open *.id file"))->trigger();
  form1.findChild<QPushButton*>(QStringLiteral("RunClamp"))->click();
  const Session& s = wb.session();
  QByteArray recording;
  for (int n = 1; n <= s.run.nt; ++n) {
    recording += QByteArray::number(n * s.run.dt * 1000.0, 'f', 5) + ' ' +
                 QByteArray::number(s.ModelData(n, 1), 'e', 17) + '\n';
  }
  id.replace("NP0.If_I_V_or_g := 2;\n", "NP0.If_I_V_or_g := 2;\nNP0.gNa := 96;\n");
  ok = write("squid_1.dat", recording) && write("squid.id", id) && ok;
  form1.findChild<QAction*>(QStringLiteral("Open *.id file"))->trigger();

  form1.findChild<QAction*>(QStringLiteral("FittingOptions"))->trigger();
  auto* d = form1.findChild<membrix::FitDialog*>(QStringLiteral("FitDialog"));
  auto* table = d->findChild<QTableWidget*>(QStringLiteral("FitParameters"));
  for (int row = 0; row < table->rowCount(); ++row) {
    table->item(row, 0)->setCheckState(row == membrix::FindFitSlot("gNa") ? Qt::Checked : Qt::Unchecked);
  }
  d->findChild<QComboBox*>(QStringLiteral("FitMethod"))->setCurrentIndex(1);
  auto* pages = form1.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  d->findChild<QPushButton*>(QStringLiteral("FitStart"))->click();
  table->scrollToItem(table->item(membrix::FindFitSlot("gNa"), 0), QAbstractItemView::PositionAtCenter);
  d->move(form1.geometry().right() - d->width(), form1.geometry().top());
  ok = SaveWindow(*d, folder, "fit_dialog.png") && ok;
  pages->setCurrentIndex(2);
  ok = SaveWindow(form1, folder, "main_window_fit.png") && ok;
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s\n", membrix::ProgramTitle());
      return 0;
    }
  }
  int drawCostSteps = 0;
  QString screenshots;
  bool screenOnly = false;
  QString analysisScreenshots;
  QString mapScreenshots;
  QString fiberScreenshots;
  QString actInactShot;
  QString ensembleScreenshots;
  QString fitShots;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--screenshots=", 14) == 0) screenshots = QString::fromLocal8Bit(argv[i] + 14);
    if (std::strcmp(argv[i], "--screen-only") == 0) screenOnly = true;
    if (std::strncmp(argv[i], "--map-screenshots=", 18) == 0) mapScreenshots = QString::fromLocal8Bit(argv[i] + 18);
    if (std::strncmp(argv[i], "--fiber-screenshots=", 20) == 0) {
      fiberScreenshots = QString::fromLocal8Bit(argv[i] + 20);
    }
    if (std::strncmp(argv[i], "--analysis-screenshots=", 23) == 0) {
      analysisScreenshots = QString::fromLocal8Bit(argv[i] + 23);
    }
    if (std::strncmp(argv[i], "--ensemble-screenshots=", 23) == 0) {
      ensembleScreenshots = QString::fromLocal8Bit(argv[i] + 23);
    }
    if (std::strncmp(argv[i], "--fit-screenshots=", 18) == 0) fitShots = QString::fromLocal8Bit(argv[i] + 18);
    if (std::strncmp(argv[i], "--act-inact-screenshot=", 23) == 0) {
      actInactShot = QString::fromLocal8Bit(argv[i] + 23);
    }
    if (std::strncmp(argv[i], "--draw-cost", 11) == 0) {
      drawCostSteps = 1000000;
      if (argv[i][11] == '=') drawCostSteps = std::atoi(argv[i] + 12);
      if (drawCostSteps <= 0) {
        std::fprintf(stderr, "membrix: --draw-cost=STEPS needs a positive number of steps\n");
        return 2;
      }
    }
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Membrix"));
  QApplication::setApplicationVersion(QStringLiteral("21.1"));

  membrix::Workbench workbench;
  if (drawCostSteps > 0) return MeasureDrawCost(workbench, drawCostSteps);
  if (!screenshots.isEmpty()) return TakeScreenshots(workbench, screenshots, screenOnly);
  if (!analysisScreenshots.isEmpty()) return TakeAnalysisScreenshots(workbench, analysisScreenshots);
  if (!mapScreenshots.isEmpty()) return TakeMapScreenshots(workbench, mapScreenshots);
  if (!fiberScreenshots.isEmpty()) return TakeFiberScreenshots(workbench, fiberScreenshots);
  if (!actInactShot.isEmpty()) return TakeActInactScreenshot(workbench, actInactShot);
  if (!ensembleScreenshots.isEmpty()) return TakeEnsembleScreenshots(workbench, ensembleScreenshots);
  if (!fitShots.isEmpty()) return TakeFitScreenshots(workbench, fitShots);
  workbench.Show();
  return QApplication::exec();
}
