// The settings file on the workbench: saving and restoring the windows' state
// through the File menu, and what restoring a value does.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>

#include "params/record_fields.h"
#include "params/settings_file.h"
#include "tasks/task_declaration.h"
#include "ui/parameter_window.h"
#include "ui/parameter_window_inputs.h"
#include "ui/settings_binding.h"
#include "ui/windows/ion_dynamics_window.h"
#include "workbench_fixture.h"

using membrix::SettingKind;
using membrix::SettingsLines;
using membrix::SettingTarget;
using membrix::testing::WorkbenchFixture;

namespace {

QStringList FileLines(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

// A settings line with another value and the line's own label.
QString Line(int number, const QString& value) {
  return value + QString::fromStdString(SettingsLines()[number - 1].label);
}

void Trigger(WorkbenchFixture& f, const char* item) {
  QAction* a = f.Item(QString::fromUtf8(item));
  QVERIFY2(a != nullptr && a->isEnabled(), item);
  a->trigger();
}

// Saves the workbench, edits lines of the saved file, keeps its first `keep`
// lines and loads it through "Load settings from ...".
void LoadEdited(WorkbenchFixture& f, const QList<QPair<int, QString>>& edits, int keep = 234) {
  f.dialogs->fileToSave = f.FilePath(QStringLiteral("saved.txt"));
  Trigger(f, "Save settings as ...");
  QStringList lines = FileLines(f.dialogs->fileToSave);
  QCOMPARE(lines.size(), 234);
  for (const auto& [number, value] : edits) lines[number - 1] = Line(number, value);
  f.Write(QStringLiteral("edited.txt"), lines.mid(0, keep).join(QLatin1Char('\n')).toUtf8() + "\n");
  f.dialogs->fileToOpen = f.FilePath(QStringLiteral("edited.txt"));
  Trigger(f, "Load settings from ...");
}

QWidget* Window(WorkbenchFixture& f, const char* name) { return membrix::SettingsWindow(*f.wb, name); }

// The items of a list or radio group.
double ItemCount(QObject* control) {
  if (auto* list = qobject_cast<QComboBox*>(control)) return list->count();
  if (auto* group = qobject_cast<membrix::RadioGroup*>(control)) return group->count();
  if (control != nullptr) {
    int buttons = 0;
    for (QRadioButton* b : control->findChildren<QRadioButton*>()) buttons += b->isEnabled() ? 1 : 0;
    if (buttons > 0) return buttons;
  }
  return 1.0;
}

}  // namespace

class SettingsFileTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryLineReachesItsControl();
  void LinesOfDeclaredInputsCarryThoseInputs();
  void SaveThenRestoreBringsEveryControlBack();
  void RestoredValuesActAsIfEntered();
  void RestoredListsAreTheChoicesTheRunsUse();
  void ARestoredTemperatureIsWhereTheLeakRuleStarts();
  void AFileThatStopsEarlyLeavesTheRestAlone();
  void ABadFileIsReportedAndChangesNothing();
  void ADayAfterARestartStartsWhereItEnded();
  void ARestoreBringsBackTheWholeModelAfterChanges();
  void ImportedChannelsAreEditedInTheParameterWindowAndRestored();
  void TheIntegratorIsSavedAndRestored();
};

// A line bound to nothing would be written as 0 and never restored. Only the
// menu's separators and the threshold window's third box, which this window
// does not have, are without a control.
void SettingsFileTest::EveryLineReachesItsControl() {
  WorkbenchFixture f;
  QStringList unbound;
  for (const membrix::SettingsLine& line : SettingsLines()) {
    if (line.kind == SettingKind::Header) continue;
    QWidget* w = Window(f, line.window.c_str());
    QVERIFY2(w != nullptr, line.window.c_str());
    QCOMPARE(w->objectName(), QString::fromStdString(line.window));
    if (line.control.empty()) continue;
    if (membrix::SettingsControl(w, QString::fromStdString(line.control)) == nullptr)
      unbound << QString::fromStdString(line.window + "." + line.control);
  }
  unbound.removeDuplicates();
  qInfo() << "lines without a control:" << unbound;
  const QRegularExpression expected(QStringLiteral("^(Form1\\.N[1-7]|Form3\\.CheckBox3)$"));
  for (const QString& name : unbound) QVERIFY2(expected.match(name).hasMatch(), qPrintable(name));
}

