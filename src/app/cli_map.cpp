// membrix-cli map: the (u,s) frequency map of the model, written to "v(u_s).dat".

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "analysis/us_map.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "app/cli_task.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

CLI::App* AddMapCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, MapTask(),
      [](std::ostream& out, const Session& s, const TaskInputs& in, const TaskValues&,
         const nlohmann::ordered_json& r) {
        out << "model: " << s.NP0.HH_type << ", " << s.NP0.HH_order << "; grid "
            << (r.value("grid", std::string("us")) == "us" ? "(u,s)" : "(gE,gI)") << " " << in.usMap.nue + 1
            << " x " << in.usMap.nse + 1 << "; t_end " << CliNumber(in.usMap.t_end) << " ms; "
            << kMapNoiseNames[static_cast<std::size_t>(in.usMap.Noise)] << "\n";
        const auto& files = r["files"];
        out << "written: " << r.value("file", std::string()) << " (" << r["points"].get<std::int64_t>()
            << " points, " << r["firing_points"].get<std::int64_t>() << " firing at 5 Hz or more, highest "
            << CliNumber(r["max_freq_Hz"].get<double>()) << " Hz; " << r.value("workers", 1) << " workers, "
            << CliNumber(r["elapsed_seconds"].get<double>()) << " s)\n";
        if (files.size() > 1) out << "written: " << files[1].get<std::string>() << "\n";
      },
      command);
}

}  // namespace membrix
