#include "analysis/threshold_sweep.h"

#include <cmath>
#include <memory>

#include "analysis/spike_detector.h"
#include "analysis/sweep_file.h"
#include "common/number_format.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {

namespace {

constexpr double kSweepDt = 1.5e-5;    // s
constexpr double kSweepTEnd = 0.4;     // s
constexpr double kSweepTIind = 2.0;    // s

// The T-neuron: the threshold neuron of the same parameters.
std::unique_ptr<TNeuron> CreateTNeuron(Session& s) {
  NeuronProperties np = s.NP0;
  np.ThrModel = 1;
  return CreateNeuron(np, s.View());
}

}  // namespace

ThresholdResult ThresholdRun(Session& s, const ThresholdInputs& in, bool noise, double Iind, const Host* host) {
  RunGlobals& run = s.run;
  s.stim.Iind = Iind;
  s.stim.uu = 0.0;
  s.stim.ss = in.s;
  ResetRunState(s);
  std::unique_ptr<TNeuron> A = CreateNeuron(s.NP0, s.View());
  std::unique_ptr<TNeuron> B = CreateTNeuron(s);
  A->InitState();
  B->InitState();
  // The full model may be integrated with error control; its threshold neuron
  // keeps its own step. The sweep's noise changes at every step.
  if (noise && run.integrator.kind == IntegratorKind::Cvode) {
    throw Error("the error-controlled integrator (cvode) takes deterministic inputs; the thresholds sweep's noise "
                "changes at every step: run it with the fixed step");
  }
  std::unique_ptr<TRunAdvance> variable;
  if (run.integrator.kind == IntegratorKind::Cvode) variable = std::make_unique<TRunAdvance>(s, *A, false);

  ThresholdResult r;
  r.Iind = Iind;
  r.Vrest = A->NP.Vrest;
  const double Vrest = r.Vrest;
  const double sigma = in.sgm / 1000.0;
  const double G = s.NP0.Cm / s.NP0.tau_m;
  const double dt = run.dt;
  r.trace.reserve(static_cast<std::size_t>(2 * (run.nt_end / 10 + 2)));
  if (run.Writing == 1) r.vlin.reserve(static_cast<std::size_t>(run.nt_end + 2));
  SpikeStats& st = s.spikes;
  st.nSpikes = 0;
  bool timedOut = false;

  do {  // once per spike of the full model
    run.nt = 0;
    bool spiked = false;
    do {
      ++run.nt;
      run.t = run.nt * dt;
      if (host != nullptr && run.nt % 1000 == 0 && host->StopRequested()) throw RunStopped{};
      const double g = noise ? s.random.Normal(0.0, 1.0) * sigma * G * std::sqrt(2.0 * s.NP0.tau_m / dt) : 0.0;
      StepInputs inA = Stimulus(s, A->NP);
      if (variable) {
        variable->Step(s, *A, inA);
      } else {
        A->Step(inA.uDend, inA.sDend, 0.0, inA.sSoma, inA.gNMDA, inA.Iext + g, inA.Vclamp);
      }
      StepInputs inB = inA;
      if (in.NoNoiseInT == 1) {
        s.stim.uu = 0.0;
        inB.uDend = inB.uSoma = 0.0;
      }
      B->Step(inB.uDend, inB.sDend, 0.0, inB.sSoma, inB.gNMDA, inB.Iext, inB.Vclamp);
      s.NV0 = A->NV;
      TrackSpikes(s, *A);
      if (variable) variable->AfterDetection(s, *A);
      const NeuronVariables& a = A->NV;
      const NeuronVariables& b = B->NV;
      if (a.dVdt > in.dVdtCriterion && r.Th_Curv == 0.0) {
        r.Th_Curv = a.V - Vrest;
        r.Th_Curv_dVdt = b.dVdt;
        r.Th_Curv_t = run.t;
      }
      if (run.nt == 1 || run.nt % 10 == 0) {
        r.trace.push_back({run.t * 1000.0, a.V * 1000.0, b.V * 1000.0, 20.0 * a.hh - 55.0});
      }
      if (run.Writing == 1 && run.nt % 2 == 0) r.vlin.push_back({run.t * 1000.0, a.V * 1000.0, b.V * 1000.0, 0.0});
      spiked = a.SpikePhase == 2;
    } while (run.nt < run.nt_end && !spiked);

    NeuronVariables& a = A->NV;
    NeuronVariables& b = B->NV;
    if (spiked) {
      r.marks.push_back({run.t * 1000.0, b.V * 1000.0, r.Th_Curv_t * 1000.0, (r.Th_Curv + Vrest) * 1000.0});
      if (st.nSpikes == 2) {
        r.ThR = b.V - Vrest;
        r.dVdtR = b.dVdt;
        r.hhRefr = a.hh;
        r.t2 = run.t;
      } else if (st.nSpikes == 1) {
        b.tLastSpike = 0.0;
        r.Th0 = b.V - Vrest;
        r.dVdt0 = b.dVdt;
        r.hh0 = a.hh;
        r.t1 = run.t;
        // The full model's spike clock restarts with the time.
        a.tLastSpike -= run.t;
      }
    }
    B->ResetAfterSpike();
    timedOut = run.nt >= run.nt_end;
    if (variable) variable->RestartClock(s);  // the next pass counts from 0 again
  } while (!timedOut && st.nSpikes < 2);

  if (A->NV.V < -0.05 || timedOut) B->NV.V = 0.0;
  r.spikes = st.nSpikes;
  // The last spike time as the file has it: after a single spike, on the clock
  // of that spike's run.
  r.tLastSpike = A->NV.tLastSpike + (st.nSpikes == 1 ? r.t1 : 0.0);
  r.plotted = r.tLastSpike > 0.0;
  return r;
}

