#include "ui/chart.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QVBoxLayout>
#include <cmath>

namespace membrix {

namespace {

// Distinct colours that stay apart on white, in the order series take them.
const QColor kPalette[] = {QColor(0, 0, 200),   QColor(200, 0, 0),   QColor(0, 140, 0),
                           QColor(230, 120, 0), QColor(140, 0, 160), QColor(0, 150, 160),
                           QColor(120, 80, 30), QColor(90, 90, 90),  QColor(220, 0, 140),
                           QColor(100, 160, 0), QColor(0, 90, 140),  QColor(180, 150, 0)};

// Room left above and below the points of an automatic value axis.
constexpr double kValueMargin = 0.05;
// The width of the legend's column, the same on every chart.
constexpr int kLegendWidth = 110;

}  // namespace

void Chart::Bounds::Add(double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  if (!any) {
    xMin = xMax = x;
    yMin = yMax = y;
    any = true;
    return;
  }
  if (x < xMin) xMin = x;
  if (x > xMax) xMax = x;
  if (y < yMin) yMin = y;
  if (y > yMax) yMax = y;
}

Chart::Chart(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_);
  setMinimumSize(200, 120);

  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  plot_->xAxis->setTickLabelFont(small);
  plot_->yAxis->setTickLabelFont(small);
  plot_->yAxis2->setTickLabelFont(small);
  plot_->xAxis2->setVisible(false);
  plot_->yAxis2->setVisible(false);

  // The legend sits in its own column right of the plot, so it never covers a trace.
  plot_->legend->setVisible(true);
  plot_->legend->setFont(small);
  plot_->legend->setRowSpacing(-3);
  plot_->legend->setBorderPen(QPen(QColor(200, 200, 200)));
  plot_->axisRect()->insetLayout()->take(plot_->legend);
  side_ = new QCPLayoutGrid;
  QCPLayoutGrid* side = side_;
  plot_->plotLayout()->addElement(0, 1, side);
  plot_->plotLayout()->setColumnStretchFactor(1, 0.001);
  side->addElement(0, 0, plot_->legend);
  side->addElement(1, 0, new QCPLayoutElement(plot_));  // the room below the legend
  side->setRowStretchFactor(0, 0.001);
  side->setRowStretchFactor(1, 1.0);
  side->setMargins(QMargins(0, 6, 0, 0));
  // Equal room for the axes and the legend on every chart, so that charts
  // stacked on a page share their time axis pixel for pixel.
  side->setMinimumSize(kLegendWidth, 0);
  UpdateMargins();
  plot_->legend->setMargins(QMargins(4, 2, 4, 2));

  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->axisRect()->setRangeDrag(Qt::Horizontal);
  plot_->axisRect()->setRangeZoom(Qt::Horizontal);
  plot_->setNoAntialiasingOnDrag(true);

  connect(plot_, &QCustomPlot::plottableDoubleClick, this,
          [this](QCPAbstractPlottable* p, int, QMouseEvent*) { OnPlottableDoubleClick(p); });
  connect(plot_, &QCustomPlot::legendDoubleClick, this,
          [this](QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent*) {
            auto* entry = qobject_cast<QCPPlottableLegendItem*>(item);
            if (!entry) return;
            const int i = IndexOf(entry->plottable());
            if (i >= 0) SetSeriesVisible(i, !SeriesVisible(i));
            Refresh();
          });
  // A drag or a zoom of the mouse fixes the axis where the user left it.
  connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this](const QCPRange&) { OnUserRangeChange(ChartAxis::Bottom); });
  connect(plot_->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this](const QCPRange&) { OnUserRangeChange(ChartAxis::Left); });
  connect(plot_->yAxis2, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this](const QCPRange&) { OnUserRangeChange(ChartAxis::Right); });
}

Chart::~Chart() = default;

void Chart::UpdateMargins() {
  plot_->axisRect()->setMinimumMargins(QMargins(64, 8, plot_->yAxis2->visible() ? 72 : 12, 8));
}

