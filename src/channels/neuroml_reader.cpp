#include "channels/neuroml_reader.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "common/error.h"

namespace membrix {

namespace {

// The dimensions a quantity may have, each with its units and their factor to
// the unit the kinetics use (mV, per ms, ms, K).
enum class Dimension { Voltage, PerTime, Time, Temperature, None };

struct Unit {
  std::string_view name;
  double factor;
  double offset;
};

const std::vector<Unit>& UnitsOf(Dimension d) {
  static const std::vector<Unit> voltage = {{"mV", 1.0, 0.0}, {"V", 1000.0, 0.0}};
  static const std::vector<Unit> perTime = {{"per_ms", 1.0, 0.0}, {"per_s", 0.001, 0.0}};
  static const std::vector<Unit> time = {{"ms", 1.0, 0.0}, {"s", 1000.0, 0.0}};
  static const std::vector<Unit> temperature = {{"degC", 1.0, 273.15}, {"K", 1.0, 0.0}};
  static const std::vector<Unit> none = {{"", 1.0, 0.0}};
  switch (d) {
    case Dimension::Voltage: return voltage;
    case Dimension::PerTime: return perTime;
    case Dimension::Time: return time;
    case Dimension::Temperature: return temperature;
    case Dimension::None: break;
  }
  return none;
}

std::string UnitList(Dimension d) {
  std::string list;
  for (const Unit& u : UnitsOf(d)) {
    if (!list.empty()) list += ", ";
    list += u.name.empty() ? std::string("no unit") : std::string(u.name);
  }
  return list;
}

// Reads one element tree and remembers where each element starts.
class Reader {
 public:
  Reader(std::string_view text, std::string file) : text_(text), file_(std::move(file)) {}

  std::vector<NmlChannel> Read() {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(text_.data(), text_.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!parsed) Fail(LineOf(parsed.offset), std::string("not a well-formed XML file: ") + parsed.description());
    const pugi::xml_node root = doc.document_element();
    if (std::string_view(root.name()) != "neuroml") {
      Fail(root, "the file's root element is <" + std::string(root.name()) + ">, not <neuroml>");
    }
    std::vector<NmlChannel> channels;
    std::set<std::string> ids;
    for (const pugi::xml_node& e : root.children()) {
      if (e.type() != pugi::node_element) continue;
      const std::string_view name = e.name();
      if (Ignored(name)) continue;
      if (name == "ionChannelHH" || name == "ionChannel") {
        NmlChannel c = Channel(e);
        if (!ids.insert(c.id).second) Fail(e, "a second channel with the id \"" + c.id + "\"");
        channels.push_back(std::move(c));
        continue;
      }
      Unsupported(e, "only ion channels are read from a NeuroML file");
    }
    if (channels.empty()) Fail(root, "no ion channel (<ionChannelHH>) in the file");
    return channels;
  }

 private:
  static bool Ignored(std::string_view name) { return name == "notes" || name == "annotation" || name == "property"; }

  int LineOf(std::ptrdiff_t offset) const {
    const std::size_t end = std::min<std::size_t>(offset < 0 ? 0 : static_cast<std::size_t>(offset), text_.size());
    return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
  }
  int LineOf(const pugi::xml_node& e) const { return LineOf(e.offset_debug()); }

  [[noreturn]] void Fail(int line, const std::string& what) const { throw FormatError(file_, line, what); }
  [[noreturn]] void Fail(const pugi::xml_node& e, const std::string& what) const { Fail(LineOf(e), what); }
  [[noreturn]] void Unsupported(const pugi::xml_node& e, const std::string& why) const {
    Fail(e, "<" + std::string(e.name()) + "> is not supported: " + why);
  }

  std::string Id(const pugi::xml_node& e, const char* what) const {
    const std::string id = e.attribute("id").as_string();
    if (id.empty()) Fail(e, std::string(what) + " <" + e.name() + "> has no id");
    return id;
  }

