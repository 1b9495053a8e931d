#include "analysis/z_function.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/firing_clamp.h"
#include "analysis/firing_clamp_analysis.h"
#include "analysis/procedural_neuron.h"
#include "analysis/spike_detector.h"
#include "analysis/sweep_file.h"
#include "channels/procedural/hh_canal.h"
#include "common/error.h"
#include "common/number_format.h"
#include "run/clamp_run.h"
#include "run/session.h"

namespace membrix {

namespace {

constexpr std::int32_t kLast = kZRing - 1;  // 1000

// The ring sample `back` steps before the newest one.
double Back(const std::array<double, kZRing>& ring, std::int32_t pos, std::int32_t back) {
  return ring[static_cast<std::size_t>(((pos - back) % kZRing + kZRing) % kZRing)];
}

// The number of steps of the last interval the ring holds, when it ends
// `after` samples before the newest one.
std::int32_t IntervalSteps(const ZFunctionState& z, double isi, double dt, std::int32_t after = 0) {
  const double steps = isi / dt;
  const std::int32_t byIsi = steps < kLast ? static_cast<std::int32_t>(steps) : kLast;
  return std::max(0, std::min({z.count - 1 - after, byIsi, kLast}));
}

double At(const std::vector<double>& v, std::int64_t i) {
  return i >= 0 && i < static_cast<std::int64_t>(v.size()) ? v[static_cast<std::size_t>(i)] : 0.0;
}

// The last interval, oldest first: n + 1 samples of a ring ending `after`
// samples before its newest one. The vectors keep their room between spikes.
void TakeInterval(const ZFunctionState& z, const std::array<double, kZRing>& ring, std::int32_t n,
                  std::int32_t after, std::vector<double>& out) {
  out.resize(static_cast<std::size_t>(n + 1));
  for (std::int32_t k = 0; k <= n; ++k) out[static_cast<std::size_t>(k)] = Back(ring, z.pos, after + n - k);
}

// The voltage a little before the spike that ends an interval of n + 1
// samples, between the two samples around it.
double VoltageBeforeSpike(const std::vector<double>& V, std::int32_t n, double dt) {
  double c = 0.0012 / dt;
  c = std::clamp(c, 0.0, static_cast<double>(std::max(0, n - 1)));
  const double at = n - c;
  const std::int32_t i0 = static_cast<std::int32_t>(std::floor(at));
  const double f = at - i0;
  return i0 + 1 <= n ? (1.0 - f) * At(V, i0) + f * At(V, i0 + 1) : At(V, i0);
}

// The samples i = 0 ... m back from sample n of both voltages lie under -40 mV.
bool UnderThreshold(const ISIPair& v, std::int32_t n, std::int32_t i) {
  const std::int64_t k = static_cast<std::int64_t>(n) - i;
  if (k < 0 || k >= static_cast<std::int64_t>(v.V_det.size()) || k >= static_cast<std::int64_t>(v.V_no.size())) {
    return false;
  }
  return v.V_det[static_cast<std::size_t>(k)] < -0.04 && v.V_no[static_cast<std::size_t>(k)] < -0.04;
}

// The last n + 1 samples of a vector (aligned at its end).
std::vector<double> Tail(const std::vector<double>& v, std::int32_t n) {
  const std::size_t m = std::min(v.size(), static_cast<std::size_t>(n + 1));
  return std::vector<double>(v.end() - static_cast<std::ptrdiff_t>(m), v.end());
}

class QuietRun final : public FiringClampSink {};

}  // namespace

void KernelStep(Session& s, const ZFunctionInputs& in, std::int32_t SpikePhase) {
  ZFunctionState& z = s.z;
  const NeuronVariables& nv = s.NV0;
  const double dt = s.run.dt;
  const std::int64_t nt = s.run.nt;
  if (nt <= 1) {
    z.x.fill(0.0);
    z.Z.fill(0.0);
    z.nSpikes = z.K = 0;
    z.W = 1000;
    z.lastSpikeStep = nt;
  }
  const double base = s.prog.NoiseToSignal * z.u0;
  double c = s.stim.tau_Noise > 0.0 ? s.stim.tau_Noise * base * base : base * base * dt;
  if (std::abs(c) < 1e-10) c = 1.0;
  double x = 0.0;
  if (in.Input == 0) {
    x = (s.stim.uu - z.u0 - (s.stim.ss - z.s0) * (nv.Vprev - s.stim.Vus)) / c;
  } else if (nv.V <= -0.04) {
    const double k = std::trunc((s.run.t - nv.tLastSpike) / dt);
    x = (nv.V - At(z.V_det, static_cast<std::int64_t>(k))) / c;
  }
  if (SpikePhase == 2) {
    double y = 1.0;
    const double isi = s.spikes.ISI[0];
    if (in.Output == 1) y = (isi > 1e-6 ? 1.0 / isi : 0.0) - z.freq;
    if (in.Output == 2) y = s.spikes.VavLast - z.VavLast;
    ++z.nSpikes;
    const std::int64_t steps = nt - z.lastSpikeStep;
    if (z.nSpikes > 1 && steps <= 1000) {
      ++z.K;
      const double K = z.K;
      for (std::int64_t m = 0; m <= steps; ++m) {
        // The input m steps before this spike; the history holds it by its
        // distance from the previous spike.
        const double xm = m == 0 ? x : z.x[static_cast<std::size_t>(steps - m)];
        double& Zm = z.Z[static_cast<std::size_t>(m)];
        Zm = ((K - 1.0) * Zm + y * xm) / K;
      }
      z.W = std::min<std::int32_t>(z.W, static_cast<std::int32_t>(steps));
    }
    z.lastSpikeStep = nt;
  }
  const std::int64_t d = nt - z.lastSpikeStep;
  if (d < 1000) z.x[static_cast<std::size_t>(d)] = x;
  if (nt == s.run.nt_end && !in.kernelFile.empty()) WriteKernelFile(z, dt, in.kernelFile);
}

std::vector<std::pair<double, double>> KernelPoints(const ZFunctionState& z, double dt) {
  std::vector<std::pair<double, double>> points;
  for (std::int32_t m = 0; m <= z.W; ++m) points.emplace_back(-m * dt * 1000.0, z.Z[static_cast<std::size_t>(m)]);
  return points;
}

void WriteKernelFile(const ZFunctionState& z, double dt, const std::string& file) {
  SweepFile out(file);
  std::string line;
  for (auto [lag, value] : KernelPoints(z, dt)) {
    line.clear();
    AppendFixed(line, lag, 10, 3);
    line += ' ';
    AppendScientific(line, value, 13);
    out.WriteLine(line);
  }
  out.Close();
}

std::vector<double> ReadStoredZ(const std::string& file, double dt) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return {};
  std::ifstream in(file);
  if (!in) throw IoError(file, "cannot be opened");
  std::vector<double> values;
  double lastTime = 0.0;
  int lineNo = 0, lastTimeLine = 0;
  for (std::string line; values.size() < 1000 && std::getline(in, line);) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::istringstream fields(line);
    double t = 0.0, v = 0.0;
    if (!(fields >> t >> v) || !std::isfinite(t) || !std::isfinite(v)) {
      throw FormatError(file, lineNo, "expected two numbers: the time before the spike (ms) and the value");
    }
    lastTime = t;
    lastTimeLine = lineNo;
    values.push_back(v);
  }
  if (values.size() < 2) throw FormatError(file, lineNo, "a Z-function needs at least two lines");
  const double dtFile = -lastTime / static_cast<double>(values.size() - 1) / 1000.0;
  if (!(dtFile > 0.0)) {
    throw FormatError(file, lineNo, "the times must run back from the spike (0 ms) to negative values");
  }
  // The function covers the interval before a spike, in milliseconds. Below
  // half a millisecond (a rate of 2000 Hz) or beyond a second it is not an
  // interval of a firing neuron: most likely the times are in seconds or in
  // microseconds, and read as milliseconds they would be stretched or squeezed
  // a thousandfold when resampled to the run's step.
  if (-lastTime < kStoredZMinSpanMs || -lastTime > kStoredZMaxSpanMs) {
    std::ostringstream what;
    what << "the last time, " << lastTime << " ms before the spike, lies outside -" << kStoredZMaxSpanMs << " ... -"
         << kStoredZMinSpanMs << " ms: the times must be in milliseconds";
    throw FormatError(file, lastTimeLine, what.str());
  }
  if (std::abs(dtFile - dt) / dt <= 0.01) return values;
  // Resampled to the run's step, and never longer than the ring.
  const double length = std::trunc(static_cast<double>(values.size()) * dtFile / dt);
  const std::size_t n = static_cast<std::size_t>(std::min<double>(length, kZRing));
  std::vector<double> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t k = static_cast<std::size_t>(std::trunc(static_cast<double>(i) * dt / dtFile + 1e-9));
    out[i] = values[std::min(k, values.size() - 1)];
  }
  return out;
}

