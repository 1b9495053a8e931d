#pragma once
// One call of a declared task from a prepared session, shared by the batch
// tool and the Python module: the files it reads and may write, its
// whole-result files written under "<name>.part" and renamed once complete,
// the sidecars beside its column files, and its JSON summary. Each face reads
// the values its own way, brings its own host (stop, progress) and shows the
// summary its own way.

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

#include "tasks/task_declaration.h"
#include "tasks/task_files.h"

namespace membrix {

// Every declared task with its inputs (name, option, kind, unit, range,
// default, choices, label, columns, help), for scripts, the manual and the
// Python functions.
nlohmann::ordered_json TaskList();

// The files the call reads: the parameter file and the recordings it names,
// and every file or folder named by an input.
std::vector<TaskFile> TaskInputFiles(const TaskDeclaration& task, const TaskValues& values, const Session& s);

// The files the call may write: every output given, and the defaults of the
// others.
std::vector<TaskFile> TaskOutputFiles(const TaskDeclaration& task, const TaskValues& values);

// A call between its preparation and its end: the values the task runs with
// (whole-result outputs renamed to their part files) and those part files.
class PreparedTaskCall {
 public:
  PreparedTaskCall(const TaskDeclaration& task, const TaskValues& values);
  const TaskValues& RunValues() const { return runValues_; }

  // After the task has run: commits the whole results of a complete call,
  // writes the sidecars, and returns the summary (head, complete,
  // elapsed_seconds, workers, file, files, then the task's results). The
  // paths of the files written, by input name, go to written.
  nlohmann::ordered_json Finish(const TaskCall& call, const Session& s, const TaskInputs& taskInputs,
                                const std::vector<TaskFile>& inputFiles, double elapsedSeconds,
                                std::vector<std::pair<std::string, std::string>>& written);

 private:
  const TaskDeclaration& task_;
  const TaskValues& values_;
  TaskValues runValues_;
  std::vector<std::pair<const TaskInput*, PartFile>> parts_;
};

}  // namespace membrix
