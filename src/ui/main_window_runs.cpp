// The runs the main window starts: the clamp run, drawing any variable of
// it, the time axes of its charts, and the fit.

#include "ui/main_window.h"

#include <QElapsedTimer>
#include <QLabel>

#include "data/fit_table.h"
#include "data/global_fit.h"
#include "data/simplex.h"
#include "run/clamp_run.h"
#include "run/recording.h"
#include "run/run_views.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/main_window_parts.h"
#include "ui/protocol_keeper.h"
#include "ui/run_summary.h"
#include "ui/run_view_charts.h"
#include "ui/windows/fit_dialog.h"
#include "ui/workbench.h"

namespace membrix {

using main_window_parts::kVarToWrite;

// ---- Commands -----------------------------------------------------------------

void MainWindow::OnRunClamp() {
  if (wb_.Running()) return;
  runClamp_->setEnabled(false);
  ShowConductanceCharts();
  double deviation = 0.0;
  QElapsedTimer clock;
  clock.start();
  const bool completed = wb_.RunSimulation([this, &deviation] {
    FitExperimentAxis();
    deviation = RunClamp(s(), wb_, wb_.views());
  });
  const RunSummary summary = SummarizeRun(s(), deviation, completed, clock.nsecsElapsed() * 1e-9);
  runSummary_->setText(RunSummaryText(summary));
  modelOverlay_->SetLegendNote(summary.recording ? QStringLiteral("RMS deviation\n%1 %2")
                                                        .arg(summary.deviation, 0, 'g', 3)
                                                        .arg(summary.unit)
                                                  : QStringLiteral("no recording"));
  modelOverlay_->Refresh();
  s().run.PauseFlag = 'R';
  runClamp_->setEnabled(!wb_.Running());
  SyncPauseButton();
}

void MainWindow::FitExperimentAxis() {
  // With "FitPictureToExpData" the experiment's axis spans every recording, on
  // the two-axis chart and, in the recording's unit, on the one-axis chart.
  Chart* c = charts_[3];
  ValueRange range;
  if (FitPictureToExpData()) range = RecordingRange(s());
  if (range.any) {
    c->SetAxisRange(ChartAxis::Right, range.min, range.max);
    const double scale = ModelTraceUnitOf(s().NP0.If_I_V_or_g).scale;
    modelOverlay_->SetAxisRange(ChartAxis::Left, range.min * scale, range.max * scale);
    overlayFitted_ = true;
    return;
  }
  c->SetAxisAutomatic(ChartAxis::Right, true);
  if (overlayFitted_) modelOverlay_->SetAxisAutomatic(ChartAxis::Left, true);
  overlayFitted_ = false;
}

void MainWindow::OnClear() {
  ClearRunViews(wb_.views());
  wb_.views().Flush(true);
}

void MainWindow::OnPause() {
  char& flag = s().run.PauseFlag;
  flag = flag == 'P' ? ' ' : 'P';
  SyncPauseButton();
}
void MainWindow::OnShowOutputList(bool draw) {
  // The list's next choice draws or saves; a list closed without a choice
  // leaves the runs as they were.
  s().run.DrawAnyCurve = draw ? 1 : 0;
  varToWrite_->show();
  varToWriteNote_->show();
}

void MainWindow::HideOutputList() {
  varToWrite_->hide();
  varToWriteItems_->setExclusive(false);
  for (QAbstractButton* b : varToWriteItems_->buttons()) b->setChecked(false);
  varToWriteItems_->setExclusive(true);
  if (s().run.WriteMode == 0 && !wb_.Running()) s().run.DrawAnyCurve = 0;
}

void MainWindow::OnOutputItemChosen(int item) {
  if (item < 0 || item >= static_cast<int>(std::size(kVarToWrite)) || wb_.Running()) return;
  s().trace.VarToWrite = kVarToWrite[item];
  const bool draw = s().run.DrawAnyCurve == 1;
  varToWrite_->hide();
  if (draw) {
    wb_.RunSimulation([this] {
      FitExperimentAxis();
      RunClamp(s(), wb_, wb_.views());
    });
    s().run.DrawAnyCurve = 0;
  } else {
    OnSaveTrace(4);
  }
  HideOutputList();
}
void MainWindow::OnAdjustTimeAxis(Chart* from, Chart* to) {
  from->Refresh();
  to->SetAxisRange(ChartAxis::Bottom, from->AxisMinimum(ChartAxis::Bottom),
                   from->AxisMaximum(ChartAxis::Bottom));
  to->Refresh();
}

void MainWindow::OnAutoTimeAxes() {
  for (Chart* c : {charts_[1], charts_[2]}) {
    c->SetAxisAutomatic(ChartAxis::Bottom, true);
    c->Refresh();
  }
}
void MainWindow::OnSimplexTask() {
  if (wb_.Running()) return;
  ShowMemo(simplexMemo_);
  ShowMemo(coeMemo_);
  for (int n : {5, 4, 1, 2}) charts_[n]->hide();
  UpdateEmptyPageHints();
  pages_->setCurrentIndex(3);
  // The fit's state in one line of the status bar and of the fitting options,
  // rewritten as it goes; the options' "Stop" ends it keeping the best point.
  class FitHostAndProgress final : public Host, public FitProgress {
   public:
    FitHostAndProgress(Workbench& wb, MainWindow& window, QLabel& summary)
        : wb_(wb), window_(window), summary_(summary), echoes_(wb.session().ParamsMemo.size()) {}
    // Every evaluation reads the recordings' sections again; their assignments
    // were shown when the file was opened, and are not repeated for each one:
    // the Notes page gets one line per pass.
    void ProcessEvents() override {
      QuietSections();
      wb_.ProcessEvents();
    }
    void QuietSections() {
      std::vector<std::string>& memo = wb_.session().ParamsMemo;
      if (memo.size() <= echoes_) return;
      memo.resize(echoes_);
      if (!noted_) {
        memo.push_back("The fit reads the recordings' sections at every evaluation; their assignments are shown above.");
        noted_ = true;
      }
      echoes_ = memo.size();
    }
    bool StopRequested() const override { return wb_.StopRequested() || FitDialog::StopAsked(&window_); }
    bool Confirm(const std::string& question) override { return wb_.Confirm(question); }
    // The windows show the parameters rounded to the decimals of their inputs,
    // and an input whose text changes stores what it shows: the fit keeps the
    // values it evaluates, and the windows show them as well as they can.
    void ShowParameters() override {
      const NeuronProperties evaluated = wb_.session().NP0;
      wb_.ShowParameters();
      wb_.session().NP0 = evaluated;
    }
    void Status(const FitStatus& status) override {
      Show(FitDialog::WithResidualUnit(s(), QString::fromStdString(FitStatusLine(s().fit, status))));
    }
    void Show(const QString& line) {
      summary_.setText(line);
      FitDialog::ShowStatus(&window_, line);
    }
    Session& s() { return wb_.session(); }

   private:
    Workbench& wb_;
    MainWindow& window_;
    QLabel& summary_;
    std::size_t echoes_;
    bool noted_ = false;
  };
  FitHostAndProgress fitHost(wb_, *this, *runSummary_);
  FitDialog::SetFitting(this, true);
  fitHost.Show(QStringLiteral("Fitting: checking the request ..."));
  FitOutcome outcome;
  bool done = false;
  {
    // The fit's result is the parameters; the recordings' own protocols it
    // ran through go, and the main protocol is the one before the fit.
    ProtocolKeeper keeper(wb_, QStringLiteral("The fit"), ProtocolKeeper::Ending::GiveBack);
    done = wb_.RunSimulation([&] {
      CollectFitSelection(s().fit);
      for (std::size_t i = 0; i < FitParameters().size(); ++i) {
        if (FitParameters()[i].member == &NeuronProperties::Vrest && s().fit.FitSlots[i].FitSelected == 1)
          keeper.KeepVrest(true);
      }
      FitExperimentAxis();
      outcome = RunFit(s(), fitHost, wb_.views(), fitHost);
    });
  }
  fitHost.QuietSections();
  FitDialog::SetFitting(this, false);
  if (done) {
    fitHost.Show(FitDialog::WithResidualUnit(s(), QString::fromStdString(FitEndLine(s().fit, outcome))));
  } else {
    fitHost.Show(QStringLiteral("The fit did not run; the message says why."));
  }
  // The run pages show the fitted run again.
  ShowChartsAndSaveButtons();
  if (done) {
    // A finished fit ends its messages in red.
    QPalette red = simplexMemo_->palette();
    red.setColor(QPalette::Text, QColor(200, 0, 0));
    simplexMemo_->setPalette(red);
  }
  SyncMemos();
}

}  // namespace membrix
