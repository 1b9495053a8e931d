#include "neuron/variable_step.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>

#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>

#include "common/error.h"
#include "common/number_format.h"
#include "ions/ion_dynamics.h"
#include "neuron/cond_based_neuron.h"

namespace membrix {

IntegratorKind IntegratorFromName(const std::string& name) {
  if (name == "fixed") return IntegratorKind::FixedStep;
  if (name == "cvode") return IntegratorKind::Cvode;
  throw Error("unknown integrator \"" + name + "\"; expected fixed or cvode");
}

const char* IntegratorName(IntegratorKind kind) { return kind == IntegratorKind::Cvode ? "cvode" : "fixed"; }

void CheckTolerances(const IntegratorSettings& settings) {
  const auto positive = [](double x) { return x > 0.0 && std::isfinite(x); };
  const auto text = [](double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", x);
    return std::string(buffer);
  };
  if (!positive(settings.rtol) || settings.rtol >= 1.0) {
    throw RangeError("the relative tolerance (rtol) must lie between 0 and 1, not " + text(settings.rtol));
  }
  if (!positive(settings.atol)) {
    throw RangeError("the absolute tolerance (atol) must be positive, not " + text(settings.atol));
  }
}

namespace {

using NV_ = NeuronVariables;

// Byte offset of a field of the record.
std::ptrdiff_t OffsetOf(const NeuronVariables& nv, const double& field) {
  return reinterpret_cast<const char*>(&field) - reinterpret_cast<const char*>(&nv);
}

// Every field that can be state: what the right-hand side writes a rate for
// is, the rest is not.
std::vector<std::ptrdiff_t> CandidateFields(const NeuronVariables& nv) {
  std::vector<std::ptrdiff_t> fields;
  for (double NV_::*f : {&NV_::V, &NV_::VatE, &NV_::Ca, &NV_::VThrDyn, &NV_::mmR, &NV_::hhR, &NV_::iiR, &NV_::mm, &NV_::nn,
                         &NV_::hh, &NV_::ii, &NV_::yK, &NV_::nM, &NV_::zM, &NV_::nA, &NV_::lA, &NV_::nH,
                         &NV_::mCaH, &NV_::hCaH, &NV_::kCaH, &NV_::nKCa, &NV_::wADP, &NV_::wAHP, &NV_::lAHP,
                         &NV_::mCaT, &NV_::hCaT, &NV_::mBst, &NV_::mNaP, &NV_::xD, &NV_::yD}) {
    fields.push_back(OffsetOf(nv, nv.*f));
  }
  for (std::size_t i = 1; i < nv.pNa.size(); ++i) fields.push_back(OffsetOf(nv, nv.pNa[i]));
  for (std::size_t i = 1; i < nv.pNaR.size(); ++i) fields.push_back(OffsetOf(nv, nv.pNaR[i]));
  for (const double& x : nv.ImportedGates) fields.push_back(OffsetOf(nv, x));
  return fields;
}

// Intracellular Na and K, and the cell volume, follow the neuron's state
// under ion dynamics.
constexpr std::size_t kIonStates = 3;

// The first step after a start or restart, s: short beside any gate's time
// constant; the integrator lengthens it within a few steps.
constexpr double kFirstStep = 1e-7;

// SUNDIALS reports its errors through the return flags the calls give; its
// own printing to the terminal is switched off.
void QuietErrors(int, const char*, const char*, char*, void*) {}

}  // namespace

std::vector<std::ptrdiff_t> StateFieldsOf(TCondBasedNrn& neuron) {
  NeuronVariables& nv = neuron.NV;
  const NeuronVariables start = nv;
  NeuronVariables rates{};
  const std::vector<std::ptrdiff_t> candidates = CandidateFields(nv);
  for (std::ptrdiff_t f : candidates) FieldAt(rates, f) = std::numeric_limits<double>::quiet_NaN();
  neuron.TakeDerivatives(rates, 0, 0, 0, 0, 0, 0, 0);
  nv = start;
  std::vector<std::ptrdiff_t> fields;
  for (std::ptrdiff_t f : candidates) {
    if (!std::isnan(FieldAt(rates, f))) fields.push_back(f);
  }
  return fields;
}

struct TVariableStepIntegrator::Sundials {
  SUNContext context = nullptr;
  N_Vector y = nullptr;
  N_Vector tolerances = nullptr;
  N_Vector scratch = nullptr;
  SUNMatrix matrix = nullptr;
  SUNLinearSolver solver = nullptr;
  void* cvode = nullptr;

