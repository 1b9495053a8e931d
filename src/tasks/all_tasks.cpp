#include "tasks/tasks.h"

namespace membrix {

const std::vector<const TaskDeclaration*>& AllTasks() {
  static const std::vector<const TaskDeclaration*> tasks = {
      &FITask(),
      // adaptation, thresholds, map, firing-clamp
      &AdaptationTask(),
      &ThresholdsTask(),
      &MapTask(),
      &FiringClampTask(),
  };
  return tasks;
}

}  // namespace membrix
