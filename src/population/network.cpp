#include "population/network.h"

#include <algorithm>
#include <cmath>

#include "analysis/statistics.h"
#include "analysis/sweep_file.h"
#include "common/error.h"
#include "common/number_format.h"
#include "neuron/numerics.h"
#include "population/member_step.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {

double DelayedRate(const RateHistogram& ro, double t, double delay) {
  const double Delta = ro.Delta();
  const double x = (t - delay) / Delta;
  const std::int64_t d = static_cast<std::int64_t>(std::trunc(x));
  const std::int64_t e = static_cast<std::int64_t>(std::nearbyint(t / Delta)) - 1;
  const std::int64_t newest = std::max<std::int64_t>(0, e);
  const std::int64_t k = std::max<std::int64_t>(0, std::min<std::int64_t>({d, e, ro.Nrate() - 1}));
  // Before the delay has passed the weight would extrapolate below bin 0.
  const double phi = k == newest ? 0.0 : std::clamp(x - static_cast<double>(k), 0.0, 1.0);
  const auto& r = ro.ro();
  return (1.0 - phi) * r[static_cast<std::size_t>(k)] + phi * r[static_cast<std::size_t>(k) + 1];
}

SynapticInput GabaSynapse(double t, double dt, const RateHistogram& ro, const SynapseInputs& syn, GabaState& st,
                          double reversal) {
  const double rate = DelayedRate(ro, t, syn.delay / 1000.0);
  SynFilter2(0, st.mGABA, st.dmGABA, rate, dt, syn.alGABA, syn.beGABA);
  const double g = syn.gGABA * st.mGABA;
  return {-(reversal - syn.VGABA / 1000.0) * g, g};
}

namespace {

struct NetworkMember {
  NeuronVariables nv;
  StartStateRecord start;  // the threshold model's working state
  ProceduralGlobals g;
  double shift = 0.0;  // mV
};

}  // namespace

