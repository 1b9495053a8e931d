#pragma once
// What a task says of itself when it ends: one JSON object with the program,
// its version, the task, every input with its unit, the seed, the input files
// with their SHA-256, whether it is complete, the time it took and its
// results; and beside every column file it wrote, "<file>.json" with the
// file's columns and units and the same head, so that other tools can read the
// file without the manual.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "tasks/task_declaration.h"
#include "tasks/task_files.h"

namespace membrix {

// The JSON text of a value on one line, ", " and ": " between its parts;
// numbers with ten significant digits, numbers that are not finite as null.
std::string JsonLine(const nlohmann::ordered_json& value);

// A number for a summary: null when it is not finite.
nlohmann::ordered_json JsonNumber(double x);

// program, version, task, inputs (name: {value, unit}), seed, input_files
// ([{role, path, sha256}]) of a call.
nlohmann::ordered_json SummaryHead(const TaskDeclaration& task, const TaskValues& values, const Session& s,
                                   const TaskInputs& taskInputs, const std::vector<TaskFile>& inputFiles);

// Writes "<file>.json" beside a column file the task wrote: its columns with
// their units, whether it is complete, and the head.
void WriteSidecar(const std::string& file, const TaskInput& output, const nlohmann::ordered_json& head,
                  bool complete);

}  // namespace membrix
