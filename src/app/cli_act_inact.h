#pragma once
// membrix-cli act-inact: the activation and inactivation curves of the NaR
// current from the 41 voltage-clamp recordings below a data folder, with the
// peaks printed and any of the window's column files written.

#include <string>

#include "app/cli_task.h"

namespace CLI {
class App;
}

namespace membrix {

CLI::App* AddActInactCommand(CLI::App& app, TaskCommand& command);

}  // namespace membrix
