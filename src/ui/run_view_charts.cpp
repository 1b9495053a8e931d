#include "ui/run_view_charts.h"

#include <QCoreApplication>
#include <QLabel>
#include <algorithm>
#include <cmath>

#include "run/recording.h"
#include "run/run_views.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/curve_window.h"
#include "ui/main_window.h"
#include "ui/run_summary.h"

namespace membrix {

namespace {

// Drawing waits at least this long between two drawings during a run, and at
// least this many times as long as the last drawing took, so that it stays a
// small share of the run however many points the charts hold.
constexpr double kMinDrawInterval = 0.05;  // s
constexpr double kDrawIntervalFactor = 4.0;

}  // namespace

RunViewCharts::RunViewCharts(const Session& s, MainWindow& form1, CurveWindow& curve)
    : s_(s), form1_(form1), curve_(curve) {
  const std::vector<Chart*> all = form1.RunCharts();
  const Chart* phase = form1.chart(6);
  const Chart* iv = form1.chart(7);
  overlay_ = form1.ModelOverlayChart();
  residual_ = form1.ResidualChart();
  for (Chart* c : all) {
    charts_.push_back(c);
    for (int i = 0; i < c->SeriesCount(); ++i) {
      Target t{c->SeriesTitle(i).toStdString(), c, i, c == phase || c == iv};
      t.overlay = overlay_->FindSeries(c->SeriesTitle(i));
      t.model = c == form1.chart(3) && t.name == "Model";
      t.everyStep = t.name == " V " || t.name == "Vd" || t.model || t.phase || t.name == "Experiment";
      t.spikeMarks = t.name == "Spike";
      if (c != form1.chart(3)) t.overlay = -1;
      targets_.push_back(t);
    }
  }
  charts_.push_back(overlay_);
  charts_.push_back(residual_);
  // The order a run names its series in, so that finding the next one is one
  // comparison.
  static constexpr std::string_view kDrawOrder[] = {
      " V ", "Thr",    "PSC",    "-Im",    "-INa",   "-IK-IKA-IKD", "du_Reset", "Vd",   "mm",
      "hh",  "nn",     "Model",  "nM",     "mmR",    "hhR",         "wAHP",     "wADP", "g",
      "ii",  "XNa[1]", "XNa[2]", "XNa[3]", "XNa[4]", "XNa[13]",     "dVdt(V)",  "Im(V)"};
  std::stable_sort(targets_.begin(), targets_.end(), [](const Target& a, const Target& b) {
    auto rank = [](const std::string& name) {
      const auto* it = std::find(std::begin(kDrawOrder), std::end(kDrawOrder), name);
      return static_cast<int>(it - std::begin(kDrawOrder));
    };
    return rank(a.name) < rank(b.name);
  });
}

bool RunViewCharts::EveryStep() const { return true; }

void RunViewCharts::Envelope::Add(double x, double y, double columnWidth) {
  const auto c = static_cast<std::int64_t>(std::floor(x / columnWidth));
  if (c != column) {
    Hand();
    column = c;
    xMin = xMax = x;
    yMin = yMax = y;
    return;
  }
  if (y < yMin) xMin = x, yMin = y;
  if (y > yMax) xMax = x, yMax = y;
}

void RunViewCharts::Envelope::Hand() {
  if (column < 0 || chart == nullptr) {
    column = -1;
    return;
  }
  if (xMin < xMax) {
    chart->AddPoint(index, xMin, yMin * scale);
    chart->AddPoint(index, xMax, yMax * scale);
  } else if (xMax < xMin) {
    chart->AddPoint(index, xMax, yMax * scale);
    chart->AddPoint(index, xMin, yMin * scale);
  } else {
    chart->AddPoint(index, xMin, yMin * scale);
  }
  column = -1;
}

void RunViewCharts::HandEnvelopes() {
  for (Envelope& e : envelopes_) e.Hand();
}

void RunViewCharts::AddEnveloped(const Target& t, double x, double y) {
  Envelope* e = &envelopes_[3 * static_cast<std::size_t>(&t - targets_.data())];
  if (e[0].chart == nullptr) e[0] = {t.chart, t.index};
  e[0].Add(x, y, columnWidth_);
  if (t.overlay < 0) return;
  if (e[1].chart == nullptr) e[1] = {overlay_, t.overlay, overlayScale_};
  e[1].Add(x, y, columnWidth_);
  if (t.model && recording_) {
    if (e[2].chart == nullptr) e[2] = {residual_, 0, overlayScale_};
    e[2].Add(x, y - s_.ExpData.At(s_.run.nt, s_.rec.Smpl), columnWidth_);
  }
}

bool RunViewCharts::KeepsPoints() const { return form1_.NoCleaning(); }

bool RunViewCharts::PhasePlaneShown() const { return form1_.PhasePageShown(); }

const RunViewCharts::Target* RunViewCharts::Find(std::string_view name) {
  const std::size_t n = targets_.size();
  if (cursor_ < n && targets_[cursor_].name == name) {
    const Target* t = &targets_[cursor_];
    cursor_ = cursor_ + 1 < n ? cursor_ + 1 : 0;
    return t;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (targets_[i].name == name) {
      cursor_ = i + 1 < n ? i + 1 : 0;
      return &targets_[i];
    }
  }
  return nullptr;
}

void RunViewCharts::Clear() {
  for (Chart* c : charts_) c->ClearAll();
  for (Envelope& e : envelopes_) e.column = -1;
}

void RunViewCharts::PrepareImported() {
  // The last run's channels are taken off the list; their series are hidden
  // and emptied unless this run draws them again.
  std::vector<std::pair<Chart*, int>> before;
  for (const Target& t : targets_) {
    if (t.imported) before.emplace_back(t.chart, t.index);
  }
  std::erase_if(targets_, [](const Target& t) { return t.imported; });
  cursor_ = 0;
  importedFirst_.clear();
  Chart* currents = form1_.chart(2);
  Chart* gates = form1_.chart(5);
  auto series = [&](Chart* c, const std::string& name, ChartAxis axis) {
    const QString title = QString::fromStdString(name);
    int i = c->FindSeries(title);
    if (i < 0) i = c->AddSeries(title, SeriesKind::FastLine, axis);
    c->SetSeriesVisible(i, true);
    std::erase(before, std::pair{c, i});
    Target t{name, c, i};
    t.imported = true;
    targets_.push_back(t);
  };
  for (const ImportedChannel& c : s_.NP0.Imported) {
    importedFirst_.push_back(targets_.size());
    series(currents, "-I_" + c.kinetics.id, ChartAxis::Right);
    for (const NmlGate& g : c.kinetics.gates) series(gates, c.kinetics.id + "." + g.id, ChartAxis::Left);
  }
  for (const auto& [chart, index] : before) {
    chart->Clear(index);
    chart->SetSeriesVisible(index, false);
  }
}

void RunViewCharts::Prepare(const RunViewSetup& setup) {
  PrepareImported();
  // A new run: its columns start afresh (the last run's were drawn at its end).
  envelopes_.assign(3 * targets_.size(), Envelope{});
  enveloped_ = s_.run.nt_end > kFullResolutionSteps;
  columnWidth_ = std::max(setup.tEndMs, 1e-9) / kEnvelopeColumns;
  Chart* voltage = form1_.chart(1);
  voltage->SetSeriesVisible(voltage->FindSeries(QStringLiteral("Vd")), setup.dendriteActive);
  for (int n : {4, 5}) {
    Chart* c = form1_.chart(n);
    c->SetAxisAutomaticMinimum(ChartAxis::Bottom, true);
    c->SetAxisMaximum(ChartAxis::Bottom, setup.tEndMs);
  }
  form1_.chart(3)->SetAxisTitle(ChartAxis::Left, QString::fromStdString(setup.modelAxisTitle));

  // The one-axis form: the run's value in the recording's unit.
  const ModelTraceUnit unit = ModelTraceUnitOf(s_.NP0.If_I_V_or_g);
  overlayScale_ = unit.scale;
  recording_ = NamesRecordingFile(s_.rec.SmplFile[static_cast<std::size_t>(s_.rec.Smpl)]);
  const QString title = unit.unit == QLatin1String("mV") ? QStringLiteral("V, mV") : QStringLiteral("I, pA");
  overlay_->SetAxisTitle(ChartAxis::Left, title);
  residual_->SetAxisTitle(ChartAxis::Left, title);
  overlay_->SetLegendNote(QString());
  form1_.ShowModelView(unit.shown, recording_);
  if (ionWindow_ != nullptr) ionWindow_->setVisible(setup.ionViews);
  // The fit's coefficients as they stand for this run, and the window kept
  // answering before the run's first step.
  form1_.SyncMemos();
  QCoreApplication::processEvents();
}

void RunViewCharts::AddIonCharts(const std::vector<Chart*>& charts, QWidget* window) {
  ionWindow_ = window;
  std::vector<Target> added;
  for (Chart* c : charts) {
    charts_.push_back(c);
    for (int i = 0; i < c->SeriesCount(); ++i) added.push_back({c->SeriesTitle(i).toStdString(), c, i, false});
  }
  static constexpr std::string_view kIonDrawOrder[] = {"I_Na_K_pump", "Ki", "Nai", "VNa", "VK", "Vol"};
  std::stable_sort(added.begin(), added.end(), [](const Target& a, const Target& b) {
    auto rank = [](const std::string& name) {
      return std::find(std::begin(kIonDrawOrder), std::end(kIonDrawOrder), name) - std::begin(kIonDrawOrder);
    };
    return rank(a.name) < rank(b.name);
  });
  targets_.insert(targets_.end(), added.begin(), added.end());
  cursor_ = 0;
}

void RunViewCharts::Point(std::string_view series, double x, double y) {
  const Target* t = Find(series);
  if (t == nullptr) return;  // a view this workbench does not have (yet)
  Draw(*t, x, y);
}

void RunViewCharts::ImportedPoint(int channel, int gate, double x, double y) {
  if (channel < 0 || static_cast<std::size_t>(channel) >= importedFirst_.size()) return;
  const std::size_t i = importedFirst_[static_cast<std::size_t>(channel)] + static_cast<std::size_t>(gate + 1);
  const std::size_t end = static_cast<std::size_t>(channel) + 1 < importedFirst_.size()
                              ? importedFirst_[static_cast<std::size_t>(channel) + 1]
                              : targets_.size();
  if (gate < -1 || i >= end) return;
  Draw(targets_[i], x, y);
}

void RunViewCharts::Draw(const Target& target, double x, double y) {
  const Target* t = &target;
  if (t->phase && !form1_.PhasePageShown()) return;
  // The other series keep the drawing cadence, and so does the phase plane of a long run.
  if (!t->everyStep || (enveloped_ && t->phase)) {
    const RunGlobals& run = s_.run;
    const bool drawStep = run.nt <= 1 || run.n_Draw <= 1 || run.nt % run.n_Draw == 0 || s_.NV0.SpikePhase == 2;
    if (!drawStep) return;
  }
  // The traces of a long run against time go through their envelopes, so that
  // a chart holds a few thousand points however long the run (the spike marks
  // stay as they are).
  if (enveloped_ && !t->phase && !t->spikeMarks) {
    AddEnveloped(*t, x, y);
    return;
  }
  t->chart->AddPoint(t->index, x, y);
  if (t->overlay >= 0) {
    overlay_->AddPoint(t->overlay, x, y * overlayScale_);
    // The difference at the step being drawn, where there is a recording.
    if (t->model && recording_) {
      residual_->AddPoint(0, x, (y - s_.ExpData.At(s_.run.nt, s_.rec.Smpl)) * overlayScale_);
    }
  }
}

void RunViewCharts::Status(double tMs, const std::string& recordingEntry) {
  statusTimeMs_ = tMs;
  statusEntry_ = &recordingEntry;
  statusChanged_ = true;
}

void RunViewCharts::CurvePoint(double x, double y) {
  curve_.AddCurvePoint(x, y, QString::fromStdString(s_.trace.VarToWrite));
}

void RunViewCharts::Flush(bool force) {
  // At the end of a run the columns not yet complete are drawn as they stand.
  if (force) HandEnvelopes();
  if (!force && sinceDrawing_.isValid()) {
    const double waited = sinceDrawing_.nsecsElapsed() * 1e-9;
    if (waited < kMinDrawInterval || waited < kDrawIntervalFactor * lastDrawSeconds_) return;
  }
  QElapsedTimer drawing;
  drawing.start();
  if (statusChanged_) {
    form1_.TimeLabel()->setText(QString::fromStdString(RunStatusTimeText(statusTimeMs_)));
    if (statusEntry_ != nullptr) {
      form1_.FileLabel()->setText(QString::fromStdString(RunStatusFileText(*statusEntry_)));
    }
    statusChanged_ = false;
  }
  for (Chart* c : charts_) {
    if (c->NeedsRefresh()) c->Refresh();
  }
  Chart* curve = curve_.chart();
  if (curve->NeedsRefresh()) curve->Refresh();
  lastDrawSeconds_ = drawing.nsecsElapsed() * 1e-9;
  sinceDrawing_.start();
}

void RunViewCharts::ShowAllSeries() {
  for (Chart* c : charts_) {
    c->ShowAllSeries();
    c->Refresh();
  }
}

}  // namespace membrix
