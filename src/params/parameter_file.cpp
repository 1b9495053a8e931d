#include "params/parameter_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "channels/channel_catalogue.h"
#include "common/error.h"
#include "common/quoted_text.h"
#include "params/imported_channels.h"
#include "params/model_defaults.h"
#include "params/model_menus.h"
#include "params/record_fields.h"
#include "params/run_section.h"
#include "run/recording.h"
#include "run/session.h"
#include "tasks/task_files.h"

namespace membrix {

namespace {

enum class KeyKind { Action, Integer, Number, Text };

struct KeyEntry {
  std::string_view key;
  KeyKind kind;
  // Number and integer keys take the value as a double, text keys as text.
  void (*setNumber)(Session&, double);
  void (*setText)(Session&, std::string_view);
};

template <auto Member>
void SetNP0Number(Session& s, double x) {
  s.NP0.*Member = static_cast<std::remove_reference_t<decltype(s.NP0.*Member)>>(x);
}

template <auto Member>
void SetNP0Text(Session& s, std::string_view x) {
  s.NP0.*Member = std::string(x);
}

#define MEMBRIX_NP_NUMBER(name, kind) {"NP0." #name, kind, &SetNP0Number<&NeuronProperties::name>, nullptr}
#define MEMBRIX_NP_TEXT(name) {"NP0." #name, KeyKind::Text, nullptr, &SetNP0Text<&NeuronProperties::name>}

constexpr KeyKind I = KeyKind::Integer;
constexpr KeyKind N = KeyKind::Number;

// The keys in the order the reader tests them; every other key is ignored.
// Values are stored as written, in the program's internal units.
const KeyEntry kKeys[] = {
    {"MembrixPhysParameters(NP)", KeyKind::Action, nullptr, nullptr},
    {"IfDataIn1column", I, [](Session& s, double x) { s.rec.IfDataIn1column = static_cast<std::int32_t>(x); },
     nullptr},
    {"NSmpls", I, [](Session& s, double x) { s.rec.NSmpls = static_cast<std::int32_t>(x); }, nullptr},
    MEMBRIX_NP_TEXT(HH_type),
    MEMBRIX_NP_TEXT(HH_order),
    MEMBRIX_NP_TEXT(NaR_type),
    MEMBRIX_NP_TEXT(NaR_subtype),
    {"t_end", N, [](Session& s, double x) { s.run.t_end = x; }, nullptr},
    {"t_Iind", N, [](Session& s, double x) { s.stim.t_Iind = x; }, nullptr},
    {"t_IindShift", N, [](Session& s, double x) { s.stim.t_IindShift = x; }, nullptr},
    {"Iind", N, [](Session& s, double x) { s.stim.Iind = x; }, nullptr},
    MEMBRIX_NP_NUMBER(IfBlockNa, I),
    MEMBRIX_NP_NUMBER(IfBlockPass, I),
    MEMBRIX_NP_NUMBER(IfBlockK, I),
    MEMBRIX_NP_NUMBER(IfBlockKM, I),
    MEMBRIX_NP_NUMBER(IfBlockKA, I),
    MEMBRIX_NP_NUMBER(IfBlockNaR, I),
    MEMBRIX_NP_NUMBER(If_I_V_or_g, I),
    MEMBRIX_NP_NUMBER(IfSet_gL_or_tau, I),
    MEMBRIX_NP_NUMBER(IfSet_VL_or_Vrest, I),
    MEMBRIX_NP_NUMBER(Vrest, N),
    {"scx_Smpl", N, [](Session& s, double x) { s.rec.scx_Smpl = x; }, nullptr},
    {"scy_Smpl", N, [](Session& s, double x) { s.rec.scy_Smpl = x; }, nullptr},
    MEMBRIX_NP_NUMBER(Square, N),
    MEMBRIX_NP_NUMBER(tau_m, N),
    MEMBRIX_NP_NUMBER(n_AP, N),
    MEMBRIX_NP_NUMBER(gNaR, N),
    MEMBRIX_NP_NUMBER(gNa, N),
    MEMBRIX_NP_NUMBER(gK, N),
    MEMBRIX_NP_NUMBER(gKM, N),
    MEMBRIX_NP_NUMBER(gKA, N),
    MEMBRIX_NP_NUMBER(gKD, N),
    MEMBRIX_NP_NUMBER(gCaH, N),
    MEMBRIX_NP_NUMBER(gKCa, N),
    MEMBRIX_NP_NUMBER(gADP, N),
    MEMBRIX_NP_NUMBER(gAHP, N),
    MEMBRIX_NP_NUMBER(gCaT, N),
    MEMBRIX_NP_NUMBER(gBst, N),
    MEMBRIX_NP_NUMBER(gNaP, N),
    MEMBRIX_NP_NUMBER(gL, N),
    {"uu", N, [](Session& s, double x) { s.stim.uu = x; }, nullptr},
    {"ss", N, [](Session& s, double x) { s.stim.ss = x; }, nullptr},
    MEMBRIX_NP_NUMBER(a1NaR, N),
    MEMBRIX_NP_NUMBER(a2NaR, N),
    MEMBRIX_NP_NUMBER(a3NaR, N),
    MEMBRIX_NP_NUMBER(b1NaR, N),
    MEMBRIX_NP_NUMBER(b2NaR, N),
    MEMBRIX_NP_NUMBER(b3NaR, N),
    MEMBRIX_NP_NUMBER(c1NaR, N),
    MEMBRIX_NP_NUMBER(c2NaR, N),
    MEMBRIX_NP_NUMBER(c3NaR, N),
    MEMBRIX_NP_NUMBER(d1NaR, N),
    MEMBRIX_NP_NUMBER(d2NaR, N),
    MEMBRIX_NP_NUMBER(d3NaR, N),
    MEMBRIX_NP_NUMBER(d4NaR, N),
    MEMBRIX_NP_NUMBER(Tr_NaR, N),
    MEMBRIX_NP_NUMBER(VNaR, N),
    MEMBRIX_NP_NUMBER(VNa, N),
    MEMBRIX_NP_NUMBER(VK, N),
    MEMBRIX_NP_NUMBER(VL, N),
    MEMBRIX_NP_NUMBER(EIF_deltaT, N),
    MEMBRIX_NP_NUMBER(EIF_tauw, N),
    MEMBRIX_NP_NUMBER(EIF_a, N),
    MEMBRIX_NP_NUMBER(EIF_dw, N),
    {"KeepParams", I, [](Session& s, double x) { s.prog.KeepParams = static_cast<std::int32_t>(x); }, nullptr},
    {"Vh", N, [](Session& s, double x) { s.stim.Vh = x; }, nullptr},
    {"FC_dFdu", N, [](Session& s, double x) { s.prog.FC_dFdu = x; }, nullptr},
    {"FC_I0", N, [](Session& s, double x) { s.prog.FC_I0 = x; }, nullptr},
    {"FC_freq", N, [](Session& s, double x) { s.prog.FC_freq = x; }, nullptr},
    {"File_u_s", KeyKind::Text, nullptr, [](Session& s, std::string_view x) { s.rec.File_u_s = std::string(x); }},
    {"NoiseToSignal", N, [](Session& s, double x) { s.prog.NoiseToSignal = x; }, nullptr},
    {"tau_E", N, [](Session& s, double x) { s.prog.tau_E = x; }, nullptr},
    {"tau_I", N, [](Session& s, double x) { s.prog.tau_I = x; }, nullptr},
    {"sc_Simplex", N, [](Session& s, double x) { s.prog.sc_Simplex = x; }, nullptr},
    {"SmplFile[Smpl]", KeyKind::Text, nullptr,
     [](Session& s, std::string_view x) { s.rec.SmplFile[s.rec.Smpl] = std::string(x); }},
    {"Smpl", I, [](Session& s, double x) { s.rec.Smpl = static_cast<std::int32_t>(x); }, nullptr},
    {"Freq_Iind", N, [](Session& s, double x) { s.stim.Freq_Iind = x; }, nullptr},
    // The values the reverse-problem fit moves, so that a fitted set is read back.
    MEMBRIX_NP_NUMBER(ro, N),
    MEMBRIX_NP_NUMBER(a1K, N),
    MEMBRIX_NP_NUMBER(a2K, N),
    MEMBRIX_NP_NUMBER(a3K, N),
    MEMBRIX_NP_NUMBER(b1K, N),
    MEMBRIX_NP_NUMBER(b2K, N),
    MEMBRIX_NP_NUMBER(b3K, N),
    // The reversal with which a recorded current was turned into a conductance.
    {"VrevFit", N, [](Session& s, double x) { s.run.VrevFit = x; }, nullptr},
};

#undef MEMBRIX_NP_NUMBER
#undef MEMBRIX_NP_TEXT

// The imported channels of the neuron, k = 1 ... kMaxImportedChannels: the
// file (in the parameter file's folder) and the channel's id in parentheses,
// "squid_axon.nml(k_squid)", or the file alone when it holds one channel; its
// maximal conductance density (mS/cm²) and reversal potential (V).
ImportedChannel& ImportedAt(Session& s, int k) {
  std::vector<ImportedChannel>& list = s.NP0.Imported;
  if (static_cast<int>(list.size()) < k) list.resize(static_cast<std::size_t>(k));
  return list[static_cast<std::size_t>(k - 1)];
}

template <int k>
void SetImportedChannel(Session& s, std::string_view x) {
  std::string file(x), id;
  if (!file.empty() && file.back() == ')') {
    const std::size_t open = file.rfind('(');
    if (open == std::string::npos) throw RangeError("expected FILE(ID), not " + Quoted(x));
    id = file.substr(open + 1, file.size() - open - 2);
    file.resize(open);
  }
  const std::filesystem::path folder = std::filesystem::path(s.rec.IdFileName).parent_path();
  const std::string path = (folder / file).string();
  ImportedChannel& c = ImportedAt(s, k);
  const ImportedChannel read = ImportChannel(path + (id.empty() ? "" : "#" + id) + ":0:0");
  c.kinetics = read.kinetics;
}

template <int k>
void SetImportedG(Session& s, double x) {
  if (x < 0.0) throw RangeError("a maximal conductance density must not be negative");
  ImportedAt(s, k).g = x;
}

template <int k>
void SetImportedE(Session& s, double x) {
  ImportedAt(s, k).E = x;
}

#define MEMBRIX_IMPORTED_KEYS(k)                                                               \
  {"NeuroMLChannel[" #k "]", KeyKind::Text, nullptr, &SetImportedChannel<k>},                  \
      {"gNeuroML[" #k "]", KeyKind::Number, &SetImportedG<k>, nullptr},                        \
      {"ENeuroML[" #k "]", KeyKind::Number, &SetImportedE<k>, nullptr}

const KeyEntry kImportedKeys[] = {MEMBRIX_IMPORTED_KEYS(1), MEMBRIX_IMPORTED_KEYS(2), MEMBRIX_IMPORTED_KEYS(3),
                                  MEMBRIX_IMPORTED_KEYS(4), MEMBRIX_IMPORTED_KEYS(5), MEMBRIX_IMPORTED_KEYS(6),
                                  MEMBRIX_IMPORTED_KEYS(7), MEMBRIX_IMPORTED_KEYS(8)};
static_assert(std::size(kImportedKeys) == 3 * kMaxImportedChannels);

const KeyEntry* FindKey(std::string_view key) {
  for (const KeyEntry& e : kKeys) {
    if (e.key == key) return &e;
  }
  for (const KeyEntry& e : kImportedKeys) {
    if (e.key == key) return &e;
  }
  return nullptr;
}

// The imported channels a neuron section named, checked as a whole: each
// number k given a channel, at most one channel per id, the gates within what
// a neuron holds.
void CheckImportedChannels(Session& s, const std::string& file) {
  std::vector<ImportedChannel> named = std::move(s.NP0.Imported);
  s.NP0.Imported.clear();
  for (std::size_t k = 0; k < named.size(); ++k) {
    // A number no key named (below one that was) is a gap, not a channel.
    if (named[k].kinetics.id.empty() && named[k].g == 0.0 && named[k].E == 0.0) continue;
    if (named[k].kinetics.id.empty()) {
      throw FormatError(file, 0,
                        "gNeuroML[" + std::to_string(k + 1) + "] or ENeuroML[" + std::to_string(k + 1) +
                            "] is given without NeuroMLChannel[" + std::to_string(k + 1) + "]");
    }
    try {
      AddImportedChannel(s.NP0, std::move(named[k]));
    } catch (const RangeError& e) {
      throw FormatError(file, 0, e.what());
    }
  }
}

bool IsTokenChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '&' || c == '(' ||
         c == ')' || c == '+' || c == '-' || c == '.' || c == '=' || c == '[' || c == ']' || c == '_';
}

// A value is a number when it holds no letter other than a lower-case e.
bool LooksLikeNumber(std::string_view value) {
  if (value == "true" || value == "false") return true;
  for (char c : value) {
    if (((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && c != 'e') return false;
  }
  return true;
}

bool ParseDouble(std::string_view text, double& x) {
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.starts_with('+') || text.starts_with('-')) return false;
  }
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, x);
  return ec == std::errc() && ptr == end && std::isfinite(x);
}

bool ParseInteger(std::string_view text, double& x) {
  if (text.starts_with('+')) text.remove_prefix(1);
  std::int32_t n = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (ec != std::errc() || ptr != end || text.empty()) return false;
  x = n;
  return true;
}

// Character reader over the file's text that knows the line it is on.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Current() const { return AtEnd() ? '\0' : text_[pos_]; }
  int line() const { return line_; }
  std::size_t position() const { return pos_; }
  int tokenLine() const { return tokenLine_; }  // line of the token read last
  void Advance() {
    if (AtEnd()) return;
    if (text_[pos_] == '\n') ++line_;
    ++pos_;
  }
  // Skips a comment that starts at the current character.
  void SkipComment() {
    if (Current() == '{') {
      while (!AtEnd() && Current() != '}') Advance();
      Advance();
    } else if (Current() == '/') {
      while (!AtEnd() && Current() != '\n') Advance();
    }
  }
  void SkipToToken() {
    while (!AtEnd() && !IsTokenChar(Current())) {
      if (Current() == '{' || Current() == '/') {
        SkipComment();
      } else {
        Advance();
      }
    }
  }
  std::string_view ReadToken() {
    SkipToToken();
    tokenLine_ = line_;
    const std::size_t begin = pos_;
    while (!AtEnd() && IsTokenChar(Current())) Advance();
    return text_.substr(begin, pos_ - begin);
  }
  // Blanks, line ends and brace comments between a key and its ":=".
  void SkipGap() {
    while (!AtEnd()) {
      const char c = Current();
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        Advance();
      } else if (c == '{') {
        SkipComment();
      } else {
        break;
      }
    }
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int tokenLine_ = 1;
};

}  // namespace

void Assign(Session& s, std::string_view key, std::string_view value, const std::string& file, int line) {
  const KeyEntry* entry = FindKey(key);
  if (entry == nullptr) {
    // A misspelt key would otherwise look applied: it is named, not echoed.
    s.SimplexMemo.push_back(FormatError(file, line, "unknown key " + Quoted(key) + " is ignored").what());
    return;
  }
  if (entry->kind == KeyKind::Action) SetDefaults(s.NP0, s.stim.Vus);
  const std::string echo(key);
  if (LooksLikeNumber(value)) {
    if (entry->kind == KeyKind::Number || entry->kind == KeyKind::Integer) {
      double x = 0;
      const bool ok = entry->kind == KeyKind::Number ? ParseDouble(value, x) : ParseInteger(value, x);
      if (!ok) {
        throw FormatError(file, line,
                          Quoted(value) + " is not " +
                              (entry->kind == KeyKind::Number ? "a number" : "a whole number") + " (for " + echo +
                              ")");
      }
      if (entry->key == "Smpl" && (x < 0 || x > kMaxRecording)) {
        throw FormatError(file, line,
                          "recording number " + Quoted(value) + " is outside 0 ... " + std::to_string(kMaxRecording));
      }
      try {
        entry->setNumber(s, x);
      } catch (const RangeError& e) {
        throw FormatError(file, line, std::string(e.what()) + " (for " + echo + ")");
      }
    }
    s.ParamsMemo.push_back(echo + ":=" + std::string(value) + ";");
  } else if (entry->kind == KeyKind::Text) {
    // A model the program does not know would only fail at the run, far from
    // the line that names it.
    if (entry->key == "NP0.HH_type" && !IsModelFamily(value)) {
      throw FormatError(file, line,
                        "unknown model family " + Quoted(value) +
                            " (NP0.HH_type); expected one of Rariza, Passive, Destexhe, Migliore, Cummins, Chow, "
                            "Lyle, Naundorf, White, White2, Shu, Bazhenov");
    }
    if (entry->key == "NP0.HH_order" &&
        std::find(kGeometries.begin(), kGeometries.end(), value) == kGeometries.end()) {
      throw FormatError(file, line,
                        "unknown geometry " + Quoted(value) +
                            " (NP0.HH_order); expected one of 1-point, 2-points, 2-p-MainenSejn, 2-p-ActiveDend");
    }
    try {
      entry->setText(s, value);
    } catch (const Error& e) {
      // A channel file that cannot be read is a fault of this line too.
      throw FormatError(file, line, std::string(e.what()) + " (for " + echo + ")");
    }
    s.ParamsMemo.push_back(echo + ":='" + std::string(value) + "';");
  }
}

void ReadSection(Session& s, const std::string& file, std::string_view start, std::string_view end) {
  const std::string text = ReadInputOnce(file);
  ReadSectionOfText(s, text, file, start, end);
}

void ReadSectionOfText(Session& s, std::string_view text, const std::string& file, std::string_view start,
                       std::string_view end) {
  Scanner in(text);
  bool active = start == "Any";
  // A file of many bad lines gives a few notes and a count, not a note per line.
  constexpr int kShownNotes = 10;
  int notes = 0;
  auto note = [&](auto&& make) {
    if (++notes <= kShownNotes) make();
  };
  in.SkipToToken();
  while (!in.AtEnd()) {
    const std::string_view token = in.ReadToken();
    if (token.empty()) break;
    if (token == end) break;
    in.SkipGap();
    if (token == start) active = true;
    if (in.Current() == ':' && active) {
      in.Advance();
      if (in.Current() != '=') {
        note([&] {
          s.SimplexMemo.push_back("Bad format of input file " + file + ", line " + std::to_string(in.line()));
        });
        continue;
      }
      in.Advance();
      const std::string key(token);
      const std::string_view value = in.ReadToken();
      if (FindKey(key) == nullptr) {
        note([&] { Assign(s, key, value, file, in.tokenLine()); });
      } else {
        Assign(s, key, value, file, in.tokenLine());
      }
      if (value == end) break;
    }
  }
  if (notes > kShownNotes) {
    s.SimplexMemo.push_back(file + ": " + std::to_string(notes - kShownNotes) +
                            " more unknown keys or bad lines were ignored without a note");
  }
}

std::size_t FindToken(const std::string& text, std::string_view token) {
  Scanner in(text);
  while (!in.AtEnd()) {
    in.SkipToToken();
    const std::size_t begin = in.position();
    if (in.ReadToken() == token) return begin;
  }
  return std::string::npos;
}

std::string RecordingSectionMarker(int k) {
  if (k == 1) return "ParametersFromFile";
  if (k >= 2 && k <= 19) return "ParametersFromFile" + std::to_string(k);
  return "end.";
}

void LoadParameterFile(Session& s, const std::string& file) {
  // Read once: a pipe gives its text only once, and every later section
  // (each recording's) comes from the text kept here. An unreadable file
  // changes nothing.
  std::string text = ReadInputOnce(file);
  // From here on the file is the open one, also when a bad line stops the
  // reading: what it applied stays applied, and the recordings' sections of
  // later runs come from it, never from the file opened before.
  s.rec.IdFileName = file;
  s.rec.IdFileText = std::move(text);
  const std::string_view kept = s.rec.IdFileText;
  ApplyProgramStartValues(s);
  ReadSectionOfText(s, kept, file, "CommonParametersFromFile", "MembrixPhysParameters");
  SetDefaults(s.NP0, s.stim.Vus);
  // The file names the neuron's imported channels, or it has none.
  s.NP0.Imported.clear();
  ReadSectionOfText(s, kept, file, "MembrixPhysParameters", "KeepParams=0");
  CheckImportedChannels(s, file);
  s.run.nt_end = StepCount(s.run.t_end, s.run.dt);
  ReadSectionOfText(s, kept, file, "KeepParams=0", "ParametersFromFile");
}

void CloseParameterFile(Session& s) {
  s.rec.IdFileName.clear();
  s.rec.IdFileText.clear();
}

void LoadRecordingSection(Session& s, int k) {
  if (s.rec.IdFileName.empty()) {
    ApplyBuiltInRecordingSet(s, k);
  } else if (k >= 1 && k <= 19) {
    ReadSectionOfText(s, s.rec.IdFileText, s.rec.IdFileName, RecordingSectionMarker(k),
                      RecordingSectionMarker(k + 1));
  }
  ApplyGivenRecordingFile(s, k);
}

}  // namespace membrix
