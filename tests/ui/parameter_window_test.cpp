// The parameter window driven as a user drives it, with the two transfer
// routines between it, a stand-in main window and the session.

#include "ui/parameter_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <map>
#include <memory>

#include "params/model_defaults.h"
#include "params/record_fields.h"
#include "run/session.h"
#include "ui/numeric_input.h"
#include "ui/parameter_transfer.h"
#include "ui/parameter_window_inputs.h"

using membrix::NumericInput;
using membrix::ParameterWindow;
using membrix::Session;

namespace {

// The main window as far as the transfer sees it: every control it addresses,
// by the program's name where there is one, with the sample items twice (the
// "Samples" menu and the run button's pop-up menu).
class StandInMainWindow : public QWidget {
 public:
  StandInMainWindow() {
    setObjectName(QStringLiteral("Form1"));
    auto* menu = new QMenu(this);
    auto* popup = new QMenu(this);
    for (const membrix::Form1Control& c : membrix::TransferForm1Controls()) {
      const QString name = c.programName.isEmpty() ? c.caption : c.programName;
      switch (c.kind) {
        case membrix::Form1Control::Kind::MenuItem: {
          auto* a = menu->addAction(c.caption);
          a->setObjectName(name);
          a->setCheckable(true);
          if (name.startsWith(QLatin1String("Smpl"))) {
            popup->addAction(c.caption)->setObjectName(c.caption);
          }
          break;
        }
        case membrix::Form1Control::Kind::Input:
          (new NumericInput(this, 3))->setObjectName(name);
          break;
        case membrix::Form1Control::Kind::Label:
          (new QLabel(c.caption, this))->setObjectName(name);
          break;
        case membrix::Form1Control::Kind::List: {
          auto* list = new QComboBox(this);
          list->setObjectName(name);
          list->addItems(
              {"Nothing", "Reset voltage", "Current pulse reset", "Meanders except apexes", "Meanders "});
          break;
        }
      }
    }
  }

  QList<QAction*> Items(const QString& name) const {
    QList<QAction*> found;
    for (QAction* a : findChildren<QAction*>()) {
      if (a->objectName() == name) found.append(a);
    }
    return found;
  }
  QAction* Item(const QString& name) const { return Items(name).value(0); }
};

struct Fixture {
  Fixture() {
    membrix::ApplyProgramStart(s);
    window = std::make_unique<ParameterWindow>(s);
    window->setMainWindow(&form1);
    window->setErrorReporter([this](const QString& m) { errors.append(m); });
  }
  void Correspond() { membrix::CorrespondParametersToTheForm(s, &form1, window.get()); }
  void Controls() { membrix::ControlsToParameters(s, &form1, window.get()); }
  NumericInput* In(int number) const { return window->input(number); }
  template <class T>
  T* Control(const char* name) const {
    return window->findChild<T*>(QLatin1String(name));
  }

  Session s;
  StandInMainWindow form1;
  std::unique_ptr<ParameterWindow> window;
  QStringList errors;
};

// Typed by the user, key by key, over the whole text.
void Type(NumericInput* in, const QString& text) {
  in->selectAll();
  QTest::keyClicks(in, text);
}

// A list choice as the user makes it: the selection, then the signals of a choice.
void Choose(QComboBox* list, const QString& text) {
  const int i = list->findText(text);
  QVERIFY2(i >= 0, qPrintable(text));
  list->setCurrentIndex(i);
  emit list->activated(i);
  emit list->textActivated(text);
}

double Field(const membrix::NeuronProperties& np, const char* name) {
  return membrix::GetDouble(np, *membrix::FindPropertyField(name));
}

}  // namespace

class ParameterWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensWithItsPagesAndWritesNothing();
  void EditWritesItsFieldRoundedToTheShownDecimals();
  void RoundTripChangesTheRecordOnlyByTheShownDecimals();
  void TimeStepIsNeverZeroAndSetsTheStepCount();
  void TemperatureRescalesTheLeakOnlyWhenTheUserChangesIt();
  void PipetteConductanceSwitchesBetweenPipetteAndRecordingClamp();
  void ThresholdVoltageResetsTheExponentialButNotInAPreset();
  void PresetsOfTheIntegrateAndFireModel();
  void KineticsListsApplyTheirRules();
  void ThresholdRuleListEnablesItsInputs();
  void EnablingFollowsBlockagesAndGeometry();
  void MainWindowMenusFollowTheRecord();
  void ConductanceLabelsShowTheCellTotal();
  void DrawingCadenceIsAtLeastOneStep();
  void RefreshShowsWhatTheNeuronDerivesAtRest();
  void DetailsAndScreenRearrangeTheWindow();
  void AnAreaOfZeroLeavesWholeCellValuesAsTheyWere();
};

