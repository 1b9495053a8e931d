#pragma once
// A task (the f-I curve, a map, the firing clamp, an ensemble, ...) is declared
// once: its inputs with their units, defaults and allowed ranges, the files it
// reads and writes, and what a stop keeps. The batch tool's options, --help,
// checks and JSON summaries, and the Python functions, are made from these
// declarations, so every face of a task takes the same inputs under the same
// names and refuses the same values.
//
// One vocabulary: times are in ms (names end in _ms), voltages in mV, currents
// in pA, current densities in µA/cm², conductance densities in mS/cm²,
// frequencies in Hz. The names are snake_case; the batch tool spells them
// --like-this.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace membrix {

struct Session;
struct TaskInputs;
class Host;
class FitProgress;

enum class Unit {
  None,       // a plain number or a choice
  Count,      // a whole number of things
  Ms,         // time
  MV,         // voltage
  PA,         // current
  Hz,         // frequency
  UACm2,      // current density
  MSCm2,      // conductance density
  NS,         // conductance
  MM,         // concentration
  Um,         // length
  DegC,       // temperature
  HzPerUACm2, // a rate's slope against a current density
  OhmCm,      // resistivity
};

// The unit as the summaries write it ("ms", "uA/cm2", ...; "" for None) and as
// help texts show it ("µA/cm²").
std::string_view UnitSymbol(Unit unit);
std::string_view UnitText(Unit unit);

enum class InputKind {
  Number,   // a finite real number in the declared unit
  Integer,  // a whole number
  Flag,     // on when given
  Text,     // free text
  Texts,    // repeated text (KEY=VALUE assignments)
  Choice,   // one of a list, by its text or its index
  InFile,   // a file the task reads
  OutFile,  // a file the task writes
};

// What kind of file an input or output is.
enum class FileKind {
  None,
  ParameterFile,  // a ".id" parameter file
  Recording,      // a recorded trace
  Map,            // a (u,s) map
  StoredZFolder,  // a folder of stored Z-functions
  SweepFile,      // a file listing runs
  DataFolder,     // a folder of recordings
  WholeResult,    // written whole: under "<name>.part" until complete
  LinesPerRun,    // one line per run, the lines done kept on a stop
};

// A number as messages and summaries show it: up to ten significant digits.
std::string PlainNumber(double x);

// The values an input accepts: low ... high, each end open or closed.
struct InputRange {
  double low = -std::numeric_limits<double>::infinity();
  double high = std::numeric_limits<double>::infinity();
  bool lowOpen = false;
  bool highOpen = false;
  bool Contains(double x) const;
  std::string Text() const;  // "0 ... 200", "above 0", "at least 1", "any number"
};

InputRange AnyNumber();
InputRange AtLeast(double low);
InputRange Above(double low);
InputRange Between(double low, double high);

// A column of a file a task writes.
struct Column {
  std::string name;
  Unit unit = Unit::None;
};

struct TaskInput {
  std::string name;  // snake_case: "iind_max", "t_end_ms", "out"
  InputKind kind = InputKind::Number;
  Unit unit = Unit::None;
  InputRange range;
  std::string help;
  std::string label;  // the window label or settings line it stands under, verbatim
  std::vector<std::string> choices;  // Choice: the texts; the value is the index
  FileKind file = FileKind::None;
  std::vector<Column> columns;  // OutFile: what it holds
  // Old spellings the batch tool still takes, hidden, with a note; a value
  // given under one is multiplied by its scale into the declared unit.
  struct Alias {
    std::string name;
    double scale = 1.0;
  };
  std::vector<Alias> aliases;
  // Where the value lives. Bound inputs read and write the model state or the
  // task inputs kept beside it, in the declared unit (a value not given leaves
  // what the parameter file or the settings set); unbound inputs keep their
  // value in the task's values, starting at the default.
  std::function<double(const Session&, const TaskInputs&)> get;
  std::function<void(Session&, TaskInputs&, double)> set;
  double defaultNumber = 0.0;
  std::string defaultText;
  bool shared = false;  // one of the model inputs every task takes

  bool Bound() const { return static_cast<bool>(set); }
  bool Numeric() const {
    return kind == InputKind::Number || kind == InputKind::Integer || kind == InputKind::Flag ||
           kind == InputKind::Choice;
  }
  std::string OptionName() const;  // "--iind-max"

  // Builders, for declarations that read as tables.
  TaskInput&& Label(std::string text) &&;
  TaskInput&& Default(double value) &&;
  TaskInput&& DefaultText(std::string value) &&;
  TaskInput&& Aka(std::string oldName, double scale = 1.0) &&;
  TaskInput&& Bind(std::function<double(const Session&)> getter, std::function<void(Session&, double)> setter) &&;
  TaskInput&& Bind(std::function<double(const Session&, const TaskInputs&)> getter,
                   std::function<void(Session&, TaskInputs&, double)> setter) &&;
  TaskInput&& Columns(std::vector<Column> list) &&;
};

TaskInput Number(std::string name, Unit unit, InputRange range, std::string help);
TaskInput Integer(std::string name, InputRange range, std::string help);
TaskInput Flag(std::string name, std::string help);
TaskInput Text(std::string name, std::string help);
TaskInput Choice(std::string name, std::vector<std::string> choices, std::string help);
TaskInput InFile(std::string name, FileKind kind, std::string help);
TaskInput OutFile(std::string name, FileKind kind, std::string defaultName, std::string help);

