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
class QMenu;
class QRadioButton;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;

// Coloured bubbles in a plane with a colour bar whose ends carry their values.
// Like every chart of the program it zooms with the wheel around the cursor,
// pans with a drag, and offers "Save picture...", "CopyToBMP" and "Automatic
// range" on the right mouse button; its double click is the window's own.
class BubbleMap : public QWidget {
  Q_OBJECT

 public:
  explicit BubbleMap(QWidget* parent = nullptr);
  // The ranges of the map; the view returns to them.
  void SetRanges(double xMin, double xMax, double yMin, double yMax);
  void SetAxisTitles(const QString& x, const QString& y);
  // The colour bar: its bottom and top values as the reader sees them.
  void SetScale(const QString& bottom, const QString& top);
  void AddBubble(double x, double y, double radius, int level);
  void SetLine(double x0, double y0, double x1, double y1);
  void Clear();
  int BubbleCount() const { return static_cast<int>(bubbles_.size()); }
  int BubbleLevel(int k) const { return bubbles_[static_cast<std::size_t>(k)].level; }
  const QString& ScaleBottom() const { return bottom_; }
  const QString& ScaleTop() const { return top_; }
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
  };
  std::vector<Bubble> bubbles_;
  double xMin_ = 0, xMax_ = 1, yMin_ = 0, yMax_ = 1;  // the view
  double fullXMin_ = 0, fullXMax_ = 1, fullYMin_ = 0, fullYMax_ = 1;
  QString xTitle_, yTitle_, bottom_, top_;
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

 signals:
  void firingClampFormRequested();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Workbench& wb_;
  BubbleMap* map_ = nullptr;
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
