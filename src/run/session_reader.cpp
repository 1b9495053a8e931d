#include "run/session_reader.h"

#include "common/error.h"
#include "params/record_fields.h"
#include "run/session.h"

namespace membrix {

namespace {

struct GlobalReader {
  std::string_view name;
  SessionValue (*get)(const Session&);
};

// clang-format off
const GlobalReader kGlobals[] = {
    {"t_end",       [](const Session& s) -> SessionValue { return s.run.t_end; }},
    {"dt",          [](const Session& s) -> SessionValue { return s.run.dt; }},
    {"n_Draw",      [](const Session& s) -> SessionValue { return std::int64_t{s.run.n_Draw}; }},
    {"n_Write",     [](const Session& s) -> SessionValue { return std::int64_t{s.run.n_Write}; }},
    {"VrevFit",     [](const Session& s) -> SessionValue { return s.run.VrevFit; }},
    {"t_IindShift", [](const Session& s) -> SessionValue { return s.stim.t_IindShift; }},
    {"t_Iind",      [](const Session& s) -> SessionValue { return s.stim.t_Iind; }},
    {"Iind",        [](const Session& s) -> SessionValue { return s.stim.Iind; }},
    {"Freq_Iind",   [](const Session& s) -> SessionValue { return s.stim.Freq_Iind; }},
    {"Vh",          [](const Session& s) -> SessionValue { return s.stim.Vh; }},
    {"uu",          [](const Session& s) -> SessionValue { return s.stim.uu; }},
    {"ss",          [](const Session& s) -> SessionValue { return s.stim.ss; }},
    {"s_soma",      [](const Session& s) -> SessionValue { return s.stim.s_soma; }},
    {"gNMDA",       [](const Session& s) -> SessionValue { return s.stim.gNMDA; }},
    {"Vus",         [](const Session& s) -> SessionValue { return s.stim.Vus; }},
    {"tau_Noise",   [](const Session& s) -> SessionValue { return s.stim.tau_Noise; }},
    {"G1",          [](const Session& s) -> SessionValue { return s.stim.Pipette.G1; }},
    {"C1",          [](const Session& s) -> SessionValue { return s.stim.Pipette.C1; }},
    {"Smpl",        [](const Session& s) -> SessionValue { return std::int64_t{s.rec.Smpl}; }},
    {"NSmpls",      [](const Session& s) -> SessionValue { return std::int64_t{s.rec.NSmpls}; }},
    {"scx_Smpl",    [](const Session& s) -> SessionValue { return s.rec.scx_Smpl; }},
    {"scy_Smpl",    [](const Session& s) -> SessionValue { return s.rec.scy_Smpl; }},
    {"tau1",        [](const Session& s) -> SessionValue { return s.proc.tau1; }},
    {"Integrator",  [](const Session& s) -> SessionValue { return std::int64_t{static_cast<std::int32_t>(s.run.integrator.kind)}; }},
    {"rtol",        [](const Session& s) -> SessionValue { return s.run.integrator.rtol; }},
    {"atol",        [](const Session& s) -> SessionValue { return s.run.integrator.atol; }},
};
// clang-format on

}  // namespace

SessionValue GetSessionValue(const Session& s, std::string_view key) {
  constexpr std::string_view kRecord = "NP0.";
  if (key.starts_with(kRecord)) {
    const PropertyField* field = FindPropertyField(key.substr(kRecord.size()));
    if (field == nullptr) throw FormatError("", 0, "unknown parameter " + std::string(key));
    switch (field->kind) {
      case FieldKind::Text: return GetText(s.NP0, *field);
      case FieldKind::Int: return static_cast<std::int64_t>(GetDouble(s.NP0, *field));
      case FieldKind::Double: return GetDouble(s.NP0, *field);
    }
  }
  for (const GlobalReader& g : kGlobals) {
    if (g.name == key) return g.get(s);
  }
  throw FormatError("", 0, "unknown parameter " + std::string(key) +
                               " (a parameter field is written NP0.NAME, e.g. NP0.gNa)");
}

}  // namespace membrix
