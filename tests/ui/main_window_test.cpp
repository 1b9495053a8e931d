#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <cmath>
#include <functional>

#include "run/output_variables.h"
#include "ui/curve_window.h"
#include "ui/integration_dialog.h"
#include "ui/parameter_window.h"
#include "workbench_fixture.h"

using membrix::testing::WorkbenchFixture;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsUpWithTheBuiltInSetShown();
  void RunClampDrawsTheVoltageAndMarksSpikes();
  void PauseHoldsARunUntilPressedAgain();
  void SampleBeyondTheRecordingsFallsBackToTheFirst();
  void ModelFamilyAppliesItsDefaultsAndMarks();
  void SaveKeepsOrEmptiesTheFileByTheAnswer();
  void FailedCommandShowsOneMessageAndStaysUsable();
  void ParametersTypedInTheMemoAreApplied();
  void InputsWriteTheirGlobalsWithTheirConversions();
  void BlockageFlipsItsFlag();
  void IindIsVexpMarkShowsWhetherTheRecordingIsInjected();
  void HelpOpensTheWorkbenchPage();
  void FixedFileOfTheStartFolderComesBeforeTheSample();
  void SimplexFitsTheMarkedParameterOfASampleFile();
  void FitPictureSpansEveryRecordingForEveryClampCommand();
  void ClosingDuringARunStopsItAndEndsTheProgram();
  void IntegrationChoiceReachesTheRunOnlyWhenItsTolerancesAreSound();
};

void MainWindowTest::StartsUpWithTheBuiltInSetShown() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  QCOMPARE(f.form1().objectName(), QStringLiteral("Form1"));
  QCOMPARE(f.form1().windowTitle(), QStringLiteral("Membrix v.21.1"));
  QCOMPARE(f.wb->StartFolder(), QDir::currentPath());
  QVERIFY(f.s().rec.IdFileName.empty());

  // The start-up set is applied and shown.
  QCOMPARE(QString::fromStdString(f.s().NP0.HH_type), QStringLiteral("Lyle"));
  QCOMPARE(f.s().run.t_end, 0.6);
  QCOMPARE(f.Input(QStringLiteral("DDSpinEdit3"))->text(), QStringLiteral("600.0"));
  QCOMPARE(f.Input(QStringLiteral("DDSpinEdit5"))->value(), 4.0);  // uu = 0.004 mA/cm^2 shown in muA/cm^2
  QVERIFY(f.Item(QStringLiteral("Lyle1"))->isChecked());
  QVERIFY(f.Item(QStringLiteral("CC"))->isChecked());
  QVERIFY(f.Input(QStringLiteral("DDSpinEdit1"))->isVisible());   // current clamp shows Iind ...
  QVERIFY(!f.Input(QStringLiteral("DDSpinEdit4"))->isVisible());  // ... and hides Vh
  QVERIFY(f.Item(QStringLiteral("Smpl1"))->isChecked());
  QVERIFY(f.wb->parameterWindow().isVisible());

  // The selections and visibilities of the start-up.
  QVERIFY(!f.Find<QPlainTextEdit>(QStringLiteral("ParamsMemo"))->isVisible());
  QVERIFY(!f.Find<QGroupBox>(QStringLiteral("RadioGroup1"))->isVisible());
  QVERIFY(!f.Item(QStringLiteral("FitPictureToExpData"))->isChecked());
  QVERIFY(f.Item(QStringLiteral("Frequency:  nu(Iind)"))->isChecked());
  QCOMPARE(f.Find<QComboBox>(QStringLiteral("ComboBox1"))->currentIndex(), 12);
  QCOMPARE(f.Find<QComboBox>(QStringLiteral("ComboBox2"))->currentIndex(), 1);
  QCOMPARE(f.Find<QComboBox>(QStringLiteral("NoiseList"))->currentIndex(), 0);
  QVERIFY(!f.Item(QStringLiteral("tau"))->isChecked());
  QVERIFY(f.Item(QStringLiteral("gNaR"))->isChecked());  // the fit table's default selection
  QVERIFY(!f.Item(QStringLiteral("'Chow_train.id'"))->isVisible());
  QVERIFY(f.Item(QStringLiteral("'AP.id'"))->isVisible());
  QCOMPARE(f.form1().TimeLabel()->text(), QStringLiteral("Time="));

  // "Var to write" offers exactly the variables the runs can write.
  const QList<QAbstractButton*> items = f.Find<QButtonGroup>(QStringLiteral("RadioGroup1Items"))->buttons();
  QCOMPARE(static_cast<std::size_t>(items.size()), membrix::OutputVariables().size());
  for (QAbstractButton* b : items)
    QVERIFY2(membrix::IsOutputVariable(b->text().toStdString()), qPrintable(b->text()));
}

