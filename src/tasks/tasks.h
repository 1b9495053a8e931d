#pragma once
// The declared tasks. Each is made once, on first use.

#include "run/independent_runs.h"
#include "tasks/task_declaration.h"

namespace membrix {

const TaskDeclaration& FITask();

const TaskDeclaration& AdaptationTask();
const TaskDeclaration& ThresholdsTask();
const TaskDeclaration& MapTask();
const TaskDeclaration& FiringClampTask();
// From the records of noisy firing-clamp runs back to the conductances that
// drove them; the Z-function kernel and the one-ISI analysis.
const TaskDeclaration& FCAnalysisTask();
const TaskDeclaration& KernelTask();

// The drive of a firing-clamp run (mean input, clamp, noise, modulation,
// length), shared by the firing clamp and the analyses made of its runs.
struct FiringClampDriveDefaults {
  double u = 5.0;              // µA/cm²
  double s = 0.0;              // mS/cm²
  double noiseToSignal = 0.0;
};
std::vector<TaskInput> FiringClampDriveInputs(const FiringClampDriveDefaults& defaults);

// The reset protocol after a spike, as the main window's list chooses it:
// the map, the firing clamp and its analyses take it alike.
TaskInput ResetProtocolInput();
// Puts the drive's unbound inputs into the session (the mean input, the noise,
// the modulation, the run length; no injected current).
void ApplyFiringClampDrive(Session& s, const TaskValues& v);
// How a firing-clamp run ended: complete, or stopped after so many ms of its
// t_end_ms.
struct FiringClampResult;
void EndFiringClampRun(TaskCall& call, const FiringClampResult& r);
const TaskDeclaration& FiberTask();
const TaskDeclaration& PumpCurvesTask();
const TaskDeclaration& ActInactTask();

// How a task's independent runs ended: complete, or stopped after the runs
// delivered of total (counted in unit: "currents", "points", ...).
inline void EndRuns(TaskCall& call, const RunsOutcome& outcome, std::int64_t total, std::string unit) {
  call.complete = !outcome.stopped;
  call.done = outcome.delivered;
  call.total = total;
  call.doneUnit = std::move(unit);
}

// The inputs of the axon of the distributed model (the fiber, and the f-I
// curve and map with --distributed).
std::vector<TaskInput> FiberAxonInputs();

// One clamp run; the ramp analyzer, the voltage-step series and the stimulus
// preview.
const TaskDeclaration& RunTask();
const TaskDeclaration& RampsTask();
const TaskDeclaration& StepsTask();
const TaskDeclaration& PreviewTask();

// The inputs of a sweep file (t_max_limit_ms, cesium_shift) for the ramp
// analyzer and the step series.
std::vector<TaskInput> SweepFileInputs();
// The fits: the reverse problem of a current and the fit of chosen parameters
// to the recordings.
const TaskDeclaration& ReverseTask();
const TaskDeclaration& FitTask();

// Makes the output folder of a task (empty: the current one) and returns it.
std::string TaskOutDir(const std::string& dir);
// The path of name inside dir (empty dir: name itself).
std::string InDir(const std::string& dir, const std::string& name);

// The population rate of an ensemble of uncoupled neurons and of the
// inhibitory network.
const TaskDeclaration& EnsembleTask();
const TaskDeclaration& NetworkTask();
// The inputs of the "Problem" group both take (network: its own member count).
std::vector<TaskInput> PopulationProblemInputs(bool network);
// Puts the problem inputs that are not bound into the ensemble's inputs and
// the session (the fixed threshold) and returns the members' model.
enum class EnsembleModel;
struct EnsembleInputs;
EnsembleModel ApplyPopulationProblem(Session& s, EnsembleInputs& in, const TaskValues& v);
// The rate summary of a run whose bins 0 ... bins-1 hold a rate: bins, bin_ms,
// rate_peak_Hz, rate_mean_Hz (null with no bin) and rate_covered_ms.
class RateHistogram;
void RateResults(nlohmann::ordered_json& r, const RateHistogram& ro, std::int32_t bins, double t_end);

}  // namespace membrix
