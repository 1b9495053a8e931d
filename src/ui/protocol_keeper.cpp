#include "ui/protocol_keeper.h"

#include <algorithm>
#include <utility>

#include "params/model_menus.h"
#include "run/session.h"
#include "ui/main_window.h"
#include "ui/workbench.h"

namespace membrix {

MainProtocol MainProtocol::Of(const Session& s) {
  MainProtocol p;
  p.t_end = s.run.t_end;
  p.nt_end = s.run.nt_end;
  p.dt = s.run.dt;
  p.t_Iind = s.stim.t_Iind;
  p.Iind = s.stim.Iind;
  p.Freq_Iind = s.stim.Freq_Iind;
  p.t_IindShift = s.stim.t_IindShift;
  p.uu = s.stim.uu;
  p.ss = s.stim.ss;
  p.s_soma = s.stim.s_soma;
  p.Vh = s.stim.Vh;
  p.Vrest = s.NP0.Vrest;
  p.If_I_V_or_g = s.NP0.If_I_V_or_g;
  p.Smpl = s.rec.Smpl;
  p.SmplFile = s.rec.SmplFile;
  return p;
}

void MainProtocol::PutInto(Session& s, bool keepVrest) const {
  s.run.t_end = t_end;
  s.run.nt_end = nt_end;
  s.run.dt = dt;
  s.stim.t_Iind = t_Iind;
  s.stim.Iind = Iind;
  s.stim.Freq_Iind = Freq_Iind;
  s.stim.t_IindShift = t_IindShift;
  s.stim.uu = uu;
  s.stim.ss = ss;
  s.stim.s_soma = s_soma;
  // The command voltage is entered relative to the rest.
  s.stim.Vh = keepVrest ? Vh - Vrest + s.NP0.Vrest : Vh;
  if (!keepVrest) s.NP0.Vrest = Vrest;
  s.NP0.If_I_V_or_g = If_I_V_or_g;
  s.rec.Smpl = Smpl;
  s.rec.SmplFile = SmplFile;
}

namespace {

QString Number(double v) { return QString::number(v, 'g', 6); }

QString ModeName(std::int32_t mode) {
  if (mode >= 1 && mode <= static_cast<std::int32_t>(kClampModeNames.size())) {
    const std::string_view name = kClampModeNames[static_cast<std::size_t>(mode - 1)];
    return QStringLiteral("\"%1\"").arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  }
  return QString::number(mode);
}

}  // namespace

std::vector<ProtocolChange> ProtocolChanges(const MainProtocol& a, const MainProtocol& b) {
  std::vector<ProtocolChange> out;
  auto number = [&out](double x, double y, double scale, const char* input, const char* name, const char* unit) {
    if (x == y) return;
    out.push_back({QString::fromUtf8(input), QStringLiteral("%1 %2 \u2192 %3 %4")
                                                 .arg(QString::fromUtf8(name), Number(x * scale), Number(y * scale),
                                                      QString::fromUtf8(unit))
                                                 .trimmed()});
  };
  number(a.t_end, b.t_end, 1000.0, "DDSpinEdit3", "t_end", "ms");
  number(a.dt, b.dt, 1000.0, " dt, ms ", "dt", "ms");
  number(a.t_Iind, b.t_Iind, 1000.0, "DDSpinEdit2", "t_Iind", "ms");
  number(a.Iind, b.Iind, 1.0, "DDSpinEdit1", "Iind", "pA");
  number(a.Freq_Iind, b.Freq_Iind, 1.0, "DDSpinEdit14", "Freq_Iind", "Hz");
  number(a.t_IindShift, b.t_IindShift, 1000.0, "DDSpinEdit20", "t_IindShift", "ms");
  number(a.uu, b.uu, 1000.0, "DDSpinEdit5", "u", "\u00b5A/cm\u00b2");
  number(a.ss, b.ss, 1.0, "DDSpinEdit6", "s", "mS/cm\u00b2");
  number(a.s_soma, b.s_soma, 1.0, "DDSpinEdit23", "s_soma", "mS/cm\u00b2");
  number(a.Vrest, b.Vrest, 1000.0, "Form4.DDSpinEdit6", "Vrest", "mV");
  number(a.Vh - a.Vrest, b.Vh - b.Vrest, 1000.0, "DDSpinEdit4", "Vh", "mV");
  if (a.If_I_V_or_g != b.If_I_V_or_g)
    out.push_back({QString(), QStringLiteral("clamp mode %1 \u2192 %2").arg(ModeName(a.If_I_V_or_g), ModeName(b.If_I_V_or_g))});
  if (a.Smpl != b.Smpl || a.SmplFile != b.SmplFile) {
    const auto file = [](const MainProtocol& p) {
      const std::string& f = p.SmplFile[static_cast<std::size_t>(std::clamp(p.Smpl, 0, kMaxRecording))];
      return f.empty() || f == "NoFile" ? QString() : QStringLiteral(" (\"%1\")").arg(QString::fromStdString(f));
    };
    out.push_back({QStringLiteral("RunClamp"),
                   QStringLiteral("recording %1%2 \u2192 %3%4").arg(a.Smpl).arg(file(a)).arg(b.Smpl).arg(file(b))});
  }
  return out;
}

ProtocolKeeper::ProtocolKeeper(Workbench& wb, QString task, Ending ending, bool keepVrest)
    : wb_(wb), task_(std::move(task)), ending_(ending), keepVrest_(keepVrest), before_(MainProtocol::Of(wb.session())) {
  wb_.mainWindow().ClearProtocolMarks();
}

ProtocolKeeper::~ProtocolKeeper() {
  Session& s = wb_.session();
  const MainProtocol after = MainProtocol::Of(s);
  if (ending_ == Ending::GiveBack) {
    before_.PutInto(s, keepVrest_);
    wb_.Correspond();
    return;
  }
  std::vector<ProtocolChange> changes = ProtocolChanges(before_, after);
  if (changes.empty()) return;
  wb_.Correspond();
  wb_.mainWindow().ShowProtocolChanges(task_, changes, [&wb = wb_, before = before_] {
    before.PutInto(wb.session());
    wb.Correspond();
  });
}

}  // namespace membrix
