#include "ui/windows/fit_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "data/fit_table.h"
#include "data/global_fit.h"
#include "run/session.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

enum Column { kTick = 0, kName, kValue, kLower, kUpper, kUnit, kColumns };

QString Number(double x) { return QString::number(x, 'g', 10); }

// The unit a parameter is shown in, as the other windows show it, and the
// factor from the record's unit (s, V) to it.
struct ShownUnit {
  const char* unit;
  double scale;
};
ShownUnit UnitOf(int slot) {
  const std::string_view field = FitParameters()[static_cast<std::size_t>(slot)].field;
  if (field == "tau_m") return {"ms", 1000.0};
  if (field == "VNaR" || field == "VL" || field == "VK") return {"mV", 1000.0};
  if (field.size() > 1 && field[0] == 'g') return {"mS/cm\u00b2", 1.0};
  return {"", 1.0};
}

// A bound; the upper bound that means "none" as it is spoken of.
QString Bound(double x, double scale) { return x == kFitUpperBound ? QStringLiteral("1e8") : Number(x * scale); }

FitDialog* Find(QWidget* owner) {
  return owner == nullptr ? nullptr
                          : owner->findChild<FitDialog*>(QStringLiteral("FitDialog"), Qt::FindDirectChildrenOnly);
}

}  // namespace

FitDialog::FitDialog(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("FitDialog"));
  setWindowTitle(QStringLiteral("Fitting options"));
  Build();
  Refresh();
  resize(560, 720);
}

FitDialog& FitDialog::Open(Workbench& wb, QWidget* owner) {
  OfferUsefulSelection(wb.session());
  FitDialog* d = Find(owner);
  if (d == nullptr) d = new FitDialog(wb, owner);
  // The Simplex menu shows the same marks.
  for (int slot = 0; slot < kDefinedFitSlots; ++slot) d->SetMark(slot, wb.session().fit.MenuChecked[static_cast<std::size_t>(slot)]);
  d->Refresh();
  d->show();
  d->raise();
  d->activateWindow();
  return *d;
}

void FitDialog::ShowStatus(QWidget* owner, const QString& line) {
  if (FitDialog* d = Find(owner)) d->status_->setText(line);
}

bool FitDialog::StopAsked(QWidget* owner) {
  const FitDialog* d = Find(owner);
  return d != nullptr && d->stopAsked_;
}

void FitDialog::SetFitting(QWidget* owner, bool fitting) {
  FitDialog* d = Find(owner);
  if (d == nullptr) return;
  d->stopAsked_ = false;
  d->fit_->setEnabled(!fitting);
  d->stop_->setEnabled(fitting);
  d->table_->setEnabled(!fitting);
  for (QWidget* w : {static_cast<QWidget*>(d->method_), static_cast<QWidget*>(d->starts_),
                     static_cast<QWidget*>(d->maxEvaluations_), static_cast<QWidget*>(d->tolerance_)}) {
    w->setEnabled(!fitting);
  }
  if (!fitting) d->Refresh();
}

QString FitDialog::StatusText() const { return status_->text(); }

