#pragma once
// The two routines that keep the windows and the parameter record consistent.
// They address the controls of the main window ("Form1") and of the parameter
// window ("Form4") by their object names.

#include <QWidget>

namespace membrix {

struct Session;

// The windows' menus and inputs into NP0 and the run globals.
void ControlsToParameters(Session& s, QWidget* form1, QWidget* form4);

// NP0 and the run globals into the windows' menus and inputs, with the
// enabling rules; lets the interface process pending events at the end.
void CorrespondParametersToTheForm(Session& s, QWidget* form1, QWidget* form4);

}  // namespace membrix