void ParameterWindowTest::OpensWithItsPagesAndWritesNothing() {
  Session s;
  membrix::ApplyProgramStart(s);
  const membrix::NeuronProperties before = s.NP0;
  const membrix::RunGlobals runBefore = s.run;
  ParameterWindow window(s);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QCOMPARE(window.objectName(), QStringLiteral("Form4"));
  QCOMPARE(window.windowTitle(), QStringLiteral("Form4: Parameters"));
  auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  QVERIFY(pages != nullptr);
  const QStringList expected = {"Na-channels", "Simple models", "Other", "Ions", "NaK-pump", "NeuroML channels"};
  QCOMPARE(pages->count(), expected.size());
  for (int i = 0; i < pages->count(); ++i) QCOMPARE(pages->tabText(i), expected[i]);
  for (int n = 1; n <= 79; ++n) QVERIFY2(window.input(n) != nullptr, qPrintable(membrix::InputName(n)));
  // The ion pages start at their designed values.
  QCOMPARE(window.input(65)->text(), QStringLiteral("10.0"));
  QCOMPARE(window.input(76)->value(), 0.02);
  QCOMPARE(window.findChild<membrix::RadioGroup*>(QStringLiteral("RadioGroup2"))->itemIndex(), 1);
  QCOMPARE(window.findChild<membrix::RadioGroup*>(QStringLiteral("RadioGroup1"))->itemIndex(), 1);

  // Building the window changed nothing of the record or the run.
  for (const membrix::PropertyField& f : membrix::PropertyFields()) {
    if (f.kind == membrix::FieldKind::Text) {
      QCOMPARE(membrix::GetText(s.NP0, f), membrix::GetText(before, f));
    } else {
      QCOMPARE(membrix::GetDouble(s.NP0, f), membrix::GetDouble(before, f));
    }
  }
  QCOMPARE(s.run.dt, runBefore.dt);
  QCOMPARE(s.run.n_Draw, runBefore.n_Draw);
}

void ParameterWindowTest::EditWritesItsFieldRoundedToTheShownDecimals() {
  Fixture f;
  f.Correspond();
  const struct {
    int input;
    const char* typed;
    const char* field;
    double expected;
  } cases[] = {
      {2, "12.3456", "gNa", 12.35},          // 2 decimals, stored as shown
      {4, "0.12345", "gKM", 0.123},          // 3 decimals
      {6, "-65.437", "Vrest", -0.06544},     // mV -> V
      {20, "21.26", "tau_m", 0.0213},        // ms -> s, 1 decimal
      {5, "2.718", "Square", 2.72e-5},       // 1e-5 cm^2 -> cm^2
      {42, "0.9", "Cm", 0.0009},             // muF/cm^2 -> mF/cm^2
      {26, "-3.04", "NaThreshShift", -3.0},  // kept in mV
  };
  for (const auto& c : cases) {
    Type(f.In(c.input), QString::fromLatin1(c.typed));
    QVERIFY2(std::abs(Field(f.s.NP0, c.field) - c.expected) <= 1e-12 * std::max(1.0, std::abs(c.expected)),
             c.field);
  }
  // Text that is not a number is not applied: the field keeps its value.
  const double gK = f.s.NP0.gK;
  Type(f.In(3), QStringLiteral("abc"));
  QCOMPARE(f.s.NP0.gK, gK);
  QVERIFY(!f.In(3)->isValid());
  f.Controls();  // nor by the transfer
  QCOMPARE(f.s.NP0.gK, gK);
  // A whole-cell value becomes a density by the area just entered.
  Type(f.In(5), QStringLiteral("4"));
  Type(f.In(51), QStringLiteral("4.4"));  // nS, no decimals
  QVERIFY(std::abs(f.s.NP0.EIF_a - 4.0 / 4e-5 / 1e6) < 1e-12);
  // A value the program shows is written back as shown, exactly as if typed.
  f.In(2)->setValue(7.777);
  QCOMPARE(f.s.NP0.gNa, 7.78);
  // "tau1, ms", the level a spike kicks the burst gate toward, goes both ways.
  Type(f.In(24), QStringLiteral("250"));
  QCOMPARE(f.s.proc.tau1, 250.0);
  f.s.proc.tau1 = 100.0;  // the default the burst current wrote back
  f.Correspond();
  QCOMPARE(f.In(24)->value(), 100.0);
}

