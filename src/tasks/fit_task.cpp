// The fit as a task: chosen model parameters fitted to the recordings of a
// parameter file by the simplex, a global search or the simplex from several
// starts, optionally written as a parameter file.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "data/fit_table.h"
#include "data/global_fit.h"
#include "data/simplex.h"
#include "run/session.h"
#include "tasks/fit_passes.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

const std::vector<std::string> kMethods = {"simplex", "global", "multistart"};

// NAME=LOWER:UPPER into the bounds of the table.
void ApplyBound(FitTable& fit, const NeuronProperties& np, const std::string& text) {
  const std::size_t eq = text.find('=');
  const std::size_t colon = eq == std::string::npos ? std::string::npos : text.find(':', eq);
  if (colon == std::string::npos) {
    throw RangeError("--bound " + text + ": expected NAME=LOWER:UPPER, for example gNa=50:200");
  }
  const std::string name = text.substr(0, eq);
  const int slot = FindFitSlot(FitNameOfChannel(np, name));
  if (slot < 0) throw RangeError("--bound " + text + ": the fit table has no parameter \"" + name + "\"");
  double lower = 0.0, upper = 0.0;
  std::istringstream lo(text.substr(eq + 1, colon - eq - 1)), hi(text.substr(colon + 1));
  if (!(lo >> lower) || !lo.eof() || !(hi >> upper) || !hi.eof() || !std::isfinite(lower) || !std::isfinite(upper) ||
      !(lower < upper)) {
    throw RangeError("--bound " + text + ": LOWER and UPPER must be numbers with LOWER < UPPER");
  }
  fit.FitSlots[slot].FitLower = lower;
  fit.FitSlots[slot].FitUpper = upper;
}

void RunFitTask(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  const std::string idName = v.Given("id") ? v.Text("id") : std::string("the program's start");
  if (v.Given("out")) {
    // Found out before a long fit, not after it.
    std::error_code ec;
    const auto folder = std::filesystem::absolute(v.Text("out"), ec).parent_path();
    if (!ec && !std::filesystem::is_directory(folder, ec)) {
      throw IoError(v.Text("out"), "its folder " + folder.string() + " does not exist");
    }
  }
  std::vector<std::string> names = SplitNames(v.Texts("fit"));
  for (std::string& name : names) name = FitNameOfChannel(s.NP0, name);
  if (!names.empty()) SelectFitParameters(s.fit, names);
  CollectFitSelection(s.fit);
  for (const std::string& bound : v.Texts("bound")) ApplyBound(s.fit, s.NP0, bound);
  const std::string method = kMethods.at(static_cast<std::size_t>(s.fit.Method));
  const int maxPasses = v.Int("max_passes");
  if (s.fit.Method != FitMethod::Simplex && maxPasses > 0) {
    throw RangeError("--max-passes counts the passes of the simplex; the " + method +
                     " method is limited by --max-evaluations");
  }
  CheckFitRequest(s);
  const std::string inputText = s.rec.IdFileText;  // the file as it was read for the fit

  std::ostream& lines = *FitPassLines().out;
  lines << "fitting";
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    lines << " " << p.field << "=" << PlainNumber(FitValue(s.NP0, p));
  }
  lines << " to " << s.rec.NSmpls << " recording(s) of " << idName << " by the " << method << " method"
        << std::endl;

  FitOutcome outcome;
  const PrintedFit fit =
      RunPrintedFit(s, call.host, maxPasses, [&](Session& session, Host& host, RunViewSink& views, FitProgress& progress) {
        outcome = RunCheckedFit(session, host, views, progress);
      }, call.fitWatcher);
  const std::string how = fit.stopped                                            ? "stopped by a signal"
                          : s.fit.Method != FitMethod::Simplex                   ? std::string(FitEndName(outcome.end))
                          : fit.passLimitReached                                 ? "stopped after --max-passes"
                                                                                 : "converged";
  nlohmann::ordered_json& r = *call.results;
  r["method"] = method;
  r["end"] = how;
  r["passes"] = outcome.passes;
  r["evaluations"] = outcome.evaluations;
  r["residual"] = std::isfinite(outcome.value) ? nlohmann::ordered_json(outcome.value) : nlohmann::ordered_json();
  nlohmann::ordered_json fitted = nlohmann::ordered_json::object();
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    const double value = outcome.x[k - 1];
    fitted[std::string(p.field)] = value;
    // A recording section that sets the parameter, or a model that derives it
    // at rest, overrides the fitted value in every run.
    const double used = FitValue(s.NP0, p);
    if (std::abs(used - value) > 1e-9 * std::max(1.0, std::abs(value))) {
      std::cerr << "membrix-cli: note: the runs replace " << p.field << " (" << PlainNumber(used)
                << " after the last run): a recording section sets it or the model derives it, so the fit "
                   "cannot move it\n";
    }
  }
  r["parameters"] = std::move(fitted);
  if (outcome.flat) {
    r["note"] = FlatFitNote(s);
    std::cerr << "membrix-cli: note: " << FlatFitNote(s) << "\n";
  }
  if (v.Given("out")) {
    const std::string comment = "Fitted by membrix-cli fit --method " + method + " from " + idName + ": " + how +
                                ", residual " + PlainNumber(outcome.value) + " after " + FitDoneText(r);
    WriteFitParameterFile(v.Text("out"), FittedParameterFileText(inputText, s, outcome.x, comment));
    call.written = {"out"};
    // The recordings are named as the fit's file names them: relative names are
    // found from the current folder or next to the file that is read.
    std::error_code ec;
    const auto outDir = std::filesystem::absolute(v.Text("out"), ec).parent_path();
    const auto idDir = std::filesystem::absolute(v.Given("id") ? v.Text("id") : ".", ec).parent_path();
    if (!ec && v.Given("id") && outDir != idDir) {
      std::cerr << "membrix-cli: note: the fitted file names the recordings as " << idName
                << " does; relative recording names are found next to it only when it is in the same folder\n";
    }
  }
  if (fit.stopped) {
    call.complete = false;
    call.done = s.fit.Method == FitMethod::Simplex ? outcome.passes : outcome.evaluations;
    call.total = s.fit.Method == FitMethod::Simplex ? maxPasses : v.Int("max_evaluations");
    call.doneUnit = s.fit.Method == FitMethod::Simplex ? "passes" : "evaluations";
  }
}