void Chart::SetTitle(const QString& title) {
  if (title.isEmpty()) {
    if (title_) title_->setVisible(false);
    dirty_ = true;
    return;
  }
  if (!title_) {
    plot_->plotLayout()->insertRow(0);
    QFont bold = font();
    bold.setBold(true);
    title_ = new QCPTextElement(plot_, title, bold);
    plot_->plotLayout()->addElement(0, 0, title_);
  }
  title_->setText(title);
  title_->setVisible(true);
  dirty_ = true;
}

QCPAxis* Chart::Axis(ChartAxis axis) const {
  switch (axis) {
    case ChartAxis::Bottom:
      return plot_->xAxis;
    case ChartAxis::Left:
      return plot_->yAxis;
    case ChartAxis::Right:
      return plot_->yAxis2;
  }
  return plot_->xAxis;
}

int Chart::AddSeries(const QString& title, SeriesKind kind, ChartAxis axis, QColor color) {
  if (axis == ChartAxis::Bottom) axis = ChartAxis::Left;
  if (!color.isValid()) color = kPalette[series_.size() % (sizeof kPalette / sizeof kPalette[0])];
  Series s;
  s.title = title;
  s.kind = kind;
  s.axis = axis;
  QCPAxis* valueAxis = Axis(axis);
  if (axis == ChartAxis::Right) {
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->setTickLabels(true);
    UpdateMargins();
  }
  QPen pen(color);
  pen.setWidthF(kind == SeriesKind::FastLine ? 1.0 : 1.3);
  if (kind == SeriesKind::Points) {
    s.curve = new QCPCurve(plot_->xAxis, valueAxis);
    s.curve->setName(title);
    s.curve->setPen(pen);
    s.curve->setLineStyle(QCPCurve::lsNone);
    s.curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, color, 4));
  } else {
    s.graph = plot_->addGraph(plot_->xAxis, valueAxis);
    s.graph->setName(title);
    s.graph->setPen(pen);
    s.graph->setAdaptiveSampling(true);
  }
  series_.push_back(std::move(s));
  dirty_ = true;
  return SeriesCount() - 1;
}

int Chart::FindSeries(const QString& title) const {
  for (int i = 0; i < SeriesCount(); ++i) {
    if (series_[i].title == title) return i;
  }
  return -1;
}

QString Chart::SeriesTitle(int i) const { return series_.at(i).title; }

void Chart::SetSeriesTitle(int i, const QString& title) {
  series_.at(i).title = title;
  Plottable(i)->setName(title);
  dirty_ = true;
}

QCPAbstractPlottable* Chart::Plottable(int i) const {
  const Series& s = series_.at(i);
  if (s.graph) return s.graph;
  return s.curve;
}

int Chart::IndexOf(const QCPAbstractPlottable* plottable) const {
  for (int i = 0; i < SeriesCount(); ++i) {
    if (Plottable(i) == plottable) return i;
  }
  return -1;
}

void Chart::AddPoint(int i, double x, double y) {
  Series& s = series_[i];
  s.pending.emplace_back(x, y);
  s.bounds.Add(x, y);
  dirty_ = true;
}

void Chart::Clear(int i) {
  Series& s = series_.at(i);
  s.pending.clear();
  s.bounds.Reset();
  s.nextOrder = 0.0;
  if (s.graph) s.graph->data()->clear();
  if (s.curve) s.curve->data()->clear();
  dirty_ = true;
}

void Chart::ClearAll() {
  for (int i = 0; i < SeriesCount(); ++i) Clear(i);
}

int Chart::PointCount(int i) const {
  const Series& s = series_.at(i);
  const int drawn = s.graph ? s.graph->data()->size() : s.curve->data()->size();
  return drawn + static_cast<int>(s.pending.size());
}

QPointF Chart::Point(int i, int k) const {
  const Series& s = series_.at(i);
  const int drawn = s.graph ? s.graph->data()->size() : s.curve->data()->size();
  if (k >= drawn) return s.pending.at(static_cast<std::size_t>(k - drawn));
  if (s.graph) {
    const auto it = s.graph->data()->at(k);
    return {it->key, it->value};
  }
  const auto it = s.curve->data()->at(k);
  return {it->key, it->value};
}

