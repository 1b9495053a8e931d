#include "ui/numeric_input.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRegularExpression>
#include <cmath>

namespace membrix {

namespace {

const QString kErrorStyle = QStringLiteral("QLineEdit { background: #fde2e2; color: #a00000; }");

}  // namespace

NumericInput::NumericInput(QWidget* parent, int decimals) : QLineEdit(parent), decimals_(decimals) {
  setAlignment(Qt::AlignRight);
  setText(format(0.0));
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { OnTextChanged(text); });
  connect(this, &QLineEdit::textEdited, this, [this] { edited_ = true; });
  connect(this, &QLineEdit::returnPressed, this, [this] { Commit(); });
}

void NumericInput::setDecimals(int decimals) { decimals_ = decimals < 0 ? 0 : decimals; }

double NumericInput::Parse(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v) ? v : 0.0;
}

QString NumericInput::Problem(const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return {};
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (ok && std::isfinite(v)) return {};
  static const QRegularExpression numberForm(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
  if (ok || numberForm.match(t).hasMatch()) return QStringLiteral("\u201c%1\u201d is not a finite number").arg(t);
  if (t.contains(QLatin1Char(','))) return QStringLiteral("\u201c%1\u201d is not a number: use a decimal point").arg(t);
  return QStringLiteral("\u201c%1\u201d is not a number").arg(t);
}

double NumericInput::value() const { return valid_ ? Parse(text()) : accepted_; }

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

void NumericInput::OnTextChanged(const QString& text) {
  const QString problem = Problem(text);
  const bool valid = problem.isEmpty();
  if (valid != valid_) setStyleSheet(valid ? QString() : kErrorStyle);
  valid_ = valid;
  settingTip_ = true;
  if (valid) {
    QLineEdit::setToolTip(hint_);
  } else {
    QLineEdit::setToolTip(problem + QStringLiteral("; the input keeps ") + format(accepted_) +
                          (hint_.isEmpty() ? QString() : QStringLiteral("\n") + hint_));
  }
  settingTip_ = false;
  if (!valid) return;  // never applied
  accepted_ = Parse(text);
  emit valueChanged(accepted_);
}

void NumericInput::setHint(const QString& hint) {
  hint_ = hint;
  if (valid_) {
    settingTip_ = true;
    QLineEdit::setToolTip(hint);
    settingTip_ = false;
  }
}

// A tooltip set from outside is the hint of a valid text.
bool NumericInput::event(QEvent* e) {
  if (e->type() == QEvent::ToolTipChange && !settingTip_) hint_ = toolTip();
  return QLineEdit::event(e);
}

void NumericInput::Commit() {
  if (!edited_) return;
  edited_ = false;
  if (valid_) emit valueCommitted(accepted_);
}

void NumericInput::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  Commit();
}

void NumericInput::mouseDoubleClickEvent(QMouseEvent* event) {
  QLineEdit::mouseDoubleClickEvent(event);
  if (doubleClickValue_) {
    setValue(*doubleClickValue_);
    edited_ = true;
    Commit();
  }
  emit doubleClicked();
}

// The arrow keys step the value by one unit of its last decimal.
void NumericInput::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
    const double unit = std::pow(10.0, -decimals_);
    setValue(value() + (event->key() == Qt::Key_Up ? unit : -unit));
    edited_ = true;
    Commit();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void NumericInput::setUnit(const QString& unit) {
  if (unit.isEmpty()) {
    if (unit_ != nullptr) unit_->hide();
    setTextMargins(0, 0, 0, 0);
    return;
  }
  if (unit_ == nullptr) {
    unit_ = new QLabel(this);
    unit_->setObjectName(QStringLiteral("Unit"));
    unit_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette p = unit_->palette();
    p.setColor(QPalette::WindowText, QColor(110, 110, 110));
    unit_->setPalette(p);
  }
  unit_->setText(unit);
  unit_->adjustSize();
  unit_->show();
  setTextMargins(0, 0, unit_->width() + 3, 0);
  setMinimumWidth(std::max(minimumWidth(), fontMetrics().horizontalAdvance(QStringLiteral("-000.00")) +
                                                unit_->width() + 12));
  if (maximumWidth() < minimumWidth() + 24) setMaximumWidth(minimumWidth() + 24);
  PlaceUnit();
}

QString NumericInput::unit() const { return unit_ != nullptr && unit_->isVisible() ? unit_->text() : QString(); }

void NumericInput::PlaceUnit() {
  if (unit_ == nullptr) return;
  unit_->move(width() - unit_->width() - 4, (height() - unit_->height()) / 2);
}

void NumericInput::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PlaceUnit();
}

}  // namespace membrix
