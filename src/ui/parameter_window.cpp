#include "ui/parameter_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <cmath>
#include <exception>
#include <numbers>

#include "common/error.h"
#include "common/number_format.h"
#include "neuron/lif_neuron.h"
#include "neuron/neuron.h"
#include "params/model_defaults.h"
#include "run/run_globals.h"
#include "run/session.h"
#include "ui/numeric_input.h"
#include "ui/parameter_transfer.h"
#include "ui/parameter_window_inputs.h"

namespace membrix {

namespace {

// The value an input reads as, rounded to the decimals it shows.
double Shown(const NumericInput* in) { return NumericInput::Parse(in->format(in->value())); }

QString FixedText(double x, int width, int decimals) {
  return QString::fromStdString(Fixed(x, width, decimals));
}

// The resurgent-Na coefficients that the defaults give the record's NaR_type.
// They are the closing item of the defaults, which reads only the NaR type and
// the transient Na kinetics; computing them on a copy whose family names no
// values of its own leaves everything else of the record as it was.
void ApplyResurgentNaDefaults(NeuronProperties& np) {
  NeuronProperties d = np;
  d.HH_type.clear();
  double vus = 0.0;
  SetDefaults(d, vus);
  np.a1NaR = d.a1NaR, np.a2NaR = d.a2NaR, np.a3NaR = d.a3NaR, np.a4NaR = d.a4NaR;
  np.b1NaR = d.b1NaR, np.b2NaR = d.b2NaR, np.b3NaR = d.b3NaR, np.b4NaR = d.b4NaR;
  np.c1NaR = d.c1NaR, np.c2NaR = d.c2NaR, np.c3NaR = d.c3NaR, np.c4NaR = d.c4NaR;
  np.d1NaR = d.d1NaR, np.d2NaR = d.d2NaR, np.d3NaR = d.d3NaR, np.d4NaR = d.d4NaR;
  np.Tr_NaR = d.Tr_NaR;
  np.VNaR = d.VNaR;
}

QWidget* TopLevelWindow(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == QLatin1String(name)) return w;
  }
  return nullptr;
}

}  // namespace

ParameterWindow::ProgramDisplay::ProgramDisplay(ParameterWindow* window) : window_(window) {
  ++window_->displayDepth_;
}
ParameterWindow::ProgramDisplay::~ProgramDisplay() { --window_->displayDepth_; }

NumericInput* ParameterWindow::input(int number) const { return findChild<NumericInput*>(InputName(number)); }

void ParameterWindow::Correspond() { CorrespondParametersToTheForm(session_, form1_, this); }

void ParameterWindow::Report(const QString& message) {
  if (reportError_) reportError_(message);
}

void ParameterWindow::OnInputChanged(const ParameterInputEntry& entry, NumericInput* in) {
  NeuronProperties& np = session_.NP0;
  const double oldTemp = np.Temp;
  if (entry.store != nullptr) entry.store(session_, Shown(in));

  const bool byUser = !showingProgramValues();
  switch (entry.number) {
    case input::kdt:
      session_.run.nt_end = StepCount(session_.run.t_end, session_.run.dt);
      break;
    case input::kTemp:
      // Typed key by key, the field follows; the leak is rescaled once the
      // edit ends (OnTemperatureCommitted).
      if (byUser && !temperatureEdited_) {
        temperatureEdited_ = true;
        temperatureBeforeEdit_ = oldTemp;
      } else if (!byUser) {
        temperatureEdited_ = false;
      }
      break;
    case input::kG1:
      if (byUser) OnG1Changed();
      break;
    case input::kEIF_VT:
      if (byUser) OnEIF_VTChanged();
      break;
    case input::ktauCa:
    case input::kCa0:
      if (byUser) ControlsToParameters(session_, form1_, this);
      break;
    case input::kdVAHP:
      if (byUser) {
        ControlsToParameters(session_, form1_, this);
        np.VAHP = np.VK + np.dVAHP;
      }
      break;
    default:
      break;
  }
  if (entry.conductance || entry.number == input::kSquare || entry.number == input::kCm) UpdateLabels();
}

