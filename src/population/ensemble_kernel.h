#pragma once
// The members of the uncoupled ensembles stepped together: a block of
// squid-axon ("Rariza") members in one compartment, alike but for their noise
// or their threshold shift, advances in registers of doubles, one member per
// lane, with the processor's widest registers chosen at run time. Each member
// still draws from its own generator, in the order the one-member run draws,
// and ends bit for bit where NoiseMember or GaussianThresholdMember leaves it.
// Other models keep the one-member step.

#include <cstdint>
#include <optional>
#include <vector>

#include "population/ensemble.h"

namespace membrix {

// The register widths the kernel is built for.
enum class KernelIsa { Generic, Avx2, Avx512 };

// Whether this processor runs the build for isa; the widest one it runs.
bool KernelIsaAvailable(KernelIsa isa);
KernelIsa BestKernelIsa();
// The kernel the ensembles use: the widest this processor runs, unless
// the environment variable MEMBRIX_ENSEMBLE_KERNEL names one ("generic",
// "avx2", "avx512": used when the processor runs it) or asks for the
// one-member step ("scalar": no value), for comparisons of speed.
std::optional<KernelIsa> ChosenEnsembleKernel();
// Doubles per register of isa.
std::size_t KernelLanes(KernelIsa isa);

// y[k] = SafeExp(x[k]) for k < n (a multiple of KernelLanes(isa)), evaluated
// as the kernel of isa evaluates it.
void SafeExpInLanes(KernelIsa isa, const double* x, double* y, std::size_t n);

// The noise current of a noise-ensemble member after it has been put at rest:
// white (tau_Noise 0) or coloured, its amplitude making the free membrane's
// voltage spread sgm_V.
struct NoiseDrive {
  double sigma = 0.0;     // V, the spread of the start voltages
  double tauNoise = 0.0;  // s
  double whiteScale = 0.0, ouScale = 0.0;
  std::int64_t ntMeasure = 0;  // the step of the σV measurement
};
NoiseDrive NoiseDriveOf(const Session& copy, const EnsembleInputs& in);

// uu after one step driven by the standard normal deviate xi.
inline void AdvanceNoiseInput(double& uu, const NoiseDrive& d, double dt, double xi) {
  if (d.tauNoise > 0.0) {
    uu = uu - dt * uu / d.tauNoise + xi * d.ouScale;
  } else {
    uu = xi * d.whiteScale;
  }
}

// Whether the kernel can step the members of base (the ensemble's session with its
// model selected): the conductance-based "Rariza" cell in "1-point", no
// channel but Na and K with conductance, a current clamp whose injected current
// draws no noise of its own.
bool EnsembleKernelApplies(const Session& base);

// Members first ... last-1 (at most 32) of the noise ensemble, as NoiseMember
// gives them, stepped together with the registers of isa. copy is a worker's
// copy of base, with NP0, NV0, run, stim and spikes as base has them.
std::vector<EnsembleMember> NoiseMembersInLanes(Session& copy, const EnsembleInputs& in, std::int64_t first,
                                                std::int64_t last, const Host* host, KernelIsa isa);

// Members first ... last-1 (at most 32) of the Gaussian-threshold ensemble
// whose dispersion is "Disperse Thr.", as GaussianThresholdMember gives them;
// drawn is the member that keeps its V(t). copy as above.
std::vector<EnsembleMember> GaussianThresholdMembersInLanes(Session& copy, const EnsembleInputs& in,
                                                            std::int64_t first, std::int64_t last,
                                                            std::int64_t drawn, const Host* host, KernelIsa isa);

}  // namespace membrix