void MainWindowTest::RunClampDrawsTheVoltageAndMarksSpikes() {
  WorkbenchFixture f;
  f.RunClampFor(QStringLiteral("20"));
  QVERIFY(f.dialogs->errors.isEmpty());
  const membrix::Session& s = f.s();
  QCOMPARE(s.run.nt, 400);
  QVERIFY(s.spikes.nSpikes >= 1);
  // A short run draws the voltage from every step, so that a spike keeps its
  // shape; the currents keep the drawing cadence (first step, every n_Draw
  // steps, every spike).
  QCOMPARE(f.Points(QStringLiteral(" V ")), s.run.nt);
  QCOMPARE(f.Points(QStringLiteral("-Im")), 1 + s.run.nt_end / s.run.n_Draw + s.spikes.nSpikes);
  QCOMPARE(f.Points(QStringLiteral("Spike")), s.spikes.nSpikes);
  membrix::Chart* voltage = f.form1().chart(1);
  const int spike = voltage->FindSeries(QStringLiteral("Spike"));
  QVERIFY2(voltage->Point(spike, 0).y() > 0.0, "the spike mark sits on an overshooting spike");
  QCOMPARE(f.Points(QStringLiteral("Thr")), 0);  // no threshold neuron
  QCOMPARE(f.Points(QStringLiteral("Experiment")), 2);  // no recording: a line of zeros, first step to last
  QCOMPARE(f.form1().TimeLabel()->text(), QStringLiteral("t=  20.00 ms"));
  QCOMPARE(f.form1().FileLabel()->text(), QStringLiteral("\"NoFile\""));
  QVERIFY(f.Button(QStringLiteral("RunClamp"))->isEnabled());
  QCOMPARE(s.run.PauseFlag, 'R');
}

void MainWindowTest::PauseHoldsARunUntilPressedAgain() {
  WorkbenchFixture f;
  membrix::Session& s = f.s();
  int ntAtPause = -1, ntWhilePaused = -1;
  bool runButtonWhilePaused = true;
  // The first breathing point of the run's steps presses "Pause"; a little
  // later, while the run waits, the run is looked at and resumed.
  std::function<void()> pressPause = [&] {
    if (s.run.nt == 0) {  // still setting up
      QTimer::singleShot(0, &f.form1(), pressPause);
      return;
    }
    QTest::mouseClick(f.Button(QStringLiteral("Pause")), Qt::LeftButton);
    ntAtPause = s.run.nt;
    QTimer::singleShot(30, &f.form1(), [&] {
      ntWhilePaused = s.run.nt;
      runButtonWhilePaused = f.Button(QStringLiteral("RunClamp"))->isEnabled();
      QTest::mouseClick(f.Button(QStringLiteral("Pause")), Qt::LeftButton);
    });
  };
  QTimer::singleShot(0, &f.form1(), pressPause);
  f.RunClampFor(QStringLiteral("20"));
  QCOMPARE(ntAtPause, 100);
  QCOMPARE(ntWhilePaused, ntAtPause);
  QVERIFY(!runButtonWhilePaused);
  QCOMPARE(s.run.nt, 400);  // the run went on to its end
  QCOMPARE(s.run.PauseFlag, 'R');
  QVERIFY(!f.Button(QStringLiteral("Pause"))->isChecked());
}

void MainWindowTest::SampleBeyondTheRecordingsFallsBackToTheFirst() {
  WorkbenchFixture f;
  membrix::Session& s = f.s();
  s.rec.NSmpls = 3;
  const struct { int item, expected; } cases[] = {{5, 1}, {3, 3}, {2, 2}, {20, 1}, {1, 1}, {0, 0}};
  for (auto c : cases) {
    QAction* item = f.Item(QStringLiteral("Smpl%1").arg(c.item));
    item->setEnabled(true);  // as the menu offers it before the recordings were counted
    f.Item(QStringLiteral("FitPictureToExpData"))->setChecked(true);
    item->trigger();
    QVERIFY2(s.rec.Smpl == c.expected,
             qPrintable(QStringLiteral("Smpl=%1 gave %2").arg(c.item).arg(s.rec.Smpl)));
    QVERIFY(item->isChecked());
    QCOMPARE(f.Item(QStringLiteral("FitPictureToExpData"))->isChecked(), c.item != 0);
  }
  // The run button's pop-up menu holds the same items: the tick is the twin's.
  auto* runMenu = f.Find<QMenu>(QStringLiteral("RunClampMenu"));
  QVERIFY(runMenu->actions().contains(f.Item(QStringLiteral("Smpl5"))));
  QCOMPARE(runMenu->actions().size(), 21);
}