NetworkResult RunNetwork(Session& s, const EnsembleInputs& in, const SynapseInputs& syn, Host& host,
                         NetworkSink& sink, EnsembleModel model, bool noise, const std::string& dir) {
  if (in.MeshGauss < 1 || in.MeshGauss >= kMaxNetworkMembers) {
    throw RangeError("the network takes 1 to " + std::to_string(kMaxNetworkMembers - 1) +
                     " members (\"Mesh for Gauss\"), not " + std::to_string(in.MeshGauss));
  }
  if (syn.alGABA <= 0.0 || syn.beGABA <= 0.0) throw RangeError("the synaptic rates alGABA and beGABA must be positive");
  if (syn.delay < 0.0) throw RangeError("the synaptic delay must not be negative");
  const double savedIind = s.stim.Iind;
  ApplyEnsembleProblem(s, in);
  const std::int64_t M = in.MeshGauss;
  NetworkResult result{RateHistogram(s.run.t_end, in.Nrate, M), {}, false, 0};
  result.mGABA.assign(static_cast<std::size_t>(in.Nrate) + 1, 0.0);
  SweepFile rateFile(EnsemblePath(dir, kRateFileName));
  SweepFile oneCurve(EnsemblePath(dir, kOneCurveFileName));

  Session w = s;
  if (noise) s.stim.Iind = savedIind;  // as the noise ensemble, the noisy network leaves the current as it was
  SelectEnsembleModel(w, model);
  w.stim.uu = w.stim.ss = 0.0;
  ResetRunState(w);
  NeuronProperties& np = w.NP0;
  const NeuronProperties base = np;
  const double sigma = in.sgm_V / 1000.0;
  const double sigmaShift = in.sgm_V;  // mV

  std::vector<NetworkMember> members(static_cast<std::size_t>(M));
  for (NetworkMember& m : members) {
    StartMemberAtRest(w, m.g);
    if (noise) {
      NeuronVariables& nv = w.NV0;
      nv.V = np.Vrest + w.random.Normal(0.0, 1.0) * sigma;
      nv.VatE = nv.Vprev = nv.V;
    } else {
      m.shift = w.random.Normal(0.0, 1.0) * sigmaShift;
    }
    m.nv = w.NV0;
    m.start = w.run.StartState;
    m.start.V = m.start.VatE = m.nv.V;
  }
  const double noiseScale = sigma * np.Cm / np.tau_m;  // times sqrt(2·tau_m/dt) at each step
  const std::size_t drawn = static_cast<std::size_t>(std::max<std::int64_t>(0, M / 2 - 1));
  StatisticsSink* statistics = sink.Statistics();

  GabaState gate;
  RunGlobals& run = w.run;
  run.t = 0.0;
  run.nt = 0;
  std::int32_t lastWritten = -1;
  std::string line;
  auto writeBin = [&](std::int32_t k) {
    if (k < 0 || k <= lastWritten) return;
    const std::size_t kk = static_cast<std::size_t>(k);
    result.mGABA[kk] = gate.mGABA;
    const double tBin = result.ro.TimeOf(k);
    line.clear();
    AppendFixed(line, tBin * 1000.0, 9, 3);
    line += ' ';
    AppendFixed(line, result.ro.ro()[kk], 9, 5);
    line += ' ';
    AppendFixed(line, gate.mGABA, 9, 5);
    rateFile.WriteLine(line);
    sink.Bin(tBin, result.ro.ro()[kk], gate.mGABA);
    lastWritten = k;
    result.bins = k + 1;
  };
  // The run goes on to t_end even when the step changes on the way (a count
  // of steps fixed at the start would end it early or late).
  CheckRunLength(run);
  auto another = [&] { return run.nt < kMaxSteps && run.t + run.dt <= run.t_end + 1e-6 * run.dt; };
  while (another()) {
    ++run.nt;
    run.t += run.dt;
    const double t = run.t;
    const double dt = run.dt;
    const SynapticInput input = GabaSynapse(t, dt, result.ro, syn, gate, ProceduralInputReversal(np));
    const double In = noise ? noiseScale * std::sqrt(2.0 * np.tau_m / dt) : 0.0;
    for (std::size_t j = 0; j < members.size(); ++j) {
      NetworkMember& m = members[j];
      w.NV0 = m.nv;
      run.StartState = m.start;
      SetThresholdShift(np, base, m.shift);
      w.stim.uu = input.u;
      w.stim.ss = input.s;
      w.stim.du_Reset = noise ? w.random.Normal(0.0, 1.0) * In : 0.0;
      if (MemberStep(w, m.g)) {
        if (in.ThrRenewal && noise) m.shift = w.random.Normal(0.0, 1.0) * sigmaShift;
        result.ro.AddSpike(t);
      }
      m.nv = w.NV0;
      m.start = run.StartState;
      if (j == drawn) {
        const double V = w.NV0.V;
        if (run.nt == 1 || IsMultiple(run.nt, run.n_Draw)) sink.Voltage(t, V);
        line.clear();
        AppendFixed(line, t * 1000.0, 9, 3);
        line += ' ';
        AppendFixed(line, V * 1000.0, 9, 3);
        oneCurve.WriteLine(line);
        if (statistics != nullptr) AddSample(w, s.statistics, V * 1000.0, *statistics, host);
      }
    }
    w.stim.du_Reset = 0.0;
    const std::int32_t kNow = result.ro.BinOf(t);
    const double next = sink.StepLength(run.dt);
    if (next > 0.0 && std::isfinite(next)) run.dt = next;
    if (result.ro.BinOf(t + run.dt) != kNow) writeBin(kNow);
    if (run.nt % 64 == 0) {
      sink.Time(t);
      host.ProcessEvents();
      if (host.StopRequested()) {
        result.stopped = true;
        break;
      }
    }
  }
  if (!result.stopped) writeBin(result.ro.BinOf(run.t));  // the last bin ends with the run
  sink.Time(run.t);
  rateFile.Close();
  oneCurve.Close();
  s.run.dt = run.dt;
  return result;
}

}  // namespace membrix
