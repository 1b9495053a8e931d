#include "run/recording.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "common/error.h"
#include "common/number_columns.h"
#include "common/quoted_text.h"
#include "params/parameter_file.h"
#include "run/session.h"
#include "tasks/task_files.h"

namespace membrix {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == ','; }

// Reads the next number of a line, numbers separated by blanks or commas;
// false when there is none.
bool NextNumber(std::string_view& line, double& x) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  line.remove_prefix(i);
  if (line.empty()) return false;
  std::string_view text = line;
  if (text.front() == '+') text.remove_prefix(1);
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
  if (ec != std::errc() || !std::isfinite(x)) return false;
  line.remove_prefix(static_cast<std::size_t>(ptr - line.data()));
  return line.empty() || IsBlank(line.front());
}

// The lines of a text, ended by LF, CR LF or a lone CR.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) {
      line = text_.substr(pos_);
      pos_ = text_.size();
    } else {
      line = text_.substr(pos_, end - pos_);
      pos_ = end + (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n' ? 2 : 1);
    }
    ++number_;
    return true;
  }
  int number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int number_ = 0;
};

bool IsBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

}  // namespace

void ApplyGivenRecordingFile(Session& s, int k) {
  if (k < 0 || k > kMaxRecording) return;
  const std::string& given = s.rec.SmplFileGiven[static_cast<std::size_t>(k)];
  if (given.empty()) return;
  s.rec.SmplFile[static_cast<std::size_t>(k)] = given;
  s.rec.IfDataIn1column = 0;
  s.rec.scx_Smpl = kGivenRecordingTimeUnit;
  s.rec.DataFormat = 1;
}

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
  const std::string text = ReadInputOnce(path);
  RecordedTrace& trace = rec.Trace;
  trace.time.clear();
  trace.value.clear();
  trace.file = path;
  const bool oneColumn = rec.IfDataIn1column == 1;
  const double sign = rec.DataFormat == 2 ? -1.0 : 1.0;
  const std::string layout = oneColumn ? "one value per line (IfDataIn1column = 1)" : "a time and a value per line";
  Lines lines(text);
  std::string_view line;
  while (lines.Next(line)) {
    if (IsBlankLine(line)) continue;
    if (HasDecimalComma(line)) {
      throw FormatError(path, lines.number(),
                        "decimal comma in " + Quoted(line) + ": write numbers with a decimal point");
    }
    std::string_view rest = line;
    double t = 0, v = 0;
    if (oneColumn) {
      if (!NextNumber(rest, v)) throw FormatError(path, lines.number(), "expected a number, found " + Quoted(line));
      t = static_cast<double>(trace.time.size() + 1) * 0.05;
    } else if (!NextNumber(rest, t) || !NextNumber(rest, v)) {
      throw FormatError(path, lines.number(), "expected a time and a value, found " + Quoted(line));
    }
    double more = 0;
    if (NextNumber(rest, more)) {
      throw FormatError(path, lines.number(), "more numbers than " + layout + ": " + Quoted(line));
    }
    trace.time.push_back(t);
    trace.value.push_back(sign * v);
  }
  if (trace.time.empty()) throw FormatError(path, 0, "the recording holds no points");
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
  const std::int64_t last = s.run.nt_end;
  s.ExpData.Resize(column, last);
  s.ModelData.Resize(column, last);
  for (std::int64_t i = 0; i <= last; ++i) {
    s.ExpData(i, column) = Interpolate(s, static_cast<double>(i) * s.run.dt / s.rec.scx_Smpl);
  }
}

void ClearRecording(Session& s) {
  const int column = s.rec.Smpl;
  s.ExpData.Resize(column, -1);  // reads as 0 at every row
  s.ModelData.Resize(column, std::min(s.run.nt_end, kModelRowsWithoutRecording));
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
    for (std::int64_t i = 0; i < s.ExpData.Rows(k); ++i) {
      const double v = s.ExpData.At(i, k);
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
