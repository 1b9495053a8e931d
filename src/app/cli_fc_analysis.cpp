// membrix-cli fc-analysis: noisy firing-clamp runs whose per-spike records are
// inverted against a (u,s) map into the conductances gE and gI that drove the
// neuron; --check inverts synthetic records taken from the map itself.
// membrix-cli kernel: the Z-function kernel of a noisy run, and the one-ISI
// analysis with the stored Z-functions.

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "analysis/z_function.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "app/cli_task.h"
#include "common/number_format.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

double Num(const nlohmann::ordered_json& r, const char* key) { return r[key].get<double>(); }

void PrintCheck(std::ostream& out, const nlohmann::ordered_json& r) {
  out << "   u true    s true     u est     s est   (u in µA/cm²)\n";
  for (const auto& p : r["recovered"]) {
    out << CliNumber(Num(p, "u_true_uA")) << "  " << CliNumber(Num(p, "s_true")) << "  " << CliNumber(Num(p, "u_uA"))
        << "  " << CliNumber(Num(p, "s")) << "\n";
  }
  out << r["estimates"].get<std::int64_t>() << " of the " << r["firing_points"].get<std::int64_t>()
      << " firing points of the 20 recovered";
  if (!r["max_error_s"].is_null()) {
    out << "; largest error " << CliNumber(Num(r, "max_error_u_uA")) << " µA/cm² in u, "
        << CliNumber(Num(r, "max_error_s")) << " in s";
  }
  out << "\n";
}

void PrintTrials(std::ostream& out, const TaskValues& v, const nlohmann::ordered_json& r) {
  out << r["trials"].get<std::int64_t>() << " trials, " << r["estimates"].get<std::int64_t>()
      << " estimates written to " << v.Text("out") << "; the mean conductances are in " << v.Text("mean_out") << "\n";
  out << "true mean gE " << CliNumber(Num(r, "mean_gE")) << ", gI " << CliNumber(Num(r, "mean_gI")) << " mS/cm²";
  if (!r["mean_abs_error_gE"].is_null()) {
    out << "; mean distance of the estimates from the mean: gE " << CliNumber(Num(r, "mean_abs_error_gE")) << ", gI "
        << CliNumber(Num(r, "mean_abs_error_gI")) << "; in the second half of the runs ("
        << r["late_estimates"].get<std::int64_t>() << " estimates)";
    if (!r["late_mean_abs_error_gE"].is_null()) {
      out << ": gE " << CliNumber(Num(r, "late_mean_abs_error_gE")) << ", gI "
          << CliNumber(Num(r, "late_mean_abs_error_gI"));
    }
  }
  out << "\n";
}

void PrintOneISI(std::ostream& out, const TaskValues& v, const nlohmann::ordered_json& r) {
  const bool any = !r["delta_freq"].is_null();
  if (any) {
    std::string line = "delta_freq =";
    AppendFixed(line, Num(r, "delta_freq"), 6, 1);
    out << line << "\n";
  }
  out << r["repeats"].get<std::int64_t>() << " of " << v.Int("one_isi") << " intervals analysed";
  if (any) {
    out << "; mean errors before the correction: u " << CliNumber(Num(r, "error_u0_uA")) << " µA/cm², s "
        << CliNumber(Num(r, "error_s0")) << "; after: u " << CliNumber(Num(r, "error_u1_uA")) << " µA/cm², s "
        << CliNumber(Num(r, "error_s1"));
  }
  out << "\n";
  OneISIResult counts;
  counts.attempted = r["attempted"].get<std::int32_t>();
  counts.skipped = {r["skipped_no_records"].get<std::int32_t>(), r["skipped_no_estimate"].get<std::int32_t>(),
                    r["skipped_silent_pre_run"].get<std::int32_t>()};
  if (counts.Skipped() > 0) out << OneISISkippedText(counts) << "\n";
}

}  // namespace

CLI::App* AddFCAnalysisCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, FCAnalysisTask(),
      [](std::ostream& out, const Session&, const TaskInputs&, const TaskValues& v, const nlohmann::ordered_json& r) {
        if (v.On("check")) {
          PrintCheck(out, r);
        } else {
          PrintTrials(out, v, r);
        }
      },
      command);
}

CLI::App* AddKernelCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, KernelTask(),
      [](std::ostream& out, const Session&, const TaskInputs&, const TaskValues& v, const nlohmann::ordered_json& r) {
        if (v.Int("one_isi") > 0) return PrintOneISI(out, v, r);
        out << r["spikes"].get<std::int64_t>() << " spikes, " << r["kernel_updates"].get<std::int64_t>()
            << " intervals averaged into the kernel of " << r["lags"].get<std::int64_t>() << " lags; written to "
            << r.value("file", v.Text("out")) << "\n";
      },
      command);
}

}  // namespace membrix
