#include "ui/input_units.h"

#include <QWidget>

#include "ui/numeric_input.h"

namespace membrix {

namespace {

const QString kConductance = QStringLiteral("mS/cm\u00b2");
const QString kCurrent = QStringLiteral("\u00b5A/cm\u00b2");

}  // namespace

QString ParameterInputUnit(int number) {
  switch (number) {
    // Channel and leak conductances.
    case 1: case 2: case 3: case 4: case 12: case 14: case 15: case 16: case 17:
    case 21: case 22: case 23: case 25: case 33: case 38: case 56:
      return kConductance;
    // Voltages kept in mV by the input.
    case 28: case 29: case 31: case 35: case 43: case 79:
      return QStringLiteral("mV");
    // Times.
    case 30: case 36: case 40:
      return QStringLiteral("ms");
    default:
      return {};
  }
}

void ShowMainWindowUnits(QWidget* form1) {
  const struct {
    const char* name;
    QString unit;
  } units[] = {{"DDSpinEdit5", kCurrent},       {"DDSpinEdit6", kConductance}, {"DDSpinEdit22", kConductance},
               {"DDSpinEdit23", kConductance},  {"DDSpinEdit8", QStringLiteral("Hz")},
               {"DDSpinEdit10", QStringLiteral("ms")}, {"DDSpinEdit11", QStringLiteral("ms")},
               {"DDSpinEdit12", QStringLiteral("ms")}, {"DDSpinEdit19", QStringLiteral("mV")},
               // The firing clamp's rate change per unit of u (u held in mA/cm²), and its
               // currents entered in µA/cm² whatever their captions spell.
               {"DDSpinEdit9", QStringLiteral("Hz/(mA/cm\u00b2)")}, {"DDSpinEdit15", kCurrent},
               {"DDSpinEdit17", kCurrent}, {"DDSpinEdit18", kCurrent}};
  for (const auto& u : units) {
    if (auto* in = form1->findChild<NumericInput*>(QLatin1String(u.name))) in->setUnit(u.unit);
  }
  if (auto* du = form1->findChild<NumericInput*>(QStringLiteral("DDSpinEdit17"))) {
    du->setToolTip(QStringLiteral("The kick of u at a surgery, in \u00b5A/cm\u00b2 as u itself: 2 adds 0.002 mA/cm\u00b2"));
  }
  if (auto* slope = form1->findChild<NumericInput*>(QStringLiteral("DDSpinEdit9"))) {
    slope->setToolTip(QStringLiteral("The rate change per unit of u, in Hz per mA/cm\u00b2 (700 is 0.7 Hz per "
                                     "\u00b5A/cm\u00b2); the clamp is off while 0"));
  }
}

}  // namespace membrix
