#include "data/reverse_problem.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "common/error.h"
#include "params/parameter_file.h"
#include "run/clamp_run.h"
#include "run/run_globals.h"
#include "run/session.h"

namespace membrix {

namespace {

using NP = NeuronProperties;

constexpr ReverseCoefficient kNaCoefficients[] = {
    {"a1", "a1NaR", &NP::a1NaR, 1.0, true},   {"a2", "a2NaR", &NP::a2NaR, 1.0, true},
    {"a3", "a3NaR", &NP::a3NaR, 1.0, true},   {"b1", "b1NaR", &NP::b1NaR, 1.0, true},
    {"b3", "b3NaR", &NP::b3NaR, 1.0, true},   {"c1", "c1NaR", &NP::c1NaR, 1.0, true},
    {"c3", "c3NaR", &NP::c3NaR, 1.0, true},   {"d1", "d1NaR", &NP::d1NaR, 1.0, true},
    {"d2", "d2NaR", &NP::d2NaR, 1.0, true},   {"d3", "d3NaR", &NP::d3NaR, 1.0, true},
    {"VNa", "VNaR", &NP::VNaR, 1000.0, true}, {"gNa", "gNaR", &NP::gNaR, 1.0, true},
};

constexpr ReverseCoefficient kKCoefficients[] = {
    {"a1", "a1K", &NP::a1K, 1.0, true},  {"a2", "a2K", &NP::a2K, 1.0, true},  {"a3", "a3K", &NP::a3K, 1.0, true},
    {"b1", "b1K", &NP::b1K, 1.0, true},  {"b2", "b2K", &NP::b2K, 1.0, false}, {"b3", "b3K", &NP::b3K, 1.0, true},
    {"VK", "VK", &NP::VK, 1000.0, true}, {"gK", "gK", &NP::gK, 1.0, true},
};

std::string SourceName(const Session& s) {
  return s.rec.IdFileName.empty() ? "the built-in parameters" : s.rec.IdFileName;
}

std::string ExactNumber(double x) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
  return ec == std::errc() ? std::string(buf, end) : std::to_string(x);
}

// Where the neuron section of a parameter file ends: the start of the line
// whose first token is the marker "KeepParams=0", outside comments; npos when
// the file has none.
std::size_t NeuronSectionEnd(const std::string& text) {
  constexpr std::string_view kMarker = "KeepParams=0";
  std::size_t lineStart = 0;
  bool inBrace = false;
  while (lineStart < text.size()) {
    std::size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = text.size();
    std::size_t i = lineStart;
    bool firstToken = true;
    while (i < lineEnd) {
      const char c = text[i];
      if (inBrace) {
        if (c == '}') inBrace = false;
        ++i;
      } else if (c == '{') {
        inBrace = true;
        ++i;
      } else if (c == '/') {
        break;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++i;
      } else {
        if (firstToken && text.compare(i, kMarker.size(), kMarker) == 0) {
          const std::size_t after = i + kMarker.size();
          const bool tokenEnds = after >= text.size() || !(std::isalnum(static_cast<unsigned char>(text[after])) ||
                                                           text[after] == '_' || text[after] == '.');
          if (tokenEnds) return lineStart;
        }
        firstToken = false;
        ++i;
      }
    }
    lineStart = lineEnd + 1;
  }
  return std::string::npos;
}

}  // namespace

std::span<const ReverseCoefficient> ReverseCoefficients(ReverseCurrent current) {
  if (current == ReverseCurrent::Na) return kNaCoefficients;
  return kKCoefficients;
}

ReverseCurrent ParseReverseCurrent(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (lower == "na") return ReverseCurrent::Na;
  if (lower == "k") return ReverseCurrent::K;
  throw Error("\"" + std::string(name) + "\" is not a current of the reverse problem; it fits na or k");
}

int ReverseCurveCount(const Session& s, ReverseCurrent current) {
  const int wanted = current == ReverseCurrent::Na ? kNaCurves : kKCurves;
  if (s.rec.IdFileName.empty()) return wanted;
  // The recordings the open file declares, read from its common section on a
  // copy, so that nothing else changes.
  Session scratch;
  scratch.rec.NSmpls = s.rec.NSmpls;
  ReadSectionOfText(scratch, s.rec.IdFileText, s.rec.IdFileName, "CommonParametersFromFile",
                    "MembrixPhysParameters");
  return std::clamp(scratch.rec.NSmpls, 0, wanted);
}

void SelectReverseCurrent(Session& s, ReverseCurrent current) {
  s.rec.NSmpls = ReverseCurveCount(s, current);
  const bool na = current == ReverseCurrent::Na;
  s.NP0.IfBlockNaR = na ? 0 : 1;
  s.NP0.IfBlockK = na ? 1 : 0;
  s.run.VrevFit = na ? s.NP0.VNaR : s.NP0.VK;
  for (ReverseCurrent c : {ReverseCurrent::Na, ReverseCurrent::K}) {
    for (const ReverseCoefficient& k : ReverseCoefficients(c)) {
      s.fit.MenuChecked[FindFitSlot(k.fitItem)] = c == current && k.tickedByChoice;
    }
  }
}

