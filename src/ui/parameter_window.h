#pragma once
// The parameter window "Form4: Parameters": the fields of the current parameter
// record and a few run globals, on a top area and five pages.

#include <QWidget>

namespace membrix {

struct Session;

class ParameterWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ParameterWindow(Session& session, QWidget* parent = nullptr);

 private:
  Session& session_;
};

}  // namespace membrix
