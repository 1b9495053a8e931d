#pragma once
// The population rate ro(t) of an ensemble: spike counts in Nrate + 1 bins over
// 0 ... t_end, each spike weighing 1/(M·Δ) so that ro is in Hz per member. A
// spike at t goes to the bin whose centre k·Δ is nearest (halves to the even
// neighbour), so the first and the last bin are half as wide as the others.

#include <cstdint>
#include <string>
#include <vector>

namespace membrix {

// At most this many rate bins; a larger mesh is refused.
inline constexpr std::int32_t kMaxRateBins = 1000;

class RateHistogram {
 public:
  // Throws RangeError for Nrate outside 1 ... 1000, a run length that is not
  // positive or an ensemble without members.
  RateHistogram(double t_end, std::int32_t Nrate, std::int64_t members);

  // The bin of a spike at time t (s): the integer nearest to t/t_end·Nrate,
  // halves to the even neighbour; -1 outside 0 ... Nrate.
  std::int32_t BinOf(double t) const;
  void AddSpike(double t);
  void Clear();

  // The members the rate is counted over: all of the ensemble until a stopped
  // run keeps only the first `done` (1 ... members). The bins are then the rate
  // of those members alone, each spike weighing 1/(done·Δ). Throws RangeError
  // for a count outside 1 ... members.
  void CountOnly(std::int64_t done);
  std::int64_t members() const { return members_; }

  std::int32_t Nrate() const { return Nrate_; }
  double Delta() const { return delta_; }  // bin width, s
  double TimeOf(std::int32_t k) const { return k * delta_; }
  const std::vector<double>& ro() const { return ro_; }  // Hz, entries 0 ... Nrate
  std::vector<double>& ro() { return ro_; }
  double Peak() const;
  double Mean() const;  // mean of the bins 0 ... Nrate

 private:
  double t_end_;
  std::int32_t Nrate_;
  std::int64_t members_;
  double delta_;
  double weight_;
  std::vector<double> ro_;
};

// One line of "rate(t).dat": the bin time in ms and the rate in Hz.
std::string RateLine(double tMs, double rate);

// Writes every bin of ro as "rate(t).dat" does. Throws IoError.
void WriteRateFile(const std::string& path, const RateHistogram& ro);

}  // namespace membrix
