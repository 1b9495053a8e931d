#pragma once
// The ion dynamics on the command line: the options of `membrix-cli run --ions`
// (the inputs of the "Ions" and "NaK-pump" pages) and the subcommand
// `membrix-cli pump-curves`, which writes the steady-state pump
// characteristics as a column file.

#include <string>

#include "app/cli_task.h"

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

// Adds --ions and the ion-dynamics inputs to the run command.
void AddIonOptions(CLI::App* run, IonCliOptions& options);
// Writes the options into the session's ion-dynamics inputs. Throws RangeError
// for a type or item that does not exist.
void ApplyIonOptions(Session& s, const IonCliOptions& options);
// Lines about the ion dynamics of the last run, for the run's report; empty
// when ion dynamics was off.
std::string IonReport(const Session& s);
// The same as JSON members (", \"ions\": {...}"); empty when it was off.
std::string IonJson(const Session& s);

CLI::App* AddPumpCurvesCommand(CLI::App& app, TaskCommand& command);

}  // namespace membrix
