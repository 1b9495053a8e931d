#include "channels/multistate_sodium.h"

namespace membrix {

namespace {

// The slow gate is half inactivated at -c mV.
constexpr double kLyleSlowOffset = 52.0;
constexpr double kMilescuSlowOffset = 58.0;

// The longest step the "Carter-12" scheme runs with, s.
constexpr double kCarterLongestStep = 2e-5;

// The fields of the neuron that the scheme of one slot writes.
struct SchemeFields {
  Occupancies& P;
  double& open;    // activation field of the slot: the open occupancy
  double& second;  // the slot's second field
};

SchemeFields NaFields(NeuronVariables& nv) { return {nv.pNa, nv.mm, nv.hh}; }
SchemeFields NaRFields(NeuronVariables& nv) { return {nv.pNaR, nv.mmR, nv.hhR}; }

// Lyle: state 1 is open, state 2 inactivated.
void PublishLyle(const SchemeFields& f) {
  f.open = f.P[1];
  f.second = 1.0 - f.P[2];
}

// Milescu and Carter: state 6 is open, and state 19 in the 26-state scheme.
void PublishMilescu(int N, const SchemeFields& f) {
  f.open = f.P[6] + (N > 13 ? f.P[19] : 0.0);
  f.second = 1.0;
}

void InitLyle(LyleScheme scheme, int N, double w, double zVT, const SchemeFields& f) {
  Transitions K;
  BuildLyleTransitions(scheme, w, zVT, K);
  StationaryOccupancies(N, K, f.P);
  PublishLyle(f);
}

// Both steps return whether the frozen-inflow update was kept. Given a record
// of rates, they write the occupancies' rates of change into it instead of
// advancing them.
bool StepLyle(LyleScheme scheme, int N, double w, double zVT, double dt, const SchemeFields& f,
              Occupancies* rates) {
  Transitions K;
  BuildLyleTransitions(scheme, w, zVT, K);
  bool kept = true;
  if (rates != nullptr) {
    OccupancyRates(N, K, f.P, *rates);
  } else {
    kept = AdvanceOccupancies(N, K, dt, LastState::Unclipped, f.P);
  }
  PublishLyle(f);
  return kept;
}

void InitMilescu(MilescuScheme scheme, int N, double w, const SchemeFields& f) {
  Transitions K;
  BuildMilescuTransitions(scheme, w, K);
  StationaryOccupancies(N, K, f.P);
  PublishMilescu(N, f);
}

bool StepMilescu(MilescuScheme scheme, int N, double w, double dt, const SchemeFields& f, Occupancies* rates) {
  Transitions K;
  BuildMilescuTransitions(scheme, w, K);
  bool kept = true;
  if (rates != nullptr) {
    OccupancyRates(N, K, f.P, *rates);
  } else {
    kept = AdvanceOccupancies(N, K, dt, LastState::ClippedAtZero, f.P);
  }
  PublishMilescu(N, f);
  return kept;
}

// The open occupancy times the cubed slow gate, unless the slot is blocked.
double SchemeConductance(double open, double slow, std::int32_t block) {
  return open * IntPower(3, slow) * (1 - block);
}


// The fast "Carter-12" kinetics set the time step of the whole run. The clock
// The occupancies of the neuron's derivative record while its derivatives are
// taken, else none.
Occupancies* RatesRecord(const TNeuron* neuron, SchemeFields (*fields)(NeuronVariables&)) {
  NeuronVariables* rates = neuron->Derivatives();
  return rates != nullptr ? &fields(*rates).P : nullptr;
}

}  // namespace

GateRates SlowInactivationRates(double w, double c, std::int32_t enabled) {
  const double inf = enabled == 1 ? 1.0 / (1.0 + SafeExp((w + c) / 2.0)) : 1.0;
  return {inf, 100.0};
}

// ---- TLyleNa --------------------------------------------------------------------

double TLyleNa::Conductance(double mm, double, double ii) const {
  return SchemeConductance(mm, ii, NP().IfBlockNa);
}

void TLyleNa::Init() {
  scheme_ = LyleSchemeFor(NP().Na_subtype, true);
  StateCount = StateCountOf(scheme_);
  ImplicitSteps = 0;
  const double w = v() - NP().NaThreshShift;
  InitLyle(scheme_, StateCount, w, NV().zVT(), NaFields(NV()));
  NV().ii = SlowInactivationRates(w, kLyleSlowOffset, NP().If_Slow_Na_inactivation).inf;
  if (scheme_ == LyleScheme::LyleVTh) NV().zVT() = 5.0 * NV().pNa[2];
}

double TLyleNa::Step() {
  NeuronVariables& nv = NV();
  const double w = v() - NP().NaThreshShift;
  if (!StepLyle(scheme_, StateCount, w, nv.zVT(), dt(), NaFields(nv), RatesRecord(Neuron, NaFields))) ++ImplicitSteps;
  UpdateGate(nv.ii, SlowInactivationRates(w, kLyleSlowOffset, NP().If_Slow_Na_inactivation));
  // zVT rises at 100/s with the inactivated occupancy and decays at 20/s.
  const double zVT = nv.zVT();
  if (TakingDerivatives()) {
    Neuron->DerivativeOf(nv.zVT()) = 100.0 * nv.pNa[2] * (1.0 - zVT) - 20.0 * zVT;
  } else {
    nv.zVT() = zVT + dt() * 100.0 * nv.pNa[2] * (1.0 - zVT) - dt() * 20.0 * zVT;
  }
  return Conductance(nv.mm, 0.0, nv.ii) * NP().gNa * (nv.V - NP().VNa);
}

// ---- TMilescuNa -------------------------------------------------------------------

double TMilescuNa::Conductance(double mm, double, double ii) const {
  return SchemeConductance(mm, ii, NP().IfBlockNa);
}

void TMilescuNa::Init() {
  scheme_ = MilescuSchemeFor(NP().Na_subtype);
  StateCount = StateCountOf(scheme_);
  ImplicitSteps = 0;
  InitMilescu(scheme_, StateCount, v() - NP().NaThreshShift, NaFields(NV()));
  NV().ii = SlowInactivationRates(v(), kMilescuSlowOffset, NP().If_Slow_Na_inactivation).inf;
}

double TMilescuNa::LongestTimeStep() const {
  return NP().Na_subtype == "Carter-12" ? kCarterLongestStep : std::numeric_limits<double>::infinity();
}

double TMilescuNa::Step() {
  NeuronVariables& nv = NV();
  if (!StepMilescu(scheme_, StateCount, v() - NP().NaThreshShift, dt(), NaFields(nv), RatesRecord(Neuron, NaFields))) ++ImplicitSteps;
  UpdateGate(nv.ii, SlowInactivationRates(v(), kMilescuSlowOffset, NP().If_Slow_Na_inactivation));
  return Conductance(nv.mm, 0.0, nv.ii) * NP().gNa * (nv.V - NP().VNa);
}

// ---- TLyleNaR ---------------------------------------------------------------------

double TLyleNaR::Conductance(double mmR, double, double iiR) const {
  return SchemeConductance(mmR, iiR, NP().IfBlockNaR);
}

void TLyleNaR::Init() {
  scheme_ = LyleSchemeFor(NP().NaR_subtype, false);
  StateCount = StateCountOf(scheme_);
  ImplicitSteps = 0;
  InitLyle(scheme_, StateCount, v(), 0.0, NaRFields(NV()));
  NV().iiR = SlowInactivationRates(v(), kLyleSlowOffset, NP().If_Slow_NaR_inactivation).inf;
}

double TLyleNaR::Step() {
  NeuronVariables& nv = NV();
  if (!StepLyle(scheme_, StateCount, v(), 0.0, dt(), NaRFields(nv), RatesRecord(Neuron, NaRFields))) ++ImplicitSteps;
  UpdateGate(nv.iiR, SlowInactivationRates(v(), kLyleSlowOffset, NP().If_Slow_NaR_inactivation));
  return Conductance(nv.mmR, 0.0, nv.iiR) * NP().gNaR * (nv.V - NP().VNa);
}

// ---- TMilescuNaR ------------------------------------------------------------------

double TMilescuNaR::Conductance(double mmR, double, double iiR) const {
  return SchemeConductance(mmR, iiR, NP().IfBlockNaR);
}

void TMilescuNaR::Init() {
  scheme_ = MilescuSchemeFor(NP().NaR_subtype);
  StateCount = StateCountOf(scheme_);
  ImplicitSteps = 0;
  InitMilescu(scheme_, StateCount, v(), NaRFields(NV()));
  NV().iiR = SlowInactivationRates(v(), kMilescuSlowOffset, NP().If_Slow_Na_inactivation).inf;
}

double TMilescuNaR::LongestTimeStep() const {
  return NP().NaR_subtype == "Carter-12" ? kCarterLongestStep : std::numeric_limits<double>::infinity();
}

double TMilescuNaR::Step() {
  NeuronVariables& nv = NV();
  if (!StepMilescu(scheme_, StateCount, v(), dt(), NaRFields(nv), RatesRecord(Neuron, NaRFields))) ++ImplicitSteps;
  UpdateGate(nv.iiR, SlowInactivationRates(v(), kMilescuSlowOffset, NP().If_Slow_Na_inactivation));
  return Conductance(nv.mmR, 0.0, nv.iiR) * NP().gNaR * (nv.V - NP().VNa);
}

}  // namespace membrix
