#pragma once
// The inputs every task that runs the model shares: the parameter file and its
// recording, the model family, geometry and kind, the clamp mode, assignments
// to the record, the time step, the workers and the seed. They are applied in
// one order, the same from the batch tool, the settings file and Python, and
// the run settings that result are checked however they were set.

#include <vector>

#include "tasks/task_declaration.h"

namespace membrix {

struct Session;
struct TaskInputs;

// --id, --smpl, --family, --geometry, --mode, --thr-model, --lif-model, --set,
// --dt-ms and --threads; with seed, also --seed.
std::vector<TaskInput> ModelInputs(bool withMode = true);
TaskInput SeedInput();
// --integrator, --rtol, --atol: for the tasks whose runs the error-controlled
// integrator can make.
std::vector<TaskInput> IntegratorInputs();

// The program's start, then the parameter file, the recording, the family,
// the geometry, the model kind, the clamp mode, the assignments, the time
// step, the workers and the seed, in that order; then the task's own bound
// inputs that were given, into the session or the task inputs; then
// CheckRunSettings. Without fromStart the session is taken as it stands (a
// model prepared in Python) in place of the program's start.
void ApplyModelInputs(Session& s, TaskInputs& inputs, const TaskDeclaration& task, const TaskValues& values,
                      bool fromStart = true);

// Refuses (RangeError) the run settings no run can use: a time step or run
// length that is not a positive finite number of seconds, a writing or drawing
// cadence below 1, a clamp mode outside 1 ... 7, a recording number outside
// 0 ... 20.
void CheckRunSettings(const Session& s);

}  // namespace membrix
