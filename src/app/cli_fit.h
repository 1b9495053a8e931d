#pragma once
// membrix-cli fit: the simplex fit of chosen model parameters to the
// recordings of a parameter file, with one progress line per pass and the
// fitted values written as a parameter file.

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace membrix {

struct FitOptions {
  std::string idFile;
  std::vector<std::string> parameters;  // Simplex menu items or field names; empty = the default marks
  std::string out;                      // parameter file of the fitted values; empty = none
  double tolerance = 0.0;               // 0 = 1e-4
  int maxPasses = 0;                    // 0 = until the tolerance is reached
};

// Adds the "fit" subcommand with its options to app.
CLI::App* AddFitCommand(CLI::App& app, FitOptions& options);

// Runs the fit; returns the exit status. Errors are thrown as membrix::Error.
int FitCommand(const FitOptions& options);

}  // namespace membrix
