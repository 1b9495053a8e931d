#pragma once
// Everything the program keeps between commands: the current parameter record
// NP0, the state copy NV0, the run globals, the stimulus protocol, the
// recordings and the model's values, spike statistics and the random generator.
// The workbench owns one session; every test builds its own; a worker of a
// parallel sweep gets a copy.

#include "analysis/spike_detector.h"
#include "common/random_generator.h"
#include "neuron/neuron.h"
#include "run/recording.h"
#include "run/run_globals.h"
#include "run/stimulus.h"
#include "run/trace_table.h"

namespace membrix {

struct Session {
  NeuronProperties NP0;
  NeuronVariables NV0;
  RunGlobals run;
  StimulusGlobals stim;
  RecordingGlobals rec;
  SpikeCriteria criteria;
  SpikeStats spikes;
  TraceTable ExpData;    // recordings on the model grid, by step and recording number
  TraceTable ModelData;  // model values Vr, by step and recording number
  RandomGenerator random;

  // The clock a neuron of this session reads. Valid while the session lives.
  RunView View() const { return {&run.t, &run.dt, &stim.Vus}; }
};

}  // namespace membrix
