// The ion pages of the parameter window drive the ion dynamics; the ion window
// shows a run's concentrations and the pump characteristics.

#include <QAbstractButton>
#include <QCheckBox>
#include <QTabWidget>
#include <QTest>

#include "ui/parameter_transfer.h"
#include "ui/parameter_window.h"
#include "ui/parameter_window_inputs.h"
#include "ui/windows/ion_dynamics_window.h"
#include "workbench_fixture.h"

using membrix::Chart;
using membrix::IonDynamicsWindow;
using membrix::ParameterWindow;
using membrix::RadioGroup;

namespace {

// Clicks item `index` of a radio group as the user does.
void ClickItem(RadioGroup* group, int index) {
  const QList<QAbstractButton*> buttons = group->findChildren<QAbstractButton*>();
  QVERIFY(index < buttons.size());
  QTest::mouseClick(buttons[index], Qt::LeftButton);
}

int Points(Chart* c, const char* series) { return c->PointCount(c->FindSeries(QString::fromUtf8(series))); }

}  // namespace

class IonDynamicsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void PumpTypeChoiceTicksIonDynamicsAndDrawsTheCharacteristics();
  void IonPagesWriteTheInputsAndSurviveTheTransfers();
  void RunWithIonDynamicsFeedsTheDynamicsPage();
};

void IonDynamicsWindowTest::PumpTypeChoiceTicksIonDynamicsAndDrawsTheCharacteristics() {
  membrix::testing::WorkbenchFixture f;
  ParameterWindow& form4 = f.wb->parameterWindow();
  IonDynamicsWindow& form19 = f.wb->ionWindow();
  QCOMPARE(form19.windowTitle(), QStringLiteral("Form19: Ion Dynamics"));
  auto* ionDynamics = form4.findChild<QCheckBox*>(QStringLiteral("CheckBox2"));
  auto* pumpTypes = form4.findChild<RadioGroup*>(QStringLiteral("RadioGroup2"));
  QVERIFY(!ionDynamics->isChecked());
  QVERIFY(form19.isHidden());
  QVERIFY(!form4.input(73)->isEnabled());

  const struct {
    int item;
    bool dVEnabled;
  } cases[] = {{2, false}, {3, true}, {0, false}};
  for (const auto& c : cases) {
    ClickItem(pumpTypes, c.item);
    QCOMPARE(f.s().ionInputs.PumpType, c.item);
    QVERIFY(ionDynamics->isChecked());
    QCOMPARE(f.s().ionInputs.IonDynamics, 1);
    QVERIFY(form19.isVisible());
    QCOMPARE(form19.pages()->currentIndex(), 1);
    QCOMPARE(Points(form19.pumpChart(0), "with Nai_alpha1"), 100);  // drawn afresh each time
    QCOMPARE(Points(form19.pumpChart(1), "with Nai_alpha2"), 100);
    QCOMPARE(Points(form19.pumpChart(2), "with Nai_alpha1"), 101);
    QCOMPARE(form4.input(73)->isEnabled(), c.dVEnabled);
    QCOMPARE(form4.input(74)->isEnabled(), c.dVEnabled);
  }
  // Bazhenov-Kager at Ko = 100 mM and Nai = 10 mM with alpha 10: NaK,1 / (1.025^2 * 8).
  const QPointF p = form19.pumpChart(0)->Point(0, 9);
  QCOMPARE(p.x(), 10.0);
  QVERIFY(std::abs(p.y() - 10.0 / (1.025 * 1.025 * 8.0)) < 1e-12);
  QVERIFY(f.dialogs->errors.isEmpty());

  // Clearing "Ion Dynamics" hides the window.
  ionDynamics->click();
  QVERIFY(form19.isHidden());
  QCOMPARE(f.s().ionInputs.IonDynamics, 0);
}

