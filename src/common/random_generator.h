#pragma once
// The program's one random source: a linear congruential generator started at 0,
// so that a fresh session reproduces the same noise run after run.

#include <cmath>
#include <cstdint>

namespace membrix {

class RandomGenerator {
 public:
  // Uniform deviate in [0, 1): x <- 134775813*x + 1 (mod 2^32), returned as x/2^32.
  double Uniform() {
    state_ = state_ * 134775813u + 1u;
    return static_cast<double>(state_) * (1.0 / 4294967296.0);
  }

  // Normal deviate with mean m and deviation s by the polar method. A pair at the
  // exact centre (q = 0) is drawn again, as the logarithm has no value there.
  double Normal(double m, double s) {
    double a = 0.0;
    double q = 0.0;
    do {
      a = 2.0 * Uniform() - 1.0;
      const double b = 2.0 * Uniform() - 1.0;
      q = a * a + b * b;
    } while (q >= 1.0 || q == 0.0);
    return m + s * a * std::sqrt(-2.0 * std::log(q) / q);
  }

  std::uint32_t state() const { return state_; }
  void set_state(std::uint32_t x) { state_ = x; }

  // Starts the generator at a seed it remembers: the runs of a series derive
  // their own starts from it. Seed 0 is the program's own start.
  void Seed(std::uint32_t seed) {
    seed_ = seed;
    state_ = seed;
  }
  std::uint32_t seed() const { return seed_; }

 private:
  std::uint32_t state_ = 0;
  std::uint32_t seed_ = 0;
};

}  // namespace membrix
