// The main protocol across the tasks started from the workbench: a task that
// runs its own protocol gives the researcher's back when it ends; one whose
// point is to set it up leaves its changes marked in the main window, named in
// the status bar and undoable.

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <functional>

#include "params/parameter_file.h"
#include "run/session.h"
#include "ui/protocol_keeper.h"
#include "ui/windows/act_inact_window.h"
#include "ui/windows/data_tools.h"
#include "ui/windows/ensemble_window.h"
#include "ui/windows/reverse_problem_window.h"
#include "ui/windows/step_series_window.h"
#include "workbench_fixture.h"

using membrix::MainProtocol;
using membrix::NumericInput;
using membrix::ProtocolChanges;
using membrix::testing::TypeInto;
using membrix::testing::WorkbenchFixture;

namespace {

QStringList Changed(const MainProtocol& before, const MainProtocol& after) {
  QStringList out;
  for (const membrix::ProtocolChange& c : ProtocolChanges(before, after)) out << c.phrase;
  return out;
}

QWidget& Ensemble(WorkbenchFixture& f) {
  QWidget& w = membrix::ShowEnsembleWindow(*f.wb, &f.form1());
  TypeInto(w, "DDSpinEdit3", QStringLiteral("20"));  // t_end of the ensemble's own problem
  TypeInto(w, "DDSpinEdit7", QStringLiteral("7"));   // members
  TypeInto(w, "DDSpinEdit6", QStringLiteral("40"));
  return w;
}

void Click(QWidget& w, const char* button) {
  auto* b = w.findChild<QPushButton*>(QString::fromUtf8(button));
  QVERIFY2(b != nullptr, button);
  QTest::mouseClick(b, Qt::LeftButton);
}

}  // namespace

class TaskProtocolTest : public QObject {
  Q_OBJECT

 private slots:
  void EachTaskLeavesTheProtocolOrMarksItsChange();
};

