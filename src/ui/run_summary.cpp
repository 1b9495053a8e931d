#include "ui/run_summary.h"

#include <QFileInfo>

#include "run/recording.h"
#include "run/session.h"

namespace membrix {

ModelTraceUnit ModelTraceUnitOf(int If_I_V_or_g) {
  switch (If_I_V_or_g) {
    case 2:  // current clamp: the depolarisation from rest, in V
    case 7:
      return {QStringLiteral("mV"), 1000.0, true};
    case 1:  // voltage clamp: the clamp current, in pA
    case 4:
    case 5:
    case 6:  // the injected current
      return {QStringLiteral("pA"), 1.0, true};
    default:
      return {QString(), 1.0, false};
  }
}

RunSummary SummarizeRun(const Session& s, double deviation, bool completed, double seconds) {
  RunSummary r;
  r.completed = completed;
  r.tMs = s.run.t * 1000.0;
  r.spikes = s.spikes.nSpikes;
  r.rateHz = s.spikes.Freq;
  const std::string& entry = s.rec.SmplFile[static_cast<std::size_t>(s.rec.Smpl)];
  r.recording = NamesRecordingFile(entry);
  r.recordingName = QFileInfo(QString::fromStdString(entry)).fileName();
  const ModelTraceUnit unit = ModelTraceUnitOf(s.NP0.If_I_V_or_g);
  r.deviation = deviation * unit.scale;
  r.unit = unit.unit;
  r.steps = s.run.nt;
  r.seconds = seconds;
  return r;
}

QString RunSummaryText(const RunSummary& r) {
  QString text = r.completed ? QStringLiteral("Run complete: ")
                             : QStringLiteral("Run stopped at t = %1 ms: ").arg(r.tMs, 0, 'f', 2);
  text += r.spikes == 1 ? QStringLiteral("1 spike") : QStringLiteral("%1 spikes").arg(r.spikes);
  text += QStringLiteral(", %1 Hz").arg(r.rateHz, 0, 'f', 1);
  if (r.recording) {
    text += QStringLiteral(", deviation %1").arg(r.deviation, 0, 'g', 3);
    if (!r.unit.isEmpty()) text += QLatin1Char(' ') + r.unit;
    text += QStringLiteral(" from \"%1\"").arg(r.recordingName);
  } else {
    text += QStringLiteral(", no recording");
  }
  text += QStringLiteral(", %1 steps in %2 s").arg(r.steps).arg(r.seconds, 0, 'f', r.seconds < 10.0 ? 2 : 1);
  return text;
}

}  // namespace membrix
