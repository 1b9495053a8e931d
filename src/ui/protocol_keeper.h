#pragma once
// The main protocol across a task: what the main window's inputs, its clamp
// mode and its sample hand the next clamp run. A task that only borrows the
// protocol gives it back when it ends; a task whose point is to set it up
// leaves its changes, and the main window shows them, with an Undo.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "run/recording.h"

namespace membrix {

struct Session;
class Workbench;

struct MainProtocol {
  double t_end = 0.0, dt = 0.0, t_Iind = 0.0, Iind = 0.0, Freq_Iind = 0.0, t_IindShift = 0.0;
  double uu = 0.0, ss = 0.0, s_soma = 0.0, Vh = 0.0, Vrest = 0.0;
  std::int32_t nt_end = 0, If_I_V_or_g = 0, Smpl = 0;
  std::array<std::string, kMaxRecording + 1> SmplFile{};

  static MainProtocol Of(const Session& s);
  // Puts the protocol back; with keepVrest the session's Vrest stays (a fit
  // may have fitted it: it is the task's result, not its borrowing).
  void PutInto(Session& s, bool keepVrest = false) const;
};

// One changed item of the protocol: the program name of the input that shows
// it (empty when none does) and a phrase for the researcher, "t_end 600 → 120 ms".
struct ProtocolChange {
  QString input;
  QString phrase;
};
std::vector<ProtocolChange> ProtocolChanges(const MainProtocol& before, const MainProtocol& after);

class ProtocolKeeper {
 public:
  enum class Ending {
    GiveBack,  // the task borrowed the protocol: it is as before when the task ends
    Show,      // setting the protocol up is the task's point: its changes stay, marked
  };
  ProtocolKeeper(Workbench& wb, QString task, Ending ending, bool keepVrest = false);
  ~ProtocolKeeper();
  // Vrest as the task leaves it is its result (a fit that fitted it).
  void KeepVrest(bool keep) { keepVrest_ = keep; }
  ProtocolKeeper(const ProtocolKeeper&) = delete;
  ProtocolKeeper& operator=(const ProtocolKeeper&) = delete;

 private:
  Workbench& wb_;
  QString task_;
  Ending ending_;
  bool keepVrest_;
  MainProtocol before_;
};

}  // namespace membrix
