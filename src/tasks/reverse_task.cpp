// The reverse problem as a task: the rate coefficients, the reversal potential
// and the maximal conductance of the sodium or the potassium current fitted to
// the conductance curves of a parameter file, optionally written as a
// parameter file.

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "common/error.h"
#include "data/fit_table.h"
#include "data/reverse_problem.h"
#include "data/simplex.h"
#include "run/session.h"
#include "tasks/fit_passes.h"
#include "tasks/model_inputs.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

std::string CoefficientNames(ReverseCurrent current) {
  std::string names;
  for (const ReverseCoefficient& k : ReverseCoefficients(current)) {
    names += (names.empty() ? "" : ", ") + std::string(k.caption);
  }
  return names;
}

// Ticks exactly the named coefficients of the current: by the window's caption
// ("a1", "VNa") or by the field ("a1NaR", "VNaR").
void SelectCoefficients(FitTable& fit, ReverseCurrent current, const std::vector<std::string>& names,
                        const std::string& currentName) {
  for (const ReverseCoefficient& k : ReverseCoefficients(current)) fit.MenuChecked[FindFitSlot(k.fitItem)] = false;
  for (const std::string& name : names) {
    bool found = false;
    for (const ReverseCoefficient& k : ReverseCoefficients(current)) {
      if (name == k.caption || name == k.fitItem) {
        fit.MenuChecked[FindFitSlot(k.fitItem)] = true;
        found = true;
      }
    }
    if (!found) {
      throw RangeError("--fit " + name + ": \"" + name + "\" is not a coefficient of the " + currentName +
                       " current; they are: " + CoefficientNames(current));
    }
  }
}

void RunReverse(TaskCall& call) {
  Session& s = call.s;
  const TaskValues& v = call.values;
  if (!v.Given("current")) throw RangeError("--current is required: na (sodium) or k (potassium)");
  ReverseCurrent current{};
  try {
    current = ParseReverseCurrent(v.Text("current"));
  } catch (const Error&) {
    throw RangeError("--current = \"" + v.Text("current") + "\": not one of na, k");
  }
  const std::string currentName = current == ReverseCurrent::Na ? "sodium" : "potassium";
  // Only the chosen current's coefficients take part.
  for (std::size_t slot = 0; slot < s.fit.MenuChecked.size(); ++slot) s.fit.MenuChecked[slot] = false;
  SelectReverseCurrent(s, current);
  const std::vector<std::string> names = SplitNames(v.Texts("fit"));
  if (!names.empty()) SelectCoefficients(s.fit, current, names, currentName);
  CollectFitSelection(s.fit);
  CheckFitRequest(s);
  CheckReverseRequest(s, current);

  std::ostream& lines = *FitPassLines().out;
  std::vector<double> start;
  lines << "reverse problem for the " << currentName << " current: fitting";
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    start.push_back(FitValue(s.NP0, p));
    lines << " " << p.field << "=" << PlainNumber(start.back());
  }
  lines << " to " << s.rec.NSmpls << " conductance curve(s) of "
        << (v.Given("id") ? v.Text("id") : std::string("the program's start")) << std::endl;

  const int restarts = v.Int("restarts");
  SimplexResult result;
  const PrintedFit fit = RunPrintedFit(
      s, call.host, v.Int("max_passes"), [&](Session& session, Host& host, RunViewSink& views, FitProgress& progress) {
        result = SolveReverseProblem(session, host, views, progress, current, restarts);
      }, call.fitWatcher);
  const char* how = fit.stopped            ? "stopped by a signal"
                    : fit.passLimitReached ? "stopped after --max-passes"
                                           : "converged";
  nlohmann::ordered_json& r = *call.results;
  r["current"] = current == ReverseCurrent::Na ? "na" : "k";
  r["method"] = "simplex";
  r["end"] = how;
  r["passes"] = result.passes;
  r["evaluations"] = result.nfunk + s.fit.FitCount + 1;
  r["residual"] = std::isfinite(result.value) ? nlohmann::ordered_json(result.value) : nlohmann::ordered_json();
  nlohmann::ordered_json fitted = nlohmann::ordered_json::object(), started = nlohmann::ordered_json::object();
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const std::string field(FitParameterAt(s.fit, k).field);
    fitted[field] = result.x[k - 1];
    started[field] = start[k - 1];
  }
  r["parameters"] = std::move(fitted);
  r["start"] = std::move(started);
  if (v.Given("out")) {
    const std::string comment = "Fitted by membrix-cli reverse --current " + v.Text("current") + ": residual " +
                                PlainNumber(result.value) + " after " + std::to_string(result.passes) + " passes" +
                                (result.stopped ? " (stopped before the tolerance was reached)" : "");
    WriteFitParameterFile(v.Text("out"), ReverseParameterFileText(s, result.x, comment));
    call.written = {"out"};
  }
  if (fit.stopped) {
    call.complete = false;
    call.done = result.passes;
    call.total = v.Int("max_passes");
    call.doneUnit = "passes";
  }
}

TaskDeclaration MakeReverseTask() {
  TaskDeclaration t;
  t.name = "reverse";
  t.summary =
      "The reverse problem: fit the rate coefficients, the reversal potential and the maximal conductance of the "
      "sodium (m^3 h, resurgent-Na fields a1NaR ... d3NaR, VNaR, gNaR) or the potassium (n^4, a1K ... b3K, VK, gK) "
      "current to the conductance curves of a parameter file, recorded under voltage-clamp steps in the clamp mode "
      "\"for  gNa\". Uses the first 10 recordings for sodium and 7 for potassium (fewer if the file has fewer), "
      "blocks the other current, and runs the simplex of \"fit\", one line per pass (on standard error under "
      "--json).";
  t.onStop =
      "Ctrl+C stops at the next evaluation and still reports the best point; --out then stays under "
      "\"<name>.part\".";
  // The sample parameter file of the tests has no conductance curves: no quick call to show.
  t.example = "";
  t.inputs = ModelInputs(true);
  t.inputs.push_back(Text("current", "The current to fit: na or k (required)"));
  TaskInput fit = Text("fit", "Coefficients to fit, by the window's names (sodium: " +
                                  CoefficientNames(ReverseCurrent::Na) + "; potassium: " +
                                  CoefficientNames(ReverseCurrent::K) +
                                  ") or by their fields (a1NaR, VK, ...); comma-separated or repeated. Default: all "
                                  "of the current's but b2 of potassium");
  fit.kind = InputKind::Texts;
  t.inputs.push_back(std::move(fit));
  t.inputs.push_back(BindField(Number("tolerance", Unit::None, Between(0, 1),
                                      "Stop when the highest and lowest values of the simplex agree within this "
                                      "fraction (0: 1e-4)")
                                   .Label("Tolerance="),
                               &Session::fit, &FitTable::Tolerance));
  t.inputs.push_back(Integer("max_passes", AtLeast(0), "Stop after this many passes (0: no limit)"));
  t.inputs.push_back(Integer("restarts", Between(0, 1000),
                             "Start the simplex again from its result up to N times, while a new start lowers the "
                             "residual by more than the tolerance (0: one simplex, as the window's button)")
                         .Default(3));
  t.inputs.push_back(OutFile("out", FileKind::WholeResult, "",
                             "Write the parameter file with the fitted values added to its neuron section; written "
                             "beside the original, it runs the same steps and recordings (run --id FILE --smpl K)"));
  t.run = RunReverse;
  return t;
}

}  // namespace

const TaskDeclaration& ReverseTask() {
  static const TaskDeclaration task = MakeReverseTask();
  return task;
}

}  // namespace membrix
