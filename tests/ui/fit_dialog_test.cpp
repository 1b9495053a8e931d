// The fitting options: parameters ticked in one table with their bounds, the
// global method recovering a conductance the simplex misses, the progress and
// end in one line, and the run pages shown again after the fit.

#include <QComboBox>
#include <QDoubleSpinBox>
#include <algorithm>
#include <cmath>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "data/global_fit.h"
#include "run/session.h"
#include "ui/windows/fit_dialog.h"
#include "workbench_fixture.h"

namespace membrix {

using testing::WorkbenchFixture;

class FitDialogTest : public QObject {
  Q_OBJECT

 private:
  // The squid axon under a weak 95 ms pulse, with a recording of itself at
  // gNa = 120 written as "rec1.dat"; the file sets gNa 20 % low.
  static void OpenSquidCase(WorkbenchFixture& f) {
    QByteArray id =
        "CommonParametersFromFile\nNSmpls := 1;\nNP0.HH_type := 'Rariza';\nNP0.HH_order := '1-point';\n"
        "t_end := 0.1;\nIind := 300;  t_IindShift := 0.002;  t_Iind := 0.095;\nMembrixPhysParameters\n"
        "NP0.If_I_V_or_g := 2;\nKeepParams=0\nParametersFromFile\nSmplFile[Smpl] := 'rec1.dat';\nend.\n";
    f.Write(QStringLiteral("squid.id"), id);
    f.Write(QStringLiteral("rec1.dat"), "0 0\n");
    f.dialogs->fileToOpen = f.FilePath(QStringLiteral("squid.id"));
    f.Item(QStringLiteral("Open *.id file"))->trigger();
    QTest::mouseClick(f.Button(QStringLiteral("RunClamp")), Qt::LeftButton);
    QByteArray recording;
    for (int n = 1; n <= f.s().run.nt; ++n) {
      recording += QByteArray::number(n * f.s().run.dt * 1000.0, 'f', 5) + ' ' +
                   QByteArray::number(f.s().ModelData(n, 1), 'e', 17) + '\n';
    }
    f.Write(QStringLiteral("rec1.dat"), recording);
    id.replace("NP0.If_I_V_or_g := 2;\n", "NP0.If_I_V_or_g := 2;\nNP0.gNa := 96;\n");
    f.Write(QStringLiteral("squid.id"), id);
    f.Item(QStringLiteral("Open *.id file"))->trigger();
  }

  static int Row(const char* item) { return FindFitSlot(item); }

 private slots:
  void GlobalFitFromTheDialogFindsTheConductance() {
    WorkbenchFixture f;
    QVERIFY(f.exposed);
    OpenSquidCase(f);
    QCOMPARE(f.s().NP0.gNa, 96.0);
    std::vector<bool> hiddenBefore;
    for (Chart* c : f.form1().RunCharts()) hiddenBefore.push_back(c->isHidden());
    QVERIFY(std::count(hiddenBefore.begin(), hiddenBefore.end(), false) >= 4);

    f.Item(QStringLiteral("FittingOptions"))->trigger();
    auto* d = f.form1().findChild<FitDialog*>(QStringLiteral("FitDialog"));
    QVERIFY(d != nullptr && d->isVisible());
    auto* table = d->findChild<QTableWidget*>(QStringLiteral("FitParameters"));
    QCOMPARE(table->rowCount(), kDefinedFitSlots);
    // Only gNa ticked, from the table; the Simplex menu follows.
    for (int row = 0; row < table->rowCount(); ++row) table->item(row, 0)->setCheckState(Qt::Unchecked);
    const int gNa = Row("gNa[1]");
    table->item(gNa, 0)->setCheckState(Qt::Checked);
    QVERIFY(f.Item(QStringLiteral("gNa[1]"))->isChecked());
    QVERIFY(!f.Item(QStringLiteral("gNaR"))->isChecked());
    QCOMPARE(table->item(gNa, 2)->text(), QStringLiteral("96"));
    // Bounds: a bad one is refused and said so; good ones go to the table.
    table->item(gNa, 4)->setText(QStringLiteral("-5"));
    QVERIFY(d->StatusText().contains(QStringLiteral("lower below the upper")));
    QCOMPARE(f.s().fit.FitSlots[gNa].FitUpper, kFitUpperBound);
    QCOMPARE(table->item(gNa, 4)->text(), QStringLiteral("1e8"));
    table->item(gNa, 3)->setText(QStringLiteral("50"));
    table->item(gNa, 4)->setText(QStringLiteral("200"));
    QCOMPARE(f.s().fit.FitSlots[gNa].FitLower, 50.0);
    QCOMPARE(f.s().fit.FitSlots[gNa].FitUpper, 200.0);

    d->findChild<QComboBox*>(QStringLiteral("FitMethod"))->setCurrentIndex(1);
    d->findChild<QSpinBox*>(QStringLiteral("FitMaxEvaluations"))->setValue(30);
    d->findChild<QDoubleSpinBox*>(QStringLiteral("FitTolerance"))->setValue(0.001);
    QCOMPARE(f.s().fit.Method, FitMethod::Global);
    QCOMPARE(f.s().fit.Tolerance, 0.001);
    const std::size_t echoes = f.s().ParamsMemo.size();
    const std::size_t notes = f.s().SimplexMemo.size();
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("FitStart")), Qt::LeftButton);

    QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
    QVERIFY(std::abs(f.s().NP0.gNa - 120.0) < 1.2);
    // The evaluations do not repeat the file's assignments on the Notes page:
    // one line says so, and the fit's own lines are few.
    QCOMPARE(f.s().ParamsMemo.size(), echoes + 1);
    QVERIFY2(f.s().SimplexMemo.size() - notes < 30, qPrintable(QString::number(f.s().SimplexMemo.size() - notes)));
    // The end is stated with the method, the residual and the value, in the
    // dialog, the status bar and the memo alike.
    const QString end = d->StatusText();
    QVERIFY2(end.startsWith(QStringLiteral("global: converged after")) ||
                 end.startsWith(QStringLiteral("global: evaluation limit after")),
             qPrintable(end));
    // The parameters hold the fitted value itself, not the one the parameter
    // window rounds it to.
    QVERIFY2(end.endsWith(QStringLiteral("gNa = ") + QString::number(f.s().NP0.gNa, 'g', 10)), qPrintable(end));
    QVERIFY(f.s().NP0.gNa != std::round(f.s().NP0.gNa * 100.0) / 100.0);
    QCOMPARE(FitDialog::WithResidualUnit(f.s(), QString::fromStdString(f.s().SimplexMemo.back())), end);
    QVERIFY2(end.contains(QStringLiteral(" mV")), qPrintable(end));
    QCOMPARE(table->item(gNa, 2)->text(), QString::number(f.s().NP0.gNa, 'g', 10));
    QVERIFY(d->findChild<QPushButton*>(QStringLiteral("FitStart"))->isEnabled());
    QVERIFY(!d->findChild<QPushButton*>(QStringLiteral("FitStop"))->isEnabled());
    // The run pages show their charts again, drawing the fitted run.
    std::vector<bool> hiddenAfter;
    for (Chart* c : f.form1().RunCharts()) hiddenAfter.push_back(c->isHidden());
    QCOMPARE(hiddenAfter, hiddenBefore);
  }

  void StopEndsTheFitKeepingItsBestPoint() {
    WorkbenchFixture f;
    QVERIFY(f.exposed);
    OpenSquidCase(f);
    // A mark of the Simplex menu shows in the table.
    f.Item(QStringLiteral("Clear all marks"))->trigger();
    f.Item(QStringLiteral("gNa[1]"))->trigger();
    f.Item(QStringLiteral("FittingOptions"))->trigger();
    auto* d = f.form1().findChild<FitDialog*>(QStringLiteral("FitDialog"));
    auto* table = d->findChild<QTableWidget*>(QStringLiteral("FitParameters"));
    QCOMPARE(table->item(Row("gNa[1]"), 0)->checkState(), Qt::Checked);
    for (int row = 0; row < table->rowCount(); ++row) {
      if (row != Row("gNa[1]")) table->item(row, 0)->setCheckState(Qt::Unchecked);
    }
    d->findChild<QComboBox*>(QStringLiteral("FitMethod"))->setCurrentIndex(1);
    d->findChild<QSpinBox*>(QStringLiteral("FitMaxEvaluations"))->setValue(100000);
    auto* stop = d->findChild<QPushButton*>(QStringLiteral("FitStop"));
    QTimer::singleShot(300, stop, [stop] {
      QVERIFY(stop->isEnabled());
      stop->click();
    });
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("FitStart")), Qt::LeftButton);
    const QString end = d->StatusText();
    QVERIFY2(end.startsWith(QStringLiteral("global: stopped after")), qPrintable(end));
    QVERIFY2(end.endsWith(QStringLiteral("gNa = ") + QString::number(f.s().NP0.gNa, 'g', 10)), qPrintable(end));
    QVERIFY(f.dialogs->errors.isEmpty());
  }

  // On a file whose resurgent Na current is blocked, the dialog offers only
  // what can change the deviation, in the units of the other windows, and its
  // commands set a selection in one click.
  void TheDefaultSelectionCanChangeTheDeviation() {
    WorkbenchFixture f;
    QVERIFY(f.exposed);
    f.dialogs->fileToOpen = QStringLiteral(MEMBRIX_SOURCE_DIR "/resources/samples/Hodgkin_AP.id");
    f.Item(QStringLiteral("Open *.id file"))->trigger();
    QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
    QCOMPARE(f.s().NP0.IfBlockNaR, 1);
    f.Item(QStringLiteral("FittingOptions"))->trigger();
    auto* d = f.form1().findChild<FitDialog*>(QStringLiteral("FitDialog"));
    auto* table = d->findChild<QTableWidget*>(QStringLiteral("FitParameters"));
    auto ticked = [&] {
      QStringList names;
      for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->checkState() == Qt::Checked) names << table->item(row, 1)->text();
      }
      return names;
    };
    for (int row = 0; row < table->rowCount(); ++row) {
      const QString name = table->item(row, 1)->text();
      const bool useless = !FitDialog::WhyNoEffect(f.s(), row).isEmpty();
      QVERIFY2(!(useless && table->item(row, 0)->checkState() == Qt::Checked), qPrintable(name));
      QCOMPARE(table->item(row, 1)->toolTip().contains(QStringLiteral("cannot change the deviation")), useless);
      // Every resurgent-Na parameter is out of play.
      if (name.contains(QStringLiteral("NaR"))) QVERIFY2(useless, qPrintable(name));
    }
    QVERIFY2(ticked().isEmpty(), qPrintable(ticked().join(", ")));
    QVERIFY(!f.Item(QStringLiteral("a1NaR"))->isChecked());
    // Values in ms and mV.
    const int vl = Row("VL[1]"), tau = Row("tau");
    QCOMPARE(table->item(vl, 2)->text().toDouble(), f.s().NP0.VL * 1000.0);
    QCOMPARE(table->item(vl, 5)->text(), QStringLiteral("mV"));
    QCOMPARE(table->item(tau, 2)->text().toDouble(), f.s().NP0.tau_m * 1000.0);
    QCOMPARE(table->item(tau, 5)->text(), QStringLiteral("ms"));
    QCOMPARE(table->item(Row("gNa[1]"), 5)->text(), QStringLiteral("mS/cm\u00b2"));

    // "Only these" ticks the selected rows and nothing else; "Clear all" none.
    table->item(Row("gL[1]"), 0)->setCheckState(Qt::Checked);
    table->clearSelection();
    table->selectRow(Row("gNa[1]"));
    table->setSelectionMode(QAbstractItemView::MultiSelection);
    table->selectRow(Row("gK"));
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("FitOnlyThese")), Qt::LeftButton);
    QCOMPARE(ticked(), (QStringList{QStringLiteral("gNa[1]"), QStringLiteral("gK")}));
    QVERIFY(f.Item(QStringLiteral("gK"))->isChecked() && !f.Item(QStringLiteral("gL[1]"))->isChecked());
    // The researcher's choice is kept when the window opens again.
    d->close();
    f.Item(QStringLiteral("FittingOptions"))->trigger();
    QCOMPARE(ticked(), (QStringList{QStringLiteral("gNa[1]"), QStringLiteral("gK")}));
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("FitClearAll")), Qt::LeftButton);
    QVERIFY(ticked().isEmpty());
    QVERIFY(!f.Item(QStringLiteral("gNa[1]"))->isChecked());

    // The residual of these current-clamp recordings is a voltage.
    QCOMPARE(FitDialog::WithResidualUnit(f.s(), QStringLiteral("simplex  pass 3  evaluations 12  best residual "
                                                               "1.500000e-03  gNa=120")),
             QStringLiteral("simplex  pass 3  evaluations 12  best residual 1.5 mV (sum over 2 recordings)  gNa=120"));
  }
};

}  // namespace membrix

QTEST_MAIN(membrix::FitDialogTest)
#include "fit_dialog_test.moc"
