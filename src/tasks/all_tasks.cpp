#include "tasks/tasks.h"

namespace membrix {

const std::vector<const TaskDeclaration*>& AllTasks() {
  static const std::vector<const TaskDeclaration*> tasks = {&FITask()};
  return tasks;
}

}  // namespace membrix
