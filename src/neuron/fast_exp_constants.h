#pragma once
// The constants of the inlined exponential (fast_exp.h), shared by its scalar
// form and by the form that evaluates a register of doubles at once.

#include <cstdint>

namespace membrix::exp_detail {

// Per k = 0 ... 127: the bits of T and of H less k << 45, where
// 2^(k/128) = H·(1 + T) and H is the double nearest to 2^(k/128).
extern const std::uint64_t kExpTable[256];

constexpr double kInvLn2N = 0x1.71547652b82fep0 * 128.0;  // 128/ln2
constexpr double kShift = 0x1.8p52;                        // rounds to an integer in the low bits
constexpr double kNegLn2HiN = -0x1.62e42fefa0000p-8;       // -ln2/128, leading part (k·it is exact)
constexpr double kNegLn2LoN = -0x1.cf79abc9e3b3ap-47;      // the rest of -ln2/128
// exp(r) - 1 - r ≈ r²·(C2 + r·C3) + r⁴·(C4 + r·C5) for |r| <= ln2/256.
constexpr double kC2 = 0x1.ffffffffffdbdp-2;
constexpr double kC3 = 0x1.555555555543cp-3;
constexpr double kC4 = 0x1.55555cf172b91p-5;
constexpr double kC5 = 0x1.1111167a4d017p-7;

}  // namespace membrix::exp_detail
