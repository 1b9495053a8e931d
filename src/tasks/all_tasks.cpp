#include "tasks/tasks.h"

namespace membrix {

const std::vector<const TaskDeclaration*>& AllTasks() {
  static const std::vector<const TaskDeclaration*> tasks = {
      &FITask(),
      &RunTask(),
      &RampsTask(),
      &StepsTask(),
      &PreviewTask(),
  };
  return tasks;
}

}  // namespace membrix