void MainWindowTest::ModelFamilyAppliesItsDefaultsAndMarks() {
  const struct {
    const char* item;
    const char* family;
    double gNa;
    const char* geometryItem;
    bool marked;
  } cases[] = {{"Rariza1", "Rariza", 120.0, "N1point1", true},
               {"Migliore1", "Migliore", 32.0, "N1point1", true},
               {"Bazhenov1", "Bazhenov", 3450.0, "N2pMainenSejn1", false}};
  const char* const families[] = {"Passive1", "Rariza1",   "Destexhe1", "Migliore1", "Cummins1", "Chow1",
                                  "Lyle1",    "Naundorf1", "White1",    "White21",   "Shu1",     "Bazhenov1"};
  for (auto c : cases) {
    WorkbenchFixture f;
    f.Item(QString::fromUtf8(c.item))->trigger();
    QCOMPARE(QString::fromStdString(f.s().NP0.HH_type), QString::fromUtf8(c.family));
    QCOMPARE(f.s().NP0.gNa, c.gNa);
    for (const char* other : families) {
      const bool expected = c.marked && std::string_view(other) == c.item;
      QVERIFY2(f.Item(QString::fromUtf8(other))->isChecked() == expected,
               qPrintable(QStringLiteral("%1 after %2").arg(other, c.item)));
    }
    QVERIFY2(f.Item(QString::fromUtf8(c.geometryItem))->isChecked(), c.item);
    // The parameter window shows the family's conductance.
    QCOMPARE(f.wb->parameterWindow().input(2)->value(), c.gNa);
  }
}

void MainWindowTest::SaveKeepsOrEmptiesTheFileByTheAnswer() {
  const struct {
    const char* command;  // a save item, or an item of "Var to write" after "Save any curve"
    std::deque<bool> answers;
    bool kept;
    const char* lastQuestion;
  } cases[] = {{"Save V to file", {true}, true, "Written columns are: 1-t(ms)  2-V(mV). OK?"},
               {"Save V to file", {false}, false, "Written columns are: 1-t(ms)  2-V(mV). OK?"},
               {"V", {true, false}, false, "Written columns are: 1-t(ms)  2-V. OK?"},
               {"V", {true, true}, true, "Written columns are: 1-t(ms)  2-V. OK?"}};
  for (const auto& c : cases) {
    WorkbenchFixture f;
    f.Type(QStringLiteral("DDSpinEdit3"), QStringLiteral("5"));
    f.dialogs->fileToSave = f.FilePath(QStringLiteral("trace.dat"));
    f.dialogs->answers = c.answers;
    if (std::string_view(c.command) == "V") {
      QTest::mouseClick(f.Button(QStringLiteral("Save any curve")), Qt::LeftButton);
      auto* items = f.Find<QButtonGroup>(QStringLiteral("RadioGroup1Items"));
      QRadioButton* v = nullptr;
      for (QAbstractButton* b : items->buttons()) {
        if (b->text() == QLatin1String("V")) v = static_cast<QRadioButton*>(b);
      }
      QTRY_VERIFY(v->isVisible() && !v->rect().isEmpty());
      QTest::mouseClick(v, Qt::LeftButton, Qt::NoModifier, QPoint(6, v->height() / 2));  // on its circle
      QCOMPARE(f.dialogs->questions.value(0), QStringLiteral("Run \"RunClamp\""));
      QVERIFY(!f.Find<QGroupBox>(QStringLiteral("RadioGroup1"))->isVisible());
      QVERIFY(f.wb->curveWindow().isVisible());
    } else {
      f.Item(QString::fromUtf8(c.command))->trigger();
    }
    QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
    QCOMPARE(f.dialogs->questions.last(), QString::fromUtf8(c.lastQuestion));
    QFile trace(f.dialogs->fileToSave);
    QVERIFY(trace.exists());
    QCOMPARE(trace.size() > 0, c.kept);
    QCOMPARE(f.s().run.WriteMode, 0);
  }
}

