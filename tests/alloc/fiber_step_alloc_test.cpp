// The fiber's step loop allocates nothing. A program of its own, because it
// replaces the global allocation functions to count their calls.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "fiber/fiber.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "run/session.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace membrix {
namespace {

TEST(FiberStep, AllocatesNothingInAnyStimulationMode) {
  for (int mode = 0; mode <= 4; ++mode) {
    Session s;
    ApplyProgramStart(s);
    SelectModelFamily(s, "Rariza");
    s.NP0.If_I_V_or_g = 2;
    s.stim.Iind = 300.0;
    FiberInputs in;
    in.N = 50;
    in.L = 1000.0;
    in.Stimulation = static_cast<FiberStimulation>(mode);
    in.Iind_Left = in.Iind_Right = 2000.0;
    in.Gs_Left = in.Gs_Right = 5.0;
    in.Ampl_gE = in.Ampl_gI = 0.05;
    in.mean_gE = in.mean_gI = 0.1;
    auto fiber = SetupFiber(s, in);
    InitFiber(s, *fiber);
    const long before = allocations.load();
    for (int n = 1; n <= 500; ++n) {
      s.run.t = n * s.run.dt;
      fiber->ClearInputs();
      StimulateFiber(s, *fiber);
      StepFiber(s, *fiber, s.run.t);
      (void)FiberLFP(*fiber, 0.05, 0.05);
    }
    EXPECT_EQ(allocations.load() - before, 0) << "mode " << mode;
    EXPECT_TRUE(std::isfinite(fiber->V[50])) << "mode " << mode;
  }
}

}  // namespace
}  // namespace membrix
