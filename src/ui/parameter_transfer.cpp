#include "ui/parameter_transfer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <array>
#include <optional>
#include <vector>

#include "run/run_globals.h"
#include "run/session.h"
#include "ui/numeric_input.h"
#include "ui/parameter_window.h"
#include "ui/parameter_window_inputs.h"

namespace membrix {

namespace {

// A main-window control by its program name (may be empty) and its caption.
struct Name {
  const char* program;
  const char* caption;
};

// The "HH_type" items in the order the transfer reads them; "Bazhenov" never
// carries a mark, so it is not among them.
constexpr Name kHHTypeItems[] = {{"Rariza1", "Rariza"},
                                 {"Passive1", "Passive"},
                                 {"Destexhe1", "Destexhe"},
                                 {"Migliore1", "Migliore"},
                                 {"Cummins1", "Cummins"},
                                 {"Chow1", "Chow"},
                                 {"Lyle1", "Lyle"},
                                 {"Naundorf1", "Naundorf"},
                                 {"White1", "White"},
                                 {"White21", "White2"},
                                 {"Shu1", "Shu"}};
constexpr Name kHHOrderItems[] = {{"N1point1", "1-point"},
                                  {"N2points1", "2-points"},
                                  {"N2pMainenSejn1", "2-p-MainenSejn"},
                                  {"N2pActiveDend1", "2-p-ActiveDend"}};
constexpr Name kThrModelItem{"", "ThrModel"};
constexpr Name kLIFModelItem{"", "LIF_model"};
constexpr Name kWritingItem{"Writing1", "Writing"};

struct BlockageItem {
  Name name;
  std::int32_t NeuronProperties::*flag;
};
constexpr BlockageItem kBlockageItems[] = {
    {{"", "I_NaR"}, &NeuronProperties::IfBlockNaR}, {{"", "I_Na"}, &NeuronProperties::IfBlockNa},
    {{"", "I_K"}, &NeuronProperties::IfBlockK},     {{"", "I_KM"}, &NeuronProperties::IfBlockKM},
    {{"", "I_KA"}, &NeuronProperties::IfBlockKA},   {{"", "I_Pass"}, &NeuronProperties::IfBlockPass}};

constexpr Name kCurrentClampMenu{"", "Current-Clamp"};
constexpr Name kVoltageClampMenu{"", "Voltage-Clamp"};
// The clamp-mode items by If_I_V_or_g = 1 ... 7.
constexpr Name kClampModeItems[] = {
    {"", "VC"},         {"", "CC"},   {"", "for  gNa"}, {"", "VC with pipette"},
    {"", "VC at Vexp"}, {"", "Iind"}, {"", "Iind=Vexp"}};
constexpr int kIindIsVexpMode = 7;  // its item toggles a mark of its own, which the transfer only sets

constexpr Name kGLFixedItem{"", "gL is fixed"};
constexpr Name kTauFixedItem{"", "tau is fixed"};
constexpr Name kVLFixedItem{"", "VL is fixed"};
constexpr Name kVrestFixedItem{"", "Vrest is fixed"};

constexpr Name kDefaultItem{"", "Default"};
constexpr Name kFixedFileItems[] = {
    {"", "'Na_slow.id'"}, {"", "'Na_slow_ina.id'"}, {"", "'Na_V10&S12.id'"}, {"", "'AP.id'"}};
// Fixed parameter files whose items carry no mark of the file in use.
constexpr const char* kUnmarkedFiles[] = {"ramp.id", "VC_steps.id"};

constexpr Name kIindInput{"DDSpinEdit1", " Iind, pA   "};
constexpr Name kt_IindInput{"DDSpinEdit2", " t_Iind, ms"};
constexpr Name kt_endInput{"DDSpinEdit3", " t_end, ms"};
constexpr Name kVhInput{"DDSpinEdit4", " Vh, mV "};
constexpr Name kuuInput{"DDSpinEdit5", "u"};
constexpr Name kssInput{"DDSpinEdit6", "s"};
constexpr Name kNoiseToSignalInput{"DDSpinEdit7", " NoiseToSignal: "};
constexpr Name kFC_freqInput{"DDSpinEdit8", " Freq. hold: "};
constexpr Name kFC_dFduInput{"DDSpinEdit9", " dFreq/du: "};
constexpr Name ktau_EInput{"DDSpinEdit10", " tau_E:"};
constexpr Name ktau_IInput{"DDSpinEdit11", " tau_I : "};
constexpr Name ktau_NoiseInput{"DDSpinEdit12", " tau_Noise:"};
constexpr Name kdtInput{"", " dt, ms "};
constexpr Name kFreq_IindInput{"DDSpinEdit14", " Freq_Iind, Hz "};
constexpr Name kFC_I0Input{"DDSpinEdit15", " I0, mkA/cm^2:"};
constexpr Name kt_IindShiftInput{"DDSpinEdit20", " t_IindShift, ms: "};
constexpr Name kgNMDAInput{"DDSpinEdit22", "t"};
constexpr Name ks_somaInput{"DDSpinEdit23", " s_soma   "};
constexpr Name kdu_ResetInput{"DDSpinEdit18", " du_Reset, muA/cm^2:"};
constexpr Name kIindLabel{"", " Iind, pA   "};
constexpr Name kVhLabel{"", " Vh, mV "};
constexpr Name kResetList{"ComboBox2", ""};

// The main window's inputs of the stimulus and the firing clamp, in the order
// the transfer reads them, each with its conversion between the shown value
// and the global.
struct MainInput {
  Name name;
  double (*show)(const Session&);
  void (*store)(Session&, double v);
};

// A global of one of the session's groups shown as global × kScale.
template <auto Group, auto Global, double kScale>
double ShowGlobal(const Session& s) {
  return (s.*Group).*Global * kScale;
}
template <auto Group, auto Global, double kScale>
void StoreGlobal(Session& s, double v) {
  (s.*Group).*Global = v / kScale;
}
template <auto Group, auto Global, double kScale = 1.0>
constexpr MainInput In(Name name) {
  return {name, &ShowGlobal<Group, Global, kScale>, &StoreGlobal<Group, Global, kScale>};
}

// The command voltage is shown against the rest.
double ShowVh(const Session& s) { return (s.stim.Vh - s.NP0.Vrest) * 1000; }
void StoreVh(Session& s, double v) { s.stim.Vh = v / 1000 + s.NP0.Vrest; }
// A time step of 0 or less is never taken.
double ShowDt(const Session& s) { return s.run.dt * 1000; }
void StoreDt(Session& s, double v) {
  if (v > 0) s.run.dt = v / 1000;
}

constexpr auto kStim = &Session::stim;
constexpr auto kRun = &Session::run;
constexpr auto kProg = &Session::prog;
using SG = StimulusGlobals;
using PG = ProgramGlobals;

const MainInput kMainInputs[] = {
    In<kStim, &SG::Iind>(kIindInput),
    In<kStim, &SG::t_Iind, 1000.0>(kt_IindInput),
    In<kRun, &RunGlobals::t_end, 1000.0>(kt_endInput),
    {kVhInput, &ShowVh, &StoreVh},
    In<kStim, &SG::uu, 1000.0>(kuuInput),
    In<kStim, &SG::ss>(kssInput),
    In<kProg, &PG::NoiseToSignal>(kNoiseToSignalInput),
    In<kProg, &PG::FC_freq>(kFC_freqInput),
    In<kProg, &PG::FC_dFdu>(kFC_dFduInput),
    In<kProg, &PG::tau_E, 1000.0>(ktau_EInput),
    In<kProg, &PG::tau_I, 1000.0>(ktau_IInput),
    In<kStim, &SG::tau_Noise, 1000.0>(ktau_NoiseInput),
    {kdtInput, &ShowDt, &StoreDt},
    In<kStim, &SG::Freq_Iind>(kFreq_IindInput),
    In<kProg, &PG::FC_I0, 1000.0>(kFC_I0Input),
    In<kStim, &SG::t_IindShift, 1000.0>(kt_IindShiftInput),
    In<kStim, &SG::gNMDA>(kgNMDAInput),
    In<kStim, &SG::s_soma>(ks_somaInput),
};

// ---- Finding controls -------------------------------------------------------

// Whether o belongs to the form itself rather than to another window (a task
// window, the parameter window) that is parented to it. Menus are windows of
// their own but belong to the form that holds them.
bool InForm(const QObject* o, const QObject* form) {
  for (const QObject* p = o->parent(); p != nullptr && p != form; p = p->parent()) {
    const auto* w = qobject_cast<const QWidget*>(p);
    if (w != nullptr && w->isWindow() && qobject_cast<const QMenu*>(w) == nullptr) return false;
  }
  return true;
}

// The controls of one window by object name (blanks around a name do not
// count), collected once for each transfer: the routines look up a hundred
// names in a window of several hundred objects.
class Controls {
 public:
  explicit Controls(QWidget* form) {
    if (form == nullptr) return;
    for (QObject* o : form->findChildren<QObject*>()) {
      if (!InForm(o, form)) continue;
      if (auto* a = qobject_cast<QAction*>(o)) actions_.append(a);
      if (auto* l = qobject_cast<QLabel*>(o)) labels_.append(l);
      const QString name = o->objectName().trimmed();
      if (!name.isEmpty()) byName_[name].append(o);
    }
  }

