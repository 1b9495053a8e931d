#include "run/recording.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/error.h"
#include "params/parameter_file.h"
#include "run/session.h"

namespace membrix {

namespace {

int LastRow(const Session& s) { return std::min(TraceTable::kLastRow, s.run.nt_end); }

// Reads the next blank-separated number of a line; false when there is none.
bool NextNumber(std::string_view& line, double& x) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == ',')) ++i;
  line.remove_prefix(i);
  if (line.empty()) return false;
  std::string_view text = line;
  if (text.front() == '+') text.remove_prefix(1);
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
  if (ec != std::errc() || !std::isfinite(x)) return false;
  line.remove_prefix(static_cast<std::size_t>(ptr - line.data()));
  return line.empty() || line.front() == ' ' || line.front() == '\t' || line.front() == '\r' ||
         line.front() == ',';
}

}  // namespace

bool NamesRecordingFile(const std::string& entry) { return !entry.empty() && entry != "NoFile"; }

std::string RecordingPath(const Session& s, const std::string& entry) {
  namespace fs = std::filesystem;
  const fs::path name(entry);
  std::error_code ec;
  if (name.is_absolute() || fs::exists(name, ec) || s.rec.IdFileName.empty()) return entry;
  const fs::path beside = fs::path(s.rec.IdFileName).parent_path() / name;
  if (fs::exists(beside, ec)) return beside.string();
  return entry;
}

void ReadRecording(Session& s) {
  RecordingGlobals& rec = s.rec;
  const std::string path = RecordingPath(s, rec.SmplFile[rec.Smpl]);
  std::ifstream in(path);
  if (!in) throw IoError(path, std::strerror(errno));
  RecordedTrace& trace = rec.Trace;
  trace.time.clear();
  trace.value.clear();
  trace.file = path;
  const bool oneColumn = rec.IfDataIn1column == 1;
  const double sign = rec.DataFormat == 2 ? -1.0 : 1.0;
  std::string text;
  int lineNumber = 0;
  while (static_cast<int>(trace.time.size()) < kMaxRecordingPoints && std::getline(in, text)) {
    ++lineNumber;
    std::string_view line(text);
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    double t = 0, v = 0;
    if (oneColumn) {
      if (!NextNumber(line, v)) throw FormatError(path, lineNumber, "expected a number, found \"" + text + "\"");
      t = static_cast<double>(trace.time.size() + 1) * 0.05;
    } else if (!NextNumber(line, t) || !NextNumber(line, v)) {
      throw FormatError(path, lineNumber, "expected a time and a value, found \"" + text + "\"");
    }
    trace.time.push_back(t);
    trace.value.push_back(sign * v);
  }
  if (in.bad()) throw IoError(path, std::strerror(errno));
}

double Interpolate(const Session& s, double x) {
  const RecordedTrace& trace = s.rec.Trace;
  const std::size_t count = trace.time.size();
  if (count == 0) return 0.0;
  if (count == 1) return trace.value[0];
  // The first point after x, at least the second point, at most the last.
  const auto after = std::upper_bound(trace.time.begin() + 1, trace.time.end() - 1, x);
  const std::size_t k = static_cast<std::size_t>(after - trace.time.begin());
  const double span = trace.time[k] - trace.time[k - 1];
  const double f = span <= 1e-8 ? 0.0 : (x - trace.time[k - 1]) / span;
  return (1.0 - f) * trace.value[k - 1] + f * trace.value[k];
}

void Resample(Session& s) {
  const int column = s.rec.Smpl;
  for (int i = 0; i <= LastRow(s); ++i) s.ExpData(i, column) = Interpolate(s, i * s.run.dt / s.rec.scx_Smpl);
}

void ClearRecording(Session& s) {
  const int column = s.rec.Smpl;
  for (int i = 0; i <= LastRow(s); ++i) s.ExpData(i, column) = 0.0;
}

void LoadRecording(Session& s) {
  ReadRecording(s);
  Resample(s);
}

void ChooseRecordingFile(Session& s, const std::string& file, int dataFormat) {
  s.rec.Smpl = 0;
  s.rec.SmplFile[0] = file;
  s.rec.DataFormat = dataFormat;
}

void PrepareRecordingForRun(Session& s) {
  if (NamesRecordingFile(s.rec.SmplFile[s.rec.Smpl])) {
    LoadRecording(s);
  } else {
    ClearRecording(s);
  }
}

ValueRange RecordingRange(Session& s) {
  ValueRange range;
  const int current = s.rec.Smpl;
  const int count = std::clamp(s.rec.NSmpls, 0, kMaxRecording);
  for (int k = 1; k <= count; ++k) {
    s.rec.Smpl = k;
    LoadRecordingSection(s, k);
    if (!NamesRecordingFile(s.rec.SmplFile[k])) {
      ClearRecording(s);
      continue;
    }
    LoadRecording(s);
    for (int i = 0; i <= LastRow(s); ++i) {
      const double v = s.ExpData(i, k);
      range.min = range.any ? std::min(range.min, v) : v;
      range.max = range.any ? std::max(range.max, v) : v;
      range.any = true;
    }
  }
  s.rec.Smpl = current;
  LoadRecordingSection(s, current);
  PrepareRecordingForRun(s);
  return range;
}

}  // namespace membrix
