#include "app/cli_data_tools.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include "app/cli_model_options.h"
#include "app/cli_sweep_support.h"
#include "common/error.h"
#include "common/number_format.h"
#include "data/stimulus_preview.h"
#include "run/host.h"
#include "run/run_view_sink.h"
#include "run/session.h"

namespace membrix {

namespace {

void AddSweepFileOptions(CLI::App* cmd, RampInputs& in) {
  cmd->add_option("--t-max-limit", in.t_maxLimit,
                  "End of the stored part of each sweep, ms; samples beyond it separate the sweeps")->capture_default_str();
  cmd->add_option("--cesium-shift", in.CesiumShift, "Subtracted from the file's voltages, mV")->capture_default_str();
}

bool Terminal() { return ::isatty(STDERR_FILENO) == 1; }

std::string OutDir(const std::string& dir) {
  if (!dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw IoError(dir, ec.message());
  }
  return dir;
}

class ProgressHost final : public Host {
 public:
  bool Confirm(const std::string&) override { return true; }
};

}  // namespace

CLI::App* AddRampsCommand(CLI::App& app, RampsOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "ramps",
      "The ramp analyzer: reads a file of voltage-clamp sweeps (time s, voltage mV, current pA per line), "
      "filters them, finds in each sweep the first spike-shaped inward current after the ramp has started "
      "and writes the threshold VT against the delay tau from the end of the prepulse to VT_tau.dat "
      "(columns tau ms, VT mV, spike amplitude pA, current at the onset pA).");
  cmd->add_option("FILE", o.file, "The sweep file")->required()->check(CLI::ExistingFile);
  RampInputs& in = o.inputs;
  in.WriteSpikeMarkers = false;
  cmd->add_option("--tau-filt", in.tauFilt, "Filter time constant, ms; 0 or less: no filtering")->capture_default_str();
  cmd->add_option("--conv-thr", in.Conv_thr, "Template-match threshold, pA")->capture_default_str();
  cmd->add_flag("--scaled", o.scaled,
                "Match a template of fixed amplitude (--shape-amplitude) instead of one scaled to each "
                "candidate (\"Unscaled spike shape\", the default)");
  cmd->add_option("--shape-amplitude", in.SpikeShapeAmplitude, "Template amplitude with --scaled, pA")->capture_default_str();
  cmd->add_option("--shape-half-duration", in.SpikeShapeHalfDuration, "Template time parameter, ms")->capture_default_str();
  cmd->add_option("--min-spike-ampl", in.MinSpikeAmpl, "Smallest spike amplitude without --scaled, pA")->capture_default_str();
  AddSweepFileOptions(cmd, in);
  cmd->add_flag("--markers", in.WriteSpikeMarkers,
                "Also write SpikeShapeNNN.dat, VandINNN.dat and SpikeMarkerNNN.dat for every spike found");
  cmd->add_option("--out-dir", o.outDir, "Folder of VT_tau.dat and the marker files (default: the current one)")
      ->type_name("DIR");
  cmd->add_flag("--json", o.json, "Print one JSON object: sweeps, spikes, tau_ms, VT_mV, written");
  return cmd;
}

int RampsCommand(RampsOptions& o) {
  RampInputs& in = o.inputs;
  in.ShapeMode = o.scaled ? 0 : 1;
  auto ramp = std::make_unique<TRamp>();
  ramp->FileName = o.file;
  ramp->Folder = OutDir(o.outDir);
  if (!ReadRampFile(*ramp, in)) throw IoError(o.file, "No such file");
  if (!ramp->Note.empty()) std::cerr << "membrix-cli: note: " << ramp->Note << "\n";
  if (ramp->NSweeps == 0) {
    throw FormatError(o.file, 0,
                      "no sweep runs past t_maxLimit (" + CliNumber(in.t_maxLimit) +
                          " ms): every sweep must be followed by samples beyond it");
  }
  // The points of the VT(tau) chart, one per sweep.
  struct Curve final : RampSink {
    void Point(RampSeries series, double x, double y) override {
      if (series == RampSeries::VTtau) tauVT.push_back({x, y});
      if (series == RampSeries::SpikeAmpl) amplitude.push_back(y);
    }
    std::vector<std::pair<double, double>> tauVT;
    std::vector<double> amplitude;
  } curve;
  BatchHost host;
  AllSamples(*ramp, in, curve, host);
  const std::string written = ramp->Folder.empty()
                                  ? std::string("VT_tau.dat")
                                  : (std::filesystem::path(ramp->Folder) / "VT_tau.dat").string();
  int spikes = 0;
  for (int i = 1; i <= ramp->NSweeps; ++i) spikes += ramp->tSpike[i] != 0.0;
  if (o.json) {
    std::string tau, vt;
    for (int i = 1; i <= ramp->NSweeps; ++i) {
      const bool found = ramp->tSpike[i] != 0.0;
      tau += (i > 1 ? ", " : "") + (found ? CliNumber(curve.tauVT[i - 1].first) : std::string("null"));
      vt += (i > 1 ? ", " : "") + (found ? CliNumber(curve.tauVT[i - 1].second) : std::string("null"));
    }
    std::cout << "{\"sweeps\": " << ramp->NSweeps << ", \"spikes\": " << spikes << ", \"tau_ms\": [" << tau
              << "], \"VT_mV\": [" << vt << "], \"written\": \"" << written << "\"}\n";
    return 0;
  }
  std::cout << "sweeps: " << ramp->NSweeps << " (samples 0 ... " << ramp->NLast << ")\n"
            << "spikes found: " << spikes << "\n"
            << "sweep   tau, ms    VT, mV  amplitude, pA\n";
  for (int i = 1; i <= ramp->NSweeps; ++i) {
    std::cout << Fixed(i, 5, 0);
    if (ramp->tSpike[i] == 0.0) {
      std::cout << "   no spike\n";
      continue;
    }
    std::cout << " " << Fixed(curve.tauVT[i - 1].first, 9, 3) << " " << Fixed(curve.tauVT[i - 1].second, 9, 3)
              << " " << Fixed(curve.amplitude[i - 1], 14, 1) << "\n";
  }
  std::cout << "written: " << written << "\n";
  return 0;
}

