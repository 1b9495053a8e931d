#pragma once
// The numeric input of the windows: a value held as text with its own number of
// decimals. Showing a value writes it rounded to those decimals; reading parses
// the text, and empty or non-numeric text reads as 0. The change signal fires
// only when the shown text changes, whether the user typed it or the program
// wrote it, so a value the program shows is written back rounded exactly as if
// it had been typed. A double click resets the input (to 0 unless told
// otherwise); inputs with a rule of their own turn the reset off and listen to
// doubleClicked().

#include <QLineEdit>
#include <optional>

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

  // Parses like value(): empty, a blank or not a number is 0.
  static double Parse(const QString& text);

 signals:
  void valueChanged(double value);
  void doubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int decimals_;
  std::optional<double> doubleClickValue_ = 0.0;
};

}  // namespace membrix
