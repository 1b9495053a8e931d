// The controls of the parameter window: the top area, the five pages and the
// strip above them, each widget carrying the program's name as its object name.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "run/session.h"
#include "ui/input_units.h"
#include "ui/numeric_input.h"
#include "ui/parameter_window.h"
#include "ui/parameter_window_inputs.h"

namespace membrix {

namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QFont LabelFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

// A caption drawn in a fixed-pitch font with the input laid over the blanks
// between character columns `from` and `to`, as the top area shows its rows:
// " gNa  [  120.00]  x S =  3276.00".
QWidget* OverlayRow(QLabel* label, NumericInput* in, int from, int to, int columns) {
  auto* row = new QWidget;
  const QFontMetrics metrics(label->font());
  const int cw = metrics.horizontalAdvance(QLatin1Char('0'));
  const int h = std::max(in->sizeHint().height(), metrics.height());
  label->setParent(row);
  in->setParent(row);
  in->setMaximumWidth(QWIDGETSIZE_MAX);
  label->setGeometry(0, 0, columns * cw + 2, h);
  in->setGeometry(from * cw, 0, (to - from) * cw, h);
  in->raise();
  row->setFixedSize(columns * cw + 2, h);
  return row;
}

constexpr int kOverlayColumns = 48;

QPushButton* Button(const char* caption, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromUtf8(caption));
  return b;
}

QCheckBox* CheckBox(const char* name, const char* caption, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setObjectName(QLatin1String(name));
  return box;
}

QComboBox* List(const char* name, const QStringList& items, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QLatin1String(name));
  list->addItems(items);
  return list;
}

}  // namespace

// ---- RadioGroup --------------------------------------------------------------

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent,
                       Qt::Orientation orientation)
    : QGroupBox(title, parent), buttons_(new QButtonGroup(this)) {
  QBoxLayout* layout = orientation == Qt::Vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(this))
                                                   : static_cast<QBoxLayout*>(new QHBoxLayout(this));
  layout->setSpacing(2);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    buttons_->addButton(button, i);
    layout->addWidget(button);
  }
  connect(buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) emit itemIndexChanged(id);
  });
}

int RadioGroup::itemIndex() const { return buttons_->checkedId(); }

int RadioGroup::count() const { return static_cast<int>(buttons_->buttons().size()); }

void RadioGroup::setItemIndex(int index) {
  if (index == itemIndex()) return;
  if (QAbstractButton* button = buttons_->button(index)) {
    button->setChecked(true);
    return;
  }
  // No item: an exclusive group can only be emptied with its exclusivity off.
  buttons_->setExclusive(false);
  if (QAbstractButton* checked = buttons_->checkedButton()) checked->setChecked(false);
  buttons_->setExclusive(true);
}

// ---- ParameterWindow -----------------------------------------------------------

