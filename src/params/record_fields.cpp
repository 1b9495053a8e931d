#include "params/record_fields.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace membrix {
namespace {

// The kind follows from the member's type, so a table entry cannot disagree with it.
constexpr PropertyField Field(std::string_view name, std::string NeuronProperties::*m) {
  return {name, FieldKind::Text, m};
}
constexpr PropertyField Field(std::string_view name, std::int32_t NeuronProperties::*m) {
  return {name, FieldKind::Int, m};
}
constexpr PropertyField Field(std::string_view name, double NeuronProperties::*m) {
  return {name, FieldKind::Double, m};
}
constexpr VariableField Field(std::string_view name, std::int32_t NeuronVariables::*m) {
  return {name, FieldKind::Int, m};
}
constexpr VariableField Field(std::string_view name, double NeuronVariables::*m) {
  return {name, FieldKind::Double, m};
}

std::string_view KindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::Text: return "text";
    case FieldKind::Int: return "integer";
    case FieldKind::Double: return "number";
  }
  return "unknown";
}

[[noreturn]] void ThrowKindMismatch(std::string_view name, FieldKind actual, FieldKind wanted) {
  throw std::invalid_argument("field " + std::string(name) + " is a " +
                              std::string(KindName(actual)) + " field, not a " +
                              std::string(KindName(wanted)) + " field");
}

// Truncates toward zero; refuses what a 32-bit switch cannot hold instead of letting
// the conversion overflow.
std::int32_t ToInt32(std::string_view name, double value) {
  const double truncated = std::trunc(value);
  if (!std::isfinite(value) ||
      truncated < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      truncated > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    std::ostringstream message;
    message << "value " << value << " does not fit the integer field " << name;
    throw std::out_of_range(message.str());
  }
  return static_cast<std::int32_t>(truncated);
}

template <class Field>
const Field* FindByName(std::span<const Field> fields, std::string_view name) {
  const auto it = std::find_if(fields.begin(), fields.end(),
                               [name](const Field& f) { return f.name == name; });
  return it == fields.end() ? nullptr : &*it;
}

template <class Record, class Field>
double ReadNumber(const Record& record, const Field& field) {
  if (const auto m = std::get_if<std::int32_t Record::*>(&field.member)) return record.**m;
  if (const auto m = std::get_if<double Record::*>(&field.member)) return record.**m;
  ThrowKindMismatch(field.name, field.kind, FieldKind::Double);
}

template <class Record, class Field>
void WriteNumber(Record& record, const Field& field, double value) {
  if (const auto m = std::get_if<std::int32_t Record::*>(&field.member)) {
    record.**m = ToInt32(field.name, value);
  } else if (const auto m = std::get_if<double Record::*>(&field.member)) {
    record.**m = value;
  } else {
    ThrowKindMismatch(field.name, field.kind, FieldKind::Double);
  }
}

}  // namespace

// A table entry takes its name from the member's own spelling, so the two cannot drift apart.
#define MEMBRIX_FIELD(record, f) Field(#f, &record::f)
#define PROP(f) MEMBRIX_FIELD(NeuronProperties, f)
#define VAR(f) MEMBRIX_FIELD(NeuronVariables, f)

