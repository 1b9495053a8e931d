#pragma once
// The chart of the windows: series of (x, y) points against a bottom axis and a
// left or right axis, a legend beside the plot, and the conveniences the
// program offers on every chart: a double click on a series hides it, a double
// click on its legend entry shows or hides it, and the picture can be copied to
// the clipboard.
//
// Every chart also behaves as a researcher expects of a plot:
//  - the wheel zooms both axes around the cursor (Shift: the bottom axis only,
//    Alt: the value axes only), a drag pans them, and a drag with Ctrl held
//    zooms into the box drawn;
//  - a double click on the empty plot area restores the automatic ranges
//    (a window that gives the double click a meaning of its own turns this off);
//  - the cursor's position is read out in the axes' units in a corner;
//  - the right mouse button opens a menu with "Save picture..." (PNG, SVG or
//    PDF), "Save data..." (the visible series as a column file) and "CopyToBMP";
//  - series take their colours from a palette whose first ten stay apart for
//    readers with a colour-vision deficiency.
//
// Points are collected cheaply while a computation runs and appear at the next
// Refresh(), so a run that adds hundreds of thousands of points pays for the
// drawing only at the moments it lets the windows breathe.

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QCustomPlot;
class QCPAbstractPlottable;
class QCPAxis;
class QCPGraph;
class QCPCurve;
class QCPTextElement;
class QCPLayoutGrid;
class QLabel;
class QMenu;
class QMouseEvent;

namespace membrix {

enum class SeriesKind {
  Line,      // points joined by lines; the line can be hidden to leave the points
  FastLine,  // a thin line for long traces
  Points,    // points in the order they come, x need not grow (phase plots, spike marks)
};

enum class ChartAxis { Bottom, Left, Right };

class Chart : public QWidget {
  Q_OBJECT

 public:
  explicit Chart(QWidget* parent = nullptr);
  ~Chart() override;

  // A title above the plot; empty hides it.
  void SetTitle(const QString& title);

  // Adds a series and returns its index. A series on the right axis shows that
  // axis. No colour picks the next of the chart's palette.
  int AddSeries(const QString& title, SeriesKind kind, ChartAxis axis = ChartAxis::Left, QColor color = {});
  int SeriesCount() const { return static_cast<int>(series_.size()); }
  // The index of the series with this title, -1 when there is none.
  int FindSeries(const QString& title) const;
  QString SeriesTitle(int i) const;
  void SetSeriesTitle(int i, const QString& title);
  // The words the legend shows for a series where they differ from its title,
  // the name the program and the exported files know it by.
  void SetSeriesLegend(int i, const QString& text);

  // Adds one point; it is drawn at the next Refresh().
  void AddPoint(int i, double x, double y);
  // Empties one series, or all of them.
  void Clear(int i);
  void ClearAll();
  // Points of the series, those not yet drawn included.
  int PointCount(int i) const;
  QPointF Point(int i, int k) const;

  void SetSeriesVisible(int i, bool visible);
  bool SeriesVisible(int i) const;
  void ShowAllSeries();
  // A line series without its line shows its points only.
  void SetLineVisible(int i, bool visible);
  bool LineVisible(int i) const;
  // Whether the series' own points are marked on its line: a line of few
  // points (a sampled curve such as an f-I curve) shows where its samples
  // are, so that the values between them are not taken for measured ones.
  bool PointsMarked(int i) const;
  // The most points a line may have and still show them.
  static constexpr int kMarkedPointLimit = 200;
  // A point series with its points joined in the order they came (a phase
  // plane drawn as a connected curve).
  void SetPointsJoined(int i, bool joined);

  void SetAxisTitle(ChartAxis axis, const QString& title);
  QString AxisTitle(ChartAxis axis) const;
  // A fixed end of an axis; the other end keeps what it was.
  void SetAxisMinimum(ChartAxis axis, double v);
  void SetAxisMaximum(ChartAxis axis, double v);
  // Both ends fixed at once (given in either order: the smaller is the minimum).
  void SetAxisRange(ChartAxis axis, double a, double b);
  // Automatic ends follow the visible series' points.
  void SetAxisAutomatic(ChartAxis axis, bool on);
  void SetAxisAutomaticMinimum(ChartAxis axis, bool on);
  void SetAxisAutomaticMaximum(ChartAxis axis, bool on);
  bool AxisAutomaticMinimum(ChartAxis axis) const;
  bool AxisAutomaticMaximum(ChartAxis axis) const;
  // The range the axis shows after the latest Refresh().
  double AxisMinimum(ChartAxis axis) const;
  double AxisMaximum(ChartAxis axis) const;

  void SetLegendVisible(bool visible);
  bool LegendVisible() const;
  // A short text under the legend (a run's deviation, a fitted value); empty
  // removes it.
  void SetLegendNote(const QString& note);
  QString LegendNote() const;

  // Draws the points added since the last refresh and applies the automatic
  // axis ends. A hidden chart only takes the points in; it draws when shown.
  void Refresh();
  // True while points or settings wait for a Refresh().
  bool NeedsRefresh() const { return dirty_; }
  // Seconds the latest drawing took, for callers that pace their refreshes.
  double LastDrawSeconds() const { return lastDrawSeconds_; }

  // The chart as a picture, and that picture on the clipboard.
  QPixmap Picture();
  void CopyToClipboard();

  // The widget that takes the mouse, and the pixel of a point of a series in it
  // after Refresh() (for tests that click on a trace).
  QWidget* PlotArea() const;
  QPoint PixelOf(int i, double x, double y) const;

