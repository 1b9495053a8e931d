// The activation and inactivation window on the shipped sample data: the
// worker's run, its stop, its errors, the save commands and the message about
// unfit parameters.

#include <QSignalSpy>
#include <QTest>

#include "run/session.h"
#include "ui/windows/act_inact_window.h"
#include "ui/windows/message_window.h"
#include "workbench_fixture.h"

namespace membrix {

using testing::WorkbenchFixture;

class ActInactWindowTest : public QObject {
  Q_OBJECT

 private:
  // The sample parameter file from the File menu, then "Act/Inact".
  static ActInactWindow& OpenWithSample(WorkbenchFixture& f) {
    f.Item(QStringLiteral("'Act_Inact.id'"))->trigger();
    f.Item(QStringLiteral("Act/Inact"))->trigger();
    return *f.form1().findChild<ActInactWindow*>(QStringLiteral("Form2"));
  }
  static int Points(ActInactWindow& w, ActInactCurve c) {
    return w.chart(CurveInfo(c).plot)->PointCount(w.SeriesOf(c));
  }
  static bool RunPeaks(ActInactWindow& w) {
    QSignalSpy finished(&w, &ActInactWindow::peaksFinished);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button3")), Qt::LeftButton);
    return finished.wait(20000);
  }
  static QStringList Lines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }

 private slots:
  void UnfitParametersAreReportedInTheMessageWindow() {
    WorkbenchFixture f;
    f.Item(QStringLiteral("Act/Inact"))->trigger();  // the start-up set is a current clamp
    auto* messages = f.form1().findChild<MessageWindow*>(QStringLiteral("Form11"));
    QVERIFY(messages != nullptr && messages->isVisible());
    QCOMPARE(messages->windowTitle(), QStringLiteral("Form11: for messages"));
    QVERIFY(messages->Text().contains(QStringLiteral("\"Na_V10&S12.id\"")));
    QVERIFY(f.form1().findChild<ActInactWindow*>(QStringLiteral("Form2"))->isVisible());

    const QString before = messages->Text();
    OpenWithSample(f);
    QCOMPARE(messages->Text(), before);  // voltage clamp with a recording: nothing to say
  }

  void SampleDataGiveEveryCurve() {
    WorkbenchFixture f;
    ActInactWindow& w = OpenWithSample(f);
    const double vrest = f.s().NP0.Vrest;
    QVERIFY(RunPeaks(w));
    QVERIFY(f.dialogs->errors.isEmpty());
    QVERIFY(!w.ActInactRunning());
    QCOMPARE(Points(w, ActInactCurve::PeakExp), kActInactProtocols);
    QCOMPARE(Points(w, ActInactCurve::PeakAct), 21);
    QCOMPARE(Points(w, ActInactCurve::PeakInact), 20);
    QVERIFY(Points(w, ActInactCurve::It) > 0);
    // The protocols' levels stay with the worker: the researcher's Vrest is as before.
    QCOMPARE(f.s().NP0.Vrest, vrest);
    QVERIFY(vrest != ActInactProtocolOf(20).Vrest);
    // Model and recording agree in sign and within a factor of two at 0 mV.
    const double ratio = w.peaks().Iexp[-10] / w.peaks().Imod[-10];
    QVERIFY2(ratio > 0.8 && ratio < 2.0, qPrintable(QString::number(ratio)));

    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    QCOMPARE(Points(w, ActInactCurve::GNorm), 21);
    QCOMPARE(w.chart(ActInactPlot::Normalised)->AxisMaximum(ChartAxis::Right), 1.0);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
    QCOMPARE(Points(w, ActInactCurve::HInf), 161);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button6")), Qt::LeftButton);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button5")), Qt::LeftButton);
    QCOMPARE(Points(w, ActInactCurve::BetaH), 81);
    QCOMPARE(w.LegendCornerOf(ActInactPlot::TauH), QStringLiteral("lt"));
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button4")), Qt::LeftButton);
    QCOMPARE(Points(w, ActInactCurve::BetaH), 0);
  }

  void StopLeavesTheWindowUsable() {
    WorkbenchFixture f;
    ActInactWindow& w = OpenWithSample(f);
    SetRunLength(f.s().run, 1.25);  // 25000 steps a protocol
    QSignalSpy finished(&w, &ActInactWindow::peaksFinished);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button3")), Qt::LeftButton);
    QVERIFY(w.ActInactRunning());
    QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("Button3"))->isEnabled());
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button7")), Qt::LeftButton);
    QVERIFY(finished.wait(20000));
    QVERIFY(!w.ActInactRunning());
    QVERIFY(Points(w, ActInactCurve::PeakExp) < 2);
    QVERIFY(w.findChild<QPushButton*>(QStringLiteral("Button3"))->isEnabled());
    QVERIFY(w.findChild<QLabel*>(QStringLiteral("StatusLabel"))->text().startsWith(QStringLiteral("Stopped")));
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button2")), Qt::LeftButton);
    QCOMPARE(Points(w, ActInactCurve::MInf3), 161);

    // Closing the window during a run stops the worker first.
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Button3")), Qt::LeftButton);
    QVERIFY(w.ActInactRunning());
    w.close();
    QVERIFY(!w.ActInactRunning());
  }

  void MissingRecordingIsReportedWithItsPath() {
    WorkbenchFixture f;
    QVERIFY(QDir(f.folder.path()).mkpath(QStringLiteral("Data/Tessel")));  // below the start folder, empty
    ActInactWindow& w = OpenWithSample(f);
    QCOMPARE(w.DataFolder(), f.wb->StartFolder());
    QVERIFY(RunPeaks(w));
    QCOMPARE(f.dialogs->errors.size(), 1);
    QVERIFY2(f.dialogs->errors[0].contains(QStringLiteral("a50.d")) &&
                 f.dialogs->errors[0].contains(QStringLiteral("activation protocol at 50 mV")),
             qPrintable(f.dialogs->errors[0]));
    QVERIFY(!w.ActInactRunning());
    QVERIFY(w.findChild<QPushButton*>(QStringLiteral("Button3"))->isEnabled());
  }

  void SaveAsksAndNoEmptiesTheFile() {
    WorkbenchFixture f;
    ActInactWindow& w = OpenWithSample(f);
    const struct {
      const char* item;
      bool yes;
      int lines;
      const char* note;
    } cases[] = {{"Save g to file", true, 21, kNoteActivationG},
                 {"Save I/I_max to file", true, 20, kNoteInactivationNorm},
                 {"Save tau_m, tau_h to file", false, 0, kNoteTau},
                 {"Save m^3, h to file", true, 161, kNoteSteady}};
    for (const auto& c : cases) {
      f.dialogs->fileToSave = f.FilePath(QStringLiteral("saved.dat"));
      f.dialogs->answers = {c.yes};
      f.dialogs->questions.clear();
      w.findChild<QAction*>(QString::fromUtf8(c.item))->trigger();
      QCOMPARE(f.dialogs->questions, QStringList{QString::fromUtf8(c.note) + QStringLiteral(". OK?")});
      QCOMPARE(Lines(f.dialogs->fileToSave).size(), c.lines);
      QCOMPARE(w.state().ActInactSaveMode, 0);
    }
    QVERIFY(f.dialogs->errors.isEmpty());
  }
};

}  // namespace membrix

QTEST_MAIN(membrix::ActInactWindowTest)
#include "act_inact_window_test.moc"