void CheckReverseRequest(const Session& s, ReverseCurrent current) {
  const std::string source = SourceName(s);
  const bool na = current == ReverseCurrent::Na;
  Session scratch = s;
  for (int k = 1; k <= s.rec.NSmpls; ++k) {
    scratch.rec.Smpl = k;
    LoadRecordingSection(scratch, k);
    const NeuronProperties& np = scratch.NP0;
    const std::string where = source + ", recording " + std::to_string(k);
    if (np.If_I_V_or_g != kConductanceClampMode) {
      throw Error(where + ": the clamp mode is " + std::to_string(np.If_I_V_or_g) +
                  "; the reverse problem compares conductances, recorded in "
                  "the clamp mode 3 \"for  gNa\" "
                  "(NP0.If_I_V_or_g := 3)");
    }
    if (np.ThrModel == 1 || np.LIF_model == 1) {
      throw Error(where +
                  ": the threshold and integrate-and-fire neurons have "
                  "no rate functions to fit");
    }
    if (na && np.NaR_type != "Rariza") {
      throw Error(where +
                  ": the sodium coefficients are fitted in the resurgent-Na "
                  "slot with the classic "
                  "m^3 h kinetics (NP0.NaR_type := 'Rariza'), not '" +
                  np.NaR_type + "'");
    }
    if (!na && np.HH_type != "Rariza") {
      throw Error(where +
                  ": the potassium coefficients a1K ... b3K belong to the "
                  "delayed rectifier of the "
                  "\"Rariza\" family, not of \"" +
                  np.HH_type + "\"");
    }
    if ((na ? np.IfBlockNaR : np.IfBlockK) != 0) {
      throw Error(where + ": its section blocks the " + (na ? "sodium (IfBlockNaR)" : "potassium (IfBlockK)") +
                  " current that is being fitted");
    }
  }
}

SimplexResult SolveReverseProblem(Session& s, Host& host, RunViewSink& views, FitProgress& progress,
                                  ReverseCurrent current, int restarts) {
  CollectFitSelection(s.fit);
  CheckFitRequest(s);
  CheckReverseRequest(s, current);
  SimplexResult result = RunSimplex(s, host, views, progress);
  for (int r = 0; r < restarts && !result.stopped; ++r) {
    SimplexResult next = RunSimplex(s, host, views, progress);
    const double gain = result.value - next.value;
    next.passes += result.passes;
    next.nfunk += result.nfunk;
    result = std::move(next);
    if (!(gain > s.fit.Tolerance * std::abs(result.value))) break;
  }
  return result;
}

std::string ReverseParameterFileText(const Session& s, std::span<const double> x, const std::string& comment) {
  if (s.rec.IdFileName.empty()) return FitParameterFileText(s, x, comment);
  // The text the session was loaded from, not the file as it may be now.
  const std::string& text = s.rec.IdFileText;
  const std::size_t end = NeuronSectionEnd(text);
  if (end == std::string::npos) return FitParameterFileText(s, x, comment);
  std::string note = comment;
  std::replace(note.begin(), note.end(), '}', ')');
  std::string block = "{ " + note + " }\n";
  const FitTable& fit = s.fit;
  for (int k = 1; k <= fit.FitCount; ++k) {
    const FitParameter& p = FitParameterAt(fit, k);
    // A channel the file does not name (given on the command line) would
    // make its fitted conductance a key without a channel.
    const bool named = p.imported < 0 || text.find("NeuroMLChannel[" + std::to_string(p.imported + 1) + "]") !=
                                             std::string::npos;
    block += named ? "  " + FitParameterKey(p) + " := " + ExactNumber(x[k - 1]) + ";\n"
                   : "  " + FittedValueNote(p, x[k - 1]);
  }
  return text.substr(0, end) + block + text.substr(end);
}

void PrepareSpikeSimulation(Session& s) {
  s.NP0.If_I_V_or_g = 2;
  s.NP0.IfBlockK = 0;
  s.NP0.IfBlockPass = 0;
  // The sodium of the fit carries the spike: a potassium fit leaves it blocked.
  s.NP0.IfBlockNaR = 0;
  SetRunLength(s.run, 0.05);
  s.stim.t_Iind = 0.1;
  if (s.stim.Iind == 0.0) s.stim.Iind = 300.0;
  s.rec.Smpl = 0;
  s.stim.Freq_Iind = 0.0;
}

double SimulateSpikes(Session& s, Host& host, RunViewSink& views) {
  s.run.n_Draw = 2;
  return RunClamp(s, host, views);
}

}  // namespace membrix