void FitDialog::Build() {
  auto* layout = new QVBoxLayout(this);
  auto* hint = new QLabel(
      QStringLiteral("Tick the parameters to fit. The global methods search between the bounds; a parameter "
                     "whose upper bound is left at 1e8 is searched from half to twice its value."),
      this);
  hint->setWordWrap(true);
  layout->addWidget(hint);

  table_ = new QTableWidget(kDefinedFitSlots, kColumns, this);
  table_->setObjectName(QStringLiteral("FitParameters"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Fit"), QStringLiteral("Parameter"), QStringLiteral("Value"),
                                     QStringLiteral("Lower bound"), QStringLiteral("Upper bound"),
                                     QStringLiteral("Unit")});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(kTick, QHeaderView::ResizeToContents);
  for (int row = 0; row < kDefinedFitSlots; ++row) {
    const FitParameter& p = FitParameters()[static_cast<std::size_t>(row)];
    auto* tick = new QTableWidgetItem();
    tick->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    table_->setItem(row, kTick, tick);
    auto* name = new QTableWidgetItem(QString::fromUtf8(p.menuItem.data(), static_cast<int>(p.menuItem.size())));
    name->setFlags(Qt::ItemIsEnabled);
    name->setToolTip(QString::fromUtf8(p.field.data(), static_cast<int>(p.field.size())));
    table_->setItem(row, kName, name);
    auto* value = new QTableWidgetItem();
    value->setFlags(Qt::ItemIsEnabled);
    table_->setItem(row, kValue, value);
    table_->setItem(row, kLower, new QTableWidgetItem());
    table_->setItem(row, kUpper, new QTableWidgetItem());
    auto* unit = new QTableWidgetItem(QString::fromUtf8(UnitOf(row).unit));
    unit->setFlags(Qt::ItemIsEnabled);
    table_->setItem(row, kUnit, unit);
  }
  table_->horizontalHeader()->setSectionResizeMode(kUnit, QHeaderView::ResizeToContents);
  connect(table_, &QTableWidget::cellChanged, this, &FitDialog::OnCellChanged);
  layout->addWidget(table_, 1);
  auto* selectionRow = new QHBoxLayout();
  selection_ = new QLabel(this);
  selection_->setObjectName(QStringLiteral("FitSelection"));
  selection_->setWordWrap(true);
  clearAll_ = new QPushButton(QStringLiteral("Clear all"), this);
  clearAll_->setObjectName(QStringLiteral("FitClearAll"));
  clearAll_->setToolTip(QStringLiteral("Unticks every parameter"));
  onlyThese_ = new QPushButton(QStringLiteral("Only these"), this);
  onlyThese_->setObjectName(QStringLiteral("FitOnlyThese"));
  onlyThese_->setToolTip(QStringLiteral("Ticks the selected rows and unticks all others"));
  onlyThese_->setEnabled(false);
  selectionRow->addWidget(selection_, 1);
  selectionRow->addWidget(clearAll_);
  selectionRow->addWidget(onlyThese_);
  layout->addLayout(selectionRow);
  connect(clearAll_, &QPushButton::clicked, this, [this] { TickOnly({}); });
  connect(onlyThese_, &QPushButton::clicked, this, [this] {
    std::vector<int> rows;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows()) rows.push_back(i.row());
    TickOnly(rows);
  });
  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { onlyThese_->setEnabled(table_->selectionModel()->hasSelection()); });

  auto* form = new QFormLayout();
  method_ = new QComboBox(this);
  method_->setObjectName(QStringLiteral("FitMethod"));
  method_->addItem(QStringLiteral("Simplex from the present values"));
  method_->addItem(QStringLiteral("Global search of the bounds, then a polish"));
  method_->addItem(QStringLiteral("Multistart: the simplex from points spread over the bounds"));
  form->addRow(QStringLiteral("Method"), method_);
  starts_ = new QSpinBox(this);
  starts_->setObjectName(QStringLiteral("FitStarts"));
  starts_->setRange(1, 1000);
  form->addRow(QStringLiteral("Starting points (multistart)"), starts_);
  maxEvaluations_ = new QSpinBox(this);
  maxEvaluations_->setObjectName(QStringLiteral("FitMaxEvaluations"));
  maxEvaluations_->setRange(0, 1000000);
  maxEvaluations_->setSpecialValueText(QStringLiteral("automatic"));
  maxEvaluations_->setToolTip(
      QStringLiteral("Global: evaluations of the search before the polish (automatic: 50 per parameter and 50); "
                     "multistart: evaluations each start may make (automatic: until it converges)"));
  form->addRow(QStringLiteral("Evaluation limit"), maxEvaluations_);
  tolerance_ = new QDoubleSpinBox(this);
  tolerance_->setObjectName(QStringLiteral("FitTolerance"));
  tolerance_->setDecimals(6);
  tolerance_->setRange(0.0, 0.5);
  tolerance_->setSingleStep(0.0001);
  tolerance_->setSpecialValueText(QStringLiteral("1e-4 (default)"));
  form->addRow(QStringLiteral("Tolerance"), tolerance_);
  layout->addLayout(form);
  connect(method_, &QComboBox::currentIndexChanged, this, &FitDialog::OnSettingsChanged);
  connect(starts_, &QSpinBox::valueChanged, this, &FitDialog::OnSettingsChanged);
  connect(maxEvaluations_, &QSpinBox::valueChanged, this, &FitDialog::OnSettingsChanged);
  connect(tolerance_, &QDoubleSpinBox::valueChanged, this, &FitDialog::OnSettingsChanged);

  status_ = new QLabel(QStringLiteral("No fit yet."), this);
  status_->setObjectName(QStringLiteral("FitStatus"));
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setFrameShape(QFrame::StyledPanel);
  status_->setMinimumHeight(3 * status_->fontMetrics().height());
  layout->addWidget(status_);

  auto* buttons = new QHBoxLayout();
  fit_ = new QPushButton(QStringLiteral("Fit"), this);
  fit_->setObjectName(QStringLiteral("FitStart"));
  fit_->setToolTip(QStringLiteral("Fits the ticked parameters to the recordings of the open parameter file"));
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  stop_->setObjectName(QStringLiteral("FitStop"));
  stop_->setToolTip(QStringLiteral("Ends the fit at its next evaluation; the best point so far is kept"));
  stop_->setEnabled(false);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  buttons->addWidget(fit_);
  buttons->addWidget(stop_);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(fit_, &QPushButton::clicked, this, &FitDialog::StartFit);
  connect(stop_, &QPushButton::clicked, this, [this] { stopAsked_ = true; });
  connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void FitDialog::Refresh() {
  refreshing_ = true;
  const Session& s = wb_.session();
  const FitTable& fit = s.fit;
  int ticked = 0;
  int ineffective = 0;
  for (int row = 0; row < kDefinedFitSlots; ++row) {
    const FitParameter& p = FitParameters()[static_cast<std::size_t>(row)];
    const FitSlot& slot = fit.FitSlots[static_cast<std::size_t>(row)];
    const bool on = fit.MenuChecked[static_cast<std::size_t>(row)];
    ticked += on ? 1 : 0;
    const double scale = UnitOf(row).scale;
    table_->item(row, kTick)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    table_->item(row, kValue)->setText(Number(FitValue(s.NP0, p) * scale));
    // An imported channel's conductance is named with the channel's id.
    if (p.imported >= 0) {
      QString name = QString::fromUtf8(p.menuItem.data(), static_cast<int>(p.menuItem.size()));
      if (p.imported < static_cast<int>(s.NP0.Imported.size()))
        name += QStringLiteral(" ") + QString::fromStdString(s.NP0.Imported[static_cast<std::size_t>(p.imported)].kinetics.id);
      table_->item(row, kName)->setText(name);
    }
    table_->item(row, kLower)->setText(Bound(slot.FitLower, scale));
    table_->item(row, kUpper)->setText(Bound(slot.FitUpper, scale));
    // A parameter that cannot change the deviation is greyed, and says why.
    const QString why = WhyNoEffect(s, row);
    ineffective += why.isEmpty() ? 0 : 1;
    for (int column = kName; column < kColumns; ++column) {
      QTableWidgetItem* item = table_->item(row, column);
      item->setForeground(why.isEmpty() ? palette().text() : QBrush(QColor(150, 150, 150)));
      if (column != kLower && column != kUpper) item->setToolTip(why.isEmpty() ? QString() : QStringLiteral("Cannot change the deviation: ") + why);
    }
    table_->item(row, kName)->setToolTip(why.isEmpty() ? QString::fromUtf8(p.field.data(), static_cast<int>(p.field.size()))
                                                        : QStringLiteral("%1 cannot change the deviation: %2")
                                                              .arg(QString::fromUtf8(p.field.data(), static_cast<int>(p.field.size())), why));
  }
  selection_->setText(QStringLiteral("%1 of %2 parameters ticked; %3 greyed cannot change the deviation")
                          .arg(ticked)
                          .arg(kDefinedFitSlots)
                          .arg(ineffective));
  method_->setCurrentIndex(static_cast<int>(fit.Method));
  starts_->setValue(fit.Starts);
  maxEvaluations_->setValue(fit.MaxEvaluations);
  tolerance_->setValue(fit.Tolerance);
  starts_->setEnabled(fit.Method == FitMethod::Multistart);
  maxEvaluations_->setEnabled(fit.Method != FitMethod::Simplex);
  refreshing_ = false;
}