// A field of the session, or of the task inputs, read and written in the
// declared unit: the stored value is the declared one times toStored (1e-3
// for a ms input kept in s).
template <class Field>
Field StoredValue(double v, double toStored) {
  if constexpr (std::is_enum_v<Field>) {
    return static_cast<Field>(static_cast<int>(v));
  } else {
    return static_cast<Field>(v * toStored);
  }
}

template <class Group, class Field>
TaskInput&& BindField(TaskInput&& in, Group Session::*group, Field Group::*field, double toStored = 1.0) {
  return std::move(in).Bind(
      [group, field, toStored](const Session& s) { return static_cast<double>(s.*group.*field) / toStored; },
      [group, field, toStored](Session& s, double v) { s.*group.*field = StoredValue<Field>(v, toStored); });
}

template <class Group, class Field>
TaskInput&& BindField(TaskInput&& in, Group TaskInputs::*group, Field Group::*field, double toStored = 1.0) {
  return std::move(in).Bind(
      [group, field, toStored](const Session&, const TaskInputs& t) {
        return static_cast<double>(t.*group.*field) / toStored;
      },
      [group, field, toStored](Session&, TaskInputs& t, double v) {
        t.*group.*field = StoredValue<Field>(v, toStored);
      });
}

// The values of one call of a task: what was given and, for unbound inputs,
// the defaults of what was not.
class TaskValues {
 public:
  bool Given(std::string_view name) const;
  double Number(std::string_view name) const;
  int Int(std::string_view name) const { return static_cast<int>(Number(name)); }
  bool On(std::string_view name) const { return Number(name) != 0.0; }
  const std::string& Text(std::string_view name) const;
  const std::vector<std::string>& Texts(std::string_view name) const;

  void SetNumber(const std::string& name, double value, bool given = true);
  void SetText(const std::string& name, std::string value, bool given = true);
  void AddText(const std::string& name, std::string value);

 private:
  std::map<std::string, double, std::less<>> numbers_;
  std::map<std::string, std::string, std::less<>> texts_;
  std::map<std::string, std::vector<std::string>, std::less<>> lists_;
  std::map<std::string, bool, std::less<>> given_;
};

// A rough cost of a call, known before it runs.
struct TaskCost {
  double runs = 1.0;
  double stepsPerRun = 0.0;  // neuron-steps of one run
  double bytes = 0.0;        // memory it will hold at once
};

// A call of a task: the model state, the task inputs, the values, the host,
// and what it leaves.
struct TaskCall {
  Session& s;
  TaskInputs& in;
  const TaskValues& values;
  Host& host;
  std::function<void(std::int64_t done, std::int64_t total)> progress = [](std::int64_t, std::int64_t) {};
  nlohmann::ordered_json* results = nullptr;  // the task's results, units in the keys
  bool complete = true;               // false when stopped before the end
  std::int64_t done = 0, total = 0;   // runs done of the runs asked (for a stop's message)
  std::string doneUnit = "runs";
  std::vector<std::string> written;   // the outputs it wrote, by input name
  int status = 0;  // the exit status of a complete call (3: a self-test found a fault)
  FitProgress* fitWatcher = nullptr;  // told every pass and status of a fit the task runs, when set
};

struct TaskDeclaration {
  std::string name;     // "fi"
  std::string summary;  // one paragraph: what it does and writes
  std::vector<TaskInput> inputs;
  std::string onStop;       // what a stop keeps, in words
  std::string example;      // options of a call that ends in a second or two (tests, the manual)
  bool random = false;      // draws random numbers: takes a seed
  bool sharedRuns = false;  // its runs are shared among the processes of a job
  std::function<TaskCost(const Session&, const TaskInputs&, const TaskValues&)> cost;
  // Runs the task on a prepared session (model inputs and bound inputs set,
  // files guarded) and fills call.results.
  std::function<void(TaskCall&)> run;

  const TaskInput* Find(std::string_view inputName) const;
};

// Every declared task, in the order the batch tool lists them (tasks/tasks.h).
const std::vector<const TaskDeclaration*>& AllTasks();
const TaskDeclaration* FindTask(std::string_view name);

// Reads a value given as text for an input and checks it against its kind and
// range; the message names the input, the value and what is allowed. A choice
// is taken by its text or its index.
double ParseInputNumber(const TaskInput& in, const std::string& text, double scale = 1.0);
// Checks a number for an input (finite, whole where it must be, in range).
void CheckInputNumber(const TaskInput& in, double value);

// The values of a call with every unbound input at its default.
TaskValues DefaultValues(const TaskDeclaration& task);

// Sets the bound inputs that were given into the session and the task
// inputs, in declaration order.
void ApplyGivenInputs(const TaskDeclaration& task, const TaskValues& values, Session& s, TaskInputs& inputs);

// The value of an input as the call uses it: from the session or the task
// inputs when bound.
double InputValue(const TaskInput& in, const TaskValues& values, const Session& s, const TaskInputs& inputs);

// The help line of an input: its help, unit, default and range.
std::string InputHelp(const TaskInput& in, const Session& startValues, const TaskInputs& startInputs);

}  // namespace membrix
