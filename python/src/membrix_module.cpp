// The Python module "membrix._membrix": the engine's session behind a small
// Pythonic face. Results come back as NumPy arrays made once when a run has
// ended; runs and fits compute with the interpreter released.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <tuple>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/version.h"
#include "data/fit_table.h"
#include "data/simplex.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/parameter_file.h"
#include "params/record_fields.h"
#include "python_session.h"
#include "python_tasks.h"
#include "run/output_variables.h"
#include "run/recording.h"
#include "run/run_globals.h"
#include "run/session_reader.h"
#include "run/session_values.h"
#include "run/trace_recorder.h"
#include "tasks/model_inputs.h"
#include "tasks/task_cost.h"

namespace py = pybind11;

namespace membrix::python {
namespace {

// A vector handed to NumPy without a copy: the array owns it.
py::array_t<double> ToArray(std::vector<double>&& values) {
  auto* owned = new std::vector<double>(std::move(values));
  py::capsule release(owned, [](void* p) { delete static_cast<std::vector<double>*>(p); });
  return py::array_t<double>(static_cast<py::ssize_t>(owned->size()), owned->data(), release);
}

// The array of a recording: one-dimensional, of numbers; converted to double
// only once its shape has passed.
std::vector<double> FromArray(const py::handle& object, const char* what) {
  const py::array a = py::array::ensure(object);
  if (!a) throw py::type_error(std::string(what) + " must be an array of numbers");
  if (a.ndim() != 1) {
    throw py::value_error(std::string(what) + " must be a one-dimensional array, not " + std::to_string(a.ndim()) +
                          "-dimensional");
  }
  const auto numbers = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
  if (!numbers) throw py::type_error(std::string(what) + " must be an array of numbers");
  return std::vector<double>(numbers.data(), numbers.data() + numbers.size());
}

// The number of elements of an array-like object without converting it.
py::ssize_t ArraySize(const py::handle& object, const char* what) {
  const py::array a = py::array::ensure(object);
  if (!a) throw py::type_error(std::string(what) + " must be an array of numbers");
  return a.size();
}

std::string ExactText(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

std::string ValueTextOf(const SessionValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (const auto* x = std::get_if<double>(&v)) return ExactText(*x);
  return std::get<std::string>(v);
}

// A Python number or text as the setter reads it.
std::string ValueText(const py::handle& value) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>() ? "1" : "0";
  if (py::isinstance<py::int_>(value)) return std::to_string(value.cast<long long>());
  if (py::isinstance<py::float_>(value) || py::hasattr(value, "__float__")) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value.cast<double>());
    return text;
  }
  throw py::type_error("a value must be a number or a text, not " +
                       py::str(py::type::of(value).attr("__name__")).cast<std::string>());
}

struct RunResult {
  py::array_t<double> t;
  py::dict traces;
  py::dict units;
  py::array_t<double> spike_times;
  double deviation = 0.0;
  int steps = 0;
  std::vector<std::string> notes;
};

// Reports fit passes and stops after a given number of them.
class PassLimit final : public FitProgress {
 public:
  explicit PassLimit(int maxPasses) : maxPasses_(maxPasses) {}
  void Pass(const SimplexPass& pass, const std::string&) override { passes_ = pass.pass; }
  bool Reached() const { return maxPasses_ > 0 && passes_ >= maxPasses_; }

 private:
  int maxPasses_;
  int passes_ = 0;
};

class FitHost final : public Host {
 public:
  FitHost(PythonHost& inner, const PassLimit& limit) : inner_(inner), limit_(limit) {}
  bool Confirm(const std::string& q) override { return inner_.Confirm(q); }
  void ShowParameters() override { inner_.ShowParameters(); }
  bool StopRequested() const override { return limit_.Reached() || inner_.StopRequested(); }

 private:
  PythonHost& inner_;
  const PassLimit& limit_;
};

// The recording format of the session is the arrays' for the length of a run.
struct KeepDataColumns {
  explicit KeepDataColumns(Session& s) : s_(s), kept_(s.rec.IfDataIn1column) {}
  ~KeepDataColumns() { s_.rec.IfDataIn1column = kept_; }
  Session& s_;
  std::int32_t kept_;
};