ParameterWindow::ParameterWindow(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session) {
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(QStringLiteral("Form4: Parameters"));
  reportError_ = [this](const QString& message) { QMessageBox::warning(this, windowTitle(), message); };

  // Everything sits in a scroll area, so that the window can be made smaller
  // than its contents on a small screen and still reaches every input.
  content_ = new QWidget;
  content_->setObjectName(QStringLiteral("Contents"));
  layout_ = new QGridLayout(content_);
  layout_->setSizeConstraint(QLayout::SetMinAndMaxSize);
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("ScrollArea"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidget(content_);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(scroll);

  // The strip above: model family and geometry, the screen arrangement, "Refresh".
  auto* strip = new QHBoxLayout;
  auto* family = new QLabel(this);
  family->setObjectName(QStringLiteral("StaticText28"));
  auto* geometry = new QLabel(this);
  geometry->setObjectName(QStringLiteral("StaticText65"));
  for (QLabel* l : {family, geometry}) {
    QFont bold = l->font();
    bold.setBold(true);
    l->setFont(bold);
    strip->addWidget(l);
  }
  strip->addStretch(1);
  auto* screen =
      new RadioGroup(QStringLiteral("Screen"), {QStringLiteral("1366x768"), QStringLiteral("1920x1200")},
                     this, Qt::Horizontal);
  screen->setObjectName(QStringLiteral("RadioGroup1"));
  screen->setItemIndex(1);
  strip->addWidget(screen);
  QPushButton* refresh = Button("Refresh", this);
  refresh->setToolTip(QStringLiteral("Run CorrespondParametersToTheForm;"));
  strip->addWidget(refresh);
  layout_->addLayout(strip, 0, 0, 1, 2);

  layout_->addWidget(BuildTopArea(), 1, 0, Qt::AlignTop | Qt::AlignLeft);
  topLayout_->addWidget(conductances_, 0, 0);

  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("PageControl1"));
  pages_->addTab(BuildNaChannelsPage(), QStringLiteral("Na-channels"));
  pages_->addTab(BuildSimpleModelsPage(), QStringLiteral("Simple models"));
  pages_->addTab(BuildOtherPage(), QStringLiteral("Other"));
  pages_->addTab(BuildIonsPage(), QStringLiteral("Ions"));
  pages_->addTab(BuildPumpPage(), QStringLiteral("NaK-pump"));
  pages_->addTab(BuildChannelsPage(), QStringLiteral("NeuroML channels"));
  LayOutPages(1);

  connect(refresh, &QPushButton::clicked, this, &ParameterWindow::OnRefresh);
  connect(screen, &RadioGroup::itemIndexChanged, this, &ParameterWindow::OnScreenChosen);
  FitToContents();
}

// The window takes the size of its contents, as far as the screen has room;
// beyond that the scroll bars reach the rest.
void ParameterWindow::FitToContents() {
  layout_->activate();
  content_->adjustSize();
  QSize want = content_->size() + QSize(2, 2);
  if (const QScreen* screen = this->screen()) {
    // Room for the frame and title bar the window manager adds.
    const QSize room = screen->availableGeometry().size() - QSize(16, 40);
    if (want.width() > room.width()) want.rwidth() = room.width(), want.rheight() += 20;
    if (want.height() > room.height()) want.rheight() = room.height(), want.rwidth() += 20;
    want = want.boundedTo(room);
  }
  resize(want);
}

// Beside the pages the top area is one column, below them two.
void ParameterWindow::LayOutPages(int item) {
  layout_->removeWidget(pages_);
  topLayout_->removeWidget(membrane_);
  if (item == 0) {
    topLayout_->addWidget(membrane_, 1, 0);
    layout_->addWidget(pages_, 1, 1, Qt::AlignTop | Qt::AlignLeft);
  } else {
    topLayout_->addWidget(membrane_, 0, 1);
    layout_->addWidget(pages_, 2, 0, 1, 2, Qt::AlignTop | Qt::AlignLeft);
  }
}

NumericInput* ParameterWindow::MakeInput(const ParameterInputEntry& entry, QWidget* parent) {
  auto* in = new NumericInput(parent, entry.decimals);
  in->setObjectName(InputName(entry.number));
  in->setDoubleClickValue(entry.resetOnDoubleClick ? std::optional<double>(0.0) : std::nullopt);
  if (!entry.hint.empty()) in->setToolTip(Text(entry.hint));
  in->setMaximumWidth(96);
  in->setUnit(ParameterInputUnit(entry.number));
  // An input without a field, or with a designed starting value (the ion
  // pages), starts at that value; the others show nothing of the record until
  // the program shows it.
  if (entry.show == nullptr || entry.initial != 0.0) in->setValue(entry.initial);
  connect(in, &NumericInput::valueChanged, this, [this, &entry, in] { OnInputChanged(entry, in); });
  if (entry.number == input::kTemp) connect(in, &NumericInput::valueCommitted, this, [this] { OnTemperatureCommitted(); });
  // A reset writes 0 into the field even when the input already showed 0.
  if (entry.resetOnDoubleClick && entry.store != nullptr) {
    connect(in, &NumericInput::doubleClicked, this, [this, &entry] {
      entry.store(session_, 0.0);
      UpdateLabels();
    });
  }
  return in;
}