void LoadStoredZ(Session& s, const std::string& storedFolder) {
  const std::filesystem::path folder = storedFolder;
  // The files themselves are optional, the folder named for them is not: a
  // mistyped folder would otherwise leave every stored function empty.
  if (!folder.empty()) {
    std::error_code ec;
    const bool isFolder = std::filesystem::is_directory(folder, ec);
    if (!isFolder) {
      const bool exists = std::filesystem::exists(folder, ec);
      throw IoError(folder.string(), exists ? "is not a folder (the folder of the stored Z-functions)"
                                            : "the folder of the stored Z-functions does not exist");
    }
  }
  auto path = [&](const char* name) { return (folder / name).string(); };
  s.z.storedZ = ReadStoredZ(path(kStoredZFile), s.run.dt);
  s.z.storedZVav = ReadStoredZ(path(kStoredZVavFile), s.run.dt);
  s.z.storedZUnit = ReadStoredZ(path(kStoredZUnitFile), s.run.dt);
}

void PushTrace(Session& s, double g, double I, double V) {
  ZFunctionState& z = s.z;
  if (s.run.nt <= 1) z.count = z.pos = z.samplesAfterSpike = 0;
  ++z.samplesAfterSpike;
  z.pos = z.pos >= kLast ? 0 : z.pos + 1;
  const std::size_t p = static_cast<std::size_t>(z.pos);
  z.ringV[p] = V;
  z.ringI[p] = I;
  z.ringG[p] = g;
  z.count = std::min(z.count + 1, kZRing);
}