void ParameterWindowTest::RoundTripChangesTheRecordOnlyByTheShownDecimals() {
  Fixture f;
  f.s.run.n_Draw = 7;
  const Session before = f.s;
  f.Correspond();
  f.Controls();

  // Each input may move its field by half a unit of its last shown decimal;
  // how far that is in the record's units is found by moving the shown value
  // of a copy by that much.
  std::map<std::string, double> tolerance;
  Session probe;
  for (const membrix::ParameterInputEntry* entry : membrix::ParameterInputsByNumber()) {
    if (entry->store == nullptr || membrix::IsNoiseInput(entry->number)) continue;
    probe.NP0 = before.NP0;
    probe.stim = before.stim;
    probe.run = before.run;
    entry->store(probe, entry->show(probe) + 0.5 * std::pow(10.0, -entry->decimals));
    for (const membrix::PropertyField& field : membrix::PropertyFields()) {
      if (field.kind == membrix::FieldKind::Text) continue;
      const double d = std::abs(membrix::GetDouble(probe.NP0, field) - membrix::GetDouble(before.NP0, field));
      if (d > 0) tolerance[std::string(field.name)] = 1.01 * d;
    }
  }
  QVERIFY(tolerance.size() > 50);

  for (const membrix::PropertyField& field : membrix::PropertyFields()) {
    const QByteArray name(field.name.data(), static_cast<qsizetype>(field.name.size()));
    if (field.kind == membrix::FieldKind::Text) {
      QCOMPARE(membrix::GetText(f.s.NP0, field), membrix::GetText(before.NP0, field));
      continue;
    }
    const double was = membrix::GetDouble(before.NP0, field);
    const double is = membrix::GetDouble(f.s.NP0, field);
    const auto t = tolerance.find(std::string(field.name));
    if (t == tolerance.end()) {
      QVERIFY2(is == was, name.constData());  // no input shows it: untouched
    } else {
      QVERIFY2(std::abs(is - was) <= t->second, name.constData());
    }
  }
  // The run globals through the main window's inputs (3 decimals) and this window's.
  QVERIFY(std::abs(f.s.run.t_end - before.run.t_end) <= 0.5e-6);
  QVERIFY(std::abs(f.s.stim.uu - before.stim.uu) <= 0.5e-6);
  QVERIFY(std::abs(f.s.stim.Vh - before.stim.Vh) <= 0.5e-6 + 0.5e-5);
  QVERIFY(std::abs(f.s.run.dt - before.run.dt) <= 1e-18);
  QCOMPARE(f.s.run.n_Draw, 7);
  QCOMPARE(f.s.run.nt_end, before.run.nt_end);

  // Quantised once, the record passes through the windows unchanged.
  const membrix::NeuronProperties once = f.s.NP0;
  f.Correspond();
  f.Controls();
  for (const membrix::PropertyField& field : membrix::PropertyFields()) {
    if (field.kind == membrix::FieldKind::Text) continue;
    QVERIFY2(membrix::GetDouble(f.s.NP0, field) == membrix::GetDouble(once, field), field.name.data());
  }
}

void ParameterWindowTest::TimeStepIsNeverZeroAndSetsTheStepCount() {
  Fixture f;
  f.Correspond();
  NumericInput* dt = f.In(7);
  QCOMPARE(dt->text(), QStringLiteral("0.050"));
  f.s.run.t_end = 0.5;
  dt->setText(QStringLiteral("0.025"));
  QCOMPARE(f.s.run.dt, 2.5e-5);
  QCOMPARE(f.s.run.nt_end, 20000);
  // 0 or less keeps the step, but the count follows the run length.
  f.s.run.t_end = 0.25;
  for (const char* typed : {"0", "-1"}) {
    dt->setText(QString::fromLatin1(typed));
    QCOMPARE(f.s.run.dt, 2.5e-5);
    QCOMPARE(f.s.run.nt_end, 10000);
  }
  // The transfer takes no zero step from either window.
  f.form1.findChild<NumericInput*>(QStringLiteral(" dt, ms "))->setText(QStringLiteral("0"));
  f.Controls();
  QCOMPARE(f.s.run.dt, 2.5e-5);
}

void ParameterWindowTest::TemperatureRescalesTheLeakOnlyWhenTheUserChangesIt() {
  Fixture f;
  f.s.NP0.Temp = 296;
  f.s.NP0.gL = 0.1;
  f.Correspond();
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  NumericInput* temp = f.In(46);
  QCOMPARE(temp->text(), QStringLiteral("23"));
  temp->setFocus();
  // Typed digit by digit, the temperature is written at once but the leak is
  // rescaled once, when the edit ends with Enter: 23 -> 3 -> 33 must not go
  // through the factors of each keystroke.
  Type(temp, QStringLiteral("33"));
  QCOMPARE(f.s.NP0.Temp, 306.0);
  QCOMPARE(f.s.NP0.gL, 0.1);
  QTest::keyClick(temp, Qt::Key_Return);
  QVERIFY(std::abs(f.s.NP0.gL - 0.23) <= 0.5e-4);
  QCOMPARE(f.In(12)->text(), QStringLiteral("0.2300"));
  QTest::keyClick(temp, Qt::Key_Return);  // the same edit is not applied twice
  QCOMPARE(f.In(12)->text(), QStringLiteral("0.2300"));
  // Leaving the input ends an edit too; there and back gives gL back exactly.
  Type(temp, QStringLiteral("23"));
  f.In(2)->setFocus();
  QCOMPARE(f.In(12)->text(), QStringLiteral("0.1000"));
  // Text that is not a number changes neither the temperature nor the leak.
  temp->setFocus();
  Type(temp, QStringLiteral("3x"));
  QTest::keyClick(temp, Qt::Key_Return);
  QCOMPARE(f.s.NP0.Temp, 276.0);  // "3" was a number on the way
  QCOMPARE(f.In(12)->text(), QStringLiteral("0.1000"));
  f.In(2)->setFocus();
  temp->setFocus();
  Type(temp, QStringLiteral("23"));
  QTest::keyClick(temp, Qt::Key_Return);
  QCOMPARE(f.In(12)->text(), QStringLiteral("0.1000"));

  // Showing another temperature is not a change of temperature.
  f.s.NP0.Temp = 310.4;
  const double gL = f.s.NP0.gL;
  f.Correspond();
  QCOMPARE(temp->text(), QStringLiteral("37"));
  QCOMPARE(f.s.NP0.Temp, 310.0);
  QCOMPARE(f.s.NP0.gL, gL);
}