void IonDynamicsWindowTest::IonPagesWriteTheInputsAndSurviveTheTransfers() {
  membrix::testing::WorkbenchFixture f;
  ParameterWindow& form4 = f.wb->parameterWindow();
  membrix::IonInputs& in = f.s().ionInputs;
  const struct {
    int input;
    const char* typed;
    double membrix::IonInputs::*field;
    double expected;
  } cases[] = {
      {65, "12.34", &membrix::IonInputs::NaK1, 12.3},  {66, "3", &membrix::IonInputs::NaK2, 3.0},
      {67, "15", &membrix::IonInputs::Nai_alpha1, 15}, {68, "40", &membrix::IonInputs::Nai_alpha2, 40},
      {69, "0.5", &membrix::IonInputs::KCC2, 0.5},     {70, "0.25", &membrix::IonInputs::NKCC1, 0.25},
      {71, "0.55", &membrix::IonInputs::gL_K_ratio, 0.55}, {72, "0.35", &membrix::IonInputs::gL_Na_ratio, 0.35},
      {73, "7", &membrix::IonInputs::dV1, 7},          {74, "8", &membrix::IonInputs::dV2, 8},
      {75, "6", &membrix::IonInputs::beta, 6},         {76, "0.005", &membrix::IonInputs::gamma, 0.005},
  };
  for (const auto& c : cases) {
    membrix::NumericInput* w = form4.input(c.input);
    w->setEnabled(true);
    w->clear();
    QTest::keyClicks(w, QString::fromLatin1(c.typed));
    QVERIFY2(std::abs(in.*c.field - c.expected) < 1e-12, qPrintable(membrix::InputName(c.input)));
  }
  form4.findChild<QCheckBox*>(QStringLiteral("CheckBox5"))->click();
  ClickItem(form4.findChild<RadioGroup*>(QStringLiteral("RadioGroup3")), 0);
  ClickItem(form4.findChild<RadioGroup*>(QStringLiteral("RadioGroup4")), 2);
  QCOMPARE(in.IfVolume, 1);
  QCOMPARE(in.KCC2Type, 0);
  QCOMPARE(in.VL_Item, 2);

  const membrix::IonInputs typed = in;
  f.wb->ControlsToParameters();
  f.wb->Correspond();
  f.wb->ControlsToParameters();
  for (const auto& c : cases) QCOMPARE(in.*c.field, typed.*c.field);
  QCOMPARE(in.IfVolume, 1);
  QCOMPARE(in.VL_Item, 2);

  // Choices made elsewhere (the command line, a settings file) are shown, and
  // a pump type shown by the program draws nothing.
  in.PumpType = 3;
  in.KCC2Type = 1;
  f.wb->Correspond();
  QCOMPARE(form4.findChild<RadioGroup*>(QStringLiteral("RadioGroup2"))->itemIndex(), 3);
  QCOMPARE(form4.findChild<RadioGroup*>(QStringLiteral("RadioGroup3"))->itemIndex(), 1);
  QVERIFY(form4.input(73)->isEnabled());
  QCOMPARE(f.wb->ionWindow().pumpChart(0)->PointCount(0), 0);
  QCOMPARE(in.IonDynamics, 0);
}

void IonDynamicsWindowTest::RunWithIonDynamicsFeedsTheDynamicsPage() {
  membrix::testing::WorkbenchFixture f;
  ParameterWindow& form4 = f.wb->parameterWindow();
  IonDynamicsWindow& form19 = f.wb->ionWindow();
  form4.findChild<QCheckBox*>(QStringLiteral("CheckBox2"))->click();
  form19.hide();  // a run with ion dynamics shows the window again
  f.RunClampFor(QStringLiteral("50"));
  QVERIFY(f.dialogs->errors.isEmpty());
  QVERIFY(form19.isVisible());
  const std::vector<Chart*> charts = form19.RunCharts();
  const int n = Points(charts[0], "I_Na_K_pump");
  QVERIFY(n > 100);
  QCOMPARE(Points(charts[1], "Nai"), n);
  QCOMPARE(Points(charts[1], "Ki"), n);
  QCOMPARE(Points(charts[1], "Vol"), 0);  // the volume is drawn only when it moves
  QCOMPARE(Points(charts[2], "VNa"), n);
  QCOMPARE(Points(charts[2], "VK"), n);
  // " V " is drawn from every step of a short run, the ion series at the cadence.
  QVERIFY(f.Points(QStringLiteral(" V ")) >= n);
  QVERIFY(std::abs(charts[2]->Point(charts[2]->FindSeries(QStringLiteral("VK")), 0).y() + 105.1) < 0.5);

  // Without ion dynamics a run empties the ion charts and hides the window.
  form4.findChild<QCheckBox*>(QStringLiteral("CheckBox2"))->click();
  form19.show();
  f.RunClampFor(QStringLiteral("20"));
  QVERIFY(form19.isHidden());
  QCOMPARE(Points(charts[0], "I_Na_K_pump"), 0);
}

QTEST_MAIN(IonDynamicsWindowTest)
#include "ion_dynamics_window_test.moc"
