#include "ui/chart.h"

#include <qcustomplot.h>

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QVBoxLayout>
#include <QStringList>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#ifdef MEMBRIX_HAVE_SVG
#include <QSvgGenerator>
#endif

#include "common/error.h"
#include "common/number_format.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

// Colours that stay apart on white for readers with any common colour-vision
// deficiency: the seven of Okabe and Ito that read well as thin lines (their
// yellow does not), then Tol's wine and olive and a mid grey.
const QColor kPalette[] = {QColor(0x00, 0x72, 0xB2), QColor(0xD5, 0x5E, 0x00), QColor(0x00, 0x9E, 0x73),
                           QColor(0xCC, 0x79, 0xA7), QColor(0xE6, 0x9F, 0x00), QColor(0x56, 0xB4, 0xE9),
                           QColor(0x00, 0x00, 0x00), QColor(0x88, 0x22, 0x55), QColor(0x99, 0x99, 0x33),
                           QColor(0x77, 0x77, 0x77)};
constexpr int kPaletteSize = static_cast<int>(sizeof kPalette / sizeof kPalette[0]);

Chart::FileNameAsker& SaveFileNameAsker() {
  static Chart::FileNameAsker asker;
  return asker;
}

// An axis title as a unit in a column header: "V, mV" stays, an empty title
// becomes "-".
QString UnitText(const QString& axisTitle) {
  const QString t = axisTitle.trimmed();
  return t.isEmpty() ? QStringLiteral("-") : t;
}

// A value of the read-out with the digits its axis shows, and a few more.
QString ReadOutNumber(double v, const QCPRange& range) {
  const double span = std::abs(range.upper - range.lower);
  int decimals = 3;
  if (span > 0.0 && std::isfinite(span)) decimals = std::clamp(3 - static_cast<int>(std::floor(std::log10(span))), 0, 9);
  return QString::number(v, 'f', decimals);
}

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
  side->setMargins(QMargins(0, 6, 3, 0));  // the legend's right border inside the widget
  // Equal room for the axes and the legend on every chart, so that charts
  // stacked on a page share their time axis pixel for pixel.
  side->setMinimumSize(kLegendWidth, 0);
  UpdateMargins();
  plot_->legend->setMargins(QMargins(4, 2, 4, 2));

  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
  plot_->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
  plot_->setNoAntialiasingOnDrag(true);
  UpdateInteractionAxes();
  plot_->installEventFilter(this);
  plot_->setMouseTracking(true);

  readOut_ = new QLabel(plot_);
  readOut_->setObjectName(QStringLiteral("CursorReadOut"));
  readOut_->setFont(small);
  readOut_->setStyleSheet(QStringLiteral("QLabel { background: rgba(255, 255, 255, 215); color: #303030;"
                                         " border: 1px solid #c8c8c8; padding: 0px 3px; }"));
  readOut_->setAttribute(Qt::WA_TransparentForMouseEvents);
  readOut_->hide();
  connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { OnMouseMove(e); });
  connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent* e) { OnPlotDoubleClick(e); });

  BuildContextMenu();
  plot_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(plot_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { menu_->popup(plot_->mapToGlobal(pos)); });

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
  const bool ownColour = !color.isValid();
  if (ownColour) color = PaletteColor(SeriesCount());
  Series s;
  s.title = title;
  s.kind = kind;
  s.axis = axis;
  QCPAxis* valueAxis = Axis(axis);
  if (axis == ChartAxis::Right) {
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->setTickLabels(true);
    UpdateMargins();
    UpdateInteractionAxes();
  }
  QPen pen(color);
  pen.setWidthF(kind == SeriesKind::FastLine ? 1.0 : 1.3);
  if (ownColour && SeriesCount() >= kPaletteSize) pen.setStyle(Qt::DashLine);
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

