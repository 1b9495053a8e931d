// membrix-cli fiber: a run of the ball-and-stick model, its profiles along the
// axon and its time courses at the two ends written to column files.

#include "app/cli_fiber.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli_sweep_support.h"
#include "common/error.h"
#include "common/number_format.h"
#include "fiber/fiber.h"
#include "run/session.h"

namespace membrix {

namespace {

inline constexpr const char* kProfileFile = "fiber_profiles.dat";
inline constexpr const char* kEndsFile = "fiber_ends.dat";

// The level whose first crossing times the spike at a node.
constexpr double kSpikeLevel = -0.02;  // V

struct FiberOptions {
  SweepModelOptions model;
  FiberInputs in;
  double tEndMs = 20.0;
  int clampMode = 2;
  double somaIindPA = 0.0, somaShiftMs = 0.0, somaLengthMs = 1e8;
  double profileEveryMs = 0.5;
  std::string profiles = kProfileFile;
  std::string ends = kEndsFile;
  bool lfp = false;
  bool json = false;
};

std::ofstream OpenOutput(const std::string& path, const char* what) {
  std::ofstream out(path);
  if (!out) throw IoError(path, std::string("cannot be written (") + what + ")");
  return out;
}

// Writes the frames: the time courses at every frame, the profiles every
// profileEvery seconds; times the first crossing of the spike level at a
// quarter and three quarters of the axon and at its two ends.
class FiberFiles final : public FiberSink {
 public:
  FiberFiles(const FiberOptions& o)
      : profiles_(OpenOutput(o.profiles, "profiles")), ends_(OpenOutput(o.ends, "time courses")),
        profilePaths_{o.profiles, o.ends}, profileEvery_(o.profileEveryMs / 1000.0), lfp_(o.lfp) {
    ends_ << "# t_ms V0_mV VL_mV ISoma_pA IAxon_pA JmSoma_pA JmAxon_pA Iind0_pA IindL_pA LFP_nV\n";
    profiles_ << "# t_ms z_um V_mV g_mS/cm2 m h   (one block per time, blocks separated by a blank line)\n";
  }
  bool WantsLFP() const override { return lfp_; }
  void Frame(const TFiber& f, double t, double lfp) override {
    const std::size_t N = static_cast<std::size_t>(f.N());
    line_.clear();
    AppendFixed(line_, t * 1000.0, 10, 4);
    for (double x : {f.V[0] * 1000.0, f.V[N] * 1000.0, f.ISoma * 1e9, f.IAxon * 1e9, f.JmSoma * 1e9,
                     f.JmAxon * 1e9, f.Iind[0] * 1e9, f.Iind[N] * 1e9, lfp * 1000.0}) {
      line_ += ' ';
      AppendScientific(line_, x, 13);
    }
    ends_ << line_ << '\n';
    if (t + 1e-12 >= nextProfile_) {
      nextProfile_ += profileEvery_ > 0.0 ? profileEvery_ : 1e300;
      for (std::size_t i = 0; i <= N; ++i) {
        const NeuronVariables& nv = f.Nodes[i]->NV;
        line_.clear();
        AppendFixed(line_, t * 1000.0, 10, 4);
        for (double x : {static_cast<double>(i) * f.Props.dx * 1e4, f.V[i] * 1000.0}) {
          line_ += ' ';
          AppendFixed(line_, x, 10, 4);
        }
        for (double x : {f.g[i], nv.mm, nv.hh}) {
          line_ += ' ';
          AppendScientific(line_, x, 13);
        }
        profiles_ << line_ << '\n';
      }
      profiles_ << '\n';
    }
    const std::size_t at[4] = {0, N / 4, (3 * N) / 4, N};
    for (int k = 0; k < 4; ++k) {
      if (crossing[k] < 0.0 && f.V[at[k]] > kSpikeLevel) crossing[k] = t;
    }
    dx = f.Props.dx;
    quarterDistance = static_cast<double>(at[2] - at[1]) * f.Props.dx;
  }
  void Close() {
    profiles_.close();
    ends_.close();
    if (!profiles_) throw IoError(profilePaths_[0], "could not be written completely");
    if (!ends_) throw IoError(profilePaths_[1], "could not be written completely");
  }
  double crossing[4] = {-1.0, -1.0, -1.0, -1.0};  // soma, quarter, three quarters, far end (s)
  double dx = 0.0, quarterDistance = 0.0;         // cm

