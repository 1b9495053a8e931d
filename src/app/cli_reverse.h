#pragma once
// membrix-cli reverse: the rate coefficients, the reversal potential and the
// maximal conductance of the sodium or the potassium current fitted to the
// conductance curves of a parameter file, with one progress line per pass and
// the fitted set written as a parameter file.

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace membrix {

struct ReverseOptions {
  std::string idFile;
  std::string current;           // "na" or "k"
  std::vector<std::string> fit;  // coefficients to fit; empty = those the choice of current ticks
  std::string out;               // the fitted parameter file; empty = none
  double tolerance = 0.0;        // 0 = 1e-4
  int maxPasses = 0;             // 0 = until the tolerance is reached
  int restarts = 3;              // new starts from the result while they lower the residual
};

CLI::App* AddReverseCommand(CLI::App& app, ReverseOptions& options);

// Runs the reverse problem; returns the exit status. Errors are thrown as
// membrix::Error.
int ReverseCommand(const ReverseOptions& options);

}  // namespace membrix