void FitDialog::OnCellChanged(int row, int column) {
  if (refreshing_ || row < 0 || row >= kDefinedFitSlots) return;
  FitTable& fit = wb_.session().fit;
  const auto slot = static_cast<std::size_t>(row);
  if (column == kTick) {
    SetMark(row, table_->item(row, kTick)->checkState() == Qt::Checked);
  } else if (column == kLower || column == kUpper) {
    bool ok = false;
    const QString text = table_->item(row, column)->text().trimmed();
    double x = text.toDouble(&ok);
    // The bounds are entered in the unit shown; 1e8 stays "none".
    if (ok && x != kFitUpperBound) x /= UnitOf(row).scale;
    FitSlot& s = fit.FitSlots[slot];
    const double lower = column == kLower ? x : s.FitLower;
    const double upper = column == kUpper ? x : s.FitUpper;
    if (ok && std::isfinite(x) && lower < upper) {
      s.FitLower = lower;
      s.FitUpper = upper;
      status_->setText(QStringLiteral("No fit yet."));
    } else {
      status_->setText(QStringLiteral("%1: a bound must be a number, the lower below the upper; kept %2 ... %3")
                           .arg(table_->item(row, kName)->text(), Number(s.FitLower), Number(s.FitUpper)));
    }
  }
  Refresh();
}