void OrbitFromRing(Session& s) {
  ZFunctionState& z = s.z;
  const double dt = s.run.dt;
  const double isi = s.spikes.ISI[0];
  const std::int32_t n = IntervalSteps(z, isi, dt);
  z.n = n;
  TakeInterval(z, z.ringV, n, 0, z.V_det);
  TakeInterval(z, z.ringI, n, 0, z.I_det);
  TakeInterval(z, z.ringG, n, 0, z.g_det);
  z.freq = isi > 1e-6 ? 1.0 / isi : 0.0;
  z.VavLast = s.spikes.VavLast;
  z.V1ms = VoltageBeforeSpike(z.V_det, n, dt);
}

void ClearSpikeProducts(Session& s) { s.z.Convolution = s.z.VxZ = s.z.IxZ = 0.0; }

void SpikeProducts(Session& s) {
  ZFunctionState& z = s.z;
  const double dt = s.run.dt, t = s.run.t;
  const double isi = s.spikes.ISI[0];
  // The interval this spike ends, taken beside the deterministic orbit, which
  // stays what the kernel and the one-ISI analysis compare against.
  const std::int32_t n = IntervalSteps(z, isi, dt);
  z.nLast = n;
  TakeInterval(z, z.ringV, n, 0, z.V_last);
  TakeInterval(z, z.ringI, n, 0, z.I_last);
  z.V1msLast = VoltageBeforeSpike(z.V_last, n, dt);
  z.samplesAfterSpike = 0;
  const double ta = t - isi;
  const bool rariza = s.NP0.HH_type == "Rariza";
  double c = ta + (rariza ? 0.002 : 0.0008), d = t - (rariza ? 0.001 : 0.0008);
  double conv = 0.0;
  bool fits = true;
  if (d - c < dt + 1e-8) {
    c = (ta + t) / 2.0;
    d = c + dt + 1e-8;
    fits = d <= t;
  }
  if (fits) {
    double sum = 0.0, weights = 0.0;
    for (std::int32_t k = 0; k <= n; ++k) {
      const double tau = t - (n - k) * dt;
      if (tau < c || tau > d) continue;
      const double w = (tau - c) * (d - tau);
      sum += z.V_last[static_cast<std::size_t>(k)] * w;
      weights += w;
    }
    conv = weights > 0.0 ? sum / weights : 0.0;
  }
  z.Convolution = conv;
  const std::vector<double>& unit = z.storedZUnit;
  double sv = 0.0, si = 0.0, sz = 0.0;
  const std::int32_t m = std::min<std::int32_t>(n, static_cast<std::int32_t>(unit.size()) - 1);
  for (std::int32_t i = 0; i <= m; ++i) {
    const double zi = unit[static_cast<std::size_t>(i)];
    sv += z.V_last[static_cast<std::size_t>(n - i)] * zi;
    si += z.I_last[static_cast<std::size_t>(n - i)] * zi;
    sz += zi;
  }
  z.VxZ = sz != 0.0 ? sv / sz : 0.0;
  z.IxZ = sz != 0.0 ? si / sz : 0.0;
}