void ParameterWindowTest::PipetteConductanceSwitchesBetweenPipetteAndRecordingClamp() {
  const struct {
    int mode;
    const char* G1;
    int expectedMode;
  } cases[] = {{4, "0", 5}, {5, "0.5", 4}, {4, "0.5", 4}, {5, "0", 5}, {2, "0", 2}, {1, "0.5", 1}};
  for (const auto& c : cases) {
    Fixture f;
    f.s.stim.Pipette.G1 = 0.25;
    f.s.NP0.If_I_V_or_g = c.mode;
    f.Correspond();
    QCOMPARE(f.s.NP0.If_I_V_or_g, c.mode);  // showing G1 changes no mode
    f.In(48)->setText(QString::fromLatin1(c.G1));
    QCOMPARE(f.s.stim.Pipette.G1, QString::fromLatin1(c.G1).toDouble());
    QCOMPARE(f.s.NP0.If_I_V_or_g, c.expectedMode);
  }
  // A double click is G1 = 0 with its rule, whatever the input showed.
  Fixture f;
  f.s.stim.Pipette.G1 = 0.00001;  // shown as 0.0000
  f.s.NP0.If_I_V_or_g = 4;
  f.Correspond();
  QTest::mouseDClick(f.In(48), Qt::LeftButton);
  QCOMPARE(f.s.stim.Pipette.G1, 0.0);
  QCOMPARE(f.s.NP0.If_I_V_or_g, 5);
  // The menu marks are not refreshed by the rule.
  QVERIFY(f.form1.Item(QStringLiteral("VC with pipette"))->isChecked());
}

void ParameterWindowTest::ThresholdVoltageResetsTheExponentialButNotInAPreset() {
  Fixture f;
  f.Correspond();
  Type(f.In(53), QStringLiteral("-50"));
  QCOMPARE(f.s.NP0.EIF_VT, -0.05);
  QCOMPARE(f.s.NP0.FixThr, 0.08);
  QCOMPARE(f.s.NP0.EIF_deltaT, 0.002);
  QCOMPARE(f.In(31)->text(), QStringLiteral("80.0"));
  QCOMPARE(f.In(49)->text(), QStringLiteral("2.00"));
  f.In(53)->setText(QStringLiteral("0"));
  QCOMPARE(f.s.NP0.FixThr, 0.0);
  QCOMPARE(f.In(31)->text(), QStringLiteral("0.0"));

  // A parameter set's slope survives being shown next to its threshold voltage.
  f.s.NP0.EIF_VT = -0.045;
  f.s.NP0.EIF_deltaT = 0.0035;
  f.s.NP0.FixThr = 0.06;
  f.Correspond();
  QCOMPARE(f.s.NP0.EIF_deltaT, 0.0035);
  QCOMPARE(f.s.NP0.FixThr, 0.06);
}

void ParameterWindowTest::PresetsOfTheIntegrateAndFireModel() {
  Fixture f;
  f.s.NP0.Cm = 0.001;
  f.Correspond();
  QTest::mouseClick(f.window->findChild<QPushButton*>(QStringLiteral("defaults [Badel 2008]")),
                    Qt::LeftButton);
  QVERIFY(std::abs(f.s.NP0.Square - 2.6e-4) < 1e-15);
  QCOMPARE(f.In(5)->text(), QStringLiteral("26.00"));
  QCOMPARE(f.s.NP0.Vrest, -0.057);
  QCOMPARE(f.In(6)->text(), QStringLiteral("-57.00"));
  QCOMPARE(f.s.NP0.tau_m, 0.0172);
  QCOMPARE(f.s.NP0.EIF_VT, -0.042);
  QCOMPARE(f.s.NP0.EIF_deltaT, 0.00151);  // shown before VT, and kept
  QCOMPARE(f.In(49)->text(), QStringLiteral("1.51"));
  QCOMPARE(f.s.NP0.FixThr, 0.08);
  QCOMPARE(f.s.NP0.EIF_tauw, 0.0);
  QCOMPARE(f.s.NP0.EIF_a, 0.0);
  QVERIFY(f.Control<QCheckBox>("CheckBox4")->isChecked());
  QCOMPARE(f.s.NP0.EIF_SpikeDependent, 1);

  QTest::mouseClick(f.window->findChild<QPushButton*>(QStringLiteral("defaults [Brette 2005]")),
                    Qt::LeftButton);
  QVERIFY(std::abs(f.s.NP0.Square - 2.6e-4) < 1e-15);                        // unchanged
  QVERIFY(std::abs(f.s.NP0.EIF_a * f.s.NP0.Square * 1e6 - 4.0) < 1e-9);      // 4 nS
  QVERIFY(std::abs(f.s.NP0.EIF_dw * f.s.NP0.Square * 1e6 - 0.0805) < 1e-9);  // 0.0805 nA
  QCOMPARE(f.In(51)->text(), QStringLiteral("4"));
  QCOMPARE(f.In(52)->text(), QStringLiteral("0.0805"));
  QCOMPARE(f.s.NP0.EIF_VT, -0.0504);
  QCOMPARE(f.s.NP0.EIF_deltaT, 0.002);
  QCOMPARE(f.s.NP0.EIF_tauw, 0.144);
  QVERIFY(!f.Control<QCheckBox>("CheckBox4")->isChecked());
  QCOMPARE(f.s.NP0.EIF_SpikeDependent, 0);
  QVERIFY(f.errors.isEmpty());

  // Without an area the whole-cell adaptation has no density: the preset says
  // so and changes nothing.
  f.s.NP0.Square = 0.0;
  const membrix::NeuronProperties before = f.s.NP0;
  QTest::mouseClick(f.window->findChild<QPushButton*>(QStringLiteral("defaults [Brette 2005]")),
                    Qt::LeftButton);
  QCOMPARE(f.errors.size(), 1);
  QVERIFY(f.errors[0].contains(QLatin1String("Square")));
  QCOMPARE(f.s.NP0.EIF_tauw, before.EIF_tauw);
  QCOMPARE(f.s.NP0.EIF_VT, before.EIF_VT);
}

