#include "tasks/task_run.h"

#include <algorithm>
#include <cmath>

#include "params/model_defaults.h"
#include "run/independent_runs.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "tasks/task_summary.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

const char* KindName(InputKind kind) {
  switch (kind) {
    case InputKind::Number: return "number";
    case InputKind::Integer: return "integer";
    case InputKind::Flag: return "flag";
    case InputKind::Text: return "text";
    case InputKind::Texts: return "texts";
    case InputKind::Choice: return "choice";
    case InputKind::InFile: return "input file";
    case InputKind::OutFile: return "output file";
  }
  return "";
}

nlohmann::ordered_json Bound(double x) {
  if (!std::isfinite(x)) return nullptr;
  return x;
}

bool Wrote(const TaskCall& call, const std::string& name) {
  return std::find(call.written.begin(), call.written.end(), name) != call.written.end();
}

}  // namespace

nlohmann::ordered_json TaskList() {
  Session start;
  ApplyProgramStart(start);
  const TaskInputs startInputs;
  nlohmann::ordered_json tasks = nlohmann::ordered_json::array();
  for (const TaskDeclaration* task : AllTasks()) {
    nlohmann::ordered_json t;
    t["name"] = task->name;
    t["summary"] = task->summary;
    t["on_stop"] = task->onStop;
    t["example"] = task->example;
    t["seed"] = task->random;
    t["shared_runs"] = task->sharedRuns;
    nlohmann::ordered_json inputs = nlohmann::ordered_json::array();
    for (const TaskInput& in : task->inputs) {
      nlohmann::ordered_json i;
      i["name"] = in.name;
      i["option"] = in.OptionName();
      i["kind"] = KindName(in.kind);
      i["unit"] = UnitSymbol(in.unit);
      if (in.kind == InputKind::Number || in.kind == InputKind::Integer) {
        i["low"] = Bound(in.range.low);
        i["high"] = Bound(in.range.high);
        i["low_open"] = in.range.lowOpen;
        i["high_open"] = in.range.highOpen;
      }
      if (in.Numeric()) i["default"] = Bound(in.get ? in.get(start, startInputs) : in.defaultNumber);
      if (!in.defaultText.empty()) i["default"] = in.defaultText;
      if (!in.choices.empty()) i["choices"] = in.choices;
      if (!in.label.empty()) i["label"] = in.label;
      nlohmann::ordered_json aliases = nlohmann::ordered_json::array();
      for (const TaskInput::Alias& a : in.aliases) aliases.push_back("--" + a.name);
      i["aliases"] = aliases;
      i["shared"] = in.shared;
      if (!in.columns.empty()) {
        nlohmann::ordered_json columns = nlohmann::ordered_json::array();
        for (const Column& c : in.columns) columns.push_back({{"name", c.name}, {"unit", UnitSymbol(c.unit)}});
        i["columns"] = columns;
      }
      i["help"] = in.help;
      inputs.push_back(std::move(i));
    }
    t["inputs"] = std::move(inputs);
    tasks.push_back(std::move(t));
  }
  return tasks;
}

std::vector<TaskFile> TaskInputFiles(const TaskDeclaration& task, const TaskValues& values, const Session& s) {
  std::vector<TaskFile> files = ParameterFileInputs(s);
  for (const TaskInput& in : task.inputs) {
    // A file read under its default name is an input too.
    if (in.kind == InputKind::InFile && in.file != FileKind::ParameterFile && !values.Text(in.name).empty()) {
      files.push_back({in.OptionName(), values.Text(in.name)});
    }
  }
  return files;
}

std::vector<TaskFile> TaskOutputFiles(const TaskDeclaration& task, const TaskValues& values) {
  std::vector<TaskFile> files;
  for (const TaskInput& in : task.inputs) {
    if (in.kind == InputKind::OutFile && (values.Given(in.name) || !values.Text(in.name).empty())) {
      files.push_back({in.OptionName(), values.Text(in.name)});
    }
  }
  return files;
}

PreparedTaskCall::PreparedTaskCall(const TaskDeclaration& task, const TaskValues& values)
    : task_(task), values_(values), runValues_(values) {
  for (const TaskInput& in : task.inputs) {
    if (in.kind == InputKind::OutFile && in.file == FileKind::WholeResult && !values.Text(in.name).empty()) {
      parts_.emplace_back(&in, PartFile(values.Text(in.name)));
      runValues_.SetText(in.name, parts_.back().second.PartPath(), values.Given(in.name));
    }
  }
}

nlohmann::ordered_json PreparedTaskCall::Finish(const TaskCall& call, const Session& s, const TaskInputs& taskInputs,
                                                const std::vector<TaskFile>& inputFiles, double elapsedSeconds,
                                                std::vector<std::pair<std::string, std::string>>& written) {
  if (call.complete) {
    for (auto& [in, part] : parts_) {
      if (Wrote(call, in->name)) part.Commit();
    }
  }
  nlohmann::ordered_json summary = SummaryHead(task_, values_, s, taskInputs, inputFiles);
  const nlohmann::ordered_json head = summary;
  summary["complete"] = call.complete;
  summary["elapsed_seconds"] = elapsedSeconds;
  if (task_.sharedRuns || s.parallel.workers != 1) summary["workers"] = WorkerCount(s.parallel);
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  written.clear();
  for (const TaskInput& in : task_.inputs) {
    if (in.kind != InputKind::OutFile || !Wrote(call, in.name)) continue;
    const bool whole = in.file == FileKind::WholeResult;
    const std::string path = whole && !call.complete ? runValues_.Text(in.name) : values_.Text(in.name);
    if (written.empty()) summary["file"] = path;
    files.push_back(path);
    written.emplace_back(in.name, path);
    if (!in.columns.empty()) WriteSidecar(path, in, head, call.complete);
  }
  summary["files"] = files;
  if (call.results != nullptr) {
    for (const auto& [key, item] : call.results->items()) summary[key] = item;
  }
  return summary;
}

}  // namespace membrix