void Chart::SetSeriesLegend(int i, const QString& text) {
  Plottable(i)->setName(text);
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

void Chart::SetPointsJoined(int i, bool joined) {
  Series& s = series_.at(i);
  if (s.curve == nullptr) return;
  s.curve->setLineStyle(joined ? QCPCurve::lsLine : QCPCurve::lsNone);
  s.curve->setScatterStyle(joined ? QCPScatterStyle()
                                  : QCPScatterStyle(QCPScatterStyle::ssDisc, s.curve->pen().color(), 4));
  dirty_ = true;
}

void Chart::ApplyLineStyle(int i) {
  Series& s = series_[i];
  if (!s.graph) return;
  const bool marked = s.kind == SeriesKind::Line && s.lineVisible && s.graph->data()->size() > 0 &&
                      s.graph->data()->size() <= kMarkedPointLimit;
  const bool lineChanged = s.graph->lineStyle() != (s.lineVisible ? QCPGraph::lsLine : QCPGraph::lsNone);
  if (!lineChanged && marked == s.marked) return;
  s.marked = marked;
  s.graph->setLineStyle(s.lineVisible ? QCPGraph::lsLine : QCPGraph::lsNone);
  if (!s.lineVisible) {
    s.graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, s.graph->pen().color(), 3));
  } else if (marked) {
    s.graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, s.graph->pen().color(), Qt::white, 5));
  } else {
    s.graph->setScatterStyle(QCPScatterStyle());
  }
}

bool Chart::PointsMarked(int i) const {
  const Series& s = series_.at(i);
  if (s.curve != nullptr) return !s.curve->scatterStyle().isNone();
  return !s.graph->scatterStyle().isNone();
}

void Chart::SetAxisTitle(ChartAxis axis, const QString& title) {
  Axis(axis)->setLabel(title);
  if (axis == ChartAxis::Right && !title.isEmpty()) plot_->yAxis2->setVisible(true);
  UpdateMargins();
  UpdateInteractionAxes();
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

void Chart::SetLegendNote(const QString& note) {
  if (note_ == nullptr) {
    if (note.isEmpty()) return;
    side_->insertRow(1);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    note_ = new QCPTextElement(plot_, QString(), small);
    note_->setTextFlags(Qt::AlignLeft | Qt::TextWordWrap);
    note_->setMargins(QMargins(4, 4, 4, 2));
    side_->addElement(1, 0, note_);
    side_->setRowStretchFactor(1, 0.001);
  }
  note_->setText(note);
  note_->setVisible(!note.isEmpty());
  dirty_ = true;
}

QString Chart::LegendNote() const { return note_ != nullptr && note_->visible() ? note_->text() : QString(); }

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
  for (int i = 0; i < SeriesCount(); ++i) ApplyLineStyle(i);
  if (!isVisible()) return;  // drawn when shown
  QElapsedTimer timer;
  timer.start();
  FitLegendAndTicks();
  ApplyRanges();
  plot_->replot();
  lastDrawSeconds_ = timer.nsecsElapsed() * 1e-9;
  dirty_ = false;
}

int Chart::LegendWidthNeeded() const {
  if (!side_->visible() || plot_->legend->layout() != side_) return 0;
  return plot_->legend->minimumOuterSizeHint().width();
}

