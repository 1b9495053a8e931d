#include "ui/settings_binding.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iterator>
#include <utility>

#include "common/error.h"
#include "params/imported_channels.h"
#include "params/model_defaults.h"
#include "params/record_fields.h"
#include "params/settings_file.h"
#include "run/session.h"
#include "ui/main_window.h"
#include "ui/numeric_input.h"
#include "ui/parameter_window.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

QObject* FindIn(QObject* parent, const QString& name) {
  const QObjectList& children = parent->children();
  for (QObject* child : children) {
    if (child->objectName() == name) return child;
  }
  for (QObject* child : children) {
    // Another window parented to this one keeps its own controls; menus are
    // pop-up windows of this one and belong to it.
    if (auto* w = qobject_cast<QWidget*>(child); w != nullptr && w->isWindow() && qobject_cast<QMenu*>(w) == nullptr)
      continue;
    if (QObject* found = FindIn(child, name)) return found;
  }
  return nullptr;
}

QAction* MenuItem(QObject* control) {
  if (auto* menu = qobject_cast<QMenu*>(control)) return menu->menuAction();
  return qobject_cast<QAction*>(control);
}

QButtonGroup* Buttons(QObject* control) {
  if (auto* group = qobject_cast<QButtonGroup*>(control)) return group;
  if (control == nullptr) return nullptr;
  if (auto* group = control->findChild<QButtonGroup*>()) return group;
  // A box whose buttons belong to a group the window keeps.
  for (QAbstractButton* button : control->findChildren<QAbstractButton*>()) {
    if (button->group() != nullptr) return button->group();
  }
  return nullptr;
}

// Lists whose change handler only keeps the choice where the runs read it
// (and enables the inputs that go with it). Restored, they pass the choice on
// as their bound lists do, or the window would show one choice while the runs
// use another, and opening it would bring the other back.
bool KeepsChoice(const SettingsLine& line) {
  static constexpr std::pair<const char*, const char*> kLists[] = {{"Form20", "ComboBox1"},
                                                                   {"Form20", "ComboBox2"},
                                                                   {"Form20", "ComboBox3"},
                                                                   {"Form31", "ComboBox2"},
                                                                   {"Form4", "ComboBox5"}};
  if (!line.input.empty()) return true;
  return std::any_of(std::begin(kLists), std::end(kLists),
                     [&](const auto& l) { return line.window == l.first && line.control == l.second; });
}

int ItemIndex(QObject* control) {
  if (auto* group = qobject_cast<RadioGroup*>(control)) return group->itemIndex();
  if (QButtonGroup* buttons = Buttons(control)) return buttons->checkedId();
  return -1;
}

// A radio group takes an item as if it were clicked, so its click handler
// runs when the item changes; an index of no item clears the group.
void SetItemIndex(QObject* control, int index) {
  if (auto* group = qobject_cast<RadioGroup*>(control)) {
    group->setItemIndex(index);
    return;
  }
  QButtonGroup* buttons = Buttons(control);
  if (buttons == nullptr || buttons->checkedId() == index) return;
  if (QAbstractButton* button = buttons->button(index)) {
    if (button->isEnabled()) {
      button->click();
    } else {
      button->setChecked(true);
    }
    return;
  }
  buttons->setExclusive(false);
  if (QAbstractButton* checked = buttons->checkedButton()) checked->setChecked(false);
  buttons->setExclusive(true);
}

double Read(const SettingsLine& line, QWidget* window) {
  if (window == nullptr) return 0.0;
  switch (line.target) {
    case SettingTarget::Visible: return window->isVisible() ? 1.0 : 0.0;
    case SettingTarget::Left: return window->x();
    case SettingTarget::Top: return window->y();
    default: break;
  }
  QObject* c = SettingsControl(window, QString::fromStdString(line.control));
  switch (line.target) {
    case SettingTarget::SpinEdit:
      if (auto* in = qobject_cast<NumericInput*>(c)) return in->value();
      if (auto* spin = qobject_cast<QDoubleSpinBox*>(c)) return spin->value();
      break;
    case SettingTarget::IntSpin:
      if (auto* spin = qobject_cast<QSpinBox*>(c)) return spin->value();
      if (auto* in = qobject_cast<NumericInput*>(c)) return in->value();
      break;
    case SettingTarget::CheckBox:
      if (auto* box = qobject_cast<QAbstractButton*>(c)) return box->isChecked() ? 1.0 : 0.0;
      break;
    case SettingTarget::List:
      if (auto* list = qobject_cast<QComboBox*>(c)) return list->currentIndex();
      return -1.0;
    case SettingTarget::RadioGroup: return ItemIndex(c);
    case SettingTarget::MenuMark:
      if (QAction* a = MenuItem(c)) return a->isChecked() ? 1.0 : 0.0;
      break;
    case SettingTarget::PageIndex:
      if (auto* pages = qobject_cast<QTabWidget*>(c)) return pages->currentIndex();
      break;
    default: break;
  }
  return 0.0;
}

