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

#include "app/cli_act_inact.h"
#include "app/cli_data_tools.h"
#include "app/cli_fit.h"
#include "app/cli_job.h"
#include "app/cli_fiber.h"
#include "app/cli_model_options.h"
#include "app/cli_sweeps.h"
#include "common/version.h"
#include "app/cli_ions.h"
#include "app/cli_reverse.h"
#include "app/cli_task.h"
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

// A number for JSON, which has no NaN or infinities: those are null.
std::string JsonNumber(double x) { return std::isfinite(x) ? Number(x) : "null"; }

// Why a run's deviation is not a number.
std::string DeviationNote(const Session& s) {
  if (!(s.rec.scx_Smpl > 0)) {
    return "the deviation cannot be computed: scx_Smpl = " + Number(s.rec.scx_Smpl) +
           " puts the recording's times nowhere on the model's time grid";
  }
  return "the deviation cannot be computed: the model or the recording holds values that are not numbers";
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

struct RunOptions {
  ModelOptions model;
  bool json = false;
  bool writing = false;
  std::string saveV, saveExpMod, saveMmrHhr;
  std::vector<std::string> saveVar;  // item, file
  IonCliOptions ions;
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
  ApplyModelOptions(s, o.model);
  if (o.writing) s.run.Writing = 1;
  ApplyIonOptions(s, o.ions);

  BatchHost host(true);  // a save is always confirmed
  SpikeTimes spikes;
  const std::optional<SaveRequest> save = SaveFor(o);
  const auto start = std::chrono::steady_clock::now();
  const double deviation =
      save ? SaveTraceRun(s, host, spikes, save->file, save->mode, save->item) : RunClamp(s, host, spikes);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Notes about the parameter input ("Bad format of input file ...") go to the
  // error stream, so a script sees them without mistaking them for results.
  for (const std::string& note : s.SimplexMemo) std::cerr << "membrix-cli: " << TerminalMessage(note) << "\n";
  const std::string deviationNote = std::isfinite(deviation) ? std::string() : DeviationNote(s);
  if (!deviationNote.empty()) std::cerr << "membrix-cli: " << deviationNote << "\n";

  if (o.json) {
    std::string times;
    for (std::size_t i = 0; i < spikes.times.size(); ++i) times += (i ? ", " : "") + JsonNumber(spikes.times[i]);
    std::cout << "{\"steps\": " << s.run.nt << ", \"spike_times\": [" << times
              << "], \"deviation\": " << JsonNumber(deviation);
    if (!deviationNote.empty()) std::cout << ", \"deviation_note\": " << JsonText(deviationNote);
    std::cout << ", \"elapsed_seconds\": " << JsonNumber(elapsed);
    if (save) std::cout << ", \"written\": " << JsonText(save->file);
    std::cout << IonJson(s);
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
  std::cout << "deviation from the recording: " << (deviationNote.empty() ? Number(deviation) : "none") << "\n";
  std::cout << IonReport(s);
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

static int CliMain(JobProcesses& job, int argc, char** argv) {
  CLI::App app{
      "membrix-cli runs the Membrix neuron models without windows: clamp protocols from the "
      "built-in parameter sets or from .id parameter files, with results on standard output.",
      "membrix-cli"};
  app.require_subcommand(1);
  app.footer("Under mpirun or srun, fi, adaptation, thresholds, map, ensemble and fc-analysis --trials share their "
             "runs among the processes; process 0 writes the same files as a single process would.");
  app.set_version_flag("--version", std::string(ProgramTitle()), "Print the program's name and version and exit");

  RunOptions run;
  CLI::App* runCmd = app.add_subcommand(
      "run", "One clamp run, from the built-in start-up parameters (\"Lyle\", \"1-point\", 600 ms) or from a "
             "parameter file; prints the steps made, the spike times, the deviation from the recording and "
             "the time taken.");
  AddModelOptions(*runCmd, run.model);
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

  AddIonOptions(runCmd, run.ions);

  FitOptions fit;
  CLI::App* fitCmd = AddFitCommand(app, fit);
  SweepCommand fiRun;
  CLI::App* fiCmd = AddFICommand(app, fiRun);
  SweepCommand adaptationRun;
  CLI::App* adaptationCmd = AddAdaptationCommand(app, adaptationRun);
  SweepCommand thresholdsRun;
  CLI::App* thresholdsCmd = AddThresholdsCommand(app, thresholdsRun);
  SweepCommand mapRun;
  CLI::App* mapCmd = AddMapCommand(app, mapRun);
  SweepCommand fiberRun;
  CLI::App* fiberCmd = AddFiberCommand(app, fiberRun);
  SweepCommand firingClampRun;
  CLI::App* firingClampCmd = AddFiringClampCommand(app, firingClampRun);
  SweepCommand ensembleRun;
  CLI::App* ensembleCmd = AddEnsembleCommand(app, ensembleRun);
  SweepCommand networkRun;
  CLI::App* networkCmd = AddNetworkCommand(app, networkRun);
  SweepCommand fcAnalysisRun;
  CLI::App* fcAnalysisCmd = AddFCAnalysisCommand(app, fcAnalysisRun);
  SweepCommand kernelRun;
  CLI::App* kernelCmd = AddKernelCommand(app, kernelRun);
  TaskCommand actInactRun;
  CLI::App* actInactCmd = AddActInactCommand(app, actInactRun);
  TaskCommand pumpCurvesRun;
  CLI::App* pumpCurvesCmd = AddPumpCurvesCommand(app, pumpCurvesRun);
  RampsOptions ramps;
  CLI::App* rampsCmd = AddRampsCommand(app, ramps);
  StepsOptions steps;
  CLI::App* stepsCmd = AddStepsCommand(app, steps);
  PreviewOptions preview;
  CLI::App* previewCmd = AddPreviewCommand(app, preview);
  ReverseOptions reverse;
  CLI::App* reverseCmd = AddReverseCommand(app, reverse);
  TaskCommand taskList;
  CLI::App* taskListCmd = AddTaskListCommand(app, taskList);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  // Under mpirun the commands below share their runs among the processes;
  // every other command runs in the writer alone.
  const bool shared = *fiCmd || *adaptationCmd || *thresholdsCmd || *mapCmd || *ensembleCmd || *fcAnalysisCmd;
  if (job.Helper() && !shared) return 0;
  try {
    if (*runCmd) return RunCommand(run);
    if (*fitCmd) return FitCommand(fit);
    if (*fiCmd) return fiRun();
    if (*adaptationCmd) return adaptationRun();
    if (*thresholdsCmd) return thresholdsRun();
    if (*mapCmd) return mapRun();
    if (*fiberCmd) return fiberRun();
    if (*firingClampCmd) return firingClampRun();
    if (*ensembleCmd) return ensembleRun();
    if (*networkCmd) return networkRun();
    if (*fcAnalysisCmd) return fcAnalysisRun();
    if (*kernelCmd) return kernelRun();
    if (*actInactCmd) return actInactRun();
    if (*pumpCurvesCmd) return pumpCurvesRun();
    if (*rampsCmd) return RampsCommand(ramps);
    if (*stepsCmd) return StepsCommand(steps);
    if (*previewCmd) return PreviewCommand(preview);
    if (*reverseCmd) return ReverseCommand(reverse);
    if (*taskListCmd) return taskList();
  } catch (const HelperFinished&) {
    return 0;  // this process sent its share; the writer reports
  } catch (const membrix::RangeError& e) {
    // A value the command does not take: refused before any work.
    return job.Fail("membrix-cli: " + TerminalMessage(e.what()), 2);
  } catch (const membrix::Error& e) {
    return job.Fail("membrix-cli: " + TerminalMessage(e.what()));
  } catch (const std::bad_alloc&) {
    return job.Fail("membrix-cli: this task needs more memory than the machine could give; make it smaller "
                    "(fewer runs, points or members, or a shorter run)");
  } catch (const std::exception& e) {
    return job.Fail("membrix-cli: internal error: " + TerminalMessage(e.what()));
  }
  return 2;
}

int main(int argc, char** argv) {
  JobProcesses job(argc, argv);
  return job.Finish(CliMain(job, argc, argv));
}
