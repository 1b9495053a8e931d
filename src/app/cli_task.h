#pragma once
// A batch command made from a task's declaration: its options and --help, the
// checks of every value before any work, the guard of its files, the estimate
// of its cost, its progress, and its JSON summary (--json) or lines of text.

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <iosfwd>

namespace CLI {
class App;
}

namespace membrix {

struct Session;
struct TaskDeclaration;
class TaskValues;
struct TaskInputs;

// Prints the lines of text a command shows without --json, from its results.
using TaskText =
    std::function<void(std::ostream&, const Session&, const TaskInputs&, const TaskValues&,
                       const nlohmann::ordered_json& results)>;

using TaskCommand = std::function<int()>;

// Adds the subcommand of a task; command runs it when it was chosen and
// returns the exit status (0 done, 130 stopped; errors are thrown).
CLI::App* AddTaskCommand(CLI::App& app, const TaskDeclaration& task, TaskText text, TaskCommand& command);

// "membrix-cli tasks": every declared task and its inputs as JSON.
CLI::App* AddTaskListCommand(CLI::App& app, TaskCommand& command);

}  // namespace membrix
