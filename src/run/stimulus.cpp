#include "run/stimulus.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "analysis/firing_clamp.h"
#include "common/error.h"
#include "run/recording.h"
#include "run/session.h"

namespace membrix {

namespace {

// Whether a train pulse is on at time x since the train's origin: pulse k
// (0 ... 10) covers the open interval (k/f, k/f + width).
bool TrainPulseOn(double x, double f, double width) {
  const double k = std::trunc(x * f);
  const double start = k / f;
  return x > start && x < start + width && k <= kTrainPulses - 1;
}

bool IsTrain(const StimulusGlobals& g) { return g.Freq_Iind > 0.0 && g.t_Iind < kTrainPulseLimit; }

}  // namespace

bool InPulseWindow(const StimulusGlobals& g, double t) {
  return g.t_IindShift <= t && t <= g.t_IindShift + g.t_Iind;
}

StepInputs Stimulus(Session& s, const NeuronProperties& np) {
  StimulusGlobals& g = s.stim;
  const double t = s.run.t;
  const double dt = s.run.dt;
  StepInputs in;
  in.gNMDA = g.gNMDA;
  in.uSoma = 0.0;
  in.sSoma = g.s_soma;
  if (InPulseWindow(g, t)) {
    const double x = t - g.t_IindShift;
    // Fraction of the window elapsed. A window of zero length is open only at its
    // start, where every ramp is at its beginning.
    const double phase = g.t_Iind > 0.0 ? x / g.t_Iind : 0.0;
    switch (g.pulseShape) {
      case PulseShape::Step:
        in.uDend = g.uu;
        in.sDend = g.ss;
        break;
      case PulseShape::Ramp:
        in.uDend = g.uu * phase;
        in.sDend = g.ss;
        break;
      case PulseShape::Oscillations:
        in.uDend = g.Freq_Iind > 0.0 ? g.uu * std::sin(2.0 * std::numbers::pi * g.Freq_Iind * x) : 0.0;
        in.sDend = g.ss;
        break;
      case PulseShape::ReversedRamp:
        in.uDend = g.uu * (1.0 - phase);
        in.sDend = g.ss * (1.0 - phase);
        break;
      case PulseShape::RampS:
        in.uDend = g.uu;
        in.sDend = g.ss * phase;
        break;
    }
  } else {
    in.uDend = in.sDend = in.gNMDA = in.sSoma = 0.0;
  }
  in.Iext = InjectedCurrent(s, np);
  in.Iext += g.du_Reset;  // read after the reset generator has had its turn
  in.Vclamp = ClampVoltage(s, np, t);

  if (g.IfVoltageNoise == 1) {
    // A white current whose effect on the passive membrane has deviation sgm_V.
    if (g.sgm_V == 0.0) g.sgm_V = g.sgm_V_Input / 1000.0;
    StimulusGlobals::VoltageNoiseScale& k = g.voltageNoiseScale;
    if (!(k.tau_m == np.tau_m && k.Cm == np.Cm && k.dt == dt && k.sgm_V == g.sgm_V)) {
      k = {np.tau_m, np.Cm, dt, g.sgm_V, std::sqrt(2.0 * np.tau_m / dt) * g.sgm_V * (np.Cm / np.tau_m)};
    }
    in.Iext += k.value * s.random.Normal(0.0, 1.0);
  }
  if (g.NoiseRec.amplitude > 0.0) {
    in.Iext += OUStep(g.NoiseRec.state, g.NoiseRec.tau, 0.0, g.NoiseRec.amplitude, dt, s.random);
  }
  return in;
}

double InjectedCurrent(Session& s, const NeuronProperties& np) {
  StimulusGlobals& g = s.stim;
  const double area = np.Square * 1e9;  // pA per mA/cm²
  const double x = s.run.t - g.t_IindShift;
  // Clamp mode 7, "Iind=Vexp": the recording is the injected current, in pA.
  if (np.If_I_V_or_g == 7) return Interpolate(s, x * 1000.0) / area;

  double current = 0.0;
  if (IsTrain(g)) {
    // Up to eleven pulses of length t_Iind at Freq_Iind, the first at t_IindShift.
    if (TrainPulseOn(x, g.Freq_Iind, g.t_Iind)) current = g.Iind / area;
    g.noiseCurrentState = 0.0;
  } else if (0.0 < x && x <= g.t_Iind) {
    const double phase = x / g.t_Iind;
    double I = 0.0;
    switch (g.pulseShape) {
      case PulseShape::Step: I = g.Iind; break;
      case PulseShape::Ramp: I = g.Iind * phase; break;
      case PulseShape::Oscillations:
        I = g.Freq_Iind > 0.0 ? g.Iind * std::sin(2.0 * std::numbers::pi * g.Freq_Iind * x) : 0.0;
        break;
      case PulseShape::ReversedRamp: I = g.Iind * (1.0 - phase); break;
      // "Ramp s" ramps the conductance s and holds u as a step; the injected
      // current is held as a step alongside u.
      case PulseShape::RampS: I = g.Iind; break;
    }
    double noise = 0.0;
    if (g.noiseList == NoiseList::NoiseCurrent) {
      noise = OUStep(g.noiseCurrentState, g.tau_Noise, 0.0, std::abs(g.Iind), s.run.dt, s.random);
    }
    current = (I + noise) / area;
  } else {
    g.noiseCurrentState = 0.0;  // outside the pulse the noise rests at its mean
  }
  ResetCurrentGenerator(s);
  return current;
}

double ClampVoltage(const Session& s, const NeuronProperties& np, double t) {
  const StimulusGlobals& g = s.stim;
  if (np.If_I_V_or_g == 4 || np.If_I_V_or_g == 5) {
    // The recorded voltage (mV) of this run's recording, between the grid rows.
    const int column = s.rec.Smpl;
    const double q = t / s.run.dt;
    const double k = std::trunc(q);
    const std::int64_t last = std::min(s.run.nt_end, s.ExpData.Rows(column) - 1);
    if (k >= 0.0 && k < static_cast<double>(last)) {
      const auto row = static_cast<std::int64_t>(k);
      const double f = q - k;
      return ((1.0 - f) * s.ExpData.At(row, column) + f * s.ExpData.At(row + 1, column)) / 1000.0;
    }
    return s.ExpData.At(last, column) / 1000.0;
  }
  if (IsTrain(g)) {
    // The voltage train counts from t = 0, not from the start of the pulse window.
    return TrainPulseOn(t, g.Freq_Iind, g.t_Iind) ? g.Vh : np.Vrest;
  }
  return InPulseWindow(g, t) ? g.Vh : np.Vrest;
}

double OUStep(double& p, double tau, double mean, double sigma, double dt, double r) {
  if (tau < 0.0) {
    throw RangeError("the noise time constant is negative (" + std::to_string(tau * 1000.0) +
                     " ms); use 0 for white noise or a positive time");
  }
  if (tau != 0.0) {
    p += dt * (mean - p) / tau + std::sqrt(2.0 * dt / tau) * sigma * r;
  } else {
    const double cut = 10.0 * std::abs(sigma);
    p = mean + std::clamp(sigma * r, -cut, cut);
  }
  return p;
}

double OUStep(double& p, double tau, double mean, double sigma, double dt, RandomGenerator& random) {
  return OUStep(p, tau, mean, sigma, dt, random.Normal(0.0, 1.0));
}

void ResetCurrentGenerator(Session& s) { MeanderCurrent(s); }

void Electrode(Session& s, const TNeuron& neuron, StepInputs& in) {
  PipetteRecord& p = s.stim.Pipette;
  const double V = neuron.NV.V;
  if (p.G1 == 0.0) {
    p.Vp = V;
    p.Ip = in.Iext;
    return;
  }
  const double dt = s.run.dt;
  p.VpPrev = p.Vp;
  const std::int32_t mode = neuron.NP.If_I_V_or_g;
  if (mode == 2 || mode == 6 || mode == 7) {
    // Current clamp: the stimulus is applied at the pipette, whose node charges
    // C1 and drains through G1 into the cell. The inputs at the soma move into
    // the pipette; in one compartment that is the dendritic input as well.
    const double Vus = s.stim.Vus;
    if (neuron.NP.HH_order == "1-point") {
      p.Ip = -(in.sDend + in.sSoma) * (p.Vp - Vus) + in.uDend + in.uSoma + in.Iext;
      in.uDend = in.sDend = in.uSoma = in.sSoma = 0.0;
    } else {
      p.Ip = -in.sSoma * (p.Vp - Vus) + in.uSoma + in.Iext;
      in.uSoma = in.sSoma = 0.0;
    }
    p.Vp = ((p.C1 / dt) * p.VpPrev + p.G1 * V + p.Ip) / (p.C1 / dt + p.G1);
  } else if (mode == 4) {
    // The pipette is held at the command; its current charges C1 and flows through G1.
    p.Vp = in.Vclamp;
    p.Ip = (p.Vp - V) * p.G1 + (p.Vp - p.VpPrev) * p.C1 / dt;
  }
  in.Iext = (p.Vp - V) * p.G1;  // the cell receives what flows through the pipette
}

void ResetStimulusState(StimulusGlobals& g, double V) {
  g.Pipette.Vp = g.Pipette.VpPrev = V;
  g.noiseCurrentState = 0.0;
}

}  // namespace membrix