void ParameterWindowTest::KineticsListsApplyTheirRules() {
  Fixture f;
  auto* naRTypes = f.Control<QComboBox>("ComboBox1");
  auto* naRSubtypes = f.Control<QComboBox>("ComboBox2");
  auto* naSubtypes = f.Control<QComboBox>("ComboBox4");
  f.s.NP0.NaR_type = "Rariza";
  f.s.NP0.NaR_subtype = "Milescu-13";
  f.Correspond();
  QVERIFY(!naRSubtypes->isEnabled());

  Choose(naRTypes, QStringLiteral("Milescu"));
  QCOMPARE(f.s.NP0.NaR_type, std::string("Milescu"));
  QCOMPARE(f.s.NP0.NaR_subtype, std::string("Milescu-26"));
  QCOMPARE(naRSubtypes->currentText(), QStringLiteral("Milescu-26"));
  QVERIFY(naRSubtypes->isEnabled());

  // A NaR subtype brings the NaR coefficients' defaults, shown on the page;
  // a Na subtype leaves them.
  f.s.NP0.a2NaR = 99.0;
  f.s.NP0.VNaR = 0.05;
  const double VNa = f.s.NP0.VNa;
  Choose(naRSubtypes, QStringLiteral("Lyle-3"));
  QCOMPARE(f.s.NP0.NaR_subtype, std::string("Lyle-3"));
  QCOMPARE(f.s.NP0.a2NaR, 30.0);
  QCOMPARE(f.s.NP0.VNaR, 0.031);
  QCOMPARE(f.In(61)->text(), QStringLiteral("30.00"));
  QCOMPARE(f.In(35)->text(), QStringLiteral("31.0"));
  QCOMPARE(f.s.NP0.VNa, VNa);
  f.s.NP0.a2NaR = 99.0;
  Choose(f.Control<QComboBox>("ComboBox3"), QStringLiteral("Lyle"));
  QCOMPARE(f.s.NP0.Na_subtype, std::string("Lyle-4"));
  QVERIFY(naSubtypes->isEnabled());
  Choose(naSubtypes, QStringLiteral("Lyle-VT(h)"));
  QCOMPARE(f.s.NP0.Na_subtype, std::string("Lyle-VT(h)"));
  QCOMPARE(f.s.NP0.a2NaR, 99.0);

  Choose(naRTypes, QStringLiteral("Cummins"));
  QVERIFY(!naRSubtypes->isEnabled());

  // A family without a resurgent channel shows no NaR type, and keeps none.
  f.s.NP0.NaR_type = "";
  f.Correspond();
  QCOMPARE(naRTypes->currentIndex(), -1);
  f.Controls();
  QCOMPARE(f.s.NP0.NaR_type, std::string(""));
}

void ParameterWindowTest::ThresholdRuleListEnablesItsInputs() {
  Fixture f;
  auto* rules = f.Control<QComboBox>("ComboBox5");
  const struct {
    const char* rule;
    bool slopes, block;
  } cases[] = {{"Brette thr.-7", true, false}, {"Dyn. thr.-2", false, true}, {"Default-2", false, false}};
  for (const auto& c : cases) {
    Choose(rules, QString::fromLatin1(c.rule));
    QCOMPARE(f.s.NP0.Thr_type, std::string(c.rule));
    QCOMPARE(f.In(43)->isEnabled(), c.slopes);
    QCOMPARE(f.In(44)->isEnabled(), c.slopes);
    QCOMPARE(f.In(59)->isEnabled(), c.block);
    f.Correspond();  // the transfer applies the same rule
    QCOMPARE(f.In(43)->isEnabled(), c.slopes);
    QCOMPARE(f.In(59)->isEnabled(), c.block);
  }
  Choose(rules, QStringLiteral("Brette thr.-7"));
  QTest::mouseDClick(rules, Qt::LeftButton);
  QCOMPARE(rules->currentText(), QStringLiteral("Dyn. thr.-8"));
  QCOMPARE(f.s.NP0.Thr_type, std::string("Dyn. thr.-8"));
  QVERIFY(!f.In(43)->isEnabled());
  // A rule from a parameter file is shown in the list.
  f.s.NP0.Thr_type = "Dyn. thr.-2";
  f.Correspond();
  QCOMPARE(rules->currentIndex(), 2);
  QVERIFY(f.In(59)->isEnabled());
}

