#include "analysis/firing_clamp.h"

#include <cmath>
#include <fstream>
#include <numbers>
#include <optional>

#include "analysis/procedural_neuron.h"
#include "analysis/spike_detector.h"
#include "analysis/statistics.h"
#include "analysis/z_function.h"
#include "analysis/sweep_file.h"
#include "common/error.h"
#include "common/number_format.h"
#include "neuron/numerics.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/output_variables.h"
#include "run/run_views.h"
#include "run/session.h"
#include "run/trace_files.h"

namespace membrix {

namespace {

// Modes, by their index in the list.
bool ModeIn(std::int32_t mode, std::initializer_list<std::int32_t> modes) {
  for (std::int32_t m : modes) {
    if (m == mode) return true;
  }
  return false;
}

bool CorrectsS(std::int32_t mode) { return ModeIn(mode, {0, 2, 7, 9, 10}); }

double SignOfMean(double x) { return x >= 0.0 ? 1.0 : -1.0; }

// The leak conductance G_L of the record.
double LeakConductance(const NeuronProperties& np) {
  return np.IfSet_gL_or_tau == 2 ? np.Cm / np.tau_m : np.gL;
}

// The deterministic part of the injected current density (mA/cm²) at time t:
// the step of the pulse window.
double StimulusCurrent(const Session& s) {
  const StimulusGlobals& g = s.stim;
  const double x = s.run.t - g.t_IindShift;
  return 0.0 < x && x <= g.t_Iind ? g.Iind / (s.NP0.Square * 1e9) : 0.0;
}

// The two slow currents of the adaptation, as gates with per-spike jumps.
struct AdaptationModel {
  double tauW = 0.4, tauN = 0.09, wInf = 0.0444, nInf = 0.00934;
  double dw = 0.0177, dn = 0.175;
  double w = 0.0, n = 0.0, ws = 0.0, ns = 0.0, w1 = 0.0, n1 = 0.0;

  void Start(const ResetProtocolInputs& in) {
    switch (in.Reset) {
      case ResetProtocol::ResetVoltage: dw = 0.012, dn = 0.15; break;
      case ResetProtocol::CurrentPulse:
      case ResetProtocol::MeandersExceptApexes:
        if (std::abs(in.du_ResetAmplitude * 1000.0) >= 20.0) {
          dw = 0.012, dn = 0.175;
        } else {
          dw = 0.011, dn = 0.15;
        }
        break;
      default: dw = 0.0177, dn = 0.175; break;
    }
    w = ws = wInf;
    n = ns = nInf;
    w1 = wInf + (1.0 - wInf) * dw;
    n1 = nInf + (1.0 - nInf) * dn;
  }

