#pragma once
// membrix-cli run: one clamp run, made from its task's declaration, with the
// lines of text it prints without --json.

#include <string>
#include <vector>

#include "app/cli_task.h"

namespace CLI {
class App;
}

namespace membrix {

CLI::App* AddRunCommand(CLI::App& app, TaskCommand& command);

// The command line with the old forms written as the options of today:
// "run ... --save-var NAME FILE" as "--save-var FILE --var-to-write NAME" (a
// note on stderr says so), and the sweep file of "ramps FILE" as "--file FILE".
// Any other command line is returned as it is.
std::vector<std::string> WithOldForms(int argc, char** argv);

}  // namespace membrix