void ParameterWindow::OnTemperatureCommitted() {
  if (!temperatureEdited_) return;
  temperatureEdited_ = false;
  OnTemperatureChanged(temperatureBeforeEdit_);
}

// The leak follows the temperature with a Q10 of 2.3; the new gL goes through
// its input, rounded as it is shown.
void ParameterWindow::OnTemperatureChanged(double oldTemp) {
  NumericInput* gL = input(input::kgL);
  if (gL == nullptr) return;
  const double factor = std::pow(2.3, (session_.NP0.Temp - oldTemp) / 10.0);
  gL->setValue(gL->value() * factor);
}

// The pipette is in the circuit only with a conductance: without one,
// "VC with pipette" clamps at the recording instead, and back.
void ParameterWindow::OnG1Changed() {
  std::int32_t& mode = session_.NP0.If_I_V_or_g;
  const double G1 = session_.stim.Pipette.G1;
  if (G1 == 0.0 && mode == 4) {
    mode = 5;
  } else if (G1 != 0.0 && mode == 5) {
    mode = 4;
  }
}

// A threshold voltage switches the exponential on with its usual slope and
// a fixed threshold far above it; none switches the fixed threshold off.
void ParameterWindow::OnEIF_VTChanged() {
  NeuronProperties& np = session_.NP0;
  if (np.EIF_VT != 0.0) {
    np.FixThr = 0.08;
    np.EIF_deltaT = 0.002;
  } else {
    np.FixThr = 0.0;
  }
  if (NumericInput* w = input(input::kFixThr)) w->setValue(np.FixThr * 1000.0);
  if (NumericInput* w = input(input::kDeltaT)) w->setValue(np.EIF_deltaT * 1000.0);
}

// A choice in one of the four kinetics lists.
void ParameterWindow::OnListChosen(int list, const QString& text) {
  NeuronProperties& np = session_.NP0;
  const std::string chosen = text.toStdString();
  switch (list) {
    case 1:
      np.NaR_type = chosen;
      if (chosen == "Milescu") np.NaR_subtype = "Milescu-26";
      if (chosen == "Lyle") np.NaR_subtype = "Lyle-4";
      break;
    case 2:
      np.NaR_subtype = chosen;
      ApplyResurgentNaDefaults(np);
      break;
    case 3:
      np.Na_type = chosen;
      if (chosen == "Milescu") np.Na_subtype = "Milescu-26";
      if (chosen == "Lyle") np.Na_subtype = "Lyle-4";
      break;
    case 4:
      np.Na_subtype = chosen;
      break;
    default:
      return;
  }
  Correspond();
}

void ParameterWindow::OnThresholdRuleChosen(int index) {
  ApplyThresholdRuleEnabling(index);
  if (index >= 0) session_.NP0.Thr_type = thresholdRules_->itemText(index).toStdString();
}

// The slope inputs belong to the "Brette thr.-7" rule, the block level to "Dyn. thr.-2".
void ParameterWindow::ApplyThresholdRuleEnabling(int index) {
  for (int n : {input::kk_a, input::kdVTdV}) {
    if (NumericInput* w = input(n)) w->setEnabled(index == 1);
  }
  if (NumericInput* w = input(input::kDepBlock)) w->setEnabled(index == 2);
}