TaskDeclaration MakeFitTask() {
  TaskDeclaration t;
  t.name = "fit";
  t.summary =
      "Fit model parameters to the recordings of a parameter file by the downhill simplex (default), a global "
      "search with a local polish, or the simplex from several starts: every evaluation runs each recording 1 ... "
      "NSmpls and adds up the deviations (the global methods run the recordings and starts in parallel). Prints "
      "one line per pass of the simplex, or the progress of the others (on standard error under --json); --out "
      "writes the fitted file: the protocol and recordings of --id with the fitted values.";
  t.onStop =
      "Ctrl+C stops at the next evaluation and still reports the best point; --out then stays under "
      "\"<name>.part\".";
  t.example = "--id Hodgkin_AP.id --fit gNa --max-passes 2";  // the sample file, copied beside the call
  t.inputs = ModelInputs(true);
  std::string items;
  for (const FitParameter& p : FitParameters()) items += (items.empty() ? "" : ", ") + std::string(p.menuItem);
  TaskInput fit = Text("fit",
                       "Parameter to fit, by its Parameters -> Simplex item or its field name (gNa[1] or gNa); may "
                       "be repeated or comma-separated. gNeuroML[k] is the maximal conductance of the model's k-th "
                       "imported channel, also named by the channel's id (gNeuroML[k_squid]). Items: " +
                           items + ". Without --fit the workbench's default marks (the resurgent-Na set) are fitted");
  fit.kind = InputKind::Texts;
  t.inputs.push_back(std::move(fit));
  t.inputs.push_back(OutFile("out", FileKind::WholeResult, "",
                             "Write the fitted values as a parameter file that run --id reads"));
  t.inputs.push_back(BindField(Number("tolerance", Unit::None, Between(0, 1),
                                      "Stop when the highest and lowest values of the simplex agree within this "
                                      "fraction (0: 1e-4)")
                                   .Label("Tolerance="),
                               &Session::fit, &FitTable::Tolerance));
  t.inputs.push_back(Integer("max_passes", AtLeast(0), "Stop after this many passes of the simplex (0: no limit)"));
  t.inputs.push_back(BindField(Choice("method", kMethods,
                                      "simplex: the downhill simplex from the parameters' values; global: a "
                                      "controlled random search of the bounds followed by a local polish; "
                                      "multistart: the simplex from --starts points spread over the bounds, the "
                                      "best kept"),
                               &Session::fit, &FitTable::Method));
  t.inputs.push_back(BindField(Integer("starts", Between(1, 1000),
                                       "Starting points of the multistart, the parameters' values first"),
                               &Session::fit, &FitTable::Starts));
  t.inputs.push_back(BindField(Integer("max_evaluations", Between(0, 100000000),
                                       "global: evaluations of the random search before the polish (0: 50 per "
                                       "parameter, and 50); multistart: evaluations each start may make (0: until "
                                       "it converges)"),
                               &Session::fit, &FitTable::MaxEvaluations));
  TaskInput bound = Text("bound",
                         "NAME=LOWER:UPPER: the range a parameter may take, which the global methods search whole; "
                         "a parameter without one is searched from half to twice its value. May be repeated");
  bound.kind = InputKind::Texts;
  t.inputs.push_back(std::move(bound));
  t.run = RunFitTask;
  return t;
}

}  // namespace

const TaskDeclaration& FitTask() {
  static const TaskDeclaration task = MakeFitTask();
  return task;
}

}  // namespace membrix
