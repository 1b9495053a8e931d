#pragma once
// The windows of the program in the order it creates them at start-up, the
// main window first. Every window exists from the start, hidden except the main
// window and the parameter window; the buttons and menus only show them, and
// the settings file finds them here by their program names.

#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace membrix {

class Workbench;

struct ProgramWindow {
  const char* name;  // the program's name of the window ("Form3"), or our own
  // Makes the window (hidden) and returns it; empty for the three windows the
  // workbench makes itself: the main window, the parameter window and the ion
  // window.
  std::function<QWidget*(Workbench&)> make;
};

// "Form1", "Form3", "Form2", "Form4", "Form5", ... "Form19", "Form21", then the
// workbench's own windows (the fitting options, the help). The program's
// "Form10", "Form16" and "THHForm18" have no window of their own here.
const std::vector<ProgramWindow>& ProgramWindows();

}  // namespace membrix