RunResult Run(PythonSession& ps, const std::vector<std::string>& record, int every, std::optional<double> t_end,
              std::optional<double> dt) {
  PythonSession::Busy busy(ps);
  Session& s = ps.s;
  if (dt) {
    if (!(*dt > 0) || !std::isfinite(*dt)) throw py::value_error("dt must be a positive number of seconds");
    SetTimeStep(s.run, *dt);
    ps.steps.push_back({"set", "dt", ExactText(*dt)});
  }
  if (t_end) {
    if (!(*t_end >= 0) || !std::isfinite(*t_end)) throw py::value_error("t_end must be a number of seconds >= 0");
    SetRunLength(s.run, *t_end);
    ps.steps.push_back({"set", "t_end", ExactText(*t_end)});
  }
  TraceRecorder recorder(s, record, every);
  // The samples and the recording of the run must fit in memory: refused
  // with the estimate before the run, not cut.
  const double steps = static_cast<double>(s.run.nt_end);
  double bytes = 8.0 * static_cast<double>(recorder.Samples(s.run.nt_end)) * (recorder.items.size() + 1.0) +
                 ClampRunRecordingBytes(s, steps);
  if (ps.arrays.contains(s.rec.Smpl)) bytes += RecordingTableBytes(steps);
  CheckMemory("run", bytes);
  CheckRunLength(s.run);
  PythonHost host(ps);
  const std::size_t notesBefore = s.SimplexMemo.size();
  double deviation = 0.0;
  {
    KeepDataColumns keep(s);
    py::gil_scoped_release released;
    deviation = RecordedRun(s, host, recorder);
  }
  RunResult r;
  r.t = ToArray(std::move(recorder.time));
  for (std::size_t i = 0; i < recorder.items.size(); ++i) {
    r.traces[py::str(record[i])] = ToArray(std::move(recorder.values[i]));
    r.units[py::str(record[i])] = std::string(OutputVariableUnit(recorder.items[i]));
  }
  r.spike_times = ToArray(std::move(recorder.spikeTimes));
  r.deviation = deviation;
  r.steps = s.run.nt;
  r.notes.assign(s.SimplexMemo.begin() + static_cast<std::ptrdiff_t>(notesBefore), s.SimplexMemo.end());
  return r;
}

py::dict Fit(PythonSession& ps, const std::vector<std::string>& names, double tolerance, int maxPasses) {
  PythonSession::Busy busy(ps);
  Session& s = ps.s;
  if (!names.empty()) SelectFitParameters(s.fit, names);
  CollectFitSelection(s.fit);
  s.fit.Tolerance = tolerance;
  // The check of the request looks for the recordings' files; recordings
  // given from arrays get theirs when a run loads its parameters.
  bool arrays = false;
  for (int k = 1; k <= std::min(s.rec.NSmpls, kMaxRecording); ++k) arrays = arrays || ps.arrays.contains(k);
  if (!arrays) {
    CheckFitRequest(s);
  } else if (s.rec.NSmpls < 1 || s.rec.NSmpls > kMaxRecording) {
    throw RangeError("NSmpls = " + std::to_string(s.rec.NSmpls) + "; a fit needs 1 ... " +
                     std::to_string(kMaxRecording) + " recordings");
  } else if (s.fit.FitCount == 0) {
    throw Error("no parameter is selected for the fit");
  } else if (s.fit.FitCount > kMaxFitCount) {
    throw RangeError(std::to_string(s.fit.FitCount) + " parameters are selected for the fit; at most " +
                     std::to_string(kMaxFitCount) + " can be fitted at once");
  }
  PythonHost python(ps, true);
  PassLimit limit(maxPasses);
  FitHost host(python, limit);
  NullRunViewSink views;
  SimplexResult result;
  {
    KeepDataColumns keep(s);
    py::gil_scoped_release released;
    result = RunCheckedSimplex(s, host, views, limit);
  }
  if (python.Interrupted()) throw py::error_already_set();
  py::dict values;
  for (int k = 1; k <= s.fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(s.fit, k);
    values[py::str(std::string(p.field))] = result.x[static_cast<std::size_t>(k - 1)];
    // The fitted values stay in the session, and so in its pickle.
    ps.steps.push_back({"set", "NP0." + std::string(p.field), ExactText(s.NP0.*p.member)});
  }
  py::dict out;
  out["values"] = values;
  out["residual"] = result.value;
  out["passes"] = result.passes;
  out["evaluations"] = result.nfunk;
  out["converged"] = !result.stopped;
  return out;
}

