#pragma once
// membrix-cli act-inact: the activation and inactivation curves of the NaR
// current from the 41 voltage-clamp recordings below a data folder, with the
// peaks printed and any of the window's column files written.

#include <string>

namespace CLI {
class App;
}

namespace membrix {

struct ActInactOptions {
  std::string idFile;
  std::string dataFolder;  // empty: the current folder, else the parameter file's
  std::string saveG, saveI, saveNorm, saveNormI, saveSteady, saveTau;
  double t_end = -1.0;
  double dt = -1.0;
  bool json = false;
};

CLI::App* AddActInactCommand(CLI::App& app, ActInactOptions& options);

// Computes and writes; returns the exit status. Errors are thrown as membrix::Error.
int ActInactCommand(const ActInactOptions& options);

}  // namespace membrix