 private:
  std::ofstream profiles_, ends_;
  std::string profilePaths_[2];
  double profileEvery_;
  bool lfp_;
  double nextProfile_ = 0.0;
  std::string line_;
};

int RunFiber(const FiberOptions& o) {
  Session s;
  ApplySweepModelOptions(s, o.model);
  s.fiber = o.in;
  if (o.clampMode < 1 || o.clampMode > 7) throw RangeError("--record takes a clamp mode 1 ... 7");
  s.NP0.If_I_V_or_g = o.clampMode;
  s.stim.Iind = o.somaIindPA;
  s.stim.t_IindShift = o.somaShiftMs / 1000.0;
  s.stim.t_Iind = o.somaLengthMs / 1000.0;
  SetRunLength(s.run, o.tEndMs / 1000.0);
  CheckFiberInputs(s, s.fiber);  // before any file is touched

  SweepHost host;
  FiberSink none;
  const FiberDerived derived = ShowDistribution(s, host, none);
  FiberFiles files(o);
  FiberOutcome outcome;
  try {
    outcome = FiberRun(s, host, files);
    files.Close();
  } catch (...) {
    // A run that failed leaves no files that could pass for its result.
    std::error_code ec;
    std::filesystem::remove(o.profiles, ec);
    std::filesystem::remove(o.ends, ec);
    throw;
  }
  const double velocity = files.crossing[2] > files.crossing[1] && files.crossing[1] >= 0.0
                              ? files.quarterDistance / (files.crossing[2] - files.crossing[1]) / 100.0
                              : 0.0;  // m/s
  if (o.json) {
    std::cout << "{\"profiles\": " << JsonString(o.profiles) << ", \"ends\": " << JsonString(o.ends)
              << ", \"complete\": " << (outcome.stopped ? "false" : "true") << ", \"steps\": " << outcome.steps
              << ", \"soma_spike_ms\": " << CliNumber(files.crossing[0] * 1000.0)
              << ", \"far_end_spike_ms\": " << CliNumber(files.crossing[3] * 1000.0)
              << ", \"conduction_velocity_m_s\": " << CliNumber(velocity) << "}\n";
  } else {
    const FiberInputs& in = s.fiber;
    std::cout << "model: " << s.NP0.HH_type << " nodes; axon " << CliNumber(in.L) << " um long, "
              << CliNumber(in.diam) << " um thick, " << in.N << " segments; stimulation: "
              << kFiberStimulationNames[static_cast<std::size_t>(in.Stimulation)] << "\n";
    for (const std::string& label : DerivedLabels(derived)) std::cout << label << "  ";
    std::cout << "\n";
    if (files.crossing[0] >= 0.0) {
      std::cout << "soma crosses " << CliNumber(kSpikeLevel * 1000.0) << " mV at " << CliNumber(files.crossing[0] * 1000.0)
                << " ms\n";
    }
    if (files.crossing[3] >= 0.0) {
      std::cout << "far end crosses it at " << CliNumber(files.crossing[3] * 1000.0) << " ms\n";
    }
    if (velocity > 0.0) {
      std::cout << "conduction velocity " << CliNumber(velocity)
                << " m/s (between a quarter and three quarters of the axon)\n";
    }
    std::cout << "written: " << o.profiles << ", " << o.ends << " (" << outcome.steps << " steps)\n";
  }
  return outcome.stopped ? 130 : 0;
}

}  // namespace

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
  auto o = std::make_shared<FiberOptions>();
  o->in.nDraw = 1;
  CLI::App* cmd = app.add_subcommand(
      "fiber",
      "A run of the distributed model: a soma on an unbranched axon of N segments, every node a full membrane "
      "of the model family. Writes the time courses at the two ends at every drawn step to \"fiber_ends.dat\" "
      "and the profiles along the axon (V, g, m, h against z) to \"fiber_profiles.dat\"; prints when the "
      "spike passes the soma and the far end and the conduction velocity.");
  AddSweepModelOptions(*cmd, o->model);
  AddFiberOptions(*cmd, o->in);
  cmd->add_option("--t-end-ms", o->tEndMs, "Length of the run, ms (default 20)")->check(CLI::PositiveNumber);
  cmd->add_option("--record", o->clampMode,
                  "Clamp mode If_I_V_or_g: 2 current clamp (default; records V - Vrest at the observed node), 1, 3, "
                  "4, 5 clamp the soma (records the soma current), 6 records the observed node's injected current");
  cmd->add_option("--z-draw", o->in.zDraw, "Observed node as a fraction of the axon (\"zDraw/L\", default 0)");
  cmd->add_option("--ndraw", o->in.nDraw,
                  "Steps between the written time-course lines (\"nDraw\", default 1; 0 = only the first step)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--profile-every-ms", o->profileEveryMs, "Time between written profiles, ms (default 0.5)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--soma-iind", o->somaIindPA, "Mode 0: current injected into the soma, pA (default 0)");
  cmd->add_option("--soma-t-shift-ms", o->somaShiftMs, "Mode 0: start of the current, ms (default 0)");
  cmd->add_option("--soma-t-iind-ms", o->somaLengthMs, "Mode 0: length of the current, ms (default: the whole run)");
  cmd->add_flag("--lfp", o->lfp, "Also compute the field potential at the electrode (--lfp-d, --lfp-h)");
  cmd->add_option("--lfp-d", o->in.LFP_d, "Electrode along the axis, as a fraction of L (\"d / L=\", default 0.5)");
  cmd->add_option("--lfp-h", o->in.LFP_h, "Electrode distance from the axis, fraction of L (\"h / L=\", default 0.5)");
  cmd->add_option("--profiles", o->profiles, "The profile file (default \"fiber_profiles.dat\")")->type_name("FILE");
  cmd->add_option("--ends", o->ends, "The time-course file (default \"fiber_ends.dat\")")->type_name("FILE");
  cmd->add_flag("--json", o->json, "Print one JSON object: files, complete, steps, spike times, conduction velocity");
  command = [o] { return RunFiber(*o); };
  return cmd;
}

}  // namespace membrix
