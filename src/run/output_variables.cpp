#include "run/output_variables.h"

#include <algorithm>
#include <array>

#include "run/session.h"

namespace membrix {

namespace {

constexpr std::array<std::string_view, 43> kItems = {
    "mm",  "hh",    "ii",   "mmR",  "hhR",  "nn",  "nA",   "lA",  "xD",   "yD",     "mCaT",
    "hCaT", "mCaH", "hCaH", "kCaH", "nM",   "Ca",  "nKCa", "mBst", "mNaP", "wAHP",  "V",
    "PSC", "INA",   "IK",   "IKA",  "IKM",  "IH",  "IAHP", "Im",  "Im-INa", "VatE", "yK",
    "wADP", "iiR",  "Iind", "lAHP", "Vexp", "avPSC", "Vav ", "du_Reset", "Vr", "uu"};

}  // namespace

std::span<const std::string_view> OutputVariables() { return kItems; }

bool IsOutputVariable(std::string_view item) {
  return std::find(kItems.begin(), kItems.end(), item) != kItems.end();
}

double OutputVariableValue(const Session& s, std::string_view item) {
  const NeuronVariables& nv = s.NV0;
  struct Gate {
    std::string_view name;
    double NeuronVariables::*field;
  };
  static constexpr Gate kFields[] = {
      {"mm", &NeuronVariables::mm},     {"hh", &NeuronVariables::hh},     {"ii", &NeuronVariables::ii},
      {"mmR", &NeuronVariables::mmR},   {"hhR", &NeuronVariables::hhR},   {"nn", &NeuronVariables::nn},
      {"nA", &NeuronVariables::nA},     {"lA", &NeuronVariables::lA},     {"xD", &NeuronVariables::xD},
      {"yD", &NeuronVariables::yD},     {"mCaT", &NeuronVariables::mCaT}, {"hCaT", &NeuronVariables::hCaT},
      {"mCaH", &NeuronVariables::mCaH}, {"hCaH", &NeuronVariables::hCaH}, {"kCaH", &NeuronVariables::kCaH},
      {"nM", &NeuronVariables::nM},     {"Ca", &NeuronVariables::Ca},     {"nKCa", &NeuronVariables::nKCa},
      {"mBst", &NeuronVariables::mBst}, {"mNaP", &NeuronVariables::mNaP}, {"wAHP", &NeuronVariables::wAHP},
      {"PSC", &NeuronVariables::PSC},   {"INA", &NeuronVariables::INa},   {"IK", &NeuronVariables::IK},
      {"IKA", &NeuronVariables::IKA},   {"IKM", &NeuronVariables::IKM},   {"IH", &NeuronVariables::IH},
      {"IAHP", &NeuronVariables::IAHP}, {"yK", &NeuronVariables::yK},     {"wADP", &NeuronVariables::wADP},
      {"iiR", &NeuronVariables::iiR},   {"Iind", &NeuronVariables::Iind}, {"lAHP", &NeuronVariables::lAHP},
  };
  for (const Gate& g : kFields) {
    if (g.name == item) return nv.*g.field;
  }
  if (item == "V") return nv.V * 1000.0;
  if (item == "VatE") return nv.VatE * 1000.0;
  if (item == "Im") return -nv.Iion;
  if (item == "Im-INa") return -nv.Iion - nv.INa;
  if (item == "Vexp") {
    return s.ExpData.At(s.run.nt, s.rec.Smpl) * 1000.0;
  }
  if (item == "avPSC") return s.spikes.avPSC;
  if (item == "Vav ") return s.spikes.Vav * 1000.0;
  if (item == "du_Reset") return s.stim.du_Reset;
  if (item == "Vr") return s.run.Vr;
  if (item == "uu") {
    const double t = s.run.t;
    return (s.stim.t_IindShift <= t && t <= s.stim.t_IindShift + s.stim.t_Iind) ? s.stim.uu : 0.0;
  }
  return 0.0;
}

}  // namespace membrix