  // The objects carrying the program name, then those carrying the caption.
  QList<QObject*> Named(const Name& name) const {
    QList<QObject*> found;
    if (*name.program != '\0') found += byName_.value(QLatin1String(name.program));
    found += byName_.value(QString::fromUtf8(name.caption).trimmed());
    return found;
  }
  QList<QObject*> Named(const QString& name) const { return byName_.value(name); }

  const QList<QAction*>& actions() const { return actions_; }
  const QList<QLabel*>& labels() const { return labels_; }

 private:
  QHash<QString, QList<QObject*>> byName_;
  QList<QAction*> actions_;
  QList<QLabel*> labels_;
};

// Every menu item of that name, an item or a sub-menu: a main menu and a
// pop-up menu may hold twins.
QList<QAction*> Actions(const Controls& form, const Name& name) {
  QList<QAction*> found;
  for (QObject* o : form.Named(name)) {
    QAction* a = qobject_cast<QAction*>(o);
    if (auto* m = qobject_cast<QMenu*>(o)) a = m->menuAction();
    if (a != nullptr && !found.contains(a)) found.append(a);
  }
  return found;
}

template <class T>
T* Find(const Controls& form, const Name& name) {
  for (QObject* o : form.Named(name)) {
    if (auto* w = qobject_cast<T*>(o)) return w;
  }
  return nullptr;
}

template <class T>
T* Find(const Controls& form, const QString& name) {
  for (QObject* o : form.Named(name)) {
    if (auto* w = qobject_cast<T*>(o)) return w;
  }
  return nullptr;
}

// Whether an item carries its mark; nothing when the menu has no such item.
std::optional<bool> Marked(const Controls& form, const Name& name) {
  const QList<QAction*> actions = Actions(form, name);
  if (actions.isEmpty()) return std::nullopt;
  for (const QAction* a : actions) {
    if (a->isChecked()) return true;
  }
  return false;
}

void Mark(const QList<QAction*>& actions, bool on) {
  for (QAction* a : actions) {
    a->setCheckable(true);
    a->setChecked(on);
  }
}
void Mark(const Controls& form, const Name& name, bool on) { Mark(Actions(form, name), on); }

// The value an input reads as, rounded to the decimals it shows.
double Shown(const NumericInput* in) { return NumericInput::Parse(in->format(in->value())); }

NumericInput* Form4Input(const Controls& form4, int number) {
  return Find<NumericInput>(form4, InputName(number));
}

void Enable(QWidget* w, bool on) {
  if (w != nullptr) w->setEnabled(on);
}
void EnableForm4Input(const Controls& form4, int number, bool on) { Enable(Form4Input(form4, number), on); }

template <class T>
T* Form4Control(const Controls& form4, const char* name) {
  return Find<T>(form4, QLatin1String(name));
}

// The label shown with an input of the main window: one named by the input's
// caption, or one whose buddy is the input.
void ShowWithLabel(const Controls& form1, const Name& input, const Name& label, bool visible) {
  NumericInput* in = Find<NumericInput>(form1, input);
  if (in != nullptr) in->setVisible(visible);
  for (QObject* o : form1.Named(label)) {
    if (auto* l = qobject_cast<QLabel*>(o)) l->setVisible(visible);
  }
  if (in == nullptr) return;
  for (QLabel* l : form1.labels()) {
    if (l->buddy() == in) l->setVisible(visible);
  }
}

// A fixed parameter-file item: its file name ("AP.id") from a caption such as
// "'AP.id'", or an empty text when the item is not one.
QString FixedFileOf(const QAction* a) {
  QString text = a->text();
  text.replace(QLatin1String("&&"), QLatin1String("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  for (QString candidate : {a->objectName().trimmed(), text.trimmed()}) {
    if (candidate.size() > 2 && candidate.startsWith(QLatin1Char('\'')) &&
        candidate.endsWith(QLatin1Char('\''))) {
      candidate = candidate.mid(1, candidate.size() - 2);
    }
    if (candidate.endsWith(QLatin1String(".id")) && !candidate.contains(QLatin1Char(' '))) return candidate;
  }
  return {};
}

bool IsUnmarkedFile(const QString& file) {
  for (const char* f : kUnmarkedFiles) {
    if (file == QLatin1String(f)) return true;
  }
  return false;
}

void SelectText(QComboBox* list, const std::string& text) {
  if (list == nullptr) return;
  // A record text that no entry holds shows no entry, so that the window never
  // shows another model than the record's and the text survives the way back.
  list->setCurrentIndex(list->findText(QString::fromStdString(text), Qt::MatchExactly));
}

void ReadText(QComboBox* list, std::string& field) {
  if (list != nullptr && list->currentIndex() >= 0) field = list->currentText().toStdString();
}

void SetHeaderLabel(const Controls& form, const char* name, const QString& text) {
  for (QObject* o : form.Named(QLatin1String(name))) {
    if (auto* l = qobject_cast<QLabel*>(o)) l->setText(text);
  }
}

std::vector<Form1Control> BuildControlList() {
  std::vector<Form1Control> list;
  auto add = [&list](Form1Control::Kind kind, const Name& n) {
    list.push_back({kind, QLatin1String(n.program), QString::fromUtf8(n.caption)});
  };
  using K = Form1Control::Kind;
  for (const Name& n : kHHTypeItems) add(K::MenuItem, n);
  for (const Name& n : kHHOrderItems) add(K::MenuItem, n);
  add(K::MenuItem, kThrModelItem);
  add(K::MenuItem, kLIFModelItem);
  for (const BlockageItem& b : kBlockageItems) add(K::MenuItem, b.name);
  add(K::MenuItem, kWritingItem);
  for (int k = 1; k <= kMaxRecording; ++k) {
    list.push_back({K::MenuItem, QStringLiteral("Smpl%1").arg(k), QStringLiteral("Smpl=%1").arg(k)});
  }
  add(K::MenuItem, kCurrentClampMenu);
  add(K::MenuItem, kVoltageClampMenu);
  for (const Name& n : kClampModeItems) add(K::MenuItem, n);
  for (const Name& n : {kGLFixedItem, kTauFixedItem, kVLFixedItem, kVrestFixedItem}) add(K::MenuItem, n);
  add(K::MenuItem, kDefaultItem);
  for (const Name& n : kFixedFileItems) add(K::MenuItem, n);
  for (const MainInput& in : kMainInputs) add(K::Input, in.name);
  add(K::Input, kdu_ResetInput);
  add(K::Label, kIindLabel);
  add(K::Label, kVhLabel);
  add(K::List, kResetList);
  return list;
}

Name ToName(const Form1Control& c, QByteArray& program, QByteArray& caption) {
  program = c.programName.toUtf8();
  caption = c.caption.toUtf8();
  return {program.constData(), caption.constData()};
}

}  // namespace

std::span<const Form1Control> TransferForm1Controls() {
  static const std::vector<Form1Control> list = BuildControlList();
  return list;
}

bool HasForm1Control(QWidget* form, const Form1Control& control) {
  QByteArray program, caption;
  const Name name = ToName(control, program, caption);
  const Controls form1(form);
  switch (control.kind) {
    case Form1Control::Kind::MenuItem:
      return !Actions(form1, name).isEmpty();
    case Form1Control::Kind::Input:
      return Find<NumericInput>(form1, name) != nullptr;
    case Form1Control::Kind::Label:
      return Find<QLabel>(form1, name) != nullptr;
    case Form1Control::Kind::List:
      return Find<QComboBox>(form1, name) != nullptr;
  }
  return false;
}

void ControlsToParameters(Session& s, QWidget* mainWindow, QWidget* parameterWindow) {
  NeuronProperties& np = s.NP0;
  const Controls form1(mainWindow);
  const Controls form4(parameterWindow);

  // 1-2. Model family and geometry from the marked items; the last marked one wins.
  for (const Name& item : kHHTypeItems) {
    if (Marked(form1, item).value_or(false)) np.HH_type = item.caption;
  }
  for (const Name& item : kHHOrderItems) {
    if (Marked(form1, item).value_or(false)) np.HH_order = item.caption;
  }

  // 3. The kinetics lists.
  ReadText(Form4Control<QComboBox>(form4, "ComboBox1"), np.NaR_type);
  ReadText(Form4Control<QComboBox>(form4, "ComboBox2"), np.NaR_subtype);
  ReadText(Form4Control<QComboBox>(form4, "ComboBox3"), np.Na_type);
  ReadText(Form4Control<QComboBox>(form4, "ComboBox4"), np.Na_subtype);

  // 4. Model switches and blockages from their marks.
  if (auto m = Marked(form1, kThrModelItem)) np.ThrModel = *m ? 1 : 0;
  if (auto m = Marked(form1, kLIFModelItem)) np.LIF_model = *m ? 1 : 0;
  for (const BlockageItem& b : kBlockageItems) {
    if (auto m = Marked(form1, b.name)) np.*b.flag = *m ? 1 : 0;
  }

  // 5. The main window's inputs; Vh is taken against the rest before this
  // window's Vrest is read.
  for (const MainInput& in : kMainInputs) {
    if (NumericInput* w = Find<NumericInput>(form1, in.name)) in.store(s, Shown(w));
  }

  // 6. This window's inputs by ascending number: its time step overrides the
  // main window's, and the adaptation is divided by the area just read.
  for (const ParameterInputEntry* entry : ParameterInputsByNumber()) {
    if (entry->store == nullptr || IsNoiseInput(entry->number)) continue;
    if (NumericInput* w = Form4Input(form4, entry->number)) entry->store(s, Shown(w));
  }

  // 7. The cadences go the other way, from the globals to their inputs.
  if (auto* w = Form4Control<NumericInput>(form4, "SpinEdit1")) w->setValue(s.run.n_Draw);
  if (auto* w = Form4Control<NumericInput>(form4, "SpinEdit2")) w->setValue(s.run.n_Write);

  // 8.
  if (auto* box = Form4Control<QCheckBox>(form4, "CheckBox4"))
    np.EIF_SpikeDependent = box->isChecked() ? 1 : 0;
  if (auto m = Marked(form1, kWritingItem)) s.run.Writing = *m ? 1 : 0;
}

void CorrespondParametersToTheForm(Session& s, QWidget* mainWindow, QWidget* parameterWindow) {
  NeuronProperties& np = s.NP0;
  const Controls form1(mainWindow);
  const Controls form4(parameterWindow);
  auto* window = qobject_cast<ParameterWindow*>(parameterWindow);
  std::optional<ParameterWindow::ProgramDisplay> display;
  if (window != nullptr) display.emplace(window);

  // 1. Marks of the model family, the geometry and the model switches.
  for (const Name& item : kHHTypeItems) Mark(form1, item, np.HH_type == item.caption);
  for (const Name& item : kHHOrderItems) Mark(form1, item, np.HH_order == item.caption);
  Mark(form1, kThrModelItem, np.ThrModel == 1);
  Mark(form1, kLIFModelItem, np.LIF_model == 1);

  // 2. The lists, and which of them can be chosen.
  auto* naRTypes = Form4Control<QComboBox>(form4, "ComboBox1");
  auto* naRSubtypes = Form4Control<QComboBox>(form4, "ComboBox2");
  auto* naTypes = Form4Control<QComboBox>(form4, "ComboBox3");
  auto* naSubtypes = Form4Control<QComboBox>(form4, "ComboBox4");
  auto* thresholdRules = Form4Control<QComboBox>(form4, "ComboBox5");
  SelectText(naRTypes, np.NaR_type);
  SelectText(naRSubtypes, np.NaR_subtype);
  SelectText(naTypes, np.Na_type);
  SelectText(naSubtypes, np.Na_subtype);
  // The threshold rule in use is shown as well; a rule the list does not hold
  // leaves the list as it is.
  if (thresholdRules != nullptr) {
    const int i = thresholdRules->findText(QString::fromStdString(np.Thr_type), Qt::MatchExactly);
    if (i >= 0) thresholdRules->setCurrentIndex(i);
  }
  Enable(naRSubtypes, np.NaR_type == "Milescu" || np.NaR_type == "Lyle");
  Enable(naSubtypes, np.Na_type == "Milescu" || np.Na_type == "Lyle");

  // 3. Blockage marks.
  for (const BlockageItem& b : kBlockageItems) Mark(form1, b.name, np.*b.flag == 1);

  // 4. Inputs of blocked currents cannot be edited ("White2" keeps its gNa).
  EnableForm4Input(form4, input::kgNaR, np.IfBlockNaR == 0);
  EnableForm4Input(form4, input::kgNa, np.IfBlockNa == 0 || np.HH_type == "White2");
  EnableForm4Input(form4, input::kgK, np.IfBlockK == 0);
  EnableForm4Input(form4, input::kgKM, np.IfBlockKM == 0);
  EnableForm4Input(form4, input::kgKA, np.IfBlockKA == 0);
  EnableForm4Input(form4, input::kgL, np.IfBlockPass == 0);
  EnableForm4Input(form4, input::ktau_m, np.IfBlockPass == 0);
  EnableForm4Input(form4, input::kgLd, np.HH_order == "2-p-MainenSejn");

  // 5. Samples, in the "Samples" menu and the run button's pop-up menu alike.
  for (int k = 1; k <= kMaxRecording; ++k) {
    const QByteArray program = QStringLiteral("Smpl%1").arg(k).toLatin1();
    const QByteArray caption = QStringLiteral("Smpl=%1").arg(k).toLatin1();
    const QList<QAction*> items = Actions(form1, Name{program.constData(), caption.constData()});
    Mark(items, s.rec.Smpl == k);
    for (QAction* a : items) a->setEnabled(s.rec.NSmpls >= k);
  }

  // 6. Clamp mode: its menu and item, and the stimulus input that goes with it.
  const int mode = np.If_I_V_or_g;
  const bool currentClamp = mode == 2 || mode == 6 || mode == 7;
  const bool voltageClamp = mode == 1 || mode == 3 || mode == 4 || mode == 5;
  if (currentClamp || voltageClamp) {
    Mark(form1, kCurrentClampMenu, currentClamp);
    Mark(form1, kVoltageClampMenu, voltageClamp);
    for (int m = 1; m <= static_cast<int>(std::size(kClampModeItems)); ++m) {
      if (m == mode) {
        Mark(form1, kClampModeItems[m - 1], true);
      } else if (m != kIindIsVexpMode) {
        Mark(form1, kClampModeItems[m - 1], false);
      }
    }
    ShowWithLabel(form1, kIindInput, kIindLabel, currentClamp);
    ShowWithLabel(form1, kVhInput, kVhLabel, voltageClamp);
  }

  // 7. Which of gL and tau_m, and of VL and Vrest, is given.
  const bool tauFixed = np.IfSet_gL_or_tau == 2;
  Mark(form1, kTauFixedItem, tauFixed);
  Mark(form1, kGLFixedItem, !tauFixed);
  EnableForm4Input(form4, input::kgL, !tauFixed);
  EnableForm4Input(form4, input::ktau_m, tauFixed);
  const bool vrestFixed = np.IfSet_VL_or_Vrest == 2;
  Mark(form1, kVrestFixedItem, vrestFixed);
  Mark(form1, kVLFixedItem, !vrestFixed);
  EnableForm4Input(form4, input::kVL, !vrestFixed);
  EnableForm4Input(form4, input::kVrest, vrestFixed);

  // 8. Inputs that only mean something for a geometry, a reset or a rule.
  EnableForm4Input(form4, input::kro, np.HH_order != "1-point");
  if (auto* resetList = Find<QComboBox>(form1, kResetList)) {
    const int i = resetList->currentIndex();
    Enable(Find<NumericInput>(form1, kdu_ResetInput), i == 2 || i == 3 || i == 4);
  }
  if (thresholdRules != nullptr) {
    const int rule = thresholdRules->currentIndex();
    EnableForm4Input(form4, input::kk_a, rule == 1);
    EnableForm4Input(form4, input::kdVTdV, rule == 1);
    EnableForm4Input(form4, input::kDepBlock, rule == 2);
  }
  // The ion-dynamics switches and choices live in the session's ion inputs;
  // the boxes and groups show them (a change from here draws nothing).
  const IonInputs& ions = s.ionInputs;
  if (auto* box = Form4Control<QCheckBox>(form4, "CheckBox2")) box->setChecked(ions.IonDynamics == 1);
  if (auto* box = Form4Control<QCheckBox>(form4, "CheckBox5")) box->setChecked(ions.IfVolume == 1);
  if (auto* group = Form4Control<RadioGroup>(form4, "RadioGroup2")) group->setItemIndex(ions.PumpType);
  if (auto* group = Form4Control<RadioGroup>(form4, "RadioGroup3")) group->setItemIndex(ions.KCC2Type);
  if (auto* group = Form4Control<RadioGroup>(form4, "RadioGroup4")) group->setItemIndex(ions.VL_Item);
  if (auto* pumpTypes = Form4Control<RadioGroup>(form4, "RadioGroup2")) {
    EnableForm4Input(form4, input::kdV1, pumpTypes->itemIndex() == 3);
    EnableForm4Input(form4, input::kdV2, pumpTypes->itemIndex() == 3);
  }

  // 9. Values: the main window's inputs, then this window's by ascending number.
  for (const MainInput& in : kMainInputs) {
    if (NumericInput* w = Find<NumericInput>(form1, in.name)) w->setValue(in.show(s));
  }
  for (const ParameterInputEntry* entry : ParameterInputsByNumber()) {
    if (entry->show == nullptr || IsNoiseInput(entry->number)) continue;
    if (NumericInput* w = Form4Input(form4, entry->number)) w->setValue(entry->show(s));
  }
  if (auto* w = Form4Control<NumericInput>(form4, "SpinEdit1")) w->setValue(s.run.n_Draw);
  if (auto* w = Form4Control<NumericInput>(form4, "SpinEdit2")) w->setValue(s.run.n_Write);
  if (auto* box = Form4Control<QCheckBox>(form4, "CheckBox4")) box->setChecked(np.EIF_SpikeDependent == 1);
  // The slow-inactivation switches are shown as well, so that the boxes never
  // contradict the record.
  if (auto* box = Form4Control<QCheckBox>(form4, "CheckBox1"))
    box->setChecked(np.If_Slow_Na_inactivation == 1);
  if (auto* box = Form4Control<QCheckBox>(form4, "CheckBox3"))
    box->setChecked(np.If_Slow_NaR_inactivation == 1);

  // 10. Labels.
  if (window != nullptr) window->UpdateLabels();
  const QString hhType = QStringLiteral("HH_type=\"%1\"").arg(QString::fromStdString(np.HH_type));
  const QString hhOrder = QStringLiteral("\"%1\"").arg(QString::fromStdString(np.HH_order));
  for (const Controls* form : {&form4, &form1}) {
    SetHeaderLabel(*form, "StaticText28", hhType);
    SetHeaderLabel(*form, "StaticText65", hhOrder);
  }

  // 11. The parameter file in use, among the File menu's fixed files.
  Mark(form1, kDefaultItem, s.rec.IdFileName.empty());
  const QString inUse = QFileInfo(QString::fromStdString(s.rec.IdFileName)).fileName();
  for (QAction* a : form1.actions()) {
    const QString file = FixedFileOf(a);
    if (file.isEmpty() || IsUnmarkedFile(file)) continue;
    Mark({a}, !s.rec.IdFileName.empty() && file == inUse);
  }

  // The channels the model takes in from NeuroML files.
  if (window != nullptr) window->ShowImportedChannels();
  display.reset();
  // 12.
  QCoreApplication::processEvents();
}

}  // namespace membrix
