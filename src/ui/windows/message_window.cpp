#include "ui/windows/message_window.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace membrix {

MessageWindow::MessageWindow(QWidget* parent) : QWidget(parent, Qt::Window), memo_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("Form11"));
  setWindowTitle(QStringLiteral("Form11: for messages"));
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(memo_);
  resize(520, 160);
}

MessageWindow& MessageWindow::Of(QWidget* owner) {
  if (auto* existing = owner->findChild<MessageWindow*>(QStringLiteral("Form11"), Qt::FindDirectChildrenOnly)) {
    return *existing;
  }
  return *new MessageWindow(owner);
}

void MessageWindow::AddLine(const QString& line) {
  memo_->appendPlainText(line);
  show();
  raise();
}

QString MessageWindow::Text() const { return memo_->toPlainText(); }

}  // namespace membrix
