// The workbench as a researcher meets it on a small screen: every window
// inside the screen, a summary of each run in the status bar, the model and
// its recording on one axis.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

#include "ui/parameter_window.h"
#include "workbench_fixture.h"

using membrix::Chart;
using membrix::ChartAxis;
using membrix::testing::WorkbenchFixture;

namespace {

constexpr int kScreenWidth = 1366, kScreenHeight = 768;

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void WindowsLieInsideTheScreen();
  void StatusBarSumsUpTheRun();
  void ModelAndRecordingShareOneAxis();
};

void DesktopTest::WindowsLieInsideTheScreen() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  QCOMPARE(room.size(), QSize(kScreenWidth, kScreenHeight));
  membrix::ParameterWindow& form4 = f.wb->parameterWindow();
  QWidget* windows[] = {&f.form1(), &form4};
  auto allInside = [&] {
    for (QWidget* w : windows) {
      if (!room.contains(w->frameGeometry())) return false;
    }
    return true;
  };
  QTRY_VERIFY(allInside());
  // Nothing of the main window is cut off on this screen, and the parameter
  // window can be made smaller still: its pages scroll.
  QVERIFY(f.form1().minimumSizeHint().width() <= kScreenWidth);
  QVERIFY(f.form1().minimumSizeHint().height() <= kScreenHeight - 40);
  QVERIFY(form4.minimumSizeHint().height() < 400);
  QVERIFY(form4.findChild<QWidget*>(QStringLiteral("ScrollArea")) != nullptr);

  // A window shown again where it no longer fits is brought back, and made
  // smaller where it is larger than the screen.
  form4.hide();
  form4.setGeometry(kScreenWidth - 100, -300, kScreenWidth + 200, 500);
  form4.show();
  QTRY_VERIFY(allInside());
}

void DesktopTest::StatusBarSumsUpTheRun() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  QLabel* summary = f.form1().RunSummaryLabel();
  f.Type(QStringLiteral("DDSpinEdit3"), QStringLiteral("20"));
  QTest::keyClick(&f.form1(), Qt::Key_F5);  // "RunClamp" from the keyboard
  QVERIFY(f.dialogs->errors.isEmpty());
  const membrix::Session& s = f.s();
  QCOMPARE(s.run.nt, 400);
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("^Run complete: (\\d+) spikes?, (\\S+) Hz, no recording, 400 steps in \\S+ s$"))
          .match(summary->text());
  QVERIFY2(m.hasMatch(), qPrintable(summary->text()));
  QCOMPARE(m.captured(1).toInt(), s.spikes.nSpikes);
  QVERIFY(s.spikes.nSpikes >= 1);
  QCOMPARE(m.captured(2), QString::number(s.spikes.Freq, 'f', 1));
  QCOMPARE(f.form1().windowTitle(), QStringLiteral("Membrix v.21.1"));
}

void DesktopTest::ModelAndRecordingShareOneAxis() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  f.dialogs->fileToOpen = QStringLiteral(MEMBRIX_SOURCE_DIR "/resources/samples/Hodgkin_AP.id");
  f.Item(QStringLiteral("Open *.id file"))->trigger();
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QCOMPARE(f.form1().windowTitle(), QStringLiteral("Membrix v.21.1 \u2014 Hodgkin_AP.id"));
  f.Find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(2);
  QTest::mouseClick(f.Button(QStringLiteral("RunClamp")), Qt::LeftButton);
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));

  // Both traces on the left axis, in mV, the two-axis chart put aside.
  Chart* overlay = f.form1().ModelOverlayChart();
  QVERIFY(f.form1().ModelOnOneAxis());
  QVERIFY(overlay->isVisible());
  QVERIFY(!f.form1().chart(3)->isVisible());
  QCOMPARE(overlay->AxisTitle(ChartAxis::Left), QStringLiteral("V, mV"));
  const int model = overlay->FindSeries(QStringLiteral("Model"));
  const int recording = overlay->FindSeries(QStringLiteral("Experiment"));
  QVERIFY(overlay->PointCount(model) > 10);
  // The model charges the membrane by millivolts and stays within the
  // recording's noise (0.2 mV) of it: the residual is small next to the trace.
  double peak = 0.0, worst = 0.0;
  for (int k = 0; k < overlay->PointCount(model); ++k) peak = std::max(peak, overlay->Point(model, k).y());
  Chart* residual = f.form1().ResidualChart();
  QVERIFY(residual->PointCount(0) > 10);
  for (int k = 0; k < residual->PointCount(0); ++k) worst = std::max(worst, std::abs(residual->Point(0, k).y()));
  QVERIFY2(peak > 1.0 && peak < 100.0, qPrintable(QString::number(peak)));
  QVERIFY2(worst < 1.5, qPrintable(QString::number(worst)));
  // Model and recording agree point by point once scaled alike.
  const QPointF m = overlay->Point(model, overlay->PointCount(model) / 2);
  bool found = false;
  for (int k = 0; k < overlay->PointCount(recording) && !found; ++k) {
    const QPointF r = overlay->Point(recording, k);
    if (std::abs(r.x() - m.x()) < 1e-9) found = std::abs(r.y() - m.y()) < 1.5;
  }
  QVERIFY(found);

  // The deviation the run found, in the legend and in the status bar.
  QVERIFY2(overlay->LegendNote().contains(QStringLiteral(" mV")), qPrintable(overlay->LegendNote()));
  QVERIFY2(f.form1().RunSummaryLabel()->text().contains(QStringLiteral(" mV from \"Hodgkin_AP_1.d\"")),
           qPrintable(f.form1().RunSummaryLabel()->text()));

  // "One axis" off brings the two-axis chart back.
  f.Find<QCheckBox>(QStringLiteral("OneAxis"))->setChecked(false);
  QVERIFY(f.form1().chart(3)->isVisible());
  QVERIFY(!overlay->isVisible());
}

int main(int argc, char* argv[]) {
  return membrix::testing::ExecOnOffscreenScreen<DesktopTest>(argc, argv, "small", kScreenWidth, kScreenHeight);
}

#include "desktop_test.moc"