void ParameterWindowTest::EnablingFollowsBlockagesAndGeometry() {
  const struct {
    const char* HH_type;
    const char* HH_order;
    int IfBlockNa, IfSet_gL_or_tau, IfSet_VL_or_Vrest;
    bool gNa, gL, tau_m, VL, Vrest, ro, gLd;
  } cases[] = {
      {"Lyle", "1-point", 0, 1, 1, true, true, false, true, false, false, false},
      {"Lyle", "2-points", 1, 2, 2, false, false, true, false, true, true, false},
      {"White2", "2-p-MainenSejn", 1, 1, 2, true, true, false, false, true, true, true},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.s.NP0.HH_type = c.HH_type;
    f.s.NP0.HH_order = c.HH_order;
    f.s.NP0.IfBlockNa = c.IfBlockNa;
    f.s.NP0.IfSet_gL_or_tau = c.IfSet_gL_or_tau;
    f.s.NP0.IfSet_VL_or_Vrest = c.IfSet_VL_or_Vrest;
    f.Correspond();
    QCOMPARE(f.In(2)->isEnabled(), c.gNa);
    QCOMPARE(f.In(12)->isEnabled(), c.gL);
    QCOMPARE(f.In(20)->isEnabled(), c.tau_m);
    QCOMPARE(f.In(18)->isEnabled(), c.VL);
    QCOMPARE(f.In(6)->isEnabled(), c.Vrest);
    QCOMPARE(f.In(34)->isEnabled(), c.ro);
    QCOMPARE(f.In(56)->isEnabled(), c.gLd);
    QCOMPARE(f.form1.Item(QStringLiteral("tau is fixed"))->isChecked(), c.IfSet_gL_or_tau == 2);
    QCOMPARE(f.form1.Item(QStringLiteral("gL is fixed"))->isChecked(), c.IfSet_gL_or_tau != 2);
    QCOMPARE(f.form1.Item(QStringLiteral("Vrest is fixed"))->isChecked(), c.IfSet_VL_or_Vrest == 2);
  }
  // "dV,1" and "dV,2" shape only the "Dobretsov-Stimers" pump; choosing a pump
  // switches the ion dynamics on and asks for its characteristics.
  Fixture f;
  QSignalSpy plots(f.window.get(), &ParameterWindow::pumpCharacteristicsRequested);
  auto* pumps = f.Control<membrix::RadioGroup>("RadioGroup2");
  QVERIFY(!f.In(73)->isEnabled());
  pumps->setItemIndex(3);
  QVERIFY(f.In(73)->isEnabled() && f.In(74)->isEnabled());
  QVERIFY(f.Control<QCheckBox>("CheckBox2")->isChecked());
  QCOMPARE(plots.count(), 1);
  pumps->setItemIndex(3);  // the same item: nothing
  QCOMPARE(plots.count(), 1);

  for (const char* name : {"CheckBox2", "CheckBox5", "RadioGroup2", "NaK-pump plots"}) {
    QVERIFY2(f.Control<QWidget>(name)->isEnabled(), name);
  }
}