bool ParameterWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == thresholdRules_ && event->type() == QEvent::MouseButtonDblClick) {
    thresholdRules_->hidePopup();
    thresholdRules_->setCurrentIndex(3);  // "Dyn. thr.-8"
    OnThresholdRuleChosen(3);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

// A neuron is built from the record and brought to rest, and what it derived
// there (gL from tau_m, VL from Vrest, ...) becomes the record.
void ParameterWindow::OnRefresh() {
  try {
    std::unique_ptr<TNeuron> neuron = CreateNeuron(session_.NP0, session_.View());
    neuron->InitState();
    session_.NP0 = neuron->NP;
  } catch (const std::exception& e) {
    Report(QString::fromUtf8(e.what()));
  }
  Correspond();
}

void ParameterWindow::OnDetails() {
  for (const char* name : {"SimplifiedModels", "Na-channel properties"}) {
    if (auto* group = findChild<QGroupBox*>(QLatin1String(name))) group->setVisible(group->isHidden());
  }
  FitToContents();
  emit helpRequested(QStringLiteral("Parameters"));
}

void ParameterWindow::OnPreset(bool badel) {
  NeuronProperties np = session_.NP0;
  try {
    if (badel) {
      SetBadelDefaults(np);
    } else {
      SetBretteDefaults(np);
    }
  } catch (const Error& e) {
    Report(QString::fromUtf8(e.what()));
    return;
  }
  session_.NP0 = np;

  // The preset's values are shown as they are: the threshold voltage does not
  // reset the slope the preset chose.
  ProgramDisplay display(this);
  auto show = [this](int number) {
    const ParameterInputEntry* entry = FindParameterInput(number);
    if (NumericInput* w = input(number)) w->setValue(entry->show(session_));
  };
  if (badel) {
    for (int n : {input::kSquare, input::kVrest, input::ktau_m}) show(n);
  }
  for (int n :
       {input::kFixThr, input::kDeltaT, input::kEIF_tauw, input::kEIF_a, input::kEIF_dw, input::kEIF_VT}) {
    show(n);
  }
  if (auto* box = findChild<QCheckBox*>(QStringLiteral("CheckBox4")))
    box->setChecked(np.EIF_SpikeDependent == 1);
  UpdateLabels();
}

void ParameterWindow::OnPumpCharacteristics() {
  if (showingProgramValues()) return;  // a pump type shown by the program draws nothing
  if (auto* box = findChild<QCheckBox*>(QStringLiteral("CheckBox2"))) box->setChecked(true);
  emit pumpCharacteristicsRequested();
  Correspond();
}

void ParameterWindow::ShowIonWindow(bool visible) {
  if (QWidget* ions = TopLevelWindow("Form19")) ions->setVisible(visible);
}

void ParameterWindow::UpdateLabels() {
  const NeuronProperties& np = session_.NP0;
  for (const ParameterInputEntry& entry : ParameterInputs()) {
    if (!entry.conductance) continue;
    auto* label = findChild<QLabel*>(QStringLiteral("Label") + InputName(entry.number));
    if (label == nullptr) continue;
    // The caption keeps its first 35 characters, so the number never piles up.
    label->setText(label->text().left(35) + FixedText(entry.show(session_) * np.Square * 1e6, 7, 2));
  }
  if (auto* label = findChild<QLabel*>(QStringLiteral("Label") + InputName(input::kCm))) {
    label->setText(QStringLiteral(" Cm, muF/cm^2").leftJustified(36) +
                   FixedText(np.Cm * np.Square * 1e9, 7, 2) + QStringLiteral(" pF"));
  }
  if (NumericInput* area = input(input::kSquare)) {
    const double radius = std::sqrt(std::max(np.Square, 0.0) * 1e8 / (4.0 * std::numbers::pi));
    area->setToolTip(QStringLiteral("Radius of sphere (in mum) =") + FixedText(radius, 7, 2));
  }
}

// "Screen": 0 "1366x768" puts the pages beside the top area, 1 "1920x1200"
// below it; the message, fiber, f-I and ion windows move to the heights that
// go with the arrangement.
void ParameterWindow::OnScreenChosen(int item) {
  if (item != 0 && item != 1) return;
  LayOutPages(item);
  FitToContents();
  struct WindowTop {
    const char* name;
    int top[2];
  };
  constexpr WindowTop kTops[] = {
      {"Form11", {530, 730}}, {"Form12", {29, 269}}, {"Form5", {241, 741}}, {"Form19", {341, 841}}};
  for (const WindowTop& w : kTops) {
    if (QWidget* window = TopLevelWindow(w.name)) window->move(window->x(), w.top[item]);
  }
}

}  // namespace membrix
