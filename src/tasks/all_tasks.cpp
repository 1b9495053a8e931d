#include "tasks/tasks.h"

namespace membrix {

const std::vector<const TaskDeclaration*>& AllTasks() {
  static const std::vector<const TaskDeclaration*> tasks = {
      &FITask(),
      &AdaptationTask(),
      &ThresholdsTask(),
      &MapTask(),
      &FiringClampTask(),
      &FiberTask(),
      &PumpCurvesTask(),
      &ActInactTask(),
  };
  return tasks;
}

}  // namespace membrix
