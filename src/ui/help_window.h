#pragma once
// The help of the workbench: the researcher's pages in docs/, shown as they are
// written (Markdown) and opened at the section of a keyword.

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace membrix {

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // Shows the page of the keyword from docsFolder, scrolled to the first
  // heading that names the keyword. False when the page is not there.
  bool Open(const QString& docsFolder, const QString& keyword);

  // The page a keyword opens ("Help" the workbench, "Parameters" the
  // parameter window), and the heading of the section it opens at.
  static QString PageOf(const QString& keyword);
  static QString SectionOf(const QString& keyword);

  // The heading of the section the page was opened at; empty at a page's top.
  QString Section() const { return section_; }

  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
  QString section_;
};

}  // namespace membrix
