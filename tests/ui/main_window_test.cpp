#include <QString>
#include <QTest>

#include "ui/main_window.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensWithProgramCaptionAndCloses();
};

void MainWindowTest::OpensWithProgramCaptionAndCloses() {
  membrix::MainWindow window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QCOMPARE(window.objectName(), QStringLiteral("Form1"));
  QCOMPARE(window.windowTitle(), QStringLiteral("Membrix v.21.1"));
  QVERIFY(window.width() >= 640 && window.height() >= 480);

  QVERIFY(window.close());
  QVERIFY(!window.isVisible());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
