#include "run/session_values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

#include "common/error.h"
#include "params/record_fields.h"
#include "run/session.h"

namespace membrix {

namespace {

struct GlobalEntry {
  std::string_view name;
  bool integer;
  void (*set)(Session&, double);
};

// clang-format off
const GlobalEntry kGlobals[] = {
    {"t_end",       false, [](Session& s, double x) { SetRunLength(s.run, x); }},
    {"dt",          false, [](Session& s, double x) { SetTimeStep(s.run, x); }},
    {"n_Draw",      true,  [](Session& s, double x) { s.run.n_Draw = static_cast<std::int32_t>(x); }},
    {"n_Write",     true,  [](Session& s, double x) { s.run.n_Write = static_cast<std::int32_t>(x); }},
    {"VrevFit",     false, [](Session& s, double x) { s.run.VrevFit = x; }},
    {"t_IindShift", false, [](Session& s, double x) { s.stim.t_IindShift = x; }},
    {"t_Iind",      false, [](Session& s, double x) { s.stim.t_Iind = x; }},
    {"Iind",        false, [](Session& s, double x) { s.stim.Iind = x; }},
    {"Freq_Iind",   false, [](Session& s, double x) { s.stim.Freq_Iind = x; }},
    {"Vh",          false, [](Session& s, double x) { s.stim.Vh = x; }},
    {"uu",          false, [](Session& s, double x) { s.stim.uu = x; }},
    {"ss",          false, [](Session& s, double x) { s.stim.ss = x; }},
    {"s_soma",      false, [](Session& s, double x) { s.stim.s_soma = x; }},
    {"gNMDA",       false, [](Session& s, double x) { s.stim.gNMDA = x; }},
    {"Vus",         false, [](Session& s, double x) { s.stim.Vus = x; }},
    {"tau_Noise",   false, [](Session& s, double x) { s.stim.tau_Noise = x; }},
    {"G1",          false, [](Session& s, double x) { s.stim.Pipette.G1 = x; }},
    {"C1",          false, [](Session& s, double x) { s.stim.Pipette.C1 = x; }},
    {"Smpl",        true,  [](Session& s, double x) { s.rec.Smpl = static_cast<std::int32_t>(x); }},
    {"NSmpls",      true,  [](Session& s, double x) { s.rec.NSmpls = static_cast<std::int32_t>(x); }},
    {"scx_Smpl",    false, [](Session& s, double x) { s.rec.scx_Smpl = x; }},
    {"scy_Smpl",    false, [](Session& s, double x) { s.rec.scy_Smpl = x; }},
    {"tau1",        false, [](Session& s, double x) { s.proc.tau1 = x; }},
    {"Integrator",  true,  [](Session& s, double x) {
       if (x != 0.0 && x != 1.0) throw RangeError("Integrator is 0 (the fixed step) or 1 (cvode)");
       s.run.integrator.kind = static_cast<IntegratorKind>(x);
     }},
    {"rtol",        false, [](Session& s, double x) { s.run.integrator.rtol = x; }},
    {"atol",        false, [](Session& s, double x) { s.run.integrator.atol = x; }},
};
// clang-format on

FormatError BadValue(std::string_view key, std::string_view value, const char* expected) {
  return FormatError("", 0,
                     "\"" + std::string(value) + "\" is not " + expected + " (for " + std::string(key) + ")");
}

double ParseNumber(std::string_view key, std::string_view value) {
  double x = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, x);
  if (ec != std::errc() || ptr != end || !std::isfinite(x)) throw BadValue(key, value, "a number");
  return x;
}

double ParseInteger(std::string_view key, std::string_view value) {
  const double x = ParseNumber(key, value);
  if (x != std::trunc(x) || std::abs(x) > 2147483647.0) throw BadValue(key, value, "a whole number");
  return x;
}

}  // namespace

std::span<const std::string_view> SessionGlobalNames() {
  static const auto names = [] {
    std::array<std::string_view, std::size(kGlobals)> n{};
    for (std::size_t i = 0; i < n.size(); ++i) n[i] = kGlobals[i].name;
    return n;
  }();
  return names;
}

void SetSessionValue(Session& s, std::string_view key, std::string_view value) {
  constexpr std::string_view kRecord = "NP0.";
  if (key.starts_with(kRecord)) {
    const PropertyField* field = FindPropertyField(key.substr(kRecord.size()));
    if (field == nullptr) throw FormatError("", 0, "unknown parameter " + std::string(key));
    if (field->kind == FieldKind::Text) {
      SetText(s.NP0, *field, std::string(value));
    } else if (field->kind == FieldKind::Int) {
      SetDouble(s.NP0, *field, ParseInteger(key, value));
    } else {
      SetDouble(s.NP0, *field, ParseNumber(key, value));
    }
    return;
  }
  for (const GlobalEntry& g : kGlobals) {
    if (g.name == key) {
      g.set(s, g.integer ? ParseInteger(key, value) : ParseNumber(key, value));
      return;
    }
  }
  throw FormatError("", 0, "unknown parameter " + std::string(key) +
                               " (a parameter field is written NP0.NAME, e.g. NP0.gNa)");
}

void SetSessionAssignment(Session& s, std::string_view assignment) {
  const std::size_t eq = assignment.find('=');
  if (eq == std::string_view::npos || eq == 0) {
    throw FormatError("", 0, "\"" + std::string(assignment) + "\" is not KEY=VALUE");
  }
  SetSessionValue(s, assignment.substr(0, eq), assignment.substr(eq + 1));
}

}  // namespace membrix
