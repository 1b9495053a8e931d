#include "ui/help_window.h"

#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

namespace membrix {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser_(new QTextBrowser(this)) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Membrix help"));
  browser_->setOpenExternalLinks(false);
  browser_->setOpenLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(760, 640);
}

QString HelpWindow::PageOf(const QString& keyword) {
  if (keyword == QLatin1String("Parameters")) return QStringLiteral("parameter_window.md");
  return QStringLiteral("workbench.md");
}

QString HelpWindow::SectionOf(const QString& keyword) {
  // The Help menu opens the list of every menu item and button.
  if (keyword == QLatin1String("Help")) return QStringLiteral("Menus and buttons");
  if (keyword == QLatin1String("Parameters")) return QStringLiteral("The parameter window");
  return keyword;
}

bool HelpWindow::Open(const QString& docsFolder, const QString& keyword) {
  const QString path = QDir(docsFolder).filePath(PageOf(keyword));
  if (!QFile::exists(path)) return false;
  browser_->setSearchPaths({docsFolder});
  browser_->setSource(QUrl::fromLocalFile(path), QTextDocument::MarkdownResource);
  // Scroll to the first heading that names the keyword's section; the page's
  // top otherwise.
  int top = 0;
  section_.clear();
  const QString section = SectionOf(keyword);
  for (QTextBlock b = browser_->document()->begin(); b.isValid(); b = b.next()) {
    if (b.blockFormat().headingLevel() > 0 && b.text().contains(section, Qt::CaseInsensitive)) {
      QTextCursor at(b);
      browser_->setTextCursor(at);
      section_ = b.text();
      top = -1;
      break;
    }
  }
  show();
  raise();
  if (top == 0) {
    browser_->verticalScrollBar()->setValue(0);
  } else {
    const QRect r = browser_->cursorRect();
    browser_->verticalScrollBar()->setValue(browser_->verticalScrollBar()->value() + r.top());
  }
  return true;
}

}  // namespace membrix
