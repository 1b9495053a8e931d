#pragma once
// The analysis part of the firing-clamp window: the records of the last run
// inverted against the (u,s) maps of F and G into the conductances gE and gI,
// drawn over the true ones in the window's conductance chart; the two maps with
// the true inputs of the records ("Exact"), the estimates ("Estimation"), the
// start point and, step by step, the Newton trials; the self-test
// "CheckFiringClamp" and the series of trials.

#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "analysis/firing_clamp_analysis.h"
#include "ui/windows/us_map_window.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace membrix {

class FiringClampWindow;
class NumericInput;
class Workbench;

// A map of F or G with the analysis' points drawn over its bubbles and a
// legend of them.
class EstimateMap : public BubbleMap {
  Q_OBJECT

 public:
  enum Marks { Exact = 0, Estimation = 1, Start = 2, Trials = 3 };
  explicit EstimateMap(QWidget* parent = nullptr);
  void SetMapRanges(double xMin, double xMax, double yMin, double yMax);
  void AddMark(int kind, double u, double s);  // u in µA/cm²
  void ClearMark(int kind);
  void ClearMarks();
  int MarkCount(int kind) const { return static_cast<int>(marks_[static_cast<std::size_t>(kind)].size()); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<std::vector<QPointF>, 4> marks_;
};

class FiringClampAnalysisPanel : public QWidget {
  Q_OBJECT

 public:
  FiringClampAnalysisPanel(Workbench& wb, FiringClampWindow& window, QWidget* parent = nullptr);

  EstimateMap* mapF() const { return mapF_; }
  EstimateMap* mapG() const { return mapG_; }
  const FiringClampAnalysis& last() const { return last_; }
  const TrialsOutcome& lastTrials() const { return trials_; }
  // The commands of the buttons.
  bool Check();
  bool Analyze();
  bool Trials();
  void ClearAll();
  void Stop() { stop_ = true; }
  // Draws the map file's F and G.
  void DrawMaps(const USMapData& map);

 private:
  bool RunAnalysis(const std::function<void(FiringClampAnalysisSink&, Host&, const USMapData&)>& body);

  Workbench& wb_;
  FiringClampWindow& window_;
  EstimateMap* mapF_ = nullptr;
  EstimateMap* mapG_ = nullptr;
  QCheckBox* wiener_ = nullptr;
  QCheckBox* unsteadiness_ = nullptr;
  QCheckBox* stepByStep_ = nullptr;
  NumericInput* trialsN_ = nullptr;
  QLabel* status_ = nullptr;
  FiringClampAnalysis last_;
  TrialsOutcome trials_;
  bool stop_ = false;
};

}  // namespace membrix