void MainWindowTest::FailedCommandShowsOneMessageAndStaysUsable() {
  WorkbenchFixture f;
  // A parameter file whose recording is not there: the run's set-up fails.
  f.Write(QStringLiteral("missing.id"),
          "CommonParametersFromFile\n  NSmpls := 1;\n  t_end := 0.005;\n"
          "MembrixPhysParameters\nKeepParams=0\n"
          "ParametersFromFile\n  SmplFile[Smpl] := 'not_there.dat';\nend.\n");
  f.dialogs->fileToOpen = f.FilePath(QStringLiteral("missing.id"));
  f.Item(QStringLiteral("Open *.id file"))->trigger();
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(QString::fromStdString(f.s().rec.IdFileName), f.dialogs->fileToOpen);
  QVERIFY(
      f.Find<QPlainTextEdit>(QStringLiteral("ParamsMemo"))->toPlainText().contains(QStringLiteral("t_end")));

  QTest::mouseClick(f.Button(QStringLiteral("RunClamp")), Qt::LeftButton);
  QCOMPARE(f.dialogs->errors.size(), 1);
  QVERIFY2(f.dialogs->errors.first().contains(QStringLiteral("not_there.dat")),
           qPrintable(f.dialogs->errors.first()));
  QVERIFY(f.Button(QStringLiteral("RunClamp"))->isEnabled());
  QVERIFY(!f.wb->Running());

  // A fit needs recordings it can read: refused with one message too.
  f.Item(QStringLiteral("Simplex"))->trigger();
  QCOMPARE(f.dialogs->errors.size(), 2);
  QVERIFY(f.Button(QStringLiteral("RunClamp"))->isEnabled());

  // The workbench goes on: the built-in set runs again.
  f.Item(QStringLiteral("Default"))->trigger();
  f.RunClampFor(QStringLiteral("5"));
  QCOMPARE(f.dialogs->errors.size(), 2);
  QCOMPARE(f.s().run.nt, 100);
}

void MainWindowTest::ParametersTypedInTheMemoAreApplied() {
  WorkbenchFixture f;
  auto* memo = f.Find<QPlainTextEdit>(QStringLiteral("ParamsMemo"));
  f.Item(QStringLiteral("Set params in window"))->trigger();
  QVERIFY(memo->isVisible());
  QVERIFY(
      memo->toPlainText().contains(QStringLiteral("Here you can set any parameters. DblClick to finish.")));
  memo->appendPlainText(QStringLiteral("NP0.gNa := 5.5;\nIind := 42;"));
  QTest::mouseDClick(memo->viewport(), Qt::LeftButton);
  QCOMPARE(f.s().NP0.gNa, 5.5);
  QCOMPARE(f.s().stim.Iind, 42.0);
  QVERIFY(!memo->isVisible());
  QVERIFY(QFile::exists(f.FilePath(QStringLiteral("Memo.id"))));
  QCOMPARE(f.Input(QStringLiteral("DDSpinEdit1"))->value(), 42.0);  // shown again
}

