#pragma once
// The conductance-based neuron: a soma, optionally coupled to one dendritic
// compartment, with up to fourteen ionic currents, a leak, a submembrane Ca pool
// and inputs u - s*(V - Vus) at soma and dendrite, an NMDA conductance and an
// injected current.

#include <array>
#include <bitset>
#include <memory>

#include "channels/channel.h"
#include "channels/channel_catalogue.h"
#include "neuron/dyn_threshold.h"
#include "neuron/neuron.h"

namespace membrix {

class TCondBasedNrn : public TNeuron {
 public:
  // Fills the channel slots from the record's HH_type, Na_type and NaR_type.
  // NP itself is set by the factory afterwards. Throws membrix::Error for a
  // model family the program does not know.
  TCondBasedNrn(const NeuronProperties& np, RunView clock);
  ~TCondBasedNrn() override;

  double InputConductance() override;
  void InitState() override;
  void Currents(double& IionCh, double& IionDend, double& gSum) override;
  void Step(double uDend, double sDend, double uSoma, double sSoma, double gNMDA, double Iext,
            double Vclamp) override;

  // One integration step of the membrane; the body of Step, shared with the
  // threshold neuron.
  void IntegrateStep(double uDend, double sDend, double uSoma, double sSoma, double gNMDA, double Iext,
                     double Vclamp);

  // The right-hand side of the neuron's equations at its present state and
  // these inputs: the rate of change (per s) of each state field goes into the
  // same field of `rates`; fields that are not state (instantaneous gates,
  // the occupancy a scheme derives from the others) are set from the state
  // instead and left alone in `rates`. The currents, conductances, clamp
  // current and voltage slope are those of this state; nothing is advanced.
  // Whether a state field is written depends on the model, not on its value.
  // In the two-compartment geometries the dendrite's voltage VatE is state
  // too; in "2-p-MainenSejn" the soma's voltage is not: it is where the soma's
  // currents balance the dendrite's at the present gates. Throws
  // membrix::Error for a geometry without equations.
  void TakeDerivatives(NeuronVariables& rates, double uDend, double sDend, double uSoma, double sSoma,
                       double gNMDA, double Iext, double Vclamp);
  // Whether the neuron's equations have a right-hand side (TakeDerivatives),
  // and whether the soma's voltage is one of its state fields.
  bool HasDerivatives();
  bool VoltageIsState();
  // The dendrite's synaptic input at the present voltage for these inputs.
  double DendriticInput(double uDend, double sDend, double gNMDA) const;
  // Where the inputs change from one held value to another: the jump the
  // dendrite makes in the two-compartment geometries (the fixed step's limit),
  // nothing in the others.
  void TakeInputEdge(double IsynDendBefore, double IsynDendAfter);
  // The voltage slope of a sample, taken between samples, and what depends on it.
  void TakeSampleSlope(double dVdt);

  // The shortest of the channels' longest time steps.
  double LongestTimeStep() const override;

  TChannel& Channel(Slot slot) { return *Ch[static_cast<int>(slot)]; }
  const TChannel& Channel(Slot slot) const { return *Ch[static_cast<int>(slot)]; }
  TDynThr* DynThr() { return DynThr_.get(); }

  // A set of slots, a bit per slot index.
  using SlotSet = std::bitset<kSlotCount>;
  // The slots whose gates someone outside the neuron reads: a run view, a
  // trace, a recorder, an analysis. Set before InitState; until then every
  // slot counts as observed.
  void ObserveSlots(SlotSet observed) { observed_ = observed; }
  // The slots whose gates are advanced at every step. Decided at InitState: a
  // slot steps when it carries a current (its maximal conductance is not 0),
  // when its gates are observed, or when a slot that steps reads its gates. The
  // others keep the steady state they were given at rest; the current they
  // would carry, 0 times their open fraction, is 0.
  SlotSet SteppingSlots() const;
  // Whether the stepping slots are those of a family whose step is resolved
  // at InitState: its channels called directly, inlined, with no call for a
  // slot at rest. The results are the same either way, bit for bit.
  bool StepResolved() const { return resolved_ != 0; }

 protected:
  void SetRest();
  void UpdateCa(double ICa);

 private:
  // The geometries by HH_order; any other text integrates nothing.
  enum class Geometry { Unknown, OnePoint, TwoPoints, ActiveDend, MainenSejn, None };

  // The channels' currents at the present state (stepped, or their rates
  // taken) and the ionic drive of the soma with the injected current Iext;
  // returns the dendrite's ionic drive.
  double IonicDrive(double Iext);
  // Whether the membrane is held at the command voltage in this step.
  bool Clamped() const;
  // The quasi-static soma of the Mainen-Sejnowski cell: the balance of its
  // currents against the dendrite's at the present voltage (evaluating the
  // currents there), and the voltage that brings it to zero.
  double SomaticResidual(double Iext);
  void SolveQuasiStaticSoma(double Iext);
  // The geometry of NP.HH_order, read once per run (at InitState, or at the
  // first step of a neuron driven without it) instead of at every step.
  Geometry CurrentGeometry() { return geometry_ != Geometry::Unknown ? geometry_ : ReadGeometry(); }
  Geometry ReadGeometry();
  void DecideSteppingSlots();
  // The imported channels: their gates at the steady state of the present
  // voltage; one step of them, adding their currents to Iion (inward
  // positive) and their conductances to the neuron's sum.
  void InitImported();
  void StepImported(double& Iion);

  // What the slots give a step: through the channel objects, or through a
  // family's channels resolved at InitState (cond_based_neuron.cpp).
  struct ChannelSlots;
  template <class StepList>
  struct ResolvedSlots;
  // The channels' currents, the ionic sums and the conductance sum, slot by
  // slot through one of the above.
  template <class Slots>
  void SlotCurrents(const Slots& slots, double& IionCh, double& IionDend);
  template <class Slots>
  void ConductanceSum(const Slots& slots);
  // The above through the step resolved for the stepping slots, and the
  // imported channels: returns the channels' drive of the soma (Currents'
  // IionCh) and sets the dendrite's.
  double ChannelCurrents(double& IionDend);
  // The step the slots take, decided at InitState with the stepping slots:
  // 0 through the channel objects, else 1 + the index of the family's
  // resolved step.
  int ResolveStep() const;

  std::array<std::unique_ptr<TChannel>, kSlotCount> Ch;
  // Slots holding a null channel: their current and open fraction are 0, and
  // they are not called.
  std::array<bool, kSlotCount> isNull_{};
  SlotSet observed_ = SlotSet().set();
  // The slots whose channels are called at each step (never a null channel).
  std::array<bool, kSlotCount> stepping_{};
  int resolved_ = 0;
  std::unique_ptr<TDynThr> DynThr_;
  Geometry geometry_ = Geometry::Unknown;
  bool findingRest_ = false;  // the free resting potential is being sought
};

}  // namespace membrix
