#include "params/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/error.h"

namespace membrix {

namespace {

std::string N(const char* prefix, int i) { return prefix + std::to_string(i); }

// Menu items are labelled by their name right-aligned in 28 characters.
std::string MenuLabel(const std::string& item) {
  std::string label = item.size() < 28 ? std::string(28 - item.size(), ' ') + item : item;
  return label + ": TMenuItem";
}

std::vector<SettingsLine> BuildLines() {
  using K = SettingKind;
  using T = SettingTarget;
  std::vector<SettingsLine> l;
  l.reserve(kSettingsLineCount);
  auto header = [&](const char* label) { l.push_back({K::Header, T::None, "", "", label, {}, {}}); };
  auto real = [&](const char* w, int i, const std::string& label) {
    l.push_back({K::Real, T::SpinEdit, w, N("DDSpinEdit", i), label, {}, {}});
  };
  auto box = [&](const char* w, int i, const std::string& label) {
    l.push_back({K::Boolean, T::CheckBox, w, N("CheckBox", i), label, {}, {}});
  };
  auto list = [&](const char* w, int i, const std::string& label) {
    l.push_back({K::Index, T::List, w, N("ComboBox", i), label, {}, {}});
  };
  auto radio = [&](const char* w, int i, const std::string& label) {
    l.push_back({K::Index, T::RadioGroup, w, N("RadioGroup", i), label, {}, {}});
  };
  auto menu = [&](const std::string& item, const std::string& label) {
    l.push_back({K::Boolean, T::MenuMark, "Form1", item, label, {}, {}});
  };
  auto visible = [&](const char* w) {
    l.push_back({K::Boolean, T::Visible, w, "", std::string(" ") + w + ".Visible", {}, {}});
  };
  auto position = [&](const char* w, const char* labelWindow) {
    l.push_back({K::Integer, T::Left, w, "", std::string(" ") + labelWindow + ".Left", {}, {}});
    l.push_back({K::Integer, T::Top, w, "", std::string(" ") + labelWindow + ".Top", {}, {}});
  };
  auto windowPrefixed = [](const char* w, const char* name, int i) {
    return std::string(" :") + w + "." + name + std::to_string(i);
  };

  header("Form4");
  for (int i = 1; i <= 64; ++i) real("Form4", i, N(" :DDSpinEdit", i));
  for (int i = 1; i <= 5; ++i) list("Form4", i, N(" ComboBox", i));
  for (int i : {1, 3, 4}) box("Form4", i, N(" CheckBox", i));
  header("void");
  header("Form3");
  for (int i = 1; i <= 6; ++i) real("Form3", i, N(" :DDSpinEdit", i));
  for (int i = 1; i <= 3; ++i) box("Form3", i, N(" CheckBox", i));
  // From here on a file may end early.
  header("Form1");
  for (int i = 1; i <= 2; ++i) box("Form1", i, N(" CheckBox", i));
  for (int i = 1; i <= 9; ++i) menu(N("Smpl", i), MenuLabel(N("Smpl", i)));
  menu("Smpl0", MenuLabel("Smpl0"));
  for (int i = 10; i <= 19; ++i) menu(N("Smpl", i), MenuLabel(N("Smpl", i)));
  for (const char* item : {"HHtype2", "Passive1", "Rariza1", "Destexhe1", "Migliore1", "HHorder1", "N1point1",
                           "N2points1", "Chow1", "Lyle1", "Simplex1", "N1", "N2", "N3", "N4", "N5", "N6", "Help1",
                           "N7"}) {
    menu(item, MenuLabel(item));
  }
  header("Empty");
  header("Form3");
  menu("Bazhenov1", "  :Form1.Bazhenov1: TMenuItem");
  menu("N2pMainenSejn1", "  :Form1.N2pMainenSejn1: TMenuItem");
  radio("Form4", 1, " Form4.RadioGroup1");
  menu("N2pActiveDend1", "  :Form1.N2pActiveDend1: TMenuItem");
  visible("Form3");
  header("Form20");
  for (int i = 1; i <= 20; ++i) real("Form20", i, windowPrefixed("Form20", "DDSpinEdit", i));
  for (int i = 1; i <= 2; ++i) box("Form20", i, windowPrefixed("Form20", "CheckBox", i));
  for (int i = 1; i <= 2; ++i) list("Form20", i, N(" Form20.ComboBox", i));
  for (int i : {3, 4}) real("Form15", i, windowPrefixed("Form15", "DDSpinEdit", i));
  for (int i : {1, 5}) real("Form12", i, windowPrefixed("Form12", "DDSpinEdit", i));
  for (const char* w : {"Form5", "Form11", "Form12", "Form20", "Form31"}) visible(w);
  for (int i = 1; i <= 2; ++i) box("Form5", i, windowPrefixed("Form5", "CheckBox", i));
  for (int i : {1, 3, 4, 6}) real("Form5", i, windowPrefixed("Form5", "DDSpinEdit", i));
  list("Form5", 1, " ComboBox1");
  for (int i = 1; i <= 2; ++i) box("Form5", i, windowPrefixed("Form5", "CheckBox", i));
  for (int i = 1; i <= 11; ++i) real("Form31", i, windowPrefixed("Form31", "DDSpinEdit", i));
  for (int i = 1; i <= 2; ++i) list("Form31", i, N(" Form31.ComboBox", i));
  box("Form31", 1, " :Form31.CheckBox1");
  list("Form20", 3, " Form20.ComboBox3");
  for (int i = 65; i <= 72; ++i) real("Form4", i, windowPrefixed("Form4", "DDSpinEdit", i));
  for (int i = 2; i <= 4; ++i) radio("Form4", i, N(" Form4.RadioGroup", i));
  for (int i : {2, 5}) box("Form4", i, windowPrefixed("Form4", "CheckBox", i));
  for (int i = 1; i <= 2; ++i) {
    l.push_back({K::Integer, T::IntSpin, "Form4", N("SpinEdit", i), windowPrefixed("Form4", "SpinEdit", i), {}, {}});
  }
  for (int i : {1, 2, 3, 4, 5, 6, 14, 20, 22, 23}) real("Form1", i, windowPrefixed("Form1", "DDSpinEdit", i));
  menu("Writing1", " :Form1.Writing1: TMenuItem");
  for (int i = 73; i <= 76; ++i) real("Form4", i, windowPrefixed("Form4", "DDSpinEdit", i));
  radio("Form21", 1, " :Form21.RadioGroup1");
  position("Form21", "Form21");
  position("Form1", "Form1");
  position("Form4", "Form4");
  // The ion-dynamics window's position carries the labels of the stimulus
  // preview's; loading goes by the line, never by the label.
  position("Form19", "Form21");
  l.push_back({K::Integer, T::PageIndex, "Form1", "PageControl1", " :Form1.PageControl1.TabIndex", {}, {}});
  for (int i = 77; i <= 79; ++i) real("Form4", i, windowPrefixed("Form4", "DDSpinEdit", i));

  // The lines whose controls are bound to declared task inputs: the
  // threshold window and the frequency-current window.
  struct Bound {
    const char* window;
    const char* control;
    const char* task;
    const char* input;
  };
  static constexpr Bound kBound[] = {
      {"Form3", "DDSpinEdit1", "thresholds", "iind_max"},
      {"Form3", "DDSpinEdit2", "thresholds", "oscillations"},
      {"Form3", "DDSpinEdit3", "thresholds", "sgm"},
      {"Form3", "DDSpinEdit4", "thresholds", "step"},
      {"Form3", "DDSpinEdit5", "thresholds", "s"},
      {"Form3", "DDSpinEdit6", "thresholds", "criterion"},
      {"Form3", "CheckBox1", "thresholds", "no_noise_in_t_neuron"},
      {"Form5", "DDSpinEdit1", "fi", "iind_max"},
      {"Form5", "DDSpinEdit4", "fi", "step"},
      {"Form5", "DDSpinEdit6", "fi", "max_spikes"},
      {"Form5", "ComboBox1", "fi", "estimator"},
      {"Form5", "CheckBox1", "fi", "noise"},
      {"Form5", "CheckBox2", "fi", "distributed"},
  };
  for (SettingsLine& line : l) {
    for (const Bound& b : kBound) {
      if (line.window == b.window && line.control == b.control) {
        line.task = b.task;
        line.input = b.input;
      }
    }
  }
  return l;
}

std::string Describe(SettingKind kind) {
  switch (kind) {
    case SettingKind::Real: return "a number";
    case SettingKind::Boolean: return "an integer (1 or 0)";
    case SettingKind::Index: return "an item index (an integer)";
    default: return "an integer";
  }
}

// The leading field of a value line, read as its kind's number; the field
// must end at a blank or the end of the line.
bool ParseLeading(std::string_view line, SettingKind kind, double& value) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  const char* first = line.data() + i;
  const char* last = line.data() + line.size();
  const char* end = nullptr;
  if (kind == SettingKind::Real) {
    double v = 0.0;
    auto r = std::from_chars(first, last, v, std::chars_format::fixed | std::chars_format::scientific);
    if (r.ec != std::errc() || !std::isfinite(v)) return false;
    value = v;
    end = r.ptr;
  } else {
    if (first < last && *first == '+') ++first;
    int v = 0;
    auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc()) return false;
    value = v;
    end = r.ptr;
  }
  return end == last || *end == ' ' || *end == '\t';
}