// The legend's column is as wide as its longest entry asks, never narrower than
// the width the charts of a page share, so that no title is cut off; charts
// stacked one above the other take the widest of their legends, so that their
// time axes still line up pixel for pixel.
void Chart::FitLegendAndTicks() {
  if (side_->visible() && plot_->legend->layout() == side_) {
    int need = std::max(kLegendWidth, LegendWidthNeeded());
    if (QWidget* page = parentWidget()) {
      for (const Chart* c : page->findChildren<Chart*>(Qt::FindDirectChildrenOnly)) {
        if (c != this && c->isVisible() && c->x() == x() && c->width() == width()) {
          need = std::max(need, c->LegendWidthNeeded());
        }
      }
    }
    if (side_->minimumSize().width() != need) side_->setMinimumSize(need, 0);
  }
  // A narrow or low plot takes fewer ticks, so that its numbers stay apart.
  const QRect area = plot_->axisRect()->rect();
  if (area.width() > 0) plot_->xAxis->ticker()->setTickCount(std::clamp(area.width() / 90, 2, 5));
  if (area.height() > 0) {
    const int ticks = std::clamp(area.height() / 45, 2, 5);
    plot_->yAxis->ticker()->setTickCount(ticks);
    plot_->yAxis2->ticker()->setTickCount(ticks);
  }
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

int Chart::PaletteSize() { return kPaletteSize; }

QColor Chart::PaletteColor(int i) { return kPalette[(i < 0 ? -i : i) % kPaletteSize]; }

// The wheel, the drag and the box zoom move the bottom axis and every value
// axis shown.
void Chart::UpdateInteractionAxes() {
  QList<QCPAxis*> vertical{plot_->yAxis};
  if (plot_->yAxis2->visible()) vertical << plot_->yAxis2;
  plot_->axisRect()->setRangeDragAxes({plot_->xAxis}, vertical);
  plot_->axisRect()->setRangeZoomAxes({plot_->xAxis}, vertical);
}

void Chart::RestoreAutomaticRange() {
  for (ChartAxis axis : {ChartAxis::Bottom, ChartAxis::Left, ChartAxis::Right}) SetAxisAutomatic(axis, true);
  Refresh();
}

bool Chart::eventFilter(QObject* watched, QEvent* event) {
  if (watched == plot_) {
    switch (event->type()) {
      case QEvent::MouseButtonPress: {
        // Ctrl turns the drag into a box zoom.
        const auto* e = static_cast<QMouseEvent*>(event);
        plot_->setSelectionRectMode(e->button() == Qt::LeftButton && (e->modifiers() & Qt::ControlModifier)
                                        ? QCP::srmZoom
                                        : QCP::srmNone);
        break;
      }
      case QEvent::Wheel: {
        const auto* e = static_cast<QWheelEvent*>(event);
        Qt::Orientations zoom = Qt::Horizontal | Qt::Vertical;
        if (e->modifiers() & Qt::ShiftModifier) zoom = Qt::Horizontal;
        if (e->modifiers() & Qt::AltModifier) zoom = Qt::Vertical;
        plot_->axisRect()->setRangeZoom(zoom);
        break;
      }
      case QEvent::Leave:
        readOut_->hide();
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Chart::OnPlotDoubleClick(QMouseEvent* event) {
  const QPointF pos = event->position();
  if (!plot_->axisRect()->rect().contains(pos.toPoint())) return;
  if (plot_->plottableAt(pos) != nullptr) return;  // a series: hidden by its own handler
  if (plot_->legend->visible() && plot_->legend->outerRect().contains(pos.toPoint())) return;
  emit plotDoubleClicked(plot_->xAxis->pixelToCoord(pos.x()), plot_->yAxis->pixelToCoord(pos.y()));
  if (doubleClickRestores_) RestoreAutomaticRange();
}

QString Chart::UnitOf(const QString& axisTitle) {
  const QString t = axisTitle.trimmed();
  // "I, pA", "dVdt, mV/ms"
  const int comma = t.lastIndexOf(QLatin1Char(','));
  if (comma >= 0) return t.mid(comma + 1).trimmed();
  // "f (Hz)", "I [pA]"
  for (const auto& [open, close] : {std::pair{'(', ')'}, std::pair{'[', ']'}}) {
    if (t.endsWith(QLatin1Char(close)) && t.contains(QLatin1Char(open))) {
      const int at = t.lastIndexOf(QLatin1Char(open));
      return t.mid(at + 1, t.size() - at - 2).trimmed();
    }
  }
  // A title that is a unit by itself: "mV", "nA", "Hz", "ms".
  static const QStringList kUnits = {QStringLiteral("mV"), QStringLiteral("nA"), QStringLiteral("pA"),
                                     QStringLiteral("Hz"), QStringLiteral("ms"), QStringLiteral("s"),
                                     QStringLiteral("V"),  QStringLiteral("A"),  QStringLiteral("mS/cm^2"),
                                     QStringLiteral("muA/cm^2"), QStringLiteral("mkA/cm^2"), QStringLiteral("%")};
  return kUnits.contains(t) ? t : QString();
}

namespace {

QString WithUnit(const QString& number, const QString& axisTitle) {
  const QString unit = Chart::UnitOf(axisTitle);
  return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

// A sample's own value: as many digits as it needs, up to a few more than
// its axis shows.
QString SampleNumber(double v, const QCPRange& range) {
  const QString fixed = ReadOutNumber(v, range);
  QString shortest = QString::number(v, 'g', 10);
  return shortest.size() <= fixed.size() + 2 ? shortest : fixed;
}

// How near, in pixels, the cursor must be to a marked point to read it.
constexpr double kSnapPixels = 6.0;

}  // namespace

QString Chart::ReadOutAt(QPoint pixel) const {
  if (!plot_->axisRect()->rect().contains(pixel)) return {};
  const QCPAxis* x = plot_->xAxis;
  // The nearest marked sample under the cursor is read as it is.
  double best = kSnapPixels * kSnapPixels;
  const Series* near = nullptr;
  QPointF at;
  for (int i = 0; i < SeriesCount(); ++i) {
    const Series& s = series_[i];
    if (!s.marked || !SeriesVisible(i)) continue;
    const QCPAxis* y = Axis(s.axis);
    for (auto it = s.graph->data()->constBegin(); it != s.graph->data()->constEnd(); ++it) {
      const double dx = x->coordToPixel(it->key) - pixel.x();
      const double dy = y->coordToPixel(it->value) - pixel.y();
      if (dx * dx + dy * dy < best) {
        best = dx * dx + dy * dy;
        near = &s;
        at = QPointF(it->key, it->value);
      }
    }
  }
  if (near != nullptr) {
    const QCPAxis* y = Axis(near->axis);
    return QStringLiteral("at point x = %1, y = %2")
        .arg(WithUnit(SampleNumber(at.x(), x->range()), x->label()),
             WithUnit(SampleNumber(at.y(), y->range()), y->label()));
  }
  QString text = QStringLiteral("x = %1").arg(WithUnit(ReadOutNumber(x->pixelToCoord(pixel.x()), x->range()), x->label()));
  for (const QCPAxis* y : {plot_->yAxis, plot_->yAxis2}) {
    if (!y->visible()) continue;
    text += QStringLiteral(", y = %1").arg(WithUnit(ReadOutNumber(y->pixelToCoord(pixel.y()), y->range()), y->label()));
  }
  return text;
}

QString Chart::CursorReadOut() const { return readOut_->isVisible() ? readOut_->text() : QString(); }

void Chart::OnMouseMove(QMouseEvent* event) {
  const QString text = ReadOutAt(event->position().toPoint());
  if (text.isEmpty()) {
    readOut_->hide();
    return;
  }
  readOut_->setText(text);
  readOut_->adjustSize();
  // In the top right corner of the plot area, clear of the traces' start.
  const QRect area = plot_->axisRect()->rect();
  readOut_->move(area.right() - readOut_->width() - 2, area.top() + 2);
  readOut_->show();
}

void Chart::BuildContextMenu() {
  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("ChartMenu"));
  QAction* picture = menu_->addAction(QStringLiteral("Save picture..."));
  picture->setObjectName(QStringLiteral("Save picture..."));
  connect(picture, &QAction::triggered, this, [this] { AskAndSavePicture(); });
  QAction* data = menu_->addAction(QStringLiteral("Save data..."));
  data->setObjectName(QStringLiteral("Save data..."));
  connect(data, &QAction::triggered, this, [this] { AskAndSaveData(); });
  QAction* copy = menu_->addAction(QStringLiteral("CopyToBMP"));
  copy->setObjectName(QStringLiteral("CopyToBMP"));
  connect(copy, &QAction::triggered, this, [this] { CopyToClipboard(); });
  QMenu* resolution = menu_->addMenu(QStringLiteral("PNG resolution"));
  resolution->setObjectName(QStringLiteral("PNG resolution"));
  auto* choice = new QActionGroup(resolution);
  const struct {
    const char* text;
    int scale;
  } scales[] = {{"As on the screen", 1}, {"Twice (slides)", 2}, {"Four times (print, about 300 dpi)", 4}};
  for (const auto& sc : scales) {
    QAction* a = resolution->addAction(QString::fromUtf8(sc.text));
    a->setObjectName(QStringLiteral("PngScale%1").arg(sc.scale));
    a->setProperty("pictureScale", sc.scale);
    a->setCheckable(true);
    a->setChecked(sc.scale == pictureScale_);
    choice->addAction(a);
    connect(a, &QAction::triggered, this, [this, scale = sc.scale] { SetPictureScale(scale); });
  }
  menu_->addSeparator();
  QAction* automatic = menu_->addAction(QStringLiteral("Automatic range"));
  automatic->setObjectName(QStringLiteral("Automatic range"));
  connect(automatic, &QAction::triggered, this, [this] { RestoreAutomaticRange(); });
}

void Chart::SetSaveFileNameAsker(FileNameAsker asker) { SaveFileNameAsker() = std::move(asker); }

void Chart::SetPictureScale(int scale) {
  pictureScale_ = std::clamp(scale, 1, 8);
  for (QAction* a : menu_->findChildren<QAction*>()) {
    const QVariant v = a->property("pictureScale");
    if (v.isValid()) a->setChecked(v.toInt() == pictureScale_);
  }
}

namespace {

// A file name from the window's title (as made, without the model it ran)
// and a picture's own title: letters, digits, '-' and '_' only.
QString FileNameFor(const QWidget& w, const QString& ownTitle) {
  const QWidget* top = w.window();
  QString windowTitle = top->property("membrixBaseTitle").toString();
  if (windowTitle.isEmpty() && top != &w) windowTitle = top->windowTitle();
  QString name;
  for (const QString& part : {windowTitle, ownTitle}) {
    QString clean;
    for (const QChar c : part) {
      if ((c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-')) {
        clean += c;
      } else if (!clean.isEmpty() && !clean.endsWith(QLatin1Char('_'))) {
        clean += QLatin1Char('_');
      }
    }
    while (clean.endsWith(QLatin1Char('_'))) clean.chop(1);
    if (clean.isEmpty()) continue;
    if (!name.isEmpty()) name += QLatin1Char('_');
    name += clean;
  }
  return name.isEmpty() ? QStringLiteral("chart") : name;
}

QString AskSaveFileName(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter) {
  if (const Chart::FileNameAsker& asker = SaveFileNameAsker()) return asker(parent, caption, suggested, filter);
  return QFileDialog::getSaveFileName(parent, caption, suggested, UserDialogs::DialogFilter(filter));
}

void ReportSaveFailure(QWidget* parent, const std::exception& e) {
  QMessageBox::warning(parent, QStringLiteral("Membrix"), QString::fromUtf8(e.what()));
}

// The file of "Save picture...": PNG unless the name says otherwise.
QString AskPicturePath(QWidget* parent, const QString& suggested) {
  QString filter = QStringLiteral("PNG picture|*.png");
#ifdef MEMBRIX_HAVE_SVG
  filter += QStringLiteral("|SVG drawing|*.svg");
#endif
  filter += QStringLiteral("|PDF document|*.pdf");
  QString path = AskSaveFileName(parent, QStringLiteral("Save picture"), suggested + QStringLiteral(".png"), filter);
  if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");
  return path;
}

}  // namespace

QString Chart::DefaultFileName() const {
  return FileNameFor(*this, title_ != nullptr && !title_->text().isEmpty() ? title_->text() : objectName());
}

void Chart::AskAndSavePicture() {
  const QString path = AskPicturePath(this, DefaultFileName());
  if (path.isEmpty()) return;
  try {
    SavePicture(path);
  } catch (const Error& e) {
    ReportSaveFailure(this, e);
  }
}

void Chart::AskAndSaveData() {
  QString path = AskSaveFileName(this, QStringLiteral("Save data"), DefaultFileName() + QStringLiteral(".dat"),
                                 QStringLiteral("data-files|*.dat|all files|*.*"));
  if (path.isEmpty()) return;
  try {
    SaveData(path);
  } catch (const Error& e) {
    ReportSaveFailure(this, e);
  }
}

void Chart::SavePicture(const QString& path) {
  Refresh();
  const int w = std::max(plot_->width(), 200);
  const int h = std::max(plot_->height(), 120);
  const QString suffix = QFileInfo(path).suffix().toLower();
  bool ok = false;
  if (suffix == QLatin1String("pdf")) {
    ok = plot_->savePdf(path, w, h);
  } else if (suffix == QLatin1String("svg")) {
#ifdef MEMBRIX_HAVE_SVG
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(w, h));
    svg.setViewBox(QRect(0, 0, w, h));
    svg.setTitle(title_ != nullptr ? title_->text() : QStringLiteral("Membrix chart"));
    QCPPainter painter;
    ok = painter.begin(&svg);
    if (ok) {
      plot_->toPainter(&painter, w, h);
      ok = painter.end();
    }
    ok = ok && QFileInfo(path).size() > 0;
#else
    throw IoError(path.toStdString(), "this build of the workbench cannot write SVG; choose PNG or PDF");
#endif
  } else {
    ok = plot_->savePng(path, w, h, pictureScale_);
  }
  if (!ok) throw IoError(path.toStdString(), "the picture could not be written");
}

void Chart::SaveData(const QString& path) {
  MovePendingPoints();
  std::vector<int> shown;
  for (int i = 0; i < SeriesCount(); ++i) {
    if (SeriesVisible(i)) shown.push_back(i);
  }
  const QString xUnit = UnitText(plot_->xAxis->label());
  std::string text;
  if (title_ != nullptr && title_->visible()) text += "# " + title_->text().toStdString() + '\n';
  // Two columns per series: its x in the bottom axis' unit, its y in its own axis' unit.
  for (std::size_t k = 0; k < shown.size(); ++k) {
    const int i = shown[k];
    const QString name = series_[i].title.trimmed().isEmpty() ? QStringLiteral("series %1").arg(i + 1)
                                                              : series_[i].title.trimmed();
    if (k > 0) text += '\t';
    text += QStringLiteral("%1: x [%2]\t%1 [%3]")
                .arg(name, xUnit, UnitText(Axis(series_[i].axis)->label()))
                .toStdString();
  }
  text += '\n';
  int rows = 0;
  for (int i : shown) rows = std::max(rows, PointCount(i));
  for (int r = 0; r < rows; ++r) {
    for (std::size_t k = 0; k < shown.size(); ++k) {
      if (k > 0) text += '\t';
      if (r < PointCount(shown[k])) {
        const QPointF p = Point(shown[k], r);
        AppendScientific(text, p.x(), 14);
        text += '\t';
        AppendScientific(text, p.y(), 14);
      } else {
        text += '\t';
      }
    }
    text += '\n';
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw IoError(path.toStdString(), file.errorString().toStdString());
  const auto size = static_cast<qint64>(text.size());
  if (file.write(text.data(), size) != size || !file.flush()) {
    const std::string reason = file.errorString().toStdString();
    file.close();
    file.remove();  // never left looking complete
    throw IoError(path.toStdString(), reason);
  }
}

QMenu* AddPictureMenu(QWidget* chart) {
  auto* menu = new QMenu(chart);
  menu->setObjectName(QStringLiteral("ChartMenu"));
  QAction* picture = menu->addAction(QStringLiteral("Save picture..."));
  picture->setObjectName(QStringLiteral("Save picture..."));
  QObject::connect(picture, &QAction::triggered, chart, [chart] {
    const QString path = AskPicturePath(chart, FileNameFor(*chart, chart->objectName()));
    if (path.isEmpty()) return;
    try {
      SaveWidgetPicture(*chart, path);
    } catch (const Error& e) {
      ReportSaveFailure(chart, e);
    }
  });
  QAction* copy = menu->addAction(QStringLiteral("CopyToBMP"));
  copy->setObjectName(QStringLiteral("CopyToBMP"));
  QObject::connect(copy, &QAction::triggered, chart,
                   [chart] { QApplication::clipboard()->setPixmap(chart->grab()); });
  chart->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(chart, &QWidget::customContextMenuRequested, menu,
                   [chart, menu](const QPoint& pos) { menu->popup(chart->mapToGlobal(pos)); });
  return menu;
}

void SaveWidgetPicture(QWidget& widget, const QString& path) {
  const QSize size = widget.size().expandedTo(QSize(200, 120));
  const QString suffix = QFileInfo(path).suffix().toLower();
  bool ok = false;
  if (suffix == QLatin1String("pdf")) {
    // One page the size of the widget, a pixel to a point.
    QPdfWriter pdf(path);
    pdf.setResolution(72);
    pdf.setPageSize(QPageSize(QSizeF(size), QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    ok = painter.begin(&pdf);
    if (ok) {
      widget.render(&painter);
      ok = painter.end();
    }
  } else if (suffix == QLatin1String("svg")) {
#ifdef MEMBRIX_HAVE_SVG
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Membrix chart"));
    QPainter painter;
    ok = painter.begin(&svg);
    if (ok) {
      widget.render(&painter);
      ok = painter.end();
    }
#else
    throw IoError(path.toStdString(), "this build of the workbench cannot write SVG; choose PNG or PDF");
#endif
  } else {
    ok = widget.grab().save(path, "PNG");
  }
  ok = ok && QFileInfo(path).size() > 0;
  if (!ok) throw IoError(path.toStdString(), "the picture could not be written");
}

}  // namespace membrix
