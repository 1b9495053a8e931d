#pragma once
// What the sweep windows share: the host a sweep runs with (the workbench's
// breathing points and the window's own "Stop"), a labelled numeric input, and
// the command buttons "Start", "Stop", "Clear", "CopyToBMP".

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <functional>

#include "run/host.h"

class QGridLayout;
class QWidget;

namespace membrix {

class NumericInput;
class Workbench;

class SweepWindowHost final : public Host {
 public:
  SweepWindowHost(Workbench& wb, const bool& stop) : wb_(wb), stop_(stop) {}
  void ProcessEvents() override;
  bool StopRequested() const override;
  bool Confirm(const std::string& question) override;

 private:
  Workbench& wb_;
  const bool& stop_;
};

// A numeric input with its label in row `row` of a two-column grid; store gets
// every value the user enters.
NumericInput* AddSweepInput(QWidget* owner, QGridLayout* grid, int row, const char* name, const char* caption,
                            int decimals, std::function<void(double)> store);

// The command row of a sweep window.
struct SweepCommands {
  QPushButton* start = nullptr;
  QPushButton* stop = nullptr;
  QPushButton* clear = nullptr;
  QPushButton* copy = nullptr;
  QLabel* status = nullptr;  // "current k of n", "stopped after ...", "done"
};
SweepCommands AddSweepCommands(QWidget* owner, QGridLayout* grid, int row);

// Runs a sweep as the workbench's simulation: "Start" disabled and "Stop"
// enabled meanwhile, the stop flag cleared first, a beep at the end. The
// sweep returns (delivered, total); the status label says how it ended.
void RunSweepCommand(Workbench& wb, SweepCommands& commands, bool& stop,
                     const std::function<std::pair<long long, long long>()>& sweep);

QString ProgressText(long long done, long long total);

}  // namespace membrix
