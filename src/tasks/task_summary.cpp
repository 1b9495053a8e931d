#include "tasks/task_summary.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/error.h"
#include "common/version.h"
#include "run/session.h"

namespace membrix {

namespace {

void Write(const nlohmann::ordered_json& v, std::string& out) {
  switch (v.type()) {
    case nlohmann::ordered_json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : v.items()) {
        if (!first) out += ", ";
        first = false;
        out += nlohmann::ordered_json(key).dump();
        out += ": ";
        Write(item, out);
      }
      out += '}';
      break;
    }
    case nlohmann::ordered_json::value_t::array: {
      out += '[';
      for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ", ";
        Write(v[i], out);
      }
      out += ']';
      break;
    }
    case nlohmann::ordered_json::value_t::number_float: {
      const double x = v.get<double>();
      if (!std::isfinite(x)) {
        out += "null";
      } else {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.10g", x);
        out += buf;
      }
      break;
    }
    default: out += v.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
}

}  // namespace

std::string JsonLine(const nlohmann::ordered_json& value) {
  std::string out;
  Write(value, out);
  return out;
}

nlohmann::ordered_json JsonNumber(double x) {
  if (!std::isfinite(x)) return nullptr;
  return x;
}

nlohmann::ordered_json SummaryHead(const TaskDeclaration& task, const TaskValues& values, const Session& s,
                                   const TaskInputs& taskInputs, const std::vector<TaskFile>& inputFiles) {
  nlohmann::ordered_json head;
  head["program"] = "membrix";
  head["version"] = kProgramVersion;
  head["task"] = task.name;
  nlohmann::ordered_json inputs = nlohmann::ordered_json::object();
  for (const TaskInput& in : task.inputs) {
    nlohmann::ordered_json item;
    switch (in.kind) {
      case InputKind::Text:
      case InputKind::InFile:
      case InputKind::OutFile:
        if (!values.Given(in.name) && in.defaultText.empty()) continue;
        item["value"] = values.Text(in.name);
        break;
      case InputKind::Texts:
        if (!values.Given(in.name)) continue;
        item["value"] = values.Texts(in.name);
        break;
      case InputKind::Choice: {
        const auto index = static_cast<std::size_t>(InputValue(in, values, s, taskInputs));
        item["value"] = index < in.choices.size() ? nlohmann::ordered_json(in.choices[index]) : nullptr;
        break;
      }
      case InputKind::Flag: item["value"] = InputValue(in, values, s, taskInputs) != 0.0; break;
      case InputKind::Integer: item["value"] = static_cast<std::int64_t>(InputValue(in, values, s, taskInputs)); break;
      case InputKind::Number: item["value"] = JsonNumber(InputValue(in, values, s, taskInputs)); break;
    }
    if (in.unit != Unit::None && in.unit != Unit::Count) item["unit"] = UnitSymbol(in.unit);
    inputs[in.name] = std::move(item);
  }
  head["inputs"] = std::move(inputs);
  head["seed"] = s.random.seed();
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  for (const TaskFile& f : inputFiles) {
    nlohmann::ordered_json item;
    item["role"] = f.role;
    item["path"] = f.path;
    // A pipe was read once and cannot be read again: its digest is unknown.
    std::error_code ec;
    item["sha256"] = nullptr;
    if (std::filesystem::is_regular_file(f.path, ec)) {
      try {
        item["sha256"] = Sha256OfFile(f.path);
      } catch (const Error&) {
        // gone since it was read: the digest stays unknown
      }
    }
    files.push_back(std::move(item));
  }
  head["input_files"] = std::move(files);
  return head;
}

void WriteSidecar(const std::string& file, const TaskInput& output, const nlohmann::ordered_json& head,
                  bool complete) {
  nlohmann::ordered_json side;
  side["file"] = file;
  side["complete"] = complete;
  nlohmann::ordered_json columns = nlohmann::ordered_json::array();
  for (const Column& c : output.columns) {
    nlohmann::ordered_json col;
    col["name"] = c.name;
    col["unit"] = UnitSymbol(c.unit);
    columns.push_back(std::move(col));
  }
  side["columns"] = std::move(columns);
  for (const auto& [key, item] : head.items()) side[key] = item;
  const std::string path = file + ".json";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << side.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  if (!out) throw IoError(path, "could not be written");
}

}  // namespace membrix
