#pragma once
// The recordings a run is compared with: which recording the run uses, the
// file behind each recording number, the loaded recording as (time, value)
// points, and its resampling onto the model time grid (ExpData).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace membrix {

struct Session;

inline constexpr int kMaxRecording = 20;
// Without a recording to compare with, the model's values of the first 25000
// steps are kept (a fixed cost): enough for the sweeps the ramp analyzer takes
// from a simulation, which hold samples 0 ... 25000.
inline constexpr std::int64_t kModelRowsWithoutRecording = 25000;

// The recording last read: times in ms, values as recorded (mV or pA).
struct RecordedTrace {
  std::vector<double> time;
  std::vector<double> value;
  std::string file;  // the file the points came from
};

struct RecordingGlobals {
  std::int32_t Smpl = 1;     // recording number of the run, 0..20
  std::int32_t NSmpls = 1;   // number of recordings of the parameter file
  std::array<std::string, kMaxRecording + 1> SmplFile{};  // "NoFile" = none
  // A file given for recording k in place of the one its section names (the
  // Python module's recordings from arrays): it stays the recording's file
  // however often the section is loaded again, in the session and its copies.
  std::array<std::string, kMaxRecording + 1> SmplFileGiven{};
  std::string IdFileName;    // open parameter file; empty = the built-in sets
  std::string IdFileText;    // its text, read once when it was opened
  double scx_Smpl = 0.001;   // model seconds per time unit of a recording file
  double scy_Smpl = -1.0;    // value scale of a recording file (kept, not applied)
  std::int32_t IfDataIn1column = 0;  // 1 = one value per line, else time and value
  std::int32_t DataFormat = 0;       // 0 = no file chosen, 1 = values as read, 2 = values negated
  std::string File_u_s;              // file of the (u,s) frequency map
  RecordedTrace Trace;
};

// A given recording file (SmplFileGiven) holds time (ms) and the value the run
// compares, as it is: its time unit and data format replace the section's.
inline constexpr double kGivenRecordingTimeUnit = 0.001;
// Makes the file given for recording k (when there is one) the recording's
// file, with its time unit and data format.
void ApplyGivenRecordingFile(Session& s, int k);

// Whether a recording entry names a file ("NoFile" and the empty text do not).
bool NamesRecordingFile(const std::string& entry);

// The path a recording entry is read from: the name itself when it is absolute
// or found from the current folder, else the name next to the open parameter
// file when it is there.
std::string RecordingPath(const Session& s, const std::string& entry);

// Reads the file of recording Smpl into the trace: one value per line (at
// 0.05 ms per line) or time and value per line, numbers separated by blanks or
// commas; values negated when DataFormat is 2. Lines end in LF, CR LF or CR;
// blank lines are skipped, text after the numbers is ignored. Every point of
// the file is read (memory is the limit). Throws IoError
// for a file that cannot be read, and FormatError (file, line) for a file
// without points or a line without the numbers of the layout, with more of
// them, or with a decimal comma.
void ReadRecording(Session& s);

// The loaded recording at time x (ms): linear between the points around x,
// extended linearly beyond the first and last segments. 0 without points, the
// one value with a single point.
double Interpolate(const Session& s, double x);

// Column Smpl of ExpData, rows 0 .. nt_end: the recording at each model time
// (the recording's time unit is scx_Smpl seconds). Column Smpl of ModelData
// gets the same rows, for the model's values of the run compared with it.
void Resample(Session& s);
// Column Smpl of ExpData reads 0 at every row and holds none; column Smpl of
// ModelData keeps the model's values of the first 25000 steps at most.
void ClearRecording(Session& s);
// ReadRecording, then Resample.
void LoadRecording(Session& s);

// Chooses a file as recording 0, as "Set exp. data file" does (DataFormat 2,
// values negated) or "... in old format" (DataFormat 1, values as read).
void ChooseRecordingFile(Session& s, const std::string& file, int dataFormat);

// Fills column Smpl of ExpData for the coming run: zeros when the recording has
// no file, else the recording resampled on the model grid.
void PrepareRecordingForRun(Session& s);

struct ValueRange {
  double min = 0.0;
  double max = 0.0;
  bool any = false;
};
// Loads every recording 1 .. NSmpls with its parameter section and returns the
// range of their values on the model grid; the recording current before is
// current again afterwards, with its section and data reloaded.
ValueRange RecordingRange(Session& s);

}  // namespace membrix
