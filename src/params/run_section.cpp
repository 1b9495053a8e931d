#include "params/run_section.h"

#include "params/parameter_file.h"
#include "run/session.h"

namespace membrix {

void LoadRunParameters(Session& s) { LoadRecordingSection(s, s.rec.Smpl); }

void ApplyBuiltInRecordingSet(Session& s, int k) {
  if (k == 1) {
    s.rec.scy_Smpl = 1.0;
    s.rec.SmplFile[1] = "NoFile";
  }
}

}  // namespace membrix
