#include "python_tasks.h"

#include <pybind11/stl.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <functional>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/error.h"
#include "data/fit_table.h"
#include "data/global_fit.h"
#include "data/simplex.h"
#include "python_session.h"
#include "run/session.h"
#include "tasks/model_inputs.h"
#include "tasks/fit_passes.h"
#include "tasks/task_cost.h"
#include "tasks/task_declaration.h"
#include "tasks/task_files.h"
#include "tasks/task_inputs.h"
#include "tasks/task_run.h"
#include "tasks/task_summary.h"

namespace py = pybind11;

namespace membrix::python {
namespace {

// How often the calling thread looks at Ctrl+C and the progress.
constexpr auto kPollInterval = std::chrono::milliseconds(100);

// The host of a task run from Python: the stop is asked by the calling
// thread; the arrays given as recordings are put in place whenever a run has
// loaded its parameters; the progress is kept for the calling thread to show.
class TaskHost final : public Host {
 public:
  explicit TaskHost(PythonSession& owner) : owner_(owner) {}
  bool Confirm(const std::string&) override { return true; }
  void ShowParameters() override { owner_.ApplyArrayRecording(); }
  bool StopRequested() const override { return stop.load(std::memory_order_relaxed); }

  std::atomic<bool> stop{false};
  std::atomic<std::int64_t> done{-1};
  std::atomic<std::int64_t> total{0};

 private:
  PythonSession& owner_;
};

// The course of a fit the task runs: after every pass of the simplex and
// every evaluation or start of the other methods, the best residual and point
// so far. Its evaluations are the task's progress.
class FitHistory final : public FitProgress {
 public:
  explicit FitHistory(TaskHost& host) : host_(host) {}
  void Status(const FitStatus& status) override {
    std::lock_guard lock(mutex_);
    rows_.push_back({status.stage, status.pass, status.evaluations, status.best,
                     std::vector<double>(status.bestX.begin(), status.bestX.end())});
    host_.done.store(status.evaluations);
  }
  // One record per status: stage, pass, evaluations, residual, and the
  // value of each fitted parameter by its field name.
  py::list Records(const FitTable& fit) const {
    std::lock_guard lock(mutex_);
    py::list records;
    for (const Row& row : rows_) {
      py::dict r;
      r["stage"] = row.stage;
      r["pass"] = row.pass;
      r["evaluations"] = row.evaluations;
      r["residual"] = row.best;
      for (std::size_t k = 0; k < row.x.size() && static_cast<int>(k) < fit.FitCount; ++k) {
        r[py::str(std::string(FitParameterAt(fit, static_cast<int>(k) + 1).field))] = row.x[k];
      }
      records.append(std::move(r));
    }
    return records;
  }

 private:
  struct Row {
    std::string stage;
    int pass, evaluations;
    double best;
    std::vector<double> x;
  };
  TaskHost& host_;
  mutable std::mutex mutex_;
  std::vector<Row> rows_;
};

std::string TypeName(const py::handle& value) {
  return py::str(py::type::of(value).attr("__name__")).cast<std::string>();
}

// The checks of the declarations name inputs as the batch tool spells them
// ("--iind-max = ..."); from Python the keyword is named.
[[noreturn]] void RefuseAsKeyword(const TaskInput& in, const RangeError& e) {
  std::string text = e.what();
  const std::string option = in.OptionName();
  if (text.rfind(option, 0) == 0) text = in.name + text.substr(option.size());
  throw RangeError(text);
}

double NumberOf(const TaskInput& in, const py::handle& value) {
  if (py::isinstance<py::bool_>(value) || !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value) ||
                                            py::hasattr(value, "__index__") || py::hasattr(value, "__float__"))) {
    throw py::type_error(in.name + " takes a number, not " + TypeName(value));
  }
  const double x = py::cast<double>(value);
  try {
    CheckInputNumber(in, x);
  } catch (const RangeError& e) {
    RefuseAsKeyword(in, e);
  }
  return x;
}

std::string TextOf(const TaskInput& in, const py::handle& value, bool path) {
  std::string text;
  if (py::isinstance<py::str>(value)) {
    text = value.cast<std::string>();
  } else if (path && py::hasattr(value, "__fspath__")) {
    text = py::module_::import("os").attr("fspath")(value).cast<std::string>();
  } else {
    throw py::type_error(in.name + " takes " + (path ? "a path" : "a text") + ", not " + TypeName(value));
  }
  if (text.empty()) throw RangeError(in.name + " is empty: give " + (path ? "a name" : "a text"));
  return text;
}