// A group box holding, one per row, the inputs of the table that name it.
QGroupBox* ParameterWindow::MakeGroup(int page, const char* title, QWidget* parent) {
  auto* group = new QGroupBox(QString::fromUtf8(title), parent);
  group->setObjectName(QString::fromUtf8(title));
  auto* form = new QFormLayout(group);
  form->setVerticalSpacing(3);
  for (const ParameterInputEntry& entry : ParameterInputs()) {
    if (static_cast<int>(entry.page) != page || entry.group != title) continue;
    form->addRow(Text(entry.label), MakeInput(entry, group));
  }
  return group;
}

QWidget* ParameterWindow::BuildTopArea() {
  auto* area = new QWidget(this);
  area->setObjectName(QStringLiteral("TopArea"));
  topLayout_ = new QGridLayout(area);
  topLayout_->setContentsMargins(0, 0, 0, 0);
  topLayout_->setHorizontalSpacing(16);
  conductances_ = new QWidget(area);
  membrane_ = new QWidget(area);
  auto* conductanceRows = new QVBoxLayout(conductances_);
  auto* membraneRows = new QVBoxLayout(membrane_);
  for (QVBoxLayout* rows : {conductanceRows, membraneRows}) {
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
  }
  for (const ParameterInputEntry& entry : ParameterInputs()) {
    if (entry.page != InputPage::Top) continue;
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("Label") + InputName(entry.number));
    label->setFont(LabelFont());
    NumericInput* in = MakeInput(entry, area);
    if (entry.conductance) {
      // " gNa", the input, "x S =" inside the first 35 characters, then room
      // for the cell's total conductance in nS.
      label->setText((QStringLiteral(" ") + Text(entry.label)).leftJustified(29) +
                     QStringLiteral("x S =").leftJustified(14));
      conductanceRows->addWidget(OverlayRow(label, in, 6, 28, kOverlayColumns));
    } else {
      label->setText(Text(entry.label));
      membraneRows->addWidget(OverlayRow(label, in, 23, 35, kOverlayColumns));
    }
    label->setBuddy(in);
  }
  conductanceRows->addStretch(1);
  membraneRows->addStretch(1);
  UpdateLabels();
  return area;
}