bool DeterministicPreRun(Session& s, std::int32_t nSpikes, double u, double sIn) {
  const double uu0 = s.stim.uu, ss0 = s.stim.ss;
  s.stim.ss = sIn;
  ResetRunState(s);
  s.resetProtocol = {};
  // (u, sIn) as the map and the firing clamp give it, against Vus.
  s.stim.uu = ProceduralU(u, sIn, s.stim.Vus, s.NP0);
  ProceduralGlobals g;
  g.tau1 = s.proc.tau1;
  NeuronVariables& nv = s.NV0;
  ProceduralRest(s, g);
  nv.VatE = nv.V;
  nv.dVdt = nv.d2Vdt2 = 0.0;
  ResetStimulusState(s.stim, nv.V);
  nv.SpikePhase = 0;
  nv.Rearm = {};
  s.spikes.nSpikes = 0;
  s.spikes.ISI[0] = 0.0;
  RunGlobals& run = s.run;
  bool fired = false;
  CheckRunLength(run);
  run.nt = 0;
  while (run.nt < run.nt_end) {
    ++run.nt;
    run.t = run.nt * run.dt;
    ProceduralStep(s, g);
    TrackSpikesIn(s, s.NP0, nv);
    // The orbit is the noisy runs' neuron without the noise: the same reset
    // after each spike, or every interval would differ from it by the reset.
    ResetProtocolStep(s);
    PushTrace(s, nv.gSum, u, nv.V);
    if (!(nv.V >= -0.15 && nv.V <= 0.15)) break;
    if (nv.SpikePhase == 2 && s.spikes.nSpikes >= nSpikes) {
      fired = true;
      break;
    }
  }
  if (fired) OrbitFromRing(s);
  s.stim.uu = uu0;
  s.stim.ss = ss0;
  s.stim.du_Reset = 0.0;
  return fired;
}

double ZConvolution(const std::vector<double>& Z, const std::vector<double>& I, ZMode mode, double scale,
                    std::int32_t n, double dt, const ISIPair& v) {
  if (Z.empty() || !(scale > 0.0)) return 0.0;
  const std::int32_t m = std::min<std::int32_t>(n, static_cast<std::int32_t>(std::lround(Z.size() / scale)));
  double S = 0.0, W = 0.0;
  for (std::int32_t i = 0; i <= m; ++i) {
    const std::size_t zi = static_cast<std::size_t>(std::lround(i * scale));
    if (zi >= Z.size()) break;
    if (mode == ZMode::UnderThr && !UnderThreshold(v, n, i)) continue;
    S += At(I, n - i) * Z[zi] * dt;
    W += Z[zi] * dt;
  }
  if (mode == ZMode::Normalized) return W != 0.0 ? S / W : 0.0;
  return S;
}

