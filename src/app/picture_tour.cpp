#include "app/picture_tour.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "analysis/firing_clamp_analysis.h"
#include "analysis/statistics.h"
#include "analysis/us_map.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/host.h"
#include "run/run_globals.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "ui/chart.h"
#include "ui/curve_window.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/numeric_input.h"
#include "ui/parameter_window.h"
#include "ui/windows/act_inact_window.h"
#include "ui/windows/adaptation_window.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/data_tools.h"
#include "ui/windows/ensemble_window.h"
#include "ui/windows/fi_window.h"
#include "ui/windows/fiber_input_window.h"
#include "ui/windows/fiber_view_window.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/windows/fit_dialog.h"
#include "ui/windows/ion_dynamics_window.h"
#include "ui/windows/ramp_analyzer_window.h"
#include "ui/windows/reverse_problem_window.h"
#include "ui/windows/statistics_window.h"
#include "ui/windows/step_series_window.h"
#include "ui/windows/stimulus_preview_window.h"
#include "ui/windows/threshold_window.h"
#include "ui/windows/us_map_window.h"
#include "ui/windows/z_function_window.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

// Lets the windows lay themselves out and paint.
void Settle() {
  for (int i = 0; i < 25; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(20);
  }
}

// The dialogs of the pictures: the file a shot asks to open, no to every question.
class PictureDialogs final : public UserDialogs {
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

// What the shots of a scene share: its workbench, its dialogs, its folder.
struct Stage {
  Workbench& wb;
  PictureDialogs& dialogs;
  QString work;  // the scene's temporary current folder

