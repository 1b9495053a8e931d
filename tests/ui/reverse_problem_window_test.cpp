#include "ui/windows/reverse_problem_window.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <cmath>

#include "data/fit_table.h"
#include "params/parameter_file.h"
#include "ui/parameter_window.h"
#include "workbench_fixture.h"

using membrix::Chart;
using membrix::NumericInput;
using membrix::ReverseProblemWindow;
using membrix::testing::WorkbenchFixture;

namespace {

// The window's buttons are pressed with click(): the window is wider than the
// offscreen screen, which drops mouse events beyond its edge.
QString Sample(const char* name) { return QStringLiteral(MEMBRIX_SOURCE_DIR "/resources/samples/") + name; }

// The workbench with a sample parameter file open and the window shown from
// the main window's "HH approx.".
struct ReverseFixture : WorkbenchFixture {
  explicit ReverseFixture(const char* sample) {
    membrix::LoadParameterFile(s(), Sample(sample).toStdString());
    QTest::mouseClick(Button(QStringLiteral("HH approx.")), Qt::LeftButton);
    w = form1().findChild<ReverseProblemWindow*>();
    exposed = w != nullptr && QTest::qWaitForWindowExposed(w);
  }
  template <class T = QWidget>
  T* In(const QString& name) {
    return w->findChild<T*>(name);
  }
  void Type(const QString& input, const QString& text) {
    NumericInput* in = In<NumericInput>(input);
    in->clear();
    QTest::keyClicks(in, text);
  }
  bool Marked(const char* item) { return s().fit.MenuChecked[membrix::FindFitSlot(item)]; }
  ReverseProblemWindow* w = nullptr;
};

}  // namespace

class ReverseProblemWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensFromTheMainWindowAndHidesTheDetails();
  void ChoosingTheCurrentTicksItsBoxesAndIsolatesIt();
  void InputsWriteTheirFieldsAndBoxesTheMenuMarks();
  void CurveNumberRunsItsRecordingOrIsRefused();
  void SolveFitsTheTickedCoefficientsAndDrawsBothCurves();
  void StopEndsTheFitWithTheBestVertex();
  void SimulateSpikesRunsTheModelInCurrentClamp();
  void PicturePagesShowFormulaImages();
  void ClosingTheWindowEndsTheProgram();
};

void ReverseProblemWindowTest::OpensFromTheMainWindowAndHidesTheDetails() {
  WorkbenchFixture f;
  f.form1().move(50, f.form1().y());  // moved back only from beyond 1000 pixels
  const int x = f.form1().x();
  QTest::mouseClick(f.Button(QStringLiteral("HH approx.")), Qt::LeftButton);
  auto* w = f.form1().findChild<ReverseProblemWindow*>();
  QVERIFY(w != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(w));
  QCOMPARE(w->objectName(), QStringLiteral("Form17"));
  // Moved to the right, as far as the screen has room for it.
  const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  QVERIFY(f.form1().x() > x || f.form1().frameGeometry().right() >= room.right());
  QVERIFY(f.form1().x() <= x + 1000);
  QVERIFY(f.form1().x() == x || f.form1().frameGeometry().right() <= room.right());
  QVERIFY(!f.wb->parameterWindow().isVisible());
  auto* details = w->findChild<QPushButton*>(QStringLiteral("Button_Details"));
  QCOMPARE(details->text(), QStringLiteral("Show detailed information"));
  details->click();
  QCOMPARE(f.form1().x(), x);
  QVERIFY(f.wb->parameterWindow().isVisible());
  QCOMPARE(details->text(), QStringLiteral("Hide detailed information"));
  // The Na boxes start ticked (the fit table's default marks), the K ones
  // clear.
  QVERIFY(w->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->isChecked());
  QVERIFY(!w->findChild<QCheckBox*>(QStringLiteral("CheckBox13"))->isChecked());
  QVERIFY(!w->findChild<NumericInput*>(QStringLiteral("DDSpinEdit14"))->isEnabled());
}

void ReverseProblemWindowTest::ChoosingTheCurrentTicksItsBoxesAndIsolatesIt() {
  ReverseFixture f("HH_Na_steps.id");
  f.In<QRadioButton>(QStringLiteral("RadioK"))->click();
  QCOMPARE(f.s().rec.NSmpls, 7);
  QCOMPARE(f.s().NP0.IfBlockNaR, 1);
  QCOMPARE(f.s().NP0.IfBlockK, 0);
  QCOMPARE(f.s().run.VrevFit, f.s().NP0.VK);
  for (const char* item : {"a1K", "a2K", "a3K", "b1K", "b3K", "VK", "gK"}) QVERIFY2(f.Marked(item), item);
  for (const char* item : {"b2K", "a1NaR", "gNaR"}) QVERIFY2(!f.Marked(item), item);
  QVERIFY(f.Item(QStringLiteral("gK"))->isChecked());                         // the menu follows
  QVERIFY(!f.In<NumericInput>(QStringLiteral("DDSpinEdit18"))->isEnabled());  // b2
  QVERIFY(f.In<NumericInput>(QStringLiteral("DDSpinEdit19"))->isEnabled());   // b3

  f.In<QRadioButton>(QStringLiteral("RadioNa"))->click();
  QCOMPARE(f.s().rec.NSmpls, 10);
  QCOMPARE(f.s().NP0.IfBlockNaR, 0);
  QCOMPARE(f.s().NP0.IfBlockK, 1);
  QVERIFY(f.Marked("d3NaR") && !f.Marked("gK"));

  // The squid-axon set brings its seventeen curves.
  f.In<QPushButton>(QStringLiteral("Button6"))->click();
  QCOMPARE(f.s().rec.NSmpls, 17);
  QCOMPARE(f.s().NP0.gNaR, f.s().NP0.gNa);
}