void FitDialog::SetMark(int row, bool on) {
  const auto slot = static_cast<std::size_t>(row);
  wb_.session().fit.MenuChecked[slot] = on;
  // The Simplex menu shows the same marks.
  const FitParameter& p = FitParameters()[slot];
  const QString item = QString::fromUtf8(p.menuItem.data(), static_cast<int>(p.menuItem.size()));
  if (parentWidget() != nullptr) {
    for (QAction* a : parentWidget()->findChildren<QAction*>(item)) {
      if (a->isCheckable()) a->setChecked(on);
    }
  }
}

void FitDialog::TickOnly(const std::vector<int>& rows) {
  for (int row = 0; row < kDefinedFitSlots; ++row) SetMark(row, std::find(rows.begin(), rows.end(), row) != rows.end());
  Refresh();
}

QString FitDialog::WhyNoEffect(const Session& s, int slot) {
  const FitParameter& p = FitParameters()[static_cast<std::size_t>(slot)];
  const NeuronProperties& np = s.NP0;
  const std::string_view f = p.field;
  const bool naR = f == "gNaR" || f == "VNaR" || (f.size() == 5 && f.substr(2) == "NaR");
  const bool k = f == "gK" || f == "VK" || (f.size() == 3 && f.substr(2) == "K" && f[0] != 'g');
  if (naR && np.IfBlockNaR == 1) return QStringLiteral("the resurgent Na current is blocked");
  if (naR && f != "gNaR" && np.gNaR == 0.0) return QStringLiteral("gNaR is 0: there is no resurgent Na current");
  if (f == "gNa" && np.IfBlockNa == 1) return QStringLiteral("the Na current is blocked");
  if (k && np.IfBlockK == 1) return QStringLiteral("the K current is blocked");
  if (k && f != "gK" && np.gK == 0.0) return QStringLiteral("gK is 0: there is no K current");
  if (f == "gKA" && np.IfBlockKA == 1) return QStringLiteral("the A-type K current is blocked");
  if ((f == "gL" || f == "VL" || f == "tau_m") && np.IfBlockPass == 1) return QStringLiteral("the leak is blocked");
  if (f == "tau_m" && np.IfSet_gL_or_tau != 2) return QStringLiteral("gL is fixed and tau_m follows from it");
  if (f == "gL" && np.IfSet_gL_or_tau == 2) return QStringLiteral("tau_m is fixed and gL follows from it");
  if (f == "VL" && np.IfSet_VL_or_Vrest == 2) return QStringLiteral("Vrest is fixed and VL follows from it");
  if (f == "ro" && np.HH_order == "1-point") return QStringLiteral("the 1-point neuron has no dendrite");
  // The simplex moves a parameter by a fraction of its value, and a global
  // search without an upper bound searches from half to twice it.
  const FitSlot& fs = s.fit.FitSlots[static_cast<std::size_t>(slot)];
  if (p.imported >= static_cast<int>(np.Imported.size()))
    return QStringLiteral("the model has no imported channel %1").arg(p.imported + 1);
  if (FitValue(np, p) == 0.0 && (s.fit.Method == FitMethod::Simplex || fs.FitUpper == kFitUpperBound))
    return QStringLiteral("its value is 0, which the fit moves only between bounds of the global methods");
  return {};
}

