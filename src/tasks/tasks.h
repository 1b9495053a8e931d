#pragma once
// The declared tasks. Each is made once, on first use.

#include "tasks/task_declaration.h"

namespace membrix {

const TaskDeclaration& FITask();

const TaskDeclaration& AdaptationTask();
const TaskDeclaration& ThresholdsTask();
const TaskDeclaration& MapTask();
const TaskDeclaration& FiringClampTask();
const TaskDeclaration& FiberTask();
const TaskDeclaration& PumpCurvesTask();
const TaskDeclaration& ActInactTask();

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

}  // namespace membrix
