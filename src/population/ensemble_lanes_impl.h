#pragma once
// The body of the lane step, included once by each ensemble_lanes_*.cpp and
// compiled there with that file's processor flags. The register type is the
// widest of doubles those flags allow; everything here has internal linkage or
// depends on that type, so the builds for different processors never share a
// definition.

#include <array>
#include <cmath>
#include <cstdint>
#include <experimental/simd>
#if defined(__FMA__) || defined(__SSE2__)
#include <immintrin.h>
#endif

#include "channels/procedural/rariza_kinetics.h"
#include "neuron/fast_exp_constants.h"
#include "population/ensemble_lanes.h"

namespace membrix {

using LaneVector = std::experimental::native_simd<double>;
using LaneMask = LaneVector::mask_type;
// 64-bit words, one per lane of LaneVector.
using LaneBits = std::experimental::rebind_simd_t<std::uint64_t, LaneVector>;

#if defined(__FMA__)
namespace {

namespace stdx = std::experimental;

// The program's exponential (fast_exp.h) on every lane at once, with the same
// fused multiply-adds in the same order, so each lane has the bits of the
// scalar form. For |x| <= 20, where the scalar form takes no special path
// but that of |x| < 2^-54.
// a·b + c rounded once, in one instruction per register (the library's
// element-wise fallback is not inlined).
LaneVector Fma(const LaneVector& a, const LaneVector& b, const LaneVector& c) {
#if defined(__AVX512F__)
  using Register = __m512d;
  return LaneVector(_mm512_fmadd_pd(static_cast<Register>(a), static_cast<Register>(b), static_cast<Register>(c)));
#elif defined(__AVX__)
  using Register = __m256d;
  return LaneVector(_mm256_fmadd_pd(static_cast<Register>(a), static_cast<Register>(b), static_cast<Register>(c)));
#else
  return stdx::fma(a, b, c);
#endif
}

LaneVector ExpLanes(const LaneVector& x) {
  using namespace exp_detail;
  LaneVector kd = Fma(LaneVector(kInvLn2N), x, LaneVector(kShift));
  const LaneBits ki = stdx::__proposed::simd_bit_cast<LaneBits>(kd);
  kd -= kShift;
  const LaneVector r = Fma(kd, LaneVector(kNegLn2LoN), Fma(kd, LaneVector(kNegLn2HiN), x));
  const LaneBits idx = (ki & 127u) << 1;
  const LaneBits top = ki << 45;
  const LaneBits tailBits([&](auto i) { return kExpTable[idx[i]]; });
  const LaneBits scaleBits([&](auto i) { return kExpTable[idx[i] + 1]; });
  const LaneVector tail = stdx::__proposed::simd_bit_cast<LaneVector>(tailBits);
  const LaneVector scale = stdx::__proposed::simd_bit_cast<LaneVector>(scaleBits + top);
  const LaneVector r2 = r * r;
  const LaneVector tmp =
      Fma(r2 * r2, Fma(r, LaneVector(kC5), LaneVector(kC4)),
                Fma(r2, Fma(r, LaneVector(kC3), LaneVector(kC2)), tail + r));
  LaneVector e = Fma(scale, tmp, scale);
  stdx::where(stdx::abs(x) < 0x1p-54, e) = 1.0 + x;
  return e;
}

}  // namespace
#endif

template <>
struct NumOps<LaneVector> {
  // SafeExp on every lane with the scalar bits: evaluated in the registers
  // where the processor has fused multiply-adds (the scalar form uses them
  // there too), lane by lane otherwise.
  static LaneVector Exp(const LaneVector& x) {
#if defined(__FMA__)
    if (exp_detail::kHasFma) {
      LaneVector e = ExpLanes(Select(Abs(x) <= 20.0, x, LaneVector(0.0)));
      std::experimental::where(x < -20.0, e) = 0.0;
      std::experimental::where(x > 20.0, e) = 485165195.4097903;
      return e;
    }
#endif
    return LaneVector([&](auto i) { return lanes::LaneSafeExp(x[i]); });
  }
  static LaneVector Abs(const LaneVector& x) { return Select(x >= 0.0, x, -x); }
  static LaneVector Select(const LaneMask& m, const LaneVector& a, const LaneVector& b) {
    LaneVector r = b;
    std::experimental::where(m, r) = a;
    return r;
  }
};

namespace {

LaneVector Load(const lanes::LaneColumn& c, std::size_t i) {
  return LaneVector(&c[i], std::experimental::element_aligned);
}

void Store(const LaneVector& x, lanes::LaneColumn& c, std::size_t i) {
  x.copy_to(&c[i], std::experimental::element_aligned);
}

// The one-point squid-axon member: the channels whose conductance is not 0
// (Na and K), the leak, the injected current and the input, one Euler step;
// then dVdt and d2Vdt2, which the spike detector reads.
[[gnu::flatten]] void StepLanesBody(const lanes::LaneStepInputs& in, lanes::LaneArrays& a, std::size_t n) {
  const NeuronProperties& np = *in.np;
  const double dt = in.dt;
  for (std::size_t i = 0; i < n; i += LaneVector::size()) {
    const LaneVector V = Load(a.V, i);
    const LaneVector oldDVdt = Load(a.dVdt, i);
    LaneVector mm = Load(a.mm, i), hh = Load(a.hh, i), nn = Load(a.nn, i);
    const LaneVector INa = ParametricNaAdvance(V, mm, hh, np, dt, Load(a.NaThreshShift, i));
    const LaneVector IK = RarizaKAdvance(V, nn, np, dt);
    // The sum over every slot; those without conductance carry exactly 0.
    const LaneVector channels = LaneVector(0.0) + INa + IK + 0.0;
    const LaneVector Iion = MembraneIonic(channels, V, np.VL, np, in.injected, in.duReset);
    const LaneVector Isyn = MembraneInput(Load(a.uu, i), in.ss, in.gNMDA, V, np);
    const LaneVector Vnew = V + dt / np.Cm * (Iion + Isyn);
    const LaneVector dVdt = (Vnew - V) / dt;
    Store(Vnew, a.V, i);
    Store(dVdt, a.dVdt, i);
    Store((dVdt - oldDVdt) / dt, a.d2Vdt2, i);
    Store(mm, a.mm, i);
    Store(hh, a.hh, i);
    Store(nn, a.nn, i);
  }
}

// The congruential generator's next state, x <- 134775813*x + 1 (mod 2^32),
// on states held in the low halves of the words. The processor multiplies the
// low halves into whole words in one instruction; the library's product of
// whole words takes three. (The AVX-512 forms here are the zero-masked ones
// with every lane set: GCC 12 warns of an undefined register inside the
// unmasked forms of its header.)
LaneBits NextState(const LaneBits& x) {
  constexpr std::uint64_t kFactor = 134775813u;
#if defined(__AVX512F__)
  const LaneBits product(_mm512_maskz_mul_epu32(static_cast<__mmask8>(0xff), static_cast<__m512i>(x),
                                                _mm512_set1_epi64(kFactor)));
#elif defined(__AVX2__)
  const LaneBits product(_mm256_mul_epu32(static_cast<__m256i>(x), _mm256_set1_epi64x(kFactor)));
#elif defined(__SSE2__)
  const LaneBits product(_mm_mul_epu32(static_cast<__m128i>(x), _mm_set1_epi64x(kFactor)));
#else
  const LaneBits product = x * kFactor;
#endif
  return (product + 1u) & 0xffffffffu;
}

// A state as the uniform deviate x/2^32 in [0, 1): the state is put into the
// mantissa of 2^52 and 2^52 taken away, which is exact below 2^52.
LaneVector UniformOf(const LaneBits& x) {
  const LaneVector shifted = std::experimental::__proposed::simd_bit_cast<LaneVector>(x | 0x4330000000000000u);
  return (shifted - 0x1p52) * (1.0 / 4294967296.0);
}

// The square root of every lane, exact as the scalar one.
LaneVector Sqrt(const LaneVector& x) {
#if defined(__AVX512F__)
  return LaneVector(_mm512_maskz_sqrt_pd(static_cast<__mmask8>(0xff), static_cast<__m512d>(x)));
#else
  return std::experimental::sqrt(x);
#endif
}

// All bits set in the words of the lanes of m, none elsewhere.
LaneBits WordMask(const LaneMask& m) {
  const LaneVector ones = std::experimental::__proposed::simd_bit_cast<LaneVector>(LaneBits(~std::uint64_t{0}));
  return std::experimental::__proposed::simd_bit_cast<LaneBits>(NumOps<LaneVector>::Select(m, ones, LaneVector(0.0)));
}

// One draw of the polar method on the lanes of a register still drawing: the
// pair (a, b) from two steps of each lane's generator, q = a² + b²; a lane
// whose pair falls outside the unit circle or at its centre stays drawing.
struct PolarDraw {
  LaneBits x;
  LaneVector a = 0.0, q = 0.0;
  LaneMask drawing = LaneMask(true);

