#include "tasks/task_inputs.h"
#include "ui/windows/adaptation_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "analysis/adaptation_sweep.h"
#include "analysis/sweep_file.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

class AdaptationChartSink final : public AdaptationSink {
 public:
  AdaptationChartSink(Chart& chart, QLabel& status) : chart_(chart), status_(status) {}
  void Point(const AdaptationPoint& p) override {
    for (int k = 0; k < 5; ++k) chart_.AddPoint(k, p.Iind, p.rate[static_cast<std::size_t>(k)]);
  }
  void Progress(std::int64_t done, std::int64_t total) override {
    status_.setText(ProgressText(done, total));
    chart_.Refresh();
  }

 private:
  Chart& chart_;
  QLabel& status_;
};

}  // namespace

AdaptationWindow::AdaptationWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form6"));
  setWindowTitle(QStringLiteral("Form6: Adaptation"));
  Session& s = wb_.session();
  auto* inputs = new QGridLayout;
  iindMax_ = AddSweepInput(this, inputs, 0, "DDSpinEdit1", " Iind_max, pA ", 0,
                           [this](double v) { wb_.inputs().adaptation.Iind_max = v; });
  step_ = AddSweepInput(this, inputs, 1, "DDSpinEdit4", " Step for Iind   ", 1,
                        [this](double v) { wb_.inputs().adaptation.StepIind = v; });
  tEnd_ = AddSweepInput(this, inputs, 2, "DDSpinEdit3", " t_end, ms       ", 1, [this, &s](double v) {
    if (v > 0) SetRunLength(s.run, v / 1000.0);
    wb_.Correspond();
  });
  auto* note = new QLabel(QStringLiteral("Draws reverse interspike intervals (1/ISI) versus stimulation current (Iind)"),
                          this);
  note->setWordWrap(true);
  note->setMaximumWidth(220);
  inputs->addWidget(note, 3, 0, 1, 2);
  commands_ = AddSweepCommands(this, inputs, 4);
  inputs->setRowStretch(7, 1);
  connect(commands_.start, &QPushButton::clicked, this, &AdaptationWindow::Start);
  connect(commands_.stop, &QPushButton::clicked, this, [this] { stop_ = true; });
  connect(commands_.clear, &QPushButton::clicked, this, [this] { chart_->ClearAll(); });
  connect(commands_.copy, &QPushButton::clicked, this, [this] { chart_->CopyToClipboard(); });

  chart_ = new Chart(this);
  chart_->setObjectName(QStringLiteral("Chart1"));
  const QColor colors[5] = {QColor(200, 0, 0), QColor(0, 130, 0), QColor(0, 0, 200), QColor(200, 120, 0),
                            QColor(120, 0, 160)};
  for (int k = 0; k < 5; ++k) {
    chart_->AddSeries(QStringLiteral("1/ISI_%1").arg(k + 1), SeriesKind::Line, ChartAxis::Left, colors[k]);
  }
  chart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("Iind, pA"));
  chart_->SetAxisTitle(ChartAxis::Left, QStringLiteral("1/ISI, Hz"));
  chart_->SetLegendVisible(true);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(inputs);
  layout->addWidget(chart_, 1);
  resize(760, 440);
  ShowInputs();
}

void AdaptationWindow::ShowInputs() {
  const Session& s = wb_.session();
  const QSignalBlocker b1(iindMax_), b2(step_), b3(tEnd_);
  iindMax_->setValue(wb_.inputs().adaptation.Iind_max);
  step_->setValue(wb_.inputs().adaptation.StepIind);
  tEnd_->setValue(s.run.t_end * 1000.0);
}

void AdaptationWindow::showEvent(QShowEvent* event) {
  ShowInputs();
  QWidget::showEvent(event);
}

void AdaptationWindow::Start() {
  RunSweepCommand(wb_, commands_, stop_, [this]() -> std::pair<long long, long long> {
    Session& s = wb_.session();
    SweepWindowHost host(wb_, stop_);
    AdaptationChartSink sink(*chart_, *commands_.status);
    const RunsOutcome outcome = SweepAdaptation(s, wb_.inputs().adaptation, host, sink);
    chart_->Refresh();
    return {outcome.delivered, CurrentGridCount(wb_.inputs().adaptation.Iind_max, wb_.inputs().adaptation.StepIind,
                                                "Step for Iind")};
  });
}

}  // namespace membrix
