#pragma once
// The settings file "_HHSettings.txt": the state of the workbench's inputs,
// check boxes, lists, radio groups, menu marks, open windows and window
// positions, one item a line in a fixed order of 234 lines. The file is
// positional: each line is a value followed by a label for the reader, and
// loading reads only the value.
//
// The model's imported channels follow the 234 lines in a section of their
// own, written only when the model has some: a line "NeuroMLChannels", then
// one line per channel with its maximal conductance density (mS/cm²), its
// reversal potential (mV) and its channel file and id as FILE#ID to the end
// of the line. A reader that knows only the 234 lines passes over it, and a
// file without it holds a model without imported channels.
//
// The run's integrator, when it is not the fixed step at the default
// tolerances, follows in a section "Integration" of one line: the
// integrator's name ("fixed", "cvode"), rtol and atol. A file without it runs
// the fixed step.
//
// This part knows the lines and their formats; the workbench binds each line
// to its control (ui/settings_binding.h).

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "neuron/variable_step.h"

namespace membrix {

// How a line's value is written and read.
enum class SettingKind {
  Header,   // a label alone
  Real,     // fixed point, 9 characters with 4 decimals
  Integer,  // right-aligned in 3 characters
  Boolean,  // 1 or 0 in 3 characters
  Index,    // item index of a list or radio group, -1 for none, 3 characters
};

// What a line's value sets.
enum class SettingTarget {
  None,        // a header
  SpinEdit,    // a real input field
  IntSpin,     // an integer spin box
  CheckBox,    // ticked exactly when the value is 1
  List,        // a drop-down list's item
  RadioGroup,  // a radio group's item
  MenuMark,    // the check mark of a menu item, set exactly when 1
  Visible,     // whether a window is shown, shown exactly when 1
  Left,        // a window's left edge, pixels
  Top,         // a window's top edge, pixels
  PageIndex,   // the page shown by a page control
};

struct SettingsLine {
  SettingKind kind;
  SettingTarget target;
  std::string window;   // "Form4", ...; the window that owns the control
  std::string control;  // the control's program name; empty for window items
  std::string label;    // written after the value, verbatim
  // The declared task input the control is bound to, by task and input name
  // ("fi", "iind_max"); empty when it binds none. The line's value is then
  // that input's value in its declared unit, so the file and the batch tool
  // read and write the same inputs.
  std::string task;
  std::string input;
};

inline constexpr int kSettingsLineCount = 234;
// Lines 1 ... 84 must be there; from line 85 on a file may end early.
inline constexpr int kSettingsRequiredLines = 84;
inline constexpr const char* kSettingsFileName = "_HHSettings.txt";
inline constexpr const char* kSettingsChannelsHeader = "NeuroMLChannels";
inline constexpr const char* kSettingsIntegrationHeader = "Integration";

// An imported channel as the settings file keeps it.
struct SettingsChannel {
  std::string file;  // the channel file, as absolute a path as it was saved
  std::string id;    // the channel's id in that file
  double g = 0.0;    // mS/cm²
  double EmV = 0.0;  // mV
  int line = 0;      // where it was read, for messages
};

// The 234 lines in file order (index 0 is line 1).
const std::vector<SettingsLine>& SettingsLines();

// One line as written: the value in its kind's format, then the label.
std::string FormatSettingsLine(const SettingsLine& line, double value);

// The whole file from one value per line (headers' values are ignored),
// followed by the channels' section when there are channels and the
// integrator's when it is not the default.
std::string FormatSettings(std::span<const double> values, std::span<const SettingsChannel> channels = {},
                           const IntegratorSettings& integration = {});

// Writes the file; it is replaced only once every line is written, so a
// failed save leaves the previous file whole. Throws IoError.
void WriteSettingsFile(const std::string& path, std::span<const double> values,
                       std::span<const SettingsChannel> channels = {}, const IntegratorSettings& integration = {});

// The values read from a file: values[i] belongs to line i + 1 (0 for
// headers); lines is how many lines the file held (84 ... 234).
struct SettingsValues {
  std::vector<double> values;
  int lines = 0;
  std::vector<SettingsChannel> channels;  // the imported channels' section
  IntegratorSettings integration;         // the integrator's section, the default without one
  std::string fileName;                   // for messages
};

// Reads the leading value of every line. Every line is checked before any
// value is handed back, so a bad file changes nothing: a line whose leading
// field is not a number of its kind, or a file that ends before line 84,
// throws FormatError naming the file and the line. After line 234 only the
// sections are read (a channel line that is not "G E FILE#ID", or an
// integrator line that is not a known integrator with tolerances it takes, is
// a FormatError too); lines outside a section are ignored.
SettingsValues ParseSettings(std::string_view text, const std::string& fileName);
// The same for a file on disk; throws IoError when it cannot be read.
SettingsValues ReadSettingsFile(const std::string& path);

}  // namespace membrix