QWidget* ParameterWindow::BuildNaChannelsPage() {
  constexpr int kPage = static_cast<int>(InputPage::NaChannels);
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* group = new QGroupBox(QStringLiteral("Na-channel properties"), page);
  group->setObjectName(QStringLiteral("Na-channel properties"));
  auto* grid = new QGridLayout(group);
  grid->setVerticalSpacing(3);
  // The coefficients in pairs (a2 a3, b2 b3, ...), then the single inputs.
  int row = 0, column = 0;
  for (const ParameterInputEntry& entry : ParameterInputs()) {
    if (static_cast<int>(entry.page) != kPage) continue;
    const bool pair = entry.label.size() == 2;
    if (!pair && column != 0) ++row, column = 0;
    if (pair) {
      grid->addWidget(new QLabel(Text(entry.label), group), row, 2 * column);
      grid->addWidget(MakeInput(entry, group), row, 2 * column + 1);
    } else {
      // A single input sits under the second of a pair, its label across the row.
      grid->addWidget(new QLabel(Text(entry.label), group), row, 0, 1, 3);
      grid->addWidget(MakeInput(entry, group), row, 3);
    }
    if (pair && column == 0) {
      column = 1;
    } else {
      ++row, column = 0;
    }
  }

  struct ListEntry {
    const char* name;
    const char* caption;
    QStringList items;
  };
  const ListEntry lists[] = {
      {"ComboBox1",
       "NaR_type",
       {"Cummins", "Rariza", "Migliore", "Lyle", "Milescu", "Chow", "Shu", "Bazhenov"}},
      {"ComboBox2", "NaR_subtype", {"Milescu-26", "Milescu-13", "Carter-12", "Lyle-4", "Lyle-3"}},
      {"ComboBox3",
       "Na_type",
       {"Cummins", "Rariza", "Migliore", "Lyle", "LyleMS", "Milescu", "Chow", "Shu", "Naundorf", "White",
        "White2", "Fleid", "Bazhenov"}},
      {"ComboBox4",
       "Na_subtype",
       {"Milescu-26", "Milescu-13", "Carter-12", "Lyle-4", "Lyle-3", "Lyle-VT(h)"}},
  };
  int listRow = 0;
  grid->setColumnMinimumWidth(4, 16);
  for (int i = 0; i < 4; ++i) {
    QComboBox* list = List(lists[i].name, lists[i].items, group);
    list->setCurrentIndex(-1);
    grid->addWidget(new QLabel(QString::fromUtf8(lists[i].caption), group), listRow, 5);
    grid->addWidget(list, listRow++, 6);
    // A choice by the user; a selection the program shows runs nothing.
    connect(list, &QComboBox::textActivated, this,
            [this, i](const QString& text) { OnListChosen(i + 1, text); });
  }
  QCheckBox* slowNa = CheckBox("CheckBox1", "If_Slow_Na_inactivation", group);
  QCheckBox* slowNaR = CheckBox("CheckBox3", "If_Slow_NaR_inactivation", group);
  grid->addWidget(slowNa, listRow++, 5, 1, 2);
  grid->addWidget(slowNaR, listRow++, 5, 1, 2);
  connect(slowNa, &QCheckBox::toggled, this,
          [this](bool on) { session_.NP0.If_Slow_Na_inactivation = on ? 1 : 0; });
  connect(slowNaR, &QCheckBox::toggled, this,
          [this](bool on) { session_.NP0.If_Slow_NaR_inactivation = on ? 1 : 0; });
  layout->addWidget(group);

  QPushButton* details = Button("Details", page);
  connect(details, &QPushButton::clicked, this, &ParameterWindow::OnDetails);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(details);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addStretch(1);
  return page;
}

QWidget* ParameterWindow::BuildSimpleModelsPage() {
  constexpr int kPage = static_cast<int>(InputPage::SimpleModels);
  auto* page = new QWidget;
  auto* layout = new QHBoxLayout(page);
  layout->addWidget(MakeGroup(kPage, "SimplifiedModels", page), 0, Qt::AlignTop);

  QGroupBox* threshold = MakeGroup(kPage, "Threshold", page);
  thresholdRules_ =
      List("ComboBox5", {"Default-2", "Brette thr.-7", "Dyn. thr.-2", "Dyn. thr.-8"}, threshold);
  thresholdRules_->setToolTip(QStringLiteral("Double click: \"Dyn. thr.-8\""));
  static_cast<QFormLayout*>(threshold->layout())->insertRow(0, thresholdRules_);
  thresholdRules_->installEventFilter(this);
  connect(thresholdRules_, &QComboBox::activated, this, &ParameterWindow::OnThresholdRuleChosen);
  ApplyThresholdRuleEnabling(thresholdRules_->currentIndex());

  QGroupBox* eif = MakeGroup(kPage, "adaptive EIF", page);
  auto* eifForm = static_cast<QFormLayout*>(eif->layout());
  QCheckBox* spikeDependent = CheckBox("CheckBox4", "Spike-dependent", eif);
  eifForm->addRow(spikeDependent);
  connect(spikeDependent, &QCheckBox::toggled, this,
          [this](bool on) { session_.NP0.EIF_SpikeDependent = on ? 1 : 0; });
  QPushButton* brette = Button("defaults [Brette 2005]", eif);
  QPushButton* badel = Button("defaults [Badel 2008]", eif);
  eifForm->addRow(brette);
  eifForm->addRow(badel);
  connect(brette, &QPushButton::clicked, this, [this] { OnPreset(false); });
  connect(badel, &QPushButton::clicked, this, [this] { OnPreset(true); });

  auto* right = new QVBoxLayout;
  right->addWidget(threshold);
  right->addWidget(eif);
  right->addStretch(1);
  layout->addLayout(right);
  layout->addStretch(1);
  return page;
}