std::string ThresholdLine(const ThresholdResult& r) {
  std::string line;
  AppendFixed(line, r.ThR * 1000.0, 9, 3);
  line += ' ';
  AppendFixed(line, r.tLastSpike * 1000.0, 9, 5);
  line += ' ';
  AppendFixed(line, r.Iind, 9, 5);
  line += ' ';
  AppendFixed(line, r.dVdtR, 9, 5);
  line += ' ';
  AppendFixed(line, r.Th0 * 1000.0, 9, 5);
  line += ' ';
  AppendFixed(line, r.dVdt0, 9, 5);
  line += ' ';
  AppendScientific(line, r.t2 < 1e-6 ? 0.0 : 1.0 / r.t2, 23);
  return line;
}

// A current's result between processes: its numbers, then its curves.
template <>
struct SharedCodec<ThresholdResult> {
  static void Write(std::string& out, const ThresholdResult& r) {
    for (double x : {r.Iind, r.Th0, r.ThR, r.dVdt0, r.dVdtR, r.hh0, r.hhRefr, r.Th_Curv, r.Th_Curv_dVdt, r.Th_Curv_t,
                     r.t1, r.t2, r.tLastSpike, r.Vrest}) {
      PutShared(out, x);
    }
    PutShared(out, r.spikes);
    PutShared(out, r.plotted);
    PutShared(out, r.trace);
    PutShared(out, r.marks);
    PutShared(out, r.vlin);
  }
  static void Read(SharedReader& in, ThresholdResult& r) {
    for (double* x : {&r.Iind, &r.Th0, &r.ThR, &r.dVdt0, &r.dVdtR, &r.hh0, &r.hhRefr, &r.Th_Curv, &r.Th_Curv_dVdt,
                      &r.Th_Curv_t, &r.t1, &r.t2, &r.tLastSpike, &r.Vrest}) {
      in.Get(*x);
    }
    in.Get(r.spikes);
    in.Get(r.plotted);
    in.Get(r.trace);
    in.Get(r.marks);
    in.Get(r.vlin);
  }
};

RunsOutcome ThresholdSweep(Session& s, const ThresholdInputs& in, bool noise, Host& host, ThresholdSink& sink,
                           const std::string& file, const std::string& vlinFile) {
  const std::int64_t currents = CurrentGridCount(in.Iind_max, in.StepIind, "Step for Iind") - 1;
  SweepFile out(file, SweepFile::Lines::Flushed);
  SweepFile vlin(s.run.Writing == 1 ? vlinFile : std::string());
  // The sweep's run settings and the T-neuron's parameters; they stay.
  RunGlobals& run = s.run;
  run.dt = kSweepDt;
  SetRunLength(run, kSweepTEnd);
  s.stim.t_Iind = kSweepTIind;
  s.stim.Freq_Iind = in.Oscillations;
  s.NP0.ThrShift = 0.1;
  s.NP0.Vreset = -0.04;
  s.NP0.ThrModel = 0;

  std::string line;
  RunsOutcome outcome = RunShared<ThresholdResult>(
      s, host, currents,
      [&](Session& copy, Host& worker, std::int64_t k) {
        return ThresholdRun(copy, in, noise, static_cast<double>(k + 1) * in.StepIind, &worker);
      },
      [&](std::int64_t k, ThresholdResult&& r) {
        for (const ThresholdResult::Sample& v : r.vlin) {
          line.clear();
          AppendFixed(line, v.t, 8, 3);
          line += ' ';
          AppendScientific(line, v.V, 11);
          line += ' ';
          AppendScientific(line, v.VT, 12);
          vlin.WriteLine(line);
        }
        out.WriteLine(ThresholdLine(r));
        sink.Current(r);
        sink.Progress(k + 1, currents);
      });
  out.Close();
  vlin.Close();
  return outcome;
}

}  // namespace membrix