  // The quantity of attribute name in the unit the kinetics use.
  double Quantity(const pugi::xml_node& e, const char* name, Dimension d) const {
    const pugi::xml_attribute a = e.attribute(name);
    if (!a) Fail(e, "<" + std::string(e.name()) + "> has no " + name);
    const std::string_view text = a.value();
    const auto notAQuantity = [&](const std::string& why) {
      Fail(e, "<" + std::string(e.name()) + "> " + name + "=\"" + std::string(text) + "\": " + why);
    };
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    double value = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || !std::isfinite(value)) notAQuantity("not a number");
    std::string_view unit(end, static_cast<std::size_t>(last - end));
    while (!unit.empty() && unit.front() == ' ') unit.remove_prefix(1);
    while (!unit.empty() && unit.back() == ' ') unit.remove_suffix(1);
    for (const Unit& u : UnitsOf(d)) {
      if (unit == u.name) return value * u.factor + u.offset;
    }
    notAQuantity(unit.empty() ? "a unit is needed (" + UnitList(d) + ")"
                              : "the unit \"" + std::string(unit) + "\" is not one of " + UnitList(d));
    return 0.0;
  }

  NmlForm Form(const pugi::xml_node& e, Dimension result) const {
    const std::string type = e.attribute("type").as_string();
    NmlForm f;
    using K = NmlForm::Kind;
    struct Known {
      const char* type;
      K kind;
      Dimension result;
    };
    static constexpr Known kKnown[] = {
        {"HHExpRate", K::ExpRate, Dimension::PerTime},
        {"HHSigmoidRate", K::SigmoidRate, Dimension::PerTime},
        {"HHExpLinearRate", K::ExpLinearRate, Dimension::PerTime},
        {"HHExpVariable", K::ExpVariable, Dimension::None},
        {"HHSigmoidVariable", K::SigmoidVariable, Dimension::None},
        {"HHExpLinearVariable", K::ExpLinearVariable, Dimension::None},
        {"fixedTimeCourse", K::FixedTime, Dimension::Time},
    };
    const Known* known = nullptr;
    for (const Known& k : kKnown) {
      if (type == k.type) known = &k;
    }
    if (type.empty()) Fail(e, "<" + std::string(e.name()) + "> has no type");
    if (known == nullptr) {
      Unsupported(e, "its type \"" + type +
                         "\" is not one of the standard forms (a ComponentType with dynamics of its own is not read)");
    }
    if (known->result != result) {
      Fail(e, "<" + std::string(e.name()) + "> of type \"" + type + "\" gives " +
                  (known->result == Dimension::PerTime ? "a rate"
                   : known->result == Dimension::Time  ? "a time"
                                                       : "a dimensionless variable") +
                  ", where " +
                  (result == Dimension::PerTime ? "a rate" : result == Dimension::Time ? "a time" : "a variable") +
                  " is needed");
    }
    f.kind = known->kind;
    if (f.kind == K::FixedTime) {
      f.tau = Quantity(e, "tau", Dimension::Time);
      if (!(f.tau > 0.0)) Fail(e, "<" + std::string(e.name()) + "> tau must be above 0");
      return f;
    }
    f.rate = Quantity(e, "rate", result);
    f.midpoint = Quantity(e, "midpoint", Dimension::Voltage);
    f.scale = Quantity(e, "scale", Dimension::Voltage);
    if (f.scale == 0.0) Fail(e, "<" + std::string(e.name()) + "> scale must not be 0");
    return f;
  }

  NmlQ10 Q10(const pugi::xml_node& e) const {
    const std::string type = e.attribute("type").as_string();
    NmlQ10 q;
    if (type == "q10ExpTemp") {
      q.kind = NmlQ10::Kind::ExpTemp;
      q.q10Factor = Quantity(e, "q10Factor", Dimension::None);
      q.experimentalTemp = Quantity(e, "experimentalTemp", Dimension::Temperature);
      if (!(q.q10Factor > 0.0)) Fail(e, "<q10Settings> q10Factor must be above 0");
    } else if (type == "q10Fixed") {
      q.kind = NmlQ10::Kind::Fixed;
      q.fixedQ10 = Quantity(e, "fixedQ10", Dimension::None);
      if (!(q.fixedQ10 > 0.0)) Fail(e, "<q10Settings> fixedQ10 must be above 0");
    } else {
      Unsupported(e, "its type \"" + type + "\" is neither q10ExpTemp nor q10Fixed");
    }
    return q;
  }