// A line that names a declared task input stands for that input: its control
// is the widget bound to it, in the declared unit. Saving writes the input's
// value; restoring another value on the line sets the input to it.
void SettingsFileTest::LinesOfDeclaredInputsCarryThoseInputs() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  const std::vector<membrix::SettingsLine>& lines = SettingsLines();
  auto same = [](double a, double b) { return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b)); };
  int named = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const membrix::SettingsLine& line = lines[i];
    if (line.input.empty()) continue;
    ++named;
    const std::string where = "line " + std::to_string(i + 1) + " " + line.window + "." + line.control + ": " +
                              line.task + " " + line.input;
    const membrix::TaskDeclaration* task = membrix::FindTask(line.task);
    QVERIFY2(task != nullptr, where.c_str());
    const membrix::TaskInput* in = task->Find(line.input);
    QVERIFY2(in != nullptr && in->Bound(), where.c_str());
    const bool flag = in->kind == membrix::InputKind::Flag;
    const bool choice = in->kind == membrix::InputKind::Choice;
    QVERIFY2(flag == (line.kind == SettingKind::Boolean) && choice == (line.kind == SettingKind::Index),
             where.c_str());

    std::vector<double> values = membrix::CollectSettings(*f.wb);
    const double before = in->get(f.s(), f.in());
    QVERIFY2(same(values[i], before), (where + ": the file holds " + std::to_string(values[i]) +
                                       ", the input " + std::to_string(before)).c_str());
    double value = flag     ? 1.0 - before
                   : choice ? std::fmod(before + 1.0, static_cast<double>(in->choices.size()))
                            : before + 1.0;
    if (!in->range.Contains(value)) value = before - 1.0;
    // The file may hold the control more than once; every copy takes the value.
    for (std::size_t j = 0; j < lines.size(); ++j) {
      if (lines[j].window == line.window && lines[j].control == line.control) values[j] = value;
    }
    membrix::SettingsValues edited;
    edited.values = values;
    edited.lines = 234;
    membrix::ApplySettings(*f.wb, edited);
    const double after = in->get(f.s(), f.in());
    QVERIFY2(same(after, value),
             (where + ": restored " + std::to_string(value) + ", the input holds " + std::to_string(after)).c_str());
    QVERIFY2(same(membrix::CollectSettings(*f.wb)[i], value), where.c_str());
  }
  QVERIFY(named >= 13);
}