QWidget* ParameterWindow::BuildOtherPage() {
  constexpr int kPage = static_cast<int>(InputPage::Other);
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);

  QGroupBox* drawAndWrite = new QGroupBox(QStringLiteral("Draw and write"), page);
  drawAndWrite->setObjectName(QStringLiteral("Draw and write"));
  auto* form = new QFormLayout(drawAndWrite);
  form->setVerticalSpacing(3);
  struct Cadence {
    const char* name;
    const char* caption;
    bool draw;
  };
  for (const Cadence c : {Cadence{"SpinEdit1", "n_Draw", true}, Cadence{"SpinEdit2", "n_Write", false}}) {
    auto* in = new NumericInput(drawAndWrite, 0);
    in->setObjectName(QLatin1String(c.name));
    in->setMaximumWidth(96);
    in->setDoubleClickValue(1.0);
    form->addRow(QLatin1String(c.caption), in);
    connect(in, &NumericInput::valueChanged, this, [this, in, draw = c.draw](double v) {
      const double count = std::trunc(std::clamp(v, -2147483647.0, 2147483647.0));
      if (!draw) {
        session_.run.n_Write = static_cast<std::int32_t>(count);
      } else if (count <= 0.0) {
        // Drawing needs a cadence of at least one step.
        session_.run.n_Draw = 1;
        in->setValue(1.0);
      } else {
        session_.run.n_Draw = static_cast<std::int32_t>(count);
      }
    });
  }

  QGroupBox* pipette = MakeGroup(kPage, "Pipette", page);
  auto* g1 = pipette->findChild<NumericInput*>(InputName(input::kG1));
  auto* c1 = pipette->findChild<NumericInput*>(InputName(input::kC1));
  g1->setDoubleClickValue(std::nullopt);
  c1->setDoubleClickValue(std::nullopt);
  connect(g1, &NumericInput::doubleClicked, this, [this, g1] {
    session_.stim.Pipette.G1 = 0.0;
    g1->setValue(0.0);
    OnG1Changed();
  });
  connect(c1, &NumericInput::doubleClicked, this, [this, c1] {
    session_.stim.Pipette.C1 = 0.0;
    c1->setValue(0.0);
  });

  grid->addWidget(MakeGroup(kPage, "Iext=u-s*(V-Vus)", page), 0, 0);
  grid->addWidget(pipette, 1, 0);
  grid->addWidget(MakeGroup(kPage, "Temperature and Mg", page), 0, 1);
  grid->addWidget(MakeGroup(kPage, "Time step", page), 1, 1);
  grid->addWidget(MakeGroup(kPage, "Noise", page), 0, 2);
  grid->addWidget(MakeGroup(kPage, "2-p-MainenSejn", page), 1, 2);
  grid->addWidget(drawAndWrite, 0, 3);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(4, 1);
  return page;
}

