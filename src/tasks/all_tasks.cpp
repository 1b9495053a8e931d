#include "tasks/tasks.h"

namespace membrix {

const std::vector<const TaskDeclaration*>& AllTasks() {
  static const std::vector<const TaskDeclaration*> tasks = {
      &RunTask(),
      &FITask(),
      &AdaptationTask(),
      &ThresholdsTask(),
      &MapTask(),
      &FiringClampTask(),
      &FCAnalysisTask(),
      &KernelTask(),
      &FiberTask(),
      &PumpCurvesTask(),
      &ActInactTask(),
      &RampsTask(),
      &StepsTask(),
      &PreviewTask(),
      &EnsembleTask(),
      &NetworkTask(),
      &ReverseTask(),
      &FitTask(),
  };
  return tasks;
}

}  // namespace membrix
