#pragma once
// The main window of the workbench. Closing it ends the program.

#include <QMainWindow>

class QLabel;

namespace membrix {

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);

 private:
  QLabel* placeholder_ = nullptr;
};

}  // namespace membrix