void SetRecording(PythonSession& ps, int smpl, const py::object& t, const py::object& values) {
  ps.CheckIdle();
  if (smpl < 0 || smpl > kMaxRecording) {
    throw py::value_error("recording number " + std::to_string(smpl) + " is outside 0 ... " +
                          std::to_string(kMaxRecording));
  }
  // Sizes and memory are checked before anything is copied.
  const py::ssize_t nt = ArraySize(t, "t"), nv = ArraySize(values, "values");
  if (nt != nv) {
    throw py::value_error("t and values differ in length (" + std::to_string(nt) + " and " + std::to_string(nv) +
                          ")");
  }
  if (nt == 0) throw py::value_error("a recording has at least 1 point, not 0");
  CheckMemory("recording", 16.0 * static_cast<double>(nt));
  ArrayRecording r{FromArray(t, "t"), FromArray(values, "values")};
  for (std::size_t i = 0; i < r.t.size(); ++i) {
    if (!std::isfinite(r.t[i]) || !std::isfinite(r.values[i])) {
      throw py::value_error("point " + std::to_string(i) + " of the recording is not a finite number");
    }
    if (i > 0 && !(r.t[i] > r.t[i - 1])) {
      throw py::value_error("the times of a recording must increase (point " + std::to_string(i) + ")");
    }
  }
  ps.arrays[smpl] = std::move(r);
  if (smpl == ps.s.rec.Smpl) ps.ApplyArrayRecording();
}

py::object Get(const PythonSession& ps, const std::string& name) {
  ps.CheckIdle();
  const SessionValue v = GetSessionValue(ps.s, name);
  if (const auto* i = std::get_if<std::int64_t>(&v)) return py::int_(*i);
  if (const auto* x = std::get_if<double>(&v)) return py::float_(*x);
  return py::str(std::get<std::string>(v));
}

std::vector<std::string> Names() {
  std::vector<std::string> names(SessionGlobalNames().begin(), SessionGlobalNames().end());
  for (const PropertyField& f : PropertyFields()) names.push_back("NP0." + std::string(f.name));
  return names;
}

// Does one step of a session's making and keeps it for the pickle.
void ApplyStep(PythonSession& ps, const PythonSession::Step& step) {
  Session& s = ps.s;
  if (step.what == "family") {
    SelectModelFamily(s, step.argument);
  } else if (step.what == "geometry") {
    SelectGeometry(s, step.argument);
  } else if (step.what == "mode") {
    SelectClampMode(s, step.argument);
  } else if (step.what == "thr_model") {
    SetThrModel(s, step.argument == "1");
  } else if (step.what == "lif_model") {
    SetLIFModel(s, step.argument == "1");
  } else if (step.what == "set") {
    // A value no run can use is refused as a run would refuse it, and the
    // session keeps the value it had.
    bool usable = true;
    try {
      CheckRunSettings(s);
    } catch (const RangeError&) {
      usable = false;
    }
    const std::string old = ValueTextOf(GetSessionValue(s, step.argument));
    SetSessionValue(s, step.argument, step.value);
    if (usable) {
      try {
        CheckRunSettings(s);
      } catch (const RangeError&) {
        SetSessionValue(s, step.argument, old);
        throw;
      }
    }
  } else if (step.what == "load_id") {
    // A pipe or device would keep the call waiting for a writer, a folder is
    // no parameter file.
    std::error_code ec;
    const auto status = std::filesystem::status(step.argument, ec);
    if (ec || !std::filesystem::exists(status)) throw IoError(step.argument, "does not exist");
    if (!std::filesystem::is_regular_file(status)) {
      throw IoError(step.argument, "is not a regular file; give a .id parameter file");
    }
    std::optional<int> smpl;
    if (!step.value.empty()) {
      smpl = std::stoi(step.value);
      if (*smpl < 0 || *smpl > kMaxRecording) {
        throw py::value_error("recording number " + step.value + " is outside 0 ... " +
                              std::to_string(kMaxRecording));
      }
    }
    LoadParameterFile(s, step.argument);
    if (smpl) s.rec.Smpl = *smpl;
  } else {
    throw py::value_error("a session cannot be made by the step " + step.what);
  }
}

void Step(PythonSession& ps, PythonSession::Step step) {
  ps.CheckIdle();
  if (step.what == "load_id") step.argument = std::filesystem::absolute(step.argument).string();
  ApplyStep(ps, step);
  ps.steps.push_back(std::move(step));
}

