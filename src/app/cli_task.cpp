#include "app/cli_task.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli_model_options.h"
#include "app/cli_sweep_support.h"
#include "common/error.h"
#include "params/model_defaults.h"
#include "run/independent_runs.h"
#include "run/session.h"
#include "tasks/model_inputs.h"
#include "tasks/task_cost.h"
#include "tasks/task_declaration.h"
#include "tasks/task_files.h"
#include "tasks/task_inputs.h"
#include "tasks/task_summary.h"
#include "tasks/tasks.h"

namespace membrix {

namespace {

// What the command line gave, by input name.
struct GivenOptions {
  std::map<std::string, CLI::Option*> options;
  std::map<std::string, std::string> text;
  std::map<std::string, std::vector<std::string>> lists;
  // The hidden old spellings, by input name.
  struct OldSpelling {
    CLI::Option* option;
    std::string name;  // without the dashes
    double scale;
  };
  std::multimap<std::string, OldSpelling> aliases;
  std::map<std::string, std::string> aliasText;
  bool json = false;
  std::string progress = "terminal";
};

void AddInputOption(CLI::App& cmd, const TaskInput& in, GivenOptions& given, const Session& start,
                    const TaskInputs& startInputs) {
  const std::string help = InputHelp(in, start, startInputs);
  CLI::Option* opt = nullptr;
  switch (in.kind) {
    case InputKind::Flag: opt = cmd.add_flag(in.OptionName(), help); break;
    case InputKind::Texts:
      opt = cmd.add_option(in.OptionName(), given.lists[in.name], help)->type_name("KEY=VALUE");
      break;
    default: {
      opt = cmd.add_option(in.OptionName(), given.text[in.name], help);
      const char* type = in.kind == InputKind::InFile || in.kind == InputKind::OutFile ? "FILE"
                         : in.kind == InputKind::Choice                              ? "CHOICE"
                         : in.kind == InputKind::Integer                             ? "INT"
                         : in.kind == InputKind::Text                                ? "TEXT"
                                                                                     : "NUMBER";
      opt->type_name(type);
      break;
    }
  }
  given.options[in.name] = opt;
  for (const TaskInput::Alias& alias : in.aliases) {
    const std::string name = "--" + alias.name;
    CLI::Option* old = in.kind == InputKind::Flag
                           ? cmd.add_flag(name)
                           : cmd.add_option(name, given.aliasText[in.name + " " + alias.name], "");
    old->group("");  // hidden from --help
    given.aliases.emplace(in.name, GivenOptions::OldSpelling{old, alias.name, alias.scale});
  }
}

// The values of the call from what the command line gave; every number is
// checked against its input's declaration.
TaskValues ReadValues(const TaskDeclaration& task, const GivenOptions& given) {
  TaskValues values = DefaultValues(task);
  for (const TaskInput& in : task.inputs) {
    const CLI::Option* opt = given.options.at(in.name);
    std::optional<std::string> text;
    double scale = 1.0;
    bool flagOn = opt->count() > 0;
    if (opt->count() > 0 && in.kind != InputKind::Flag && in.kind != InputKind::Texts) text = given.text.at(in.name);
    const auto [first, last] = given.aliases.equal_range(in.name);
    for (auto it = first; it != last; ++it) {
      const GivenOptions::OldSpelling& old = it->second;
      if (old.option->count() == 0) continue;
      if (opt->count() > 0) {
        throw RangeError("--" + old.name + " is the old spelling of " + in.OptionName() + ": give one of them");
      }
      std::cerr << "membrix-cli: --" << old.name << " is an old spelling of " << in.OptionName()
                << (old.scale != 1.0 ? " (which takes " + std::string(UnitText(in.unit)) + ")" : "")
                << "; it will be removed in the next release\n";
      if (in.kind == InputKind::Flag) {
        flagOn = true;
      } else {
        text = given.aliasText.at(in.name + " " + old.name);
        scale = old.scale;
      }
    }
    switch (in.kind) {
      case InputKind::Flag:
        if (flagOn) values.SetNumber(in.name, 1.0);
        break;
      case InputKind::Texts:
        for (const std::string& item : given.lists.at(in.name)) values.AddText(in.name, item);
        break;
      case InputKind::Text:
      case InputKind::InFile:
      case InputKind::OutFile:
        if (text) {
          if (text->empty()) throw RangeError(in.OptionName() + " is empty: give a name");
          values.SetText(in.name, *text);
        }
        break;
      default:
        if (text) values.SetNumber(in.name, ParseInputNumber(in, *text, scale));
        break;
    }
  }
  return values;
}

// The files the call reads: the parameter file and the recordings it names,
// and every file or folder named by an input.
std::vector<TaskFile> InputFiles(const TaskDeclaration& task, const TaskValues& values, const Session& s) {
  std::vector<TaskFile> files = ParameterFileInputs(s);
  for (const TaskInput& in : task.inputs) {
    // A file read under its default name is an input too.
    if (in.kind == InputKind::InFile && in.file != FileKind::ParameterFile && !values.Text(in.name).empty()) {
      files.push_back({in.OptionName(), values.Text(in.name)});
    }
  }
  return files;
}

// The files the call may write: every output given, and the defaults of the
// others.
std::vector<TaskFile> OutputFiles(const TaskDeclaration& task, const TaskValues& values) {
  std::vector<TaskFile> files;
  for (const TaskInput& in : task.inputs) {
    if (in.kind == InputKind::OutFile && (values.Given(in.name) || !values.Text(in.name).empty())) {
      files.push_back({in.OptionName(), values.Text(in.name)});
    }
  }
  return files;
}

int RunTaskCommand(const TaskDeclaration& task, const TaskText& text, const GivenOptions& given) {
  const TaskValues values = ReadValues(task, given);
  Session s;
  TaskInputs taskInputs;
  ApplyModelInputs(s, taskInputs, task, values);
  // Notes about the parameter input ("Bad format of input file ...") go to the
  // error stream, so a script sees them without mistaking them for results.
  for (const std::string& note : s.SimplexMemo) std::cerr << "membrix-cli: " << TerminalMessage(note) << "\n";
  const std::vector<TaskFile> inputs = InputFiles(task, values, s);
  GuardOutputs(inputs, OutputFiles(task, values));
  CheckTaskCost(task, values, s, taskInputs, std::cerr);

  // Whole-result files are written under "<name>.part" and take their name
  // when the task is complete.
  TaskValues runValues = values;
  std::vector<std::pair<const TaskInput*, PartFile>> parts;
  for (const TaskInput& in : task.inputs) {
    if (in.kind == InputKind::OutFile && in.file == FileKind::WholeResult && !values.Text(in.name).empty()) {
      parts.emplace_back(&in, PartFile(values.Text(in.name)));
      runValues.SetText(in.name, parts.back().second.PartPath(), values.Given(in.name));
    }
  }

  SweepHost host(given.progress == "json" ? SweepHost::ProgressStyle::JsonLines
                 : given.progress == "none" ? SweepHost::ProgressStyle::None
                                            : SweepHost::ProgressStyle::Terminal);
  nlohmann::ordered_json results = nlohmann::ordered_json::object();
  TaskCall call{s, taskInputs, runValues, host, {}, &results, true, 0, 0, "runs", {}};
  call.progress = [&host](std::int64_t done, std::int64_t total) { host.Progress(done, total); };
  task.run(call);
  LeaveIfHelper();
  host.EndProgress();
  if (call.complete) {
    for (auto& [in, part] : parts) {
      if (std::find(call.written.begin(), call.written.end(), in->name) != call.written.end()) part.Commit();
    }
  }

  nlohmann::ordered_json summary = SummaryHead(task, values, s, taskInputs, inputs);
  const nlohmann::ordered_json head = summary;
  summary["complete"] = call.complete;
  summary["elapsed_seconds"] = host.ElapsedSeconds();
  if (task.sharedRuns || s.parallel.workers != 1) summary["workers"] = WorkerCount(s.parallel);
  nlohmann::ordered_json written = nlohmann::ordered_json::array();
  std::string firstWritten;
  for (const TaskInput& in : task.inputs) {
    if (in.kind != InputKind::OutFile) continue;
    if (std::find(call.written.begin(), call.written.end(), in.name) == call.written.end()) continue;
    const bool whole = in.file == FileKind::WholeResult;
    const std::string path = whole && !call.complete ? runValues.Text(in.name) : values.Text(in.name);
    if (firstWritten.empty()) firstWritten = path;
    written.push_back(path);
    if (!in.columns.empty()) WriteSidecar(path, in, head, call.complete);
  }
  if (!firstWritten.empty()) summary["file"] = firstWritten;
  summary["files"] = written;
  for (const auto& [key, item] : results.items()) summary[key] = item;

  if (given.json) {
    std::cout << JsonLine(summary) << "\n";
  } else if (text) {
    text(std::cout, s, taskInputs, values, summary);
  } else {
    std::cout << JsonLine(results) << "\n";
  }
  if (!call.complete) {
    std::cerr << "membrix-cli: stopped after " << call.done << " of " << call.total << " " << call.doneUnit;
    if (!firstWritten.empty()) {
      const TaskInput* first = nullptr;
      for (const TaskInput& in : task.inputs) {
        if (in.kind == InputKind::OutFile && !first &&
            std::find(call.written.begin(), call.written.end(), in.name) != call.written.end()) {
          first = &in;
        }
      }
      std::cerr << "; " << firstWritten
                << (first && first->file == FileKind::LinesPerRun
                        ? " holds the lines of those " + std::to_string(call.done)
                        : std::string(" holds what was done"))
                << " and is not complete";
    }
    std::cerr << "\n";
    return 130;
  }
  return call.status;
}

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

// Every declared task with its inputs, for scripts, tests and the manual.
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

}  // namespace

CLI::App* AddTaskListCommand(CLI::App& app, TaskCommand& command) {
  CLI::App* cmd = app.add_subcommand(
      "tasks", "Lists the tasks of the batch tool with their inputs (name, option, unit, default, allowed range, "
               "choices, the window label it stands under) as one JSON array, for scripts and job generators.");
  command = [] {
    std::cout << TaskList().dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    return 0;
  };
  return cmd;
}

CLI::App* AddTaskCommand(CLI::App& app, const TaskDeclaration& task, TaskText text, TaskCommand& command) {
  CLI::App* cmd = app.add_subcommand(task.name, task.summary + (task.onStop.empty() ? "" : " " + task.onStop));
  auto given = std::make_shared<GivenOptions>();
  // The defaults shown are those of the program's start.
  static const Session kStart = [] {
    Session s;
    ApplyProgramStart(s);
    return s;
  }();
  static const TaskInputs kStartInputs;
  for (const TaskInput& in : task.inputs) AddInputOption(*cmd, in, *given, kStart, kStartInputs);
  cmd->add_flag("--json", given->json,
                "Print one JSON object: program, version, task, inputs with units, seed, input files with SHA-256, "
                "complete, elapsed_seconds and the results");
  cmd->add_option("--progress", given->progress,
                  "How progress is shown on stderr: \"terminal\" (a line with the time left, on a terminal only; "
                  "default), \"json\" (one JSON object per line, for job scripts) or \"none\"")
      ->check(CLI::IsMember({"terminal", "json", "none"}));
  command = [&task, text, given] { return RunTaskCommand(task, text, *given); };
  return cmd;
}

}  // namespace membrix
