#pragma once
// The two routines that keep the windows and the parameter record consistent.
// They address the controls of the main window ("Form1") and of the parameter
// window ("Form4") by their object names. A control that is not there is
// skipped, and either window may be null.

#include <QString>
#include <QWidget>
#include <span>

namespace membrix {

struct Session;

// The windows' menus and inputs into NP0 and the run globals.
void ControlsToParameters(Session& s, QWidget* form1, QWidget* form4);

// NP0 and the run globals into the windows' menus and inputs, with the
// enabling rules; lets the interface process pending events at the end.
void CorrespondParametersToTheForm(Session& s, QWidget* form1, QWidget* form4);

// A control of the main window that the transfer reads or sets. It is found
// by its program name when the program has one, else by its caption (blanks
// around either do not count); a menu item may also be a sub-menu of that name.
struct Form1Control {
  enum class Kind { MenuItem, Input, Label, List };
  Kind kind;
  QString programName;  // empty when the program names the control by its caption only
  QString caption;
};

// Every main-window control the transfer addresses.
std::span<const Form1Control> TransferForm1Controls();

// Whether the main window holds the control (by either of its names), outside
// any other window that may be parented to it.
bool HasForm1Control(QWidget* form1, const Form1Control& control);

}  // namespace membrix
