// Prints, for every input of the parameter window that writes one value a
// session can be asked for by name, that name and the value the record keeps
// when the input shows 7: the units in which the Python module gives and takes
// a session's values (membrix/units.py) are checked against these lines by
// python/tests/test_units.py, so the module and the window cannot drift apart.
//
//   square <NP0.Square of the session>
//   <name> <value kept when the input shows 7>

#include <cstdio>
#include <string>
#include <vector>

#include "params/model_defaults.h"
#include "params/record_fields.h"
#include "run/session.h"
#include "run/session_reader.h"
#include "run/session_values.h"
#include "ui/parameter_window_inputs.h"

namespace {

std::vector<std::string> Names() {
  std::vector<std::string> names(membrix::SessionGlobalNames().begin(), membrix::SessionGlobalNames().end());
  for (const membrix::PropertyField& f : membrix::PropertyFields()) names.push_back("NP0." + std::string(f.name));
  return names;
}

bool Number(const membrix::SessionValue& v, double& x) {
  if (const auto* d = std::get_if<double>(&v)) {
    x = *d;
    return true;
  }
  return false;
}

}  // namespace

int main() {
  using namespace membrix;
  Session start;
  ApplyProgramStart(start);
  std::printf("square %.17g\n", start.NP0.Square);
  const std::vector<std::string> names = Names();
  for (const ParameterInputEntry& entry : ParameterInputs()) {
    if (entry.store == nullptr) continue;
    Session s = start;
    entry.store(s, 7.0);
    std::string found;
    double kept = 0.0;
    int changed = 0;
    for (const std::string& name : names) {
      double before = 0.0, after = 0.0;
      try {
        if (!Number(GetSessionValue(start, name), before) || !Number(GetSessionValue(s, name), after)) continue;
      } catch (const std::exception&) {
        continue;
      }
      if (before != after) {
        ++changed;
        found = name;
        kept = after;
      }
    }
    // An input of values no name reaches (the noise, the ion pages) is not listed.
    if (changed == 1) std::printf("%s %.17g\n", found.c_str(), kept);
  }
  return 0;
}