void Chart::SetSeriesVisible(int i, bool visible) {
  QCPAbstractPlottable* p = Plottable(i);
  if (p->visible() == visible) return;
  p->setVisible(visible);
  UpdateLegendItem(i);
  dirty_ = true;
}

bool Chart::SeriesVisible(int i) const { return Plottable(i)->visible(); }

void Chart::ShowAllSeries() {
  for (int i = 0; i < SeriesCount(); ++i) SetSeriesVisible(i, true);
}

void Chart::UpdateLegendItem(int i) {
  if (QCPPlottableLegendItem* item = plot_->legend->itemWithPlottable(Plottable(i))) {
    item->setTextColor(SeriesVisible(i) ? QColor(Qt::black) : QColor(170, 170, 170));
  }
}

void Chart::SetLineVisible(int i, bool visible) {
  series_.at(i).lineVisible = visible;
  ApplyLineStyle(i);
  dirty_ = true;
}

bool Chart::LineVisible(int i) const { return series_.at(i).lineVisible; }

void Chart::ApplyLineStyle(int i) {
  Series& s = series_[i];
  if (!s.graph) return;
  s.graph->setLineStyle(s.lineVisible ? QCPGraph::lsLine : QCPGraph::lsNone);
  s.graph->setScatterStyle(s.lineVisible
                               ? QCPScatterStyle()
                               : QCPScatterStyle(QCPScatterStyle::ssDisc, s.graph->pen().color(), 3));
}

void Chart::SetAxisTitle(ChartAxis axis, const QString& title) {
  Axis(axis)->setLabel(title);
  if (axis == ChartAxis::Right && !title.isEmpty()) plot_->yAxis2->setVisible(true);
  UpdateMargins();
  dirty_ = true;
}

QString Chart::AxisTitle(ChartAxis axis) const { return Axis(axis)->label(); }

void Chart::SetAxisMinimum(ChartAxis axis, double v) {
  State(axis).autoMin = false;
  State(axis).min = v;
  dirty_ = true;
}

void Chart::SetAxisMaximum(ChartAxis axis, double v) {
  State(axis).autoMax = false;
  State(axis).max = v;
  dirty_ = true;
}

void Chart::SetAxisRange(ChartAxis axis, double a, double b) {
  SetAxisMinimum(axis, std::min(a, b));
  SetAxisMaximum(axis, std::max(a, b));
}

void Chart::SetAxisAutomatic(ChartAxis axis, bool on) {
  SetAxisAutomaticMinimum(axis, on);
  SetAxisAutomaticMaximum(axis, on);
}

void Chart::SetAxisAutomaticMinimum(ChartAxis axis, bool on) {
  AxisState& a = State(axis);
  if (!on && a.autoMin) a.min = AxisMinimum(axis);
  a.autoMin = on;
  dirty_ = true;
}

void Chart::SetAxisAutomaticMaximum(ChartAxis axis, bool on) {
  AxisState& a = State(axis);
  if (!on && a.autoMax) a.max = AxisMaximum(axis);
  a.autoMax = on;
  dirty_ = true;
}

bool Chart::AxisAutomaticMinimum(ChartAxis axis) const { return State(axis).autoMin; }
bool Chart::AxisAutomaticMaximum(ChartAxis axis) const { return State(axis).autoMax; }
double Chart::AxisMinimum(ChartAxis axis) const { return Axis(axis)->range().lower; }
double Chart::AxisMaximum(ChartAxis axis) const { return Axis(axis)->range().upper; }

void Chart::SetLegendVisible(bool visible) {
  plot_->legend->setVisible(visible);
  side_->setVisible(visible);
  side_->setMinimumSize(visible ? kLegendWidth : 0, 0);
  dirty_ = true;
}

bool Chart::LegendVisible() const { return plot_->legend->visible(); }