void Write(const SettingsLine& line, QWidget* window, double value) {
  if (window == nullptr) return;
  const int n = static_cast<int>(std::lround(value));
  switch (line.target) {
    case SettingTarget::Visible: window->setVisible(n == 1); return;
    case SettingTarget::Left: window->move(n, window->y()); return;
    case SettingTarget::Top: window->move(window->x(), n); return;
    default: break;
  }
  QObject* c = SettingsControl(window, QString::fromStdString(line.control));
  switch (line.target) {
    case SettingTarget::SpinEdit:
      // The field shows the value with its own decimals; a changed text runs
      // the field's change handler.
      if (auto* in = qobject_cast<NumericInput*>(c)) in->setValue(value);
      if (auto* spin = qobject_cast<QDoubleSpinBox*>(c)) spin->setValue(value);
      break;
    case SettingTarget::IntSpin:
      if (auto* spin = qobject_cast<QSpinBox*>(c)) spin->setValue(n);
      if (auto* in = qobject_cast<NumericInput*>(c)) in->setValue(n);
      break;
    case SettingTarget::CheckBox:
      // Only 1 ticks a box; a changed state runs its handler.
      if (auto* box = qobject_cast<QAbstractButton*>(c)) box->setChecked(n == 1);
      break;
    case SettingTarget::List:
      // A list only takes the item: no subtype defaults, no folder reads. A
      // list that only keeps its choice for the runs passes the item on, or
      // the next run would use another choice than the list shows.
      if (auto* list = qobject_cast<QComboBox*>(c)) {
        const bool keeps = KeepsChoice(line);
        const QSignalBlocker quiet(keeps ? nullptr : list);
        list->setCurrentIndex(n >= 0 && n < list->count() ? n : -1);
        // Some keep a choice only when it is made (the threshold rule).
        if (keeps && list->currentIndex() >= 0) emit list->activated(list->currentIndex());
      }
      break;
    case SettingTarget::RadioGroup: SetItemIndex(c, n); break;
    case SettingTarget::MenuMark:
      // A menu item only takes its mark.
      if (QAction* a = MenuItem(c); a != nullptr && a->isCheckable()) a->setChecked(n == 1);
      break;
    case SettingTarget::PageIndex:
      if (auto* pages = qobject_cast<QTabWidget*>(c); pages != nullptr && n >= 0 && n < pages->count())
        pages->setCurrentIndex(n);
      break;
    default: break;
  }
}

// The real-valued fields of the parameter record that the defaults of the
// record's model family leave as they are.
std::vector<const PropertyField*> FieldsDefaultsLeave(const NeuronProperties& np, double Vus) {
  constexpr double kMark = 1.2345e300;
  NeuronProperties marked = np;
  for (const PropertyField& f : PropertyFields()) {
    if (f.kind == FieldKind::Double) SetDouble(marked, f, kMark);
  }
  SetDefaults(marked, Vus);
  std::vector<const PropertyField*> left;
  for (const PropertyField& f : PropertyFields()) {
    if (f.kind == FieldKind::Double && GetDouble(marked, f) == kMark) left.push_back(&f);
  }
  return left;
}

// The model's imported channels as the settings file keeps them, each file
// by its absolute path so that a restore finds it from any folder.
std::vector<SettingsChannel> ChannelsToSave(const NeuronProperties& np) {
  std::vector<SettingsChannel> saved;
  for (const ImportedChannel& c : np.Imported) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(c.kinetics.file, ec);
    saved.push_back({ec ? c.kinetics.file : absolute.lexically_normal().string(), c.kinetics.id, c.g, c.E * 1000.0});
  }
  return saved;
}

// The imported channels of a settings file, each read from its channel file
// and the whole checked against what a neuron holds, before anything is
// restored: a channel that cannot be had fails the restore with the settings
// file's line.
std::vector<ImportedChannel> ChannelsToRestore(const SettingsValues& values) {
  NeuronProperties held;
  for (const SettingsChannel& c : values.channels) {
    try {
      ImportedChannel k = ImportChannel(c.file + "#" + c.id + ":0:0");
      k.g = c.g;
      k.E = c.EmV / 1000.0;
      AddImportedChannel(held, std::move(k));
    } catch (const Error& e) {
      throw FormatError(values.fileName, c.line, std::string("the imported channel: ") + e.what());
    }
  }
  return std::move(held.Imported);
}

// The name last chosen in each settings dialog.
QString& ChosenName(bool save) {
  static QString saveName, loadName;
  return save ? saveName : loadName;
}

const char* const kDialogFilter = "Text files (*.txt)|*.TXT|Text files (Settings*.txt)|Settings*.txt";

}  // namespace

QWidget* SettingsWindow(Workbench& wb, const std::string& name) {
  return wb.window(QString::fromStdString(name));
}

QObject* SettingsControl(QWidget* window, const QString& name) {
  return window != nullptr && !name.isEmpty() ? FindIn(window, name) : nullptr;
}

std::vector<double> CollectSettings(Workbench& wb) {
  const auto& lines = SettingsLines();
  std::vector<double> values(lines.size(), 0.0);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != SettingKind::Header) values[i] = Read(lines[i], SettingsWindow(wb, lines[i].window));
  }
  return values;
}

