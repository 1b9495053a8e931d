#include "fiber/fiber_sweeps.h"

#include <cmath>
#include <vector>

#include "analysis/spike_detector.h"
#include "analysis/z_function.h"
#include "analysis/firing_clamp.h"
#include "common/error.h"
#include "fiber/fiber.h"
#include "run/clamp_run.h"
#include "run/session.h"
#include "run/stimulus.h"

namespace membrix {

namespace {

// Below this interval a rate is taken as no rate.
constexpr double kShortestISI = 1e-6;  // s

// The node whose spikes are counted: the first of the axon.
TNeuron& ObservedNode(TFiber& fiber) { return *fiber.Nodes[1]; }

// The inputs of a point-neuron sweep with its distributed flag raised.
template <class Inputs>
Inputs Distributed(Inputs inputs) {
  inputs.IfDistributedModel = 1;
  return inputs;
}

}  // namespace

double FIRunFrequencyDistributed(Session& s, const FIInputs& in, const FiberInputs& fiberIn, double Iind,
                                 const Host* host) {
  RunGlobals& run = s.run;
  s.stim.Iind = Iind;
  s.stim.t_Iind = 1e8;
  s.NP0.If_I_V_or_g = 2;
  std::unique_ptr<TFiber> fiber = SetupFiber(s, fiberIn);
  InitFiber(s, *fiber);
  TNeuron& node = ObservedNode(*fiber);
  const NeuronProperties& np = fiber->Nodes[0]->NP;

  CheckRunLength(run);
  FINoiseCurrent noise(s);
  SpikeStats& st = s.spikes;
  st.nSpikes = 0;
  st.Freq = 0.0;
  std::int32_t len = 0;
  run.nt = 0;
  while (true) {
    ++run.nt;
    run.t = run.nt * run.dt;
    if (host != nullptr && run.nt % 200 == 0 && host->StopRequested()) throw RunStopped{};
    const double g = in.IfNoise == 1 ? noise.Step(s.random) : 0.0;
    fiber->ClearInputs();
    const StepInputs step = Stimulus(s, np);
    fiber->Iind[0] = (step.Iext + g) * np.Square;
    StepFiber(s, *fiber, run.t);
    s.NV0 = node.NV;
    TrackSpikes(s, node);
    if (node.NV.SpikePhase == 2 && in.IfNoise != 1) st.Freq = st.ISI[0] < kShortestISI ? 0.0 : 1.0 / st.ISI[0];
    const double V = node.NV.V;
    if (!(V >= -0.15 && V <= 0.1) || (st.nSpikes == 0 && run.t > kDistributedSilenceLimit)) {
      st.Freq = 0.0;
      run.nt = run.nt_end;
    }
    if (run.t < (2.0 / 3.0) * run.t_end) len = st.nSpikes;
    if (st.nSpikes == in.MaxSpikes && node.NV.SpikePhase == 3) break;
    if (run.nt >= run.nt_end) break;
  }
  return FIEstimatedFrequency(in, st, len, run);
}

RunsOutcome SweepFIDistributed(Session& s, const FIInputs& in, const FiberInputs& fiber, Host& host, FISink& sink,
                               const std::string& file) {
  return SweepFI(s, Distributed(in), fiber, host, sink, file);
}

USMapPoint USMapRunDistributed(Session& s, const USMapInputs& in, const FiberInputs& fiberIn, std::int32_t i,
                               std::int32_t j, const Host* host) {
  RunGlobals& run = s.run;
  USMapPoint p;
  p.i = i;
  p.j = j;
  USMapGridPoint(in, MapGrid::US, s.stim.Vus, i, j, p.u, p.s, p.gE, p.gI);
  s.stim.Iind = 0.0;
  s.run.Writing = 0;
  s.NP0.If_I_V_or_g = 2;
  s.stim.uu = p.u;
  s.stim.ss = p.s;
  std::unique_ptr<TFiber> fiber = SetupFiber(s, fiberIn);
  s.resetProtocol = {};
  const double dt = run.dt;
  run.t_end = in.t_end / 1000.0;
  run.nt_end = StepCount(run.t_end, dt);
  CheckRunLength(run);
  InitFiber(s, *fiber);
  TNeuron& node = ObservedNode(*fiber);
  p.GL = s.NP0.Cm / s.NP0.tau_m;

  const double Vus = s.stim.Vus;
  const double baseU = p.u, gE0 = p.gE, gI0 = p.gI;
  double u = p.u, sIn = p.s, gE = p.gE, gI = p.gI;
  double noiseU = baseU;
  const double noiseToSignal = s.prog.NoiseToSignal;
  const double tauNoise = s.stim.tau_Noise;

  SpikeStats& st = s.spikes;
  st.nSpikes = 0;
  st.ISI[0] = 0.0;
  st.Freq = 0.0;
  ClearSpikeProducts(s);
  bool silentOrDiverged = false;
  run.nt = 0;
  do {
    ++run.nt;
    run.t = run.nt * dt;
    if (host != nullptr && run.nt % 200 == 0 && host->StopRequested()) throw RunStopped{};
    if (in.Noise == MapNoise::Current) {
      // The noise of the fiber's map is as strong as its mean input.
      u = OUStep(noiseU, tauNoise, baseU, baseU, dt, s.random);
    } else if (in.Noise == MapNoise::Conductances) {
      const double xiE = s.random.Normal(0.0, 1.0);
      const double xiI = s.random.Normal(0.0, 1.0);
      gE = NoisyConductanceStep(gE, gE0, gE0, noiseToSignal, tauNoise, dt, xiE);
      gI = NoisyConductanceStep(gI, gI0, gI0, noiseToSignal, tauNoise, dt, xiI);
      u = -Vus * gE;
      sIn = gE + gI;
    }
    fiber->ClearInputs();
    fiber->Iext[0] = u;
    fiber->gSyn[0] = sIn;
    fiber->Iind[0] = s.stim.du_Reset * fiber->Nodes[0]->NP.Square;
    StepFiber(s, *fiber, run.t);
    s.NV0 = node.NV;
    TrackSpikes(s, node);
    const double V = node.NV.V;
    // The input current of the soma, for the products of every interval.
    PushTrace(s, 0.0, u - sIn * (V - Vus), V);
    if (node.NV.SpikePhase == 2) {
      SpikeProducts(s);
      if (in.Noise == MapNoise::None) st.Freq = st.ISI[0] < kShortestISI ? 0.0 : 1.0 / st.ISI[0];
      p.V1ms = s.z.V1msLast;
    }
    if (!(V >= -0.15 && V <= 0.1) || (st.nSpikes == 0 && run.t > kDistributedSilenceLimit)) {
      silentOrDiverged = true;
      break;
    }
  } while (run.nt < run.nt_end && !(st.nSpikes == in.MaxSpikes && node.NV.SpikePhase == 3));

  TakeUSMapMeasures(p, st, s.z, run.nt, silentOrDiverged);
  return p;
}

RunsOutcome MapUSDistributed(Session& s, const USMapInputs& in, const FiberInputs& fiber, Host& host,
                             USMapSink& sink, const std::string& file) {
  return MapUS(s, Distributed(in), fiber, host, sink, MapGrid::US, file);
}

}  // namespace membrix