// A value of a KEY=VALUE list: a number as the parameter file would hold it.
std::string AssignedText(const py::handle& value) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>() ? "1" : "0";
  if (py::isinstance<py::int_>(value)) return std::to_string(value.cast<long long>());
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", py::cast<double>(value));
  return text;
}

// The values of a call from keyword values, each checked against its
// declaration. The outputs a task writes under a default name, the outputs
// asked for with True, and the folder out_dir of the tasks that write a set of
// files are put into tempDir when no path is named, so the caller can read
// them back and remove them. The names of the outputs named by a path go to
// kept.
TaskValues ReadKeywordValues(const TaskDeclaration& task, const py::dict& given, const std::string& tempDir,
                             std::vector<std::string>& kept) {
  for (const auto& [key, value] : given) {
    const std::string name = py::str(key).cast<std::string>();
    if (task.Find(name) == nullptr) {
      std::string names;
      for (const TaskInput& in : task.inputs) names += (names.empty() ? "" : ", ") + in.name;
      throw py::type_error(task.name + " takes no input " + name + "; its inputs are " + names);
    }
  }
  TaskValues values = DefaultValues(task);
  for (const TaskInput& in : task.inputs) {
    const py::str key(in.name);
    const bool named = given.contains(key) && !given[key].is_none();
    if (in.kind == InputKind::OutFile) {
      // True: into the temporary folder, as the outputs the task writes
      // anyway (those with a default name) are when they are not named.
      const bool temporary = named ? py::isinstance<py::bool_>(given[key]) : !in.defaultText.empty();
      if (named && temporary && !given[key].cast<bool>()) {
        throw py::value_error(in.name + " takes a path, or True for a table without a file, not False");
      }
      if (temporary) {
        const std::string file = in.defaultText.empty() ? in.name + ".dat" : in.defaultText;
        values.SetText(in.name, (std::filesystem::path(tempDir) / file).string(), named);
      } else if (named) {
        values.SetText(in.name, TextOf(in, given[key], true));
        kept.push_back(in.name);
      }
      continue;
    }
    if (in.name == "out_dir" && !named) {
      // The folder a task writes its files into: a temporary one, read back.
      values.SetText(in.name, (std::filesystem::path(tempDir) / "out_dir").string());
      continue;
    }
    if (in.name == "out_dir") kept.push_back(in.name);
    if (!named) continue;
    const py::handle value = given[key];
    switch (in.kind) {
      case InputKind::Flag:
        if (!py::isinstance<py::bool_>(value) && !py::isinstance<py::int_>(value)) {
          throw py::type_error(in.name + " takes True or False, not " + TypeName(value));
        }
        values.SetNumber(in.name, py::cast<bool>(value) ? 1.0 : 0.0);
        break;
      case InputKind::Texts:
        if (py::isinstance<py::str>(value)) {
          values.AddText(in.name, TextOf(in, value, false));
        } else if (py::isinstance<py::dict>(value)) {
          for (const auto& [k, v] : value.cast<py::dict>()) {
            values.AddText(in.name, py::str(k).cast<std::string>() + "=" + AssignedText(v));
          }
        } else if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
          for (const py::handle item : value) values.AddText(in.name, TextOf(in, item, false));
        } else {
          throw py::type_error(in.name + " takes a text, a list of texts or a dict, not " + TypeName(value));
        }
        break;
      case InputKind::Text: values.SetText(in.name, TextOf(in, value, false)); break;
      case InputKind::InFile: values.SetText(in.name, TextOf(in, value, true)); break;
      case InputKind::Choice:
        if (py::isinstance<py::str>(value)) {
          try {
            values.SetNumber(in.name, ParseInputNumber(in, value.cast<std::string>()));
          } catch (const RangeError& e) {
            RefuseAsKeyword(in, e);
          }
        } else {
          values.SetNumber(in.name, NumberOf(in, value));
        }
        break;
      default: values.SetNumber(in.name, NumberOf(in, value)); break;
    }
  }
  return values;
}

