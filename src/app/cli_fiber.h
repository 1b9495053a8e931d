#pragma once
// membrix-cli fiber, and the options of the distributed model that "fi" and
// "map" take with --distributed.

#include "app/cli_sweeps.h"

namespace CLI {
class App;
}

namespace membrix {

struct FiberInputs;

// The axon's geometry, channel distribution, stimulation and drawing options,
// in the units of the distributed-model window.
void AddFiberOptions(CLI::App& cmd, FiberInputs& in);

CLI::App* AddFiberCommand(CLI::App& app, SweepCommand& command);

}  // namespace membrix
