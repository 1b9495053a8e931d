#pragma once
// The options every membrix-cli command that runs the model shares: the
// parameter file and recording, the model family, geometry and kind, the clamp
// mode, --set assignments, the run length and the time step. A command adds
// them to its CLI::App with AddModelOptions and builds its session with
// ApplyModelOptions, which also checks what was set.

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace membrix {

struct Session;

struct ModelOptions {
  std::string idFile;
  int smpl = -1;
  std::string family, geometry, mode;
  bool thrModel = false, lifModel = false;
  std::vector<std::string> assignments;
  double t_end = -1.0;
  double dt = -1.0;
};

// Adds --id, --smpl, --family, --geometry, --mode, --thr-model, --lif-model,
// --set, --t-end and --dt to cmd.
void AddModelOptions(CLI::App& cmd, ModelOptions& o);

// The program's start, then the parameter file (read once, so a pipe works
// as the file does), the model choices, the --set assignments, the time step
// and the run length, in that order. Refuses (membrix::Error) settings no run
// can use: a time step that is not positive, a negative run length, a writing
// or drawing cadence below 1, a clamp mode outside 1 ... 7, a recording number
// outside 0 ... 20.
void ApplyModelOptions(Session& s, const ModelOptions& o);

// A message for the terminal: control bytes escaped, every double-quoted part
// cut to 80 characters.
std::string TerminalMessage(const std::string& text);

}  // namespace membrix
