#pragma once
// The parameters a run starts from: the section of the run's recording in the
// open parameter file, or the built-in set of that recording.

namespace membrix {

struct Session;

void LoadRunParameters(Session& s);

}  // namespace membrix
