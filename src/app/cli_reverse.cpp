#include "app/cli_reverse.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include "app/cli_fit.h"
#include "app/cli_sweep_support.h"
#include "common/error.h"
#include "data/reverse_problem.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/session.h"

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
      throw Error("\"" + name + "\" is not a coefficient of the " + currentName +
                  " current; they are: " + CoefficientNames(current));
    }
  }
}

}  // namespace

CLI::App* AddReverseCommand(CLI::App& app, ReverseOptions& o) {
  CLI::App* cmd = app.add_subcommand("reverse",
                                     "The reverse problem: fit the rate coefficients, the reversal "
                                     "potential and the maximal conductance "
                                     "of the sodium (m^3 h, resurgent-Na fields a1NaR ... d3NaR, "
                                     "VNaR, gNaR) or the potassium (n^4, a1K ... "
                                     "b3K, VK, gK) current to the conductance curves of a "
                                     "parameter file, recorded under voltage-clamp "
                                     "steps in the clamp mode \"for  gNa\". Uses the first 10 "
                                     "recordings for sodium and 7 for potassium "
                                     "(fewer if the file has fewer), blocks the other current, and "
                                     "runs the simplex of \"fit\", one line "
                                     "per pass; Ctrl+C stops at the next evaluation and still "
                                     "reports (and writes) the best point.");
  cmd->add_option("--id", o.idFile,
                  "The .id parameter file with the model, the steps and the "
                  "conductance curves")
      ->required()
      ->check(CLI::ExistingFile);
  cmd->add_option("--current", o.current, "The current to fit: na or k")
      ->required()
      ->check(CLI::IsMember({"na", "k", "Na", "K", "NA"}));
  cmd->add_option("--fit", o.fit,
                  "Coefficients to fit, by the window's names (sodium: " + CoefficientNames(ReverseCurrent::Na) +
                      "; potassium: " + CoefficientNames(ReverseCurrent::K) +
                      ") or by their fields (a1NaR, VK, ...); comma-separated "
                      "or repeated. Default: all of "
                      "the current's but b2 of potassium")
      ->delimiter(',')
      ->type_name("NAME");
  cmd->add_option("--out", o.out,
                  "Write the parameter file with the fitted values added to "
                  "its neuron section; written "
                  "beside the original, it runs the same steps and recordings "
                  "(run --id FILE --smpl K)")
      ->type_name("FILE");
  cmd->add_option("--tolerance", o.tolerance,
                  "Stop when the highest and lowest values of the simplex "
                  "agree within this fraction "
                  "(default 1e-4)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--max-passes", o.maxPasses, "Stop after this many passes (default: no limit)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--restarts", o.restarts,
                  "Start the simplex again from its result up to N times, "
                  "while a new start lowers the "
                  "residual by more than the tolerance (default 3; 0 = one "
                  "simplex, as the window's button)")
      ->check(CLI::NonNegativeNumber)
      ->type_name("N");
  return cmd;
}

int ReverseCommand(const ReverseOptions& o) {
  const ReverseCurrent current = ParseReverseCurrent(o.current);
  const std::string currentName = current == ReverseCurrent::Na ? "sodium" : "potassium";
  Session s;
  ApplyProgramStart(s);
  InitFitTable(s.fit);
  LoadParameterFile(s, o.idFile);
  // Only the chosen current's coefficients take part.
  for (std::size_t slot = 0; slot < s.fit.MenuChecked.size(); ++slot) s.fit.MenuChecked[slot] = false;
  SelectReverseCurrent(s, current);
  if (!o.fit.empty()) SelectCoefficients(s.fit, current, o.fit, currentName);
  s.fit.Tolerance = o.tolerance;
  CollectFitSelection(s.fit);
  CheckFitRequest(s);
  CheckReverseRequest(s, current);

  std::vector<double> start;
  std::cout << "reverse problem for the " << currentName << " current: fitting";
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    start.push_back(s.NP0.*p.member);
    std::cout << " " << p.field << "=" << CliNumber(start.back());
  }
  std::cout << " to " << s.rec.NSmpls << " conductance curve(s) of " << o.idFile << std::endl;

  const int restarts = o.restarts;
  const PrintedFit fit = RunPrintedFit(
      s, o.maxPasses, [current, restarts](Session& session, Host& host, RunViewSink& views, FitProgress& progress) {
        return SolveReverseProblem(session, host, views, progress, current, restarts);
      });
  const SimplexResult& result = fit.result;
  const char* how = fit.interrupted        ? "stopped by a signal"
                    : fit.passLimitReached ? "stopped after --max-passes"
                                           : "converged";
  std::cout << "fit " << how << " after " << result.passes << " passes, " << result.nfunk << " evaluations (and "
            << s.fit.FitCount + 1 << " at the start)\n"
            << "residual: " << CliNumber(result.value) << "\n";
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    std::cout << p.field << " = " << CliNumber(result.x[k - 1]) << "   (start " << CliNumber(start[k - 1]) << ")\n";
  }
  if (!o.out.empty()) {
    const std::string comment = "Fitted by membrix-cli reverse --current " + o.current + ": residual " +
                                CliNumber(result.value) + " after " + std::to_string(result.passes) + " passes" +
                                (result.stopped ? " (stopped before the tolerance was reached)" : "");
    WriteFitParameterFile(o.out, ReverseParameterFileText(s, result.x, comment));
    std::cout << "written: " << o.out << "\n";
  }
  if (fit.interrupted) {
    std::cerr << "membrix-cli: the fit was interrupted before it converged; "
                 "the best point so far is shown"
              << (o.out.empty() ? "" : " and written") << "\n";
    return 1;
  }
  return 0;
}

}  // namespace membrix
