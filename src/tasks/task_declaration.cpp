#include "tasks/task_declaration.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/error.h"
#include "common/quoted_text.h"
#include "run/session.h"

namespace membrix {

namespace {

// A refusal of a value: names the input, the value and what it accepts.
[[noreturn]] void Refuse(const TaskInput& in, const std::string& value, const std::string& why) {
  throw RangeError(in.OptionName() + " = " + value + ": " + why);
}

std::string AllowedText(const TaskInput& in) {
  std::string text = in.range.Text();
  const std::string_view unit = UnitText(in.unit);
  if (!unit.empty() && in.unit != Unit::Count) text += " " + std::string(unit);
  return text;
}

}  // namespace

std::string PlainNumber(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10g", x);
  return buf;
}

std::string_view UnitSymbol(Unit unit) {
  switch (unit) {
    case Unit::None: return "";
    case Unit::Count: return "1";
    case Unit::Ms: return "ms";
    case Unit::MV: return "mV";
    case Unit::PA: return "pA";
    case Unit::Hz: return "Hz";
    case Unit::UACm2: return "uA/cm2";
    case Unit::MSCm2: return "mS/cm2";
    case Unit::NS: return "nS";
    case Unit::MM: return "mM";
    case Unit::Um: return "um";
    case Unit::DegC: return "degC";
    case Unit::HzPerUACm2: return "Hz/(uA/cm2)";
    case Unit::OhmCm: return "Ohm*cm";
  }
  return "";
}

std::string_view UnitText(Unit unit) {
  switch (unit) {
    case Unit::UACm2: return "µA/cm²";
    case Unit::MSCm2: return "mS/cm²";
    case Unit::Um: return "µm";
    case Unit::DegC: return "°C";
    case Unit::HzPerUACm2: return "Hz per µA/cm²";
    case Unit::OhmCm: return "Ω·cm";
    case Unit::Count: return "";
    default: return UnitSymbol(unit);
  }
}

bool InputRange::Contains(double x) const {
  if (std::isnan(x)) return false;
  const bool aboveLow = lowOpen ? x > low : x >= low;
  const bool belowHigh = highOpen ? x < high : x <= high;
  return aboveLow && belowHigh;
}

std::string InputRange::Text() const {
  const bool hasLow = std::isfinite(low), hasHigh = std::isfinite(high);
  if (hasLow && hasHigh && !lowOpen && !highOpen) return PlainNumber(low) + " ... " + PlainNumber(high);
  std::string text;
  if (hasLow) text = (lowOpen ? "above " : "at least ") + PlainNumber(low);
  if (hasHigh) text += (text.empty() ? "" : " and ") + std::string(highOpen ? "below " : "at most ") + PlainNumber(high);
  return text.empty() ? "any finite number" : text;
}

InputRange AnyNumber() { return {}; }
InputRange AtLeast(double low) { return {low, std::numeric_limits<double>::infinity(), false, false}; }
InputRange Above(double low) { return {low, std::numeric_limits<double>::infinity(), true, false}; }
InputRange Between(double low, double high) { return {low, high, false, false}; }

std::string TaskInput::OptionName() const {
  std::string option = "--" + name;
  std::replace(option.begin() + 2, option.end(), '_', '-');
  return option;
}

TaskInput&& TaskInput::Label(std::string text) && {
  label = std::move(text);
  return std::move(*this);
}
TaskInput&& TaskInput::Default(double value) && {
  defaultNumber = value;
  return std::move(*this);
}
TaskInput&& TaskInput::DefaultText(std::string value) && {
  defaultText = std::move(value);
  return std::move(*this);
}
TaskInput&& TaskInput::Aka(std::string oldName, double scale) && {
  aliases.push_back({std::move(oldName), scale});
  return std::move(*this);
}
TaskInput&& TaskInput::Bind(std::function<double(const Session&)> getter,
                            std::function<void(Session&, double)> setter) && {
  get = [getter = std::move(getter)](const Session& s, const TaskInputs&) { return getter(s); };
  set = [setter = std::move(setter)](Session& s, TaskInputs&, double v) { setter(s, v); };
  return std::move(*this);
}

TaskInput&& TaskInput::Bind(std::function<double(const Session&, const TaskInputs&)> getter,
                            std::function<void(Session&, TaskInputs&, double)> setter) && {
  get = std::move(getter);
  set = std::move(setter);
  return std::move(*this);
}
TaskInput&& TaskInput::Columns(std::vector<Column> list) && {
  columns = std::move(list);
  return std::move(*this);
}

TaskInput Number(std::string name, Unit unit, InputRange range, std::string help) {
  TaskInput in;
  in.name = std::move(name);
  in.kind = InputKind::Number;
  in.unit = unit;
  in.range = range;
  in.help = std::move(help);
  return in;
}

TaskInput Integer(std::string name, InputRange range, std::string help) {
  TaskInput in = Number(std::move(name), Unit::Count, range, std::move(help));
  in.kind = InputKind::Integer;
  return in;
}

TaskInput Flag(std::string name, std::string help) {
  TaskInput in = Number(std::move(name), Unit::None, Between(0, 1), std::move(help));
  in.kind = InputKind::Flag;
  return in;
}

TaskInput Text(std::string name, std::string help) {
  TaskInput in = Number(std::move(name), Unit::None, AnyNumber(), std::move(help));
  in.kind = InputKind::Text;
  return in;
}

TaskInput Choice(std::string name, std::vector<std::string> choices, std::string help) {
  TaskInput in = Number(std::move(name), Unit::None, Between(0, static_cast<double>(choices.size()) - 1),
                        std::move(help));
  in.kind = InputKind::Choice;
  in.choices = std::move(choices);
  return in;
}

TaskInput InFile(std::string name, FileKind kind, std::string help) {
  TaskInput in = Text(std::move(name), std::move(help));
  in.kind = InputKind::InFile;
  in.file = kind;
  return in;
}

TaskInput OutFile(std::string name, FileKind kind, std::string defaultName, std::string help) {
  TaskInput in = Text(std::move(name), std::move(help));
  in.kind = InputKind::OutFile;
  in.file = kind;
  in.defaultText = std::move(defaultName);
  return in;
}

bool TaskValues::Given(std::string_view name) const {
  const auto it = given_.find(name);
  return it != given_.end() && it->second;
}

double TaskValues::Number(std::string_view name) const {
  const auto it = numbers_.find(name);
  if (it == numbers_.end()) throw std::logic_error("no number input " + std::string(name));
  return it->second;
}

const std::string& TaskValues::Text(std::string_view name) const {
  const auto it = texts_.find(name);
  if (it == texts_.end()) throw std::logic_error("no text input " + std::string(name));
  return it->second;
}

const std::vector<std::string>& TaskValues::Texts(std::string_view name) const {
  static const std::vector<std::string> kNone;
  const auto it = lists_.find(name);
  return it == lists_.end() ? kNone : it->second;
}

void TaskValues::SetNumber(const std::string& name, double value, bool given) {
  numbers_[name] = value;
  given_[name] = given;
}

void TaskValues::SetText(const std::string& name, std::string value, bool given) {
  texts_[name] = std::move(value);
  given_[name] = given;
}

void TaskValues::AddText(const std::string& name, std::string value) {
  lists_[name].push_back(std::move(value));
  given_[name] = true;
}

const TaskInput* TaskDeclaration::Find(std::string_view inputName) const {
  for (const TaskInput& in : inputs) {
    if (in.name == inputName) return &in;
  }
  return nullptr;
}

const TaskDeclaration* FindTask(std::string_view name) {
  for (const TaskDeclaration* task : AllTasks()) {
    if (task->name == name) return task;
  }
  return nullptr;
}

void CheckInputNumber(const TaskInput& in, double value) {
  if (!std::isfinite(value)) Refuse(in, PlainNumber(value), "not a finite number; allowed: " + AllowedText(in));
  if ((in.kind == InputKind::Integer || in.kind == InputKind::Choice) && value != std::trunc(value)) {
    Refuse(in, PlainNumber(value), "not a whole number; allowed: " + AllowedText(in));
  }
  if (!in.range.Contains(value)) Refuse(in, PlainNumber(value), "outside the allowed " + AllowedText(in));
}

double ParseInputNumber(const TaskInput& in, const std::string& text, double scale) {
  if (in.kind == InputKind::Choice) {
    for (std::size_t i = 0; i < in.choices.size(); ++i) {
      if (text == in.choices[i]) return static_cast<double>(i);
    }
  }
  double value = 0.0;
  const char* first = text.data();
  const char* last = first + text.size();
  while (first < last && *first == ' ') ++first;
  if (first < last && *first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (text.empty() || ec == std::errc::invalid_argument || end != last) {
    if (in.kind == InputKind::Choice) {
      std::string list;
      for (std::size_t i = 0; i < in.choices.size(); ++i) {
        list += (i ? ", " : "") + Quoted(in.choices[i]) + " (" + std::to_string(i) + ")";
      }
      Refuse(in, Quoted(text), "not one of " + list);
    }
    Refuse(in, Quoted(text), "not a number");
  }
  if (ec == std::errc::result_out_of_range) Refuse(in, Quoted(text), "too large for a number");
  value *= scale;
  CheckInputNumber(in, value);
  return value;
}

TaskValues DefaultValues(const TaskDeclaration& task) {
  TaskValues values;
  for (const TaskInput& in : task.inputs) {
    switch (in.kind) {
      case InputKind::Text:
      case InputKind::InFile:
      case InputKind::OutFile: values.SetText(in.name, in.defaultText, false); break;
      case InputKind::Texts: break;
      default: values.SetNumber(in.name, in.defaultNumber, false); break;
    }
  }
  return values;
}

void ApplyGivenInputs(const TaskDeclaration& task, const TaskValues& values, Session& s, TaskInputs& inputs) {
  for (const TaskInput& in : task.inputs) {
    if (in.Bound() && in.Numeric() && values.Given(in.name)) in.set(s, inputs, values.Number(in.name));
  }
}

double InputValue(const TaskInput& in, const TaskValues& values, const Session& s, const TaskInputs& inputs) {
  if (in.get && !(in.kind == InputKind::Flag && values.Given(in.name))) return in.get(s, inputs);
  return values.Number(in.name);
}

std::string InputHelp(const TaskInput& in, const Session& startValues, const TaskInputs& startInputs) {
  std::string text = in.help;
  const std::string_view unit = UnitText(in.unit);
  if (!in.label.empty()) text += " (" + Quoted(in.label) + ")";
  switch (in.kind) {
    case InputKind::Number:
    case InputKind::Integer: {
      const double def = in.get ? in.get(startValues, startInputs) : in.defaultNumber;
      if (!unit.empty() && in.unit != Unit::Count) text += "; " + std::string(unit);
      text += "; default " + PlainNumber(def) + "; allowed " + in.range.Text();
      break;
    }
    case InputKind::Choice: {
      const double def = in.get ? in.get(startValues, startInputs) : in.defaultNumber;
      text += "; one of";
      for (std::size_t i = 0; i < in.choices.size(); ++i) {
        text += (i ? ", " : " ") + Quoted(in.choices[i]) + " (" + std::to_string(i) + ")";
      }
      const auto index = static_cast<std::size_t>(def);
      if (index < in.choices.size()) text += "; default " + Quoted(in.choices[index]);
      break;
    }
    case InputKind::OutFile:
      if (!in.defaultText.empty()) text += "; default " + Quoted(in.defaultText);
      break;
    default: break;
  }
  return text;
}

}  // namespace membrix
