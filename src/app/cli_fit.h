#pragma once
// membrix-cli fit: the fit of chosen model parameters to the recordings of a
// parameter file, by the simplex, a global search or the simplex from several
// starts, with its progress and the fitted values written as a parameter file.

#include "app/cli_task.h"

namespace membrix {

CLI::App* AddFitCommand(CLI::App& app, TaskCommand& command);

}  // namespace membrix