py::array_t<double> CopyToArray(const std::vector<double>& values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

// A session as it is pickled: the steps that made it, its recordings from
// arrays and its generator's state. Its parameter file is opened again from
// its absolute path when the pickle is read.
py::tuple PickledState(const PythonSession& ps) {
  ps.CheckIdle();
  py::list steps;
  for (const PythonSession::Step& step : ps.steps) steps.append(py::make_tuple(step.what, step.argument, step.value));
  py::dict arrays;
  for (const auto& [k, r] : ps.arrays) arrays[py::int_(k)] = py::make_tuple(CopyToArray(r.t), CopyToArray(r.values));
  // A run leaves values in the session that the next run starts from (the
  // resting potential, ...): every parameter field and global as it stands.
  py::list values;
  for (const std::string& name : Names()) {
    try {
      values.append(py::make_tuple(name, ValueTextOf(GetSessionValue(ps.s, name))));
    } catch (const Error&) {
      // A name that can be set but not read back is made by the steps alone.
    }
  }
  return py::make_tuple(1, steps, arrays, ps.s.random.seed(), ps.s.random.state(), ps.s.rec.Smpl, values);
}

std::unique_ptr<PythonSession> FromPickledState(const py::tuple& state) {
  if (state.size() != 7 || state[0].cast<int>() != 1) throw py::value_error("not a pickled membrix.Session");
  auto owned = std::make_unique<PythonSession>();
  PythonSession& ps = *owned;
  for (const py::handle item : state[1]) {
    const auto step = item.cast<std::tuple<std::string, std::string, std::string>>();
    PythonSession::Step s{std::get<0>(step), std::get<1>(step), std::get<2>(step)};
    ApplyStep(ps, s);
    ps.steps.push_back(std::move(s));
  }
  for (const auto& [k, arrays] : state[2].cast<py::dict>()) {
    const auto pair = arrays.cast<py::tuple>();
    ps.arrays[k.cast<int>()] = ArrayRecording{FromArray(pair[0], "t"), FromArray(pair[1], "values")};
  }
  for (const py::handle item : state[6]) {
    const auto value = item.cast<std::pair<std::string, std::string>>();
    SetSessionValue(ps.s, value.first, value.second);
  }
  ps.s.random.Seed(state[3].cast<std::uint32_t>());
  ps.s.random.set_state(state[4].cast<std::uint32_t>());
  ps.s.rec.Smpl = state[5].cast<int>();
  ps.ApplyAllArrayRecordings();
  return owned;
}

}  // namespace
}  // namespace membrix::python