void SettingsFileTest::SaveThenRestoreBringsEveryControlBack() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  const std::vector<double> saved = membrix::CollectSettings(*f.wb);
  Trigger(f, "Save all settings");
  QVERIFY(QFile::exists(f.FilePath(QStringLiteral("_HHSettings.txt"))));

  // Every input, box, mark, list, radio group and position takes another value.
  membrix::SettingsValues other;
  other.values = saved;
  other.lines = 234;
  for (std::size_t i = 0; i < saved.size(); ++i) {
    const membrix::SettingsLine& line = SettingsLines()[i];
    QWidget* window = Window(f, line.window.c_str());
    QObject* control = membrix::SettingsControl(window, QString::fromStdString(line.control));
    switch (line.target) {
      case SettingTarget::SpinEdit: other.values[i] = saved[i] + 1.0; break;
      case SettingTarget::IntSpin: other.values[i] = saved[i] + 1.0; break;
      case SettingTarget::CheckBox:
      case SettingTarget::MenuMark:
      case SettingTarget::Visible: other.values[i] = saved[i] == 1.0 ? 0.0 : 1.0; break;
      case SettingTarget::Left:
      case SettingTarget::Top: other.values[i] = saved[i] + 20.0; break;
      case SettingTarget::PageIndex: other.values[i] = saved[i] == 0.0 ? 2.0 : 0.0; break;
      case SettingTarget::List:
      case SettingTarget::RadioGroup: other.values[i] = std::fmod(saved[i] + 1.0, ItemCount(control)); break;
      default: break;
    }
  }
  membrix::ApplySettings(*f.wb, other);
  // Every line with a control reads back what was restored on it. Not the
  // menu marks, which show the parameters once they are rebuilt (the model
  // family, the geometry, the recording), nor the values the parameters' own
  // rules derive from lines restored after them: FixThr and deltaT follow the
  // EIF threshold voltage, Vh is shown relative to the restored Vrest, and the
  // channel-type lists follow the model family.
  const std::vector<double> changed = membrix::CollectSettings(*f.wb);
  const QStringList derived = {QStringLiteral("Form4.DDSpinEdit31"), QStringLiteral("Form4.DDSpinEdit49"),
                               QStringLiteral("Form1.DDSpinEdit4"),  QStringLiteral("Form4.ComboBox1"),
                               QStringLiteral("Form4.ComboBox2"),    QStringLiteral("Form4.ComboBox3"),
                               QStringLiteral("Form4.ComboBox4")};
  QStringList lost;
  for (std::size_t i = 0; i < saved.size(); ++i) {
    const membrix::SettingsLine& line = SettingsLines()[i];
    if (line.kind == SettingKind::Header || line.target == SettingTarget::MenuMark) continue;
    if (derived.contains(QString::fromStdString(line.window + "." + line.control))) continue;
    QWidget* window = Window(f, line.window.c_str());
    if (!line.control.empty() && membrix::SettingsControl(window, QString::fromStdString(line.control)) == nullptr)
      continue;
    if (changed[i] != other.values[i]) {
      lost << QStringLiteral("line %1 (%2): restored %3, reads %4")
                  .arg(i + 1)
                  .arg(QString::fromStdString(line.label))
                  .arg(other.values[i])
                  .arg(changed[i]);
    }
  }
  for (const QString& l : lost) qInfo().noquote() << l;
  QVERIFY2(lost.isEmpty(), qPrintable(QString::number(lost.size()) + QStringLiteral(" lines lost their value")));

  QAction* restore = f.Item(QStringLiteral("Restore previous settings"));
  QCOMPARE(restore->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
  QCOMPARE(f.Item(QStringLiteral("Save all settings"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  restore->trigger();
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  const std::vector<double> restored = membrix::CollectSettings(*f.wb);
  for (std::size_t i = 0; i < saved.size(); ++i) {
    QVERIFY2(restored[i] == saved[i],
             qPrintable(QStringLiteral("line %1 (%2): %3 instead of %4")
                            .arg(i + 1)
                            .arg(QString::fromStdString(SettingsLines()[i].label))
                            .arg(restored[i])
                            .arg(saved[i])));
  }
}

void SettingsFileTest::RestoredValuesActAsIfEntered() {
  WorkbenchFixture f;
  auto* form4 = &f.wb->parameterWindow();
  auto* box = form4->findChild<QCheckBox*>(QStringLiteral("CheckBox1"));  // line 71
  for (const char* value : {"  2", " -1", "  1"}) {
    LoadEdited(f, {{71, QString::fromUtf8(value)}});
    QCOMPARE(box->isChecked(), QByteArray(value).trimmed() == "1");
  }

  // Shown and hidden windows; the ramp analyzer opens as if the researcher opened it.
  LoadEdited(f, {{133, QStringLiteral("  1")}, {167, QStringLiteral("  1")}});
  QVERIFY(Window(f, "Form3")->isVisible());
  QVERIFY(Window(f, "Form31")->isVisible());
  LoadEdited(f, {{133, QStringLiteral("  0")}});
  QVERIFY(!Window(f, "Form3")->isVisible());

  // The ion-dynamics window takes lines 229-230 although they are labelled Form21.
  QWidget* form19 = &f.wb->ionWindow();
  form19->show();
  form19->resize(form19->minimumSize());  // so that it fits the test's small screen where it is put
  LoadEdited(f, {{229, QStringLiteral("137")}, {230, QStringLiteral("151")}});
  QCOMPARE(form19->pos(), QPoint(137, 151));
  QVERIFY(Window(f, "Form21")->pos() != QPoint(137, 151));

  // Another pump type ticks "Ion Dynamics", as a click on it does.
  auto* ionDynamics = form4->findChild<QCheckBox*>(QStringLiteral("CheckBox2"));
  auto* pumpTypes = form4->findChild<membrix::RadioGroup*>(QStringLiteral("RadioGroup2"));
  QVERIFY(!ionDynamics->isChecked());
  const int other = pumpTypes->itemIndex() == 2 ? 1 : 2;
  LoadEdited(f, {{200, QStringLiteral("  %1").arg(other)}}, 202);
  QCOMPARE(pumpTypes->itemIndex(), other);
  QVERIFY(ionDynamics->isChecked());
  QCOMPARE(f.s().ionInputs.PumpType, other);
}

// A list restored in a window that keeps its choice for the runs passes it
// on: the run uses what the list shows, also after the window is opened.
void SettingsFileTest::RestoredListsAreTheChoicesTheRunsUse() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  const auto& lines = SettingsLines();
  auto lineOf = [&](const char* window, const char* control) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].window == window && lines[i].control == control) return static_cast<int>(i);
    }
    return -1;
  };
  const membrix::TaskInputs& in = f.in();
  auto* rules = f.wb->parameterWindow().findChild<QComboBox*>(QStringLiteral("ComboBox5"));
  struct Used {
    const char* window;
    const char* control;
    std::function<double()> used;  // the item the runs use
    double value = 0.0;
  };
  Used lists[] = {
      {"Form5", "ComboBox1", [&] { return static_cast<double>(in.fi.Estimator); }},
      {"Form20", "ComboBox2", [&] { return static_cast<double>(in.fiber.Stimulation); }},
      {"Form20", "ComboBox1", [&] { return static_cast<double>(in.fiber.NaDistribution); }},
      {"Form20", "ComboBox3", [&] { return static_cast<double>(in.fiber.KDistribution); }},
      {"Form31", "ComboBox2", [&] { return static_cast<double>(in.ramp.ShapeMode); }},
      {"Form4", "ComboBox5",
       [&] { return static_cast<double>(rules->findText(QString::fromStdString(f.s().NP0.Thr_type))); }},
  };
  membrix::SettingsValues values;
  values.values = membrix::CollectSettings(*f.wb);
  values.lines = 234;
  for (Used& l : lists) {
    const int i = lineOf(l.window, l.control);
    QVERIFY2(i >= 0, l.control);
    auto* list = qobject_cast<QComboBox*>(membrix::SettingsControl(Window(f, l.window), QString::fromUtf8(l.control)));
    QVERIFY2(list != nullptr && list->count() > 1, l.control);
    // Another item than the one in use.
    l.value = std::fmod(std::max(0.0, l.used()) + 1.0, list->count());
    values.values[static_cast<std::size_t>(i)] = l.value;
  }
  membrix::ApplySettings(*f.wb, values);
  for (const char* w : {"Form5", "Form20", "Form31"}) Window(f, w)->show();
  QCoreApplication::processEvents();
  const std::vector<double> shown = membrix::CollectSettings(*f.wb);
  for (const auto& l : lists) {
    const std::string where = std::string(l.window) + "." + l.control;
    QVERIFY2(l.used() == l.value, (where + ": the runs use " + std::to_string(l.used())).c_str());
    QVERIFY2(shown[static_cast<std::size_t>(lineOf(l.window, l.control))] == l.value, where.c_str());
  }
}

