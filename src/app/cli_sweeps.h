#pragma once
// The sweep subcommands of membrix-cli: "fi", "adaptation", "thresholds". Each
// adds itself to the application and returns a function that runs it when it
// was chosen (its exit status; errors are thrown as membrix::Error).

#include <functional>

namespace CLI {
class App;
}

namespace membrix {

using SweepCommand = std::function<int()>;

CLI::App* AddFICommand(CLI::App& app, SweepCommand& command);
CLI::App* AddAdaptationCommand(CLI::App& app, SweepCommand& command);
CLI::App* AddThresholdsCommand(CLI::App& app, SweepCommand& command);
CLI::App* AddMapCommand(CLI::App& app, SweepCommand& command);
CLI::App* AddFiringClampCommand(CLI::App& app, SweepCommand& command);
CLI::App* AddEnsembleCommand(CLI::App& app, SweepCommand& command);
CLI::App* AddNetworkCommand(CLI::App& app, SweepCommand& command);
CLI::App* AddFCAnalysisCommand(CLI::App& app, SweepCommand& command);
CLI::App* AddKernelCommand(CLI::App& app, SweepCommand& command);

}  // namespace membrix