double SecondKernel(const std::vector<double>& Z, const std::vector<double>& I, ZMode mode, std::int32_t n,
                    double dt, const ISIPair& v) {
  if (Z.empty()) return 0.0;
  const std::int32_t m = std::min<std::int32_t>(n, static_cast<std::int32_t>(Z.size()) - 1);
  double S2 = 0.0, W2 = 0.0;
  for (std::int32_t i = 0; i <= m; ++i) {
    if (!UnderThreshold(v, n, i)) continue;
    const double zi = Z[static_cast<std::size_t>(i)], Ii = At(I, n - i);
    for (std::int32_t j = 0; j <= m; ++j) {
      const double zj = Z[static_cast<std::size_t>(j)];
      S2 += zi * zj * Ii * At(I, n - j);
      W2 += zi * zj;
    }
  }
  S2 *= dt * dt;
  W2 *= dt * dt;
  if (mode == ZMode::Normalized) return W2 != 0.0 ? S2 / W2 : 0.0;
  return S2;
}

NoisyInterval CaptureNoisyInterval(Session& s) {
  const ZFunctionState& z = s.z;
  NoisyInterval out;
  // A run ends a few steps after its last spike (when the spike has passed
  // the width level): the interval ends at the spike, as the orbit does.
  const std::int32_t after = std::clamp(z.samplesAfterSpike, 0, std::max(0, z.count - 1));
  const std::int32_t n = IntervalSteps(z, s.spikes.ISI[0], s.run.dt, after);
  out.n_no = n;
  TakeInterval(z, z.ringV, n, after, out.V_no);
  TakeInterval(z, z.ringI, n, after, out.I_no);
  TakeInterval(z, z.ringG, n, after, out.g_no);
  for (std::int32_t k = 0; k < z.count - after; ++k) out.H.push_back(Back(z.ringV, z.pos, z.count - 1 - k));
  const double isi = s.spikes.ISI[0];
  out.freq = isi > 1e-6 ? 1.0 / isi : 0.0;
  out.Vav = s.spikes.VavLast;
  return out;
}

