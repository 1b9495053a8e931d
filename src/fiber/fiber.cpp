#include "fiber/fiber.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/spike_detector.h"
#include "common/error.h"
#include "common/number_format.h"
#include "params/run_section.h"
#include "run/clamp_run.h"
#include "run/recording.h"
#include "run/run_globals.h"
#include "run/session.h"
#include "run/stimulus.h"
#include "run/trace_files.h"

namespace membrix {

namespace {

// 1/(12π): the field of a line of point sources in a medium of the program's
// extracellular resistivity.
constexpr double kLFPFactor = 0.026525823848649222626;

bool IsSomaClampMode(std::int32_t mode) { return mode == 1 || mode == 3 || mode == 4 || mode == 5; }

// The sign of x with 0 counted as positive.
double SignOf(double x) { return x < 0.0 ? -1.0 : 1.0; }

// The alpha function a·exp(1 - a), a = rate·t: 0 at t = 0, 1 at its peak t = 1/rate.
double Alpha(double rate, double t) {
  const double a = rate * t;
  return a * std::exp(1.0 - a);
}

void RequirePositive(double x, const char* what) {
  if (!(x > 0.0) || !std::isfinite(x)) {
    throw RangeError(std::string("the axon needs a positive ") + what + ", not " + Fixed(x, 0, 6));
  }
}

}  // namespace

TFiber::TFiber(const FiberProperties& props, RunView clock) : Props(props), clock_(clock) {
  const auto n = static_cast<std::size_t>(Props.N) + 1;
  for (auto* a : {&Iext, &gSyn, &Iind, &V, &g, &Iion, &Isyn, &Vold, &lower, &diag, &upper, &rhs, &U}) {
    a->assign(n, 0.0);
  }
  Nodes.reserve(n);
  for (std::size_t i = 0; i < n; ++i) Nodes.push_back(CreateNeuron(Props.NP, clock));
}

void TFiber::ClearInputs() {
  std::fill(Iext.begin(), Iext.end(), 0.0);
  std::fill(gSyn.begin(), gSyn.end(), 0.0);
  std::fill(Iind.begin(), Iind.end(), 0.0);
}

void CheckFiberInputs(const Session& s, const FiberInputs& in) {
  if (in.N < 1 || in.N > kMaxFiberSegments) {
    throw RangeError("the axon has " + std::to_string(in.N) + " segments; it may have 1 ... " +
                     std::to_string(kMaxFiberSegments));
  }
  RequirePositive(in.L, "length (\"L, mum\")");
  RequirePositive(in.diam, "diameter (\"diam, mum\")");
  RequirePositive(in.RL, "axial resistivity (\"RL, Ohm*cm:\")");
  RequirePositive(s.NP0.tau_m, "membrane time constant (tau_m)");
  RequirePositive(s.NP0.Cm, "membrane capacitance (Cm)");
  if (!(in.zDraw >= 0.0 && in.zDraw <= 1.0)) {
    throw RangeError("the observed node \"zDraw/L\" = " + Fixed(in.zDraw, 0, 3) + " lies outside the axon (0 ... 1)");
  }
  if (!(in.alpha_Hz >= 0.0)) throw RangeError("\"alpha_Hz\" must not be negative");
  if (!(in.tau_noise >= 0.0)) throw RangeError("\"tau_noise, ms\" must not be negative");
  if (in.NaDistribution < 0 || in.NaDistribution >= static_cast<int>(kNaDistributionNames.size()) ||
      in.KDistribution < 0 || in.KDistribution >= static_cast<int>(kKDistributionNames.size())) {
    throw RangeError("unknown Na or K distribution along the axon");
  }
  const auto mode = static_cast<std::int32_t>(in.Stimulation);
  if (mode < 0 || mode >= static_cast<int>(kFiberStimulationNames.size())) {
    throw RangeError("unknown stimulation mode " + std::to_string(mode) + " of the axon");
  }
  if (s.NP0.LIF_model == 1) {
    throw RangeError("the nodes of the axon need membrane currents; the integrate-and-fire model has none");
  }
}

std::unique_ptr<TFiber> CreateFiber(Session& s, const std::string& name, std::int32_t N, std::int32_t SomaClamped,
                                    double Rho, double Lambda, double VClamp, double L, double dt) {
  FiberProperties p;
  p.Name = name;
  p.NP = s.NP0;
  p.N = N;
  p.SomaClamped = SomaClamped;
  p.Rho = Rho;
  p.Lambda = Lambda;
  p.VClamp = VClamp;
  p.L = L;
  p.dx = L / N;
  p.d = 4.0 * Lambda * Lambda * Rho * (p.NP.Cm / p.NP.tau_m);
  p.ri = Rho / (std::numbers::pi * p.d * p.d / 4.0);
  p.SegArea = std::numbers::pi * p.d * p.dx;
  SetTimeStep(s.run, dt);
  auto fiber = std::make_unique<TFiber>(p, s.View());
  // Kinetics that need short steps lower the run's step, as in the clamp run.
  const double longest = fiber->Nodes[0]->LongestTimeStep();
  if (s.run.dt > longest) SetTimeStep(s.run, longest);
  return fiber;
}

std::unique_ptr<TFiber> SetupFiber(Session& s, const FiberInputs& in) {
  CheckFiberInputs(s, in);
  ResetRunState(s);
  s.NP0.HH_order = "1-point";
  const double L = in.L / 10000.0;
  const std::int32_t N = in.N;
  const double rho = in.RL / 1000.0;
  const double d = in.diam / 10000.0;
  const double gm = s.NP0.Cm / s.NP0.tau_m;
  const double lambda = std::sqrt(d / (4.0 * gm * rho));
  const double ri = rho / (std::numbers::pi * d * d / 4.0);

  const std::int32_t clamped = IsSomaClampMode(s.NP0.If_I_V_or_g) ? 1 : 0;
  auto fiber = CreateFiber(s, "Axon", N, clamped, rho, lambda, s.NP0.Vrest, L, s.run.dt);
  FiberSettings& f = fiber->Settings;
  f.mode = in.Stimulation;
  f.alpha_Hz = in.alpha_Hz;
  f.Iind_Left = in.Iind_Left / 1e9;
  f.Iind_Right = in.Iind_Right / 1e9;
  f.Gs_Left = in.Gs_Left / 1e6;
  f.Gs_Right = in.Gs_Right / 1e6;
  f.Vrev_Left = in.Vrev_Left / 1000.0;
  f.Vrev_Right = in.Vrev_Right / 1000.0;
  f.tau_noise = in.tau_noise / 1000.0;
  f.Ampl_gE = in.Ampl_gE;
  f.Ampl_gI = in.Ampl_gI;
  f.mean_gE = in.mean_gE;
  f.mean_gI = in.mean_gI;
  f.Gs_R = ri * lambda * gm * s.NP0.Square;
  f.k = std::clamp(static_cast<std::int32_t>(std::trunc(in.zDraw * N)), 0, N);
  ApplyChannelDistribution(*fiber, in);
  return fiber;
}

void ApplyChannelDistribution(TFiber& fiber, const FiberInputs& in) {
  const std::int32_t N = fiber.N();
  auto np = [&](std::int32_t i) -> NeuronProperties& { return fiber.Nodes[static_cast<std::size_t>(i)]->NP; };
  auto x = [&](std::int32_t i) { return static_cast<double>(i) / N; };
  const double wNa = in.wNa;
  const double wK = in.wK;
  // The two shapes of the inhomogeneous axon: a parabola for w > 1, else a line.
  auto shape = [](double w, double xi) { return w > 1.0 ? w * xi * xi + 1.0 / w : 1.0 - w + 2.0 * w * xi; };

  // 1. The Na and K densities of the axon relative to the soma.
  if (in.Homogeneous == 1) {
    const NeuronProperties soma = np(0);
    for (std::int32_t i = 1; i <= N; ++i) {
      np(i).gNa *= wNa;
      np(i).gK = soma.gK * wK;
      np(i).gKM = soma.gKM * wK;
      np(i).gKA = soma.gKA * wK;
      np(i).gKD = soma.gKD * wK;
    }
  } else {
    for (std::int32_t i = 0; i <= N; ++i) {
      np(i).gNa *= shape(wNa, x(i));
      const double k = shape(wK, x(i));
      np(i).gK *= k;
      np(i).gKM *= k;
      np(i).gKA *= k;
      np(i).gKD *= k;
    }
  }
  // Imported channels keep the model's density in every node; only where the
  // axon is made passive are they taken out with the family's channels.
  auto passive = [&](NeuronProperties& p) {
    for (ImportedChannel& c : p.Imported) c.g = 0.0;
  };
  // 2. A passive right half.
  if (in.RightHalfPassive == 1) {
    for (std::int32_t i = 0; i <= N; ++i) {
      if (x(i) > 0.5) {
        np(i).gNa = np(i).gK = np(i).gKM = np(i).gKA = np(i).gKD = 0.0;
        passive(np(i));
      }
    }
  }
  // 3. No adaptation currents on the axon.
  if (in.NoAdaptation == 1) {
    for (std::int32_t i = 1; i <= N; ++i) np(i).gAHP = np(i).gKM = 0.0;
  }
  // 4. The Na distribution; the soma's and the far end's values are taken before any node changes.
  const NeuronProperties soma = np(0);
  const NeuronProperties end = np(N);
  switch (in.NaDistribution) {
    case 0:
      for (std::int32_t i = 0; i <= N; ++i) {
        np(i).gNaR = x(i) * end.gNaR;
        np(i).gNa = (1.0 - x(i)) * soma.gNa;
        np(i).NaThreshShift = soma.NaThreshShift;
      }
      break;
    case 1:
      for (std::int32_t i = 0; i <= N; ++i) np(i).NaThreshShift = (1.0 - x(i)) * soma.NaThreshShift;
      break;
    case 3:
      for (std::int32_t i = 0; i <= N; ++i) {
        if (x(i) < 0.5) np(i).gNaR = 0.0;
        if (i >= 1) np(i).gNa = 0.0;
      }
      break;
    case 4:
      for (std::int32_t i = 1; i <= N; ++i) {
        NeuronProperties& p = np(i);
        p.gNa = p.gNaR = p.gK = p.gKM = p.gKA = p.gKD = p.gH = p.gADP = p.gAHP = 0.0;
        passive(p);
      }
      break;
    case 5:
      // The adaptation currents grow linearly from none at the soma to the far end's density.
      for (std::int32_t i = 0; i <= N; ++i) {
        np(i).gAHP = x(i) * end.gAHP;
        np(i).gKM = x(i) * end.gKM;
      }
      break;
    default: break;  // 2: homogeneous
  }
  // 5. The K distribution, following the Na densities just set.
  const NeuronProperties soma2 = np(0);
  const NeuronProperties end2 = np(N);
  switch (in.KDistribution) {
    case 1:
      if (soma2.gNa > 0.0) {
        for (std::int32_t i = 1; i <= N; ++i) {
          np(i).gK = np(i).gNaR * soma2.gK / soma2.gNa;
          np(i).gKA = np(i).gNaR * soma2.gKA / soma2.gNa;
        }
      }
      break;
    case 2:
      if (end2.gNaR > 0.0) {
        for (std::int32_t i = 0; i <= N; ++i) {
          const double na = i == 0 ? np(0).gNa : np(i).gNaR;
          np(i).gK = na * end2.gK / end2.gNaR;
          np(i).gKA = na * end2.gKA / end2.gNaR;
        }
      }
      break;
    case 3:
      for (std::int32_t i = 0; i <= N; ++i) {
        if (x(i) < 0.5) np(i).gK = np(i).gKA = 0.0;
      }
      break;
    default: break;
  }
}

void InitFiber(Session& s, TFiber& fiber) {
  s.run.t = 0.0;
  fiber.gE = fiber.gI = 0.0;
  for (auto& node : fiber.Nodes) node->InitState();
  fiber.Props.NP = fiber.Nodes.back()->NP;
  const double Vus = s.stim.Vus;
  for (std::size_t i = 0; i < fiber.Nodes.size(); ++i) {
    const TNeuron& node = *fiber.Nodes[i];
    fiber.V[i] = node.NV.V;
    fiber.g[i] = node.NV.gSum + node.NP.gL;
    fiber.Iion[i] = node.NV.Iion;
    fiber.Isyn[i] = -fiber.gSyn[i] * (fiber.V[i] - Vus) + fiber.Iext[i];
  }
  fiber.ISoma = fiber.IAxon = fiber.JmSoma = fiber.JmAxon = 0.0;
}

void StimulateFiber(Session& s, TFiber& fiber) {
  const FiberSettings& f = fiber.Settings;
  const std::size_t last = static_cast<std::size_t>(fiber.N());
  const double t = s.run.t;
  switch (f.mode) {
    case FiberStimulation::SomaProtocol: {
      const NeuronProperties& np = fiber.Nodes[0]->NP;
      if (np.Square > 0.0) {
        const StepInputs in = Stimulus(s, np);
        fiber.Iext[0] = in.uDend + in.uSoma;
        fiber.gSyn[0] = in.sDend + in.sSoma;
        fiber.Props.VClamp = in.Vclamp;
        fiber.Iind[0] = in.Iext * np.Square;
      }
      break;
    }
    case FiberStimulation::EndSteps:
      fiber.Iind[0] = f.Iind_Left;
      fiber.Iind[last] = f.Iind_Right;
      break;
    case FiberStimulation::EndAlpha: {
      const double a = Alpha(f.alpha_Hz, t);
      fiber.Iind[0] = a * f.Iind_Left;
      fiber.Iind[last] = a * f.Iind_Right;
      break;
    }
    case FiberStimulation::SomaNoise: {
      const double dt = s.run.dt;
      const double xi1 = s.random.Normal(0.0, 1.0);
      const double xi2 = s.random.Normal(0.0, 1.0);
      if (f.tau_noise > 0.0) {
        const double m = std::sqrt(2.0 * dt / f.tau_noise);
        fiber.gE += dt * (f.mean_gE - fiber.gE) / f.tau_noise + f.Ampl_gE * xi1 * m;
        fiber.gI += dt * (f.mean_gI - fiber.gI) / f.tau_noise + f.Ampl_gI * xi2 * m;
      } else {
        // White noise around the mean, the deviates cut at ten deviations.
        fiber.gE = f.mean_gE + f.Ampl_gE * std::clamp(xi1, -10.0, 10.0);
        fiber.gI = f.mean_gI + f.Ampl_gI * std::clamp(xi2, -10.0, 10.0);
      }
      // A conductance keeps the sign of its mean.
      fiber.gE = SignOf(f.mean_gE) * std::abs(fiber.gE);
      fiber.gI = SignOf(f.mean_gI) * std::abs(fiber.gI);
      fiber.Iext[0] = -s.stim.Vus * fiber.gE;
      fiber.gSyn[0] = fiber.gE + fiber.gI;
      break;
    }
    case FiberStimulation::EndAlphaConductance: {
      const double a = Alpha(f.alpha_Hz, t);
      fiber.Iind[0] = a * f.Gs_Left * (f.Vrev_Left - fiber.Nodes[0]->NV.V);
      fiber.Iind[last] = a * f.Gs_Right * (f.Vrev_Right - fiber.Nodes[last]->NV.V);
      break;
    }
  }
}

void SolveTridiagonal(std::vector<double>& lower, std::vector<double>& diag, const std::vector<double>& upper,
                      std::vector<double>& rhs, std::vector<double>& U, std::int32_t N) {
  for (std::int32_t i = 0; i < N; ++i) {
    const double e = lower[i + 1] / diag[i];
    diag[i + 1] -= e * upper[i];
    rhs[i + 1] -= e * rhs[i];
  }
  U[N] = rhs[N] / diag[N];
  for (std::int32_t i = N - 1; i >= 0; --i) U[i] = (rhs[i] - upper[i] * U[i + 1]) / diag[i];
}

void StepFiber(Session& s, TFiber& fiber, double t) {
  s.run.t = t;
  const std::int32_t N = fiber.N();
  const FiberProperties& p = fiber.Props;
  const double dt = s.run.dt;
  const double Vus = s.stim.Vus;
  const double Cm = p.NP.Cm;
  const double S = p.NP.Square;
  const double dx = p.dx;
  const double ri = p.ri;

  // 1. Every membrane at its present voltage.
  for (std::int32_t i = 0; i <= N; ++i) {
    TNeuron& node = *fiber.Nodes[static_cast<std::size_t>(i)];
    fiber.Vold[i] = fiber.V[i];
    double J = 0.0, JDend = 0.0, gSum = 0.0;
    node.Currents(J, JDend, gSum);
    fiber.g[i] = gSum + node.NP.gL + fiber.gSyn[i];
    fiber.Iion[i] = J - (fiber.V[i] - node.NP.VL) * node.NP.gL;
    fiber.Isyn[i] = -fiber.gSyn[i] * (fiber.V[i] - Vus) + fiber.Iext[i];
  }

  // 2. The linearly implicit system. The axial coupling d·dt/(4ρ·Cm·dx²) is
  // (λ/dx)²·dt/tau_m for the membrane λ was taken from; written from the
  // geometry it stays the cable's own when the nodes' rest changes tau_m.
  const double kappa = p.d * dt / (4.0 * p.Rho * Cm * dx * dx);
  for (std::int32_t i = 1; i < N; ++i) {
    fiber.lower[i] = -kappa;
    fiber.upper[i] = -kappa;
    fiber.diag[i] = 1.0 + 2.0 * kappa + dt * fiber.g[i] / Cm;
    fiber.rhs[i] = fiber.V[i] + (dt / Cm) * (fiber.g[i] * fiber.V[i] + fiber.Iion[i] + fiber.Isyn[i] +
                                             fiber.Iind[i] / p.SegArea);
  }
  if (p.SomaClamped == 1) {
    fiber.diag[0] = 1.0;
    fiber.upper[0] = 0.0;
    fiber.rhs[0] = p.VClamp;
  } else {
    // The axial current into the soma balances its capacitive and membrane currents and the injection.
    fiber.diag[0] = -(1.0 / dx + (Cm / dt + fiber.g[0]) * ri * S);
    fiber.upper[0] = 1.0 / dx;
    fiber.rhs[0] =
        -((fiber.g[0] * fiber.V[0] + Cm * fiber.V[0] / dt + fiber.Iion[0] + fiber.Isyn[0]) * S + fiber.Iind[0]) * ri;
  }
  // The far end: sealed, or the axial current there is the injected one.
  fiber.lower[N] = -1.0 / dx;
  fiber.diag[N] = 1.0 / dx;
  fiber.rhs[N] = ri * fiber.Iind[N];

  // 3. Solve.
  SolveTridiagonal(fiber.lower, fiber.diag, fiber.upper, fiber.rhs, fiber.U, N);

  // 4. The nodes take their new voltages.
  for (std::int32_t i = 0; i <= N; ++i) {
    NeuronVariables& nv = fiber.Nodes[static_cast<std::size_t>(i)]->NV;
    const double oldDVdt = nv.dVdt;
    nv.Vprev = nv.V;
    nv.V = fiber.U[i];
    nv.VatE = nv.V;
    nv.dVdt = (fiber.U[i] - nv.Vprev) / dt;
    nv.d2Vdt2 = (nv.dVdt - oldDVdt) / dt;
    fiber.V[i] = fiber.U[i];
  }

  // 5. The currents at the two ends.
  const double c0 = (fiber.V[0] - fiber.Vold[0]) * Cm / dt;
  const double cN = (fiber.V[N] - fiber.Vold[N]) * Cm / dt;
  fiber.JmSoma = (c0 - fiber.Iion[0] - fiber.Isyn[0]) * S - fiber.Iind[0];
  fiber.JmAxon = (cN - fiber.Iion[N] - fiber.Isyn[N]) * S - fiber.Iind[N];
  fiber.ISoma = -((fiber.V[1] - fiber.V[0]) / dx) / ri + fiber.JmSoma;
  fiber.IAxon = -((fiber.V[N] - fiber.V[N - 1]) / dx) / ri + fiber.JmAxon;
}

double FiberLFP(const TFiber& fiber, double xe, double ye) {
  const FiberProperties& p = fiber.Props;
  const double Cm = p.NP.Cm;
  double sum = fiber.JmSoma / std::sqrt(xe * xe + ye * ye);
  for (std::int32_t i = 1; i <= p.N; ++i) {
    const double dVdt = fiber.Nodes[static_cast<std::size_t>(i)]->NV.dVdt;
    const double source = std::numbers::pi * p.d * p.dx * (Cm * dVdt - fiber.Iion[i] - fiber.Isyn[i]);
    const double z = i * p.dx - xe;
    sum += source / std::sqrt(z * z + ye * ye);
  }
  return -kLFPFactor * sum;
}

FiberDerived DerivedValues(const TFiber& fiber) {
  const FiberProperties& p = fiber.Props;
  return {p.Lambda, fiber.Settings.Gs_R, p.ri, std::tanh(p.L / p.Lambda) / fiber.Settings.Gs_R};
}

std::array<std::string, 4> DerivedLabels(const FiberDerived& d) {
  return {"lamda=" + std::to_string(static_cast<long long>(std::llround(d.Lambda * 1e4))) + " mum",
          "1/ro_inf=Gs_R=" + Fixed(d.Gs_R, 8, 3), "ri=" + std::to_string(static_cast<long long>(std::llround(d.ri))) + " kOhm/cm",
          "ro=" + Fixed(d.ro, 8, 5)};
}

namespace {

// The model value the run records, by clamp mode.
double FiberModelValue(const TFiber& fiber, std::int32_t mode) {
  const auto k = static_cast<std::size_t>(fiber.Settings.k);
  switch (mode) {
    case 1:
    case 3:
    case 4:
    case 5: return fiber.ISoma * 1e9;
    case 2:
    case 7: return fiber.V[k] - fiber.Nodes[k]->NP.Vrest;
    case 6: return fiber.Iind[k] * 1e9;
    default: return 0.0;
  }
}

}  // namespace

FiberOutcome FiberRun(Session& s, const FiberInputs& in, Host& host, FiberSink& sink) {
  if (s.rec.Smpl < 0 || s.rec.Smpl > kMaxRecording) {
    throw RangeError("recording number " + std::to_string(s.rec.Smpl) + " is outside 0 ... " +
                     std::to_string(kMaxRecording));
  }
  // The run's recording as a clamp run reads it: its section of the parameter
  // file first (it may change the parameters the nodes are built from), its
  // points once the step is known. The soma held "at Vexp" follows them.
  LoadRunParameters(s);
  std::unique_ptr<TFiber> fiber = SetupFiber(s, in);
  CheckRunLength(s.run);
  PrepareRecordingForRun(s);
  host.ShowParameters();
  RunFiles files;
  files.Open(s);
  InitFiber(s, *fiber);
  sink.Clear();
  s.Ions.Setup(fiber->Nodes[0]->NP, s.ionInputs);
  RunGlobals& run = s.run;
  const double xe = in.LFP_d * fiber->Props.L;
  const double ye = in.LFP_h * fiber->Props.L;
  const std::int64_t eventEvery =
      in.nDraw > 0 ? std::max<std::int64_t>(1, static_cast<std::int64_t>(in.nDraw) * in.nDraw) : 1000;
  FiberOutcome outcome;
  std::int64_t n = 0;
  while (n < run.nt_end) {
    ++n;
    run.nt = n;
    const double t = n * run.dt;
    run.t = t;
    fiber->ClearInputs();
    StimulateFiber(s, *fiber);
    StepFiber(s, *fiber, t);
    s.NV0 = fiber->Nodes[0]->NV;
    run.Vr = FiberModelValue(*fiber, fiber->Props.NP.If_I_V_or_g);
    if (s.ModelData.Holds(n, s.rec.Smpl)) s.ModelData(n, s.rec.Smpl) = run.Vr;
    if (n == 1 || (in.nDraw > 0 && n % in.nDraw == 0)) {
      sink.Frame(*fiber, t, sink.WantsLFP() ? FiberLFP(*fiber, xe, ye) : 0.0);
    }
    if (IsMultiple(n, run.n_Write)) {
      if (run.Writing == 1) files.WriteLog(s, s.Ions);
      if (run.WriteMode >= 1 && run.WriteMode <= 4) files.WriteTrace(s);
    }
    if (n % eventEvery == 0) {
      host.ProcessEvents();
      while (run.PauseFlag == 'P' && !host.StopRequested()) host.ProcessEvents();
      if (host.StopRequested()) {
        outcome.stopped = true;
        break;
      }
    }
  }
  outcome.steps = n;
  files.Close(s);
  return outcome;
}

FiberDerived ShowDistribution(Session& s, const FiberInputs& in, Host& host, FiberSink& sink) {
  std::unique_ptr<TFiber> fiber = SetupFiber(s, in);
  const FiberDerived derived = DerivedValues(*fiber);
  sink.Distribution(*fiber, derived);
  host.ProcessEvents();
  return derived;
}

}  // namespace membrix
