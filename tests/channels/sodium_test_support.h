#pragma once
// Checks shared by the transient and resurgent Na channel tests.

#include <gtest/gtest.h>

#include <cmath>

#include "channels/sodium.h"

namespace membrix::testing {

// Every gate's steady state in [0, 1] and its time constant finite and not negative.
inline ::testing::AssertionResult GatesInRange(const SodiumRates& r) {
  for (GateRates g : {r.m, r.h, r.s}) {
    if (!std::isfinite(g.inf) || !std::isfinite(g.tau)) return ::testing::AssertionFailure() << "not finite";
    if (g.inf < 0.0 || g.inf > 1.0) return ::testing::AssertionFailure() << "steady state " << g.inf;
    if (g.tau < 0.0) return ::testing::AssertionFailure() << "time constant " << g.tau;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace membrix::testing