  // The colours series take in turn: the first ten stay distinguishable for
  // colour-blind readers; later series repeat them dashed.
  static int PaletteSize();
  static QColor PaletteColor(int i);

  // Every axis back to automatic ends, drawn at once (the double click on the
  // plot area and the context menu's "Automatic range").
  void RestoreAutomaticRange();
  // Whether a double click on the empty plot area restores the automatic
  // range (on by default). plotDoubleClicked is emitted either way.
  void SetDoubleClickRestoresRange(bool on) { doubleClickRestores_ = on; }

  // The picture in a file, the format by the name's suffix: ".svg", ".pdf",
  // otherwise PNG. Throws IoError when it cannot be written.
  // A PNG has PictureScale() times the chart's pixels in each direction (1,
  // 2 or 4: the screen, a slide, print at about 300 dpi); the context menu's
  // "PNG resolution" chooses it.
  void SavePicture(const QString& path);
  void SetPictureScale(int scale);
  int PictureScale() const { return pictureScale_; }
  // The name the save items offer, without suffix: the window's title and the
  // chart's title (or its name), in letters, digits, '-' and '_' only
  // ("f-I_curve_Chart1").
  QString DefaultFileName() const;
  // The visible series as a column file: a header line naming each column by
  // its series and unit (the axis title), then one row per point; a series
  // shorter than another leaves its cells empty. Throws IoError when the file
  // cannot be written completely.
  void SaveData(const QString& path);

  // The menu of the right mouse button; a window may add its own items.
  QMenu* ContextMenu() const { return menu_; }
  // The file name the context menu's save items ask for, the filter in the
  // program's form ("data-files|*.dat|all files|*.*"); an empty name cancels.
  // A file dialog unless replaced (the workbench asks through its dialogs).
  // `suggested` is the file name offered (DefaultFileName with the suffix).
  using FileNameAsker = std::function<QString(QWidget* parent, const QString& caption, const QString& suggested,
                                              const QString& filter)>;
  static void SetSaveFileNameAsker(FileNameAsker asker);

  // The read-out of the cursor's position in axis units, as shown ("" when
  // the cursor is outside the plot area), and the read-out of a pixel:
  // "x = 140.9 pA, y = 12.50 Hz", the units taken from the axis titles
  // ("I, pA", "f (Hz)", "mV"). Near a marked point of a sampled curve the
  // read-out gives that point's own values, "at point x = 144 pA, ...".
  QString CursorReadOut() const;
  QString ReadOutAt(QPoint pixel) const;
  // The unit of an axis title, empty when it names none.
  static QString UnitOf(const QString& axisTitle);

 signals:
  void seriesHidden(int index);
  // A double click on the plot area off every series and the legend, at (x, y)
  // in the units of the bottom and left axes.
  void plotDoubleClicked(double x, double y);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Bounds {
    double xMin, xMax, yMin, yMax;
    bool any = false;
    void Add(double x, double y);
    void Reset() { any = false; }
  };
  struct Series {
    QString title;
    SeriesKind kind;
    ChartAxis axis;
    QCPGraph* graph = nullptr;  // Line, FastLine
    QCPCurve* curve = nullptr;  // Points
    std::vector<QPointF> pending;
    Bounds bounds;
    double nextOrder = 0.0;  // order key of the next point of a Points series
    bool lineVisible = true;
    bool marked = false;  // the line's points are drawn as markers
  };
  struct AxisState {
    bool autoMin = true, autoMax = true;
    double min = 0.0, max = 1.0;
  };

  QCPAbstractPlottable* Plottable(int i) const;
  QCPAxis* Axis(ChartAxis axis) const;
  AxisState& State(ChartAxis axis) { return axes_[static_cast<int>(axis)]; }
  const AxisState& State(ChartAxis axis) const { return axes_[static_cast<int>(axis)]; }
  void MovePendingPoints();
  void ApplyRanges();
  void ApplyRange(ChartAxis axis);
  void UpdateLegendItem(int i);
  void ApplyLineStyle(int i);
  void UpdateMargins();
  void FitLegendAndTicks();
  int LegendWidthNeeded() const;
  void OnPlottableDoubleClick(QCPAbstractPlottable* plottable);
  void OnUserRangeChange(ChartAxis axis);
  int IndexOf(const QCPAbstractPlottable* plottable) const;
  void BuildContextMenu();
  void OnPlotDoubleClick(QMouseEvent* event);
  void OnMouseMove(QMouseEvent* event);
  void UpdateInteractionAxes();
  void AskAndSavePicture();
  void AskAndSaveData();

  QCustomPlot* plot_;
  QCPTextElement* title_ = nullptr;
  int pictureScale_ = 1;
  QCPLayoutGrid* side_ = nullptr;  // the legend's column
  QCPTextElement* note_ = nullptr;  // under the legend
  std::vector<Series> series_;
  AxisState axes_[3];
  bool dirty_ = true;
  bool applyingRanges_ = false;
  double lastDrawSeconds_ = 0.0;
  bool doubleClickRestores_ = true;
  QMenu* menu_ = nullptr;
  QLabel* readOut_ = nullptr;
};

// A chart that a window paints itself (the bubble maps of the firing rate)
// offers what every Chart offers on its right mouse button: "Save picture..."
// (PNG, SVG or PDF, the name asked as the charts ask it) and "CopyToBMP". The
// menu is returned so that the chart can add its own items.
QMenu* AddPictureMenu(QWidget* chart);
// The widget's picture in a file, the format by the name's suffix: ".svg",
// ".pdf", otherwise PNG. Throws IoError when it cannot be written.
void SaveWidgetPicture(QWidget& widget, const QString& path);

}  // namespace membrix
