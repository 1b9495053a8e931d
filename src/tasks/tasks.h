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

}  // namespace membrix