void ReverseProblemWindowTest::InputsWriteTheirFieldsAndBoxesTheMenuMarks() {
  ReverseFixture f("HH_K_steps.id");
  f.In<QRadioButton>(QStringLiteral("RadioK"))->click();
  f.Type(QStringLiteral("DDSpinEdit20"), QStringLiteral("-80"));  // VK in mV
  QCOMPARE(f.s().NP0.VK, -0.08);
  f.Type(QStringLiteral("DDSpinEdit14"), QStringLiteral("0.0123"));
  QCOMPARE(f.s().NP0.a1K, 0.0123);
  f.Type(QStringLiteral("DDSpinEdit24"), QStringLiteral("0.001"));
  QCOMPARE(f.s().fit.Tolerance, 0.001);
  auto* b2 = f.In<QCheckBox>(QStringLiteral("CheckBox17"));
  QCOMPARE(b2->text(), QStringLiteral("b2"));
  b2->click();
  QVERIFY(f.Marked("b2K"));
  QVERIFY(f.Item(QStringLiteral("b2K"))->isChecked());
  QVERIFY(f.In<NumericInput>(QStringLiteral("DDSpinEdit18"))->isEnabled());
}

void ReverseProblemWindowTest::CurveNumberRunsItsRecordingOrIsRefused() {
  ReverseFixture f("HH_Na_steps.id");
  auto* curve = f.In<QSpinBox>(QStringLiteral("SpinEdit1"));
  curve->setValue(9);
  QCOMPARE(f.s().rec.Smpl, 9);
  QVERIFY(f.In<QLabel>(QStringLiteral("Label_FileName"))->text().endsWith(QStringLiteral("HH_Na_steps_9.d")));
  QVERIFY(f.w->fitChart()->PointCount(1) > 100);  // the recording
  QVERIFY(f.w->fitChart()->PointCount(0) > 10);   // and the model
  // Potassium fits 7 curves: the number comes down; sodium does not raise it
  // again.
  f.In<QRadioButton>(QStringLiteral("RadioK"))->click();
  QCOMPARE(curve->value(), 7);
  f.In<QRadioButton>(QStringLiteral("RadioNa"))->click();
  QCOMPARE(curve->value(), 7);
  curve->setValue(11);  // beyond NSmpls
  QCOMPARE(curve->value(), f.s().rec.Smpl);
  curve->setValue(0);
  QCOMPARE(curve->value(), f.s().rec.Smpl);
}

void ReverseProblemWindowTest::SolveFitsTheTickedCoefficientsAndDrawsBothCurves() {
  ReverseFixture f("HH_K_steps.id");
  f.In<QRadioButton>(QStringLiteral("RadioK"))->click();
  f.Type(QStringLiteral("DDSpinEdit24"),
         QStringLiteral("0.001"));  // a short fit
  const double gK0 = f.s().NP0.gK;
  f.In<QPushButton>(QStringLiteral("Solve reverse problem"))->click();
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QCOMPARE(f.In<QPushButton>(QStringLiteral("Solve reverse problem"))->text(), QStringLiteral("Run"));
  const QString residual = f.In<QLabel>(QStringLiteral("Label_Residual"))->text();
  QVERIFY(residual.startsWith(QStringLiteral("Step, Residual=nfunk=")));
  QVERIFY2(residual.contains(QStringLiteral(" \u2014 converged after ")), qPrintable(residual));
  // The title names the model the fit ran.
  const QString model = QString::fromStdString(f.s().NP0.HH_type + ", " + f.s().NP0.HH_order);
  QVERIFY2(f.w->windowTitle().endsWith(QStringLiteral(" \u2014 ran ") + model), qPrintable(f.w->windowTitle()));
  QCOMPARE(f.s().SimplexMemo.back(), std::string("Stop Simplex."));
  // gK came from 28.8 towards the 36 the curves were made with, and the input
  // shows it.
  QVERIFY2(std::abs(f.s().NP0.gK - 36.0) < 0.5 * std::abs(gK0 - 36.0), qPrintable(QString::number(f.s().NP0.gK)));
  QCOMPARE(f.In<NumericInput>(QStringLiteral("DDSpinEdit21"))->value(), std::round(f.s().NP0.gK * 100.0) / 100.0);
  QVERIFY(f.w->fitChart()->PointCount(0) > 10);
  QVERIFY(f.w->fitChart()->PointCount(1) > 100);

  // A recording set in another clamp mode is refused with a message.
  f.Write("vc.id",
          "CommonParametersFromFile\n NSmpls := "
          "1;\nMembrixPhysParameters\n NP0.HH_type := 'Rariza';\n"
          "KeepParams=0\n NP0.If_I_V_or_g := 1;\nParametersFromFile\n "
          "SmplFile[Smpl] := 'vc_1.d';\nend.\n");
  f.Write("vc_1.d", "0.05 1\n0.10 1\n");
  membrix::LoadParameterFile(f.s(), f.FilePath(QStringLiteral("vc.id")).toStdString());
  f.In<QRadioButton>(QStringLiteral("RadioK"))->click();
  f.In<QPushButton>(QStringLiteral("Solve reverse problem"))->click();
  QCOMPARE(f.dialogs->errors.size(), 1);
  QVERIFY2(f.dialogs->errors.front().contains(QStringLiteral("clamp mode is 1")),
           qPrintable(f.dialogs->errors.front()));
}

