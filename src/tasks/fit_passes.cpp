#include "tasks/fit_passes.h"

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "data/fit_table.h"
#include "data/global_fit.h"
#include "data/simplex.h"
#include "run/host.h"
#include "tasks/task_declaration.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {

namespace {

class PassLimitHost final : public Host {
 public:
  explicit PassLimitHost(Host& inner) : inner_(inner) {}
  bool StopRequested() const override { return inner_.StopRequested() || passLimitReached; }
  bool Confirm(const std::string& question) override { return inner_.Confirm(question); }
  bool passLimitReached = false;

 private:
  Host& inner_;
};

// One line per pass: its number, the evaluations so far, the lowest value and
// the vertex that has it.
class PassPrinter final : public FitProgress {
 public:
  PassPrinter(const FitTable& fit, PassLimitHost& host, int maxPasses, FitProgress* watcher)
      : fit_(fit), host_(host), maxPasses_(maxPasses), watcher_(watcher) {}
  void Pass(const SimplexPass& pass, const std::string& line) override {
    if (watcher_ != nullptr) watcher_->Pass(pass, line);
    std::ostream& out = *FitPassLines().out;
    if (pass.nmaxExceeded) out << "NMAX exceeded\n";
    char head[80];
    std::snprintf(head, sizeof head, "pass %4d  nfunk=%5d  residual %.6e ", pass.pass, pass.nfunk, pass.best);
    out << head;
    for (std::size_t k = 0; k < pass.bestVertex.size(); ++k) {
      out << " " << FitParameterAt(fit_, static_cast<int>(k) + 1).field << "=" << PlainNumber(pass.bestVertex[k]);
    }
    out << std::endl;  // a log that is watched shows every pass at once
    if (maxPasses_ > 0 && pass.pass >= maxPasses_) host_.passLimitReached = true;
  }
  void Status(const FitStatus& status) override {
    if (watcher_ != nullptr) watcher_->Status(status);
    // The global methods: on a terminal one line that is rewritten; in a log
    // a line at every change of stage and every 25th evaluation.
    const FitPassOutput where = FitPassLines();
    const std::string line = FitStatusLine(fit_, status);
    if (where.terminal) {
      *where.out << "\r" << line << "\x1b[K" << std::flush;
      open_ = true;
    } else if (status.stage != stage_ || status.evaluations - printed_ >= 25) {
      *where.out << line << std::endl;
      printed_ = status.evaluations;
    }
    stage_ = status.stage;
  }
  // Ends a rewritten line.
  void Finish() {
    if (open_) *FitPassLines().out << std::endl;
    open_ = false;
  }

 private:
  const FitTable& fit_;
  PassLimitHost& host_;
  int maxPasses_;
  FitProgress* watcher_;
  bool open_ = false;
  std::string stage_;
  int printed_ = 0;
};

}  // namespace

FitPassOutput& FitPassLines() {
  static FitPassOutput where{&std::cout, isatty(STDOUT_FILENO) == 1};
  return where;
}

PrintedFit RunPrintedFit(Session& s, Host& host, int maxPasses, const FitSolver& solve, FitProgress* watcher) {
  PassLimitHost limited(host);
  PassPrinter printer(s.fit, limited, maxPasses, watcher);
  NullRunViewSink views;
  PrintedFit fit;
  solve(s, limited, views, printer);
  printer.Finish();
  fit.stopped = host.StopRequested();
  fit.passLimitReached = limited.passLimitReached;
  return fit;
}

std::string FitDoneText(const nlohmann::ordered_json& r) {
  const int evaluations = r.value("evaluations", 0);
  const int passes = r.value("passes", 0);
  const std::string method = r.value("method", std::string("simplex"));
  if (method == "simplex") {
    const int atStart = static_cast<int>(r.value("parameters", nlohmann::ordered_json::object()).size()) + 1;
    return std::to_string(passes) + " passes, " + std::to_string(evaluations - atStart) + " evaluations (and " +
           std::to_string(atStart) + " at the start)";
  }
  std::string done = std::to_string(evaluations) + " evaluations";
  if (method == "multistart") done += " in " + std::to_string(passes) + " starts";
  return done;
}

std::vector<std::string> SplitNames(const std::vector<std::string>& given) {
  std::vector<std::string> names;
  for (const std::string& item : given) {
    std::size_t start = 0;
    while (start <= item.size()) {
      const std::size_t comma = std::min(item.find(',', start), item.size());
      if (comma > start) names.push_back(item.substr(start, comma - start));
      start = comma + 1;
    }
  }
  return names;
}

}  // namespace membrix
