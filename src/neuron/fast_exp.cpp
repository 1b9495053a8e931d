#include "neuron/fast_exp.h"

#include <bit>
#include <cstdint>

#include "neuron/fast_exp_constants.h"

namespace membrix::exp_detail {

constexpr std::uint64_t kExpTable[256] = {
#include "neuron/exp_table.inc"
};

namespace {

constexpr const std::uint64_t* kTable = kExpTable;

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
