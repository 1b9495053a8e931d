// Where the windows stand: inside the screen, none over the main window's
// command row, the user's layout kept per screen size and put back by
// "Reset layout".

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "ui/parameter_window.h"
#include "ui/window_layout.h"
#include "workbench_fixture.h"

using membrix::testing::ScriptedDialogs;
using membrix::testing::WorkbenchFixture;

namespace {

constexpr int kScreenWidth = 1920, kScreenHeight = 1200;

// Why the layout is wrong for that room, empty when it is right.
QString LayoutFault(WorkbenchFixture& f, const QRect& room) {
  const QRect commandRow = f.form1().CommandRow();
  if (!room.contains(f.form1().frameGeometry())) return QStringLiteral("the main window leaves the room");
  if (commandRow.height() < 40) return QStringLiteral("no command row");
  for (const auto& [name, w] : f.wb->windows()) {
    if (w == &f.form1()) continue;
    const QRect frame = w->frameGeometry();
    if (!room.contains(frame)) {
      return QStringLiteral("%1 at %2,%3 %4x%5 leaves the room")
          .arg(name)
          .arg(frame.x())
          .arg(frame.y())
          .arg(frame.width())
          .arg(frame.height());
    }
    if (frame.intersects(commandRow)) return name + QStringLiteral(" covers the command row");
  }
  return {};
}

}  // namespace

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryWindowInsideTheRoomAndClearOfTheCommandRow();
  void PlacementOfOneWindow();
  void TheUserLayoutIsKeptPerScreenSizeUntilReset();
};

void WindowLayoutTest::EveryWindowInsideTheRoomAndClearOfTheCommandRow() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  // As started on this screen: the parameter window beside the main window.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  QCOMPARE(screen.size(), QSize(kScreenWidth, kScreenHeight));
  QString fault = LayoutFault(f, screen);
  QVERIFY2(fault.isEmpty(), qPrintable(fault));
  const QRect parameters = f.wb->parameterWindow().frameGeometry();
  QVERIFY(!parameters.intersects(f.form1().frameGeometry()));
  // The f-I window opens clear of both.
  QTest::mouseClick(f.Button(QStringLiteral("f-I -curve")), Qt::LeftButton);
  QWidget* fi = f.wb->window(QStringLiteral("Form5"));
  QVERIFY(QTest::qWaitForWindowExposed(fi));
  QVERIFY(!fi->frameGeometry().intersects(parameters));

  // Laid out for the two common screens, the small one with a panel at the top.
  for (const QRect& room : {QRect(0, 0, 1366, 768), QRect(0, 28, 1366, 740), QRect(0, 0, 1920, 1200)}) {
    f.wb->LayOutWindows(room);
    fault = LayoutFault(f, room);
    QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("%1x%2: %3").arg(room.width()).arg(room.height()).arg(fault)));
  }

  // "HH approx." moves the main window aside without leaving the screen.
  f.wb->LayOutWindows(screen);
  QTest::mouseClick(f.Button(QStringLiteral("HH approx.")), Qt::LeftButton);
  QVERIFY(f.form1().x() > screen.left());
  QVERIFY(screen.contains(f.form1().frameGeometry()));
}

void WindowLayoutTest::PlacementOfOneWindow() {
  const QRect room(0, 0, 1366, 768);
  const QRect main(0, 0, 1300, 760);
  const QRect commandRow(0, 0, 1300, 120);
  // No room beside the main window: below its command row, made smaller
  // where the room is smaller.
  QRect at = membrix::PlaceBesideMain(room, main, commandRow, QSize(1400, 760), QSize(300, 200));
  QVERIFY(room.contains(at));
  QVERIFY(!at.intersects(commandRow));
  QCOMPARE(at.size(), QSize(1366, 768 - 124));
  // Room beside it on a wide screen: the parameter window there; task windows
  // below the command row, left of it, stepped by order.
  const QRect wide(0, 0, 1920, 1200);
  const QRect parameters = membrix::PlaceBesideMain(wide, main, commandRow, QSize(560, 900), QSize(200, 100));
  QVERIFY(!parameters.intersects(main));
  const QRect first = membrix::PlaceTaskWindow(wide, commandRow, parameters, QSize(760, 440), QSize(200, 100), 0);
  const QRect second = membrix::PlaceTaskWindow(wide, commandRow, parameters, QSize(760, 440), QSize(200, 100), 1);
  for (const QRect& r : {first, second}) {
    QVERIFY(wide.contains(r));
    QVERIFY(!r.intersects(commandRow) && !r.intersects(parameters));
  }
  QVERIFY(second.topLeft() != first.topLeft());
  // One too wide for the place left of it goes over it, still inside.
  const QRect wideOne = membrix::PlaceTaskWindow(wide, commandRow, parameters, QSize(1500, 700), QSize(1400, 100), 2);
  QVERIFY(wide.contains(wideOne) && !wideOne.intersects(commandRow));
  QCOMPARE(wideOne.width(), 1500);
  // The main window itself: at the top left, no larger than the room.
  QCOMPARE(membrix::PlaceMainWindow(QRect(0, 28, 1366, 740), QSize(1332, 800), QSize(900, 600)),
           QRect(0, 28, 1332, 740));
}

void WindowLayoutTest::TheUserLayoutIsKeptPerScreenSizeUntilReset() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  const QString file = f.FilePath(QStringLiteral("window_layout.ini"));
  const QSize screen(kScreenWidth, kScreenHeight);
  QWidget* fi = f.wb->window(QStringLiteral("Form5"));
  QTest::mouseClick(f.Button(QStringLiteral("f-I -curve")), Qt::LeftButton);
  QVERIFY(QTest::qWaitForWindowExposed(fi));
  const QPoint placed = fi->pos();
  fi->move(300, 500);
  const QRect left = fi->frameGeometry();
  fi->hide();
  QVERIFY(!f.wb->Layout().Geometry(screen, QStringLiteral("Form5")).isEmpty());
  QVERIFY(f.wb->Layout().Geometry(QSize(1366, 768), QStringLiteral("Form5")).isEmpty());

  // The next start finds the window where the user left it.
  f.wb.reset();
  auto dialogs = std::make_unique<ScriptedDialogs>();
  f.dialogs = dialogs.get();
  f.wb = std::make_unique<membrix::Workbench>();
  f.wb->SetDialogs(std::move(dialogs));
  f.wb->SetProjectFolder(QStringLiteral(MEMBRIX_SOURCE_DIR));
  f.wb->SetLayoutFile(file);
  f.wb->Show();
  QVERIFY(QTest::qWaitForWindowExposed(&f.form1()));
  fi = f.wb->window(QStringLiteral("Form5"));
  QTest::mouseClick(f.Button(QStringLiteral("f-I -curve")), Qt::LeftButton);
  QVERIFY(QTest::qWaitForWindowExposed(fi));
  QTRY_COMPARE(fi->frameGeometry(), left);

  // "Reset layout" forgets it and puts the window back.
  f.Item(QStringLiteral("ResetLayout"))->trigger();
  QCOMPARE(fi->pos(), placed);
  QVERIFY(f.wb->Layout().Geometry(screen, QStringLiteral("Form5")).isEmpty());
  QString fault = LayoutFault(f, QGuiApplication::primaryScreen()->availableGeometry());
  QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

int main(int argc, char* argv[]) {
  return membrix::testing::ExecOnOffscreenScreen<WindowLayoutTest>(argc, argv, "large", kScreenWidth, kScreenHeight);
}

#include "window_layout_test.moc"