void ApplySettings(Workbench& wb, const SettingsValues& values) {
  std::vector<ImportedChannel> imported = ChannelsToRestore(values);
  const auto& lines = SettingsLines();
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(values.lines), lines.size());
  // The menu's marks and the lists that only take their item are set after
  // every other line: they hold the model (its family, geometry and channel
  // types) only in the controls until the parameters are rebuilt below. A
  // restored value whose handler shows the parameters in every window (the
  // f-I window's t_end does, and that window's show may just have put the
  // current run length into it) marks the menu and selects the lists after
  // the model in use: set before it, they would be lost, and the model rebuilt
  // below would be the one being replaced, under the restored conductances.
  auto heldByControls = [](const SettingsLine& line) {
    return line.target == SettingTarget::MenuMark || (line.target == SettingTarget::List && !KeepsChoice(line));
  };
  auto restore = [&](bool held) {
    for (std::size_t i = 0; i < count; ++i) {
      if (lines[i].kind == SettingKind::Header || heldByControls(lines[i]) != held) continue;
      Write(lines[i], SettingsWindow(wb, lines[i].window), values.values[i]);
    }
  };
  restore(false);
  restore(true);
  // The restored sample mark is the sample the runs use, as ticking it is.
  wb.mainWindow().TakeSampleFromMarks();
  // A restored temperature is where the leak's temperature rule starts from:
  // the next edit rescales gL from it, not from the temperature before.
  wb.parameterWindow().ForgetTemperatureEdit();
  // The parameters follow the restored inputs: the inputs first, the model
  // family's defaults, then the inputs again so that they override those
  // defaults, and every window shows the result.
  QCoreApplication::processEvents();
  Session& session = wb.session();
  const std::string familyBefore = session.NP0.HH_type;
  wb.ControlsToParameters();
  if (session.NP0.HH_type != familyBefore) {
    // A restore that changes the model family starts that family afresh: the
    // coefficients the replaced family's defaults set, which the restored
    // family's leave alone and no input holds, would keep their values.
    NeuronProperties replaced = session.NP0;
    replaced.HH_type = familyBefore;
    const std::vector<const PropertyField*> keptByReplaced = FieldsDefaultsLeave(replaced, session.stim.Vus);
    const NeuronProperties clean{};
    for (const PropertyField* f : FieldsDefaultsLeave(session.NP0, session.stim.Vus)) {
      if (std::find(keptByReplaced.begin(), keptByReplaced.end(), f) == keptByReplaced.end())
        SetDouble(session.NP0, *f, GetDouble(clean, *f));
    }
  }
  SetDefaults(session);
  wb.ControlsToParameters();
  // The saved model's imported channels, none for a file without them; the
  // saved integrator, the fixed step for a file without one.
  session.NP0.Imported = std::move(imported);
  session.run.integrator = values.integration;
  wb.Correspond();
}

void WriteSettings(Workbench& wb, const QString& file) {
  WriteSettingsFile(file.toStdString(), CollectSettings(wb), ChannelsToSave(wb.session().NP0),
                    wb.session().run.integrator);
}

bool ReadSettings(Workbench& wb, const QString& file) {
  if (!QFileInfo::exists(file)) return false;
  ApplySettings(wb, ReadSettingsFile(file.toStdString()));
  return true;
}

void ConnectSettingsCommand(Workbench& wb, QAction* item) {
  const QString name = item->objectName();
  QWidget* parent = &wb.mainWindow();
  const QString fixed = QString::fromUtf8(kSettingsFileName);
  std::function<void()> command;
  if (name == QLatin1String("Save all settings")) {
    command = [&wb, fixed] { WriteSettings(wb, QDir::current().filePath(fixed)); };
  } else if (name == QLatin1String("Restore previous settings")) {
    command = [&wb, fixed] { ReadSettings(wb, QDir::current().filePath(fixed)); };
  } else if (name == QLatin1String("Save settings as ...") || name == QLatin1String("Load settings from ...")) {
    const bool save = name.startsWith(QLatin1String("Save"));
    command = [&wb, parent, save, name] {
      QString& last = ChosenName(save);
      const QString folder = last.isEmpty() ? QDir::currentPath() : last;
      const QString filter = QString::fromUtf8(kDialogFilter);
      const QString chosen = save ? wb.dialogs().SaveFileName(parent, name, folder, filter)
                                  : wb.dialogs().OpenFileName(parent, name, folder, filter);
      // A cancelled dialog cancels the command.
      if (chosen.isEmpty()) return;
      last = chosen;
      if (save) {
        WriteSettings(wb, chosen);
      } else if (!ReadSettings(wb, chosen)) {
        wb.dialogs().ShowError(parent, chosen + QStringLiteral(": no such settings file"));
      }
    };
  } else {
    return;
  }
  item->setEnabled(true);
  QObject::connect(item, &QAction::triggered, item, [&wb, command] { wb.RunCommand(command); });
}

}  // namespace membrix
