// The Python module "membrix._membrix": the engine's session behind a small
// Pythonic face. Results come back as NumPy arrays made once when a run has
// ended; runs and fits compute with the interpreter released.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <limits>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/version.h"
#include "data/fit_table.h"
#include "data/simplex.h"
#include "params/imported_channels.h"
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

// A run's samples in the units of the tasks: times in ms, voltages in mV,
// current densities in µA/cm².
struct RunResult {
  py::array_t<double> t_ms;
  py::dict traces;
  py::dict units;
  py::array_t<double> spike_times_ms;
  double deviation = 0.0;
  int steps = 0;
  std::vector<std::string> notes;
  bool complete = true;
};

// A unit as Python shows it, and the factor from the value the engine keeps.
struct ShownUnit {
  std::string unit;
  double scale = 1.0;
};

// The run's compared value Vr, which a recording from arrays gives too: the
// clamp current in pA in voltage clamp, the depolarisation from rest in mV in
// current clamp, the conductance in mS/cm² in the "for gNa" mode, the injected
// current in pA in the "Iind" mode.
ShownUnit ComparedValueUnit(int mode) {
  switch (mode) {
    case 1:
    case 4:
    case 5:
    case 6: return {"pA", 1.0};
    case 2:
    case 7: return {"mV", 1000.0};
    case 3: return {"mS/cm²", 1.0};
    default: return {"", 1.0};
  }
}

ShownUnit TraceUnit(std::string_view item, int mode) {
  if (item == "Vr") return ComparedValueUnit(mode);
  const std::string_view unit = OutputVariableUnit(item);
  if (unit == "mA/cm2") return {"µA/cm²", 1000.0};
  if (unit == "mS/cm2") return {"mS/cm²", 1.0};
  return {std::string(unit), 1.0};
}

std::vector<double> Scaled(std::vector<double>&& values, double scale) {
  if (scale != 1.0) {
    for (double& x : values) x *= scale;
  }
  return std::move(values);
}

// The recording format of the session is the arrays' for the length of a run.
struct KeepDataColumns {
  explicit KeepDataColumns(Session& s) : s_(s), kept_(s.rec.IfDataIn1column) {}
  ~KeepDataColumns() { s_.rec.IfDataIn1column = kept_; }
  Session& s_;
  std::int32_t kept_;
};

