// The desktop workbench: one process, one interface thread, the main window
// first. `membrix --help` and `membrix --version` answer without a display.
//
// A hidden option measures what drawing costs a long clamp run:
//   membrix --draw-cost[=STEPS]
// runs the start-up protocol for STEPS steps (default 1000000) without drawing,
// with drawing, and without drawing again, and prints the times, their ratio
// and the longest time the windows waited for their events.
//   membrix --pictures=NAME [--picture-folder=FOLDER]
// takes pictures of the windows after real runs of their tasks into FOLDER
// (default: the current folder): NAME "tour" takes every window of the
// workbench, another name one scene of the help pages (see picture_tour.h).

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/picture_tour.h"
#include "common/version.h"
#include "run/clamp_run.h"
#include "run/run_globals.h"
#include "run/run_view_sink.h"
#include "run/session.h"
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
  std::printf("draw cost: %lld steps of the start-up protocol (%s, dt = %g ms, drawing every %d steps)\n",
              static_cast<long long>(s.run.nt_end), s.NP0.HH_type.c_str(), s.run.dt * 1000.0, s.run.n_Draw);
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

constexpr const char* kUsage =
    "Usage: membrix [Qt options]\n"
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
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n"
    "  Qt's own options (-platform offscreen, -style ...) are passed to Qt.\n";

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
  QString pictures;
  QString pictureFolder = QStringLiteral(".");
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--pictures=", 11) == 0) pictures = QString::fromLocal8Bit(argv[i] + 11);
    if (std::strncmp(argv[i], "--picture-folder=", 17) == 0) {
      pictureFolder = QString::fromLocal8Bit(argv[i] + 17);
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

  if (!pictures.isEmpty()) return membrix::TakePictures(pictures, pictureFolder);
  membrix::Workbench workbench;
  if (drawCostSteps > 0) return MeasureDrawCost(workbench, drawCostSteps);
  workbench.Show();
  return QApplication::exec();
}