void MainWindowTest::InputsWriteTheirGlobalsWithTheirConversions() {
  WorkbenchFixture f;
  membrix::Session& s = f.s();
  const double Vrest = s.NP0.Vrest;
  const struct {
    const char* input;
    const char* typed;
    std::function<double(const membrix::Session&)> global;
    double expected;
  } cases[] = {
      {"DDSpinEdit1", "150", [](const membrix::Session& s) { return s.stim.Iind; }, 150.0},
      {"DDSpinEdit4", "10", [](const membrix::Session& s) { return s.stim.Vh; }, 0.010 + Vrest},
      {"DDSpinEdit2", "30", [](const membrix::Session& s) { return s.stim.t_Iind; }, 0.030},
      {"DDSpinEdit3", "50", [](const membrix::Session& s) { return s.run.nt_end; }, 1000.0},
      {"DDSpinEdit5", "6", [](const membrix::Session& s) { return s.stim.uu; }, 0.006},
      {"DDSpinEdit20", "2.5", [](const membrix::Session& s) { return s.stim.t_IindShift; }, 0.0025},
      {"DDSpinEdit10", "30", [](const membrix::Session& s) { return s.prog.tau_E; }, 0.030},
      {"DDSpinEdit15", "2", [](const membrix::Session& s) { return s.prog.FC_I0; }, 0.002},
      // A time step of 0 is not taken; a positive one sets the step count.
      {" dt, ms ", "0", [](const membrix::Session& s) { return s.run.dt; }, 5e-5},
      {" dt, ms ", "0.025", [](const membrix::Session& s) { return s.run.nt_end; }, 2000.0},
  };
  for (const auto& c : cases) {
    f.Type(QString::fromUtf8(c.input), QString::fromUtf8(c.typed));
    QVERIFY2(qAbs(c.global(s) - c.expected) <= 1e-12 * qMax(1.0, qAbs(c.expected)),
             qPrintable(QStringLiteral("%1 = %2 gave %3").arg(c.input, c.typed).arg(c.global(s))));
  }
  // A double click resets the inputs that have a reset, and no other.
  const struct {
    const char* input;
    bool resets;
  } resets[] = {
      {"DDSpinEdit1", true}, {"DDSpinEdit5", true}, {"DDSpinEdit3", false}, {"DDSpinEdit22", false}};
  for (auto r : resets) {
    membrix::NumericInput* in = f.Input(QString::fromUtf8(r.input));
    in->setValue(7.0);
    QTest::mouseDClick(in, Qt::LeftButton);
    QVERIFY2((in->value() == 0.0) == r.resets, r.input);
  }
  QCOMPARE(s.stim.Iind, 0.0);
}

void MainWindowTest::BlockageFlipsItsFlag() {
  WorkbenchFixture f;
  std::int32_t& flag = f.s().NP0.IfBlockKM;
  QAction* item = f.Item(QStringLiteral("I_KM"));
  const struct {
    std::int32_t before, after;
    bool marked;
  } cases[] = {{0, 1, true}, {1, 0, false}, {2, -1, false}};
  for (auto c : cases) {
    flag = c.before;
    item->trigger();
    QCOMPARE(flag, c.after);
    QCOMPARE(item->isChecked(), c.marked);
  }
}

void MainWindowTest::IindIsVexpMarkShowsWhetherTheRecordingIsInjected() {
  WorkbenchFixture f;
  QAction* item = f.Item(QStringLiteral("Iind=Vexp"));
  // The mark is the mode: chosen from the menu, from another mode or from a
  // parameter file, mode 7 and the mark go together.
  for (int repeat = 0; repeat < 2; ++repeat) {
    item->trigger();
    QCOMPARE(f.s().NP0.If_I_V_or_g, 7);
    f.wb->Correspond();  // as every command and run does
    QVERIFY(item->isChecked());
  }
  f.Item(QStringLiteral("CC"))->trigger();
  QVERIFY(!item->isChecked());
  f.s().NP0.If_I_V_or_g = 7;  // as a parameter file sets it
  f.wb->Correspond();
  QVERIFY(item->isChecked());
}

void MainWindowTest::HelpOpensTheWorkbenchPage() {
  WorkbenchFixture f;
  f.Item(QStringLiteral("Help1"))->trigger();
  QVERIFY(f.dialogs->errors.isEmpty());
  QWidget* window = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == QLatin1String("HelpWindow")) window = w;
  }
  QVERIFY(window != nullptr && window->isVisible());
  auto* text = window->findChild<QTextBrowser*>();
  QVERIFY(text->toPlainText().contains(QStringLiteral("RunClamp")));

  // Without the pages, and without the sample files, the message says where
  // they were looked for and what to do; nothing is loaded.
  f.wb->SetProjectFolder(f.folder.path());
  f.Item(QStringLiteral("Help1"))->trigger();
  f.Item(QStringLiteral("'AP.id'"))->trigger();
  QCOMPARE(f.dialogs->errors.size(), 2);
  for (const QString& error : f.dialogs->errors) {
    QVERIFY2(error.startsWith(QStringLiteral("Not found: ")) && error.contains(f.folder.path()) &&
                 error.contains(QStringLiteral("MEMBRIX_HOME")),
             qPrintable(error));
  }
  QVERIFY(f.s().rec.IdFileName.empty());
}

