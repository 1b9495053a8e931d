#include "ui/main_window.h"

#include <QLabel>
#include <QString>

#include "common/version.h"

namespace membrix {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  // The program addresses its main window by this name.
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(ProgramTitle()));
  resize(1024, 720);

  placeholder_ = new QLabel(this);
  placeholder_->setObjectName(QStringLiteral("PlaceholderLabel"));
  placeholder_->setAlignment(Qt::AlignCenter);
  placeholder_->setText(tr("%1\nComputational neurophysiology workbench")
                            .arg(QString::fromUtf8(ProgramTitle())));
  setCentralWidget(placeholder_);
}

}  // namespace membrix
