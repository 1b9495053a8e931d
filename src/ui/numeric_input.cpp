#include "ui/numeric_input.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <cmath>

namespace membrix {

NumericInput::NumericInput(QWidget* parent, int decimals) : QLineEdit(parent), decimals_(decimals) {
  setAlignment(Qt::AlignRight);
  setText(format(0.0));
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { emit valueChanged(Parse(text)); });
}

void NumericInput::setDecimals(int decimals) { decimals_ = decimals < 0 ? 0 : decimals; }

double NumericInput::Parse(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v) ? v : 0.0;
}

double NumericInput::value() const { return Parse(text()); }

QString NumericInput::format(double v) const {
  QString s = QString::number(v, 'f', decimals_);
  // A value that rounds to zero is shown without a minus sign.
  if (s.startsWith(QLatin1Char('-')) && Parse(s) == 0.0) s.remove(0, 1);
  return s;
}

void NumericInput::setValue(double v) {
  const QString s = format(v);
  if (s != text()) setText(s);  // textChanged runs the change handler
}

void NumericInput::mouseDoubleClickEvent(QMouseEvent* event) {
  QLineEdit::mouseDoubleClickEvent(event);
  if (doubleClickValue_) setValue(*doubleClickValue_);
  emit doubleClicked();
}

// The arrow keys step the value by one unit of its last decimal.
void NumericInput::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
    const double unit = std::pow(10.0, -decimals_);
    setValue(value() + (event->key() == Qt::Key_Up ? unit : -unit));
    return;
  }
  QLineEdit::keyPressEvent(event);
}

}  // namespace membrix
