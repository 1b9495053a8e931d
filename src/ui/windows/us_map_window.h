#pragma once
// The (u,s) map window: the firing rate of the neuron over a grid of constant
// inputs, drawn as coloured bubbles with the colour bar of the scale, and the
// spike measures against u; the map is written to "v(u_s).dat". A double click
// on the map reads the file back and toggles between drawing F and G.

#include <QRectF>
#include <QString>
#include <QWidget>
#include <vector>

#include "analysis/us_map.h"
#include "ui/windows/sweep_window_support.h"

class QCheckBox;
class QCustomPlot;
class QCPColorMap;
class QCPColorScale;
class QMenu;
class QRadioButton;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;

// The colour of a fraction (0 ... 1) of a map's scale: a perceptually uniform
// map from dark blue-violet through teal to yellow, so that equal steps of
// rate look like equal steps of colour and no middle value reads as "none".
QColor MapScaleColour(double fraction);

// Coloured bubbles in a plane with a colour bar whose ends carry their values.
// A bubble holds a value coloured on the bar's scale (the rate of a map) or
// one of the 15 levels of a scale whose ends are given as texts. Bubbles are
// never wider than the spacing of the grid they sit on. Hovering a bubble
// shows its point and value. Like every chart of the program it zooms with the
// wheel around the cursor, pans with a drag, and offers "Save picture...",
// "CopyToBMP" and "Automatic range" on the right mouse button; its double
// click is the window's own.
class BubbleMap : public QWidget {
  Q_OBJECT

 public:
  explicit BubbleMap(QWidget* parent = nullptr);
  // The ranges of the map; the view returns to them.
  void SetRanges(double xMin, double xMax, double yMin, double yMax);
  // "u, µA/cm²": the name before the comma names the point when hovered.
  void SetAxisTitles(const QString& x, const QString& y);
  // The colour bar of levels: its bottom and top values as the reader sees them.
  void SetScale(const QString& bottom, const QString& top);
  // The colour bar of values from lo to hi, in `unit` ("Hz"), named `name`
  // ("rate") when hovered; the bubbles with values take their colours anew.
  void SetValueScale(double lo, double hi, const QString& unit, const QString& name);
  void AddBubble(double x, double y, double radius, int level);
  void AddValue(double x, double y, double radius, double value);
  void SetLine(double x0, double y0, double x1, double y1);
  void Clear();
  int BubbleCount() const { return static_cast<int>(bubbles_.size()); }
  // The level of a bubble: 0 without a value, else 1 ... 15 up the scale.
  int BubbleLevel(int k) const;
  QColor BubbleColour(int k) const;
  double BubbleValue(int k) const { return bubbles_[static_cast<std::size_t>(k)].value; }
  QPointF BubbleAt(int k) const;  // the bubble's centre in the widget
  QPointF BubblePlace(int k) const;  // and in the plane
  const QString& XTitle() const { return xTitle_; }
  const QString& YTitle() const { return yTitle_; }
  const QString& ScaleBottom() const { return bottom_; }
  const QString& ScaleTop() const { return top_; }
  double ScaleHigh() const { return hi_; }
  // What hovering the widget's point shows: the point and value of the bubble
  // under it, empty elsewhere.
  QString TextAt(QPointF pixel) const;
  // The part of the plane shown, and back to the whole map.
  QRectF View() const { return QRectF(QPointF(xMin_, yMin_), QPointF(xMax_, yMax_)); }
  void RestoreRange();
  QMenu* ContextMenu() const { return menu_; }

 signals:
  void doubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  // The rectangle of the plane in the widget, and a point of the plane in it.
  QRect PlotRect() const;
  QPointF ToPixel(const QRect& plot, double x, double y) const;

 private:
  struct Bubble {
    double x, y, radius;
    int level;
    double value;  // NaN for a bubble of a level
  };
  double RadiusInPixels(const Bubble& b, const QRect& plot) const;
  void FindSpacing();
  void KnowSpacing() const;
  std::vector<Bubble> bubbles_;
  double xMin_ = 0, xMax_ = 1, yMin_ = 0, yMax_ = 1;  // the view
  double fullXMin_ = 0, fullXMax_ = 1, fullYMin_ = 0, fullYMax_ = 1;
  mutable double dx_ = 0, dy_ = 0;  // the grid's spacing, 0 for fewer than two distinct places
  mutable bool spacingKnown_ = false;
  QString xTitle_, yTitle_, bottom_, top_, unit_, valueName_;
  double lo_ = 0, hi_ = 1;
  bool valueScale_ = false;
  bool line_ = false;
  double lx0_ = 0, ly0_ = 0, lx1_ = 0, ly1_ = 0;
  QMenu* menu_ = nullptr;
  bool dragging_ = false;
  QPointF dragFrom_;
};

class USMapWindow : public QWidget {
  Q_OBJECT

 public:
  explicit USMapWindow(Workbench& wb, QWidget* parent = nullptr);

  BubbleMap* map() const { return map_; }
  Chart* chart() const { return chart_; }
  // The adaptation estimate of a firing-clamp run against time: "s_Adapt" and
  // the exact "s_Ad_Ex", the model's "nM[1]" and "wAHP[1]", and at the spikes
  // the estimate's gates "w", "n" and their fixed points "ws", "ns".
  Chart* adaptation() const { return adaptation_; }
  // "Plot Frequency(u,s)" and "Plot Frequency(Ge,Gi)".
  void Plot(MapGrid grid);
  // Reads the map file (F and G by the page's choices; planes when linear) and
  // draws F (or G) from it.
  void DrawFromFile(bool linear);
  // Draws the F or G that was read last.
  void DrawFunction(bool g);
  bool ShowsG() const { return showsG_; }
  void ShowInputs();
  // The same map as a heat map (one cell per point of the grid), shown in
  // place of the bubbles when "Heat map" is ticked.
  QCustomPlot* heatMap() const { return heat_; }
  QCPColorMap* heatCells() const { return heatCells_; }

 signals:
  void firingClampFormRequested();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The rate scale from "Max Freq.", or fitted to the rates when asked.
  void ApplyRateScale();
  void FitRateScale();
  void RefreshHeatMap();

  Workbench& wb_;
  BubbleMap* map_ = nullptr;
  QCustomPlot* heat_ = nullptr;
  QCPColorMap* heatCells_ = nullptr;
  QCPColorScale* heatScale_ = nullptr;
  QCheckBox* fitScale_ = nullptr;
  QCheckBox* heatView_ = nullptr;
  bool showsRates_ = true;  // the map shows the rates of a run, not F or G read back
  Chart* chart_ = nullptr;
  Chart* adaptation_ = nullptr;
  NumericInput *nue_ = nullptr, *nse_ = nullptr, *uMax_ = nullptr, *sMax_ = nullptr, *uMin_ = nullptr,
               *sMin_ = nullptr, *tEnd_ = nullptr, *maxSpikes_ = nullptr, *maxFreq_ = nullptr;
  QCheckBox* show_ = nullptr;
  QCheckBox* distributed_ = nullptr;
  std::vector<QRadioButton*> noise_;
  QPushButton *plotUS_ = nullptr, *plotGEGI_ = nullptr, *stopButton_ = nullptr;
  QLabel* status_ = nullptr;
  USMapData read_;
  bool haveRead_ = false;
  bool showsG_ = false;
  bool stop_ = false;
};

}  // namespace membrix