PYBIND11_MODULE(_membrix, m) {
  using namespace membrix;
  using namespace membrix::python;
  m.doc() = "The Membrix engine: neuron models, clamp runs and fits, with NumPy arrays.";
  m.attr("__version__") = kProgramVersion;

  static py::exception<Error> error(m, "Error", PyExc_RuntimeError);
  static py::exception<FormatError> formatError(m, "FormatError", error.ptr());
  static py::exception<IoError> ioError(m, "IoError", error.ptr());
  static py::exception<RangeError> rangeError(m, "RangeError", error.ptr());
  // The most derived type first: a translator catches what it names.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const FormatError& e) {
      PyErr_SetString(formatError.ptr(), e.what());
    } catch (const IoError& e) {
      PyErr_SetString(ioError.ptr(), e.what());
    } catch (const RangeError& e) {
      PyErr_SetString(rangeError.ptr(), e.what());
    } catch (const Error& e) {
      PyErr_SetString(error.ptr(), e.what());
    }
  });

  py::class_<RunResult>(m, "RunResult", "The traces and spikes of one clamp run.")
      .def_readonly("t", &RunResult::t, "Times of the samples, s (t = n * dt after step n)")
      .def_readonly("traces", &RunResult::traces, "Recorded items: name -> array, in the units of `units`")
      .def_readonly("units", &RunResult::units, "Unit of each recorded item")
      .def_readonly("spike_times", &RunResult::spike_times, "Spike peak times, s")
      .def_readonly("deviation", &RunResult::deviation,
                    "Root-mean-square deviation of the model value from the run's recording")
      .def_readonly("steps", &RunResult::steps, "Steps made")
      .def_readonly("notes", &RunResult::notes, "Notes the run left (a diverged membrane, ...)")
      .def("__getitem__", [](const RunResult& r, const std::string& name) { return r.traces[py::str(name)]; })
      .def(py::pickle(
          [](const RunResult& r) {
            return py::make_tuple(1, r.t, r.traces, r.units, r.spike_times, r.deviation, r.steps, r.notes);
          },
          [](const py::tuple& state) {
            if (state.size() != 8 || state[0].cast<int>() != 1) throw py::value_error("not a pickled RunResult");
            RunResult r;
            r.t = state[1].cast<py::array_t<double>>();
            r.traces = state[2].cast<py::dict>();
            r.units = state[3].cast<py::dict>();
            r.spike_times = state[4].cast<py::array_t<double>>();
            r.deviation = state[5].cast<double>();
            r.steps = state[6].cast<int>();
            r.notes = state[7].cast<std::vector<std::string>>();
            return r;
          }))
      .def("__repr__", [](const RunResult& r) {
        return "<RunResult: " + std::to_string(r.steps) + " steps, " + std::to_string(r.spike_times.size()) +
               " spikes, traces " + py::str(py::list(r.traces.attr("keys")())).cast<std::string>() + ">";
      });

  py::class_<PythonSession>(m, "Session",
                            "One neuron model with its protocol, recordings and fit settings, as the program "
                            "starts (the start-up parameter set).")
      .def(py::init<>())
      .def("copy", [](const PythonSession& ps) { return PythonSession(ps); },
           "An independent copy, e.g. for a run in another thread")
      .def("family", [](PythonSession& ps, const std::string& name) { Step(ps, {"family", name, ""}); },
           py::arg("name"), "Select a model family (Rariza, Lyle, Destexhe, ...): its defaults replace the parameters")
      .def("geometry", [](PythonSession& ps, const std::string& name) { Step(ps, {"geometry", name, ""}); },
           py::arg("name"), "Select a geometry (1-point, 2-points, 2-p-MainenSejn, 2-p-ActiveDend)")
      .def("mode", [](PythonSession& ps, const std::string& name) { Step(ps, {"mode", name, ""}); },
           py::arg("name"), "Select the clamp mode by name or number (VC, CC, 1 ... 7)")
      .def("thr_model", [](PythonSession& ps, bool on) { Step(ps, {"thr_model", on ? "1" : "0", ""}); },
           py::arg("on") = true, "Use the threshold neuron of the family")
      .def("lif_model", [](PythonSession& ps, bool on) { Step(ps, {"lif_model", on ? "1" : "0", ""}); },
           py::arg("on") = true, "Use the adaptive exponential integrate-and-fire neuron")
      .def("set", [](PythonSession& ps, const std::string& name, const py::handle& value) {
             Step(ps, {"set", name, ValueText(value)});
           }, py::arg("name"), py::arg("value"),
           "Set a protocol global (Iind, t_end, ...) or a parameter field (NP0.gNa) in the record's own units "
           "(s, V, pA for Iind); a value no run could use (dt 0, t_end -1) is refused and nothing changes")
      .def("get", &Get, py::arg("name"), "The value of a protocol global or a parameter field, in the record's own units (s, V, pA for Iind)")
      .def_static("names", &Names, "Every name set and get accept")
      .def_static("output_items", [] {
        return std::vector<std::string>(OutputVariables().begin(), OutputVariables().end());
      }, "The items a run can record")
      .def("load_id", [](PythonSession& ps, const std::string& path, std::optional<int> smpl) {
             const auto notesBefore = static_cast<std::ptrdiff_t>(ps.s.SimplexMemo.size());
             Step(ps, {"load_id", path, smpl ? std::to_string(*smpl) : ""});
             std::vector<std::string> notes(ps.s.SimplexMemo.begin() + notesBefore, ps.s.SimplexMemo.end());
             return notes;
           }, py::arg("path"), py::arg("smpl") = py::none(),
           "Open a .id parameter file (a regular file; and choose its recording smpl); returns the notes of the "
           "parameter input")
      .def(py::pickle(&PickledState, &FromPickledState))
      .def("run", &Run, py::arg("record") = std::vector<std::string>{"V"}, py::arg("every") = 1,
           py::arg("t_end") = py::none(), py::arg("dt") = py::none(),
           "One clamp run; records the named output items every `every` steps. t_end and dt in s (set as "
           "set() would); the result's t and spike times in s, its traces in the units result.units names "
           "(mV, mA/cm2, pA, mM)")
      .def("fit", &Fit, py::arg("names") = std::vector<std::string>{}, py::arg("tolerance") = 1e-4,
           py::arg("max_passes") = 0, "Fit the named parameters to the recordings by the downhill simplex; the values in the record's units "
           "(mS/cm2 for conductances); membrix.tasks.fit has every method")
      .def("set_recording", &SetRecording, py::arg("smpl"), py::arg("t"), py::arg("values"),
           "Use arrays as recording smpl: t in s, values the model value the run compares (current clamp: "
           "V - Vrest in V; voltage clamp: the current in pA)");

  AddTasks(m);
}
