#include "run/trace_recorder.h"

#include <algorithm>
#include <cctype>

#include "common/error.h"
#include "params/record_fields.h"
#include "run/clamp_run.h"
#include "run/output_variables.h"
#include "run/session.h"

namespace membrix {

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameWithoutCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string ItemList() {
  std::string list;
  for (std::string_view item : OutputVariables()) list += (list.empty() ? "" : ", ") + std::string(item);
  return list;
}

}  // namespace

std::optional<std::string_view> FindOutputVariable(std::string_view name) {
  for (std::string_view item : OutputVariables()) {
    if (item == name) return item;
  }
  std::optional<std::string_view> found;
  for (std::string_view item : OutputVariables()) {
    if (SameWithoutCase(Trimmed(item), Trimmed(name))) {
      if (found) return std::nullopt;
      found = item;
    }
  }
  return found;
}

std::string_view OutputVariableUnit(std::string_view item) {
  static constexpr std::string_view kMilliVolt[] = {"V", "VatE", "Vexp", "Vav "};
  static constexpr std::string_view kCurrentDensity[] = {"INA", "IK",     "IKA",     "IKM", "IH",
                                                         "IAHP", "Im", "Im-INa", "du_Reset", "uu"};
  const auto in = [item](const auto& list) { return std::find(std::begin(list), std::end(list), item) != std::end(list); };
  if (in(kMilliVolt)) return "mV";
  if (in(kCurrentDensity)) return "mA/cm2";
  if (item == "PSC" || item == "Iind") return "pA";
  if (item == "Ca") return "mM";
  if (item == "avPSC") return "mS/cm2";
  return "";
}

TraceRecorder::TraceRecorder(const Session& s, const std::vector<std::string>& names, std::int32_t every)
    : s_(s), every_(every) {
  if (every < 1) throw RangeError("the sampling cadence must be 1 or more steps, not " + std::to_string(every));
  for (const std::string& name : names) {
    const std::optional<std::string_view> item = FindOutputVariable(name);
    if (!item) {
      throw FormatError("", 0, "\"" + name + "\" is not an item of the output list (" + ItemList() + ")");
    }
    items.push_back(*item);
    // Fields of the state copy are read directly; the output list says how
    // the other items are made.
    Reader reader;
    const std::string_view field = *item == "INA" ? std::string_view("INa") : *item;
    const VariableField* f = FindVariableField(field);
    if (f != nullptr && f->kind == FieldKind::Double) {
      reader.value = &(s.NV0.*std::get<double NeuronVariables::*>(f->member));
      reader.scale = (*item == "V" || *item == "VatE") ? 1000.0 : 1.0;
    } else {
      reader.item = *item;
    }
    readers_.push_back(reader);
  }
  values.resize(items.size());
}

std::size_t TraceRecorder::Samples(std::int64_t steps) const {
  return static_cast<std::size_t>(std::max<std::int64_t>(steps, 0) / every_) + 1;
}

void TraceRecorder::Reserve(std::int64_t steps) {
  const std::size_t n = Samples(steps);
  time.reserve(n);
  for (std::vector<double>& column : values) column.reserve(n);
}

void TraceRecorder::CurvePoint(double, double) {
  time.push_back(s_.run.t);
  for (std::size_t i = 0; i < readers_.size(); ++i) {
    const Reader& r = readers_[i];
    values[i].push_back(r.value != nullptr ? *r.value * r.scale : OutputVariableValue(s_, r.item));
  }
}

double RecordedRun(Session& s, Host& host, TraceRecorder& recorder) {
  // The drawing cadence sets when the curve point is sent; the item sent is
  // the cheapest one to read, since the recorder reads the session itself.
  struct Kept {
    Session& s;
    std::int32_t n_Draw, DrawAnyCurve;
    std::string VarToWrite;
    ~Kept() {
      s.run.n_Draw = n_Draw;
      s.run.DrawAnyCurve = DrawAnyCurve;
      s.trace.VarToWrite = VarToWrite;
    }
  } kept{s, s.run.n_Draw, s.run.DrawAnyCurve, s.trace.VarToWrite};
  s.run.n_Draw = recorder.Every();
  s.run.DrawAnyCurve = 1;
  if (s.run.WriteMode != 4) s.trace.VarToWrite = OutputVariables().front();
  recorder.time.clear();
  for (std::vector<double>& column : recorder.values) column.clear();
  recorder.spikeTimes.clear();
  recorder.Reserve(s.run.nt_end);
  return RunClamp(s, host, recorder);
}

}  // namespace membrix
