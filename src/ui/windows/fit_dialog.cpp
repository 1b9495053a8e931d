#include "ui/windows/fit_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "data/fit_table.h"
#include "data/global_fit.h"
#include "run/session.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

enum Column { kTick = 0, kName, kValue, kLower, kUpper, kColumns };

QString Number(double x) { return QString::number(x, 'g', 10); }
// A bound; the upper bound that means "none" as it is spoken of.
QString Bound(double x) { return x == kFitUpperBound ? QStringLiteral("1e8") : Number(x); }

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
  FitDialog* d = Find(owner);
  if (d == nullptr) d = new FitDialog(wb, owner);
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
                                     QStringLiteral("Lower bound"), QStringLiteral("Upper bound")});
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
  }
  connect(table_, &QTableWidget::cellChanged, this, &FitDialog::OnCellChanged);
  layout->addWidget(table_, 1);
  selection_ = new QLabel(this);
  selection_->setObjectName(QStringLiteral("FitSelection"));
  layout->addWidget(selection_);

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
  for (int row = 0; row < kDefinedFitSlots; ++row) {
    const FitParameter& p = FitParameters()[static_cast<std::size_t>(row)];
    const FitSlot& slot = fit.FitSlots[static_cast<std::size_t>(row)];
    const bool on = fit.MenuChecked[static_cast<std::size_t>(row)];
    ticked += on ? 1 : 0;
    table_->item(row, kTick)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    table_->item(row, kValue)->setText(Number(s.NP0.*p.member));
    table_->item(row, kLower)->setText(Bound(slot.FitLower));
    table_->item(row, kUpper)->setText(Bound(slot.FitUpper));
  }
  selection_->setText(QStringLiteral("%1 of %2 parameters ticked").arg(ticked).arg(kDefinedFitSlots));
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
    const bool on = table_->item(row, kTick)->checkState() == Qt::Checked;
    fit.MenuChecked[slot] = on;
    // The Simplex menu shows the same marks.
    const FitParameter& p = FitParameters()[slot];
    const QString item = QString::fromUtf8(p.menuItem.data(), static_cast<int>(p.menuItem.size()));
    if (parentWidget() != nullptr) {
      for (QAction* a : parentWidget()->findChildren<QAction*>(item)) {
        if (a->isCheckable()) a->setChecked(on);
      }
    }
  } else if (column == kLower || column == kUpper) {
    bool ok = false;
    const double x = table_->item(row, column)->text().trimmed().toDouble(&ok);
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