CLI::App* AddStepsCommand(CLI::App& app, StepsOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "steps",
      "The voltage-step series: for each test voltage from --vmin to --vmax the model follows a voltage-clamp "
      "protocol (holding level, a depolarizing prestep, the test step and, unless --single, a second step "
      "--dv higher), written as the recording ramp_.d and run as recording 19 in \"VC at Vexp\" mode; or "
      "the matching sweep of a sweep file (--from-sweeps) is taken instead. The most negative current of "
      "the test step (Imin) and of the second step (Imin2) are printed and written to "
      "Steps_V_Imin_Imin2.dat (V mV, Imin nA, Imin2 nA). Progress goes to stderr on a terminal.");
  StepSeriesInputs& in = o.inputs;
  cmd->add_option("--n", in.NSteps, "Number of voltage steps N: N + 1 test voltages")->capture_default_str();
  cmd->add_option("--vmin", in.Vmin, "First test voltage, mV")->capture_default_str();
  cmd->add_option("--vmax", in.Vmax, "Last test voltage, mV")->capture_default_str();
  cmd->add_option("--v0", in.V0, "Holding voltage, mV")->capture_default_str();
  cmd->add_option("--v-dep-step", in.V_DepStep, "Level of the depolarizing prestep, mV")->capture_default_str();
  cmd->add_option("--t1", in.t1, "Start of the prestep, ms")->capture_default_str();
  cmd->add_option("--d1", in.d1, "Duration of the prestep, ms")->capture_default_str();
  cmd->add_option("--t2", in.t2, "Start of the test step, ms")->capture_default_str();
  cmd->add_option("--t3", in.t3, "End of the steps, ms")->capture_default_str();
  cmd->add_flag("--single", o.single, "One test step instead of two");
  cmd->add_option("--dv", in.dV, "Voltage added for the second step, mV")->capture_default_str();
  cmd->add_option("--d2", in.d2, "Length of the first test step with two steps, ms")->capture_default_str();
  cmd->add_flag("--keep-mode", o.noVCMode, "Keep the clamp mode instead of switching to \"VC at Vexp\"");
  cmd->add_option("--from-sweeps", o.fromSweeps,
                  "Measure sweep j + 1 of this sweep file for test voltage j instead of running the model")
      ->check(CLI::ExistingFile)
      ->type_name("FILE");
  AddSweepFileOptions(cmd, o.sweepInputs);
  cmd->add_option("--out-dir", o.outDir, "Folder of ramp_.d and Steps_V_Imin_Imin2.dat (default: the current one)")
      ->type_name("DIR");
  cmd->add_flag("--json", o.json, "Print one JSON object: V_mV, Imin_nA, Imin2_nA, written");
  AddModelOptions(*cmd, o.model);
  // The series runs its own recording: a recording number would not be used.
  cmd->remove_option(cmd->get_option("--smpl"));
  return cmd;
}

