#pragma once
// The message window "Form11": lines the program adds for the researcher to
// read, such as why a window cannot do all of its work with the present
// parameters. Closing it only hides it.

#include <QString>
#include <QWidget>

class QPlainTextEdit;

namespace membrix {

class MessageWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MessageWindow(QWidget* parent = nullptr);

  // The program's one message window, a child of `owner` (created on first use).
  static MessageWindow& Of(QWidget* owner);

  // Adds a line and shows the window.
  void AddLine(const QString& line);
  QString Text() const;

 private:
  QPlainTextEdit* memo_;
};

}  // namespace membrix