std::span<const PropertyField> PropertyFields() {
  static constexpr PropertyField kFields[] = {
      // Model selectors.
      PROP(HH_type), PROP(HH_order), PROP(Thr_type), PROP(Na_type), PROP(Na_subtype),
      PROP(NaR_type), PROP(NaR_subtype),
      // Switches.
      PROP(IfBlockNa), PROP(IfBlockK), PROP(IfBlockKM), PROP(IfBlockKA), PROP(IfBlockKD),
      PROP(IfBlockPass), PROP(IfBlockNaR), PROP(IfBlockNaP), PROP(IfBlockH), PROP(IfBlockADP),
      PROP(IfBlockAHP), PROP(IfBlockCaT), PROP(IfBlockCaH), PROP(IfBlockKCa), PROP(ThrModel),
      PROP(LIF_model), PROP(EIF_SpikeDependent), PROP(IfSet_gL_or_tau), PROP(IfSet_VL_or_Vrest),
      PROP(If_I_V_or_g), PROP(If_Slow_Na_inactivation), PROP(If_Slow_NaR_inactivation),
      // Spike reset and threshold.
      PROP(n_AP), PROP(yK_AP), PROP(nA_AP), PROP(lA_AP), PROP(dT_AP), PROP(tADP), PROP(dwADP),
      PROP(dwAHP), PROP(dlAHP), PROP(dnM), PROP(dzM), PROP(dnKCa), PROP(dyD), PROP(nH_AP),
      PROP(xD_AP), PROP(dii), PROP(ThrShift), PROP(FixThr), PROP(dThr_dts), PROP(k_a),
      PROP(tau_Thr), PROP(Vthr_AP), PROP(dVTdV), PROP(DepBlock), PROP(Vreset), PROP(VresetDend),
      PROP(tau_abs),
      // Exponential integrate-and-fire.
      PROP(EIF_deltaT), PROP(EIF_tauw), PROP(EIF_a), PROP(EIF_dw), PROP(EIF_VT),
      // Passive membrane and geometry.
      PROP(gL), PROP(VL), PROP(Square), PROP(tau_m), PROP(ro), PROP(l), PROP(Vrest), PROP(Cm),
      PROP(VLd), PROP(gLd),
      // Maximal conductances.
      PROP(gNa), PROP(gNaR), PROP(gK), PROP(gKM), PROP(gKA), PROP(gKD), PROP(gCaH), PROP(gKCa),
      PROP(gADP), PROP(gAHP), PROP(gCaT), PROP(gBst), PROP(gNaP), PROP(gH),
      // Reversal potentials.
      PROP(VNa), PROP(VNaR), PROP(VK), PROP(VKn), PROP(VKM), PROP(VKD), PROP(VH), PROP(VADP),
      PROP(VCa), PROP(VAHP), PROP(dVAHP),
      // Kinetic coefficients.
      PROP(a1Na), PROP(a2Na), PROP(a3Na), PROP(a4Na), PROP(b1Na), PROP(b2Na), PROP(b3Na),
      PROP(b4Na), PROP(c1Na), PROP(c2Na), PROP(c3Na), PROP(c4Na), PROP(d1Na), PROP(d2Na),
      PROP(d3Na), PROP(d4Na), PROP(a1NaR), PROP(a2NaR), PROP(a3NaR), PROP(a4NaR), PROP(b1NaR),
      PROP(b2NaR), PROP(b3NaR), PROP(b4NaR), PROP(c1NaR), PROP(c2NaR), PROP(c3NaR), PROP(c4NaR),
      PROP(d1NaR), PROP(d2NaR), PROP(d3NaR), PROP(d4NaR), PROP(a1K), PROP(a2K), PROP(a3K),
      PROP(b1K), PROP(b2K), PROP(b3K), PROP(Tr_Na), PROP(Tr_NaR), PROP(NaThreshShift),
      PROP(KThreshShift), PROP(KJ_NaCooperativity), PROP(tauKM2),
      // Ions, constants and injected terms.
      PROP(FRT), PROP(Ca_rest), PROP(Ca0), PROP(Ca_depth), PROP(tauCa), PROP(R_gas), PROP(Temp),
      PROP(TempFactor), PROP(F_Faraday), PROP(Mg), PROP(E_NMDA), PROP(Ipump), PROP(IpumpDend),
  };
  return kFields;
}

std::span<const VariableField> VariableFields() {
  static constexpr VariableField kFields[] = {
      VAR(SpikePhase), VAR(V), VAR(gSum), VAR(gSumDend), VAR(Ca), VAR(Vprev), VAR(Iion),
      VAR(IionDend), VAR(IionCopy), VAR(PSC), VAR(Isyn), VAR(Iind), VAR(IsynDend), VAR(IsynSoma),
      VAR(IsynDendPrev), VAR(IsynSomaPrev), VAR(IdendIn), VAR(gNMDAeff), VAR(VatE), VAR(dVdt),
      VAR(d2Vdt2), VAR(VThr), VAR(tLastSpike), VAR(ISI),
      // Gates.
      VAR(mmR), VAR(hhR), VAR(iiR), VAR(mm), VAR(nn), VAR(hh), VAR(ii), VAR(yK), VAR(nM), VAR(zM),
      VAR(nA), VAR(lA), VAR(nH), VAR(mCaH), VAR(hCaH), VAR(kCaH), VAR(nKCa), VAR(wADP), VAR(wAHP),
      VAR(lAHP), VAR(mCaT), VAR(hCaT), VAR(mBst), VAR(mNaP), VAR(xD), VAR(yD),
      // Currents.
      VAR(INaR), VAR(INa), VAR(IK), VAR(IKM), VAR(IKA), VAR(IKD), VAR(ICaH), VAR(IKCa), VAR(IADP),
      VAR(IAHP), VAR(ICaT), VAR(IBst), VAR(INaP), VAR(IH), VAR(IKsum), VAR(IL), VAR(VThrDyn),
      VAR(wEIF),
  };
  return kFields;
}

#undef VAR
#undef PROP
#undef MEMBRIX_FIELD

const PropertyField* FindPropertyField(std::string_view name) {
  return FindByName(PropertyFields(), name);
}

const VariableField* FindVariableField(std::string_view name) {
  return FindByName(VariableFields(), name);
}

double GetDouble(const NeuronProperties& np, const PropertyField& field) {
  return ReadNumber(np, field);
}

void SetDouble(NeuronProperties& np, const PropertyField& field, double value) {
  WriteNumber(np, field, value);
}

const std::string& GetText(const NeuronProperties& np, const PropertyField& field) {
  const auto m = std::get_if<std::string NeuronProperties::*>(&field.member);
  if (!m) ThrowKindMismatch(field.name, field.kind, FieldKind::Text);
  return np.**m;
}

void SetText(NeuronProperties& np, const PropertyField& field, std::string value) {
  const auto m = std::get_if<std::string NeuronProperties::*>(&field.member);
  if (!m) ThrowKindMismatch(field.name, field.kind, FieldKind::Text);
  np.**m = std::move(value);
}

double GetDouble(const NeuronVariables& nv, const VariableField& field) {
  return ReadNumber(nv, field);
}

void SetDouble(NeuronVariables& nv, const VariableField& field, double value) {
  WriteNumber(nv, field, value);
}

}  // namespace membrix