void ParameterWindowTest::MainWindowMenusFollowTheRecord() {
  Fixture f;
  // "Bazhenov" has no mark of its own and survives the way back.
  f.s.NP0.HH_type = "Bazhenov";
  f.s.NP0.HH_order = "2-p-MainenSejn";
  f.s.rec.NSmpls = 3;
  f.s.rec.Smpl = 2;
  f.s.NP0.If_I_V_or_g = 4;
  f.s.NP0.IfBlockK = 1;
  f.s.rec.IdFileName = "resources/samples/AP.id";
  f.Correspond();
  for (const char* item : {"Rariza1", "Passive1", "Lyle1", "White21", "Shu1"}) {
    QVERIFY2(!f.form1.Item(QLatin1String(item))->isChecked(), item);
  }
  QVERIFY(f.form1.Item(QStringLiteral("N2pMainenSejn1"))->isChecked());
  QVERIFY(!f.form1.Item(QStringLiteral("N1point1"))->isChecked());
  f.Controls();
  QCOMPARE(f.s.NP0.HH_type, std::string("Bazhenov"));
  QCOMPARE(f.s.NP0.HH_order, std::string("2-p-MainenSejn"));
  QCOMPARE(f.s.NP0.IfBlockK, 1);

  // Samples: in both menus the first NSmpls items can be chosen, Smpl's is marked.
  for (int k = 1; k <= 20; ++k) {
    const QList<QAction*> twins =
        f.form1.Items(QStringLiteral("Smpl%1").arg(k)) + f.form1.Items(QStringLiteral("Smpl=%1").arg(k));
    QCOMPARE(twins.size(), 2);
    for (QAction* a : twins) {
      QCOMPARE(a->isEnabled(), k <= 3);
      QCOMPARE(a->isChecked(), k == 2);
    }
  }
  // Clamp mode 4: voltage clamp with the pipette, the command voltage shown.
  QVERIFY(f.form1.Item(QStringLiteral("Voltage-Clamp"))->isChecked());
  QVERIFY(!f.form1.Item(QStringLiteral("Current-Clamp"))->isChecked());
  QVERIFY(f.form1.Item(QStringLiteral("VC with pipette"))->isChecked());
  QVERIFY(!f.form1.Item(QStringLiteral("CC"))->isChecked());
  auto* Vh = f.form1.findChild<NumericInput*>(QStringLiteral("DDSpinEdit4"));
  auto* Iind = f.form1.findChild<NumericInput*>(QStringLiteral("DDSpinEdit1"));
  QVERIFY(!Vh->isHidden() && Iind->isHidden());
  QVERIFY(f.form1.findChild<QLabel*>(QStringLiteral(" Iind, pA   "))->isHidden());
  QVERIFY(f.form1.Item(QStringLiteral("I_K"))->isChecked());
  QVERIFY(!f.In(3)->isEnabled());
  // The parameter file in use is marked in the File menu.
  QVERIFY(f.form1.Item(QStringLiteral("'AP.id'"))->isChecked());
  QVERIFY(!f.form1.Item(QStringLiteral("'Na_slow.id'"))->isChecked());
  QVERIFY(!f.form1.Item(QStringLiteral("Default"))->isChecked());
  QCOMPARE(f.Control<QLabel>("StaticText28")->text(), QStringLiteral("HH_type=\"Bazhenov\""));
  QCOMPARE(f.Control<QLabel>("StaticText65")->text(), QStringLiteral("\"2-p-MainenSejn\""));

  // Marks and inputs of the main window go into the record.
  f.form1.Item(QStringLiteral("Chow1"))->setChecked(true);
  f.form1.Item(QStringLiteral("ThrModel"))->setChecked(true);
  f.form1.Item(QStringLiteral("Writing1"))->setChecked(true);
  f.form1.findChild<NumericInput*>(QStringLiteral("DDSpinEdit2"))->setText(QStringLiteral("12.5"));
  f.form1.findChild<NumericInput*>(QStringLiteral("DDSpinEdit5"))->setText(QStringLiteral("3"));
  f.Controls();
  QCOMPARE(f.s.NP0.HH_type, std::string("Chow"));
  QCOMPARE(f.s.NP0.ThrModel, 1);
  QCOMPARE(f.s.run.Writing, 1);
  QCOMPARE(f.s.stim.t_Iind, 0.0125);
  QCOMPARE(f.s.stim.uu, 0.003);
}

void ParameterWindowTest::ConductanceLabelsShowTheCellTotal() {
  Fixture f;
  f.s.NP0.Square = 2e-5;
  f.s.NP0.gNa = 120;
  f.s.NP0.Cm = 0.001;
  for (int pass = 0; pass < 3; ++pass) f.Correspond();
  const QString gNa = f.Control<QLabel>("LabelDDSpinEdit2")->text();
  QCOMPARE(gNa.size(), 42);
  QVERIFY(gNa.left(35).contains(QLatin1String("x S =")));
  QVERIFY(gNa.startsWith(QLatin1String(" gNa")));
  QCOMPARE(gNa.mid(35), QStringLiteral("2400.00"));  // 120 mS/cm^2 on 2e-5 cm^2 = 2400 nS
  QVERIFY(f.Control<QLabel>("LabelDDSpinEdit42")->text().endsWith(QLatin1String("  20.00 pF")));
  QVERIFY(f.In(5)->toolTip().startsWith(QLatin1String("Radius of sphere (in mum) =")));
  // The labels follow an edit of the conductance and of the area at once.
  Type(f.In(2), QStringLiteral("60"));
  QCOMPARE(f.Control<QLabel>("LabelDDSpinEdit2")->text().mid(35), QStringLiteral("1200.00"));
  Type(f.In(5), QStringLiteral("4"));
  QCOMPARE(f.Control<QLabel>("LabelDDSpinEdit2")->text().mid(35), QStringLiteral("2400.00"));
  QVERIFY(f.Control<QLabel>("LabelDDSpinEdit42")->text().endsWith(QLatin1String("  40.00 pF")));
  // A double click resets the conductance and its field.
  QTest::mouseDClick(f.In(2), Qt::LeftButton);
  QCOMPARE(f.s.NP0.gNa, 0.0);
  QCOMPARE(f.Control<QLabel>("LabelDDSpinEdit2")->text().mid(35), QStringLiteral("   0.00"));
  // gL has no reset.
  const double gL = f.s.NP0.gL;
  QTest::mouseDClick(f.In(12), Qt::LeftButton);
  QCOMPARE(f.s.NP0.gL, gL);
}

