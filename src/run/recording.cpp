#include "run/recording.h"

#include <algorithm>

#include "common/error.h"
#include "run/session.h"

namespace membrix {

void PrepareRecordingForRun(Session& s) {
  const int smpl = s.rec.Smpl;
  const std::string& file = s.rec.SmplFile[smpl];
  if (file == "NoFile" || file.empty()) {
    const int last = std::min(TraceTable::kLastRow, s.run.nt_end);
    for (int row = 0; row <= last; ++row) s.ExpData(row, smpl) = 0.0;
    return;
  }
  throw Error("recording " + std::to_string(smpl) + " (\"" + file +
              "\"): reading recordings is not available in this version");
}

}  // namespace membrix
