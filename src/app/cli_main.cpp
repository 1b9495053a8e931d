// membrix-cli: the batch face of Membrix. Runs the program's protocols from the
// command line, without windows, for scripts, cluster nodes and job arrays.

#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/cli_fit.h"
#include "app/cli_reverse.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/output_variables.h"
#include "run/session.h"
#include "run/session_values.h"
#include "run/trace_files.h"

namespace {

using namespace membrix;

// Collects the spike times of a run and draws nothing.
class SpikeTimes final : public RunViewSink {
 public:
  bool Drawing() const override { return false; }
  void Spike(double tSpike) override { times.push_back(tSpike); }
  std::vector<double> times;
};

std::string Number(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10g", x);
  return buf;
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Accepts a number of seconds above zero (or at least zero).
CLI::Validator Seconds(bool zeroAllowed) {
  return CLI::Validator(
      [zeroAllowed](std::string& text) -> std::string {
        double x = 0;
        if (!CLI::detail::lexical_cast(text, x)) return "\"" + text + "\" is not a number";
        if (x < 0 || (!zeroAllowed && x == 0) || !std::isfinite(x)) {
          return "\"" + text + "\" must be a " + (zeroAllowed ? "non-negative" : "positive") + " number of seconds";
        }
        return {};
      },
      zeroAllowed ? "SECONDS>=0" : "SECONDS>0");
}

struct RunOptions {
  double t_end = -1.0;
  double dt = -1.0;
  bool json = false;
  std::string idFile;
  int smpl = -1;
  std::string family, geometry, mode;
  bool thrModel = false, lifModel = false, writing = false;
  std::vector<std::string> assignments;
  std::string saveV, saveExpMod, saveMmrHhr;
  std::vector<std::string> saveVar;  // item, file
};

// The save command a run makes, if any: its file, mode and output-list item.
struct SaveRequest {
  std::string file;
  int mode = 0;
  std::string item;
};

std::optional<SaveRequest> SaveFor(const RunOptions& o) {
  if (!o.saveV.empty()) return SaveRequest{o.saveV, 1, {}};
  if (!o.saveExpMod.empty()) return SaveRequest{o.saveExpMod, 2, {}};
  if (!o.saveMmrHhr.empty()) return SaveRequest{o.saveMmrHhr, 3, {}};
  if (o.saveVar.size() == 2) return SaveRequest{o.saveVar[1], 4, o.saveVar[0]};
  return std::nullopt;
}

int RunCommand(const RunOptions& o) {
  Session s;
  ApplyProgramStart(s);
  if (!o.idFile.empty()) LoadParameterFile(s, o.idFile);
  if (o.smpl >= 0) s.rec.Smpl = o.smpl;
  if (!o.family.empty()) SelectModelFamily(s, o.family);
  if (!o.geometry.empty()) SelectGeometry(s, o.geometry);
  if (o.thrModel) SetThrModel(s, true);
  if (o.lifModel) SetLIFModel(s, true);
  if (!o.mode.empty()) SelectClampMode(s, o.mode);
  for (const std::string& a : o.assignments) SetSessionAssignment(s, a);
  if (o.dt > 0) SetTimeStep(s.run, o.dt);
  if (o.t_end >= 0) SetRunLength(s.run, o.t_end);
  if (o.writing) s.run.Writing = 1;

  BatchHost host(true);  // a save is always confirmed
  SpikeTimes spikes;
  const std::optional<SaveRequest> save = SaveFor(o);
  const auto start = std::chrono::steady_clock::now();
  const double deviation =
      save ? SaveTraceRun(s, host, spikes, save->file, save->mode, save->item) : RunClamp(s, host, spikes);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Notes about the parameter input ("Bad format of input file ...") go to the
  // error stream, so a script sees them without mistaking them for results.
  for (const std::string& note : s.SimplexMemo) std::cerr << "membrix-cli: " << note << "\n";

  if (o.json) {
    std::string times;
    for (std::size_t i = 0; i < spikes.times.size(); ++i) times += (i ? ", " : "") + Number(spikes.times[i]);
    std::cout << "{\"steps\": " << s.run.nt << ", \"spike_times\": [" << times
              << "], \"deviation\": " << Number(deviation) << ", \"elapsed_seconds\": " << Number(elapsed);
    if (save) std::cout << ", \"written\": " << JsonText(save->file);
    std::cout << "}\n";
    return 0;
  }
  const NeuronProperties& np = s.NP0;
  std::cout << "model: " << np.HH_type << ", " << np.HH_order
            << (np.LIF_model == 1 ? ", integrate-and-fire" : np.ThrModel == 1 ? ", threshold model" : "")
            << ", clamp mode " << np.If_I_V_or_g << "\n"
            << "recording: " << s.rec.Smpl << " (" << s.rec.SmplFile[s.rec.Smpl] << ")\n"
            << "steps: " << s.run.nt << " of " << Number(s.run.dt * 1000.0) << " ms (" << Number(s.run.t * 1000.0)
            << " ms)\n"
            << "spikes: " << spikes.times.size();
  if (!spikes.times.empty()) {
    std::cout << " at";
    for (double t : spikes.times) std::cout << " " << Number(t * 1000.0);
    std::cout << " ms";
  }
  std::cout << "\nfinal V: " << Number(s.NV0.V * 1000.0) << " mV\n";
  const int mode = np.If_I_V_or_g;
  if (mode == 1 || mode == 3 || mode == 4 || mode == 5) {
    std::cout << "final clamp current: " << Number(s.NV0.PSC) << " pA\n";
  }
  std::cout << "deviation from the recording: " << Number(deviation) << "\n";
  if (save) std::cout << "written: " << save->file << " (" << s.trace.StatusText << ")\n";
  std::cout << "elapsed: " << Number(elapsed) << " s\n";
  return 0;
}

std::string OutputItemsText() {
  std::string items;
  for (std::string_view item : OutputVariables()) items += (items.empty() ? "" : ", ") + std::string(item);
  return items;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "membrix-cli runs the Membrix neuron models without windows: clamp protocols from the "
      "built-in parameter sets or from .id parameter files, with results on standard output.",
      "membrix-cli"};
  app.require_subcommand(1);

  RunOptions run;
  CLI::App* runCmd = app.add_subcommand(
      "run", "One clamp run, from the built-in start-up parameters (\"Lyle\", \"1-point\", 600 ms) or from a "
             "parameter file; prints the steps made, the spike times, the deviation from the recording and "
             "the time taken.");
  runCmd->add_option("--id", run.idFile, "Open a .id parameter file first, as the workbench's File menu does")
      ->check(CLI::ExistingFile);
  runCmd->add_option("--smpl", run.smpl, "Run recording K (0 ... 20) of the parameter file")
      ->check(CLI::Range(0, 20));
  runCmd->add_option("--family", run.family,
                     "Model family, as the HH_type menu: Rariza, Passive, Destexhe, Migliore, Cummins, Chow, "
                     "Lyle, Naundorf, White, White2, Shu, Bazhenov (resets the parameters to its defaults)");
  runCmd->add_option("--geometry", run.geometry,
                     "Geometry: 1-point, 2-points, 2-p-MainenSejn, 2-p-ActiveDend (resets the defaults)");
  runCmd->add_option("--mode", run.mode,
                     "Clamp mode by name or number: 1 VC, 2 CC, 3 \"for  gNa\", 4 \"VC with pipette\", "
                     "5 \"VC at Vexp\", 6 Iind, 7 Iind=Vexp");
  runCmd->add_flag("--thr-model", run.thrModel, "Use the threshold neuron of the family");
  runCmd->add_flag("--lif-model", run.lifModel, "Use the adaptive exponential integrate-and-fire neuron");
  runCmd->add_option("--set", run.assignments,
                     "KEY=VALUE: set a protocol global (Iind, t_Iind, t_IindShift, Freq_Iind, uu, ss, Vh, ...) "
                     "or a parameter field (NP0.gNa, NP0.Thr_type, ...) in internal units (s, V, pA for Iind); "
                     "may be repeated; applied after --id, --family, --geometry and --mode")
      ->type_name("KEY=VALUE");
  runCmd->add_option("--t-end", run.t_end, "Length of the run in seconds")->check(Seconds(true));
  runCmd->add_option("--dt", run.dt, "Time step in seconds (default 5e-5)")->check(Seconds(false));
  auto* saveV = runCmd->add_option("--save-v", run.saveV, "Write t (ms) and V (mV) to FILE every n_Write steps")
                    ->type_name("FILE");
  auto* saveExp = runCmd->add_option("--save-exp-mod", run.saveExpMod,
                                     "Write t (ms), the recorded and the model value to FILE")
                      ->type_name("FILE");
  auto* saveMmr = runCmd->add_option("--save-mmr-hhr", run.saveMmrHhr,
                                     "Write t (ms), mmR and hhR (m and h of the slow Na current) to FILE")
                      ->type_name("FILE");
  auto* saveVar = runCmd->add_option("--save-var", run.saveVar,
                                     "Write t (ms) and the item NAME of the output list to FILE; NAME is one "
                                     "of: " + OutputItemsText())
                      ->expected(2)
                      ->type_name("NAME FILE");
  saveV->excludes(saveExp)->excludes(saveMmr)->excludes(saveVar);
  saveExp->excludes(saveMmr)->excludes(saveVar);
  saveMmr->excludes(saveVar);
  runCmd->add_flag("--writing", run.writing,
                   "Also write the run log (the recording's name + \"at\") and the ion file "
                   "\"t_V_pump_Na_VNa_K_VK.dat\", as the Writing menu item does");
  runCmd->add_flag("--json", run.json,
                   "Print one JSON object: steps, spike_times (s), deviation, elapsed_seconds");

  FitOptions fit;
  CLI::App* fitCmd = AddFitCommand(app, fit);
  ReverseOptions reverse;
  CLI::App* reverseCmd = AddReverseCommand(app, reverse);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  try {
    if (*runCmd) return RunCommand(run);
    if (*fitCmd) return FitCommand(fit);
    if (*reverseCmd) return ReverseCommand(reverse);
  } catch (const membrix::Error& e) {
    std::cerr << "membrix-cli: " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "membrix-cli: internal error: " << e.what() << "\n";
    return 1;
  }
  return 2;
}
