#include "ui/window_layout.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

namespace membrix {

namespace {

// How far each window stands from the one opened before it, and after how
// many windows the steps start again.
constexpr int kCascadeStep = 28;
constexpr int kCascadeCount = 8;
// The gap between the main window and the windows beside it.
constexpr int kGap = 4;

QString Group(QSize screen) { return QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height()); }

// Whether a window of that size, which may shrink to `minimum`, is well served
// by a region: it keeps at least two thirds of its size in each direction.
bool Serves(const QRect& region, QSize size, QSize minimum) {
  if (region.width() <= 0 || region.height() <= 0) return false;
  const int needW = std::min(size.width(), std::max(minimum.width(), 2 * size.width() / 3));
  const int needH = std::min(size.height(), std::max(minimum.height(), 2 * size.height() / 3));
  return region.width() >= needW && region.height() >= needH;
}

// The window inside the region, stepped by its order, made smaller where the
// region is smaller than it.
QRect InRegion(const QRect& region, QSize size, int order) {
  const QSize fitted = size.boundedTo(region.size());
  const int step = (order % kCascadeCount) * kCascadeStep;
  const int x = region.left() + std::min(step, region.width() - fitted.width());
  const int y = region.top() + std::min(step, region.height() - fitted.height());
  return {QPoint(x, y), fitted};
}

}  // namespace

QRect PlaceMainWindow(const QRect& room, QSize size, QSize minimum) {
  return {room.topLeft(), size.boundedTo(room.size()).expandedTo(minimum)};
}

QRect PlaceBesideMain(const QRect& room, const QRect& main, const QRect& commandRow, QSize size, QSize minimum) {
  // To the right of the main window or to its left, the whole height.
  const QRect right(QPoint(main.right() + 1 + kGap, room.top()), room.bottomRight());
  const QRect left(room.topLeft(), QPoint(main.left() - 1 - kGap, room.bottom()));
  for (const QRect& region : {right, left}) {
    if (Serves(region, size, minimum)) return InRegion(region, size, 0);
  }
  return PlaceTaskWindow(room, commandRow, {}, size, minimum, 0);
}

QRect PlaceTaskWindow(const QRect& room, const QRect& commandRow, const QRect& keepVisible, QSize size,
                      QSize minimum, int order) {
  // Below the command row, the whole width, or the part of it left of the
  // window kept in view.
  const QRect below(QPoint(room.left(), std::max(room.top(), commandRow.bottom() + 1 + kGap)), room.bottomRight());
  if (below.height() <= 0) return InRegion(room, size, order);
  if (keepVisible.isValid() && keepVisible.left() > below.left()) {
    const QRect beside(below.topLeft(), QPoint(keepVisible.left() - 1 - kGap, below.bottom()));
    if (Serves(beside, size, minimum)) return InRegion(beside, size, order);
  }
  return InRegion(below, size, order);
}

QByteArray LayoutMemory::Geometry(QSize screen, const QString& window) const {
  if (file_.isEmpty()) return {};
  const QSettings settings(file_, QSettings::IniFormat);
  return settings.value(Group(screen) + QLatin1Char('/') + window).toByteArray();
}

void LayoutMemory::Remember(QSize screen, const QString& window, const QByteArray& geometry) {
  if (file_.isEmpty()) return;
  QSettings settings(file_, QSettings::IniFormat);
  settings.setValue(Group(screen) + QLatin1Char('/') + window, geometry);
}

void LayoutMemory::Forget(QSize screen) {
  if (file_.isEmpty()) return;
  QSettings settings(file_, QSettings::IniFormat);
  settings.remove(Group(screen));
}

QString LayoutMemory::DefaultFile() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (folder.isEmpty()) return {};
  return QDir(folder).filePath(QStringLiteral("membrix/window_layout.ini"));
}

}  // namespace membrix