QWidget* ParameterWindow::BuildIonsPage() {
  constexpr int kPage = static_cast<int>(InputPage::Ions);
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);

  QCheckBox* ionDynamics = CheckBox("CheckBox2", "Ion Dynamics", page);
  QCheckBox* volume = CheckBox("CheckBox5", "If Volume", page);
  connect(ionDynamics, &QCheckBox::toggled, this, [this](bool on) { session_.ionInputs.IonDynamics = on ? 1 : 0; });
  connect(volume, &QCheckBox::toggled, this, [this](bool on) { session_.ionInputs.IfVolume = on ? 1 : 0; });
  connect(ionDynamics, &QCheckBox::toggled, this, &ParameterWindow::ShowIonWindow);
  grid->addWidget(ionDynamics, 0, 0);
  grid->addWidget(volume, 0, 1);

  auto* reversalItems = new RadioGroup(
      QStringLiteral("VL_Item"),
      {QStringLiteral("VNa=const"), QStringLiteral("VNa=VNa0+dVNa"), QStringLiteral("VNa=f(Nai)")}, page);
  reversalItems->setObjectName(QStringLiteral("RadioGroup4"));
  reversalItems->setItemIndex(0);
  QGroupBox* cotransporters = MakeGroup(kPage, "Co-transporters", page);
  auto* kcc2Types = new RadioGroup(QStringLiteral("KCC2 type"),
                                   {QStringLiteral("Doyon"), QStringLiteral("Cressman")}, cotransporters);
  kcc2Types->setObjectName(QStringLiteral("RadioGroup3"));
  kcc2Types->setItemIndex(1);
  static_cast<QFormLayout*>(cotransporters->layout())->addRow(kcc2Types);

  grid->addWidget(MakeGroup(kPage, "Ca dynamics", page), 1, 0);
  grid->addWidget(MakeGroup(kPage, "Reversals", page), 2, 0);
  grid->addWidget(MakeGroup(kPage, "Leak", page), 1, 1);
  grid->addWidget(MakeGroup(kPage, "Volume", page), 2, 1);
  grid->addWidget(cotransporters, 1, 2, 2, 1, Qt::AlignTop);
  grid->addWidget(reversalItems, 1, 3, 2, 1, Qt::AlignTop);
  connect(reversalItems, &RadioGroup::itemIndexChanged, this, [this](int i) { session_.ionInputs.VL_Item = i; });
  connect(kcc2Types, &RadioGroup::itemIndexChanged, this, [this](int i) { session_.ionInputs.KCC2Type = i; });
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(4, 1);
  return page;
}

QWidget* ParameterWindow::BuildPumpPage() {
  constexpr int kPage = static_cast<int>(InputPage::NaKPump);
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  auto* pumpTypes = new RadioGroup(QStringLiteral("Na-K pump type"),
                                   {QStringLiteral("Bazhenov-Kager"), QStringLiteral("Cressman-Wei"),
                                    QStringLiteral("Smith-Crampin"), QStringLiteral("Dobretsov-Stimers")},
                                   page);
  pumpTypes->setObjectName(QStringLiteral("RadioGroup2"));
  pumpTypes->setItemIndex(1);
  QPushButton* plots = Button("NaK-pump plots", page);

  grid->addWidget(MakeGroup(kPage, "Maximal pump currents", page), 0, 0);
  grid->addWidget(MakeGroup(kPage, "Na affinity", page), 1, 0);
  grid->addWidget(MakeGroup(kPage, "Voltage dependence", page), 0, 1);
  grid->addWidget(pumpTypes, 0, 2, 2, 1, Qt::AlignTop);
  grid->addWidget(plots, 1, 1, Qt::AlignTop);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(3, 1);

  // "dV,1" and "dV,2" shape only the "Dobretsov-Stimers" pump.
  const bool dobretsov = pumpTypes->itemIndex() == 3;
  for (int n : {input::kdV1, input::kdV2})
    page->findChild<NumericInput*>(InputName(n))->setEnabled(dobretsov);

  connect(pumpTypes, &RadioGroup::itemIndexChanged, this, [this](int i) { session_.ionInputs.PumpType = i; });
  connect(plots, &QPushButton::clicked, this, &ParameterWindow::OnPumpCharacteristics);
  connect(pumpTypes, &RadioGroup::itemIndexChanged, this, &ParameterWindow::OnPumpCharacteristics);
  return page;
}

}  // namespace membrix