IntervalDisturbance DisturbanceCurrent(Session& s, const NoisyInterval& noisy, double u0, double s0) {
  IntervalDisturbance out;
  const NeuronVariables savedNV = s.NV0;
  const SpikeStats savedSpikes = s.spikes;
  if (!DeterministicPreRun(s, 5, u0, s0) || noisy.n_no < 1) {
    s.NV0 = savedNV;
    s.spikes = savedSpikes;
    return out;
  }
  out.ok = true;
  const ZFunctionState& z = s.z;
  const std::vector<double> V_det = z.V_det;
  const std::int32_t n_det = z.n, n_no = noisy.n_no;
  out.freq_det = z.freq;
  out.Vav_det = z.VavLast;
  const std::int32_t n_c = std::min(n_det, n_no);
  out.n_c = n_c;
  for (std::int32_t k = 0; k <= n_c; ++k) {
    out.D.push_back(noisy.V_no[static_cast<std::size_t>(n_no - n_c + k)] -
                    V_det[static_cast<std::size_t>(n_det - n_c + k)]);
  }
  out.dfreq = noisy.freq - out.freq_det;
  out.dVav = noisy.Vav - out.Vav_det;
  // Both voltages aligned at the spike, for the sub-threshold test.
  out.v.V_det = Tail(V_det, n_c);
  out.v.V_no = Tail(noisy.V_no, n_c);

  // The Na and K gates follow the noisy history up to the interval's start.
  const NeuronProperties& np = s.NP0;
  NeuronVariables& nv = s.NV0;
  const double dt = s.run.dt;
  ProceduralGlobals g;
  g.tau1 = s.proc.tau1;
  nv.V = np.Vrest;
  ProcInitGates(s, g);
  const std::int64_t start = static_cast<std::int64_t>(noisy.H.size()) - 1 - n_no;
  for (std::int64_t k = 1; k <= start; ++k) {
    nv.Vprev = noisy.H[static_cast<std::size_t>(k - 1)];
    nv.V = noisy.H[static_cast<std::size_t>(k)];
    ProcINa(s, g);
    ProcIK(s);
  }
  out.I_dstb.assign(static_cast<std::size_t>(n_no + 1), 0.0);
  for (std::int32_t k = 1; k <= n_no; ++k) {
    const double V = noisy.V_no[static_cast<std::size_t>(k - 1)];
    nv.Vprev = k >= 2 ? noisy.V_no[static_cast<std::size_t>(k - 2)] : V;
    nv.V = V;
    const double INa = ProcINa(s, g);
    const double IK = ProcIK(s);
    double I = np.Cm * (noisy.V_no[static_cast<std::size_t>(k)] - V) / dt + INa + IK +
               np.gL * (V - np.VL) * (1.0 - np.IfBlockPass) + s0 * (V - s.stim.Vus) - u0;
    // Where the orbit spikes the current says nothing about the input. The
    // proportional sample may reach the orbit's end when the noisy interval is
    // the longer one: the last pair of samples then decides. Nor does the
    // noisy voltage's own jump at a voltage reset, which the proportional
    // sample of the orbit may miss by a step: it would stand for an input
    // current of hundreds of µA/cm².
    std::int64_t j = std::lround(static_cast<double>(k) * n_det / n_no);
    j = std::clamp<std::int64_t>(j, 0, std::max(0, n_det - 1));
    const bool orbitSpikes =
        n_det >= 1 && std::abs(V_det[static_cast<std::size_t>(j + 1)] - V_det[static_cast<std::size_t>(j)]) / dt > 20.0;
    const bool noisyJumps = std::abs(noisy.V_no[static_cast<std::size_t>(k)] - V) / dt > 20.0;
    if (orbitSpikes || noisyJumps) I = 0.0;
    out.I_dstb[static_cast<std::size_t>(k)] = I;
  }
  double mean = 0.0;
  for (double I : out.I_dstb) mean += I;
  mean /= static_cast<double>(out.I_dstb.size());
  for (double& I : out.I_dstb) I -= mean;
  double A = 0.0;
  for (std::int32_t k = 1; k < n_c; ++k) {
    A += (std::max(0.0, out.D[static_cast<std::size_t>(k - 1)] - out.D[static_cast<std::size_t>(k)]) - A) * dt / 0.001;
    out.averaged.push_back(A);
  }
  s.NV0 = savedNV;
  s.spikes = savedSpikes;
  return out;
}

