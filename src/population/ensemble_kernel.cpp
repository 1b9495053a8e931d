#include "population/ensemble_kernel.h"

#include <algorithm>
#include <array>
#include <utility>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "analysis/spike_detector.h"
#include "channels/procedural/hh_canal.h"
#include "common/error.h"
#include "population/ensemble_lanes.h"
#include "population/member_step.h"
#include "run/independent_runs.h"
#include "run/run_globals.h"
#include "run/session.h"
#include "run/stimulus.h"

namespace membrix {

namespace lanes {
double LaneSafeExp(double x) { return SafeExp(x); }
}  // namespace lanes

namespace {

bool CpuHas([[maybe_unused]] KernelIsa isa) {
#if defined(MEMBRIX_LANES_X86) && defined(__GNUC__)
  __builtin_cpu_init();
  // The wider builds use fused multiply-adds as well.
  const bool fma = __builtin_cpu_supports("fma") != 0;
  if (isa == KernelIsa::Avx2) return fma && __builtin_cpu_supports("avx2") != 0;
  if (isa == KernelIsa::Avx512) return fma && __builtin_cpu_supports("avx512f") != 0;
  return true;
#else
  return isa == KernelIsa::Generic;
#endif
}

// The builds of the lane functions for one register width.
struct IsaLanes {
  lanes::StepLanesFn step;
  lanes::NoiseLanesFn noise;
  void (*safeExp)(const double*, double*, std::size_t);
  std::size_t (*width)();
};

const IsaLanes& LanesFor(KernelIsa isa) {
  static constexpr IsaLanes generic{lanes::StepLanesGeneric, lanes::NoiseLanesGeneric, lanes::SafeExpLanesGeneric,
                                    lanes::WidthGeneric};
#if defined(MEMBRIX_LANES_X86)
  static constexpr IsaLanes avx2{lanes::StepLanesAvx2, lanes::NoiseLanesAvx2, lanes::SafeExpLanesAvx2,
                                 lanes::WidthAvx2};
  static constexpr IsaLanes avx512{lanes::StepLanesAvx512, lanes::NoiseLanesAvx512, lanes::SafeExpLanesAvx512,
                                   lanes::WidthAvx512};
  if (isa == KernelIsa::Avx512) return avx512;
  if (isa == KernelIsa::Avx2) return avx2;
#endif
  (void)isa;
  return generic;
}

void PollStop(const Host* host, std::int64_t nt) {
  if (host != nullptr && nt % 4096 == 0 && host->StopRequested()) throw RunStopped{};
}

}  // namespace

bool KernelIsaAvailable(KernelIsa isa) { return CpuHas(isa); }

KernelIsa BestKernelIsa() {
  static const KernelIsa best = CpuHas(KernelIsa::Avx512) ? KernelIsa::Avx512
                                : CpuHas(KernelIsa::Avx2) ? KernelIsa::Avx2
                                                          : KernelIsa::Generic;
  return best;
}

std::optional<KernelIsa> ChosenEnsembleKernel() {
  const char* env = std::getenv("MEMBRIX_ENSEMBLE_KERNEL");
  const std::string_view want = env != nullptr ? env : "";
  if (want == "scalar") return std::nullopt;
  for (const auto& [name, isa] : {std::pair{"generic", KernelIsa::Generic}, std::pair{"avx2", KernelIsa::Avx2},
                                  std::pair{"avx512", KernelIsa::Avx512}}) {
    if (want == name && CpuHas(isa)) return isa;
  }
  return BestKernelIsa();
}

std::size_t KernelLanes(KernelIsa isa) { return LanesFor(isa).width(); }

void SafeExpInLanes(KernelIsa isa, const double* x, double* y, std::size_t n) { LanesFor(isa).safeExp(x, y, n); }

NoiseDrive NoiseDriveOf(const Session& copy, const EnsembleInputs& in) {
  const NeuronProperties& np = copy.NP0;
  NoiseDrive d;
  d.sigma = in.sgm_V / 1000.0;
  d.tauNoise = in.tau_Noise / 1000.0;
  double A = np.Cm / np.tau_m * d.sigma;
  if (d.tauNoise > 0.0) A *= std::sqrt(np.tau_m / d.tauNoise + 1.0);
  const double dt = copy.run.dt;
  d.whiteScale = A * std::sqrt(2.0 * np.tau_m / dt);
  d.ouScale = A * copy.prog.NoiseToSignal * std::sqrt(2.0 * dt / std::max(d.tauNoise, 1e-300));
  d.ntMeasure = static_cast<std::int64_t>(std::trunc(in.tMeasure / 1000.0 / dt));
  return d;
}

bool EnsembleKernelApplies(const Session& base) {
  const NeuronProperties& np = base.NP0;
  const ProcModel m = ResolveProcModel(np);
  if (m.family != ProcFamily::Rariza || m.geometry != ProcGeometry::OnePoint) return false;
  if (np.ThrModel == 1 || np.LIF_model == 1) return false;
  // Current clamp only: no command voltage, no recorded current.
  const std::int32_t mode = np.If_I_V_or_g;
  if (mode == 1 || mode == 3 || mode == 4 || mode == 5 || mode == 7) return false;
  // A noisy injected current would draw from the members' generators.
  if (base.stim.noiseList == NoiseList::NoiseCurrent) return false;
  for (double g : {np.gNaR, np.gKM, np.gKA, np.gKD, np.gCaH, np.gCaT, np.gKCa, np.gH, np.gAHP, np.gBst, np.gNaP}) {
    if (g != 0.0) return false;
  }
  return true;
}

namespace {

// A block of members in lanes, with what the one-member step keeps beside the
// state record: the generator and the spike detector's state.
struct LaneBlock {
  std::size_t n = 0, padded = 0;
  lanes::StepLanesFn step = nullptr;
  lanes::LaneArrays a;
  std::array<RandomGenerator, lanes::kMaxLanes> random{};
  std::array<double, lanes::kMaxLanes> tLastSpike{};
  std::array<std::int32_t, lanes::kMaxLanes> phase{};
  std::array<SpikeRearmState, lanes::kMaxLanes> rearm{};
};

// Every lane at the state the member was put in at rest on copy; lanes beyond
// the block stay there without input; generators at the members' seeds.
void StartLanes(LaneBlock& b, const Session& copy, std::int64_t first, std::int64_t last, KernelIsa isa) {
  using lanes::kMaxLanes;
  b.n = static_cast<std::size_t>(last - first);
  if (last <= first || b.n > kMaxLanes) throw RangeError("a block of an ensemble holds 1 to 32 members");
  b.step = LanesFor(isa).step;
  const std::size_t width = KernelLanes(isa);
  b.padded = (b.n + width - 1) / width * width;
  const NeuronVariables& nv = copy.NV0;
  lanes::LaneArrays& a = b.a;
  for (std::size_t k = 0; k < b.padded; ++k) {
    a.mm[k] = nv.mm;
    a.hh[k] = nv.hh;
    a.nn[k] = nv.nn;
    a.dVdt[k] = nv.dVdt;
    a.d2Vdt2[k] = nv.d2Vdt2;
    a.uu[k] = copy.stim.uu;
    a.NaThreshShift[k] = copy.NP0.NaThreshShift;
    a.V[k] = nv.V;
    b.tLastSpike[k] = nv.tLastSpike;
    b.phase[k] = nv.SpikePhase;
    b.rearm[k] = nv.Rearm;
  }
  for (std::size_t k = 0; k < b.n; ++k) b.random[k].set_state(RunSeed(first + static_cast<std::int64_t>(k), copy.random.seed()));
}

// The run of the block: per step, before() (the inputs of the lanes), the
// shared stimulus, the lane step, the spike detector of every member, then
// after(k, fired) for every member.
template <class Before, class After>
void RunLanes(Session& copy, LaneBlock& b, const Host* host, Before&& before, After&& after) {
  const NeuronProperties& np = copy.NP0;
  const NeuronVariables& nv = copy.NV0;
  RunGlobals& run = copy.run;
  lanes::LaneStepInputs shared;
  shared.np = &np;
  shared.dt = run.dt;
  for (run.nt = 1; run.nt <= run.nt_end; ++run.nt) {
    run.t = run.nt * run.dt;
    PollStop(host, run.nt);
    before();
    // The stimulus depends on time alone: one evaluation serves every member.
    shared.injected = InjectedCurrent(copy, np);
    shared.duReset = copy.stim.du_Reset;
    shared.ss = copy.stim.ss;
    shared.gNMDA = copy.stim.gNMDA;
    b.step(shared, b.a, b.padded);
    for (std::size_t k = 0; k < b.n; ++k) {
      DetectSpikeIn(copy, np, b.tLastSpike[k], b.phase[k], b.rearm[k], np.Vrest + nv.VThr, b.a.d2Vdt2[k], b.a.dVdt[k], b.a.V[k]);
      after(k, b.phase[k] == 2);
    }
  }
}

}  // namespace

std::vector<EnsembleMember> NoiseMembersInLanes(Session& copy, const EnsembleInputs& in, std::int64_t first,
                                                std::int64_t last, const Host* host, KernelIsa isa) {
  // Every member starts from the same resting state; only its start voltage
  // and its noise differ.
  copy.stim.uu = copy.stim.ss = 0.0;
  ProceduralGlobals g;
  StartMemberAtRest(copy, g);
  const NeuronProperties& np = copy.NP0;
  const NoiseDrive drive = NoiseDriveOf(copy, in);
  LaneBlock b;
  StartLanes(b, copy, first, last, isa);
  lanes::LaneArrays& a = b.a;
  std::vector<EnsembleMember> out(b.n);
  for (std::size_t k = 0; k < b.n; ++k) {
    a.V[k] = np.Vrest + b.random[k].Normal(0.0, 1.0) * drive.sigma;
    out[k].gL = np.gL;
    out[k].spikes.reserve(64);
  }
  // From here on the generators advance in the registers, one state per lane;
  // the lanes beyond the block draw too, but their input is put back to 0.
  const lanes::NoiseLanesFn noise = LanesFor(isa).noise;
  lanes::LaneStates states{};
  for (std::size_t k = 0; k < b.n; ++k) states[k] = b.random[k].state();
  const lanes::NoiseLaneInputs noiseIn{copy.run.dt, drive.tauNoise, drive.whiteScale, drive.ouScale};
  RunGlobals& run = copy.run;
  const bool keepFirst = first == 0;
  if (keepFirst) {
    out[0].trace.reserve(static_cast<std::size_t>(run.nt_end) + 1);
    out[0].noise.reserve(static_cast<std::size_t>(run.nt_end / std::max(1, run.n_Draw) + 2));
  }
  RunLanes(
      copy, b, host,
      [&] {
        noise(noiseIn, states, a.uu, b.padded);
        for (std::size_t k = b.n; k < b.padded; ++k) a.uu[k] = 0.0;
      },
      [&](std::size_t k, bool fired) {
        if (fired) out[k].spikes.push_back(run.t);
        if (run.nt == drive.ntMeasure) out[k].Vmeasure = a.V[k];
        if (keepFirst && k == 0) {
          out[0].trace.push_back({run.t, a.V[0]});
          if (run.nt == 1 || IsMultiple(run.nt, run.n_Draw)) {
            out[0].noise.push_back({run.t, a.uu[0] * 1000.0});
          }
        }
      });
  return out;
}

std::vector<EnsembleMember> GaussianThresholdMembersInLanes(Session& copy, const EnsembleInputs& in,
                                                            std::int64_t first, std::int64_t last,
                                                            std::int64_t drawn, const Host* host, KernelIsa isa) {
  if (in.disperse != DispersionKind::Threshold) throw RangeError("the kernel disperses the threshold only");
  // The members share the resting state: the threshold shift comes after it.
  const NeuronProperties base = copy.NP0;
  ProceduralGlobals g;
  StartMemberAtRest(copy, g);
  const NeuronProperties& np = copy.NP0;
  const double sigmaShift = in.sgm_V;  // mV in either reading of sgm_V
  LaneBlock b;
  StartLanes(b, copy, first, last, isa);
  lanes::LaneArrays& a = b.a;
  std::vector<EnsembleMember> out(b.n);
  // The member's Na activation moves by its shift, as SetThresholdShift moves it.
  const auto shiftLane = [&](std::size_t k) {
    const double shift = b.random[k].Normal(0.0, 1.0) * sigmaShift;
    a.NaThreshShift[k] = base.NaThreshShift + shift;
    out[k].shifts.push_back(shift);
  };
  for (std::size_t k = 0; k < b.n; ++k) {
    out[k].gL = np.gL;
    out[k].spikes.reserve(64);
    shiftLane(k);
  }
  RunGlobals& run = copy.run;
  const std::size_t drawnLane = static_cast<std::size_t>(drawn - first);
  const bool draw = drawn >= first && drawn < last;
  if (draw) out[drawnLane].trace.reserve(static_cast<std::size_t>(run.nt_end / std::max(1, run.n_Draw) + 2));
  RunLanes(
      copy, b, host, [] {},
      [&](std::size_t k, bool fired) {
        if (fired) {
          out[k].spikes.push_back(run.t);
          if (in.ThrRenewal) shiftLane(k);
        }
        if (draw && k == drawnLane && (run.nt == 1 || IsMultiple(run.nt, run.n_Draw))) {
          out[k].trace.push_back({run.t, a.V[k]});
        }
      });
  return out;
}

}  // namespace membrix
