#pragma once
// A clamp run that keeps its traces: chosen items of the output list sampled
// at every step (or every k-th), and the spike times. What a script gets from
// a run, without windows and without files.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/host.h"
#include "run/run_view_sink.h"

namespace membrix {

struct Session;

// The output-list item a name stands for: the item spelt exactly so, else the
// one item that matches it without regard to case and surrounding blanks
// ("INa" is "INA", "vav" is "Vav "). Nothing when no item, or more than one,
// matches.
std::optional<std::string_view> FindOutputVariable(std::string_view name);

// The unit of an output-list item's values: "mV", "mA/cm2", "pA", "mM",
// "mS/cm2", or "" for gates and the values whose unit depends on the clamp
// mode.
std::string_view OutputVariableUnit(std::string_view item);

// Collects the samples of a run. Each sample is taken after the step has been
// made, at t = nt * dt; the state before the first step is not sampled.
class TraceRecorder final : public RunViewSink {
 public:
  // Throws FormatError naming the item for a name that is not an item of the
  // output list, and RangeError for a cadence below 1.
  TraceRecorder(const Session& s, const std::vector<std::string>& names, std::int32_t every = 1);

  bool Drawing() const override { return false; }
  void Spike(double tSpike) override { spikeTimes.push_back(tSpike); }
  // Called at every sampled step; reads the session, not the one value sent.
  void CurvePoint(double xMs, double y) override;
  std::span<const std::string_view> ReadItems() const override { return items; }

  std::int32_t Every() const { return every_; }
  // The samples of a run of `steps` steps, and room for them.
  std::size_t Samples(std::int64_t steps) const;
  void Reserve(std::int64_t steps);

  std::vector<std::string_view> items;      // the output-list items, in the order asked
  std::vector<double> time;                 // s
  std::vector<std::vector<double>> values;  // one column per item, in its unit
  std::vector<double> spikeTimes;           // s, the interpolated peaks

 private:
  struct Reader {
    const double* value = nullptr;  // a field of the session read directly, or
    double scale = 1.0;
    std::string_view item;          // an item read through the output list
  };
  const Session& s_;
  std::vector<Reader> readers_;
  std::int32_t every_;
};

// A clamp run of the session that fills the recorder. The drawing cadence and
// the "Draw any curve" settings are the recorder's during the run and are
// given back afterwards, also when the run fails. Returns what RunClamp does.
double RecordedRun(Session& s, Host& host, TraceRecorder& recorder);

}  // namespace membrix