  void Next() {
    const LaneBits x1 = NextState(x), x2 = NextState(x1);
    const LaneVector na = 2.0 * UniformOf(x1) - 1.0;
    const LaneVector nb = 2.0 * UniformOf(x2) - 1.0;
    const LaneVector nq = na * na + nb * nb;
    const LaneBits take = WordMask(drawing);
    x = (x2 & take) | (x & ~take);
    std::experimental::where(drawing, a) = na;
    std::experimental::where(drawing, q) = nq;
    drawing = drawing && (nq >= 1.0 || nq == 0.0);
  }
};

// The polar method on every lane at once. A lane whose pair is rejected draws
// again while the others keep theirs, so that each lane consumes its generator
// as the one-member draw does; the registers of the block draw side by side.
// The logarithm is the library's, lane by lane, for the same bits.
[[gnu::flatten]] void NoiseLanesBody(const lanes::NoiseLaneInputs& in, lanes::LaneStates& states,
                                     lanes::LaneColumn& uu, std::size_t n) {
  constexpr std::size_t W = LaneVector::size();
  const std::size_t registers = n / W;
  std::array<PolarDraw, lanes::kMaxLanes / W> draws;
  for (std::size_t r = 0; r < registers; ++r) {
    draws[r].x = LaneBits(&states[r * W], std::experimental::element_aligned);
  }
  for (bool drawing = true; drawing;) {
    drawing = false;
    for (std::size_t r = 0; r < registers; ++r) {
      if (!std::experimental::any_of(draws[r].drawing)) continue;
      draws[r].Next();
      drawing = drawing || std::experimental::any_of(draws[r].drawing);
    }
  }
  alignas(64) lanes::LaneColumn logQ{};
  for (std::size_t r = 0; r < registers; ++r) {
    draws[r].x.copy_to(&states[r * W], std::experimental::element_aligned);
    Store(draws[r].q, logQ, r * W);
  }
  for (std::size_t k = 0; k < n; ++k) logQ[k] = std::log(logQ[k]);
  for (std::size_t r = 0; r < registers; ++r) {
    const std::size_t i = r * W;
    const LaneVector a = draws[r].a, q = draws[r].q;
    const LaneVector xi = 0.0 + 1.0 * a * Sqrt(-2.0 * Load(logQ, i) / q);
    const LaneVector u = Load(uu, i);
    if (in.tauNoise > 0.0) {
      Store(u - in.dt * u / in.tauNoise + xi * in.ouScale, uu, i);
    } else {
      Store(xi * in.whiteScale, uu, i);
    }
  }
}

[[gnu::flatten]] void SafeExpLanesBody(const double* x, double* y, std::size_t n) {
  for (std::size_t i = 0; i < n; i += LaneVector::size()) {
    NumOps<LaneVector>::Exp(LaneVector(x + i, std::experimental::element_aligned))
        .copy_to(y + i, std::experimental::element_aligned);
  }
}

}  // namespace

}  // namespace membrix