  ~Sundials() {
    if (cvode != nullptr) CVodeFree(&cvode);
    if (solver != nullptr) SUNLinSolFree(solver);
    if (matrix != nullptr) SUNMatDestroy(matrix);
    if (scratch != nullptr) N_VDestroy(scratch);
    if (tolerances != nullptr) N_VDestroy(tolerances);
    if (y != nullptr) N_VDestroy(y);
    if (context != nullptr) SUNContext_Free(&context);
  }

  static int Rhs(sunrealtype, N_Vector y, N_Vector ydot, void* self) {
    auto& integrator = *static_cast<TVariableStepIntegrator*>(self);
    integrator.Evaluate(N_VGetArrayPointer(y), N_VGetArrayPointer(ydot));
    return std::isfinite(integrator.neuron_.NV.V) ? 0 : 1;  // a recoverable failure: a shorter step
  }

  // The voltage's slope while it is above the peak level, 1 below it: a
  // falling zero is a peak. The slope is that of the integrator's own
  // interpolating polynomial over its last step, which costs no evaluation of
  // the equations.
  static int Root(sunrealtype t, N_Vector y, sunrealtype* g, void* self) {
    auto& integrator = *static_cast<TVariableStepIntegrator*>(self);
    Sundials& s = *integrator.sun_;
    const double V = N_VGetArrayPointer(y)[integrator.vIndex_];
    if (!(V > integrator.peakLevel_)) {
      g[0] = 1.0;
      return 0;
    }
    if (CVodeGetDky(s.cvode, t, 1, s.scratch) != CV_SUCCESS) return 1;
    g[0] = N_VGetArrayPointer(s.scratch)[integrator.vIndex_];
    return 0;
  }

