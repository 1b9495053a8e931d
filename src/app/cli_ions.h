#pragma once
// The ion dynamics on the command line: the report of `membrix-cli run --ions`
// and the subcommand `membrix-cli pump-curves`, which writes the steady-state
// pump characteristics as a column file.

#include <string>

#include "app/cli_task.h"


namespace CLI {
class App;
}

namespace membrix {

struct Session;

// Lines about the ion dynamics of the last run, for the run's report; empty
// when ion dynamics was off.
std::string IonReport(const Session& s);

CLI::App* AddPumpCurvesCommand(CLI::App& app, TaskCommand& command);

}  // namespace membrix
