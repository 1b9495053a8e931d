#pragma once
// The ion dynamics on the command line: the options of `membrix-cli run --ions`
// (the inputs of the "Ions" and "NaK-pump" pages) and the subcommand
// `membrix-cli pump-curves`, which writes the steady-state pump
// characteristics as a column file.

#include <string>

#include "ions/ion_dynamics.h"

namespace CLI {
class App;
}

namespace membrix {

struct Session;

struct IonCliOptions {
  bool on = false;  // --ions
  bool volume = false;
  IonInputs inputs;
  std::string pumpType, kcc2Type, vlItem;  // by name or index; empty = the default
};

// Writes the options into the session's ion-dynamics inputs. Throws RangeError
// for a type or item that does not exist.
void ApplyIonOptions(Session& s, const IonCliOptions& options);
// Lines about the ion dynamics of the last run, for the run's report; empty
// when ion dynamics was off.
std::string IonReport(const Session& s);

struct PumpCurvesOptions {
  IonCliOptions ions;
  std::string out;
};

CLI::App* AddPumpCurvesCommand(CLI::App& app, PumpCurvesOptions& options);
int PumpCurvesCommand(const PumpCurvesOptions& options);

}  // namespace membrix