// The shortest text that reads back as the same number.
std::string ExactText(double x) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, x);
  return std::string(buffer, r.ptr);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// One number of a channel line, and the text after it.
bool TakeNumber(std::string_view& text, double& x) {
  text = Trimmed(text);
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto r = std::from_chars(first, last, x);
  if (r.ec != std::errc() || !std::isfinite(x) || (r.ptr != last && *r.ptr != ' ' && *r.ptr != '\t')) return false;
  text.remove_prefix(static_cast<std::size_t>(r.ptr - text.data()));
  return true;
}

SettingsChannel ParseChannelLine(std::string_view line, const std::string& fileName, int number) {
  SettingsChannel c;
  c.line = number;
  std::string_view rest = line;
  const std::string_view where = Trimmed(rest);
  bool ok = TakeNumber(rest, c.g) && TakeNumber(rest, c.EmV);
  rest = Trimmed(rest);
  const std::size_t hash = rest.rfind('#');
  ok = ok && c.g >= 0.0 && hash != std::string_view::npos && hash > 0 && hash + 1 < rest.size();
  if (!ok) {
    throw FormatError(fileName, number,
                      "expected an imported channel as \"G E FILE#ID\" (G in mS/cm^2 and not negative, E in mV), "
                      "found \"" + std::string(where.substr(0, 60)) + "\"");
  }
  c.file = std::string(rest.substr(0, hash));
  c.id = std::string(rest.substr(hash + 1));
  return c;
}

