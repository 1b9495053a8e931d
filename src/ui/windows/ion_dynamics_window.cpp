#include "ui/windows/ion_dynamics_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ions/ion_dynamics.h"
#include "ui/chart.h"

namespace membrix {

namespace {

Chart* MakeChart(QWidget* parent, const char* name, const char* bottom, const char* left) {
  auto* c = new Chart(parent);
  c->setObjectName(QString::fromUtf8(name));
  c->SetTitle(QString::fromUtf8(name));
  c->SetAxisTitle(ChartAxis::Bottom, QString::fromUtf8(bottom));
  c->SetAxisTitle(ChartAxis::Left, QString::fromUtf8(left));
  return c;
}

const QColor kAlpha1(200, 0, 0);
const QColor kAlpha2(0, 0, 200);

}  // namespace

IonDynamicsWindow::IonDynamicsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("Form19"));
  setWindowTitle(QStringLiteral("Form19: Ion Dynamics"));
  pages_ = new QTabWidget(this);

  auto* dynamics = new QWidget;
  auto* v = new QVBoxLayout(dynamics);
  pump_ = MakeChart(dynamics, "I_Na_K_pump", "ms", "muA/cm^2");
  pump_->AddSeries(QStringLiteral("I_Na_K_pump"), SeriesKind::FastLine, ChartAxis::Left, QColor(140, 0, 160));
  concentrations_ = MakeChart(dynamics, "Concentrations", "ms", "mM");
  concentrations_->AddSeries(QStringLiteral("Nai"), SeriesKind::FastLine, ChartAxis::Left, QColor(200, 0, 0));
  concentrations_->AddSeries(QStringLiteral("Ki"), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 0, 200));
  concentrations_->AddSeries(QStringLiteral("Vol"), SeriesKind::FastLine, ChartAxis::Right, QColor(0, 140, 0));
  concentrations_->SetAxisTitle(ChartAxis::Right, QStringLiteral("Vol"));
  reversals_ = MakeChart(dynamics, "Reversal potentials", "ms", "mV");
  reversals_->AddSeries(QStringLiteral("VNa"), SeriesKind::FastLine, ChartAxis::Left, QColor(200, 0, 0));
  reversals_->AddSeries(QStringLiteral("VK"), SeriesKind::FastLine, ChartAxis::Left, QColor(0, 0, 200));
  v->addWidget(pump_);
  v->addWidget(concentrations_);
  v->addWidget(reversals_);
  pages_->addTab(dynamics, QStringLiteral("Dynamics"));

  auto* characteristics = new QWidget;
  auto* grid = new QGridLayout(characteristics);
  const char* names[3] = {"Na_K_pump(Na_i)", "Na_K_pump(K_o)", "Na_K_pump(V)"};
  const char* bottoms[3] = {"Nai, mM", "Ko, mM", "V, mV"};
  for (int i = 0; i < 3; ++i) {
    Chart* c = MakeChart(characteristics, names[i], bottoms[i], "muA/cm^2");
    c->AddSeries(QStringLiteral("with Nai_alpha1"), SeriesKind::Line, ChartAxis::Left, kAlpha1);
    c->AddSeries(QStringLiteral("with Nai_alpha2"), SeriesKind::Line, ChartAxis::Left, kAlpha2);
    pumpCharts_[i] = c;
  }
  pumpLabel_ = new QLabel(QString::fromUtf8(kPumpPlotsLabel), characteristics);
  pumpLabel_->setObjectName(QStringLiteral("PumpPlotsLabel"));
  pumpLabel_->setWordWrap(true);
  grid->addWidget(pumpCharts_[0], 0, 0);
  grid->addWidget(pumpCharts_[1], 0, 1);
  grid->addWidget(pumpCharts_[2], 1, 0);
  grid->addWidget(pumpLabel_, 1, 1, Qt::AlignCenter);
  pages_->addTab(characteristics, QStringLiteral("Na-K pump characteristics"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(pages_);
  resize(900, 700);
}

void IonDynamicsWindow::ShowPumpCharacteristics(const PumpCharacteristics& pc) {
  const PumpCurve* curves[3] = {&pc.ofNai, &pc.ofKo, &pc.ofV};
  for (int i = 0; i < 3; ++i) {
    Chart* c = pumpCharts_[i];
    c->ClearAll();
    const PumpCurve& curve = *curves[i];
    for (std::size_t k = 0; k < curve.x.size(); ++k) {
      c->AddPoint(0, curve.x[k], curve.alpha1[k]);
      c->AddPoint(1, curve.x[k], curve.alpha2[k]);
    }
    c->Refresh();
  }
  pages_->setCurrentIndex(1);
  show();
  raise();
}

}  // namespace membrix
