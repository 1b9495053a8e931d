#pragma once
// The parameters a run starts from: the section of the run's recording in the
// open parameter file, or the built-in set of that recording.

namespace membrix {

struct Session;

// Loads the parameters of the session's recording Smpl for a run.
void LoadRunParameters(Session& s);

// The built-in set of recording k, used when no parameter file is open:
// recording 1 compares with nothing; the others change nothing.
void ApplyBuiltInRecordingSet(Session& s, int k);

}  // namespace membrix
