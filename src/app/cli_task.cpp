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
#include "tasks/task_run.h"
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

int RunTaskCommand(const TaskDeclaration& task, const TaskText& text, const GivenOptions& given) {
  const TaskValues values = ReadValues(task, given);
  Session s;
  TaskInputs taskInputs;
  ApplyModelInputs(s, taskInputs, task, values);
  // Notes about the parameter input ("Bad format of input file ...") go to the
  // error stream, so a script sees them without mistaking them for results.
  for (const std::string& note : s.SimplexMemo) std::cerr << "membrix-cli: " << TerminalMessage(note) << "\n";
  const std::vector<TaskFile> inputs = TaskInputFiles(task, values, s);
  GuardOutputs(inputs, TaskOutputFiles(task, values));
  CheckTaskCost(task, values, s, taskInputs, std::cerr);

  // Whole-result files are written under "<name>.part" and take their name
  // when the task is complete.
  PreparedTaskCall prepared(task, values);
  SweepHost host(given.progress == "json" ? SweepHost::ProgressStyle::JsonLines
                 : given.progress == "none" ? SweepHost::ProgressStyle::None
                                            : SweepHost::ProgressStyle::Terminal);
  nlohmann::ordered_json results = nlohmann::ordered_json::object();
  TaskCall call{s, taskInputs, prepared.RunValues(), host, {}, &results, true, 0, 0, "runs", {}, 0, nullptr};
  call.progress = [&host](std::int64_t done, std::int64_t total) { host.Progress(done, total); };
  task.run(call);
  LeaveIfHelper();
  host.EndProgress();
  std::vector<std::pair<std::string, std::string>> written;
  const nlohmann::ordered_json summary = prepared.Finish(call, s, taskInputs, inputs, host.ElapsedSeconds(), written);
  const std::string firstWritten = written.empty() ? std::string() : written.front().second;

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
      const TaskInput* first = task.Find(written.front().first);
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
