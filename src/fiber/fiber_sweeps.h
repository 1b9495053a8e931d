#pragma once
// The f-I curve and the (u,s) map on the distributed model: the same sweeps
// as on the point neuron (same grids, files and parallel independent runs),
// each run on a fresh axon fiber built from the distributed-model inputs. The
// response is taken at the first axon node, next to the soma.

#include <string>

#include "analysis/fi_sweep.h"
#include "analysis/us_map.h"
#include "run/host.h"
#include "run/independent_runs.h"

namespace membrix {

struct Session;
struct FiberInputs;

// A distributed run gives up a silent neuron after this time.
inline constexpr double kDistributedSilenceLimit = 0.2;  // s

// One current of the distributed f-I sweep: the constant current Iind (pA) is
// injected into the soma of a fiber at rest, built from the axon inputs fiber;
// returns the frequency by the estimator of in.
double FIRunFrequencyDistributed(Session& s, const FIInputs& in, const FiberInputs& fiber, double Iind,
                                 const Host* host = nullptr);

// The f-I sweep of the fiber; writes "v(Iind).dat" like the point-neuron sweep.
RunsOutcome SweepFIDistributed(Session& s, const FIInputs& in, const FiberInputs& fiber, Host& host, FISink& sink,
                               const std::string& file = kFIFileName);

// One grid point of the map on the fiber: the input u - s·(V - Vus) enters the soma.
USMapPoint USMapRunDistributed(Session& s, const USMapInputs& in, const FiberInputs& fiber, std::int32_t i,
                               std::int32_t j, const Host* host = nullptr);

// The map of the fiber (grid in (u, s) only); writes "v(u_s).dat" with the
// wider fields of the distributed model and without the last two columns.
RunsOutcome MapUSDistributed(Session& s, const USMapInputs& in, const FiberInputs& fiber, Host& host,
                             USMapSink& sink, const std::string& file = kUSMapFile);

}  // namespace membrix