void TaskProtocolTest::EachTaskLeavesTheProtocolOrMarksItsChange() {
  struct Task {
    const char* name;
    std::function<void(WorkbenchFixture&)> prepare;  // before the protocol is taken
    std::function<void(WorkbenchFixture&)> run;
    bool shows;  // setting the protocol up is the task's point
    const char* mustChange = nullptr;  // a phrase the shown change holds
  };
  const Task tasks[] = {
      {"noise ensemble", nullptr, [](WorkbenchFixture& f) { Click(Ensemble(f), "Button5"); }, false},
      {"dispersed thresholds", nullptr, [](WorkbenchFixture& f) { Click(Ensemble(f), "Button1"); }, false},
      {"Gaussian conductances", nullptr, [](WorkbenchFixture& f) { Click(Ensemble(f), "Button4"); }, false},
      {"network",
       nullptr,
       [](WorkbenchFixture& f) {
         QWidget& w = Ensemble(f);
         TypeInto(w, "DDSpinEdit7", QStringLiteral("10"));
         w.findChild<QCheckBox*>(QStringLiteral("NetWhiteNoise"))->setChecked(true);
         Click(w, "Button7");
       },
       false},
      {"fit",
       [](WorkbenchFixture& f) {
         f.Item(QStringLiteral("'AP.id'"))->trigger();
         f.Item(QStringLiteral("Clear all marks"))->trigger();
         f.Item(QStringLiteral("gNa[1]"))->trigger();
       },
       [](WorkbenchFixture& f) {
         f.Item(QStringLiteral("Simplex"))->trigger();
         QVERIFY(f.s().fit.FitCount == 1);
       },
       false},
      {"reverse-problem fit",
       [](WorkbenchFixture& f) {
         membrix::LoadParameterFile(
             f.s(), QStringLiteral(MEMBRIX_SOURCE_DIR "/resources/samples/HH_K_steps.id").toStdString());
         QTest::mouseClick(f.Button(QStringLiteral("HH approx.")), Qt::LeftButton);
         auto* w = f.form1().findChild<membrix::ReverseProblemWindow*>();
         QVERIFY(w != nullptr);
         w->findChild<QRadioButton*>(QStringLiteral("RadioK"))->click();
         TypeInto(*w, "DDSpinEdit24", QStringLiteral("0.001"));  // a short fit
       },
       [](WorkbenchFixture& f) {
         auto* w = f.form1().findChild<membrix::ReverseProblemWindow*>();
         w->findChild<QPushButton*>(QStringLiteral("Solve reverse problem"))->click();
         QCOMPARE(f.s().SimplexMemo.back(), std::string("Stop Simplex."));
       },
       false},
      {"activation and inactivation peaks",
       [](WorkbenchFixture& f) {
         f.Item(QStringLiteral("'Act_Inact.id'"))->trigger();
         f.Item(QStringLiteral("Act/Inact"))->trigger();
       },
       [](WorkbenchFixture& f) {
         auto* w = f.form1().findChild<membrix::ActInactWindow*>(QStringLiteral("Form2"));
         QSignalSpy finished(w, &membrix::ActInactWindow::peaksFinished);
         Click(*w, "Button3");
         QVERIFY(finished.wait(60000));
       },
       false},
      {"voltage-step series",
       [](WorkbenchFixture& f) { QTest::mouseClick(f.Button(QStringLiteral("ramps/steps")), Qt::LeftButton); },
       [](WorkbenchFixture& f) {
         membrix::StepSeriesWindow& w = membrix::StepSeries(*f.wb);
         w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit1"))->setValue(4);
         w.findChild<NumericInput*>(QStringLiteral("DDSpinEdit3"))->setValue(20);
         Click(w, "Button1");
       },
       true, "clamp mode \"CC\" \u2192 \"VC at Vexp\""},
  };
  for (const Task& t : tasks) {
    WorkbenchFixture f;
    QVERIFY(f.exposed);
    if (t.prepare) t.prepare(f);
    QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
    const MainProtocol before = MainProtocol::Of(f.s());
    const double shownEnd = f.Input(QStringLiteral("DDSpinEdit3"))->value();
    t.run(f);
    QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(QString::fromUtf8(t.name) + QStringLiteral(": ") +
                                                     f.dialogs->errors.join(QLatin1Char('\n'))));
    const QStringList changed = Changed(before, MainProtocol::Of(f.s()));
    const QString status = f.form1().RunSummaryLabel()->text();
    if (!t.shows) {
      QVERIFY2(changed.isEmpty(), qPrintable(QString::fromUtf8(t.name) + QStringLiteral(" left ") + changed.join(", ")));
      QCOMPARE(f.Input(QStringLiteral("DDSpinEdit3"))->value(), shownEnd);
      QVERIFY2(f.form1().ProtocolMarks().isEmpty(), t.name);
      continue;
    }
    // The change stays, marked where an input shows it, named in the status bar.
    QVERIFY2(changed.contains(QString::fromUtf8(t.mustChange)), qPrintable(changed.join(", ")));
    QVERIFY2(status.contains(QString::fromUtf8(t.mustChange)), qPrintable(status));
    QVERIFY2(f.form1().ProtocolMarks().contains(QStringLiteral("RunClamp")),
             qPrintable(f.form1().ProtocolMarks().join(", ")));
    QPushButton* undo = f.form1().ProtocolUndo();
    QVERIFY(undo != nullptr);
    QTest::mouseClick(undo, Qt::LeftButton);
    QVERIFY2(Changed(before, MainProtocol::Of(f.s())).isEmpty(),
             qPrintable(Changed(before, MainProtocol::Of(f.s())).join(", ")));
    QVERIFY(f.form1().ProtocolMarks().isEmpty());
    QVERIFY(f.form1().ProtocolUndo() == nullptr);
  }
}

QTEST_MAIN(TaskProtocolTest)
#include "task_protocol_test.moc"
