// membrix-cli firing-clamp: the firing clamp under noisy conductances, with the
// per-spike records written as a column file.

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>

#include "analysis/firing_clamp.h"
#include "app/cli_sweep_support.h"
#include "app/cli_sweeps.h"
#include "common/error.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {

namespace {

struct FiringClampOptions {
  SweepModelOptions model;
  FiringClampInputs in;
  std::string mode, reset;
  double uMicro = 5.0, s = 0.0;  // the mean input, µA/cm² and mS/cm²
  double freq = -1, dFdu = -1, tauE = 0, tauI = 0, tauNoise = -1, I0 = 10.0, duReset = -15.0, surgeryDu = 2.0;
  double noiseToSignal = 0.0;
  double tEndMs = 1000.0;
  int maxSpikes = 100000;
  bool writing = false;
  std::string output = "map_u_s.dat";
  std::string conductances = kNoisyConductanceFile;
  bool json = false;
};

template <std::size_t N>
int IndexByName(const std::array<std::string_view, N>& names, const std::string& name, const char* option) {
  for (std::size_t i = 0; i < N; ++i) {
    std::string_view n = names[i];
    while (!n.empty() && n.front() == ' ') n.remove_prefix(1);
    while (!n.empty() && n.back() == ' ') n.remove_suffix(1);
    if (name == n || name == std::to_string(i)) return static_cast<int>(i);
  }
  throw FormatError(option, 0, "unknown choice \"" + name + "\" (give the text as the workbench shows it, or its index)");
}

class ProgressSink final : public FiringClampSink {
 public:
  ProgressSink(SweepHost& host, int maxSpikes) : host_(host), maxSpikes_(maxSpikes) {}
  void Record(const SpikeRecord&) override { host_.Progress(++spikes, maxSpikes_); }
  int spikes = 0;

 private:
  SweepHost& host_;
  int maxSpikes_;
};

int RunFiringClamp(const FiringClampOptions& o) {
  Session s;
  ApplySweepModelOptions(s, o.model);
  FiringClampInputs& in = s.firingClamp;
  in = o.in;
  if (!o.mode.empty()) in.Mode = IndexByName(kFiringClampModeNames, o.mode, "--mode");
  if (!o.reset.empty()) in.Reset = static_cast<ResetProtocol>(IndexByName(kResetProtocolNames, o.reset, "--reset"));
  if (o.freq >= 0) s.prog.FC_freq = o.freq;
  if (o.dFdu >= 0) s.prog.FC_dFdu = o.dFdu;
  s.prog.tau_E = o.tauE / 1000.0;
  s.prog.tau_I = o.tauI / 1000.0;
  s.prog.NoiseToSignal = o.noiseToSignal;
  if (o.tauNoise >= 0) s.stim.tau_Noise = o.tauNoise / 1000.0;
  s.prog.FC_I0 = o.I0 / 1000.0;
  in.du_ResetAmplitude = o.duReset / 1000.0;
  in.SurgeryDu = o.surgeryDu / 1000.0;
  s.stim.uu = o.uMicro / 1000.0;
  s.stim.ss = o.s;
  s.stim.Iind = 0.0;
  s.stim.t_IindShift = 0.0;
  s.stim.t_Iind = 1e8;
  SetRunLength(s.run, o.tEndMs / 1000.0);
  s.run.Writing = o.writing ? 1 : 0;

  FiringClampFiles files;
  files.records = o.output;
  if (o.writing) files.conductances = o.conductances;
  SweepHost host;
  ProgressSink sink(host, o.maxSpikes);
  const FiringClampResult r = RunWithNoise(s, host, sink, o.maxSpikes, files);
  const double elapsed = host.ElapsedSeconds();
  // The rate of the second half of the records.
  double rate = 0.0;
  const std::size_t n = r.records.size();
  if (n >= 4) rate = static_cast<double>(n - 1 - n / 2) / (r.records[n - 1].tLastSpike - r.records[n / 2].tLastSpike);
  if (o.json) {
    std::cout << JsonSweepHead(o.output, !r.stopped)
              << ", \"spikes\": " << r.nSpikes << ", \"records\": " << n << ", \"t_ms\": " << CliNumber(r.t * 1000.0)
              << ", \"late_rate_Hz\": " << CliNumber(rate) << ", \"elapsed_seconds\": " << CliNumber(elapsed) << "}\n";
  } else {
    std::cout << "model: " << s.NP0.HH_type << "; mode: "
              << (in.Mode >= 0 ? std::string(kFiringClampModeNames[static_cast<std::size_t>(in.Mode)]) : " none")
              << "; target " << CliNumber(s.prog.FC_freq) << " Hz\n";
    std::cout << r.nSpikes << " spikes in " << CliNumber(r.t * 1000.0) << " ms; rate of the second half of the "
              << "records " << CliNumber(rate) << " Hz\n";
    std::cout << "written: " << (n > 0 ? o.output : std::string("(no spike, no records)"));
    if (o.writing) std::cout << ", " << o.conductances;
    std::cout << " (" << CliNumber(elapsed) << " s)\n";
  }
  if (r.stopped) {
    std::cerr << "membrix-cli: stopped at " << CliNumber(r.t * 1000.0) << " ms; " << o.output << " holds the "
              << n << " records made until then\n";
    return 130;
  }
  return 0;
}

}  // namespace