  // The fixed point of a gate under periodic firing at rate f.
  static double FixedPoint(double jump, double inf, double f, double tau) {
    const double E = f > 0.0 ? SafeExp(-1.0 / (f * tau)) : 0.0;
    return (jump + (1.0 - jump) * inf * (1.0 - E)) / (1.0 - (1.0 - jump) * E);
  }
};

// The clamp's state during one run.
struct ClampState {
  double FC_dU = 0.0, FC_dS = 0.0;
  double u_Adapt = 0.0, s_Adapt = 0.0, u_AdaptTarget = 0.0, s_AdaptTarget = 0.0;
  double u_AdaptAtSpike = 0.0, s_AdaptAtSpike = 0.0;
  double FC_Ua = 0.0, FC_Sa = 0.0;
  double uFilt = 0.0, sFilt = 0.0, uAtSpike = 0.0, sAtSpike = 0.0;
  std::int32_t SurgeryCount = 0;
  AdaptationModel adapt;
};

void AdaptationEstimate(Session& s, const FiringClampInputs& in, ClampState& c, bool spike) {
  AdaptationModel& a = c.adapt;
  const NeuronProperties& np = s.NP0;
  const double dt = s.run.dt;
  if (s.run.nt <= 1) a.Start(s.resetInputs);
  a.w += dt / a.tauW * (a.wInf - a.w);
  a.n += dt / a.tauN * (a.nInf - a.n);
  if (spike) {
    a.w += (1.0 - a.w) * a.dw;
    a.n += (1.0 - a.n) * a.dn;
    const double isi = s.spikes.ISI[0];
    const double f = ModeIn(in.Mode, {3, 5, 6, 11, 12}) ? (isi < 1e-6 ? 0.0 : 1.0 / isi) : s.prog.FC_freq;
    a.ws = AdaptationModel::FixedPoint(a.dw, a.wInf, f, a.tauW);
    a.ns = AdaptationModel::FixedPoint(a.dn, a.nInf, f, a.tauN);
  }
  if (ModeIn(in.Mode, {5, 10, 11, 12})) {
    // The exact deviations of the model's own gates from rest (modes 5, 10) or
    // from the state one spike after rest (11, 12).
    const bool fromOneSpike = ModeIn(in.Mode, {11, 12});
    const double n0 = fromOneSpike ? a.n1 : a.nInf;
    const double w0 = fromOneSpike ? a.w1 : a.wInf;
    const double nM = s.NV0.nM, wAHP = s.NV0.wAHP;
    c.u_AdaptTarget = -(nM * nM - n0 * n0) * np.gKM * (np.VKM - np.VK);
    c.s_AdaptTarget = -(nM * nM - n0 * n0) * np.gKM - (wAHP - w0) * np.gAHP;
  } else {
    const double dn2 = std::max(0.0, a.ns * a.ns - a.n * a.n);
    c.u_AdaptTarget = dn2 * np.gKM * (np.VKM - np.VK);
    c.s_AdaptTarget = dn2 * np.gKM + std::max(0.0, a.ws - a.w) * np.gAHP;
  }
}

void FiringClampStep(Session& s, const FiringClampInputs& in, ClampState& c, bool spike, FiringClampSink& sink) {
  if (in.Mode < 0 || !(s.prog.FC_freq > 0.0) || s.prog.FC_dFdu == 0.0) return;
  const NeuronProperties& np = s.NP0;
  const double dt = s.run.dt, t = s.run.t;
  const double isi = s.spikes.ISI[0];
  const double r = isi < 1e-6 ? 0.0 : 1.0 / isi;
  const double GL = LeakConductance(np);
  const std::int32_t mode = in.Mode;

  bool kicked = false;
  AdaptationEstimate(s, in, c, spike);
  if (s.run.nt <= 1) c.FC_dU = c.FC_dS = 0.0;
  if (spike) {
    c.u_AdaptAtSpike = c.u_Adapt;
    c.s_AdaptAtSpike = c.s_Adapt;
    if (s.spikes.nSpikes > 1) {
      double target = s.prog.FC_freq;
      if (mode == 7 || mode == 9) {
        target = s.prog.FC_freq - s.prog.FC_dFdu * c.u_Adapt + s.prog.FC_dFdu * s.prog.FC_I0 / GL * c.s_Adapt;
      }
      double du = (target - r) / s.prog.FC_dFdu / 2.0;
      // FC_I0 is not 0 whenever s is corrected (refused before the run).
      double ds = CorrectsS(mode) ? -du / s.prog.FC_I0 * GL : 0.0;
      if (mode == 2) du = 0.0;
      if (ModeIn(mode, {3, 4, 5, 6, 8, 11})) du = ds = 0.0;
      c.FC_dU += du;
      c.FC_dS += ds;
    }
    c.SurgeryCount = 0;
  } else {
    const double T = in.DecayPeriods / s.prog.FC_freq;
    c.FC_dU *= 1.0 - dt / T;
    c.FC_dS *= 1.0 - dt / T;
    const double k = dt * s.prog.FC_freq / 0.3;
    c.u_Adapt += k * (c.u_AdaptTarget - c.u_Adapt);
    c.s_Adapt += k * (c.s_AdaptTarget - c.s_Adapt);
    const double t0 = std::max(0.0, s.NV0.tLastSpike);
    const double m = std::trunc((t - t0) / (in.SurgeryThreshold / s.prog.FC_freq));
    if (c.SurgeryCount < m && ModeIn(mode, {0, 1, 12})) {
      ++c.SurgeryCount;
      c.FC_dU += in.SurgeryDu;
      kicked = true;
    }
  }
  const double a = ModeIn(mode, {3, 5, 8, 9, 10}) ? 1.0 : 0.0;
  c.FC_Ua = a * c.u_Adapt + c.FC_dU;
  c.FC_Sa = a * c.s_Adapt + c.FC_dS;
  if (kicked) sink.Surgery(t, c.FC_Ua, s.NV0.V);
  c.uFilt += (StimulusCurrent(s) + c.FC_Ua - c.uFilt) * dt / np.tau_m;
  c.sFilt += (c.FC_Sa - c.sFilt) * dt / np.tau_m;
  if (spike) {
    c.uAtSpike = c.uFilt;
    c.uFilt = c.FC_Ua;
    c.sAtSpike = c.sFilt;
  }
}

SpikeRecord MakeRecord(const Session& s, const FiringClampInputs& in, const ClampState& c) {
  SpikeRecord r;
  r.F = FunctionF(s, in.FunctionF);
  r.G = FunctionG(s, in.FunctionG);
  r.VTroughLast = s.spikes.VTroughLast;
  r.uu = s.stim.uu;
  r.ss = s.stim.ss;
  r.tLastSpike = s.NV0.tLastSpike;
  r.uAtSpike = c.uAtSpike;
  r.sAtSpike = c.sAtSpike;
  r.uAtSpikeCorr = c.uAtSpike;
  r.sAtSpikeCorr = c.sAtSpike;
  if (ModeIn(in.Mode, {6, 11, 12})) {
    r.uAtSpikeCorr -= c.u_AdaptAtSpike;
    r.sAtSpikeCorr -= c.s_AdaptAtSpike;
  } else if (ModeIn(in.Mode, {5, 10})) {
    r.uAtSpikeCorr += c.u_AdaptTarget - c.u_Adapt;
    r.sAtSpikeCorr += c.s_AdaptTarget - c.s_Adapt;
  }
  r.uInput = StimulusCurrent(s) + s.stim.uu - c.FC_Ua;
  r.sInput = s.stim.ss - c.FC_Sa;
  return r;
}

}  // namespace

void CheckFiringClampSettings(const Session& s, const FiringClampInputs& in) {
  if (s.stim.Vus == 0.0) {
    throw RangeError("the firing clamp splits the input into gE and gI by Vus, which is 0: set Vus to a negative value");
  }
  if (in.Mode >= static_cast<std::int32_t>(kFiringClampModeNames.size()) || in.Mode < -1) {
    throw RangeError("unknown firing-clamp mode " + std::to_string(in.Mode));
  }
  const bool active = in.Mode >= 0 && s.prog.FC_freq > 0.0 && s.prog.FC_dFdu != 0.0;
  if (active && CorrectsS(in.Mode) && s.prog.FC_I0 == 0.0) {
    throw RangeError("the mode \"" + std::string(kFiringClampModeNames[static_cast<std::size_t>(in.Mode)]) +
                     "\" corrects s by the ratio to I0, which is 0: set \" I0, mkA/cm^2:\" or choose a mode that "
                     "corrects u only");
  }
  if (s.prog.tau_E < 0.0 || s.prog.tau_I < 0.0 || s.stim.tau_Noise < 0.0) {
    throw RangeError("tau_E, tau_I and tau_Noise must not be negative");
  }
  if (s.prog.NoiseToSignal < 0.0) throw RangeError("NoiseToSignal must not be negative");
  if (active && !(in.DecayPeriods > 0.0)) throw RangeError("the decay of the clamp corrections must be positive");
  if (active && !(in.SurgeryThreshold > 0.0)) throw RangeError("\" Surgery: thresh. \" must be positive");
  if (in.FunctionF < 0 || in.FunctionF > 6 || in.FunctionG < 0 || in.FunctionG > 6) {
    throw RangeError("the choices of F and G run from 0 to 6");
  }
}

double NoisyConductanceStep(double g, double mean, double g0, double noiseToSignal, double tauNoise, double dt,
                            double xi) {
  const double sigma = g0 * noiseToSignal;
  if (tauNoise > 0.0) {
    g = g + dt * (mean - g) / tauNoise + xi * sigma * std::sqrt(2.0 * dt / tauNoise);
    return SignOfMean(mean) * std::abs(g);
  }
  return SignOfMean(mean) * std::min(10.0 * std::abs(g0), std::abs(mean + xi * sigma));
}

void ResetProtocolStep(Session& s) {
  const ResetProtocolInputs& in = s.resetInputs;
  ResetProtocolState& st = s.resetProtocol;
  if (in.Reset != ResetProtocol::ResetVoltage && in.Reset != ResetProtocol::CurrentPulse) return;
  NeuronVariables& nv = s.NV0;
  if (nv.SpikePhase == 2) st.armed = true;
  if (!st.armed || !(nv.V < in.ResetAtSpike)) return;
  if (in.Reset == ResetProtocol::ResetVoltage) {
    const double before = nv.V;
    nv.V = -0.06;
    st.armed = false;
    // The jump carries the downstroke across the width level within this
    // step, where the detector no longer sees it: the spike ends here.
    const double W = s.criteria.WidthLevel;
    if (nv.SpikePhase == 0 && before > W && nv.V < W) {
      s.spikes.tDown = s.run.t;
      s.spikes.WidthAP = s.spikes.tDown - s.spikes.tUp;
      nv.SpikePhase = 3;
    }
  } else if (nv.V <= in.Vmin) {
    s.stim.du_Reset = 0.0;
    st.armed = false;
  } else {
    s.stim.du_Reset = in.du_ResetAmplitude;
  }
}

void MeanderCurrent(Session& s) {
  const ResetProtocolInputs& in = s.resetInputs;
  if (in.Reset != ResetProtocol::Meanders && in.Reset != ResetProtocol::MeandersExceptApexes) return;
  if (!(s.prog.FC_freq > 0.0)) return;
  const double dt = s.run.dt;
  const std::int64_t P = static_cast<std::int64_t>(1.0 / s.prog.FC_freq / dt);
  const std::int64_t L = static_cast<std::int64_t>(0.001 / dt);
  const double h = -in.du_ResetAmplitude;
  double& du = s.stim.du_Reset;
  const std::int64_t k = s.run.nt;
  if (P <= 0 || k < P) {
    du = 0.0;  // the first period is free of pulses
    return;
  }
  const std::int64_t phase = k % P;
  const NeuronVariables& nv = s.NV0;
  if (phase == 0) {
    du = h;
  } else if (phase == L) {
    du = -h;
  } else if (nv.V < in.Vmin && du * h < 0.0) {
    du = 0.0;
  }
  if (in.Reset == ResetProtocol::MeandersExceptApexes) {
    // No pulse on the spike itself: the part of the step above the spike-start level goes without it.
    const double level = std::max(s.criteria.StartLevel, nv.Vprev);
    if (nv.V > level && nv.V > nv.Vprev) {
      if (nv.Vprev > s.criteria.StartLevel) {
        du = 0.0;
      } else {
        du *= (s.criteria.StartLevel - nv.Vprev) / (nv.V - nv.Vprev);
      }
    }
  }
}

double FunctionF(const Session& s, std::int32_t choice) {
  const SpikeStats& st = s.spikes;
  switch (choice) {
    // The rate of the interval the spike ended, as the map holds it for a run
    // without noise and as F and G of one record describe one interval (the
    // running rate since t = 0 would carry the start from rest into every record).
    case 0: return st.ISI[0] > 1e-6 ? 1.0 / st.ISI[0] : 0.0;
    case 2: return st.WidthAP;
    case 3: return st.VTroughLast;
    case 4: return st.VPeakLast - st.VTroughLast;
    case 1: return s.z.VxZ;
    case 5: return s.z.V1msLast;
    case 6: return st.ThAtSpike;
    default: return 0.0;
  }
}

double FunctionG(const Session& s, std::int32_t choice) {
  const SpikeStats& st = s.spikes;
  switch (choice) {
    case 0: return st.avPSCLast;
    case 1: return st.VavLast;
    case 2: return st.VTroughLast;
    case 3: return st.VPeakLast;
    case 4: return s.z.Convolution;
    case 5: return s.z.VxZ;
    case 6: return s.z.IxZ;
    default: return 0.0;
  }
}

void ZFunctionPreRun(Session& s, const FiringClampInputs& in, const ZFunctionInputs& zIn) {
  s.z.u0 = s.stim.uu;
  s.z.s0 = s.stim.ss;
  ClearSpikeProducts(s);
  // VxZ and IxZ, as F or G, weigh each interval with the stored unit Z-function.
  const bool productsUseZ = in.FunctionF == 1 || in.FunctionG == 5 || in.FunctionG == 6;
  if (zIn.Visible || productsUseZ) LoadStoredZ(s, zIn.storedFolder);
  // The periodic orbit at the mean input, for the kernel and for "VT_1ms".
  if (zIn.Visible || in.FunctionF == 5) {
    DeterministicPreRun(s, 5, s.stim.uu, s.stim.ss);
    s.z.V1msLast = s.z.V1ms;  // until the run's first spike
  }
}

void KernelAccumulate(Session& s, const ZFunctionInputs& zIn) {
  if (zIn.Visible) KernelStep(s, zIn, s.NV0.SpikePhase);
  PushTrace(s, s.stim.ss, StimulusCurrent(s) + s.NV0.Isyn, s.NV0.V);
}

void ZFunctionAtSpike(Session& s) { SpikeProducts(s); }

std::string SpikeRecordLine(const SpikeRecord& r) {
  std::string line;
  const double fields[] = {r.tLastSpike * 1000.0, r.uInput * 1000.0,     r.sInput,          r.uAtSpike * 1000.0,
                           r.sAtSpike,            r.uAtSpikeCorr * 1000.0, r.sAtSpikeCorr};
  for (double x : fields) {
    if (!line.empty()) line += ' ';
    AppendFixed(line, x, 8, 3);
  }
  return line;
}

namespace {

// A run the clamp drove out of range says so: its corrections, not the time
// step, are then what to change.
std::string ClampDivergenceNote(const Session& s, const ClampState& c) {
  const bool clampMoved = std::abs(c.FC_Ua) > 1e-3 || std::abs(c.FC_Sa) > 0.05;  // 1 µA/cm², 0.05 mS/cm²
  if (!clampMoved) return DivergenceNote(s, s.NP0);
  char text[320];
  std::snprintf(text, sizeof text,
                "the membrane voltage diverged (%g V) at t = %.2f ms after the firing clamp had moved the input "
                "by u %+.4g µA/cm² and s %+.4g mS/cm² (input u = %.4g µA/cm², s = %.4g mS/cm²): lower \" dFreq/du: "
                "\" or choose a mode that corrects less",
                s.NV0.V, s.run.t * 1000.0, c.FC_Ua * 1000.0, c.FC_Sa, s.stim.uu * 1000.0, s.stim.ss);
  return text;
}

}  // namespace

FiringClampResult RunWithNoise(Session& s, const FiringClampInputs& in, const ZFunctionInputs& zIn, Host& host,
                               FiringClampSink& sink, std::int32_t maxSpikes, const FiringClampFiles& files) {
  // The selected recording's parameters (and its name for the run log) first:
  // the checks and the run see them.
  LoadRecordingSection(s, s.rec.Smpl);
  CheckFiringClampSettings(s, in);
  RunGlobals& run = s.run;
  if (run.WriteMode < 0 || run.WriteMode > 4) {
    throw RangeError("the trace file of a firing clamp is written in WriteMode 1 ... 4, not " +
                     std::to_string(run.WriteMode));
  }
  ZFunctionPreRun(s, in, zIn);

  FiringClampResult result;
  ClampState c;
  SweepFile conductances(run.Writing == 1 ? files.conductances : std::string());
  SweepFile trace(run.WriteMode != 0 ? files.trace : std::string());
  if (run.WriteMode == 1) result.voltageTrace = files.trace;
  std::optional<SweepFile> records;  // created at the first record
  RunFiles log;
  log.OpenLog(s);

  const double uu0 = s.stim.uu, ss0 = s.stim.ss;
  ResetRunState(s);
  s.resetProtocol = {};
  ProceduralGlobals& g = s.proc;
  NeuronVariables& nv = s.NV0;
  ProceduralRest(s, g);
  nv.VatE = nv.V;
  nv.dVdt = nv.d2Vdt2 = 0.0;
  ResetStimulusState(s.stim, nv.V);
  nv.SpikePhase = 0;
  nv.Rearm = {};
  s.spikes.nSpikes = 0;
  RunViewSink* views = sink.Views();
  if (views != nullptr) PrepareRunViews(s, *views);
  // A current without conductance carries nothing, but the run views, the trace
  // and the run log show its gates: whenever they are on, every gate advances.
  struct KeepEveryGate {
    ProceduralGlobals& g;
    bool before = g.everyGate;
    ~KeepEveryGate() { g.everyGate = before; }
  } keepEveryGate{g};
  g.everyGate = keepEveryGate.before || views != nullptr || run.Writing == 1 ||
                (run.WriteMode != 0 && !files.trace.empty());
  // The model value Vr only where a file takes it.
  const bool modelValue = run.Writing == 1 || (run.WriteMode == 2 && !files.trace.empty());

  const double Vus = s.stim.Vus;
  const double gE0 = -uu0 / Vus, gI0 = uu0 / Vus + ss0;
  auto means = [&](double t, double& mE, double& mI) {
    if (!InPulseWindow(s.stim, t)) {
      mE = mI = 0.0;
      return;
    }
    const double phase = -std::numbers::pi / 2.0;
    mE = s.prog.tau_E > 0.0 ? gE0 * (std::sin(2.0 * std::numbers::pi * t / s.prog.tau_E + phase) + 1.0) : gE0;
    mI = s.prog.tau_I > 0.0 ? gI0 * (std::sin(2.0 * std::numbers::pi * t / s.prog.tau_I + phase) + 1.0) : gI0;
  };
  double gE = 0.0, gI = 0.0;
  means(0.0, gE, gI);
  const double dt = run.dt;
  const double tauNoise = s.stim.tau_Noise;
  std::string line;
  CheckRunLength(run);
  run.nt = 0;
  try {
    while (run.nt < run.nt_end && !(s.spikes.nSpikes == maxSpikes && nv.SpikePhase == 3)) {
      ++run.nt;
      run.t = run.nt * dt;
      const double t = run.t;
      double mE = 0.0, mI = 0.0;
      means(t, mE, mI);
      const double xiE = s.random.Normal(0.0, 1.0);
      const double xiI = s.random.Normal(0.0, 1.0);
      if (InPulseWindow(s.stim, t)) {
        gE = NoisyConductanceStep(gE, mE, gE0, s.prog.NoiseToSignal, tauNoise, dt, xiE);
        gI = NoisyConductanceStep(gI, mI, gI0, s.prog.NoiseToSignal, tauNoise, dt, xiI);
      } else {
        // Outside the stimulus window there is no synaptic input, noise included.
        gE = gI = 0.0;
      }
      s.stim.uu = -Vus * gE + c.FC_Ua;
      s.stim.ss = gE + gI + c.FC_Sa;
      // Every step in the first second, then at the drawing pace: the clamp
      // goes on injecting after the stimulus window, and its charts show it.
      const bool drawn = run.nt % run.n_Draw == 0;
      if (t < 1.0 || drawn) sink.Sample({t, gE, gI, s.stim.uu, s.stim.ss, c.FC_Ua, c.FC_Sa, nv.V}, drawn);
      // The clamp, its records and the map all speak of u - s·(V - Vus).
      const double uClamp = s.stim.uu;
      s.stim.uu = ProceduralU(uClamp, s.stim.ss, Vus, s.NP0);
      ProceduralStep(s, g);
      s.stim.uu = uClamp;
      if (modelValue) ModelTraceValue(s, s.NP0);
      if (run.nt == 1 || run.nt % run.n_Draw == 0) {
        sink.Voltage(t, nv.V);
        if (views != nullptr) DrawRunStep(s, *views);
      }
      if (run.Writing == 1 && IsMultiple(run.nt, run.n_Write)) log.WriteLog(s, s.Ions);
      if (run.Writing == 1 && !files.conductances.empty()) {
        line.clear();
        AppendFixed(line, t * 1000.0, 9, 3);
        line += ' ';
        AppendFixed(line, gE, 9, 4);
        line += ' ';
        AppendFixed(line, gI, 9, 4);
        conductances.WriteLine(line);
      }
      if (StatisticsSink* statistics = sink.Statistics()) AddSample(s, s.statistics, nv.V * 1000.0, *statistics, host);
      if (run.WriteMode != 0 && !files.trace.empty()) {
        // Every step, each field 9:3.
        line.clear();
        AppendFixed(line, t * 1000.0, 9, 3);
        line += ' ';
        switch (run.WriteMode) {
          case 1: AppendFixed(line, nv.V * 1000.0, 9, 3); break;
          case 2:
            AppendFixed(line, s.ExpData.At(run.nt, s.rec.Smpl), 9, 3);
            line += ' ';
            AppendFixed(line, run.Vr, 9, 3);
            break;
          case 3:
            AppendFixed(line, nv.mmR, 9, 3);
            line += ' ';
            AppendFixed(line, nv.hhR, 9, 3);
            break;
          default: AppendFixed(line, OutputVariableValue(s, s.trace.VarToWrite), 9, 3); break;
        }
        trace.WriteLine(line);
      }
      TrackSpikesIn(s, s.NP0, nv);
      ResetProtocolStep(s);
      KernelAccumulate(s, zIn);
      const bool spike = nv.SpikePhase == 2;
      if (spike) ZFunctionAtSpike(s);
      if (nv.SpikePhase == 3 && static_cast<std::int32_t>(result.records.size()) < kMaxSpikeRecords) {
        SpikeRecord r = MakeRecord(s, in, c);
        if (!files.records.empty()) {
          if (!records) records.emplace(files.records);
          records->WriteLine(SpikeRecordLine(r));
        }
        sink.Record(r);
        result.records.push_back(r);
      }
      FiringClampStep(s, in, c, spike, sink);
      if (run.nt % 40 == 0) {
        const NeuronProperties& np = s.NP0;
        sink.Adaptation(t, c.s_Adapt, -np.gKM * nv.nM * nv.nM - np.gAHP * nv.wAHP, nv.nM, nv.wAHP);
      }
      if (spike && in.Mode >= 0) sink.AdaptationGates(t, c.adapt.w, c.adapt.n, c.adapt.ws, c.adapt.ns);
      if (!(nv.V >= -0.15 && nv.V <= 0.15)) throw RangeError(ClampDivergenceNote(s, c));
      if (run.nt % 100 == 0 || run.PauseFlag == 'P') {
        host.ProcessEvents();
        while (run.PauseFlag == 'P' && !host.StopRequested()) host.ProcessEvents();  // "Pause" holds the run
        if (host.StopRequested()) {
          result.stopped = true;
          break;
        }
      }
    }
  } catch (...) {
    s.stim.uu = uu0;
    s.stim.ss = ss0;
    throw;
  }
  s.stim.uu = uu0;
  s.stim.ss = ss0;
  s.stim.du_Reset = 0.0;
  result.nSpikes = s.spikes.nSpikes;
  result.t = run.t;
  conductances.Close();
  trace.Close();
  if (records) records->Close();
  log.Close(s);
  return result;
}

}  // namespace membrix
