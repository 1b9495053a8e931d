// membrix-cli: the batch face of Membrix. Runs the program's protocols from the
// command line, without windows, for scripts, cluster nodes and job arrays.

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "app/cli_act_inact.h"
#include "app/cli_data_tools.h"
#include "app/cli_fit.h"
#include "app/cli_job.h"
#include "app/cli_fiber.h"
#include "app/cli_ions.h"
#include "app/cli_model_options.h"
#include "app/cli_sweeps.h"
#include "common/version.h"
#include "app/cli_reverse.h"
#include "app/cli_run.h"
#include "app/cli_task.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/session.h"
#include "run/session_values.h"

using namespace membrix;

static int CliMain(JobProcesses& job, int argc, char** argv) {
  CLI::App app{
      "membrix-cli runs the Membrix neuron models without windows: clamp protocols from the "
      "built-in parameter sets or from .id parameter files, with results on standard output.",
      "membrix-cli"};
  app.require_subcommand(1);
  app.footer("Under mpirun or srun, fi, adaptation, thresholds, map, ensemble and fc-analysis --trials share their "
             "runs among the processes; process 0 writes the same files as a single process would.");
  app.set_version_flag("--version", std::string(ProgramTitle()), "Print the program's name and version and exit");

  TaskCommand runRun;
  CLI::App* runCmd = AddRunCommand(app, runRun);

  TaskCommand fitRun;
  CLI::App* fitCmd = AddFitCommand(app, fitRun);
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
  TaskCommand rampsRun;
  CLI::App* rampsCmd = AddRampsCommand(app, rampsRun);
  TaskCommand stepsRun;
  CLI::App* stepsCmd = AddStepsCommand(app, stepsRun);
  TaskCommand previewRun;
  CLI::App* previewCmd = AddPreviewCommand(app, previewRun);
  TaskCommand reverseRun;
  CLI::App* reverseCmd = AddReverseCommand(app, reverseRun);
  TaskCommand taskList;
  CLI::App* taskListCmd = AddTaskListCommand(app, taskList);

  std::vector<std::string> args = WithOldForms(argc, argv);
  std::vector<char*> argvNew;
  for (std::string& a : args) argvNew.push_back(a.data());
  try {
    app.parse(static_cast<int>(argvNew.size()), argvNew.data());
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
    if (*runCmd) return runRun();
    if (*fitCmd) return fitRun();
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
    if (*rampsCmd) return rampsRun();
    if (*stepsCmd) return stepsRun();
    if (*previewCmd) return previewRun();
    if (*reverseCmd) return reverseRun();
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