// Restored from 23 to 33 degrees, the next edit to 34 rescales the leak by one
// degree's worth (2.3^(1/10)), not by eleven.
void SettingsFileTest::ARestoredTemperatureIsWhereTheLeakRuleStarts() {
  WorkbenchFixture f;
  QVERIFY(f.exposed);
  membrix::ParameterWindow& form4 = f.wb->parameterWindow();
  membrix::NumericInput* temp = form4.input(membrix::input::kTemp);
  membrix::NumericInput* gL = form4.input(membrix::input::kgL);
  temp->setValue(23.0);
  membrix::SettingsValues values;
  values.values = membrix::CollectSettings(*f.wb);
  values.lines = 234;
  values.values[static_cast<std::size_t>(membrix::input::kTemp)] = 33.0;  // line 1 + 46
  membrix::ApplySettings(*f.wb, values);
  QCOMPARE(temp->value(), 33.0);
  const double before = gL->value();
  temp->clear();
  QTest::keyClicks(temp, QStringLiteral("34"));
  QTest::keyClick(temp, Qt::Key_Return);
  QCOMPARE(temp->value(), 34.0);
  QVERIFY2(std::abs(gL->value() / before - std::pow(2.3, 0.1)) < 0.01,
           qPrintable(QStringLiteral("gL %1 -> %2").arg(before).arg(gL->value())));
}