// Runs a task; returns its summary as JSON text, the files it wrote (input
// name, path), the notes of its preparation, and the Python error that ended
// it early (Ctrl+C, or an error of the progress callback), if any.
py::dict RunTask(const std::string& name, const py::dict& given, const PythonSession* session,
                 const std::string& tempDir, const py::object& progress) {
  const TaskDeclaration* task = FindTask(name);
  if (task == nullptr) throw py::value_error("no task is named " + name);
  std::vector<std::string> kept;
  const TaskValues values = ReadKeywordValues(*task, given, tempDir, kept);

  auto work = session != nullptr ? std::make_unique<PythonSession>(*session) : std::make_unique<PythonSession>();
  Session& s = work->s;
  const std::size_t notesBefore = s.SimplexMemo.size();
  TaskInputs taskInputs;
  ApplyModelInputs(s, taskInputs, *task, values, session == nullptr);
  work->ApplyAllArrayRecordings();
  const std::vector<TaskFile> inputs = TaskInputFiles(*task, values, s);
  GuardOutputs(inputs, TaskOutputFiles(*task, values));
  std::ostringstream costNotes;
  CheckTaskCost(*task, values, s, taskInputs, costNotes);
  std::vector<std::string> notes(s.SimplexMemo.begin() + static_cast<std::ptrdiff_t>(notesBefore),
                                 s.SimplexMemo.end());
  if (!costNotes.str().empty()) notes.push_back(costNotes.str());

  PreparedTaskCall prepared(*task, values);
  TaskHost host(*work);
  nlohmann::ordered_json results = nlohmann::ordered_json::object();
  TaskCall call{s, taskInputs, prepared.RunValues(), host, {}, &results, true, 0, 0, "runs", {}, 0, nullptr};
  FitHistory history(host);
  call.fitWatcher = &history;
  call.progress = [&host](std::int64_t done, std::int64_t total) {
    host.total.store(total);
    host.done.store(done);
  };

  std::int64_t shown = -1;
  const auto start = std::chrono::steady_clock::now();
  std::optional<py::error_already_set> pythonError = RunWatched([&] { task->run(call); }, host.stop, [&] {
    if (!progress.is_none() && host.done.load() != shown) {
      shown = host.done.load();
      progress(shown, host.total.load());
    }
  });
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!progress.is_none() && !pythonError && host.done.load() >= 0) {
    progress(host.done.load(), host.total.load());
  }

  std::vector<std::pair<std::string, std::string>> written;
  const nlohmann::ordered_json summary = prepared.Finish(call, s, taskInputs, inputs, elapsed, written);
  py::dict out;
  out["summary"] = summary.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  out["written"] = written;
  out["kept"] = kept;
  out["complete"] = call.complete;
  out["done"] = call.done;
  out["total"] = call.total;
  out["done_unit"] = call.doneUnit;
  out["notes"] = notes;
  out["history"] = history.Records(s.fit);
  out["error"] = pythonError ? pythonError->value() : py::object(py::none());
  return out;
}

}  // namespace

std::optional<py::error_already_set> RunWatched(const std::function<void()>& work, std::atomic<bool>& stop,
                                                const std::function<void()>& look) {
  std::exception_ptr failure;
  std::optional<py::error_already_set> pythonError;
  {
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    py::gil_scoped_release released;
    std::thread runner([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard lock(mutex);
      finished = true;
      ended.notify_all();
    });
    std::unique_lock lock(mutex);
    while (!finished) {
      ended.wait_for(lock, kPollInterval);
      if (finished) break;
      lock.unlock();
      {
        py::gil_scoped_acquire gil;
        if (!pythonError) {
          if (PyErr_CheckSignals() != 0) {
            pythonError.emplace();
            stop.store(true);
          } else {
            try {
              look();
            } catch (py::error_already_set& e) {
              pythonError.emplace(std::move(e));
              stop.store(true);
            }
          }
        }
      }
      lock.lock();
    }
    lock.unlock();
    runner.join();
  }
  if (failure) std::rethrow_exception(failure);
  // The work can end between two looks: Ctrl+C pressed in its last moments still counts.
  if (!pythonError && PyErr_CheckSignals() != 0) pythonError.emplace();
  return pythonError;
}

void AddTasks(py::module_& m) {
  // The lines a fit prints for the batch tool are the history of its result here.
  static std::ostream nowhere(nullptr);
  FitPassLines() = FitPassOutput{&nowhere, false};
  m.def("task_list", [] { return TaskList().dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace); },
        "Every declared task with its inputs, as JSON text");
  m.def("run_task", &RunTask, py::arg("name"), py::arg("values"), py::arg("session"), py::arg("temp_dir"),
        py::arg("progress"),
        "Run a declared task by name with keyword values; the functions of membrix.tasks call it");
}

}  // namespace membrix::python