// One clamp run on a thread of its own, the calling thread watching Ctrl+C:
// returns the result, whole or up to the step where Ctrl+C stopped it, and
// the Python error that stopped it (None for a whole run).
py::tuple Run(PythonSession& ps, const std::vector<std::string>& record, int every, std::optional<double> tEndMs,
              std::optional<double> dtMs) {
  PythonSession::Busy busy(ps);
  Session& s = ps.s;
  if (dtMs) {
    if (!(*dtMs > 0) || !std::isfinite(*dtMs)) throw py::value_error("dt_ms must be a positive number of ms");
    SetTimeStep(s.run, *dtMs / 1000.0);
    ps.steps.push_back({"set", "dt", ExactText(s.run.dt)});
  }
  if (tEndMs) {
    if (!(*tEndMs >= 0) || !std::isfinite(*tEndMs)) throw py::value_error("t_end_ms must be a number of ms >= 0");
    SetRunLength(s.run, *tEndMs / 1000.0);
    ps.steps.push_back({"set", "t_end", ExactText(s.run.t_end)});
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
  std::atomic<bool> stop{false};
  PythonHost host(ps, stop);
  const std::size_t notesBefore = s.SimplexMemo.size();
  double deviation = std::numeric_limits<double>::quiet_NaN();
  bool stopped = false;
  std::optional<py::error_already_set> error;
  {
    KeepDataColumns keep(s);
    error = RunWatched(
        [&] {
          try {
            deviation = RecordedRun(s, host, recorder);
          } catch (const RunStopped&) {
            stopped = true;
          }
        },
        stop, [] {});
  }
  RunResult r;
  // Every item has as many samples as there are times: a run is stopped
  // between two steps.
  r.t_ms = ToArray(Scaled(std::move(recorder.time), 1000.0));
  for (std::size_t i = 0; i < recorder.items.size(); ++i) {
    const ShownUnit unit = TraceUnit(recorder.items[i], s.NP0.If_I_V_or_g);
    r.traces[py::str(record[i])] = ToArray(Scaled(std::move(recorder.values[i]), unit.scale));
    r.units[py::str(record[i])] = unit.unit;
  }
  r.spike_times_ms = ToArray(Scaled(std::move(recorder.spikeTimes), 1000.0));
  r.deviation = deviation;
  r.steps = s.run.nt;
  r.notes.assign(s.SimplexMemo.begin() + static_cast<std::ptrdiff_t>(notesBefore), s.SimplexMemo.end());
  r.complete = !stopped;
  return py::make_tuple(py::cast(std::move(r)), error ? error->value() : py::object(py::none()));
}

// Arrays as recording smpl: t in ms and the values in the unit of the
// compared value (ComparedValueUnit) in the session's clamp mode.
void SetRecording(PythonSession& ps, int smpl, const py::object& t, const py::object& values) {
  ps.CheckIdle();
  if (smpl < 0 || smpl > kMaxRecording) {
    throw py::value_error("recording number " + std::to_string(smpl) + " is outside 0 ... " +
                          std::to_string(kMaxRecording));
  }
  // Sizes and memory are checked before anything is copied.
  const py::ssize_t nt = ArraySize(t, "t_ms"), nv = ArraySize(values, "values");
  if (nt != nv) {
    throw py::value_error("t_ms and values differ in length (" + std::to_string(nt) + " and " + std::to_string(nv) +
                          ")");
  }
  if (nt == 0) throw py::value_error("a recording has at least 1 point, not 0");
  CheckMemory("recording", 16.0 * static_cast<double>(nt));
  ArrayRecording r{FromArray(t, "t_ms"), FromArray(values, "values")};
  const double perRecordUnit = ComparedValueUnit(ps.s.NP0.If_I_V_or_g).scale;
  for (std::size_t i = 0; i < r.t.size(); ++i) {
    if (!std::isfinite(r.t[i]) || !std::isfinite(r.values[i])) {
      throw py::value_error("point " + std::to_string(i) + " of the recording is not a finite number");
    }
    if (i > 0 && !(r.t[i] > r.t[i - 1])) {
      throw py::value_error("the times of a recording must increase (point " + std::to_string(i) + ")");
    }
  }
  for (std::size_t i = 0; i < r.t.size(); ++i) {
    r.t[i] /= 1000.0;
    r.values[i] /= perRecordUnit;
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
  } else if (step.what == "channel") {
    AddImportedChannel(s.NP0, ImportChannel(step.argument));
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

  py::class_<RunResult>(m, "RunResult",
                        "The traces and spikes of one clamp run, in the units of the tasks: times in ms, voltages "
                        "in mV, current densities in µA/cm², currents in pA, concentrations in mM (each item's "
                        "unit in `units`).")
      .def_readonly("t_ms", &RunResult::t_ms, "Times of the samples, ms (t = n * dt after step n)")
      .def_readonly("traces", &RunResult::traces, "Recorded items: name -> array, in the units of `units`")
      .def_readonly("units", &RunResult::units,
                    "Unit of each recorded item: mV, µA/cm², pA, mM, mS/cm², '' for gates; Vr, the value "
                    "compared with the recording, in pA in voltage clamp and in mV (V - Vrest) in current clamp")
      .def_readonly("spike_times_ms", &RunResult::spike_times_ms, "Spike peak times, ms")
      .def_readonly("deviation", &RunResult::deviation,
                    "Root-mean-square deviation of the model value from the run's recording, as the batch tool "
                    "reports it: in the record's units of the compared value (V in current clamp, pA in voltage "
                    "clamp); nan for a run stopped by Ctrl+C")
      .def_readonly("steps", &RunResult::steps, "Steps made")
      .def_readonly("notes", &RunResult::notes, "Notes the run left (a diverged membrane, ...)")
      .def_readonly("complete", &RunResult::complete, "False for a run stopped by Ctrl+C")
      .def("__getitem__", [](const RunResult& r, const std::string& name) { return r.traces[py::str(name)]; })
      .def(py::pickle(
          [](const RunResult& r) {
            return py::make_tuple(2, r.t_ms, r.traces, r.units, r.spike_times_ms, r.deviation, r.steps, r.notes,
                                  r.complete);
          },
          [](const py::tuple& state) {
            const int version = state.size() > 0 ? state[0].cast<int>() : 0;
            if (!((version == 1 && state.size() == 8) || (version == 2 && state.size() == 9))) {
              throw py::value_error("not a pickled RunResult");
            }
            // The first form held its times in s; its traces keep the units it names.
            const double toMs = version == 1 ? 1000.0 : 1.0;
            auto times = [toMs](const py::handle& a) {
              const auto values = a.cast<py::array_t<double>>();
              return ToArray(Scaled(std::vector<double>(values.data(), values.data() + values.size()), toMs));
            };
            RunResult r;
            r.t_ms = times(state[1]);
            r.traces = state[2].cast<py::dict>();
            r.units = state[3].cast<py::dict>();
            r.spike_times_ms = times(state[4]);
            r.deviation = state[5].cast<double>();
            r.steps = state[6].cast<int>();
            r.notes = state[7].cast<std::vector<std::string>>();
            if (version == 2) r.complete = state[8].cast<bool>();
            return r;
          }))
      .def("__repr__", [](const RunResult& r) {
        return "<RunResult: " + std::to_string(r.steps) + " steps" + (r.complete ? "" : " (stopped)") + ", " +
               std::to_string(r.spike_times_ms.size()) + " spikes, traces " +
               py::str(py::list(r.traces.attr("keys")())).cast<std::string>() + ">";
      });

  // The methods that take or give units are Python's (membrix/session.py);
  // these work in the record's own units.
  py::class_<PythonSession>(m, "Session",
                            "One neuron model with its protocol, recordings and fit settings, as the program "
                            "starts (the start-up parameter set). Values in the workbench's units: times in ms, "
                            "voltages in mV, currents in pA, conductance densities in mS/cm², ...; "
                            "Session.units(name) gives a parameter's unit.")
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
      .def("add_channel",
           [](PythonSession& ps, const std::string& path, double g_mS_cm2, double E_mV, std::optional<std::string> id) {
             // The file by its absolute path, so that a copy or a pickle reads the same file.
             std::string channelText = std::filesystem::absolute(path).string();
             if (id) channelText += "#" + *id;
             const auto exact = [](double x) {
               char text[32];
               const auto end = std::to_chars(text, text + sizeof text, x).ptr;
               return std::string(text, end);
             };
             channelText += ":" + exact(g_mS_cm2) + ":" + exact(E_mV);
             Step(ps, {"channel", channelText, ""});
           },
           py::arg("path"), py::arg("g_mS_cm2"), py::arg("E_mV"), py::arg("id") = py::none(),
           "Add an ion channel read from a NeuroML 2 file beside the model's own, as --channel does: g_mS_cm2 its "
           "maximal conductance density in mS/cm², E_mV its reversal potential in mV, id the channel's id where "
           "the file holds several; its current is recorded as \"I_<id>\" and its gates as \"<id>.<gate>\" in "
           "trace files")
      .def("_set_stored", [](PythonSession& ps, const std::string& name, const py::handle& value) {
             Step(ps, {"set", name, ValueText(value)});
           }, py::arg("name"), py::arg("value"))
      .def("_get_stored", &Get, py::arg("name"))
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
      .def("_run", &Run, py::arg("record"), py::arg("every"), py::arg("t_end_ms"), py::arg("dt_ms"))
      .def("_set_recording", &SetRecording, py::arg("smpl"), py::arg("t_ms"), py::arg("values"))
      .def("_compared_unit", [](const PythonSession& ps) {
             ps.CheckIdle();
             return ComparedValueUnit(ps.s.NP0.If_I_V_or_g).unit;
           });

  // The parameters a fit can move: (item of Parameters -> Simplex, field).
  m.def("_fit_parameters", [] {
    std::vector<std::pair<std::string, std::string>> list;
    for (const FitParameter& p : FitParameters()) list.emplace_back(p.menuItem, p.field);
    return list;
  });

  AddTasks(m);
}
