// membrix-cli run: one clamp run of the model.

#include "app/cli_run.h"

#include <nlohmann/json.hpp>

#include <iostream>

#include "app/cli_ions.h"
#include "app/cli_sweep_support.h"
#include "run/session.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

CLI::App* AddRunCommand(CLI::App& app, TaskCommand& command) {
  return AddTaskCommand(
      app, RunTask(),
      [](std::ostream& out, const Session& s, const TaskInputs&, const TaskValues&, const nlohmann::ordered_json& r) {
        const NeuronProperties& np = s.NP0;
        out << "model: " << np.HH_type << ", " << np.HH_order
            << (np.LIF_model == 1 ? ", integrate-and-fire" : np.ThrModel == 1 ? ", threshold model" : "")
            << ", clamp mode " << np.If_I_V_or_g << "\n"
            << "recording: " << s.rec.Smpl << " (" << s.rec.SmplFile[s.rec.Smpl] << ")\n"
            << "steps: " << s.run.nt << " of " << CliNumber(s.run.dt * 1000.0) << " ms ("
            << CliNumber(s.run.t * 1000.0) << " ms)\n";
        if (r.contains("integrator")) {
          const auto& w = r["integrator"];
          out << "cvode: " << w["steps"].get<long>() << " steps, " << w["evaluations"].get<long>()
              << " evaluations, " << w["restarts"].get<long>() << " restarts (rtol "
              << CliNumber(s.run.integrator.rtol) << ", atol " << CliNumber(s.run.integrator.atol) << ")\n";
        }
        out
            << "spikes: " << r["spike_times"].size();
        if (!r["spike_times"].empty()) {
          out << " at";
          for (const auto& t : r["spike_times"]) out << " " << CliNumber(t.get<double>() * 1000.0);
          out << " ms";
        }
        out << "\nfinal V: " << CliNumber(s.NV0.V * 1000.0) << " mV\n";
        const int mode = np.If_I_V_or_g;
        if (mode == 1 || mode == 3 || mode == 4 || mode == 5) {
          out << "final clamp current: " << CliNumber(s.NV0.PSC) << " pA\n";
        }
        const bool deviation = r["deviation"].is_number();
        if (!deviation) std::cerr << "membrix-cli: " << r.value("deviation_note", std::string()) << "\n";
        out << "deviation from the recording: "
            << (deviation ? CliNumber(r["deviation"].get<double>()) : std::string("none")) << "\n";
        out << IonReport(s);
        if (r.contains("written")) {
          out << "written: " << r["written"].get<std::string>() << " (" << s.trace.StatusText << ")\n";
        }
        out << "elapsed: " << CliNumber(r["elapsed_seconds"].get<double>()) << " s\n";
      },
      command);
}

namespace {

// "ramps FILE": the first argument that is no option and no option's value is
// the sweep file.
void PositionalSweepFile(std::vector<std::string>& args) {
  const TaskDeclaration& task = RampsTask();
  auto flag = [&](const std::string& option) {
    if (option == "--json" || option == "--help" || option == "-h") return true;
    for (const TaskInput& in : task.inputs) {
      if (in.kind != InputKind::Flag) continue;
      if (option == in.OptionName()) return true;
      for (const TaskInput::Alias& a : in.aliases) {
        if (option == "--" + a.name) return true;
      }
    }
    return false;
  };
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 1 && a[0] == '-') {
      if (a.find('=') == std::string::npos && !flag(a)) ++i;  // its value
      continue;
    }
    args.insert(args.begin() + static_cast<std::ptrdiff_t>(i), "--file");
    return;
  }
}

}  // namespace

std::vector<std::string> WithOldForms(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  if (args.size() >= 2 && args[1] == "ramps") PositionalSweepFile(args);
  if (args.size() < 2 || args[1] != "run") return args;
  auto value = [&](std::size_t i) { return i < args.size() && !args[i].empty() && args[i][0] != '-'; };
  for (std::size_t i = 2; i < args.size(); ++i) {
    // run takes no positional arguments: two values after --save-var are
    // the old NAME FILE.
    if (args[i] == "--save-var" && value(i + 1) && value(i + 2)) {
      std::cerr << "membrix-cli: --save-var NAME FILE is the old form of --save-var FILE --var-to-write NAME; "
                   "it will be removed in the next release\n";
      const std::string name = args[i + 1];
      args[i + 1] = args[i + 2];
      args[i + 2] = "--var-to-write";
      args.insert(args.begin() + static_cast<std::ptrdiff_t>(i) + 3, name);
      i += 3;
    }
  }
  return args;
}

}  // namespace membrix
