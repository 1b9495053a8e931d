#pragma once
// The units shown inside the numeric inputs whose captions do not name them
// (" gNa" is in mS/cm², "u" in µA/cm²), so that a researcher never has to
// hover over an input to learn what its number means.

#include <QString>

class QWidget;

namespace membrix {

// The unit of parameter-window input "DDSpinEdit<number>"; empty when its
// caption names the unit or the value has none.
QString ParameterInputUnit(int number);

// Shows the units of the main window's inputs whose captions lack them.
void ShowMainWindowUnits(QWidget* form1);

}  // namespace membrix
