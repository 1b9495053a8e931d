#include "population/rate_histogram.h"

#include <algorithm>
#include <cmath>

#include "analysis/sweep_file.h"
#include "common/error.h"
#include "common/number_format.h"

namespace membrix {

RateHistogram::RateHistogram(double t_end, std::int32_t Nrate, std::int64_t members)
    : t_end_(t_end), Nrate_(Nrate), members_(members) {
  if (Nrate < 1 || Nrate > kMaxRateBins) {
    throw RangeError("\"Mesh for rate, Nrate\" must lie between 1 and " + std::to_string(kMaxRateBins) + ", not " +
                     std::to_string(Nrate));
  }
  if (!(t_end > 0.0) || !std::isfinite(t_end)) throw RangeError("the run length t_end must be positive");
  if (members < 1) throw RangeError("the ensemble needs at least one member");
  delta_ = t_end / Nrate;
  weight_ = 1.0 / (static_cast<double>(members) * delta_);
  ro_.assign(static_cast<std::size_t>(Nrate) + 1, 0.0);
}

std::int32_t RateHistogram::BinOf(double t) const {
  // nearbyint rounds halves to the even neighbour in the default rounding mode.
  const double k = std::nearbyint(t / t_end_ * Nrate_);
  if (!(k >= 0.0 && k <= Nrate_)) return -1;
  return static_cast<std::int32_t>(k);
}

void RateHistogram::AddSpike(double t) {
  const std::int32_t k = BinOf(t);
  if (k >= 0) ro_[static_cast<std::size_t>(k)] += weight_;
}

void RateHistogram::Clear() { std::fill(ro_.begin(), ro_.end(), 0.0); }

void RateHistogram::CountOnly(std::int64_t done) {
  if (done < 1 || done > members_) {
    throw RangeError("the rate is counted over 1 ... " + std::to_string(members_) + " members, not " +
                     std::to_string(done));
  }
  if (done == members_) return;
  const double scale = static_cast<double>(members_) / static_cast<double>(done);
  for (double& r : ro_) r *= scale;
  weight_ *= scale;
  members_ = done;
}

double RateHistogram::Peak() const { return *std::max_element(ro_.begin(), ro_.end()); }

double RateHistogram::Mean() const {
  double sum = 0.0;
  for (double r : ro_) sum += r;
  return sum / static_cast<double>(ro_.size());
}

std::string RateLine(double tMs, double rate) {
  std::string line;
  AppendFixed(line, tMs, 9, 3);
  line += ' ';
  AppendFixed(line, rate, 9, 5);
  return line;
}

void WriteRateFile(const std::string& path, const RateHistogram& ro) {
  SweepFile out(path);
  for (std::int32_t k = 0; k <= ro.Nrate(); ++k) {
    out.WriteLine(RateLine(ro.TimeOf(k) * 1000.0, ro.ro()[static_cast<std::size_t>(k)]));
  }
  out.Close();
}

}  // namespace membrix