void SettingsFileTest::AFileThatStopsEarlyLeavesTheRestAlone() {
  WorkbenchFixture f;
  auto* pages = f.Find<QTabWidget>(QStringLiteral("PageControl1"));
  const int page = pages->currentIndex();
  membrix::NumericInput* late = f.wb->parameterWindow().input(65);  // line 192
  const QString lateText = late->text();
  QWidget* form4 = &f.wb->parameterWindow();
  const QPoint form4At = form4->pos();
  LoadEdited(f,
             {{2, QStringLiteral("   1.2500")},
              {191, QStringLiteral("  1")},
              {192, QStringLiteral(" 777.0000")},
              {227, QStringLiteral("333")},
              {231, QString::number(page == 0 ? 3 : 0)}},
             191);
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(f.wb->parameterWindow().input(1)->value(), 1.25);
  QCOMPARE(late->text(), lateText);
  QCOMPARE(form4->pos(), form4At);
  QCOMPARE(pages->currentIndex(), page);
}

void SettingsFileTest::ABadFileIsReportedAndChangesNothing() {
  WorkbenchFixture f;
  membrix::NumericInput* first = f.wb->parameterWindow().input(1);
  const QString before = first->text();
  struct Case {
    int keep;
    int badLine;
    int reportedLine;
  } cases[] = {{60, 0, 60}, {234, 100, 100}};
  for (const Case& c : cases) {
    f.dialogs->errors.clear();
    QList<QPair<int, QString>> edits{{2, QStringLiteral("  42.0000")}};
    if (c.badLine > 0) edits.append({c.badLine, QStringLiteral("x")});
    LoadEdited(f, edits, c.keep);
    QCOMPARE(f.dialogs->errors.size(), 1);
    QVERIFY2(f.dialogs->errors[0].contains(QStringLiteral("edited.txt, line %1").arg(c.reportedLine)),
             qPrintable(f.dialogs->errors[0]));
    QCOMPARE(first->text(), before);
  }

  // A cancelled dialog writes nothing.
  f.dialogs->fileToSave.clear();
  QFile::remove(f.FilePath(QStringLiteral("saved.txt")));
  Trigger(f, "Save settings as ...");
  QVERIFY(!QFile::exists(f.FilePath(QStringLiteral("saved.txt"))));
}