  void Check(int flag, const char* call) const {
    if (flag < 0) {
      throw Error(std::string("the error-controlled integrator could not be set up (") + call + ": " +
                  CVodeGetReturnFlagName(flag) + ")");
    }
  }
};

TVariableStepIntegrator::TVariableStepIntegrator(TCondBasedNrn& neuron, double t0,
                                                 const IntegratorSettings& settings, double peakLevel, TIons* ions)
    : neuron_(neuron),
      ions_(ions != nullptr && ions->IonDynamics != 0 ? ions : nullptr),
      t_(t0),
      peakLevel_(peakLevel),
      sun_(std::make_unique<Sundials>()) {
  CheckTolerances(settings);
  fields_ = StateFieldsOf(neuron_);  // throws where the equations have no right-hand side
  NeuronVariables& nv = neuron_.NV;

  const auto n = static_cast<sunindextype>(fields_.size() + (ions_ != nullptr ? kIonStates : 0));
  Sundials& s = *sun_;
  s.Check(SUNContext_Create(nullptr, &s.context), "SUNContext_Create");
  s.y = N_VNew_Serial(n, s.context);
  s.tolerances = N_VNew_Serial(n, s.context);
  s.scratch = N_VNew_Serial(n, s.context);
  // The integrator's vectors are clones of y: with the fused operations a
  // combination of several vectors is one pass rather than one per vector.
  N_VEnableFusedOps_Serial(s.y, SUNTRUE);
  N_VEnableFusedOps_Serial(s.scratch, SUNTRUE);
  double* y = N_VGetArrayPointer(s.y);
  double* tol = N_VGetArrayPointer(s.tolerances);
  const std::ptrdiff_t vField = OffsetOf(nv, nv.V);
  const std::ptrdiff_t dendriteField = OffsetOf(nv, nv.VatE);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i] == vField) vIndex_ = i;
    if (fields_[i] == dendriteField) dendriteIndex_ = i;
  }
  const bool locatePeaks = neuron_.VoltageIsState();
  const std::ptrdiff_t caField = OffsetOf(nv, nv.Ca);
  const std::ptrdiff_t thrField = OffsetOf(nv, nv.VThrDyn);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    y[i] = FieldAt(nv, fields_[i]);
    // Volts and mM hold values a thousand times smaller than the mV and µM
    // the tolerance is given in.
    const bool scaled = fields_[i] == vField || fields_[i] == dendriteField || fields_[i] == caField ||
                        fields_[i] == thrField;
    tol[i] = scaled ? settings.atol * 1e-3 : settings.atol;
  }
  if (ions_ != nullptr) {
    double* tail = y + fields_.size();
    tail[0] = ions_->Nai;
    tail[1] = ions_->Ki;
    tail[2] = ions_->Vol;
    std::fill_n(tol + fields_.size(), kIonStates, settings.atol);
  }
  s.cvode = CVodeCreate(CV_BDF, s.context);
  if (s.cvode == nullptr) throw Error("the error-controlled integrator could not be set up (CVodeCreate)");
  s.Check(CVodeSetErrHandlerFn(s.cvode, QuietErrors, nullptr), "CVodeSetErrHandlerFn");
  s.Check(CVodeInit(s.cvode, Sundials::Rhs, t0, s.y), "CVodeInit");
  s.Check(CVodeSetUserData(s.cvode, this), "CVodeSetUserData");
  s.Check(CVodeSVtolerances(s.cvode, settings.rtol, s.tolerances), "CVodeSVtolerances");
  s.matrix = SUNDenseMatrix(n, n, s.context);
  s.solver = SUNLinSol_Dense(s.y, s.matrix, s.context);
  s.Check(CVodeSetLinearSolver(s.cvode, s.solver, s.matrix), "CVodeSetLinearSolver");
  s.Check(CVodeSetMaxNumSteps(s.cvode, 1000000), "CVodeSetMaxNumSteps");
  // A first step of its own rather than one estimated from the first sample
  // time: the solution then does not depend on the sample grid (only its
  // samples do), here and after every restart.
  s.Check(CVodeSetInitStep(s.cvode, kFirstStep), "CVodeSetInitStep");
  // Peaks are located where the soma's voltage is state; a soma that follows
  // its dendrite at once has its spikes timed from the samples.
  if (locatePeaks) {
    s.Check(CVodeRootInit(s.cvode, 1, Sundials::Root), "CVodeRootInit");
    int falling = -1;
    s.Check(CVodeSetRootDirection(s.cvode, &falling), "CVodeSetRootDirection");
    s.Check(CVodeSetNoInactiveRootWarn(s.cvode), "CVodeSetNoInactiveRootWarn");
  }
}

TVariableStepIntegrator::~TVariableStepIntegrator() = default;

void TVariableStepIntegrator::LoadState(const double* y) {
  NeuronVariables& nv = neuron_.NV;
  for (std::size_t i = 0; i < fields_.size(); ++i) FieldAt(nv, fields_[i]) = y[i];
  if (ions_ != nullptr) {
    // The reversal potentials and the pump current follow the concentrations
    // and the voltage of this state before the neuron's currents are taken.
    const double* tail = y + fields_.size();
    ions_->Nai = tail[0];
    ions_->Ki = tail[1];
    ions_->Vol = tail[2];
    ions_->I_Na_K_pump = ions_->PumpCurrent(nv.V);
    ions_->ApplyTo(neuron_.NP);
  }
}

void TVariableStepIntegrator::Evaluate(const double* y, double* ydot) {
  ++evaluations_;
  LoadState(y);
  neuron_.TakeDerivatives(rates_, in_.uDend, in_.sDend, in_.uSoma, in_.sSoma, in_.gNMDA, in_.Iext, in_.Vclamp);
  for (std::size_t i = 0; i < fields_.size(); ++i) ydot[i] = FieldAt(rates_, fields_[i]);
  if (ions_ != nullptr) {
    const TIons::Rates rates = ions_->RatesAt(neuron_.NP, neuron_.NV);
    double* tail = ydot + fields_.size();
    tail[0] = rates.Nai;
    tail[1] = rates.Ki;
    tail[2] = rates.Vol;
  }
}