OneISIResult AnalyseOneISI(Session& s, const FiringClampAnalysisInputs& in, const FiringClampInputs& fc,
                           const ZFunctionInputs& zIn, Host& host,
                           FiringClampAnalysisSink& sink) {
  if (zIn.n_repeat < 1) throw RangeError("\"n_repeat\" must be at least 1");
  const USMapData map = ReadAnalysisMap(in, fc);
  RequireFiringPoint(map);
  LoadStoredZ(s, zIn.storedFolder);
  OneISIResult out;
  const double Vus = s.stim.Vus, dt = s.run.dt;
  const double uTrue = s.stim.uu, sTrue = s.stim.ss;
  const bool fIsFrequency = fc.FunctionF == 0;
  (void)fIsFrequency;
  for (std::int32_t r = 0; r < zIn.n_repeat; ++r) {
    sink.TrialDone(r, zIn.n_repeat);
    if (host.StopRequested()) {
      out.stopped = true;
      break;
    }
    QuietRun quiet;
    FiringClampFiles files;
    files.records.clear();
    FiringClampResult run = RunWithNoise(s, fc, zIn, host, quiet, 5, files);
    if (run.stopped) {
      out.stopped = true;
      break;
    }
    auto skip = [&out](OneISISkip why) {
      ++out.attempted;
      ++out.skipped[static_cast<std::size_t>(why)];
    };
    if (run.records.empty()) {
      skip(OneISISkip::NoRecords);
      continue;
    }
    const NoisyInterval noisy = CaptureNoisyInterval(s);
    host.ProcessEvents();
    const FiringClampAnalysis first = AnalyzeByFiringClamp(s, in, fc, zIn, host, map, run.records, sink);
    if (first.stopped) {
      out.stopped = true;
      break;
    }
    // The interval analysed is the last one: it needs the last record's
    // estimate (the analysis keeps the record's own time with it).
    if (first.estimates.empty() || first.estimates.back().t != run.records.back().tLastSpike) {
      skip(OneISISkip::NoEstimate);
      continue;
    }
    const FiringClampEstimate& e0 = first.estimates.back();
    const double u0 = -Vus * e0.gE, s0 = e0.gE + e0.gI;
    const IntervalDisturbance d = DisturbanceCurrent(s, noisy, u0, s0);
    if (!d.ok) {
      skip(OneISISkip::SilentPreRun);
      continue;
    }
    const std::int32_t n_c = d.n_c;
    const std::vector<double> I_no = Tail(noisy.I_no, n_c);
    const std::vector<double> I_dstb = Tail(d.I_dstb, n_c);
    double f_no = ZConvolution(s.z.storedZ, I_no, ZMode::UnderThr, 1.0, n_c, dt, d.v);
    double f_dstb = ZConvolution(s.z.storedZ, I_dstb, ZMode::UnderThr, 1.0, n_c, dt, d.v);
    const double w_no = ZConvolution(s.z.storedZVav, I_no, ZMode::UnderThr, 1.0, n_c, dt, d.v);
    const double w_dstb = ZConvolution(s.z.storedZVav, I_dstb, ZMode::UnderThr, 1.0, n_c, dt, d.v);
    const double K2 = SecondKernel(s.z.storedZ, I_no, ZMode::UnderThr, n_c, dt, d.v);
    if (zIn.Output == 0) {
      f_no *= noisy.freq;
      f_dstb *= noisy.freq;
    }
    out.delta_freq = f_no;
    out.predictions.push_back({d.dfreq, f_no, f_dstb, K2, d.dVav, w_dstb});
    out.last = {d.v.V_det, d.v.V_no, d.D, I_dstb, I_no};
    std::vector<SpikeRecord> corrected = run.records;
    corrected.back().F -= f_no;
    corrected.back().G -= w_no;
    const FiringClampAnalysis second = AnalyzeByFiringClamp(s, in, fc, zIn, host, map, corrected, sink);
    double u1 = u0, s1 = s0;
    if (!second.estimates.empty() && second.estimates.back().t == corrected.back().tLastSpike) {
      const FiringClampEstimate& e1 = second.estimates.back();
      u1 = -Vus * e1.gE;
      s1 = e1.gE + e1.gI;
    }
    const double k = out.repeats;
    out.e_u0 = (std::abs(u0 - uTrue) + k * out.e_u0) / (k + 1.0);
    out.e_s0 = (std::abs(s0 - sTrue) + k * out.e_s0) / (k + 1.0);
    out.e_u1 = (std::abs(u1 - uTrue) + k * out.e_u1) / (k + 1.0);
    out.e_s1 = (std::abs(s1 - sTrue) + k * out.e_s1) / (k + 1.0);
    out.u0 = u0;
    out.s0 = s0;
    out.u1 = u1;
    out.s1 = s1;
    ++out.repeats;
    ++out.attempted;
    host.ProcessEvents();
  }
  if (out.repeats == 0 && !out.stopped) {
    throw NothingToAnalyseError("no interval analysed: " + OneISISkippedText(out));
  }
  return out;
}

std::string OneISISkippedText(const OneISIResult& r) {
  const std::int32_t n = r.Skipped();
  if (n == 0) return {};
  static constexpr const char* kWhy[kOneISISkipReasons] = {
      "the noisy run recorded no spike",
      "the last spike has no estimate (its F and G lie outside the map)",
      "the neuron does not fire at the estimated input without noise",
  };
  std::string text = std::to_string(n) + " of " + std::to_string(r.attempted) + " repeats not analysed: ";
  bool first = true;
  for (std::int32_t k = 0; k < kOneISISkipReasons; ++k) {
    const std::int32_t m = r.skipped[static_cast<std::size_t>(k)];
    if (m == 0) continue;
    if (!first) text += "; ";
    // With one reason the count is the one already given.
    if (m != n) text += std::to_string(m) + " because ";
    text += kWhy[k];
    first = false;
  }
  return text;
}

}  // namespace membrix