void ParameterWindowTest::DrawingCadenceIsAtLeastOneStep() {
  Fixture f;
  f.Correspond();
  auto* draw = f.Control<NumericInput>("SpinEdit1");
  auto* write = f.Control<NumericInput>("SpinEdit2");
  QCOMPARE(draw->text(), QStringLiteral("5"));
  for (const char* typed : {"0", "-3"}) {
    draw->setText(QString::fromLatin1(typed));
    QCOMPARE(draw->text(), QStringLiteral("1"));
    QCOMPARE(f.s.run.n_Draw, 1);
  }
  draw->setText(QStringLiteral("20"));
  QCOMPARE(f.s.run.n_Draw, 20);
  write->setText(QStringLiteral("0"));
  QCOMPARE(f.s.run.n_Write, 0);
  QTest::mouseDClick(write, Qt::LeftButton);
  QCOMPARE(f.s.run.n_Write, 1);
}

void ParameterWindowTest::RefreshShowsWhatTheNeuronDerivesAtRest() {
  Fixture f;
  f.s.NP0.HH_type = "Passive";
  membrix::SetDefaults(f.s);
  f.s.NP0.IfSet_gL_or_tau = 2;
  f.Correspond();
  Type(f.In(20), QStringLiteral("20"));  // tau_m = 20 ms
  QTest::mouseClick(f.window->findChild<QPushButton*>(QStringLiteral("Refresh")), Qt::LeftButton);
  QVERIFY(f.errors.isEmpty());
  QVERIFY(std::abs(f.s.NP0.gL - f.s.NP0.Cm / 0.02) < 1e-12);  // a passive membrane: gL = Cm / tau_m
  QCOMPARE(f.In(12)->text(), NumericInput(nullptr, 4).format(f.s.NP0.Cm / 0.02));
}

void ParameterWindowTest::DetailsAndScreenRearrangeTheWindow() {
  Fixture f;
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  QSignalSpy help(f.window.get(), &ParameterWindow::helpRequested);
  auto* naGroup = f.window->findChild<QWidget*>(QStringLiteral("Na-channel properties"));
  auto* simplified = f.window->findChild<QWidget*>(QStringLiteral("SimplifiedModels"));
  QPushButton* details = f.window->findChild<QPushButton*>(QStringLiteral("Details"));
  QVERIFY(!naGroup->isHidden() && !simplified->isHidden());
  QTest::mouseClick(details, Qt::LeftButton);
  QVERIFY(naGroup->isHidden() && simplified->isHidden());
  QCOMPARE(help.count(), 1);
  QCOMPARE(help.takeFirst().at(0).toString(), QStringLiteral("Parameters"));
  QTest::mouseClick(details, Qt::LeftButton);
  QVERIFY(!naGroup->isHidden());

  // "1366x768" puts the pages beside the top area and moves the ion window.
  QWidget ions;
  ions.setObjectName(QStringLiteral("Form19"));
  ions.move(50, 600);
  ions.show();
  auto* pages = f.window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  auto* top = f.window->findChild<QWidget*>(QStringLiteral("TopArea"));
  QVERIFY(pages->geometry().top() >= top->geometry().bottom());
  f.window->findChild<membrix::RadioGroup*>(QStringLiteral("RadioGroup1"))->setItemIndex(0);
  QTest::qWait(0);
  QVERIFY(pages->geometry().left() >= top->geometry().right());
  QCOMPARE(ions.y(), 341);
  QCOMPARE(ions.x(), 50);
}

void ParameterWindowTest::AnAreaOfZeroLeavesWholeCellValuesAsTheyWere() {
  Fixture f;
  f.s.NP0.EIF_a = 0.2;
  f.s.NP0.EIF_dw = 0.003;
  f.Correspond();
  const double a = f.s.NP0.EIF_a, dw = f.s.NP0.EIF_dw;  // as shown in nS and nA
  QTest::mouseDClick(f.In(5), Qt::LeftButton);          // the area's reset
  QCOMPARE(f.s.NP0.Square, 0.0);
  Type(f.In(51), QStringLiteral("5"));
  Type(f.In(52), QStringLiteral("0.1"));
  Type(f.In(54), QStringLiteral("30"));
  f.Controls();
  QCOMPARE(f.s.NP0.EIF_a, a);
  QCOMPARE(f.s.NP0.EIF_dw, dw);
  QVERIFY(std::isfinite(f.s.stim.NoiseRec.amplitude));
  // Labels and hint stay finite.
  QCOMPARE(f.Control<QLabel>("LabelDDSpinEdit2")->text().mid(35), QStringLiteral("   0.00"));
  QVERIFY(!f.In(5)->toolTip().contains(QLatin1String("nan")));
}

QTEST_MAIN(ParameterWindowTest)
#include "parameter_window_test.moc"
