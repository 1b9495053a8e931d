#include "tasks/task_inputs.h"
#include "ui/windows/z_function_window.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "analysis/firing_clamp_analysis.h"
#include "analysis/us_map.h"
#include "common/number_format.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/numeric_input.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

Chart* MakeChart(QWidget* owner, const char* name, const QString& x, const QString& y) {
  auto* c = new Chart(owner);
  c->setObjectName(QString::fromUtf8(name));
  c->SetAxisTitle(ChartAxis::Bottom, x);
  c->SetAxisTitle(ChartAxis::Left, y);
  c->SetAxisAutomatic(ChartAxis::Left, true);
  c->SetAxisAutomatic(ChartAxis::Bottom, true);
  return c;
}

QGroupBox* Radios(QWidget* owner, const char* name, const QString& title, std::initializer_list<const char*> items,
                  std::int32_t& value) {
  auto* box = new QGroupBox(title, owner);
  box->setObjectName(QString::fromUtf8(name));
  auto* layout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(box);
  int k = 0;
  for (const char* text : items) {
    auto* b = new QRadioButton(QString::fromUtf8(text), box);
    b->setChecked(k == value);
    group->addButton(b, k++);
    layout->addWidget(b);
  }
  QObject::connect(group, &QButtonGroup::idToggled, box, [&value](int id, bool on) {
    if (on) value = id;
  });
  return box;
}

class ISISink final : public FiringClampAnalysisSink {};

}  // namespace

ZFunctionWindow::ZFunctionWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form14"));
  setWindowTitle(QStringLiteral("Form14 - Z-function to correct F-C"));
  z_ = MakeChart(this, "Chart1", QStringLiteral("time before the spike, ms"), QStringLiteral("Z"));
  z_->AddSeries(QStringLiteral("Z-function"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));
  z_->AddSeries(QStringLiteral("Z_Vav"), SeriesKind::Line, ChartAxis::Left, QColor(0, 120, 0));
  z_->AddSeries(QStringLiteral("Z_Unit"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 200));
  z_->AddSeries(QStringLiteral("kernel"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 0));
  // A double click on the Z-function chart brings back every series hidden
  // (its range returns through the menu's "Automatic range").
  z_->SetDoubleClickRestoresRange(false);
  connect(z_, &Chart::plotDoubleClicked, this, [this] {
    z_->ShowAllSeries();
    z_->Refresh();
  });
  predictions_ = MakeChart(this, "Chart2", QStringLiteral("measured shift, Hz (mV for delta_Vav)"),
                           QStringLiteral("predicted shift"));
  for (auto [name, colour] : {std::pair{"Predicted by I_no_mean", QColor(200, 0, 0)},
                              {"by I_dstb", QColor(0, 0, 200)},
                              {"Second Kernel", QColor(0, 150, 150)},
                              {"delta_Vav", QColor(0, 120, 0)}}) {
    predictions_->AddSeries(QString::fromUtf8(name), SeriesKind::Points, ChartAxis::Left, colour);
  }
  estimates_ = MakeChart(this, "Chart3", QStringLiteral("u, µA/cm²"), QStringLiteral("s, mS/cm²"));
  estimates_->AddSeries(QStringLiteral("(u0,s0)"), SeriesKind::Points, ChartAxis::Left, QColor(200, 0, 0));
  estimates_->AddSeries(QStringLiteral("(u1,s1)"), SeriesKind::Points, ChartAxis::Left, QColor(0, 0, 200));
  estimates_->AddSeries(QStringLiteral("true"), SeriesKind::Points, ChartAxis::Left, QColor(0, 0, 0));
  orbit_ = MakeChart(this, "Chart4", QStringLiteral("time before the spike, ms"), QStringLiteral("V, mV"));
  orbit_->AddSeries(QStringLiteral("V_det"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 0));
  orbit_->AddSeries(QStringLiteral("V_no"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));
  orbit_->AddSeries(QStringLiteral("V_dstb"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 200));
  disturbance_ = MakeChart(this, "Chart5", QStringLiteral("time before the spike, ms"), QStringLiteral("µA/cm²"));
  disturbance_->AddSeries(QStringLiteral("I_dstb"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 200));
  disturbance_->AddSeries(QStringLiteral("I_no_mean"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));

  auto* controls = new QVBoxLayout;
  controls->addWidget(Radios(this, "RadioGroup2", QStringLiteral(" Input "), {"Current", "Voltage"},
                             wb_.inputs().zInputs.Input));
  controls->addWidget(Radios(this, "RadioGroup1", QStringLiteral(" Output function "),
                             {"Unity", "Interspike interval", "Mean voltage"}, wb_.inputs().zInputs.Output));
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("n_repeat"), this));
  repeat_ = new NumericInput(this);
  repeat_->setObjectName(QStringLiteral("DDSpinEdit1"));
  repeat_->setDecimals(0);  // a number of repetitions is whole
  repeat_->setValue(wb_.inputs().zInputs.n_repeat);
  connect(repeat_, &NumericInput::valueChanged, this, [this](double v) {
    wb_.inputs().zInputs.n_repeat = std::max(1, static_cast<int>(v));  // at least one repetition
  });
  row->addWidget(repeat_);
  controls->addLayout(row);
  auto* analyse = new QPushButton(QStringLiteral("Analyse one ISI"), this);
  analyse->setObjectName(QStringLiteral("Button1"));
  connect(analyse, &QPushButton::clicked, this, [this] { AnalyseOneISI(); });
  controls->addWidget(analyse);
  deltaFreq_ = new QLabel(QStringLiteral("delta_freq ="), this);
  deltaFreq_->setObjectName(QStringLiteral("Label1"));
  controls->addWidget(deltaFreq_);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setMinimumHeight(4 * status_->fontMetrics().height());
  status_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  controls->addWidget(status_);
  controls->addStretch(1);

  auto* charts = new QVBoxLayout;
  auto* upper = new QHBoxLayout;
  upper->addWidget(z_, 1);
  upper->addWidget(orbit_, 1);
  charts->addLayout(upper, 1);
  auto* lower = new QHBoxLayout;
  lower->addWidget(predictions_, 1);
  lower->addWidget(estimates_, 1);
  lower->addWidget(disturbance_, 1);
  charts->addLayout(lower, 1);
  auto* left = new QWidget(this);
  left->setLayout(controls);
  left->setFixedWidth(240);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(left);
  layout->addLayout(charts, 1);
  resize(1300, 760);
}