  Session& s() { return wb.session(); }
  TaskInputs& in() { return wb.inputs(); }
  MainWindow& form1() { return wb.mainWindow(); }
  AnalysisWindows& windows() { return form1().analysisWindows(); }
  QTabWidget* pages(QWidget* w) { return w->findChild<QTabWidget*>(QStringLiteral("PageControl1")); }
  void Click(QWidget* owner, const char* button) {
    owner->findChild<QPushButton*>(QString::fromUtf8(button))->click();
    Settle();
  }
  void Trigger(const char* item) { form1().findChild<QAction*>(QString::fromUtf8(item))->trigger(); }
  void RunClamp() { Click(&form1(), "RunClamp"); }
  QWidget* MainPage(int page) {
    pages(&form1())->setCurrentIndex(page);
    return &form1();
  }
  QString Sample(const char* file) const { return QDir(wb.SamplesFolder()).filePath(QString::fromUtf8(file)); }
  bool Write(const char* name, const QByteArray& text) const {
    QFile f(QDir(work).filePath(QString::fromUtf8(name)));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
  }
};

// One picture: prepare returns the window to picture once its run is done
// (nullptr when the preparation failed).
struct Shot {
  const char* file;
  std::function<QWidget*(Stage&)> prepare;
};

// The parameter window showing its page `page`.
std::function<QWidget*(Stage&)> ParameterPage(int page) {
  return [page](Stage& t) {
    t.pages(&t.wb.parameterWindow())->setCurrentIndex(page);
    return &t.wb.parameterWindow();
  };
}

struct Scene {
  const char* name;
  bool inTour;
  std::vector<Shot> shots;
};

// The firing clamp of the maps: the rate held at 40 Hz by u under noisy
// conductances.
void SetUpFiringClamp(Session& s, TaskInputs& in) {
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
  in.firingClamp.Mode = 1;
  s.resetInputs.Reset = ResetProtocol::None;
  SetRunLength(s.run, 1.5);
}

// The start-up neuron's map over its tonic-firing inputs, with F the rate and
// G the mean voltage of the interval, written where the analysis reads it.
void MapTonicInputs(Session& s, TaskInputs& in) {
  in.usMap.nue = 7;
  in.usMap.nse = 7;
  in.usMap.u_min = 3.0;
  in.usMap.u_max = 6.5;
  in.usMap.s_min = 0.05;
  in.usMap.s_max = 0.4;
  in.usMap.t_end = 600;
  in.firingClamp.FunctionG = 1;
  class Quiet final : public USMapSink {
    void Point(const USMapPoint&) override {}
  } quiet;
  BatchHost host;
  MapUS(s, in.usMap, in.fiber, host, quiet, MapGrid::US, kUSMapFile);
}

// The noisy input the analysis inverts: a mean input inside the map.
void SetUpNoisyInput(Session& s, TaskInputs& in, double noise) {
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  s.stim.uu = 0.005;
  s.stim.ss = 0.2;
  s.prog.tau_E = s.prog.tau_I = 0.0;
  s.prog.NoiseToSignal = noise;
  s.stim.tau_Noise = 0.002;
  in.firingClamp.Mode = -1;
}

const std::vector<Scene>& Scenes() {
  static const std::vector<Scene> scenes = {
      // The main window's six pages after a run of the start-up protocol, the
      // output list of "Save any curve", the model against a recording, one
      // variable drawn in a window of its own, the parameter window's pages.
      {"main",
       true,
       {{"main_window.png",
         [](Stage& t) {
           t.RunClamp();
           return t.MainPage(0);
         }},
        {"main_window_conductances.png", [](Stage& t) { return t.MainPage(1); }},
        {"main_window_model.png", [](Stage& t) { return t.MainPage(2); }},
        {"main_window_notes.png", [](Stage& t) { return t.MainPage(3); }},
        {"main_window_firing_clamp.png", [](Stage& t) { return t.MainPage(4); }},
        {"main_window_var_to_write.png",
         [](Stage& t) {
           t.MainPage(0);
           t.Click(&t.form1(), "Save any curve");
           return &t.form1();
         }},
        {"main_window_phase_plane.png",
         [](Stage& t) {
           t.form1().findChild<QWidget*>(QStringLiteral("RadioGroup1"))->hide();
           t.MainPage(5);  // the phase plane is drawn while its page is shown
           t.RunClamp();
           return &t.form1();
         }},
        {"curve_window.png",
         [](Stage& t) -> QWidget* {
           t.MainPage(0);
           t.Click(&t.form1(), "Draw any curve");
           auto* items = t.form1().findChild<QButtonGroup*>(QStringLiteral("RadioGroup1Items"));
           if (items == nullptr || items->buttons().size() <= 5) return nullptr;
           items->buttons()[5]->click();  // "nn", the potassium activation
           Settle();
           return &t.wb.curveWindow();
         }},
        // The Help item: the project's own help page of the workbench.
        {"help_window.png",
         [](Stage& t) -> QWidget* {
           t.Trigger("Help1");
           Settle();
           for (QWidget* w : QApplication::topLevelWidgets()) {
             if (auto* help = qobject_cast<HelpWindow*>(w); help != nullptr && help->isVisible()) return help;
           }
           return t.form1().findChild<HelpWindow*>();
         }},
        {"parameter_window.png", ParameterPage(0)},
        {"parameter_window_simple_models.png", ParameterPage(1)},
        {"parameter_window_other.png", ParameterPage(2)},
        {"parameter_window_ions.png", ParameterPage(3)},
        {"parameter_window_pump.png", ParameterPage(4)},
        // A model and its recording: Hodgkin_AP.id, recording 1.
        {"main_window_model_against_recording.png",
         [](Stage& t) {
           t.dialogs.file = t.Sample("Hodgkin_AP.id");
           t.Trigger("Open *.id file");
           t.MainPage(2);
           t.RunClamp();
           return &t.form1();
         }}}},

      // The main window filling the screen it runs on.
      {"screen",
       false,
       {{"main_window_screen.png",
         [](Stage& t) {
           t.RunClamp();
           t.form1().setGeometry(t.form1().screen()->availableGeometry());
           return &t.form1();
         }}}},

      // The whole screen with the windows of a working session open where the
      // program puts them: the main window's menu and run buttons stay clear.
      {"desktop",
       false,
       {{"desktop_screen.png",
         [](Stage& t) {
           for (const char* button : {"f-I -curve", "Rate (ens.)", "Threshold"}) t.Click(&t.form1(), button);
           t.windows().firingClamp().show();
           t.RunClamp();
           return &t.form1();
         }}}},

      // A 0.8 s current step of the start-up neuron with ion dynamics
      // (Bazhenov-Kager pump), run for 1.5 s so that the pump's
      // after-hyperpolarisation shows; then the pump characteristics.
      {"ions",
       true,
       {{"ion_dynamics.png",
         [](Stage& t) {
           IonInputs& in = t.s().ionInputs;
           in.PumpType = 0;
           in.NaK1 = 20.0;  // balances the Na that leaks in at rest
           in.gamma = 0.005;
           t.wb.Correspond();
           t.wb.parameterWindow().findChild<QWidget*>(QStringLiteral("CheckBox2"))->setProperty("checked", true);
           t.s().stim.t_Iind = 0.8;
           SetRunLength(t.s().run, 1.5);
           t.wb.Correspond();
           t.RunClamp();
           IonDynamicsWindow& form19 = t.wb.ionWindow();
           form19.pages()->setCurrentIndex(0);
           // Ki hidden (as a double click on its legend entry does), so that
           // Nai has the axis to itself.
           Chart* concentrations = form19.RunCharts()[1];
           concentrations->SetSeriesVisible(concentrations->FindSeries(QStringLiteral("Ki")), false);
           concentrations->Refresh();
           return &form19;
         }},
        {"ion_dynamics_voltage.png", [](Stage& t) { return t.MainPage(0); }},
        {"ion_pump_characteristics.png",
         [](Stage& t) {
           t.pages(&t.wb.parameterWindow())->setCurrentIndex(4);
           t.s().ionInputs.NaK2 = 10.0;  // the second isoform, of lower Na affinity
           t.wb.Correspond();
           t.Click(&t.wb.parameterWindow(), "NaK-pump plots");
           return &t.wb.ionWindow();
         }},
        {"parameter_window_nak_pump.png", [](Stage& t) { return &t.wb.parameterWindow(); }}}},

      // The f-I curve, adaptation and thresholds of a sweep each, and the
      // statistics of a noisy rate.
      {"analysis",
       true,
       {{"adaptation_window.png",
         [](Stage& t) {
           AdaptationWindow& w = t.windows().adaptation();
           w.show();
           w.Start();
           return &w;
         }},
        {"threshold_window.png",
         [](Stage& t) {
           ThresholdWindow& w = t.windows().threshold();
           w.show();
           w.Start();
           return &w;
         }},
        // The squid axon: the f-I curve with its abrupt onset, over 20 currents.
        {"fi_window.png",
         [](Stage& t) {
           SelectModelFamily(t.s(), "Rariza");
           SetRunLength(t.s().run, 0.6);
           SetTimeStep(t.s().run, 5e-5);
           t.in().fi.Estimator = FIEstimator::ReverseLastISI;
           t.in().fi.StepIind = 20.0;
           t.wb.Correspond();
           FIWindow& w = t.windows().fi();
           w.show();
           w.ShowInputs();
           w.Start();
           return &w;
         }},
        // A noisy rate around 40 Hz (an Ornstein-Uhlenbeck process with a 5 ms
        // correlation time), as a population run would pass it.
        {"statistics_window.png",
         [](Stage& t) {
           Session& s = t.s();
           t.windows().SetStatisticsShown(true);
           StatisticsWindow& stats = t.windows().statistics();
           s.statistics.inputs.nt_corr = 400;
           stats.ShowInputs();
           s.run.dt = 5e-5;
           s.run.n_Draw = 100;
           double rate = 40.0;
           const double tau = 0.005;
           for (s.run.nt = 1; s.run.nt <= 40000; ++s.run.nt) {
             rate += (40.0 - rate) * s.run.dt / tau +
                     15.0 * std::sqrt(2.0 * s.run.dt / tau) * s.random.Normal(0.0, 1.0);
             AddSample(s, s.statistics, rate, stats, t.wb);
           }
           return &stats;
         }}}},

      // The (u,s) map of the start-up neuron on an 11 x 6 grid, then a
      // firing-clamp run whose adaptation estimate the map window draws.
      {"map",
       true,
       {{"firing_clamp_window.png",
         [](Stage& t) {
           t.in().usMap.nue = 10;
           t.in().usMap.nse = 5;
           t.windows().ShowUSMap();
           t.windows().usMap().ShowInputs();
           t.windows().usMap().Plot(MapGrid::US);
           SetUpFiringClamp(t.s(), t.in());
           t.wb.Correspond();
           t.windows().ShowFiringClamp();
           t.windows().firingClamp().Run(100000);
           return &t.windows().firingClamp();
         }},
        {"us_map_window.png",
         [](Stage& t) {
           t.windows().usMap().show();
           return &t.windows().usMap();
         }},
        {"firing_clamp_main_window.png", [](Stage& t) { return &t.form1(); }}}},

      // The records of a firing-clamp run inverted against the maps of F and
      // G, and the Z-function window's one-ISI analysis of a noisy run.
      {"kernel",
       true,
       {{"firing_clamp_analysis.png",
         [](Stage& t) {
           Session& s = t.s();
           MapTonicInputs(s, t.in());
           FiringClampWindow& w = t.windows().firingClamp();
           w.show();
           w.resize(1500, 820);
           t.Click(&w, "Button1");  // "CheckFiringClamp": the map's own points inverted
           SetUpNoisyInput(s, t.in(), 0.05);
           SetRunLength(s.run, 0.6);
           w.Run(100000);
           t.Click(&w, "Button3");  // "Analyze" the run's records
           return &w;
         }},
        {"z_function_window.png",
         [](Stage& t) {
           Session& s = t.s();
           // The kernel of a noisy firing-clamp run: the window's " Kernel "
           // box makes the run accumulate it.
           t.form1().findChild<QCheckBox*>(QStringLiteral("CheckBox2"))->setChecked(true);
           SetUpNoisyInput(s, t.in(), 0.1);
           SetRunLength(s.run, 2.0);
           t.windows().firingClamp().Run(100000);
           ZFunctionWindow& z = t.windows().zFunction();
           z.DrawZ();
           // "Analyse one ISI": noisy five-spike runs under the voltage reset
           // the workbench starts with, each last interval against the orbit
           // at its estimate, inverted against a map of the fifth interval
           // after rest made under the same reset.
           s.resetInputs.Reset = ResetProtocol::ResetVoltage;
           t.in().usMap.MaxSpikes = 5;
           MapTonicInputs(s, t.in());
           SetUpNoisyInput(s, t.in(), 0.03);
           SetRunLength(s.run, 0.3);
           z.findChild<NumericInput*>(QStringLiteral("DDSpinEdit1"))->setValue(4);
           z.AnalyseOneISI();
           z.resize(1300, 760);
           return &z;
         }}}},

      // The axon the workbench starts with (3 mm, 200 segments, a step at its
      // left end) on the squid membrane: the spike on its way, the time
      // courses at its ends, the densities.
      {"fiber",
       true,
       {{"fiber_view_window.png",
         [](Stage& t) -> QWidget* {
           Session& s = t.s();
           SelectModelFamily(s, "Rariza");
           s.NP0.If_I_V_or_g = 2;
           SetTimeStep(s.run, 2e-5);
           SetRunLength(s.run, 0.006);
           t.wb.Correspond();
           if (!t.windows().RunAxon()) return nullptr;
           return &t.windows().fiberView();
         }},
        {"fiber_input_window.png", [](Stage& t) { return &t.windows().fiberInput(); }},
        {"fiber_distribution.png",
         [](Stage& t) {
           t.windows().fiberView().pages()->setCurrentIndex(4);
           t.windows().fiberView().Refresh();
           return &t.windows().fiberView();
         }}}},

      // The ensembles of the squid axon: noise, dispersed thresholds, Gaussian
      // conductances and the inhibitory network, and the network's synapse.
      {"ensemble",
       true,
       {{"ensemble_noise.png",
         [](Stage& t) {
           SelectModelFamily(t.s(), "Rariza");
           t.in().ensemble.MeshGauss = 400;
           t.wb.Correspond();
           EnsembleWindow& w = ShowEnsembleWindow(t.wb, &t.form1());
           w.ShowInputs();
           w.RunNoise(EnsembleModel::ConductanceBased);
           return &w;
         }},
        {"ensemble_thresholds.png",
         [](Stage& t) {
           EnsembleWindow& w = ShowEnsembleWindow(t.wb, &t.form1());
           t.in().ensemble.ThrRenewal = true;
           w.ShowInputs();
           w.RunThresholds(EnsembleModel::ConductanceBased);
           return &w;
         }},
        {"ensemble_conductances.png",
         [](Stage& t) {
           EnsembleWindow& w = ShowEnsembleWindow(t.wb, &t.form1());
           EnsembleInputs& e = t.in().ensemble;
           e.ThrRenewal = false;
           e.Ampl_gE = 0.03;
           e.t_end = 20.0;
           e.Nrate = 40;
           e.MeshG = 20;
           w.ShowInputs();
           w.RunConductances(EnsembleModel::ConductanceBased);
           return &w;
         }},
        {"ensemble_network.png",
         [](Stage& t) {
           EnsembleWindow& w = ShowEnsembleWindow(t.wb, &t.form1());
           EnsembleInputs& e = t.in().ensemble;
           e.t_end = 120.0;
           e.Nrate = 240;
           e.MeshGauss = 400;
           t.in().synapse.gGABA = 2.0;
           w.ShowInputs();
           // The noisy network, as its box says.
           w.findChild<QCheckBox*>(QStringLiteral("NetWhiteNoise"))->setChecked(true);
           w.RunNet(true);
           return &w;
         }},
        {"synapse_window.png",
         [](Stage& t) { return t.form1().findChild<QWidget*>(QStringLiteral("Form15")); }}}},

      // The Act/Inact window on the shipped sample "Act_Inact.id": the peaks
      // of its 41 protocols, normalised, the steady state and the rates.
      {"act-inact",
       true,
       {{"act_inact_window.png",
         [](Stage& t) {
           t.Trigger("'Act_Inact.id'");
           t.Trigger("Act/Inact");
           auto* w = t.form1().findChild<ActInactWindow*>(QStringLiteral("Form2"));
           w->resize(1400, 820);
           QEventLoop wait;
           QObject::connect(w, &ActInactWindow::peaksFinished, &wait, &QEventLoop::quit);
           w->findChild<QPushButton*>(QStringLiteral("Button3"))->click();
           wait.exec();
           for (const char* button : {"Button1", "Button2", "Button5"}) t.Click(w, button);
           return w;
         }}}},

      // The squid axon under a 300 pA pulse of 95 ms, recorded by the program
      // at gNa = 120 and fitted from gNa = 96 by the global method.
      {"fit",
       true,
       {{"fit_dialog.png",
         [](Stage& t) -> QWidget* {
           QByteArray id =
               "CommonParametersFromFile\nNSmpls := 1;\nNP0.HH_type := 'Rariza';\nNP0.HH_order := '1-point';\n"
               "t_end := 0.1;\nIind := 300;  t_IindShift := 0.002;  t_Iind := 0.095;\nMembrixPhysParameters\n"
               "NP0.If_I_V_or_g := 2;\nKeepParams=0\nParametersFromFile\nSmplFile[Smpl] := 'squid_1.dat';\nend.\n";
           if (!t.Write("squid.id", id) || !t.Write("squid_1.dat", "0 0\n")) return nullptr;
           t.dialogs.file = QDir(t.work).filePath(QStringLiteral("squid.id"));
           t.Trigger("Open *.id file");
           t.RunClamp();
           const Session& s = t.s();
           QByteArray recording;
           for (int n = 1; n <= s.run.nt; ++n) {
             recording += QByteArray::number(n * s.run.dt * 1000.0, 'f', 5) + ' ' +
                          QByteArray::number(s.ModelData(n, 1), 'e', 17) + '\n';
           }
           id.replace("NP0.If_I_V_or_g := 2;\n", "NP0.If_I_V_or_g := 2;\nNP0.gNa := 96;\n");
           if (!t.Write("squid_1.dat", recording) || !t.Write("squid.id", id)) return nullptr;
           t.Trigger("Open *.id file");
           t.Trigger("FittingOptions");
           auto* d = t.form1().findChild<FitDialog*>(QStringLiteral("FitDialog"));
           auto* table = d->findChild<QTableWidget*>(QStringLiteral("FitParameters"));
           for (int row = 0; row < table->rowCount(); ++row) {
             table->item(row, 0)->setCheckState(row == FindFitSlot("gNa") ? Qt::Checked : Qt::Unchecked);
           }
           d->findChild<QComboBox*>(QStringLiteral("FitMethod"))->setCurrentIndex(1);
           d->findChild<QPushButton*>(QStringLiteral("FitStart"))->click();
           table->scrollToItem(table->item(FindFitSlot("gNa"), 0), QAbstractItemView::PositionAtCenter);
           d->move(t.form1().geometry().right() - d->width(), t.form1().geometry().top());
           return d;
         }},
        {"main_window_fit.png", [](Stage& t) { return t.MainPage(2); }}}},

      // The potassium sample fitted (the button pressed twice: the second
      // simplex starts from the first one's result), and the sodium formulas.
      {"reverse",
       true,
       {{"reverse_problem_window.png",
         [](Stage& t) -> QWidget* {
           LoadParameterFile(t.s(), t.Sample("HH_K_steps.id").toStdString());
           t.Click(&t.form1(), "HH approx.");
           auto* reverse = t.form1().findChild<ReverseProblemWindow*>();
           if (reverse == nullptr) return nullptr;
           reverse->findChild<QRadioButton*>(QStringLiteral("RadioK"))->click();
           for (int i = 0; i < 2; ++i) t.Click(reverse, "Solve reverse problem");
           reverse->findChild<QSpinBox*>(QStringLiteral("SpinEdit1"))->setValue(6);
           return reverse;
         }},
        {"reverse_problem_formulas.png",
         [](Stage& t) {
           auto* reverse = t.form1().findChild<ReverseProblemWindow*>();
           t.pages(reverse)->setCurrentIndex(3);
           return reverse;
         }}}},

      // The tools of recorded data: the ramp analyzer on the shipped sweeps,
      // the voltage-step series of the start-up model, a current ramp previewed.
      {"data",
       true,
       {{"ramp_analyzer.png",
         [](Stage& t) {
           t.Click(&t.form1(), "ramps/steps");
           RampAnalyzerWindow& w = RampAnalyzer(t.wb);
           w.resize(QSize(1280, 860).boundedTo(w.screen()->availableGeometry().size()));
           t.Click(&w, "AllSamples");
           return &w;
         }},
        {"step_series.png",
         [](Stage& t) {
           StepSeriesWindow& w = StepSeries(t.wb);
           w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit1"))->setValue(8);
           w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit3"))->setValue(20);
           t.Click(&w, "Button1");
           return &w;
         }},
        {"ramp_in_cc.png",
         [](Stage& t) {
           t.Trigger("Ramp in CC");
           StimulusPreviewWindow& w = StimulusPreview(t.wb);
           t.s().stim.Iind = 100.0;
           t.s().stim.t_IindShift = 0.1;
           t.s().stim.t_Iind = 0.3;
           t.wb.Correspond();
           w.findChild<QRadioButton*>(QStringLiteral("RadioGroup1Item1"))->click();
           t.Click(&w, "Re-calculate");
           return &w;
         }}}},
  };
  return scenes;
}

bool SavePicture(QWidget& w, const QString& folder, const QString& file) {
  w.show();
  w.raise();
  Settle();
  const QString path = QDir(folder).filePath(file);
  const bool ok = w.grab().save(path, "PNG", 0);  // the smallest file
  std::printf("membrix: %s %s\n", ok ? "saved" : "could not save", qPrintable(path));
  return ok;
}

bool TakeScene(const Scene& scene, const QString& folder, const QString& project) {
  QTemporaryDir work;
  if (!work.isValid()) return false;
  QDir::setCurrent(work.path());
  auto dialogs = std::make_unique<PictureDialogs>();
  PictureDialogs* script = dialogs.get();
  Workbench wb;
  wb.SetDialogs(std::move(dialogs));
  wb.SetProjectFolder(project);
  wb.SetLayoutFile({});  // the program's own layout, whatever the user made of it
  wb.Show();
  Settle();
  Stage stage{wb, *script, work.path()};
  bool ok = true;
  for (const Shot& shot : scene.shots) {
    QWidget* w = shot.prepare(stage);
    QString file = QString::fromUtf8(shot.file);
    if (file == QLatin1String("main_window_screen.png") && w != nullptr) {
      const QSize room = w->screen()->availableGeometry().size();
      file = QStringLiteral("main_window_%1x%2.png").arg(room.width()).arg(room.height());
    }
    if (w == nullptr) {
      std::fprintf(stderr, "membrix: %s: the window could not be prepared\n", qPrintable(file));
      ok = false;
      continue;
    }
    if (file == QLatin1String("desktop_screen.png")) {
      // The screen as it is, every window in its place.
      Settle();
      QScreen* screen = w->screen();
      const QSize room = screen->size();
      const QString path =
          QDir(folder).filePath(QStringLiteral("desktop_%1x%2.png").arg(room.width()).arg(room.height()));
      const bool saved = screen->grabWindow(0).save(path, "PNG", 0);
      std::printf("membrix: %s %s\n", saved ? "saved" : "could not save", qPrintable(path));
      ok = saved && ok;
      continue;
    }
    ok = SavePicture(*w, folder, file) && ok;
  }
  QDir::setCurrent(project);
  return ok;
}

}  // namespace

QStringList PictureScenes() {
  QStringList names = {QStringLiteral("tour")};
  for (const Scene& scene : Scenes()) names << QString::fromUtf8(scene.name);
  return names;
}

int TakePictures(const QString& name, const QString& folder) {
  const bool tour = name == QLatin1String("tour");
  if (!PictureScenes().contains(name)) {
    std::fprintf(stderr, "membrix: no pictures named %s; the names are: %s\n", qPrintable(name),
                 qPrintable(PictureScenes().join(QStringLiteral(", "))));
    return 2;
  }
  const QString project = QDir::currentPath();
  const QString target = QDir(folder).absolutePath();
  if (!QDir().mkpath(target)) {
    std::fprintf(stderr, "membrix: cannot create %s\n", qPrintable(target));
    return 1;
  }
  bool ok = true;
  for (const Scene& scene : Scenes()) {
    if (tour ? scene.inTour : name == QLatin1String(scene.name)) ok = TakeScene(scene, target, project) && ok;
  }
  return ok ? 0 : 1;
}

}  // namespace membrix