void TVariableStepIntegrator::Restart(double t) {
  ++restarts_;
  peaksAhead_.clear();  // found with the inputs that have just ended
  sun_->Check(CVodeReInit(sun_->cvode, t, sun_->y), "CVodeReInit");
}

void TVariableStepIntegrator::AdvanceTo(double t, const HeldInputs& in) {
  NeuronVariables& nv = neuron_.NV;
  const double Vprev = nv.V;
  const double oldSlope = nv.dVdt;
  // The inputs are part of the equations: where they change, the solution so
  // far (made with the old ones) ends at the last sample and a new one starts.
  if (!started_ || !(in == in_)) {
    if (started_ && dendriteIndex_) {
      neuron_.TakeInputEdge(neuron_.DendriticInput(in_.uDend, in_.sDend, in_.gNMDA),
                            neuron_.DendriticInput(in.uDend, in.sDend, in.gNMDA));
      N_VGetArrayPointer(sun_->y)[*dendriteIndex_] = nv.VatE;
    }
    in_ = in;
    if (started_) Restart(t_);
    started_ = true;
  }
  Sundials& s = *sun_;
  // The integrator takes its own steps until one ends at or beyond t, and the
  // sample is interpolated in that step. Asking it to stop at t instead would
  // make it check for a peak up to every sample, interpolating again each
  // time; the steps themselves are the same either way. A peak found beyond t
  // waits in peaksAhead_ until the samples reach it. After a peak the
  // integrator is called again, so that the rest of its step is searched too.
  for (bool afterPeak = false;;) {
    sunrealtype reached = t_;
    s.Check(CVodeGetCurrentTime(s.cvode, &reached), "CVodeGetCurrentTime");
    if (reached >= t && !afterPeak) break;
    const int flag = CVode(s.cvode, t, s.y, &reached, CV_ONE_STEP);
    if (flag < 0) {
      throw DivergenceError(std::string("the error-controlled integrator failed at t = ") +
                            Fixed(reached * 1000.0, 0, 4) + " ms (" + CVodeGetReturnFlagName(flag) + ")");
    }
    afterPeak = flag == CV_ROOT_RETURN;
    if (afterPeak) peaksAhead_.push_back({reached, N_VGetArrayPointer(s.y)[vIndex_]});
  }
  s.Check(CVodeGetDky(s.cvode, t, 0, s.y), "CVodeGetDky");
  std::size_t reachedPeaks = 0;
  while (reachedPeaks < peaksAhead_.size() && peaksAhead_[reachedPeaks].t <= t) ++reachedPeaks;
  peaks_.insert(peaks_.end(), peaksAhead_.begin(), peaksAhead_.begin() + static_cast<std::ptrdiff_t>(reachedPeaks));
  peaksAhead_.erase(peaksAhead_.begin(), peaksAhead_.begin() + static_cast<std::ptrdiff_t>(reachedPeaks));
  Evaluate(N_VGetArrayPointer(s.y), N_VGetArrayPointer(s.scratch));
  // The state at the sample, its currents evaluated there; the slopes the
  // spike detector reads are those of the samples, as with the fixed step.
  const double h = t - t_;
  nv.Vprev = Vprev;
  neuron_.TakeSampleSlope((nv.V - Vprev) / h);
  nv.d2Vdt2 = (nv.dVdt - oldSlope) / h;
  t_ = t;
}

void TVariableStepIntegrator::DropPeaksBefore(double t) {
  std::size_t kept = 0;
  while (kept < peaks_.size() && peaks_[kept].t < t) ++kept;
  peaks_.erase(peaks_.begin(), peaks_.begin() + static_cast<std::ptrdiff_t>(kept));
}

long TVariableStepIntegrator::Steps() const {
  long steps = 0;
  CVodeGetNumSteps(sun_->cvode, &steps);
  return steps;
}

}  // namespace membrix
