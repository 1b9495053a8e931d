#include "ui/windows/statistics_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "run/session.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/windows/sweep_window_support.h"
#include "ui/workbench.h"

namespace membrix {

StatisticsWindow::StatisticsWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form13"));
  setWindowTitle(QStringLiteral("Form13: Statistics"));
  StatisticsState& st = wb_.session().statistics;
  auto* inputs = new QGridLayout;
  // Every change restarts the statistics at the next sample.
  auto changed = [&st](auto store) {
    return [&st, store](double v) {
      store(st.inputs, v);
      StatisticsInputsChanged(st);
    };
  };
  min_ = AddSweepInput(this, inputs, 0, "DDSpinEdit4", "Min and Max", 1,
                       changed([](StatisticsInputs& in, double v) { in.HistMin = v; }));
  max_ = AddSweepInput(this, inputs, 1, "DDSpinEdit1", " ", 1,
                       changed([](StatisticsInputs& in, double v) { in.HistMax = v; }));
  intervals_ = AddSweepInput(this, inputs, 2, "DDSpinEdit2", "n_intervals", 0,
                             changed([](StatisticsInputs& in, double v) { in.n_intervals = v; }));
  ntCorr_ = AddSweepInput(this, inputs, 3, "DDSpinEdit3", " nt_corr", 0,
                          changed([](StatisticsInputs& in, double v) { in.nt_corr = v; }));
  intervals_->setToolTip(QStringLiteral("Bars of the histogram, 1 ... 1000"));
  ntCorr_->setToolTip(QStringLiteral("Lags of the correlation function, in time steps, 0 ... 4000"));
  tau_ = new QLabel(QStringLiteral(" tau = "), this);
  tau_->setObjectName(QStringLiteral("Label1"));
  mean_ = new QLabel(QStringLiteral(" Mean = "), this);
  mean_->setObjectName(QStringLiteral("Label2"));
  dispersion_ = new QLabel(QStringLiteral(" Variance= "), this);
  dispersion_->setObjectName(QStringLiteral("Label3"));
  inputs->addWidget(tau_, 4, 0, 1, 2);
  inputs->addWidget(mean_, 5, 0, 1, 2);
  inputs->addWidget(dispersion_, 6, 0, 1, 2);
  inputs->setRowStretch(7, 1);

  histogram_ = new Chart(this);
  histogram_->setObjectName(QStringLiteral("Chart1"));
  histogram_->SetTitle(QStringLiteral("Ghystogram of firing rate"));
  histogram_->AddSeries(QStringLiteral("fraction"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 200));
  histogram_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("Hz"));
  histogram_->SetLegendVisible(false);
  correlation_ = new Chart(this);
  correlation_->setObjectName(QStringLiteral("Chart2"));
  correlation_->SetTitle(QStringLiteral("Correlation function "));
  correlation_->AddSeries(QStringLiteral("correlation"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));
  correlation_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("tau, ms"));
  correlation_->SetAxisRange(ChartAxis::Left, -0.2, 1.2);
  correlation_->SetLegendVisible(false);

  auto* charts = new QVBoxLayout;
  charts->addWidget(histogram_, 1);
  charts->addWidget(correlation_, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(inputs);
  layout->addLayout(charts, 1);
  resize(720, 560);
  ShowInputs();
}

void StatisticsWindow::ShowInputs() {
  const StatisticsInputs& in = wb_.session().statistics.inputs;
  const QSignalBlocker b1(min_), b2(max_), b3(intervals_), b4(ntCorr_);
  min_->setValue(in.HistMin);
  max_->setValue(in.HistMax);
  intervals_->setValue(in.n_intervals);
  ntCorr_->setValue(in.nt_corr);
}

void StatisticsWindow::Clear() {
  histogram_->ClearAll();
  correlation_->ClearAll();
}

void StatisticsWindow::Show(const StatisticsState& st, double dt) {
  mean_->setText(QString::fromStdString(MeanLabel(st)));
  dispersion_->setText(QString::fromStdString(DispersionLabel(st)));
  tau_->setText(QString::fromStdString(TauLabel(st, dt)));
  if (st.Hist.total > 0) {
    // Bars: each interval drawn as a step from its left to its right edge.
    histogram_->Clear(0);
    const double width = (st.HistMax - st.HistMin) / st.Hist.n;
    for (std::int32_t i = 0; i < st.Hist.n; ++i) {
      const double x = BarX(st, i), h = BarHeight(st, i);
      histogram_->AddPoint(0, x, 0.0);
      histogram_->AddPoint(0, x, h);
      histogram_->AddPoint(0, x + width, h);
      histogram_->AddPoint(0, x + width, 0.0);
    }
  }
  correlation_->Clear(0);
  for (std::int32_t i = 0; i <= st.NtCorr; ++i) {
    const std::optional<double> r = NormalisedCorrelation(st, i);
    if (!r) break;  // a constant signal has no correlation to draw
    correlation_->AddPoint(0, i * dt * 1000.0, *r);
  }
  histogram_->Refresh();
  correlation_->Refresh();
}

}  // namespace membrix