void Chart::MovePendingPoints() {
  for (Series& s : series_) {
    if (s.pending.empty()) continue;
    if (s.graph) {
      // Points that come in time order are appended at the end of the container.
      auto data = s.graph->data();
      for (const QPointF& p : s.pending) data->add(QCPGraphData(p.x(), p.y()));
    } else {
      auto data = s.curve->data();
      for (const QPointF& p : s.pending) data->add(QCPCurveData(s.nextOrder++, p.x(), p.y()));
    }
    s.pending.clear();
  }
}

void Chart::ApplyRange(ChartAxis axis) {
  const AxisState& a = State(axis);
  const bool bottom = axis == ChartAxis::Bottom;
  bool any = false;
  double dataLo = 0.0, dataHi = 0.0;
  for (int i = 0; i < SeriesCount(); ++i) {
    const Series& s = series_[i];
    if (!s.bounds.any || !SeriesVisible(i)) continue;
    if (!bottom && s.axis != axis) continue;
    const double lo = bottom ? s.bounds.xMin : s.bounds.yMin;
    const double hi = bottom ? s.bounds.xMax : s.bounds.yMax;
    dataLo = any ? std::min(dataLo, lo) : lo;
    dataHi = any ? std::max(dataHi, hi) : hi;
    any = true;
  }
  if (any && !bottom) {
    const double room = (dataHi - dataLo) * kValueMargin;
    dataLo -= room;
    dataHi += room;
  }
  const QCPRange shown = Axis(axis)->range();
  double lo = a.autoMin ? (any ? dataLo : shown.lower) : a.min;
  double hi = a.autoMax ? (any ? dataHi : shown.upper) : a.max;
  if (!(lo < hi) && a.autoMin && a.autoMax && std::isfinite(lo)) {
    // A flat trace sits in the middle of a window of a tenth of its value.
    const double half = lo != 0.0 ? 0.05 * std::abs(lo) : 0.5;
    lo -= half;
    hi += half;
  }
  if (!(lo < hi)) {
    // A fixed end beyond the data: a unit window on the automatic side.
    if (a.autoMax || !a.autoMin) {
      hi = lo + 1.0;
    } else {
      lo = hi - 1.0;
    }
    if (!(lo < hi)) {  // not a number
      lo = 0.0;
      hi = 1.0;
    }
  }
  Axis(axis)->setRange(lo, hi);
}

void Chart::ApplyRanges() {
  applyingRanges_ = true;
  ApplyRange(ChartAxis::Bottom);
  ApplyRange(ChartAxis::Left);
  if (plot_->yAxis2->visible()) ApplyRange(ChartAxis::Right);
  applyingRanges_ = false;
}

void Chart::Refresh() {
  MovePendingPoints();
  if (!isVisible()) return;  // drawn when shown
  QElapsedTimer timer;
  timer.start();
  ApplyRanges();
  plot_->replot();
  lastDrawSeconds_ = timer.nsecsElapsed() * 1e-9;
  dirty_ = false;
}

void Chart::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (dirty_) Refresh();
}

void Chart::OnUserRangeChange(ChartAxis axis) {
  if (applyingRanges_) return;
  const QCPRange r = Axis(axis)->range();
  AxisState& a = State(axis);
  a.autoMin = a.autoMax = false;
  a.min = r.lower;
  a.max = r.upper;
}

void Chart::OnPlottableDoubleClick(QCPAbstractPlottable* plottable) {
  const int i = IndexOf(plottable);
  if (i < 0) return;
  SetSeriesVisible(i, false);
  emit seriesHidden(i);
  Refresh();
}

QPixmap Chart::Picture() {
  Refresh();
  return plot_->toPixmap(plot_->width(), plot_->height());
}

void Chart::CopyToClipboard() { QApplication::clipboard()->setPixmap(Picture()); }

QWidget* Chart::PlotArea() const { return plot_; }

QPoint Chart::PixelOf(int i, double x, double y) const {
  const QCPAxis* valueAxis = Axis(series_.at(i).axis);
  return {static_cast<int>(std::lround(plot_->xAxis->coordToPixel(x))),
          static_cast<int>(std::lround(valueAxis->coordToPixel(y)))};
}

}  // namespace membrix