void FitDialog::OfferUsefulSelection(Session& s) {
  const FitTable startUp;
  if (s.fit.MenuChecked != startUp.MenuChecked) return;  // the researcher's own choice
  for (int slot = 0; slot < kDefinedFitSlots; ++slot) {
    if (s.fit.MenuChecked[static_cast<std::size_t>(slot)] && !WhyNoEffect(s, slot).isEmpty())
      s.fit.MenuChecked[static_cast<std::size_t>(slot)] = false;
  }
}

QString FitDialog::WithResidualUnit(const Session& s, const QString& line) {
  static const QRegularExpression residual(QStringLiteral("residual (-?[0-9.]+(?:e[-+]?[0-9]+)?)"));
  const QRegularExpressionMatch m = residual.match(line);
  if (!m.hasMatch()) return line;
  bool ok = false;
  double value = m.captured(1).toDouble(&ok);
  if (!ok) return line;
  // Current-clamp runs compare voltages (volts), the voltage clamps currents (pA).
  const std::int32_t mode = s.NP0.If_I_V_or_g;
  const bool voltage = mode == 2 || mode == 6 || mode == 7;
  QString unit = voltage ? QStringLiteral("mV") : QStringLiteral("pA");
  if (voltage) value *= 1000.0;
  QString text = QStringLiteral("residual %1 %2").arg(QString::number(value, 'g', 6), unit);
  if (s.rec.NSmpls > 1) text += QStringLiteral(" (sum over %1 recordings)").arg(s.rec.NSmpls);
  if (s.prog.sc_Simplex != 1.0) text += QStringLiteral(" / sc_Simplex %1").arg(s.prog.sc_Simplex);
  QString out = line;
  out.replace(m.capturedStart(), m.capturedLength(), text);
  return out;
}

void FitDialog::OnSettingsChanged() {
  if (refreshing_) return;
  FitTable& fit = wb_.session().fit;
  fit.Method = static_cast<FitMethod>(method_->currentIndex());
  fit.Starts = starts_->value();
  fit.MaxEvaluations = maxEvaluations_->value();
  fit.Tolerance = tolerance_->value();
  starts_->setEnabled(fit.Method == FitMethod::Multistart);
  maxEvaluations_->setEnabled(fit.Method != FitMethod::Simplex);
}

void FitDialog::StartFit() {
  // The fit is the Tasks menu's, so that it runs, shows and ends one way.
  if (parentWidget() == nullptr) return;
  if (auto* task = parentWidget()->findChild<QAction*>(QStringLiteral("Simplex"))) {
    if (task->isEnabled()) task->trigger();
  }
}

}  // namespace membrix
