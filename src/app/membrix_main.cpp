// The desktop workbench: one process, one interface thread, the main window
// first.
//
// A hidden option measures what drawing costs a long clamp run:
//   membrix --draw-cost[=STEPS]
// runs the start-up protocol for STEPS steps (default 1000000) without drawing,
// with drawing, and without drawing again, and prints the times, their ratio
// and the longest time the windows waited for their events.
//   membrix --screenshots=FOLDER
// starts up, presses "RunClamp" on the start-up protocol and saves pictures of
// the main window's pages and of the parameter window in FOLDER.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "run/clamp_run.h"
#include "run/run_globals.h"
#include "run/run_view_sink.h"
#include "run/session.h"
#include "params/parameter_file.h"
#include "ui/main_window.h"
#include "ui/windows/reverse_problem_window.h"
#include "ui/parameter_window.h"
#include "ui/run_view_charts.h"
#include "ui/workbench.h"

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

int TakeScreenshots(Workbench& wb, const QString& folder) {
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "membrix: cannot create %s\n", qPrintable(folder));
    return 1;
  }
  wb.Show();
  Settle();
  membrix::MainWindow& form1 = wb.mainWindow();
  form1.findChild<QPushButton*>(QStringLiteral("RunClamp"))->click();
  Settle();
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
  ok = TakeReverseProblemScreenshots(wb, folder) && ok;
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  int drawCostSteps = 0;
  QString screenshots;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--screenshots=", 14) == 0) screenshots = QString::fromLocal8Bit(argv[i] + 14);
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
  if (!screenshots.isEmpty()) return TakeScreenshots(workbench, screenshots);
  workbench.Show();
  return QApplication::exec();
}