IntegratorSettings ParseIntegrationLine(std::string_view line, const std::string& fileName, int number) {
  std::string_view rest = Trimmed(line);
  const std::size_t blank = rest.find_first_of(" \t");
  const std::string name(rest.substr(0, blank));
  rest = blank == std::string_view::npos ? std::string_view{} : rest.substr(blank);
  IntegratorSettings settings;
  try {
    settings.kind = IntegratorFromName(name);
    if (!TakeNumber(rest, settings.rtol) || !TakeNumber(rest, settings.atol) || !Trimmed(rest).empty()) {
      throw Error("expected the integrator as \"NAME RTOL ATOL\", found \"" +
                  std::string(Trimmed(line).substr(0, 60)) + "\"");
    }
    CheckTolerances(settings);
  } catch (const Error& e) {
    throw FormatError(fileName, number, e.what());
  }
  return settings;
}

bool Opens(std::string_view line, const char* header) {
  return Trimmed(line).substr(0, std::strlen(header)) == header;
}

}  // namespace

const std::vector<SettingsLine>& SettingsLines() {
  static const std::vector<SettingsLine> lines = BuildLines();
  return lines;
}

std::string FormatSettingsLine(const SettingsLine& line, double value) {
  if (line.kind == SettingKind::Header) return line.label;
  std::string text;
  if (line.kind == SettingKind::Real) {
    // A large value takes all the digits it needs (up to some 310).
    const int size = std::snprintf(nullptr, 0, "%9.4f", value);
    text.resize(static_cast<std::size_t>(size) + 1);
    std::snprintf(text.data(), text.size(), "%9.4f", value);
    text.resize(static_cast<std::size_t>(size));
  } else {
    const double bounded = std::isfinite(value) ? std::clamp(std::round(value), -2147483648.0, 2147483647.0) : 0.0;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%3d", static_cast<int>(bounded));
    text = buffer;
  }
  return text + line.label;
}

