#pragma once
// The recordings a run is compared with: which recording the run uses, the
// file behind each recording number, and their scales.

#include <array>
#include <cstdint>
#include <string>

namespace membrix {

struct Session;

inline constexpr int kMaxRecording = 20;

struct RecordingGlobals {
  std::int32_t Smpl = 1;     // recording number of the run, 0..20
  std::int32_t NSmpls = 1;   // number of recordings of the parameter file
  std::array<std::string, kMaxRecording + 1> SmplFile{};  // "NoFile" = none
  std::string IdFileName;    // open parameter file; empty = the built-in sets
  double scx_Smpl = 0.001;   // time scale of a recording file
  double scy_Smpl = -1.0;    // value scale of a recording file
};

// Fills column Smpl of ExpData for the coming run: zeros when the recording has
// no file, else the recording resampled on the model grid.
void PrepareRecordingForRun(Session& s);

}  // namespace membrix
