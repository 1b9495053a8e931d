#include "ui/parameter_window.h"

#include "run/session.h"

namespace membrix {

ParameterWindow::ParameterWindow(Session& session, QWidget* parent) : QWidget(parent), session_(session) {
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(QStringLiteral("Form4: Parameters"));
  (void)session_;
}

}  // namespace membrix