void ReverseProblemWindowTest::StopEndsTheFitWithTheBestVertex() {
  ReverseFixture f("HH_K_steps.id");
  f.In<QRadioButton>(QStringLiteral("RadioK"))->click();
  auto* stop = f.In<QPushButton>(QStringLiteral("Stop"));
  QTimer::singleShot(0, stop, [stop] { stop->click(); });
  f.In<QPushButton>(QStringLiteral("Solve reverse problem"))->click();
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QCOMPARE(f.s().SimplexMemo.back(), std::string("Stop Simplex."));
  QVERIFY(f.s().fit.nfunk < 20);
  // A fit stopped short says so beside its residual.
  const QString residual = f.In<QLabel>(QStringLiteral("Label_Residual"))->text();
  QVERIFY2(residual.contains(QStringLiteral("not converged: stopped after")), qPrintable(residual));
  // The parameters hold the best vertex, whose value the last progress line
  // shows.
  for (int k = 1; k <= f.s().fit.FitCount; ++k) {
    QCOMPARE(f.s().NP0.*membrix::FitParameterAt(f.s().fit, k).member, f.s().fit.FitX[k]);
  }
}

void ReverseProblemWindowTest::SimulateSpikesRunsTheModelInCurrentClamp() {
  ReverseFixture f("HH_Na_steps.id");
  f.In<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
  QCOMPARE(f.s().NP0.If_I_V_or_g, 2);
  QCOMPARE(f.s().run.t_end, 0.05);
  QCOMPARE(f.s().stim.Iind, 300.0);
  QCOMPARE(f.In<NumericInput>(QStringLiteral("DDSpinEdit25"))->value(), 50.0);
  f.Type(QStringLiteral("DDSpinEdit13"), QStringLiteral("20"));  // muA/cm^2
  QVERIFY(std::abs(f.s().stim.Iind - 20.0 * f.s().NP0.Square * 1e6) < 1e-9);
  f.In<QPushButton>(QStringLiteral("Run"))->click();
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  Chart* v = f.w->voltageChart();
  QVERIFY(v->PointCount(0) > 100);
  double peak = -1e9;
  for (int k = 0; k < v->PointCount(0); ++k) peak = std::max(peak, v->Point(0, k).y());
  QVERIFY2(peak > 0.0, "the axon fires: its voltage overshoots 0 mV");
  QVERIFY(f.w->gateChart()->PointCount(2) > 100);  // n
}

void ReverseProblemWindowTest::PicturePagesShowFormulaImages() {
  ReverseFixture f("HH_Na_steps.id");
  // The formulas are typeset when their page is shown.
  f.In<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(3);
  auto* formulas = f.In<QTabWidget>(QStringLiteral("PageControl3"));
  int page = 0;
  for (const char* name : {"PictureNa", "PictureK", "PictureFit"}) {
    formulas->setCurrentIndex(page++);
    auto* label = f.In<QLabel>(QString::fromUtf8(name));
    QVERIFY2(label != nullptr, name);
    QVERIFY2(label->pixmap().width() == 640 && label->pixmap().height() > 100, name);
  }
  // The figures are drawn from the coefficients when their page is shown.
  f.In<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(2);
  auto* activation = f.In<Chart>(QStringLiteral("Na and K activation"));
  QVERIFY(activation->SeriesCount() == 8 && activation->PointCount(0) > 100);
}

void ReverseProblemWindowTest::ClosingTheWindowEndsTheProgram() {
  ReverseFixture f("HH_Na_steps.id");
  f.w->close();
  QVERIFY(!f.form1().isVisible());
}

QTEST_MAIN(ReverseProblemWindowTest)
#include "reverse_problem_window_test.moc"
