#include "params/run_section.h"

#include "common/error.h"
#include "run/session.h"

namespace membrix {

void LoadRunParameters(Session& s) {
  if (!s.rec.IdFileName.empty()) {
    throw Error(s.rec.IdFileName + ": reading parameter files is not available in this version");
  }
  // The built-in set of recording 1 compares with nothing; the others change nothing.
  if (s.rec.Smpl == 1) {
    s.rec.scy_Smpl = 1.0;
    s.rec.SmplFile[1] = "NoFile";
  }
}

}  // namespace membrix
