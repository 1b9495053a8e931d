#include "app/cli_model_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/cli_sweep_support.h"
#include "common/error.h"
#include "common/quoted_text.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/recording.h"
#include "run/session.h"
#include "run/session_values.h"
#include "tasks/model_inputs.h"

namespace membrix {

namespace {

// Accepts a number of seconds above zero (or at least zero).
CLI::Validator Seconds(bool zeroAllowed) {
  return CLI::Validator(
      [zeroAllowed](std::string& text) -> std::string {
        double x = 0;
        if (!CLI::detail::lexical_cast(text, x)) return Quoted(text) + " is not a number";
        if (x < 0 || (!zeroAllowed && x == 0) || !std::isfinite(x)) {
          return Quoted(text) + " must be a " + (zeroAllowed ? "non-negative" : "positive") + " number of seconds";
        }
        return {};
      },
      zeroAllowed ? "SECONDS>=0" : "SECONDS>0");
}

}  // namespace

void AddModelOptions(CLI::App& cmd, ModelOptions& o) {
  cmd.add_option("--id", o.idFile, "Open a .id parameter file first, as the workbench's File menu does")
      ->check(CLI::ExistingFile);
  cmd.add_option("--smpl", o.smpl, "Run recording K (0 ... 20) of the parameter file")->check(CLI::Range(0, 20));
  cmd.add_option("--family", o.family,
                 "Model family, as the HH_type menu: Rariza, Passive, Destexhe, Migliore, Cummins, Chow, "
                 "Lyle, Naundorf, White, White2, Shu, Bazhenov (resets the parameters to its defaults)");
  cmd.add_option("--geometry", o.geometry,
                 "Geometry: 1-point, 2-points, 2-p-MainenSejn, 2-p-ActiveDend (resets the defaults)");
  cmd.add_option("--mode", o.mode,
                 "Clamp mode by name or number: 1 VC, 2 CC, 3 \"for  gNa\", 4 \"VC with pipette\", "
                 "5 \"VC at Vexp\", 6 Iind, 7 Iind=Vexp");
  cmd.add_flag("--thr-model", o.thrModel, "Use the threshold neuron of the family");
  cmd.add_flag("--lif-model", o.lifModel, "Use the adaptive exponential integrate-and-fire neuron");
  cmd.add_option("--set", o.assignments,
                 "KEY=VALUE: set a protocol global (Iind, t_Iind, t_IindShift, Freq_Iind, uu, ss, Vh, ...) "
                 "or a parameter field (NP0.gNa, NP0.Thr_type, ...) in internal units (s, V, pA for Iind); "
                 "may be repeated; applied after --id, --family, --geometry and --mode")
      ->type_name("KEY=VALUE");
  cmd.add_option("--t-end", o.t_end, "Length of the run in seconds")->check(Seconds(true));
  cmd.add_option("--dt", o.dt, "Time step in seconds (default 5e-5)")->check(Seconds(false));
}

void ApplyModelOptions(Session& s, const ModelOptions& o) {
  ApplyProgramStart(s);
  if (!o.idFile.empty()) {
    LoadParameterFile(s, o.idFile);
  }
  if (o.smpl >= 0) s.rec.Smpl = o.smpl;
  if (!o.family.empty()) SelectModelFamily(s, o.family);
  if (!o.geometry.empty()) SelectGeometry(s, o.geometry);
  if (o.thrModel) SetThrModel(s, true);
  if (o.lifModel) SetLIFModel(s, true);
  if (!o.mode.empty()) SelectClampMode(s, o.mode);
  for (const std::string& a : o.assignments) SetSessionAssignment(s, a);
  if (o.dt > 0) SetTimeStep(s.run, o.dt);
  if (o.t_end >= 0) SetRunLength(s.run, o.t_end);
  CheckRunSettings(s);
}

std::string TerminalMessage(const std::string& text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('"', i);
    const std::size_t close = open == std::string::npos ? open : text.find('"', open + 1);
    if (close == std::string::npos) break;
    out += Escaped(std::string_view(text).substr(i, open - i));
    out += Quoted(std::string_view(text).substr(open + 1, close - open - 1));
    i = close + 1;
  }
  return out + Escaped(std::string_view(text).substr(std::min(i, text.size())));
}

}  // namespace membrix
