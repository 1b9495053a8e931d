#pragma once
// The numeric input of the windows: a value held as text with its own number of
// decimals. Showing a value writes it rounded to those decimals; reading parses
// the text, and empty text reads as 0. The change signal fires only when the
// shown text changes, whether the user typed it or the program wrote it, so a
// value the program shows is written back rounded exactly as if it had been
// typed. A double click resets the input (to 0 unless told otherwise); inputs
// with a rule of their own turn the reset off and listen to doubleClicked().
//
// Text that is not a number ("abc", "1,5", "2x") is never applied: the input
// shows it in an error style with the reason in its tooltip, emits no change,
// and reads as the last value it accepted until the text is a number again.
//
// valueCommitted() marks the end of one edit by the user: Enter, leaving the
// input after typing, a double-click reset or an arrow-key step. Rules that
// change other parameters run on it, once per edit, not at every keystroke.
//
// A unit ("mV", "mS/cm²") can be shown inside the input, right of the number.

#include <QLineEdit>
#include <optional>

class QLabel;

namespace membrix {

class NumericInput : public QLineEdit {
  Q_OBJECT

 public:
  explicit NumericInput(QWidget* parent = nullptr, int decimals = 2);

  int decimals() const { return decimals_; }
  void setDecimals(int decimals);

  // The value the text reads as.
  double value() const;
  // Shows the value with the input's decimals; emits valueChanged when the
  // text changes.
  void setValue(double v);
  // The text a value is shown as.
  QString format(double v) const;

  // The value a double click writes; no value turns the reset off.
  void setDoubleClickValue(std::optional<double> v) { doubleClickValue_ = v; }

  // Parses a text: empty, a blank or not a number is 0.
  static double Parse(const QString& text);
  // Why a text is not a number the input accepts; empty when it is one.
  static QString Problem(const QString& text);
  // Whether the shown text is a number the input accepts.
  bool isValid() const { return valid_; }

  // The unit shown right of the number inside the input; empty shows none.
  void setUnit(const QString& unit);
  QString unit() const;

  // The tooltip the input shows while its text is valid (setToolTip() while
  // the text is invalid sets this one too).
  void setHint(const QString& hint);

 signals:
  void valueChanged(double value);
  void doubleClicked();
  // One edit by the user has ended with this value (see above).
  void valueCommitted(double value);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void OnTextChanged(const QString& text);
  void Commit();
  void PlaceUnit();

  int decimals_;
  std::optional<double> doubleClickValue_ = 0.0;
  bool valid_ = true;
  double accepted_ = 0.0;   // the value of the last valid text
  bool edited_ = false;     // typed by the user since the last commit
  bool settingTip_ = false;
  QString hint_;            // the tooltip of a valid text
  QLabel* unit_ = nullptr;
};

}  // namespace membrix
