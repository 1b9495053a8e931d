#include "tasks/model_inputs.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "common/error.h"
#include "params/imported_channels.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "run/recording.h"
#include "run/session.h"
#include "run/session_values.h"

namespace membrix {

std::vector<TaskInput> ModelInputs(bool withMode) {
  std::vector<TaskInput> inputs;
  inputs.push_back(InFile("id", FileKind::ParameterFile,
                          "Open a .id parameter file first, as the workbench's File menu does"));
  // Set in its place among the model inputs; read back for the summary.
  TaskInput smpl = Integer("smpl", Between(0, kMaxRecording), "Use recording K of the parameter file");
  smpl.get = [](const Session& s, const TaskInputs&) { return static_cast<double>(s.rec.Smpl); };
  inputs.push_back(std::move(smpl));
  inputs.push_back(Text("family",
                        "Model family, as the HH_type menu: Rariza, Passive, Destexhe, Migliore, Cummins, Chow, "
                        "Lyle, Naundorf, White, White2, Shu, Bazhenov (resets the parameters to its defaults)"));
  inputs.push_back(Text("geometry",
                        "Geometry: 1-point, 2-points, 2-p-MainenSejn, 2-p-ActiveDend (resets the defaults)"));
  if (withMode) {
    inputs.push_back(Text("mode",
                          "Clamp mode by name or number: 1 VC, 2 CC, 3 \"for  gNa\", 4 \"VC with pipette\", "
                          "5 \"VC at Vexp\", 6 Iind, 7 Iind=Vexp"));
  }
  inputs.push_back(Flag("thr_model", "Use the threshold neuron of the family"));
  inputs.push_back(Flag("lif_model", "Use the adaptive exponential integrate-and-fire neuron"));
  inputs.push_back(BindField(Choice("spike_rearm", {"fall", "blanking"},
                                   "When a new spike may follow one: fall, once the voltage has fallen back to "
                                   "the spike-start level or has risen 10 mV above its lowest point since the spike "
                                   "(a spike on a plateau); blanking, 1 ms after the spike wherever the voltage is "
                                   "(the older rule: noise on a slow downstroke counts as spikes; for reproducing "
                                   "stored results)"),
                            &Session::criteria, &SpikeCriteria::rearm));
  TaskInput set = Text("set",
                       "KEY=VALUE: set a protocol global (Iind, t_Iind, uu, ss, Vh, ...) or a parameter field "
                       "(NP0.gNa, ...) in the record's own units (s, V, pA for Iind); may be repeated; applied "
                       "after the options above");
  set.kind = InputKind::Texts;
  inputs.push_back(std::move(set));
  TaskInput channel = Text("channel",
                           "FILE[#ID]:G:E: add the ion channel ID of the NeuroML 2 file FILE (the ID may be left "
                           "out when the file holds one) beside the model's own, with the maximal conductance "
                           "density G in mS/cm² and the reversal potential E in mV; may be repeated");
  channel.kind = InputKind::Texts;
  inputs.push_back(std::move(channel));
  inputs.push_back(Number("dt_ms", Unit::Ms, Above(0), "Time step")
                       .Aka("dt", 1000.0)
                       .Bind([](const Session& s) { return s.run.dt * 1000.0; },
                             [](Session& s, double v) { SetTimeStep(s.run, v / 1000.0); }));
  inputs.push_back(Integer("threads", Between(0, 4096), "Number of workers (0: one per core)").Aka("workers"));
  for (TaskInput& in : inputs) in.shared = true;
  return inputs;
}

std::vector<TaskInput> IntegratorInputs() {
  std::vector<TaskInput> inputs;
  inputs.push_back(Choice("integrator", {"fixed", "cvode"},
                          "How the neuron's equations are integrated: fixed, the model's own first-order step at "
                          "dt; cvode, error-controlled variable steps (CVODE) within rtol and atol, the samples "
                          "still dt apart (the conductance-based neuron, deterministic inputs)")
                       .Bind([](const Session& s) { return static_cast<double>(s.run.integrator.kind); },
                             [](Session& s, double v) { s.run.integrator.kind = static_cast<IntegratorKind>(v); }));
  inputs.push_back(Number("rtol", Unit::None, Between(1e-14, 0.1), "Relative tolerance of cvode")
                       .Bind([](const Session& s) { return s.run.integrator.rtol; },
                             [](Session& s, double v) { s.run.integrator.rtol = v; }));
  inputs.push_back(Number("atol", Unit::None, Between(1e-14, 0.1),
                          "Absolute tolerance of cvode: of a gate, of the voltage in mV, of Ca in µM, of Na and K in mM")
                       .Bind([](const Session& s) { return s.run.integrator.atol; },
                             [](Session& s, double v) { s.run.integrator.atol = v; }));
  return inputs;
}

TaskInput SeedInput() {
  TaskInput seed = Integer("seed", Between(0, 4294967295.0),
                           "Seed of the random numbers; every run of a series starts from the seed and its "
                           "index (0: the program's own sequence)");
  seed.shared = true;
  return seed;
}

void CheckRunSettings(const Session& s) {
  auto refuse = [](const std::string& what) { throw RangeError(what); };
  if (!(s.run.dt > 0) || !std::isfinite(s.run.dt)) {
    refuse("the time step dt = " + PlainNumber(s.run.dt) + " s must be a positive number of seconds");
  }
  if (!(s.run.t_end >= 0) || !std::isfinite(s.run.t_end)) {
    refuse("the run length t_end = " + PlainNumber(s.run.t_end) + " s must be a non-negative number of seconds");
  }
  if (s.run.n_Write < 1) refuse("the writing cadence n_Write = " + std::to_string(s.run.n_Write) + " must be 1 or more");
  if (s.run.n_Draw < 1) refuse("the drawing cadence n_Draw = " + std::to_string(s.run.n_Draw) + " must be 1 or more");
  const int mode = s.NP0.If_I_V_or_g;
  if (mode < 1 || mode > 7) {
    refuse("the clamp mode NP0.If_I_V_or_g = " + std::to_string(mode) + " is outside 1 ... 7");
  }
  if (s.rec.Smpl < 0 || s.rec.Smpl > kMaxRecording) {
    refuse("the recording number Smpl = " + std::to_string(s.rec.Smpl) + " is outside 0 ... " +
           std::to_string(kMaxRecording));
  }
  if (s.rec.NSmpls < 0 || s.rec.NSmpls > kMaxRecording) {
    refuse("the recording count NSmpls = " + std::to_string(s.rec.NSmpls) + " is outside 0 ... " +
           std::to_string(kMaxRecording));
  }
}

void ApplyModelInputs(Session& s, TaskInputs& inputs, const TaskDeclaration& task, const TaskValues& values,
                      bool fromStart) {
  auto given = [&](const char* name) { return task.Find(name) != nullptr && values.Given(name); };
  if (fromStart) ApplyProgramStart(s);
  if (given("id")) LoadParameterFile(s, values.Text("id"));
  if (given("smpl")) s.rec.Smpl = values.Int("smpl");
  if (given("family")) SelectModelFamily(s, values.Text("family"));
  if (given("geometry")) SelectGeometry(s, values.Text("geometry"));
  if (given("thr_model") && values.On("thr_model")) SetThrModel(s, true);
  if (given("lif_model") && values.On("lif_model")) SetLIFModel(s, true);
  if (given("mode")) SelectClampMode(s, values.Text("mode"));
  if (task.Find("set") != nullptr) {
    for (const std::string& a : values.Texts("set")) SetSessionAssignment(s, a);
  }
  if (task.Find("channel") != nullptr) {
    for (const std::string& c : values.Texts("channel")) AddImportedChannel(s.NP0, ImportChannel(c));
  }
  if (given("threads")) s.parallel.workers = values.Int("threads");
  if (given("seed")) s.random.Seed(static_cast<std::uint32_t>(values.Number("seed")));
  ApplyGivenInputs(task, values, s, inputs);
  CheckRunSettings(s);
}

}  // namespace membrix
