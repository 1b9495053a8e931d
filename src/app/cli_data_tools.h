#pragma once
// membrix-cli ramps, steps and preview: the ramp analyzer of recorded
// voltage-clamp sweeps, the voltage-step series and the stimulus preview, made
// from their tasks' declarations.

#include "app/cli_task.h"

namespace CLI {
class App;
}

namespace membrix {

CLI::App* AddRampsCommand(CLI::App& app, TaskCommand& command);
CLI::App* AddStepsCommand(CLI::App& app, TaskCommand& command);
CLI::App* AddPreviewCommand(CLI::App& app, TaskCommand& command);

}  // namespace membrix
