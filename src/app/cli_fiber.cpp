// membrix-cli fiber: a run of the ball-and-stick model, its profiles along the
// axon and its time courses at the two ends written to column files.

#include "app/cli_fiber.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

#include "app/cli_sweep_support.h"
#include "app/cli_task.h"
#include "fiber/fiber.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/task_declaration.h"
#include "tasks/tasks.h"

namespace membrix {

void AddFiberOptions(CLI::App& cmd, FiberInputs& in) {
  cmd.add_option("--stimulation", in.Stimulation,
                 "\"Stimulation:\" 0 stimulation at soma from 1-comp. model (default), 1 steps at both ends, "
                 "2 alpha-functions at both ends, 3 noise for gE, gI at soma, 4 alpha-functions gs(t)*(V-Vrev) at "
                 "both ends")
      ->check(CLI::Range(0, 4));
  cmd.add_option("--alpha-hz", in.alpha_Hz, "Rate of the alpha functions, Hz (\"alpha_Hz\", default 100)");
  cmd.add_option("--iind-left", in.Iind_Left, "Current at the soma end, pA (\"Iind_Left\", default 0)");
  cmd.add_option("--iind-right", in.Iind_Right, "Current at the far end, pA (\"Iind_Right\", default 0)");
  cmd.add_option("--gs-left", in.Gs_Left, "Conductance at the soma end, nS (\"Gs, nS\", default 0)");
  cmd.add_option("--gs-right", in.Gs_Right, "Conductance at the far end, nS (default 0)");
  cmd.add_option("--vrev-left", in.Vrev_Left, "Its reversal at the soma end, mV (\"Vrev, mV\", default -50)");
  cmd.add_option("--vrev-right", in.Vrev_Right, "Its reversal at the far end, mV (default -70)");
  cmd.add_option("--w-na", in.wNa, "\"disbalance of gNa, w=\" (default 1; 0 removes Na from the axon)");
  cmd.add_option("--w-k", in.wK, "\"disbalance of gK,    w=\" (default 1)");
  cmd.add_option("--homogeneous", in.Homogeneous, "\"Homogeneous gNa, gK in axon\": 1 (default) or 0")
      ->check(CLI::Range(0, 1));
  cmd.add_option("--right-half-passive", in.RightHalfPassive, "\"Right half of axon is passive\": 0 (default) or 1")
      ->check(CLI::Range(0, 1));
  cmd.add_option("--no-adaptation", in.NoAdaptation, "\"No adaptation on the fiber\": 1 (default) or 0")
      ->check(CLI::Range(0, 1));
  cmd.add_option("--na-distribution", in.NaDistribution,
                 "Na along the axon: 0 linear: gNa-decrease; gNaR-increase (default), 1 NaThreshShift is linear, "
                 "2 homogeneous, 3 Na-soma, NaR- right half of axon, 4 fiber is passive, 5 AHP and KM grows up to z=L")
      ->check(CLI::Range(0, 5));
  cmd.add_option("--k-distribution", in.KDistribution,
                 "K along the axon: 0 Nothing (default), 1 gK, gKA follow gNaR (scaled at the soma), 2 the same "
                 "scaled at the far end, 3 K, KA - right half of axon")
      ->check(CLI::Range(0, 3));
  cmd.add_option("--diam", in.diam, "Axon diameter, um (\"diam, mum\", default 1)");
  cmd.add_option("--length", in.L, "Axon length, um (\"L, mum\", default 50)");
  cmd.add_option("--rl", in.RL, "Axial resistivity, Ohm*cm (\"RL, Ohm*cm:\", default 150)");
  cmd.add_option("--segments", in.N, "Segments of the axon, 1 ... 500 (\"N\", default 50)");
  cmd.add_option("--tau-noise-fiber", in.tau_noise, "Soma noise: time constant, ms (\"tau_noise, ms\", default 3)");
  cmd.add_option("--ampl-ge", in.Ampl_gE, "Soma noise: amplitude of gE, mS/cm^2 (default 0)");
  cmd.add_option("--ampl-gi", in.Ampl_gI, "Soma noise: amplitude of gI, mS/cm^2 (default 0)");
  cmd.add_option("--mean-ge", in.mean_gE, "Soma noise: mean gE, mS/cm^2 (default 0)");
  cmd.add_option("--mean-gi", in.mean_gI, "Soma noise: mean gI, mS/cm^2 (default 0)");
}

CLI::App* AddFiberCommand(CLI::App& app, SweepCommand& command) {
  return AddTaskCommand(
      app, FiberTask(),
      [](std::ostream& out, const Session& s, const TaskInputs& inputs, const TaskValues&,
         const nlohmann::ordered_json& r) {
        const FiberInputs& in = inputs.fiber;
        out << "model: " << s.NP0.HH_type << " nodes; axon " << CliNumber(in.L) << " um long, " << CliNumber(in.diam)
            << " um thick, " << in.N << " segments; stimulation: "
            << kFiberStimulationNames[static_cast<std::size_t>(in.Stimulation)] << "\n";
        for (const auto& label : r["distribution"]) out << label.get<std::string>() << "  ";
        out << "\n";
        const double soma = r["soma_spike_ms"].get<double>(), farEnd = r["far_end_spike_ms"].get<double>();
        const double velocity = r["conduction_velocity_m_s"].get<double>();
        if (soma >= 0.0) out << "soma crosses -20 mV at " << CliNumber(soma) << " ms\n";
        if (farEnd >= 0.0) out << "far end crosses it at " << CliNumber(farEnd) << " ms\n";
        if (velocity > 0.0) {
          out << "conduction velocity " << CliNumber(velocity) << " m/s (between a quarter and three quarters of the axon)\n";
        }
        out << "written: " << r["profiles"].get<std::string>() << ", " << r["ends"].get<std::string>() << " ("
            << r["steps"].get<std::int64_t>() << " steps)\n";
      },
      command);
}

}  // namespace membrix