CLI::App* AddFiringClampCommand(CLI::App& app, SweepCommand& command) {
  auto o = std::make_shared<FiringClampOptions>();
  CLI::App* cmd = app.add_subcommand(
      "firing-clamp",
      "The firing clamp: the model driven by noisy excitatory and inhibitory conductances around the mean "
      "input (u, s), its rate held at --freq by correcting u and/or s after every spike. Writes one line per "
      "spike (up to 1000) to \"map_u_s.dat\": spike time ms, u without the clamp µA/cm², s, the filtered "
      "corrections u (µA/cm²) and s at the spike, and the same less the adaptation estimate.");
  AddSweepModelOptions(*cmd, o->model);
  cmd->add_option("--u", o->uMicro, "Mean input current u, µA/cm² (default 5)");
  cmd->add_option("--s", o->s, "Mean input conductance s, mS/cm² (default 0)");
  cmd->add_option("--mode", o->mode,
                  "Clamp mode, as listed in the workbench without its leading blank (\"Adjust  u\") or its index "
                  "0 ... 12; none by default (open loop)");
  cmd->add_option("--reset", o->reset,
                  "Reset protocol: \"Nothing\", \"Reset voltage\", \"Current pulse reset\", \"Meanders except "
                  "apexes\", \"Meanders\" or 0 ... 4");
  cmd->add_option("--freq", o->freq, "Target rate, Hz (\" Freq. hold: \")")->check(CLI::NonNegativeNumber);
  cmd->add_option("--dfdu", o->dFdu, "Hz per mA/cm² of u (\" dFreq/du: \", default 700); the clamp is off while 0");
  cmd->add_option("--i0", o->I0, "\" I0, mkA/cm^2:\" (default 10; the modes that correct s divide by it)");
  cmd->add_option("--noise-to-signal", o->noiseToSignal, "Deviation of the conductances over their mean")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--tau-noise", o->tauNoise, "Correlation time of the noise, ms (0 = white)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--tau-e", o->tauE, "Period of the excitatory modulation, ms (default 0 = none)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--tau-i", o->tauI, "Period of the inhibitory modulation, ms (default 0 = none)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--du-reset", o->duReset, "Reset current, µA/cm² (\" du_Reset, muA/cm^2:\", default -15)");
  cmd->add_option("--surgery-du", o->surgeryDu, "Surgery kick of u, µA/cm² (default 2)");
  cmd->add_option("--f", o->in.FunctionF, "F recorded at a spike: 0 Frequency (default) ... 6 Th")
      ->check(CLI::Range(0, 6));
  cmd->add_option("--g", o->in.FunctionG, "G recorded at a spike: 0 dV/dt ... 3 MaxVoltage (default) ... 6 IxZ")
      ->check(CLI::Range(0, 6));
  cmd->add_option("--t-end-ms", o->tEndMs, "Length of the run, ms (default 1000)")->check(CLI::PositiveNumber);
  cmd->add_option("--max-spikes", o->maxSpikes, "End at the downstroke of this spike (default 100000)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--output", o->output, "The per-spike records (default \"map_u_s.dat\")")->type_name("FILE");
  cmd->add_flag("--writing", o->writing, "Also write t ms, gE, gI of every step to \"gE_gI_Noisy(t).dat\", and the run log "
                "(the recording's name + \"at\") and the ion file every n_Write steps");
  cmd->add_option("--conductances-output", o->conductances, "That file's name")->type_name("FILE");
  cmd->add_flag("--json", o->json, "Print one JSON object: file, complete, spikes, records, t_ms, late_rate_Hz");
  command = [o] { return RunFiringClamp(*o); };
  return cmd;
}

}  // namespace membrix
