#pragma once
// membrix-cli reverse: the rate coefficients, the reversal potential and the
// maximal conductance of the sodium or the potassium current fitted to the
// conductance curves of a parameter file, with one progress line per pass and
// the fitted set written as a parameter file.

#include "app/cli_task.h"

namespace membrix {

CLI::App* AddReverseCommand(CLI::App& app, TaskCommand& command);

// Makes command send the pass lines of a fit to standard error when --json
// was given, so that standard output holds the summary alone.
void PassLinesAwayFromJson(CLI::App& cmd, TaskCommand& command);

}  // namespace membrix
