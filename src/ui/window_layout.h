#pragma once
// Where the windows stand on the screen. Every window lies inside the
// available area of the screen and none covers the main window's command row
// (its menu and the row of run buttons and inputs). A window the user has
// moved or resized is found where it was left the next time, for the same
// screen size; "Reset layout" forgets that and puts every window back.

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>
#include <utility>

namespace membrix {

// The main window: at the top left of the available area, no larger than it
// (nor smaller than its minimum, should the area be smaller still).
QRect PlaceMainWindow(const QRect& room, QSize size, QSize minimum);

// The parameter window (frame size `size`, which may be made as small as
// `minimum`): beside the main window where there is room for it, otherwise
// below the command row.
QRect PlaceBesideMain(const QRect& room, const QRect& main, const QRect& commandRow, QSize size, QSize minimum);

// A task window: below the command row, left of the window that stands
// beside the main window (`keepVisible`, empty for none) where that leaves
// it room enough, over it otherwise; the `order`-th window is set a little
// further right and down than the one before it, so that windows opened
// together do not hide each other completely. The result lies inside `room`
// and clear of `commandRow` whenever the room has any space below that row;
// a window larger than its place is made smaller.
QRect PlaceTaskWindow(const QRect& room, const QRect& commandRow, const QRect& keepVisible, QSize size,
                      QSize minimum, int order);

// The geometries the user gave the windows, one set per screen size, kept in
// an INI file of the program's own (not in the settings file of the
// program's settings commands, whose lines are fixed).
class LayoutMemory {
 public:
  explicit LayoutMemory(QString file) : file_(std::move(file)) {}
  const QString& File() const { return file_; }
  // The remembered geometry (QWidget::saveGeometry), empty when there is none.
  QByteArray Geometry(QSize screen, const QString& window) const;
  void Remember(QSize screen, const QString& window, const QByteArray& geometry);
  // Forgets every window's geometry for that screen size.
  void Forget(QSize screen);

  // The program's own file: "window_layout.ini" in the user's configuration
  // folder for the program.
  static QString DefaultFile();

 private:
  QString file_;
};

}  // namespace membrix