std::string FormatSettings(std::span<const double> values, std::span<const SettingsChannel> channels,
                           const IntegratorSettings& integration) {
  const auto& lines = SettingsLines();
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += FormatSettingsLine(lines[i], i < values.size() ? values[i] : 0.0);
    text += '\n';
  }
  if (!channels.empty()) {
    text += kSettingsChannelsHeader;
    text += "  (g, mS/cm^2; E, mV; file#id)\n";
    for (const SettingsChannel& c : channels) {
      text += ExactText(c.g) + " " + ExactText(c.EmV) + " " + c.file + "#" + c.id + "\n";
    }
  }
  const IntegratorSettings standard;
  if (integration.kind != standard.kind || integration.rtol != standard.rtol || integration.atol != standard.atol) {
    text += kSettingsIntegrationHeader;
    text += "  (integrator; rtol; atol)\n";
    text += std::string(IntegratorName(integration.kind)) + " " + ExactText(integration.rtol) + " " +
            ExactText(integration.atol) + "\n";
  }
  return text;
}

void WriteSettingsFile(const std::string& path, std::span<const double> values,
                       std::span<const SettingsChannel> channels, const IntegratorSettings& integration) {
  const std::string text = FormatSettings(values, channels, integration);
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw IoError(path, std::strerror(errno));
    out << text;
    out.flush();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw IoError(path, "could not be written");
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw IoError(path, ec.message());
  }
}

SettingsValues ParseSettings(std::string_view text, const std::string& fileName) {
  const auto& lines = SettingsLines();
  SettingsValues result;
  result.fileName = fileName;
  result.values.assign(lines.size(), 0.0);
  std::size_t at = 0;
  int number = 0;
  while (at < text.size() && number < kSettingsLineCount) {
    // A line ends with LF, CR LF or a lone CR.
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    at = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    const SettingsLine& item = lines[static_cast<std::size_t>(number)];
    ++number;
    if (item.kind == SettingKind::Header) continue;
    if (!ParseLeading(line, item.kind, result.values[static_cast<std::size_t>(number - 1)])) {
      throw FormatError(fileName, number,
                        "expected " + Describe(item.kind) + " for" + item.label + ", found \"" +
                            std::string(line.substr(0, 40)) + "\"");
    }
  }
  if (number < kSettingsRequiredLines) {
    throw FormatError(fileName, number,
                      number == 0 ? std::string("the settings file is empty; lines 1 ... 84 must be there")
                                  : "the settings file ends at this line; lines 1 ... " +
                                        std::to_string(kSettingsRequiredLines) + " must be there");
  }
  result.lines = number;
  // The sections after the last line, each opened by its header line.
  enum class Section { None, Channels, Integration };
  Section section = Section::None;
  bool integrationRead = false;
  while (number >= kSettingsLineCount && at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    at = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    ++number;
    if (Opens(line, kSettingsChannelsHeader)) {
      section = Section::Channels;
    } else if (Opens(line, kSettingsIntegrationHeader)) {
      section = Section::Integration;
    } else if (Trimmed(line).empty() || section == Section::None) {
      continue;
    } else if (section == Section::Channels) {
      result.channels.push_back(ParseChannelLine(line, fileName, number));
    } else if (!integrationRead) {
      result.integration = ParseIntegrationLine(line, fileName, number);
      integrationRead = true;
    } else {
      throw FormatError(fileName, number, "the integrator's section holds one line");
    }
  }
  return result;
}

SettingsValues ReadSettingsFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw IoError(path, std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw IoError(path, "could not be read");
  return ParseSettings(text.str(), path);
}

}  // namespace membrix
