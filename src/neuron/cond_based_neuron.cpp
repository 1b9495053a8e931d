#include "neuron/cond_based_neuron.h"

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "channels/potassium.h"
#include "channels/sodium.h"
#include "common/number_format.h"

namespace membrix {

namespace {

// The gates each slot passes to its channel's Conductance, in argument order
// (nullptr: the position gets 0), and the maximal conductance that scales it.
struct SlotWiring {
  double NeuronVariables::*x1;
  double NeuronVariables::*x2;
  double NeuronVariables::*x3;
  double NeuronProperties::*g;
  double NeuronVariables::*current;
};

using NV_ = NeuronVariables;
using NP_ = NeuronProperties;

constexpr SlotWiring kWiring[kSlotCount] = {
    {&NV_::mm, &NV_::hh, &NV_::ii, &NP_::gNa, &NV_::INa},
    {&NV_::nn, &NV_::yK, nullptr, &NP_::gK, &NV_::IK},
    {&NV_::nA, &NV_::lA, nullptr, &NP_::gKA, &NV_::IKA},
    {&NV_::nM, &NV_::zM, nullptr, &NP_::gKM, &NV_::IKM},
    {&NV_::xD, &NV_::yD, nullptr, &NP_::gKD, &NV_::IKD},
    {&NV_::nH, nullptr, nullptr, &NP_::gH, &NV_::IH},
    {&NV_::mmR, &NV_::hhR, &NV_::iiR, &NP_::gNaR, &NV_::INaR},
    {&NV_::wADP, nullptr, nullptr, &NP_::gADP, &NV_::IADP},
    {&NV_::wAHP, &NV_::lAHP, nullptr, &NP_::gAHP, &NV_::IAHP},
    {&NV_::mCaH, &NV_::hCaH, &NV_::kCaH, &NP_::gCaH, &NV_::ICaH},
    {&NV_::mCaT, &NV_::hCaT, nullptr, &NP_::gCaT, &NV_::ICaT},
    {&NV_::nKCa, nullptr, nullptr, &NP_::gKCa, &NV_::IKCa},
    {&NV_::mNaP, nullptr, nullptr, &NP_::gNaP, &NV_::INaP},
    {&NV_::mBst, nullptr, nullptr, &NP_::gBst, &NV_::IBst},
};

bool IsVoltageClampMode(int mode) { return mode == 1 || mode == 3 || mode == 5; }

// The gate a slot passes in one argument position, 0 where it passes none.
template <double NeuronVariables::*gate>
double GateArgument(const NeuronVariables& nv) {
  if constexpr (gate == nullptr) {
    return 0.0;
  } else {
    return nv.*gate;
  }
}

// A slot and the channel class that fills it in a resolved step.
template <Slot slot, class Channel>
struct SlotChannel {
  static constexpr int kSlot = static_cast<int>(slot);
  using Type = Channel;
};

// The class a list of SlotChannel gives a slot.
template <int slot, class... List>
struct ChannelAt;
template <int slot, class First, class... Rest>
struct ChannelAt<slot, First, Rest...>
    : std::conditional_t<First::kSlot == slot, std::type_identity<typename First::Type>, ChannelAt<slot, Rest...>> {};

// The family steps resolved at InitState, each the stepping slots of a model
// as it runs with nothing shown. The squid axon: its Na and K channels alone.
using SquidAxonStep = std::tuple<SlotChannel<Slot::Na, TRarizaNa>, SlotChannel<Slot::K, TRarizaK>>;

// gNMDA times the Mg block. Without an NMDA input the block (an exponential) is
// left out: for a finite voltage and Mg concentration it is a finite positive
// factor, and 0 times it is that same 0.
inline double NMDAConductance(double gNMDA, double Mg, double V) {
  if (gNMDA == 0.0 && Mg >= 0.0 && Mg <= std::numeric_limits<double>::max() && std::isfinite(V)) return gNMDA;
  return gNMDA * MgBlock(Mg, V);
}

}  // namespace

TCondBasedNrn::TCondBasedNrn(const NeuronProperties& np, RunView clock) : TNeuron(clock) {
  if (!IsModelFamily(np.HH_type)) {
    throw Error("unknown model family \"" + np.HH_type +
                "\" (HH_type); expected one of Rariza, Passive, Destexhe, Migliore, Cummins, Chow, "
                "Lyle, Naundorf, White, White2, Shu, Bazhenov");
  }
  auto fill = [&](Slot slot, ChannelMaker maker) { Ch[static_cast<int>(slot)] = CreateChannel(maker, *this); };
  if (np.ThrModel == 1) {
    fill(Slot::Na, nullptr);
    fill(Slot::NaR, nullptr);
    DynThr_ = std::make_unique<TDynThr>();
  } else {
    fill(Slot::Na, NaChannelFor(np.Na_type));
    fill(Slot::NaR, NaRChannelFor(np.NaR_type));
  }
  for (Slot slot : {Slot::K, Slot::KA, Slot::KM, Slot::KD, Slot::H, Slot::ADP, Slot::AHP, Slot::CaH,
                    Slot::CaT, Slot::KCa, Slot::NaP}) {
    fill(slot, FamilyChannelFor(np.HH_type, slot));
  }
  fill(Slot::Bst, nullptr);
  // The White2 family always carries its own Na channel, whatever Na_type says.
  if (np.HH_type == "White2") fill(Slot::Na, NaChannelFor("White2"));
  for (int i = 0; i < kSlotCount; ++i) {
    isNull_[i] = dynamic_cast<const TNullChannel*>(Ch[i].get()) != nullptr;
    stepping_[i] = !isNull_[i];
  }
}

void TCondBasedNrn::DecideSteppingSlots() {
  std::array<bool, kSlotCount> steps{};
  for (int i = 0; i < kSlotCount; ++i) steps[i] = !isNull_[i] && (observed_[i] || NP.*kWiring[i].g != 0.0);
  // What a stepping channel reads must step as well, and so on down the chain.
  for (bool grown = true; grown;) {
    grown = false;
    for (int i = 0; i < kSlotCount; ++i) {
      if (!steps[i]) continue;
      const unsigned read = Ch[i]->SlotsRead();
      for (int j = 0; j < kSlotCount; ++j) {
        if ((read >> j & 1u) != 0 && !isNull_[j] && !steps[j]) {
          steps[j] = true;
          grown = true;
        }
      }
    }
  }
  stepping_ = steps;
  resolved_ = ResolveStep();
}

TCondBasedNrn::SlotSet TCondBasedNrn::SteppingSlots() const {
  SlotSet set;
  for (int i = 0; i < kSlotCount; ++i) set[i] = stepping_[i];
  return set;
}

TCondBasedNrn::Geometry TCondBasedNrn::ReadGeometry() {
  const std::string& order = NP.HH_order;
  geometry_ = order == "1-point"          ? Geometry::OnePoint
              : order == "2-points"       ? Geometry::TwoPoints
              : order == "2-p-ActiveDend" ? Geometry::ActiveDend
              : order == "2-p-MainenSejn" ? Geometry::MainenSejn
                                          : Geometry::None;
  return geometry_;
}

TCondBasedNrn::~TCondBasedNrn() = default;

double TCondBasedNrn::LongestTimeStep() const {
  double longest = std::numeric_limits<double>::infinity();
  for (const auto& channel : Ch) longest = MinD(longest, channel->LongestTimeStep());
  return longest;
}

double TCondBasedNrn::InputConductance() { return NP.gL + (NP.Cm / NP.tau_m) * NP.ro / (1.0 + NP.l); }

void TCondBasedNrn::UpdateCa(double ICa) {
  const double rate = -ICa * 1000.0 / (2.0 * NP.F_Faraday * NP.Ca_depth) - (NV.Ca - NP.Ca_rest) / NP.tauCa;
  if (Derivatives() != nullptr) {
    DerivativeOf(NV.Ca) = rate;
  } else {
    NV.Ca += dt() * rate;
  }
}

// Through the channel objects: a slot steps as decided at InitState, its
// channel called through the interface.
struct TCondBasedNrn::ChannelSlots {
  static constexpr bool kIdleConductancesLeftOut = false;
  TCondBasedNrn& n;
  template <int slot>
  bool Steps() const {
    return n.stepping_[slot];
  }
  template <int slot>
  TChannel& Channel() const {
    return *n.Ch[slot];
  }
};

// A family's stepping slots, each with the final class of its channel: the
// calls are direct and inlined where the class's step is in its header, and
// a slot at rest costs no test. The maximal conductances of the slots at rest
// are finite, as checked when the step is resolved (they are fixed for the run,
// as the stepping slots are), so their products with 0 are ±0 and add nothing
// to a sum begun at +0.0, which is never -0.0: they are left out.
template <class... Stepping>
struct TCondBasedNrn::ResolvedSlots<std::tuple<Stepping...>> {
  static constexpr bool kIdleConductancesLeftOut = true;
  TCondBasedNrn& n;
  template <int slot>
  static constexpr bool Steps() {
    return ((Stepping::kSlot == slot) || ...);
  }
  template <int slot>
  auto& Channel() const {
    if constexpr (Steps<slot>()) {
      return static_cast<typename ChannelAt<slot, Stepping...>::type&>(*n.Ch[slot]);
    } else {
      return *n.Ch[slot];
    }
  }
  // Whether a neuron's stepping slots are these, filled by these classes.
  static bool Match(const TCondBasedNrn& n) {
    for (int i = 0; i < kSlotCount; ++i) {
      const bool listed = ((Stepping::kSlot == i) || ...);
      if (n.stepping_[i] != listed || (!listed && !std::isfinite(n.NP.*kWiring[i].g))) return false;
    }
    return ((typeid(*n.Ch[Stepping::kSlot]) == typeid(typename Stepping::Type)) && ...);
  }
};

template <class Slots>
void TCondBasedNrn::ConductanceSum(const Slots& slots) {
  // Slot by slot in slot order, each slot's wiring fixed at compile time; with
  // an active dendrite the KM and AHP conductances belong to the dendrite. A
  // slot's conductance is its factor times its channel's open fraction; a slot
  // at rest has a factor of 0, and the product is still formed, so that the sum
  // sees exactly what the channel would have given.
  double sum = 0.0;
  double dend = 0.0;
  const bool activeDend = CurrentGeometry() == Geometry::ActiveDend;
  const auto add = [&]<int slot>() {
    if constexpr (Slots::kIdleConductancesLeftOut) {
      if constexpr (!Slots::template Steps<slot>()) return;
    }
    constexpr SlotWiring w = kWiring[slot];
    const double g = slots.template Steps<slot>()
                         ? NP.*w.g * slots.template Channel<slot>().Conductance(
                                         GateArgument<w.x1>(NV), GateArgument<w.x2>(NV), GateArgument<w.x3>(NV))
                         : NP.*w.g * 0.0;
    if (activeDend && (static_cast<Slot>(slot) == Slot::KM || static_cast<Slot>(slot) == Slot::AHP)) {
      dend += g;
    } else {
      sum += g;
    }
  };
  [&]<int... slot>(std::integer_sequence<int, slot...>) {
    (add.template operator()<slot>(), ...);
  }(std::make_integer_sequence<int, kSlotCount>());
  NV.gSum = sum;
  NV.gSumDend = dend;
}

template <class Slots>
void TCondBasedNrn::SlotCurrents(const Slots& slots, double& IionCh, double& IionDend) {
  // Channels read Ca and the gates as updated so far; the Ca pool follows the
  // two Ca currents before the Ca-dependent K channel steps. Slot by slot, as
  // the conductances are summed. Each current is kept at hand as well, so that
  // the sum below need not read back what a channel may have overwritten.
  std::array<double, kSlotCount> current;
  const auto step = [&]<int slot>() {
    if constexpr (static_cast<Slot>(slot) == Slot::KCa) UpdateCa(NV.ICaT + NV.ICaH);
    current[slot] = slots.template Steps<slot>() ? slots.template Channel<slot>().Step() : 0.0;
    NV.*kWiring[slot].current = current[slot];
  };
  [&]<int... slot>(std::integer_sequence<int, slot...>) {
    (step.template operator()<slot>(), ...);
  }(std::make_integer_sequence<int, kSlotCount>());
  NV.IL = NP.gL * (NV.V - NP.VL) * (1 - NP.IfBlockPass);
  constexpr int kca = static_cast<int>(Slot::KCa);
  const double openKCa = isNull_[kca] ? 0.0 : Ch[kca]->Conductance(NV.nKCa, 0.0, 0.0);
  const double IKCa1 = (NV.V - NP.VK) * NP.gKCa * openKCa;
  if (CurrentGeometry() == Geometry::ActiveDend) {
    NV.IKsum = NV.IK + NV.IKA + NV.IKD + IKCa1 + NP.ro * (NV.IKM + NV.IAHP);
    IionCh = -(NV.INaR + NV.INa + NV.IK + NV.IKA + NV.IKD + NV.ICaH + NV.IKCa + NV.IH + NV.IADP + NV.ICaT +
               NV.IBst + NV.INaP);
    IionDend = -(NV.IKM + NV.IAHP);
  } else {
    NV.IKsum = NV.IK + NV.IKA + NV.IKD + IKCa1 + NV.IKM + NV.IAHP;
    // In slot order, from +0.0. A slot at rest carries +0.0, and a sum begun
    // at +0.0 is never -0.0, so adding it changes nothing: only the stepping
    // slots are added, which keeps the idle ones off the voltage's path.
    double sum = 0.0;
    [&]<int... slot>(std::integer_sequence<int, slot...>) {
      ((sum = slots.template Steps<slot>() ? sum + current[slot] : sum), ...);
    }(std::make_integer_sequence<int, kSlotCount>());
    IionCh = -sum;
    IionDend = 0.0;
  }
  ConductanceSum(slots);
}

int TCondBasedNrn::ResolveStep() const {
  if (ResolvedSlots<SquidAxonStep>::Match(*this)) return 1;
  return 0;
}

// Flattened: the slots' work becomes one body with this one, and the channels'
// sum comes back in a register.
[[gnu::flatten]] double TCondBasedNrn::ChannelCurrents(double& IionDend) {
  double IionCh = 0.0;
  switch (resolved_) {
    case 1: SlotCurrents(ResolvedSlots<SquidAxonStep>{*this}, IionCh, IionDend); break;
    default: SlotCurrents(ChannelSlots{*this}, IionCh, IionDend); break;
  }
  if (!NP.Imported.empty()) StepImported(IionCh);
  return IionCh;
}

void TCondBasedNrn::Currents(double& IionCh, double& IionDend, double& gSum) {
  IionCh = ChannelCurrents(IionDend);
  gSum = NV.gSum;
}

void TCondBasedNrn::InitImported() {
  int gates = 0;
  for (const ImportedChannel& c : NP.Imported) gates += static_cast<int>(c.kinetics.gates.size());
  if (static_cast<int>(NP.Imported.size()) > kMaxImportedChannels || gates > kMaxImportedGates) {
    throw RangeError("a model takes at most " + std::to_string(kMaxImportedChannels) + " imported channels with " +
                     std::to_string(kMaxImportedGates) + " gates in all, not " + std::to_string(NP.Imported.size()) +
                     " with " + std::to_string(gates));
  }
  double* x = NV.ImportedGates.data();
  for (const ImportedChannel& c : NP.Imported) {
    c.kinetics.Init(1000.0 * NV.V, NP.Temp, x);
    x += c.kinetics.gates.size();
  }
}

void TCondBasedNrn::StepImported(double& Iion) {
  double* x = NV.ImportedGates.data();
  const double vm = 1000.0 * NV.V;
  for (std::size_t k = 0; k < NP.Imported.size(); ++k) {
    const ImportedChannel& c = NP.Imported[k];
    if (Derivatives() != nullptr) {
      c.kinetics.Derivative(vm, NP.Temp, x, &DerivativeOf(*x));
    } else {
      c.kinetics.Step(vm, NP.Temp, dt(), x);
    }
    const double g = c.g * c.kinetics.OpenFraction(x);
    x += c.kinetics.gates.size();
    NV.IImported[k] = g * (NV.V - c.E);
    Iion -= NV.IImported[k];
    NV.gSum += g;
  }
}

void TCondBasedNrn::InitState() {
  geometry_ = Geometry::Unknown;  // read from the record as it is now
  NV.V = NP.Vrest;
  NV.VatE = NP.Vrest;
  NV.dVdt = 0.0;
  NV.VThrDyn = 0.01 + NP.ThrShift;
  NV.IsynDend = 0.0;
  NV.Ca = NP.Ca_rest;
  NV.SpikePhase = 0;
  NV.Rearm = {};
  NV.tLastSpike = -888.0;
  NV.VThr = 100.0;
  NP.FRT = NP.F_Faraday / NP.R_gas / NP.Temp / 1000.0;
  if (NP.ThrModel == 1) NP.IfBlockNa = 1;
  DecideSteppingSlots();

  // Start the Ca pool where the high-threshold Ca current at rest holds it.
  NV.Ca = NP.Ca_rest;
  Channel(Slot::CaH).Init();
  const double ICa = Channel(Slot::CaH).Step();
  NV.Ca = NP.Ca_rest - NP.tauCa * ICa * 1000.0 / (2.0 * NP.F_Faraday * NP.Ca_depth);

  for (auto& channel : Ch) channel->Init();
  InitImported();
  if (NP.ThrModel == 1 && DynThr_) DynThr_->Init(NP);

  if (NP.If_I_V_or_g != 1 && NP.If_I_V_or_g != 3) SetRest();
  NV.Vprev = NV.V;
}

void TCondBasedNrn::SetRest() {
  double IionCh = 0.0;
  double IionDend = 0.0;
  double gSum = 0.0;
  Currents(IionCh, IionDend, gSum);
  if (NP.IfSet_gL_or_tau == 2) {
    NP.gL = NP.Cm / NP.tau_m - gSum;
  } else {
    NP.tau_m = NP.Cm / (gSum + NP.gL);
  }
  if (NP.IfSet_VL_or_Vrest == 2) {
    // The leak balances the channels at Vrest. Without a leak nothing can be
    // balanced, and VL is left as it is rather than made infinite.
    if (NP.gL != 0.0) NP.VL = NP.Vrest - IionCh / NP.gL;
  } else if (NP.IfSet_VL_or_Vrest == 1) {
    // Let the unclamped membrane settle to its free resting potential.
    findingRest_ = true;
    const double startVrest = NP.Vrest;
    NV.V = NP.Vrest;
    for (int i = 1;; ++i) {
      NP.Vrest = NV.V;
      IntegrateStep(0, 0, 0, 0, 0, 0, 0);
      // No membrane reaches a volt: beyond it (or at NaN) the integration has
      // diverged, and there is no resting potential to hand on to the record.
      if (!(AbsValue(NV.V) < kDivergedVoltage)) {
        findingRest_ = false;
        NP.Vrest = startVrest;
        throw DivergenceError("no resting potential: the membrane voltage of the \"" + NP.HH_type +
                              "\" model in the \"" + NP.HH_order + "\" geometry diverged " +
                              Fixed(i * dt() * 1000.0, 0, 2) + " ms into the search for rest (time step " +
                              Fixed(dt() * 1000.0, 0, 3) + " ms)");
      }
      if ((AbsValue(NV.V - NP.Vrest) < 1e-7 && i > 1000) || i == 10000) break;
    }
    findingRest_ = false;
  }
  Currents(IionCh, IionDend, gSum);
}

double TCondBasedNrn::IonicDrive(double Iext) {
  double IionDend = 0.0;
  const double IionCh = ChannelCurrents(IionDend);
  NV.Iion = IionCh - NV.IL + Iext;
  NV.IionCopy = NV.Iion;
  NV.IionDend = IionDend;
  return IionDend;
}

bool TCondBasedNrn::HasDerivatives() {
  const Geometry geometry = CurrentGeometry();
  return geometry == Geometry::OnePoint || geometry == Geometry::TwoPoints || geometry == Geometry::ActiveDend ||
         geometry == Geometry::MainenSejn;
}

bool TCondBasedNrn::VoltageIsState() { return CurrentGeometry() != Geometry::MainenSejn; }

double TCondBasedNrn::SomaticResidual(double Iext) {
  IonicDrive(Iext);
  const double Gc = 2.0 * NP.gL * NP.ro / NP.l;
  return Gc * (NV.VatE - NV.V) + NV.Iion - NP.Ipump;
}

void TCondBasedNrn::SolveQuasiStaticSoma(double Iext) {
  // With the gates held, the soma's currents are all but linear in V, and the
  // step's own slope, the conductance at the soma, finds the root in a few
  // iterations; a step that would make the residual grow is halved.
  const double Gc = 2.0 * NP.gL * NP.ro / NP.l;
  double residual = SomaticResidual(Iext);
  for (int i = 0; i < 100 && std::abs(residual) > 1e-15; ++i) {
    const double V0 = NV.V;
    const double move = residual / (Gc + NP.gL + NV.gSum);
    double next = residual;
    for (double f = 1.0; f > 1e-3; f *= 0.5) {
      NV.V = V0 + f * move;
      next = SomaticResidual(Iext);
      if (std::abs(next) < std::abs(residual)) break;
    }
    if (!(std::abs(next) < std::abs(residual))) {
      NV.V = V0;
      break;
    }
    residual = next;
    if (std::abs(NV.V - V0) < 1e-13) break;
  }
}

void TCondBasedNrn::TakeInputEdge(double IsynDendBefore, double IsynDendAfter) {
  // The dendrite's input enters through its slope too: across an edge of the
  // input the fixed step's difference quotient is an impulse, which moves the
  // dendrite at once. A run's first input (no input before) moves nothing.
  const Geometry geometry = CurrentGeometry();
  if (geometry != Geometry::TwoPoints && geometry != Geometry::ActiveDend) return;
  if (IsynDendBefore == 0.0) return;
  const double gd = NP.Cm / NP.tau_m * NP.ro;
  NV.VatE += 0.5 * NP.l * (IsynDendAfter - IsynDendBefore) / gd;
}

double TCondBasedNrn::DendriticInput(double uDend, double sDend, double gNMDA) const {
  return uDend - sDend * (NV.V - Vus()) - (NV.V - NP.E_NMDA) * NMDAConductance(gNMDA, NP.Mg, NV.V);
}

void TCondBasedNrn::TakeDerivatives(NeuronVariables& rates, double uDend, double sDend, double uSoma,
                                    double sSoma, double gNMDA, double Iext, double Vclamp) {
  if (!HasDerivatives()) {
    throw Error("the equations of the \"" + NP.HH_order +
                "\" geometry have no right-hand side; the error-controlled integrator cannot integrate them");
  }
  struct Sink {
    TNeuron& neuron;
    Sink(TNeuron& n, NeuronVariables& r) : neuron(n) { neuron.SetDerivatives(&r); }
    ~Sink() { neuron.SetDerivatives(nullptr); }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
  } sink(*this, rates);
  // A clamped membrane sits at the command; its voltage has no dynamics.
  const bool clamped = Clamped();
  if (clamped) NV.V = Vclamp;
  const Geometry geometry = CurrentGeometry();
  // The soma of the Mainen-Sejnowski cell has no capacitance of its own: it
  // sits where its currents balance the dendrite's, and the gates' rates are
  // taken at that voltage.
  if (geometry == Geometry::MainenSejn && !clamped) SolveQuasiStaticSoma(Iext);
  const double IionDend = IonicDrive(Iext);
  NV.gNMDAeff = NMDAConductance(gNMDA, NP.Mg, NV.V);
  double coupling = 0.0;
  if (geometry == Geometry::OnePoint) {
    NV.Isyn = uSoma + uDend - (sDend + sSoma) * (NV.V - Vus()) - (NV.V - NP.E_NMDA) * NV.gNMDAeff;
    NV.dVdt = clamped ? 0.0 : (NV.Iion + NV.Isyn - NP.Ipump) / NP.Cm;
    rates.V = NV.dVdt;
    NV.VatE = NV.V;
  } else {
    NV.IsynDend = DendriticInput(uDend, sDend, gNMDA);
    NV.IsynSoma = uSoma - sSoma * (NV.V - Vus());
    if (geometry == Geometry::MainenSejn) {
      NV.Isyn = NV.IsynDend + NV.IsynSoma;
      rates.VatE = (-NP.gLd * (NV.VatE - NP.VLd) - (2.0 / NP.l) * NP.gLd * (NV.VatE - NV.V) + NV.IsynDend +
                    NV.IsynSoma - NP.IpumpDend) /
                   NP.Cm;
    } else {
      const double gm = NP.Cm / NP.tau_m;
      const double gd = gm * NP.ro;
      NV.Isyn = NV.IsynSoma;
      coupling = 2.0 * gd / NP.l * (NV.VatE - NV.V);
      NV.dVdt = clamped ? 0.0
                        : ((2.0 * NP.ro / NP.l) * (NV.VatE - NV.V) + (NV.IionCopy + NV.IsynSoma - NP.Ipump) / gm) /
                              NP.tau_m;
      rates.V = NV.dVdt;
      // The dendritic input's slope follows the voltage it depends on (the
      // inputs themselves are held); the NMDA term's by a central difference.
      const double dV = 1e-7;
      const auto nmda = [&](double V) { return (V - NP.E_NMDA) * NMDAConductance(gNMDA, NP.Mg, V); };
      const double dIdV = -sDend - (nmda(NV.V + dV) - nmda(NV.V - dV)) / (2.0 * dV);
      NV.IdendIn = 0.5 * NP.l * NP.tau_m * dIdV * NV.dVdt + (NP.l / 2.0 + 1.0) * NV.IsynDend;
      rates.VatE = (-(NV.VatE - NP.VLd) - (2.0 / NP.l) * (NV.VatE - NV.V) + NV.IdendIn / gd + IionDend / gd) /
                   NP.tau_m;
    }
  }
  NV.PSC = -(NV.Isyn + NV.IionCopy + coupling - NP.Ipump - NP.Cm * NV.dVdt) * NP.Square * 1e9;
  NV.Iind = Iext * NP.Square * 1e9;
  const double target = MaxD(NV.V - NP.Vrest, 0.0) * NP.dVTdV + NP.ThrShift + 0.01;
  if (NP.tau_Thr > 0.0) {
    rates.VThrDyn = (target - NV.VThrDyn) / NP.tau_Thr;
  } else {
    NV.VThrDyn = target;
  }
}

void TCondBasedNrn::TakeSampleSlope(double dVdt) {
  NV.dVdt = dVdt;
  if (CurrentGeometry() == Geometry::MainenSejn) {
    // The soma's slope is known only from the samples; the clamp current
    // takes it as the fixed step does.
    NV.PSC = -(NV.Isyn + NV.IionCopy - NP.Ipump - NP.Cm * NV.dVdt) * NP.Square * 1e9;
  }
}

bool TCondBasedNrn::Clamped() const { return !findingRest_ && IsVoltageClampMode(NP.If_I_V_or_g); }

void TCondBasedNrn::Step(double uDend, double sDend, double uSoma, double sSoma, double gNMDA, double Iext,
                         double Vclamp) {
  IntegrateStep(uDend, sDend, uSoma, sSoma, gNMDA, Iext, Vclamp);
}

void TCondBasedNrn::IntegrateStep(double uDend, double sDend, double uSoma, double sSoma, double gNMDA,
                                  double Iext, double Vclamp) {
  const double h = dt();
  const double Vus_ = Vus();
  NV.Vprev = NV.V;
  const double oldDVdt = NV.dVdt;
  const double IionDend = IonicDrive(Iext);

  double coupling = 0.0;
  auto inputs = [&] {
    NV.gNMDAeff = NMDAConductance(gNMDA, NP.Mg, NV.V);
    NV.IsynDend = uDend - sDend * (NV.V - Vus_) - (NV.V - NP.E_NMDA) * NV.gNMDAeff;
    NV.IsynSoma = uSoma - sSoma * (NV.V - Vus_);
  };

  const Geometry geometry = CurrentGeometry();
  if (geometry == Geometry::OnePoint) {
    NV.gNMDAeff = NMDAConductance(gNMDA, NP.Mg, NV.V);
    NV.Isyn = uSoma + uDend - (sDend + sSoma) * (NV.V - Vus_) - (NV.V - NP.E_NMDA) * NV.gNMDAeff;
    NV.dVdt = (NV.Iion + NV.Isyn - NP.Ipump) / NP.Cm;
    NV.V += h * NV.dVdt;
    NV.VatE = NV.V;
  } else if (geometry == Geometry::TwoPoints || geometry == Geometry::ActiveDend) {
    const double gm = NP.Cm / NP.tau_m;
    const double gd = gm * NP.ro;
    NV.IsynDendPrev = NV.IsynDend;
    NV.IsynSomaPrev = NV.IsynSoma;
    const double V0 = NV.V;
    const double Vd0 = NV.VatE;
    for (int pass = 0; pass < 2; ++pass) {  // predictor, then corrector from the midpoint
      inputs();
      NV.Isyn = NV.IsynSoma;
      const double dI = NV.IsynDendPrev == 0.0 ? 0.0 : (NV.IsynDend - NV.IsynDendPrev) / h;
      NV.IdendIn = 0.5 * NP.l * NP.tau_m * dI + (NP.l / 2.0 + 1.0) * NV.IsynDend;
      coupling = 2.0 * gd / NP.l * (NV.VatE - NV.V);
      const double dVd = h / NP.tau_m *
                         (-(NV.VatE - NP.VLd) - (2.0 / NP.l) * (NV.VatE - NV.V) + NV.IdendIn / gd + IionDend / gd);
      const double dV =
          h / NP.tau_m * ((2.0 * NP.ro / NP.l) * (NV.VatE - NV.V) + (NV.IionCopy + NV.IsynSoma - NP.Ipump) / gm);
      NV.VatE = Vd0 + dVd;
      NV.V = V0 + dV;
      if (pass == 0) {
        NV.VatE = (NV.VatE + Vd0) / 2.0;
        NV.V = (NV.V + V0) / 2.0;
        if (Clamped()) NV.V = Vclamp;
      }
    }
  } else if (geometry == Geometry::MainenSejn) {
    const double Gc = 2.0 * NP.gL * NP.ro / NP.l;
    NV.IsynDendPrev = NV.IsynDend;
    NV.IsynSomaPrev = NV.IsynSoma;
    const double V0 = NV.V;
    const double Vd0 = NV.VatE;
    for (int pass = 0; pass < 2; ++pass) {
      inputs();
      NV.Isyn = NV.IsynDend + NV.IsynSoma;
      NV.VatE = Vd0 + h / NP.Cm *
                          (-NP.gLd * (NV.VatE - NP.VLd) - (2.0 / NP.l) * NP.gLd * (NV.VatE - NV.V) + NV.IsynDend +
                           NV.IsynSoma - NP.IpumpDend);
      // The soma relaxes toward its quasi-steady voltage; this is not a time step.
      NV.V += 0.2 * (Gc * (NV.VatE - NV.V) + NV.Iion - NP.Ipump) / (Gc + NP.gL + NV.gSum);
      if (pass == 0) {
        NV.VatE = (NV.VatE + Vd0) / 2.0;
        NV.V = (NV.V + V0) / 2.0;
        if (Clamped()) NV.V = Vclamp;
      }
    }
    // Both inputs already enter Isyn, so the clamp current carries no separate
    // axial term: adding one would count the dendritic input twice.
    coupling = 0.0;
  }

  if (Clamped()) NV.V = Vclamp;
  NV.dVdt = (NV.V - NV.Vprev) / h;
  NV.d2Vdt2 = (NV.dVdt - oldDVdt) / h;
  NV.PSC = -(NV.Isyn + NV.IionCopy + coupling - NP.Ipump - NP.Cm * NV.dVdt) * NP.Square * 1e9;
  NV.Iind = Iext * NP.Square * 1e9;
  // The dynamic threshold follows the depolarisation; a non-positive relaxation
  // time makes it follow at once instead of dividing by zero.
  const double target = MaxD(NV.V - NP.Vrest, 0.0) * NP.dVTdV + NP.ThrShift + 0.01;
  NV.VThrDyn = NP.tau_Thr > 0.0 ? NV.VThrDyn + h / NP.tau_Thr * (target - NV.VThrDyn) : target;
}

}  // namespace membrix
