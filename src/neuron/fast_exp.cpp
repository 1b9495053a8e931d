#include "neuron/fast_exp.h"

#include <bit>
#include <cstdint>

namespace membrix::exp_detail {

namespace {

// Per k = 0 ... 127: the bits of T and of H less k << 45, where
// 2^(k/128) = H·(1 + T) and H is the double nearest to 2^(k/128).
constexpr std::uint64_t kTable[256] = {
#include "neuron/exp_table.inc"
};

constexpr double kInvLn2N = 0x1.71547652b82fep0 * 128.0;  // 128/ln2
constexpr double kShift = 0x1.8p52;                        // rounds to an integer in the low bits
constexpr double kNegLn2HiN = -0x1.62e42fefa0000p-8;       // -ln2/128, leading part (k·it is exact)
constexpr double kNegLn2LoN = -0x1.cf79abc9e3b3ap-47;      // the rest of -ln2/128
// exp(r) - 1 - r ≈ r²·(C2 + r·C3) + r⁴·(C4 + r·C5) for |r| <= ln2/256.
constexpr double kC2 = 0x1.ffffffffffdbdp-2;
constexpr double kC3 = 0x1.555555555543cp-3;
constexpr double kC4 = 0x1.55555cf172b91p-5;
constexpr double kC5 = 0x1.1111167a4d017p-7;

// The top 12 bits (sign and exponent) of |x|.
constexpr std::uint32_t Top12(double x) { return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 52); }

bool ProcessorHasFma() {
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("fma") != 0;
#else
  return false;
#endif
}

}  // namespace

const bool kHasFma = ProcessorHasFma();

double ExpWithFma(double x) {
  const std::uint32_t abstop = Top12(x) & 0x7ff;
  constexpr std::uint32_t kTiny = Top12(0x1p-54);
  if (abstop - kTiny >= Top12(512.0) - kTiny) {
    // |x| < 2^-54: exp(x) rounds to 1 + x. |x| >= 512, infinities and NaN are
    // left to the library, with its overflow, underflow and error reporting.
    if (abstop - kTiny >= 0x80000000u) return 1.0 + x;
    return std::exp(x);
  }
  // x = k·ln2/128 + r: k is the nearest integer to x·128/ln2, found by adding
  // the shift, which leaves it in the low bits of kd.
  double kd = __builtin_fma(kInvLn2N, x, kShift);
  const std::uint64_t ki = std::bit_cast<std::uint64_t>(kd);
  kd -= kShift;
  const double r = __builtin_fma(kd, kNegLn2LoN, __builtin_fma(kd, kNegLn2HiN, x));
  // 2^(k/128) = scale·(1 + tail): the table gives 2^((k mod 128)/128), the
  // integer part of k/128 goes into the exponent field.
  const std::uint64_t idx = 2 * (ki % 128);
  const std::uint64_t top = ki << 45;
  const double tail = std::bit_cast<double>(kTable[idx]);
  const double scale = std::bit_cast<double>(kTable[idx + 1] + top);
  // exp(x) = scale + scale·(tail + exp(r) - 1).
  const double r2 = r * r;
  const double tmp =
      __builtin_fma(r2 * r2, __builtin_fma(r, kC5, kC4), __builtin_fma(r2, __builtin_fma(r, kC3, kC2), tail + r));
  return __builtin_fma(scale, tmp, scale);
}

}  // namespace membrix::exp_detail
