#include "params/model_menus.h"

#include <algorithm>
#include <string>

#include "channels/channel_catalogue.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "run/session.h"

namespace membrix {

namespace {

template <std::size_t N>
void RequireOneOf(std::string_view value, const std::array<std::string_view, N>& valid, std::string_view what,
                  std::string_view field) {
  if (std::find(valid.begin(), valid.end(), value) != valid.end()) return;
  std::string message = "unknown " + std::string(what) + " \"" + std::string(value) + "\" (" +
                        std::string(field) + "); expected one of ";
  for (std::size_t i = 0; i < N; ++i) message += (i ? ", " : "") + std::string(valid[i]);
  throw Error(message);
}

}  // namespace

void SelectModelFamily(Session& s, std::string_view HH_type) {
  RequireOneOf(HH_type, kModelFamilies, "model family", "HH_type");
  NeuronProperties& np = s.NP0;
  np.HH_type = HH_type;
  if (HH_type == "Rariza" || HH_type == "Cummins") np.IfSet_gL_or_tau = 1;
  if (HH_type == "Destexhe" || HH_type == "Migliore") np.IfSet_gL_or_tau = 2;
  if (HH_type == "Bazhenov") np.HH_order = "2-p-MainenSejn";
  SetDefaults(s);
}

void SelectGeometry(Session& s, std::string_view HH_order) {
  RequireOneOf(HH_order, kGeometries, "geometry", "HH_order");
  s.NP0.HH_order = HH_order;
  SetDefaults(s);
}

void SetThrModel(Session& s, bool on) {
  s.NP0.ThrModel = on ? 1 : 0;
  s.NP0.IfBlockNa = s.NP0.ThrModel;
  SetDefaults(s);
}

void SetLIFModel(Session& s, bool on) {
  s.NP0.LIF_model = on ? 1 : 0;
  SetDefaults(s);
}

bool ToggleThrModel(Session& s) {
  SetThrModel(s, s.NP0.ThrModel != 1);
  return s.NP0.ThrModel == 1;
}

bool ToggleLIFModel(Session& s) {
  SetLIFModel(s, s.NP0.LIF_model != 1);
  return s.NP0.LIF_model == 1;
}

void SelectClampMode(Session& s, std::string_view mode) {
  int number = 0;
  for (std::size_t i = 0; i < kClampModeNames.size(); ++i) {
    if (mode == kClampModeNames[i] || mode == std::to_string(i + 1)) number = static_cast<int>(i) + 1;
  }
  if (number == 0) {
    std::string valid;
    for (std::size_t i = 0; i < kClampModeNames.size(); ++i) {
      valid += (i ? ", " : "") + std::to_string(i + 1) + " \"" + std::string(kClampModeNames[i]) + "\"";
    }
    throw Error("unknown clamp mode \"" + std::string(mode) + "\"; the modes are " + valid);
  }
  s.NP0.If_I_V_or_g = number;
}

}  // namespace membrix
