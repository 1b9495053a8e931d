#pragma once
// Everything the program keeps between commands: the current parameter record
// NP0, the state copy NV0, the run globals, the stimulus protocol, the
// recordings and the model's values, spike statistics and the random generator.
// The inputs of the tasks and their windows are kept beside it (TaskInputs,
// tasks/task_inputs.h).
// The workbench owns one session; every test builds its own; a worker of a
// parallel sweep gets a copy.

#include <string>
#include <vector>

#include "analysis/spike_detector.h"
#include "analysis/statistics.h"
#include "channels/procedural/procedural_globals.h"
#include "analysis/z_function.h"
#include "common/random_generator.h"
#include "data/fit_table.h"
#include "ions/ion_dynamics.h"
#include "neuron/neuron.h"
#include "params/program_globals.h"
#include "run/independent_runs.h"
#include "run/recording.h"
#include "run/reset_protocol.h"
#include "run/run_globals.h"
#include "run/stimulus.h"
#include "run/trace_files.h"
#include "run/trace_table.h"
#include "thresholdmodel/threshold_table.h"

namespace membrix {

struct Session {
  NeuronProperties NP0;
  NeuronVariables NV0;
  RunGlobals run;
  StimulusGlobals stim;
  RecordingGlobals rec;
  TraceFileGlobals trace;
  ProgramGlobals prog;
  SpikeCriteria criteria;
  SpikeStats spikes;
  TraceTable ExpData;    // recordings on the model grid, by step and recording number
  TraceTable ModelData;  // model values Vr, by step and recording number
  RandomGenerator random;
  ThresholdModelGlobals thresholdModel;  // threshold table of the procedural threshold model
  FitTable fit;  // the parameters the simplex fits, its check marks and its tolerance
  ParallelSettings parallel;  // workers of the independent runs (sweeps, maps, ensembles)
  // The running statistics of the statistics window: the firing clamp and the
  // network add a sample at every step.
  StatisticsState statistics;
  ResetProtocolInputs resetInputs;   // the reset protocol the stimulus of every run follows
  ResetProtocolState resetProtocol;  // the reset protocol's state during a run
  // The kernel, the stored Z-functions, the trace ring and the orbit: the
  // firing clamp and the map write them at every step, each worker its own.
  ZFunctionState z;
  IonInputs ionInputs;  // the "Ions" and "NaK-pump" pages of the parameter window
  TIons Ions;           // the ion dynamics of the current or last run
  // What the procedural channel library keeps beside NP0 and NV0: its Lyle
  // occupancies and "tau1, ms", the level a spike kicks the Bst gate toward.
  ProceduralGlobals proc;

  // The text panels of the main window's "Notes" page: messages of the fitting
  // and the parameter input, the echo of every parameter-file assignment, and
  // the fitted coefficients.
  std::vector<std::string> SimplexMemo;
  std::vector<std::string> ParamsMemo;
  std::vector<std::string> CoeMemo;

  // The clock a neuron of this session reads. Valid while the session lives.
  RunView View() const { return {&run.t, &run.dt, &stim.Vus}; }
};

}  // namespace membrix
