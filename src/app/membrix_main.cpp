// The desktop workbench: one process, one interface thread, the main window
// first.

#include <QApplication>

#include "ui/main_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Membrix"));
  QApplication::setApplicationVersion(QStringLiteral("21.1"));

  membrix::MainWindow window;
  window.show();
  return QApplication::exec();
}