void MainWindowTest::FixedFileOfTheStartFolderComesBeforeTheSample() {
  WorkbenchFixture f;
  QAction* item = f.Item(QStringLiteral("'AP.id'"));
  item->trigger();  // none in the start folder: the shipped sample
  QVERIFY(QString::fromStdString(f.s().rec.IdFileName).contains(QStringLiteral("resources/samples")));
  QVERIFY(item->toolTip().contains(QStringLiteral("samples")));

  const QString own = QDir(f.wb->StartFolder()).filePath(QStringLiteral("AP.id"));
  QFile out(own);
  QVERIFY(out.open(QIODevice::WriteOnly));
  out.write("CommonParametersFromFile\n  NSmpls := 1;\nMembrixPhysParameters\n  NP0.gNa := 42;\nKeepParams=0\nend.\n");
  out.close();
  item->trigger();
  QCOMPARE(QString::fromStdString(f.s().rec.IdFileName), own);
  QCOMPARE(f.s().NP0.gNa, 42.0);
  QCOMPARE(item->toolTip(), QStringLiteral("Opened %1").arg(QDir::toNativeSeparators(own)));
  QFile::remove(own);
}

void MainWindowTest::SimplexFitsTheMarkedParameterOfASampleFile() {
  WorkbenchFixture f;
  f.Item(QStringLiteral("'AP.id'"))->trigger();
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QCOMPARE(QFileInfo(QString::fromStdString(f.s().rec.IdFileName)).fileName(), QStringLiteral("AP.id"));
  QVERIFY(f.Item(QStringLiteral("'AP.id'"))->isChecked());

  f.Item(QStringLiteral("Clear all marks"))->trigger();
  QVERIFY(!f.Item(QStringLiteral("gNaR"))->isChecked());
  f.Item(QStringLiteral("gNa[1]"))->trigger();
  f.Item(QStringLiteral("Simplex"))->trigger();
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QCOMPARE(f.s().fit.FitCount, 1);
  QVERIFY(f.Find<QPlainTextEdit>(QStringLiteral("SimplexMemo"))
              ->toPlainText()
              .contains(QStringLiteral("Stop Simplex.")));
  QVERIFY(f.Find<QPlainTextEdit>(QStringLiteral("CoeMemo"))->toPlainText().contains(QStringLiteral("gNa")));
  QVERIFY(!f.form1().chart(1)->isVisible());  // hidden while the notes are shown
}

void MainWindowTest::FitPictureSpansEveryRecordingForEveryClampCommand() {
  // Two short recordings of different spans; the run compares recording 1.
  const auto recording = [](double low, double high) {
    QByteArray text;
    for (int i = 0; i <= 40; ++i)
      text += QByteArray::number(i * 0.05, 'f', 3) + ' ' + QByteArray::number(i % 2 ? high : low, 'g', 6) + '\n';
    return text;
  };
  const char* const id =
      "CommonParametersFromFile\n  NSmpls := 2;\n  IfDataIn1column := 0;\n  scx_Smpl := 0.001;\n"
      "  t_end := 0.002;\nMembrixPhysParameters\nKeepParams=0\n"
      "ParametersFromFile\n  SmplFile[Smpl] := 'narrow.d';\n"
      "ParametersFromFile2\n  SmplFile[Smpl] := 'wide.d';\nend.\n";
  const struct {
    const char* command;  // a button, a menu item, or "V" of "Var to write" after "Draw any curve"
    std::deque<bool> answers;
    bool oneAxis;  // the recording's span in mV on the one-axis chart, else in V on the right axis
  } cases[] = {{"RunClamp", {}, true},
               {"RunClamp", {}, false},
               {"Save V to file", {true}, true},
               {"V", {}, true},
               {"Simplex", {}, false}};
  for (const auto& c : cases) {
    WorkbenchFixture f;
    f.Write(QStringLiteral("narrow.d"), recording(0.001, 0.002));
    f.Write(QStringLiteral("wide.d"), recording(-0.02, 0.03));
    f.Write(QStringLiteral("two.id"), id);
    f.dialogs->fileToOpen = f.FilePath(QStringLiteral("two.id"));
    f.Item(QStringLiteral("Open *.id file"))->trigger();
    f.Item(QStringLiteral("Smpl1"))->trigger();
    f.Item(QStringLiteral("FitPictureToExpData"))->setChecked(true);
    f.dialogs->fileToSave = f.FilePath(QStringLiteral("trace.dat"));
    f.dialogs->answers = c.answers;
    f.Find<QCheckBox>(QStringLiteral("OneAxis"))->setChecked(c.oneAxis);
    membrix::Chart* model = c.oneAxis ? f.form1().ModelOverlayChart() : f.form1().chart(3);
    const membrix::ChartAxis axis = c.oneAxis ? membrix::ChartAxis::Left : membrix::ChartAxis::Right;
    const double scale = c.oneAxis ? 1000.0 : 1.0;
    model->SetAxisRange(axis, 5.0, 6.0);

    const std::string_view command(c.command);
    if (command == "V") {
      QTest::mouseClick(f.Button(QStringLiteral("Draw any curve")), Qt::LeftButton);
      for (QAbstractButton* b : f.Find<QButtonGroup>(QStringLiteral("RadioGroup1Items"))->buttons()) {
        if (b->text() == QLatin1String("V")) b->click();
      }
    } else if (command == "RunClamp") {
      QTest::mouseClick(f.Button(QStringLiteral("RunClamp")), Qt::LeftButton);
    } else {
      f.Item(QString::fromUtf8(c.command))->trigger();
    }
    QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
    QVERIFY2(f.s().run.nt > 0, c.command);
    f.Find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(2);  // "Model and Experiment"
    model->Refresh();
    QVERIFY2(std::abs(model->AxisMinimum(axis) + 0.02 * scale) < 1e-9 * scale &&
                 std::abs(model->AxisMaximum(axis) - 0.03 * scale) < 1e-9 * scale,
             qPrintable(QStringLiteral("%1: %2 ... %3")
                            .arg(c.command)
                            .arg(model->AxisMinimum(axis))
                            .arg(model->AxisMaximum(axis))));
  }
}

