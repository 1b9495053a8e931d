#pragma once
// The inputs of the tasks and their windows: what the f-I curve, the maps, the
// firing clamp and its analysis, the kernel, the data tools, the fiber and the
// populations take beside the model. The workbench keeps one beside its
// session and saves it with the settings; the batch tool and Python fill one
// per call from the declared inputs. The engine's task functions take the part
// they need explicitly.

#include "analysis/adaptation_sweep.h"
#include "analysis/fi_sweep.h"
#include "analysis/firing_clamp.h"
#include "analysis/firing_clamp_analysis.h"
#include "analysis/threshold_sweep.h"
#include "analysis/us_map.h"
#include "analysis/z_function.h"
#include "data/ramp_analyzer.h"
#include "data/step_series.h"
#include "fiber/fiber.h"
#include "population/ensemble.h"
#include "population/network.h"

namespace membrix {

struct TaskInputs {
  FIInputs fi;                           // the frequency-current window
  AdaptationInputs adaptation;           // the adaptation window
  ThresholdInputs threshold;             // the threshold window
  USMapInputs usMap;                     // the (u,s) map window
  FiringClampInputs firingClamp;         // the "Firing-Clamp and PRC" page
  FiringClampAnalysisInputs fcAnalysis;  // the firing-clamp window's analysis
  ZFunctionInputs zInputs;               // the Z-function window
  RampInputs ramp;                       // the ramp analyzer window
  StepSeriesInputs steps;                // the voltage-step series window
  FiberInputs fiber;                     // the distributed-model window: the axon and its drive
  EnsembleInputs ensemble;               // the Gaussian-ensemble window
  SynapseInputs synapse;                 // the synapse window of the network
};

}  // namespace membrix