void ZFunctionWindow::DrawInterval(const OneISIResult::Interval& last, double dt) {
  // Each curve ends at the spike: sample k of n + 1 lies (n - k)·dt before it.
  auto draw = [dt](Chart& chart, int series, const std::vector<double>& y, double scale) {
    const std::size_t n = y.size();
    for (std::size_t k = 0; k < n; ++k) {
      chart.AddPoint(series, -static_cast<double>(n - 1 - k) * dt * 1000.0, y[k] * scale);
    }
  };
  draw(*orbit_, 0, last.V_det, 1000.0);
  draw(*orbit_, 1, last.V_no, 1000.0);
  draw(*orbit_, 2, last.V_dstb, 1000.0);
  draw(*disturbance_, 0, last.I_dstb, 1000.0);
  draw(*disturbance_, 1, last.I_no, 1000.0);
  orbit_->Refresh();
  disturbance_->Refresh();
}

QString ZFunctionWindow::deltaFreqText() const { return deltaFreq_->text(); }
QString ZFunctionWindow::statusText() const { return status_->text(); }

void ZFunctionWindow::showEvent(QShowEvent* event) {
  wb_.inputs().zInputs.Visible = true;
  QWidget::showEvent(event);
}

void ZFunctionWindow::hideEvent(QHideEvent* event) {
  wb_.inputs().zInputs.Visible = false;
  QWidget::hideEvent(event);
}

void ZFunctionWindow::DrawZ() {
  const Session& s = wb_.session();
  const double dt = s.run.dt;
  const std::vector<double>* stored[] = {&s.z.storedZ, &s.z.storedZVav, &s.z.storedZUnit};
  for (int k = 0; k < 3; ++k) {
    z_->Clear(k);
    for (std::size_t i = 0; i < stored[k]->size(); ++i) z_->AddPoint(k, -static_cast<double>(i) * dt * 1000.0, (*stored[k])[i]);
  }
  z_->Clear(3);
  if (s.z.K > 0) {
    for (auto [lag, value] : KernelPoints(s.z, dt)) z_->AddPoint(3, lag, value);
  }
  z_->Refresh();
}

bool ZFunctionWindow::AnalyseOneISI() {
  for (Chart* c : {predictions_, estimates_, orbit_, disturbance_}) c->ClearAll();
  // Nothing of an earlier analysis stays: one that fails shows its error only.
  deltaFreq_->setText(QStringLiteral("delta_freq ="));
  status_->clear();
  wb_.ShowModelIn(this);
  const bool done = wb_.RunCommand([this] {
    Session& s = wb_.session();
    wb_.inputs().fcAnalysis.mapFile = USMapFileOf(s);
    ISISink sink;
    const OneISIResult r = membrix::AnalyseOneISI(s, wb_.inputs().fcAnalysis, wb_.inputs().firingClamp,
                                                  wb_.inputs().zInputs, wb_, sink);
    for (const auto& p : r.predictions) {
      predictions_->AddPoint(0, p.dfreq, p.f_no);
      predictions_->AddPoint(1, p.dfreq, p.f_dstb);
      predictions_->AddPoint(2, p.dfreq - p.f_no, p.K2);
      predictions_->AddPoint(3, 1000.0 * p.dVav, 1000.0 * p.w_dstb);
    }
    if (r.repeats > 0) {
      estimates_->AddPoint(0, r.u0 * 1000.0, r.s0);
      estimates_->AddPoint(1, r.u1 * 1000.0, r.s1);
    }
    estimates_->AddPoint(2, s.stim.uu * 1000.0, s.stim.ss);
    DrawInterval(r.last, s.run.dt);
    std::string text = "delta_freq =";
    if (r.repeats > 0) AppendFixed(text, r.delta_freq, 6, 1);
    deltaFreq_->setText(QString::fromStdString(text));
    // Errors are means over the intervals analysed: with none (a stop before
    // the first) there are none to show.
    QString status = r.repeats > 0 ? QStringLiteral("%1 intervals analysed; mean errors u %2 → %3 µA/cm², s %4 → %5")
                                         .arg(r.repeats)
                                         .arg(r.e_u0 * 1000.0, 0, 'g', 3)
                                         .arg(r.e_u1 * 1000.0, 0, 'g', 3)
                                         .arg(r.e_s0, 0, 'g', 3)
                                         .arg(r.e_s1, 0, 'g', 3)
                                   : QStringLiteral("no interval analysed");
    if (r.stopped) status += QStringLiteral(" (stopped)");
    // The repeats left out are said with their reasons.
    const std::string skipped = OneISISkippedText(r);
    if (!skipped.empty()) status += QStringLiteral("\n") + QString::fromStdString(skipped);
    status_->setText(status);
    predictions_->Refresh();
    estimates_->Refresh();
  });
  DrawZ();  // the stored functions the analysis read, also when it found nothing to analyse
  return done;
}

}  // namespace membrix