void MainWindowTest::ClosingDuringARunStopsItAndEndsTheProgram() {
  WorkbenchFixture f;
  std::function<void()> close = [&] {
    if (f.s().run.nt == 0) {  // still setting up
      QTimer::singleShot(0, &f.form1(), close);
      return;
    }
    f.form1().close();
  };
  QTimer::singleShot(0, &f.form1(), close);
  f.RunClampFor(QStringLiteral("100"));
  QCOMPARE(f.s().run.nt, 100);  // stopped at its first breathing point
  QVERIFY(f.dialogs->errors.isEmpty());
  QTRY_VERIFY(!f.form1().isVisible());
  QVERIFY(!f.wb->parameterWindow().isVisible());
}

// "Parameters > Integration…" keeps the run's choice until OK; tolerances
// the integrator does not take are named and nothing changes; the chosen
// integrator makes the next run.
void MainWindowTest::IntegrationChoiceReachesTheRunOnlyWhenItsTolerancesAreSound() {
  WorkbenchFixture f;
  QVERIFY(f.Item(QStringLiteral("Integration")) != nullptr);
  membrix::Session& s = f.s();
  QCOMPARE(s.run.integrator.kind, membrix::IntegratorKind::FixedStep);
  {
    membrix::IntegrationDialog dialog(s.run, &f.form1());
    auto* kind = dialog.findChild<QComboBox*>(QStringLiteral("IntegratorList"));
    auto* rtol = dialog.findChild<QLineEdit*>(QStringLiteral("RtolEdit"));
    auto* atol = dialog.findChild<QLineEdit*>(QStringLiteral("AtolEdit"));
    auto* problem = dialog.findChild<QLabel*>(QStringLiteral("IntegrationProblem"));
    QVERIFY(kind && rtol && atol && problem);
    QVERIFY(!rtol->isEnabled());
    kind->setCurrentIndex(1);
    QVERIFY(rtol->isEnabled());
    for (const char* bad : {"0", "abc", "2"}) {
      rtol->setText(QString::fromUtf8(bad));
      dialog.accept();
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
      QVERIFY2(problem->text().contains(QStringLiteral("tolerance")), qPrintable(problem->text()));
      QCOMPARE(s.run.integrator.kind, membrix::IntegratorKind::FixedStep);
    }
    rtol->setText(QStringLiteral("1e-7"));
    atol->setText(QStringLiteral("1e-7"));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(s.run.integrator.kind, membrix::IntegratorKind::Cvode);
  QCOMPARE(s.run.integrator.rtol, 1e-7);
  f.RunClampFor(QStringLiteral("20"));
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(s.run.nt, 400);
  QVERIFY(s.spikes.nSpikes >= 1);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