  NmlGate Gate(const pugi::xml_node& e, std::string_view kind) const {
    using K = NmlGate::Kind;
    NmlGate g;
    g.id = Id(e, "the gate");
    if (kind == "gateHHrates") g.kind = K::Rates;
    else if (kind == "gateHHtauInf") g.kind = K::TauInf;
    else if (kind == "gateHHratesInf") g.kind = K::RatesInf;
    else if (kind == "gateHHratesTau") g.kind = K::RatesTau;
    else if (kind == "gateHHInstantaneous") g.kind = K::Instantaneous;
    else Unsupported(e, "gates of the type \"" + std::string(kind) + "\" (a kinetic scheme or a fractional gate) are not read");

    const pugi::xml_attribute instances = e.attribute("instances");
    if (instances) {
      int n = 0;
      const std::string_view text = instances.value();
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 12) {
        Fail(e, "gate \"" + g.id + "\": instances=\"" + std::string(text) + "\" is not a whole number from 1 to 12");
      }
      g.instances = n;
    }
    bool hasForward = false, hasReverse = false, hasTime = false, hasSteady = false, hasQ10 = false;
    for (const pugi::xml_node& c : e.children()) {
      if (c.type() != pugi::node_element) continue;
      const std::string_view name = c.name();
      if (Ignored(name)) continue;
      const auto once = [&](bool& seen) {
        if (seen) Fail(c, "gate \"" + g.id + "\" has a second <" + std::string(name) + ">");
        seen = true;
      };
      if (name == "forwardRate") {
        once(hasForward);
        g.forward = Form(c, Dimension::PerTime);
      } else if (name == "reverseRate") {
        once(hasReverse);
        g.reverse = Form(c, Dimension::PerTime);
      } else if (name == "timeCourse") {
        once(hasTime);
        g.timeCourse = Form(c, Dimension::Time);
      } else if (name == "steadyState") {
        once(hasSteady);
        g.steadyState = Form(c, Dimension::None);
      } else if (name == "q10Settings") {
        once(hasQ10);
        g.q10 = Q10(c);
      } else {
        Unsupported(c, "a gate holds forwardRate, reverseRate, timeCourse, steadyState and q10Settings");
      }
    }
    const bool rates = g.kind == K::Rates || g.kind == K::RatesInf || g.kind == K::RatesTau;
    const bool time = g.kind == K::TauInf || g.kind == K::RatesTau;
    const bool steady = g.kind == K::TauInf || g.kind == K::RatesInf || g.kind == K::Instantaneous;
    const auto need = [&](bool wanted, bool present, const char* child) {
      if (wanted && !present) Fail(e, "gate \"" + g.id + "\" (<" + std::string(kind) + ">) has no <" + child + ">");
      if (!wanted && present) {
        Fail(e, "gate \"" + g.id + "\" (<" + std::string(kind) + ">) takes no <" + child + ">");
      }
    };
    need(rates, hasForward, "forwardRate");
    need(rates, hasReverse, "reverseRate");
    need(time, hasTime, "timeCourse");
    need(steady, hasSteady, "steadyState");
    return g;
  }

  NmlChannel Channel(const pugi::xml_node& e) const {
    NmlChannel c;
    c.id = Id(e, "the channel");
    c.file = file_;
    c.line = LineOf(e);
    c.species = e.attribute("species").as_string();
    const std::string type = e.attribute("type").as_string();
    const bool passive = type == "ionChannelPassive";
    if (!type.empty() && type != "ionChannelHH" && !passive) {
      Unsupported(e, "channel \"" + c.id + "\" is of the type \"" + type +
                         "\"; ionChannelHH and ionChannelPassive are read");
    }
    std::set<std::string> gateIds;
    for (const pugi::xml_node& g : e.children()) {
      if (g.type() != pugi::node_element) continue;
      const std::string_view name = g.name();
      if (Ignored(name)) continue;
      std::string_view kind = name;
      if (name == "gate") kind = g.attribute("type").as_string();
      if (kind.rfind("gate", 0) != 0) {
        Unsupported(g, "channel \"" + c.id + "\" may hold gates only");
      }
      NmlGate gate = Gate(g, kind);
      if (!gateIds.insert(gate.id).second) Fail(g, "channel \"" + c.id + "\" has a second gate \"" + gate.id + "\"");
      c.gates.push_back(std::move(gate));
    }
    if (passive && !c.gates.empty()) Fail(e, "the passive channel \"" + c.id + "\" has gates");
    return c;
  }

  std::string_view text_;
  std::string file_;
};

}  // namespace

std::vector<NmlChannel> ParseNeuroMLChannels(std::string_view text, const std::string& file) {
  return Reader(text, file).Read();
}

std::vector<NmlChannel> ReadNeuroMLChannels(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw IoError(path, std::filesystem::exists(path, ec) ? "not a regular file" : "no such file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw IoError(path, "cannot be opened");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw IoError(path, "cannot be read");
  return ParseNeuroMLChannels(text.str(), path);
}

}  // namespace membrix
