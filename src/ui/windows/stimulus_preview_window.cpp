#include "ui/windows/stimulus_preview_window.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "data/stimulus_preview.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

class PreviewCharts final : public StimulusPreviewSink {
 public:
  explicit PreviewCharts(Chart* const* charts) : c_(charts) {}
  void Clear() override {
    for (int n = 1; n <= 3; ++n) c_[n]->ClearAll();
  }
  void PulseWindow(double a, double b) override {
    c_[1]->AddPoint(1, a, 0.0);
    c_[1]->AddPoint(1, b, 0.0);
  }
  void Sample(double tMs, double I, double u, double sDend) override {
    c_[1]->AddPoint(0, tMs, I);
    c_[2]->AddPoint(0, tMs, u);
    c_[3]->AddPoint(0, tMs, sDend);
  }

 private:
  Chart* const* c_;
};

}  // namespace

StimulusPreviewWindow::StimulusPreviewWindow(Workbench& wb, QWidget* parent)
    : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form21"));
  setWindowTitle(QStringLiteral("Form21: Ramp in CC"));

  auto* group = new QGroupBox(QStringLiteral("Pulse shape"), this);
  group->setObjectName(QStringLiteral("RadioGroup1"));
  auto* groupLayout = new QVBoxLayout(group);
  shapes_ = new QButtonGroup(this);
  for (std::size_t i = 0; i < kPulseShapeNames.size(); ++i) {
    auto* b = new QRadioButton(QString::fromUtf8(kPulseShapeNames[i].data(), kPulseShapeNames[i].size()), group);
    b->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
    shapes_->addButton(b, static_cast<int>(i));
    groupLayout->addWidget(b);
  }
  connect(shapes_, &QButtonGroup::idClicked, this,
          [this](int id) { wb_.session().stim.pulseShape = static_cast<PulseShape>(id); });
  auto* recalc = new QPushButton(QStringLiteral("Re-calculate"), this);
  recalc->setObjectName(QStringLiteral("Re-calculate"));
  connect(recalc, &QPushButton::clicked, this, &StimulusPreviewWindow::Recalculate);
  auto* panel = new QVBoxLayout;
  panel->addWidget(group);
  panel->addWidget(recalc);
  panel->addStretch(1);

  const char* titles[] = {nullptr, "Input current, pA", "uu, pA", "ss, nS"};
  const char* axes[] = {nullptr, "pA", "muA/cm^2", "nS"};
  auto* plots = new QVBoxLayout;
  for (int n = 1; n <= 3; ++n) {
    charts_[n] = new Chart(this);
    charts_[n]->setObjectName(QStringLiteral("Chart%1").arg(n));
    charts_[n]->AddSeries(QString::fromUtf8(titles[n]), SeriesKind::Line);
    charts_[n]->SetAxisTitle(ChartAxis::Left, QString::fromUtf8(axes[n]));
    charts_[n]->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("ms"));
    plots->addWidget(charts_[n], 1);
  }
  charts_[1]->AddSeries(QStringLiteral("Pulse window"), SeriesKind::Points, ChartAxis::Left, Qt::red);

  auto* top = new QHBoxLayout(this);
  top->addLayout(panel);
  top->addLayout(plots, 1);
  resize(1000, 700);
  ShowShape();
}

void StimulusPreviewWindow::ShowShape() {
  shapes_->button(static_cast<int>(wb_.session().stim.pulseShape))->setChecked(true);
}

void StimulusPreviewWindow::showEvent(QShowEvent* event) {
  ShowShape();
  QWidget::showEvent(event);
}

void StimulusPreviewWindow::Recalculate() {
  wb_.RunCommand([this] {
    wb_.ControlsToParameters();
    PreviewCharts sink(charts_);
    PreviewStimulus(wb_.session(), wb_, sink);
  });
  for (int n = 1; n <= 3; ++n) charts_[n]->Refresh();
}

}  // namespace membrix
