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

std::vector<std::string> ImportedOutputVariables(const NeuronProperties& np) {
  std::vector<std::string> items;
  for (const ImportedChannel& c : np.Imported) {
    items.push_back("I_" + c.kinetics.id);
    for (const NmlGate& g : c.kinetics.gates) items.push_back(c.kinetics.id + "." + g.id);
  }
  return items;
}

bool IsOutputVariable(std::string_view item, const NeuronProperties& np) {
  if (IsOutputVariable(item)) return true;
  const std::vector<std::string> imported = ImportedOutputVariables(np);
  return std::find(imported.begin(), imported.end(), item) != imported.end();
}

namespace {

// The value of an imported channel's item, or false when item names none.
bool ImportedValue(const Session& s, std::string_view item, double& value) {
  std::size_t gate = 0;
  for (std::size_t k = 0; k < s.NP0.Imported.size(); ++k) {
    const NmlChannel& c = s.NP0.Imported[k].kinetics;
    if (item.size() == c.id.size() + 2 && item.starts_with("I_") && item.substr(2) == c.id) {
      value = s.NV0.IImported[k];
      return true;
    }
    for (const NmlGate& g : c.gates) {
      if (item.size() == c.id.size() + 1 + g.id.size() && item.starts_with(c.id) && item[c.id.size()] == '.' &&
          item.substr(c.id.size() + 1) == g.id) {
        value = s.NV0.ImportedGates[gate];
        return true;
      }
      ++gate;
    }
  }
  return false;
}

}  // namespace

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
  double imported = 0.0;
  if (!s.NP0.Imported.empty() && ImportedValue(s, item, imported)) return imported;
  return 0.0;
}

}  // namespace membrix
