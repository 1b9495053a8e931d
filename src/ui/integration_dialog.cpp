#include "ui/integration_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "common/error.h"
#include "neuron/variable_step.h"
#include "run/run_globals.h"

namespace membrix {

IntegrationDialog::IntegrationDialog(RunGlobals& run, QWidget* parent) : QDialog(parent), run_(run) {
  setObjectName(QStringLiteral("IntegrationDialog"));
  setWindowTitle(QStringLiteral("Integration"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  kind_ = new QComboBox(this);
  kind_->setObjectName(QStringLiteral("IntegratorList"));
  kind_->addItem(QStringLiteral("Fixed step (dt)"));
  kind_->addItem(QStringLiteral("Error-controlled (CVODE)"));
  kind_->setToolTip(QStringLiteral(
      "Fixed step: the model's own first-order step at dt. Error-controlled: variable steps and order within the "
      "tolerances below, the samples still dt apart, spike peaks located exactly; the conductance-based neuron in "
      "every geometry, with deterministic inputs"));
  rtol_ = new QLineEdit(this);
  rtol_->setObjectName(QStringLiteral("RtolEdit"));
  rtol_->setToolTip(QStringLiteral("Relative tolerance, e.g. 1e-6"));
  atol_ = new QLineEdit(this);
  atol_->setObjectName(QStringLiteral("AtolEdit"));
  atol_->setToolTip(QStringLiteral("Absolute tolerance: of a gate; of the voltage in mV; of Ca in µM; of Na and K in mM"));
  form->addRow(QStringLiteral("Integrator"), kind_);
  form->addRow(QStringLiteral("rtol"), rtol_);
  form->addRow(QStringLiteral("atol"), atol_);
  layout->addLayout(form);
  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("IntegrationProblem"));
  problem_->setStyleSheet(QStringLiteral("color: #b00000"));
  problem_->setWordWrap(true);
  problem_->hide();
  layout->addWidget(problem_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &IntegrationDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &IntegrationDialog::reject);
  layout->addWidget(buttons);
  const auto enable = [this](int index) {
    rtol_->setEnabled(index == 1);
    atol_->setEnabled(index == 1);
  };
  connect(kind_, &QComboBox::currentIndexChanged, this, enable);
  ShowChoice();
  enable(kind_->currentIndex());
}

void IntegrationDialog::ShowChoice() {
  kind_->setCurrentIndex(run_.integrator.kind == IntegratorKind::Cvode ? 1 : 0);
  rtol_->setText(QString::number(run_.integrator.rtol, 'g', 6));
  atol_->setText(QString::number(run_.integrator.atol, 'g', 6));
}

void IntegrationDialog::accept() {
  IntegratorSettings chosen;
  chosen.kind = kind_->currentIndex() == 1 ? IntegratorKind::Cvode : IntegratorKind::FixedStep;
  bool rtolRead = false;
  bool atolRead = false;
  chosen.rtol = rtol_->text().trimmed().toDouble(&rtolRead);
  chosen.atol = atol_->text().trimmed().toDouble(&atolRead);
  try {
    if (!rtolRead || !atolRead) throw RangeError("the tolerances must be numbers, such as 1e-6");
    CheckTolerances(chosen);
  } catch (const Error& e) {
    problem_->setText(QString::fromUtf8(e.what()));
    problem_->show();
    return;
  }
  run_.integrator = chosen;
  QDialog::accept();
}

}  // namespace membrix