// Settings saved before closing the program bring back the inputs, and with
// them the parameters, after a restart.
void SettingsFileTest::ADayAfterARestartStartsWhereItEnded() {
  QByteArray saved;
  double temp = 0.0, kelvin = 0.0;
  {
    WorkbenchFixture day1;
    membrix::NumericInput* input = day1.wb->parameterWindow().input(46);  // the temperature
    temp = input->value() + 7.0;
    input->setValue(temp);
    kelvin = day1.s().NP0.Temp;
    day1.Type(QStringLiteral("DDSpinEdit3"), QStringLiteral("123"));
    Trigger(day1, "Save all settings");
    QFile f(day1.FilePath(QStringLiteral("_HHSettings.txt")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    saved = f.readAll();
  }
  WorkbenchFixture day2;
  QVERIFY(day2.s().NP0.Temp != kelvin);
  Trigger(day2, "Restore previous settings");  // no file yet: nothing happens
  QVERIFY(day2.dialogs->errors.isEmpty());
  QVERIFY(day2.s().NP0.Temp != kelvin);
  day2.Write(QStringLiteral("_HHSettings.txt"), saved);
  Trigger(day2, "Restore previous settings");
  QVERIFY2(day2.dialogs->errors.isEmpty(), qPrintable(day2.dialogs->errors.join(QLatin1Char('\n'))));
  QCOMPARE(day2.wb->parameterWindow().input(46)->value(), temp);
  QCOMPARE(day2.s().NP0.Temp, kelvin);
  QCOMPARE(day2.Input(QStringLiteral("DDSpinEdit3"))->value(), 123.0);
}

namespace {

// What a restore must bring back: every line of the file (every input, box,
// list, mark and window), every field of the parameter record and the
// protocol the next run uses.
struct WholeState {
  std::vector<double> lines;
  QStringList parameters;
  QStringList protocol;
};

WholeState Capture(WorkbenchFixture& f) {
  WholeState w;
  w.lines = membrix::CollectSettings(*f.wb);
  const membrix::NeuronProperties& np = f.s().NP0;
  for (const membrix::PropertyField& field : membrix::PropertyFields()) {
    const QString name = QString::fromUtf8(field.name.data(), static_cast<qsizetype>(field.name.size()));
    w.parameters << name + QLatin1Char('=') +
                        (field.kind == membrix::FieldKind::Text
                             ? QString::fromStdString(membrix::GetText(np, field))
                             : QString::number(membrix::GetDouble(np, field), 'g', 12));
  }
  const membrix::Session& s = f.s();
  w.protocol << QStringLiteral("t_end=%1").arg(s.run.t_end, 0, 'g', 12)
             << QStringLiteral("nt_end=%1").arg(s.run.nt_end) << QStringLiteral("dt=%1").arg(s.run.dt, 0, 'g', 12)
             << QStringLiteral("Iind=%1").arg(s.stim.Iind, 0, 'g', 12)
             << QStringLiteral("t_Iind=%1").arg(s.stim.t_Iind, 0, 'g', 12)
             << QStringLiteral("uu=%1").arg(s.stim.uu, 0, 'g', 12) << QStringLiteral("ss=%1").arg(s.stim.ss, 0, 'g', 12)
             << QStringLiteral("Smpl=%1").arg(s.rec.Smpl);
  return w;
}

QStringList Differences(const WholeState& was, const WholeState& is) {
  QStringList out;
  for (std::size_t i = 0; i < was.lines.size(); ++i) {
    if (was.lines[i] != is.lines[i])
      out << QStringLiteral("line %1 (%2): %3, saved %4")
                 .arg(i + 1)
                 .arg(QString::fromStdString(SettingsLines()[i].label).trimmed())
                 .arg(is.lines[i])
                 .arg(was.lines[i]);
  }
  auto compare = [&out](const QStringList& a, const QStringList& b) {
    for (qsizetype i = 0; i < a.size(); ++i)
      if (a[i] != b[i]) out << b[i] + QStringLiteral(", saved ") + a[i].section(QLatin1Char('='), 1);
  };
  compare(was.parameters, is.parameters);
  compare(was.protocol, is.protocol);
  return out;
}

void Press(WorkbenchFixture& f, QKeyCombination key) {
  f.form1().activateWindow();
  QTest::keyClick(&f.form1(), key.key(), key.keyboardModifiers());
}

}  // namespace

// Saved, changed in between and restored, the workbench is the one that was
// saved: the restored model family with its restored conductances, not the
// family chosen since under the saved values, and a run fires as the saved
// model did.
void SettingsFileTest::ARestoreBringsBackTheWholeModelAfterChanges() {
  struct Change {
    const char* what;
    std::function<void(WorkbenchFixture&)> change;
  };
  const Change changes[] = {
      {"another model family, the f-I window closed and t_end typed",
       [](WorkbenchFixture& f) {
         Window(f, "Form5")->close();
         f.Item(QStringLiteral("Rariza1"))->trigger();
         f.Type(QStringLiteral("DDSpinEdit3"), QStringLiteral("100"));
       }},
      {"another family with the f-I window left open",
       [](WorkbenchFixture& f) {
         f.Item(QStringLiteral("Destexhe1"))->trigger();
         f.Type(QStringLiteral("DDSpinEdit5"), QStringLiteral("1"));
       }},
      {"the geometry, a conductance and the sample",
       [](WorkbenchFixture& f) {
         f.Item(QStringLiteral("N2points1"))->trigger();
         f.wb->parameterWindow().input(2)->setValue(7.0);
         f.Item(QStringLiteral("Smpl0"))->trigger();
         Window(f, "Form5")->close();
       }},
      {"the channel types, the temperature and the stimulus",
       [](WorkbenchFixture& f) {
         auto* naR = f.wb->parameterWindow().findChild<QComboBox*>(QStringLiteral("ComboBox1"));
         naR->setCurrentIndex((naR->currentIndex() + 1) % naR->count());
         emit naR->activated(naR->currentIndex());
         membrix::NumericInput* temp = f.wb->parameterWindow().input(membrix::input::kTemp);
         temp->setValue(temp->value() + 5.0);
         f.Item(QStringLiteral("N2pMainenSejn1"))->trigger();
         f.Type(QStringLiteral("DDSpinEdit2"), QStringLiteral("5"));
       }},
  };
  for (const Change& c : changes) {
    WorkbenchFixture f;
    QVERIFY(f.exposed);
    f.Type(QStringLiteral("DDSpinEdit3"), QStringLiteral("250"));
    f.Type(QStringLiteral("DDSpinEdit5"), QStringLiteral("2.5"));
    QTest::mouseClick(f.Button(QStringLiteral("f-I -curve")), Qt::LeftButton);
    QVERIFY(Window(f, "Form5")->isVisible());
    Press(f, Qt::Key_F5);
    const int spikes = f.s().spikes.nSpikes;
    QVERIFY(spikes > 0);
    const WholeState saved = Capture(f);
    Press(f, Qt::ControlModifier | Qt::Key_S);
    QVERIFY(QFile::exists(f.FilePath(QStringLiteral("_HHSettings.txt"))));

    c.change(f);
    QVERIFY2(!Differences(saved, Capture(f)).isEmpty(), c.what);
    Press(f, Qt::ControlModifier | Qt::Key_L);
    QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
    const QStringList lost = Differences(saved, Capture(f));
    for (const QString& l : lost) qInfo().noquote() << c.what << ":" << l;
    QVERIFY2(lost.isEmpty(), c.what);
    QCOMPARE(f.wb->parameterWindow().findChild<QLabel*>(QStringLiteral("StaticText28"))->text(),
             QStringLiteral("HH_type=\"%1\"").arg(QString::fromStdString(f.s().NP0.HH_type)));
    Press(f, Qt::Key_F5);
    QVERIFY2(f.s().spikes.nSpikes == spikes, qPrintable(QStringLiteral("%1: %2 spikes after the restore, %3 saved")
                                                         .arg(QString::fromUtf8(c.what))
                                                         .arg(f.s().spikes.nSpikes)
                                                         .arg(spikes)));
  }
}

// The parameter window adds a channel of a NeuroML file (asking for its id
// when the file holds several), edits its conductance and reversal and removes
// it; the settings file saves the model's channels and brings them back, and
// a file without them restores a model without them.
void SettingsFileTest::ImportedChannelsAreEditedInTheParameterWindowAndRestored() {
  WorkbenchFixture f;
  membrix::Session& s = f.s();
  membrix::ParameterWindow& form4 = f.wb->parameterWindow();
  auto* table = form4.findChild<QTableWidget*>(QStringLiteral("ImportedChannels"));
  QVERIFY(table != nullptr);
  const QString squid = QStringLiteral(MEMBRIX_SOURCE_DIR "/resources/neuroml/squid_axon.nml");
  auto add = [&](const QString& file, const QString& id) {
    f.dialogs->fileToOpen = file;
    f.dialogs->itemToChoose = id;
    QTest::mouseClick(form4.findChild<QPushButton*>(QStringLiteral("Add channel ...")), Qt::LeftButton);
  };
  add(squid, QStringLiteral("k_squid"));
  QCOMPARE(f.dialogs->offeredItems, QStringList({QStringLiteral("na_squid"), QStringLiteral("k_squid")}));
  add(squid, QString());  // the choice cancelled
  add(QStringLiteral(MEMBRIX_SOURCE_DIR "/resources/neuroml/km_mainen1996.nml"), QString());  // one channel: no question
  QCOMPARE(s.NP0.Imported.size(), std::size_t{2});
  QCOMPARE(table->rowCount(), 2);
  QCOMPARE(table->item(0, 0)->text(), QStringLiteral("k_squid"));
  QCOMPARE(s.NP0.Imported[0].E, s.NP0.VK);  // a K channel starts at the model's K reversal
  membrix::testing::TypeInto(form4, "gNeuroML1", QStringLiteral("36"));
  membrix::testing::TypeInto(form4, "ENeuroML1", QStringLiteral("-72"));
  membrix::testing::TypeInto(form4, "gNeuroML2", QStringLiteral("-1"));  // refused: stays 0
  QCOMPARE(s.NP0.Imported[0].g, 36.0);
  QCOMPARE(s.NP0.Imported[0].E, -0.072);
  QCOMPARE(s.NP0.Imported[1].g, 0.0);
  membrix::testing::TypeInto(form4, "gNeuroML2", QStringLiteral("0.00002"));
  // A second channel of one id is refused with a message.
  f.dialogs->errors.clear();
  add(squid, QStringLiteral("k_squid"));
  QCOMPARE(f.dialogs->errors.size(), 1);
  QCOMPARE(s.NP0.Imported.size(), std::size_t{2});

  f.dialogs->fileToSave = f.FilePath(QStringLiteral("saved.txt"));
  Trigger(f, "Save settings as ...");
  const QStringList saved = FileLines(f.dialogs->fileToSave);
  QCOMPARE(saved.size(), 237);

  table->selectRow(0);
  QTest::mouseClick(form4.findChild<QPushButton*>(QStringLiteral("Remove channel")), Qt::LeftButton);
  QCOMPARE(s.NP0.Imported.size(), std::size_t{1});
  QCOMPARE(s.NP0.Imported[0].kinetics.id, std::string("km"));
  membrix::testing::TypeInto(form4, "gNeuroML1", QStringLiteral("3"));  // the row's input edits the row's channel
  QCOMPARE(s.NP0.Imported[0].g, 3.0);

  f.dialogs->fileToOpen = f.dialogs->fileToSave;
  Trigger(f, "Load settings from ...");
  QCOMPARE(f.dialogs->errors.size(), 1);
  QCOMPARE(s.NP0.Imported.size(), std::size_t{2});
  QCOMPARE(s.NP0.Imported[0].kinetics.id, std::string("k_squid"));
  QCOMPARE(s.NP0.Imported[0].g, 36.0);
  QVERIFY(std::abs(s.NP0.Imported[0].E + 0.072) < 1e-15);
  QCOMPARE(s.NP0.Imported[1].g, 0.00002);
  QCOMPARE(table->rowCount(), 2);

  // A channel file gone by now fails the restore by its line and changes nothing.
  QStringList moved = saved;
  moved[235] = QStringLiteral("36 -72 ") + f.FilePath(QStringLiteral("gone.nml#k_squid"));
  f.Write(QStringLiteral("moved.txt"), moved.join(QLatin1Char('\n')).toUtf8() + "\n");
  f.dialogs->fileToOpen = f.FilePath(QStringLiteral("moved.txt"));
  Trigger(f, "Load settings from ...");
  QCOMPARE(f.dialogs->errors.size(), 2);
  QVERIFY2(f.dialogs->errors[1].contains(QStringLiteral("moved.txt, line 236")), qPrintable(f.dialogs->errors[1]));
  QCOMPARE(s.NP0.Imported.size(), std::size_t{2});

  // A file of the positional lines alone holds a model without channels.
  f.Write(QStringLiteral("old.txt"), saved.mid(0, 234).join(QLatin1Char('\n')).toUtf8() + "\n");
  f.dialogs->fileToOpen = f.FilePath(QStringLiteral("old.txt"));
  Trigger(f, "Load settings from ...");
  QVERIFY(s.NP0.Imported.empty());
  QCOMPARE(table->rowCount(), 0);
}

// The integrator chosen under "Parameters > Integration…" is kept with the
// settings; a file without it runs the fixed step.
void SettingsFileTest::TheIntegratorIsSavedAndRestored() {
  WorkbenchFixture f;
  membrix::Session& s = f.s();
  s.run.integrator = {membrix::IntegratorKind::Cvode, 1e-7, 1e-5};
  f.dialogs->fileToSave = f.FilePath(QStringLiteral("saved.txt"));
  Trigger(f, "Save settings as ...");
  const QStringList saved = FileLines(f.dialogs->fileToSave);
  QCOMPARE(saved.size(), 236);
  QCOMPARE(saved[235], QStringLiteral("cvode 1e-07 1e-05"));

  s.run.integrator = {};
  f.dialogs->fileToOpen = f.dialogs->fileToSave;
  Trigger(f, "Load settings from ...");
  QVERIFY(f.dialogs->errors.isEmpty());
  QCOMPARE(s.run.integrator.kind, membrix::IntegratorKind::Cvode);
  QCOMPARE(s.run.integrator.rtol, 1e-7);
  QCOMPARE(s.run.integrator.atol, 1e-5);

  f.Write(QStringLiteral("old.txt"), saved.mid(0, 234).join(QLatin1Char('\n')).toUtf8() + "\n");
  f.dialogs->fileToOpen = f.FilePath(QStringLiteral("old.txt"));
  Trigger(f, "Load settings from ...");
  QCOMPARE(s.run.integrator.kind, membrix::IntegratorKind::FixedStep);
  QCOMPARE(s.run.integrator.rtol, 1e-6);
}

QTEST_MAIN(SettingsFileTest)
#include "settings_file_test.moc"
