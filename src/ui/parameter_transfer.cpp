#include "ui/parameter_transfer.h"

#include "run/session.h"

namespace membrix {

// The parameter window brings both routines; until then the windows show
// nothing of the record.
void ControlsToParameters(Session& s, QWidget* form1, QWidget* form4) { (void)s, (void)form1, (void)form4; }

void CorrespondParametersToTheForm(Session& s, QWidget* form1, QWidget* form4) {
  (void)s, (void)form1, (void)form4;
}

}  // namespace membrix
