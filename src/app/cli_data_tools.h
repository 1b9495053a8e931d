#pragma once
// membrix-cli ramps, steps and preview: the ramp analyzer of recorded
// voltage-clamp sweeps, the voltage-step series and the stimulus preview.

#include <string>
#include <vector>

#include "app/cli_model_options.h"
#include "data/ramp_analyzer.h"
#include "data/step_series.h"

namespace CLI {
class App;
}

namespace membrix {

struct RampsOptions {
  std::string file;
  RampInputs inputs;
  bool scaled = false;
  std::string outDir;
  bool json = false;
};

struct StepsOptions {
  ModelOptions model;
  StepSeriesInputs inputs;
  bool single = false;
  bool noVCMode = false;
  std::string fromSweeps;
  RampInputs sweepInputs;
  std::string outDir;
  bool json = false;
};

struct PreviewOptions {
  ModelOptions model;
  std::string shape;
  std::string out;
  int every = 1;
};

CLI::App* AddRampsCommand(CLI::App& app, RampsOptions& options);
CLI::App* AddStepsCommand(CLI::App& app, StepsOptions& options);
CLI::App* AddPreviewCommand(CLI::App& app, PreviewOptions& options);

// Each returns the exit status; errors are thrown as membrix::Error.
int RampsCommand(RampsOptions& options);
int StepsCommand(StepsOptions& options);
int PreviewCommand(const PreviewOptions& options);

}  // namespace membrix