int StepsCommand(StepsOptions& o) {
  auto s = std::make_unique<Session>();
  ApplyModelOptions(*s, o.model);
  s->steps = o.inputs;
  s->steps.IfDoubleSteps = !o.single;
  s->steps.SetVCatVexp = !o.noVCMode;
  s->ramp = o.sweepInputs;
  const std::string dir = OutDir(o.outDir);
  auto ramp = std::make_unique<TRamp>();
  ramp->Folder = dir;
  if (!o.fromSweeps.empty()) {
    s->steps.DataSource = 2;
    ramp->FileName = o.fromSweeps;
    if (!ReadRampFile(*ramp, s->ramp)) throw IoError(o.fromSweeps, "No such file");
    if (!ramp->Note.empty()) std::cerr << "membrix-cli: note: " << ramp->Note << "\n";
  }

  struct Printer final : StepSeriesSink {
    void Level(double V) override {
      if (progress) std::cerr << "\rV = " << Fixed(V, 7, 1) << " mV" << std::flush;
    }
    void Point(double V, const StepMinima& m, bool) override { rows.push_back({V, m.Imin / 1000.0, m.Imin2 / 1000.0}); }
    bool progress = Terminal();
    std::vector<std::vector<double>> rows;
  } printer;
  BatchHost host;
  NullRunViewSink views;
  RampSink rampSink;
  const StepSeriesResult result = RunSteps(*s, host, *ramp, printer, views, rampSink, dir);
  if (printer.progress) std::cerr << "\n";
  for (const std::string& note : s->SimplexMemo) std::cerr << "membrix-cli: " << note << "\n";
  if (!result.note.empty()) std::cerr << "membrix-cli: note: " << result.note << "\n";
  const std::string written =
      dir.empty() ? std::string(kStepResultFile) : (std::filesystem::path(dir) / kStepResultFile).string();
  if (o.json) {
    std::string cols[3];
    for (const auto& row : printer.rows) {
      for (int c = 0; c < 3; ++c) cols[c] += (cols[c].empty() ? "" : ", ") + CliNumber(row[c]);
    }
    std::cout << "{\"V_mV\": [" << cols[0] << "], \"Imin_nA\": [" << cols[1] << "], \"Imin2_nA\": [" << cols[2]
              << "], \"written\": \"" << written << "\"}\n";
    return 0;
  }
  std::cout << "    V, mV  Imin, nA Imin2, nA\n";
  for (const auto& row : printer.rows) {
    std::cout << Fixed(row[0], 9, 3) << " " << Fixed(row[1], 9, 3) << " " << Fixed(row[2], 9, 3) << "\n";
  }
  std::cout << "written: " << written << "\n";
  return 0;
}

CLI::App* AddPreviewCommand(CLI::App& app, PreviewOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "preview",
      "The stimulus of a clamp run over the whole run, without running a neuron: columns t (ms), injected "
      "current (pA), u (muA/cm^2) and s (nS) at every step, as the run would apply them.");
  std::string shapes;
  for (std::string_view n : kPulseShapeNames) shapes += (shapes.empty() ? "" : ", ") + std::string(n);
  cmd->add_option("--shape", o.shape, "Pulse shape: " + shapes + " (default: Step)");
  cmd->add_option("--out", o.out, "Write the columns to FILE instead of standard output")->type_name("FILE");
  cmd->add_option("--every", o.every, "Every Nth step only (default 1)")->check(CLI::PositiveNumber);
  AddModelOptions(*cmd, o.model);
  return cmd;
}

int PreviewCommand(const PreviewOptions& o) {
  auto s = std::make_unique<Session>();
  ApplyModelOptions(*s, o.model);
  if (!o.shape.empty()) {
    bool known = false;
    for (std::size_t i = 0; i < kPulseShapeNames.size(); ++i) {
      if (kPulseShapeNames[i] == o.shape) {
        s->stim.pulseShape = static_cast<PulseShape>(i);
        known = true;
      }
    }
    if (!known) throw FormatError("", 0, "unknown pulse shape \"" + o.shape + "\"");
  }
  std::ofstream file;
  if (!o.out.empty()) {
    file.open(o.out, std::ios::trunc);
    if (!file) throw IoError(o.out, std::strerror(errno));
  }
  std::ostream& out = o.out.empty() ? std::cout : file;
  struct Columns final : StimulusPreviewSink {
    Columns(std::ostream& out, int every) : out_(out), every_(every) {}
    void Sample(double tMs, double I, double u, double sDend) override {
      if (n_++ % every_ != 0) return;
      line_.clear();
      AppendFixed(line_, tMs, 9, 3);
      for (double x : {I, u, sDend}) {
        line_ += ' ';
        AppendScientific(line_, x, 13);
      }
      out_ << line_ << '\n';
    }
    std::ostream& out_;
    int every_;
    long n_ = 0;
    std::string line_;
  } columns(out, o.every);
  out << "#    t,ms  Iinj, pA      u, muA/cm^2   s, nS\n";
  BatchHost host;
  PreviewStimulus(*s, host, columns);
  out.flush();
  if (!out) throw IoError(o.out.empty() ? std::string("standard output") : o.out, "could not be written completely");
  if (!o.out.empty()) std::cerr << "written: " << o.out << "\n";
  return 0;
}

}  // namespace membrix
