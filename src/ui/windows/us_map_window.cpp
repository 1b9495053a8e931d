#include "tasks/task_inputs.h"
#include "ui/windows/us_map_window.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <qcustomplot.h>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/error.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/main_window.h"
#include "ui/numeric_input.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

QString Number(double x) { return QString::number(x, 'g', 4); }

// The name of an axis title "u, µA/cm²" and its unit.
QString TitleName(const QString& title) { return title.section(QStringLiteral(", "), 0, 0).trimmed(); }
QString TitleUnit(const QString& title) { return title.section(QStringLiteral(", "), 1).trimmed(); }

// The smallest spacing between the distinct coordinates, 0 for fewer than two.
double Spacing(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  double d = 0.0;
  for (std::size_t i = 1; i < v.size(); ++i) {
    const double step = v[i] - v[i - 1];
    const double tolerance = 1e-9 * std::max(std::abs(v[i]), std::abs(v[i - 1]));
    if (step > tolerance && (d == 0.0 || step < d)) d = step;
  }
  return d;
}

}  // namespace

QColor MapScaleColour(double fraction) {
  // Viridis, sampled at eleven points and interpolated between them.
  static constexpr int kStops[11][3] = {{68, 1, 84},    {72, 36, 117},  {65, 68, 135},  {53, 95, 141},
                                        {42, 120, 142}, {33, 145, 140}, {34, 168, 132}, {68, 191, 112},
                                        {122, 209, 81}, {189, 223, 38}, {253, 231, 37}};
  if (!std::isfinite(fraction)) fraction = 0.0;
  const double f = std::clamp(fraction, 0.0, 1.0) * 10.0;
  const int i = std::min(9, static_cast<int>(f));
  const double t = f - i;
  auto mix = [&](int c) { return static_cast<int>(std::lround(kStops[i][c] + t * (kStops[i + 1][c] - kStops[i][c]))); };
  return QColor(mix(0), mix(1), mix(2));
}

BubbleMap::BubbleMap(QWidget* parent) : QWidget(parent) {
  setMinimumSize(360, 260);
  setAutoFillBackground(true);
  setMouseTracking(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
  setToolTip(QStringLiteral("Double click: read the map file and toggle between F and G"));
  menu_ = AddPictureMenu(this);
  menu_->addSeparator();
  QAction* automatic = menu_->addAction(QStringLiteral("Automatic range"));
  automatic->setObjectName(QStringLiteral("Automatic range"));
  connect(automatic, &QAction::triggered, this, [this] { RestoreRange(); });
}

void BubbleMap::SetRanges(double xMin, double xMax, double yMin, double yMax) {
  fullXMin_ = xMin, fullXMax_ = xMax > xMin ? xMax : xMin + 1;
  fullYMin_ = yMin, fullYMax_ = yMax > yMin ? yMax : yMin + 1;
  RestoreRange();
}

void BubbleMap::RestoreRange() {
  xMin_ = fullXMin_, xMax_ = fullXMax_, yMin_ = fullYMin_, yMax_ = fullYMax_;
  update();
}

QRect BubbleMap::PlotRect() const {
  const QFontMetrics fm = fontMetrics();
  const int barWidth = 18, barGap = 14 + fm.horizontalAdvance(QStringLiteral("F -000.0 Hz"));
  const int left = fm.horizontalAdvance(QStringLiteral("0.0000")) + 22;
  return QRect(left, 12, width() - left - 18 - barWidth - barGap, height() - 2 * fm.height() - 26);
}

QPointF BubbleMap::ToPixel(const QRect& plot, double x, double y) const {
  return QPointF(plot.left() + (x - xMin_) / (xMax_ - xMin_) * plot.width(),
                 plot.bottom() - (y - yMin_) / (yMax_ - yMin_) * plot.height());
}

// The wheel zooms both axes around the cursor's point of the plane.
void BubbleMap::wheelEvent(QWheelEvent* event) {
  const QRect plot = PlotRect();
  const QPointF at = event->position();
  if (!plot.contains(at.toPoint()) || event->angleDelta().y() == 0) return;
  const double factor = std::pow(0.85, event->angleDelta().y() / 120.0);
  const double x = xMin_ + (at.x() - plot.left()) / plot.width() * (xMax_ - xMin_);
  const double y = yMin_ + (plot.bottom() - at.y()) / plot.height() * (yMax_ - yMin_);
  xMin_ = x - (x - xMin_) * factor, xMax_ = x + (xMax_ - x) * factor;
  yMin_ = y - (y - yMin_) * factor, yMax_ = y + (yMax_ - y) * factor;
  event->accept();
  update();
}

void BubbleMap::mousePressEvent(QMouseEvent* event) {
  dragging_ = event->button() == Qt::LeftButton && PlotRect().contains(event->position().toPoint());
  dragFrom_ = event->position();
  QWidget::mousePressEvent(event);
}

// A drag moves the plane with the cursor; hovering names the bubble under it.
void BubbleMap::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) {
    const QString text = TextAt(event->position());
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(event->globalPosition().toPoint(), text, this);
    }
    return QWidget::mouseMoveEvent(event);
  }
  const QRect plot = PlotRect();
  const QPointF d = event->position() - dragFrom_;
  dragFrom_ = event->position();
  const double dx = -d.x() / plot.width() * (xMax_ - xMin_), dy = d.y() / plot.height() * (yMax_ - yMin_);
  xMin_ += dx, xMax_ += dx, yMin_ += dy, yMax_ += dy;
  update();
}

void BubbleMap::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}

void BubbleMap::SetAxisTitles(const QString& x, const QString& y) {
  xTitle_ = x, yTitle_ = y;
  update();
}

void BubbleMap::SetScale(const QString& bottom, const QString& top) {
  bottom_ = bottom, top_ = top;
  valueScale_ = false;
  update();
}

void BubbleMap::SetValueScale(double lo, double hi, const QString& unit, const QString& name) {
  lo_ = lo, hi_ = hi > lo ? hi : lo + 1.0;
  unit_ = unit, valueName_ = name;
  const QString space = unit.isEmpty() ? QString() : QStringLiteral(" ");
  bottom_ = Number(lo_) + space + unit;
  top_ = Number(hi_) + space + unit;
  valueScale_ = true;
  // A scale without a unit (F or G read back) names the function at its ends.
  if (unit.isEmpty() && !name.isEmpty()) {
    bottom_ = name + QLatin1Char(' ') + bottom_;
    top_ = name + QLatin1Char(' ') + top_;
  }
  update();
}

void BubbleMap::AddBubble(double x, double y, double radius, int level) {
  bubbles_.push_back({x, y, radius, level, std::numeric_limits<double>::quiet_NaN()});
  FindSpacing();
  update();
}

void BubbleMap::AddValue(double x, double y, double radius, double value) {
  bubbles_.push_back({x, y, radius, 0, value});
  FindSpacing();
  update();
}

// The spacing is found again when the bubbles are next drawn or looked up,
// not at every point a map adds.
void BubbleMap::FindSpacing() { spacingKnown_ = false; }

void BubbleMap::KnowSpacing() const {
  if (spacingKnown_) return;
  std::vector<double> xs, ys;
  xs.reserve(bubbles_.size());
  ys.reserve(bubbles_.size());
  for (const Bubble& b : bubbles_) xs.push_back(b.x), ys.push_back(b.y);
  dx_ = Spacing(std::move(xs));
  dy_ = Spacing(std::move(ys));
  spacingKnown_ = true;
}

int BubbleMap::BubbleLevel(int k) const {
  const Bubble& b = bubbles_[static_cast<std::size_t>(k)];
  if (std::isnan(b.value)) return b.level;
  return 1 + static_cast<int>(std::lround(14.0 * std::clamp((b.value - lo_) / (hi_ - lo_), 0.0, 1.0)));
}

QColor BubbleMap::BubbleColour(int k) const {
  const Bubble& b = bubbles_[static_cast<std::size_t>(k)];
  if (std::isnan(b.value)) return b.level <= 0 ? QColor(Qt::transparent) : MapScaleColour((b.level - 1) / 14.0);
  return MapScaleColour((b.value - lo_) / (hi_ - lo_));
}

double BubbleMap::RadiusInPixels(const Bubble& b, const QRect& plot) const {
  KnowSpacing();
  const double perX = plot.width() / (xMax_ - xMin_), perY = plot.height() / (yMax_ - yMin_);
  double r = b.radius * perY;
  // No wider than the grid: neighbours touch at most.
  if (dx_ > 0.0) r = std::min(r, dx_ * perX / 2.0);
  if (dy_ > 0.0) r = std::min(r, dy_ * perY / 2.0);
  return std::max(2.0, r);
}

QPointF BubbleMap::BubblePlace(int k) const {
  const Bubble& b = bubbles_[static_cast<std::size_t>(k)];
  return QPointF(b.x, b.y);
}

QPointF BubbleMap::BubbleAt(int k) const {
  const Bubble& b = bubbles_[static_cast<std::size_t>(k)];
  return ToPixel(PlotRect(), b.x, b.y);
}

QString BubbleMap::TextAt(QPointF pixel) const {
  const QRect plot = PlotRect();
  // The bubbles are drawn clipped to the plot, its edges included.
  if (!QRectF(plot).adjusted(-1.0, -1.0, 1.0, 1.0).contains(pixel)) return {};
  int found = -1;
  double nearest = 0.0;
  for (std::size_t k = 0; k < bubbles_.size(); ++k) {
    const QPointF c = ToPixel(plot, bubbles_[k].x, bubbles_[k].y);
    const double d = std::hypot(c.x() - pixel.x(), c.y() - pixel.y());
    if (d <= RadiusInPixels(bubbles_[k], plot) + 1.0 && (found < 0 || d < nearest)) {
      found = static_cast<int>(k);
      nearest = d;
    }
  }
  if (found < 0) return {};
  const Bubble& b = bubbles_[static_cast<std::size_t>(found)];
  auto coordinate = [](const QString& title, double v) {
    const QString unit = TitleUnit(title);
    return QStringLiteral("%1 = %2%3").arg(TitleName(title), Number(v), unit.isEmpty() ? QString() : QLatin1Char(' ') + unit);
  };
  QString text = coordinate(xTitle_, b.x) + QStringLiteral(", ") + coordinate(yTitle_, b.y);
  if (!std::isnan(b.value)) {
    text += QStringLiteral(": %1 %2%3").arg(valueName_, Number(b.value),
                                             unit_.isEmpty() ? QString() : QLatin1Char(' ') + unit_);
  } else if (b.level <= 0) {
    text += QStringLiteral(": no value");
  } else {
    text += QStringLiteral(": level %1 of 15 (%2 ... %3)").arg(b.level).arg(bottom_, top_);
  }
  return text;
}

void BubbleMap::SetLine(double x0, double y0, double x1, double y1) {
  line_ = true;
  lx0_ = x0, ly0_ = y0, lx1_ = x1, ly1_ = y1;
  update();
}

void BubbleMap::Clear() {
  bubbles_.clear();
  spacingKnown_ = false;
  line_ = false;
  update();
}

void BubbleMap::mouseDoubleClickEvent(QMouseEvent* event) {
  emit doubleClicked();
  event->accept();
}

void BubbleMap::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm = p.fontMetrics();
  const int barWidth = 18;
  const QRect plot = PlotRect();
  auto px = [&](double x) { return ToPixel(plot, x, yMin_).x(); };
  auto py = [&](double y) { return ToPixel(plot, xMin_, y).y(); };
  p.setPen(Qt::black);
  p.drawRect(plot);
  // Ticks at the ends and the middle of both axes.
  for (double f : {0.0, 0.5, 1.0}) {
    const double x = xMin_ + f * (xMax_ - xMin_), y = yMin_ + f * (yMax_ - yMin_);
    const QString xs = Number(x), ys = Number(y);
    p.drawText(QPointF(px(x) - fm.horizontalAdvance(xs) / 2.0, plot.bottom() + fm.height() + 2), xs);
    p.drawText(QPointF(plot.left() - fm.horizontalAdvance(ys) - 4, py(y) + fm.ascent() / 2.0), ys);
  }
  p.drawText(QRect(plot.left(), plot.bottom() + fm.height() + 4, plot.width(), fm.height() + 4), Qt::AlignHCenter,
             xTitle_);
  p.save();
  p.translate(fm.height() / 2.0 + 2, plot.center().y());
  p.rotate(-90);
  p.drawText(QRect(-plot.height() / 2, -fm.height() / 2, plot.height(), fm.height()), Qt::AlignHCenter, yTitle_);
  p.restore();

  p.setClipRect(plot);
  for (std::size_t k = 0; k < bubbles_.size(); ++k) {
    const Bubble& b = bubbles_[k];
    const double r = RadiusInPixels(b, plot);
    const QColor colour = BubbleColour(static_cast<int>(k));
    if (colour.alpha() == 0) {
      // A point without a value: its place, hollow.
      p.setPen(QPen(QColor(170, 170, 170), 1.0));
      p.setBrush(Qt::NoBrush);
    } else {
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
    }
    p.drawEllipse(QPointF(px(b.x), py(b.y)), r, r);
  }
  if (line_) {
    p.setPen(QPen(Qt::darkGray, 1.5, Qt::DashLine));
    p.drawLine(QPointF(px(lx0_), py(ly0_)), QPointF(px(lx1_), py(ly1_)));
  }
  p.setClipping(false);

  // The colour bar, its low end at the bottom.
  const QRect bar(plot.right() + 14, plot.top(), barWidth, plot.height());
  const int strips = std::max(1, bar.height());
  for (int k = 0; k < strips; ++k) {
    const double f = (k + 0.5) / strips;
    const double levelFraction = std::floor(f * 15.0) / 14.0;  // the 15 steps of a level scale
    p.fillRect(QRectF(bar.left(), bar.bottom() - (k + 1.0) * bar.height() / strips, bar.width(),
                      bar.height() / static_cast<double>(strips) + 0.5),
               MapScaleColour(valueScale_ ? f : std::min(1.0, levelFraction)));
  }
  p.setPen(Qt::black);
  p.setBrush(Qt::NoBrush);
  p.drawRect(bar);
  p.drawText(QPointF(bar.right() + 4, bar.top() + fm.ascent()), top_);
  p.drawText(QPointF(bar.right() + 4, bar.bottom()), bottom_);
  if (valueScale_) {
    const QString middle = Number((lo_ + hi_) / 2.0);
    p.drawLine(QPointF(bar.right(), bar.center().y()), QPointF(bar.right() + 3, bar.center().y()));
    p.drawText(QPointF(bar.right() + 4, bar.center().y() + fm.ascent() / 2.0), middle);
  }
}

namespace {

class MapWindowSink final : public USMapSink {
 public:
  MapWindowSink(BubbleMap& map, Chart& chart, QLabel& status, const USMapInputs& in, MapGrid grid,
                const FiringClampInputs& fc, std::function<void()> pointAdded)
      : map_(map), chart_(chart), status_(status), in_(in), grid_(grid), fc_(fc), pointAdded_(std::move(pointAdded)) {}
  void Point(const USMapPoint& p) override {
    if (in_.ShowPlot == 1) {
      const double radius = std::max(1.0, static_cast<double>(in_.nse) / in_.nue) * ((in_.s_max - in_.s_min) / in_.nse / 2.0);
      if (grid_ == MapGrid::US) {
        map_.AddValue(p.u * 1000.0, p.s, radius, p.Freq);
      } else {
        map_.AddValue(p.gE, p.gI, radius, p.Freq);
      }
      pointAdded_();
    }
    // F and G as selected for the firing clamp, and the spike measures.
    const double u = p.u * 1000.0;
    chart_.AddPoint(0, u, USMapF(p, fc_.FunctionF));
    chart_.AddPoint(1, u, USMapG(p, fc_.FunctionG));
    chart_.AddPoint(2, u, p.VPeakLast * 1000.0);
    chart_.AddPoint(3, u, p.Convolution * 1000.0);
    chart_.AddPoint(4, u, p.VTroughLast * 1000.0);
  }
  void Progress(std::int64_t done, std::int64_t total) override {
    status_.setText(QStringLiteral("point %1 of %2").arg(done).arg(total));
    chart_.Refresh();
  }

 private:
  BubbleMap& map_;
  Chart& chart_;
  QLabel& status_;
  const USMapInputs& in_;
  MapGrid grid_;
  const FiringClampInputs& fc_;
  std::function<void()> pointAdded_;
};

}  // namespace

USMapWindow::USMapWindow(Workbench& wb, QWidget* parent) : QWidget(parent, Qt::Window), wb_(wb) {
  setObjectName(QStringLiteral("Form9"));
  setWindowTitle(QStringLiteral("Form9: Calculates Freq. etc. on (u,s) plane "));
  USMapInputs& in = wb_.inputs().usMap;

  auto* inputs = new QGridLayout;
  auto pair = [&](int row, const char* caption, const char* name1, const char* name2, int decimals,
                  std::function<void(double)> a, std::function<void(double)> b, NumericInput*& first,
                  NumericInput*& second) {
    auto* label = new QLabel(QString::fromUtf8(caption), this);
    label->setObjectName(QString::fromUtf8(caption));
    first = new NumericInput(this, decimals);
    first->setObjectName(QString::fromUtf8(name1));
    second = new NumericInput(this, decimals);
    second->setObjectName(QString::fromUtf8(name2));
    for (NumericInput* w : {first, second}) {
      w->setMaximumWidth(70);
      w->setDoubleClickValue(std::nullopt);
    }
    connect(first, &NumericInput::valueChanged, this, std::move(a));
    connect(second, &NumericInput::valueChanged, this, std::move(b));
    inputs->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignVCenter);
    inputs->addWidget(first, row, 1);
    inputs->addWidget(second, row, 2);
  };
  pair(0, "nue x nse =", "DDSpinEdit7", "DDSpinEdit8", 0, [&in](double v) { in.nue = static_cast<std::int32_t>(v); },
       [&in](double v) { in.nse = static_cast<std::int32_t>(v); }, nue_, nse_);
  pair(1, "u_max, s_max =", "DDSpinEdit2", "DDSpinEdit3", 3, [&in](double v) { in.u_max = v; },
       [&in](double v) { in.s_max = v; }, uMax_, sMax_);
  pair(2, "u_min, s_min =", "DDSpinEdit13", "DDSpinEdit9", 3, [&in](double v) { in.u_min = v; },
       [&in](double v) { in.s_min = v; }, uMin_, sMin_);
  auto* singles = new QGridLayout;
  tEnd_ = AddSweepInput(this, singles, 0, "DDSpinEdit4", " t_end, ms ", 1, [&in](double v) { in.t_end = v; });
  maxSpikes_ = AddSweepInput(this, singles, 1, "DDSpinEdit6", "Max number of spikes", 0,
                             [&in](double v) { in.MaxSpikes = static_cast<std::int32_t>(v); });
  maxFreq_ = AddSweepInput(this, singles, 2, "DDSpinEdit1", "Max Freq., Hz", 1, [this, &in](double v) {
    if (v > 0) in.MaxFreq = v;
    ApplyRateScale();
  });
  maxFreq_->setToolTip(QStringLiteral("The rate at the top of the colour scale; the map takes its colours at once"));
  fitScale_ = new QCheckBox(QStringLiteral("fit to the rates"), this);
  fitScale_->setObjectName(QStringLiteral("FitScale"));
  fitScale_->setToolTip(QStringLiteral("The top of the scale follows the highest rate of the map; typing a "
                                       "\"Max Freq.\" takes the scale over"));
  fitScale_->setChecked(true);
  singles->addWidget(fitScale_, 3, 0, 1, 2);
  // A rate typed in is the researcher's scale.
  connect(maxFreq_, &QLineEdit::textEdited, this, [this] { fitScale_->setChecked(false); });
  connect(fitScale_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) FitRateScale();
  });
  inputs->addLayout(singles, 3, 0, 1, 3);
  show_ = new QCheckBox(QStringLiteral("Show (u,s)-plot or not "), this);
  show_->setObjectName(QStringLiteral("CheckBox1"));
  connect(show_, &QCheckBox::toggled, this, [&in](bool on) { in.ShowPlot = on ? 1 : 0; });
  distributed_ = new QCheckBox(QStringLiteral("IfDistributedModel"), this);
  distributed_->setObjectName(QStringLiteral("CheckBox2"));
  distributed_->setToolTip(QStringLiteral("Runs the soma with its axon (the distributed model window's inputs) "
                                          "in place of the point neuron"));
  connect(distributed_, &QCheckBox::toggled, this, [&in](bool on) { in.IfDistributedModel = on ? 1 : 0; });
  inputs->addWidget(show_, 4, 0, 1, 3);
  inputs->addWidget(distributed_, 5, 0, 1, 3);
  auto* noiseBox = new QGroupBox(QStringLiteral("Noise"), this);
  noiseBox->setObjectName(QStringLiteral("RadioGroup1"));
  auto* noiseLayout = new QVBoxLayout(noiseBox);
  for (std::size_t k = 0; k < kMapNoiseNames.size(); ++k) {
    auto* b = new QRadioButton(QString::fromUtf8(kMapNoiseNames[k].data(), static_cast<int>(kMapNoiseNames[k].size())),
                               noiseBox);
    noiseLayout->addWidget(b);
    connect(b, &QRadioButton::toggled, this, [&in, k](bool on) {
      if (on) in.Noise = static_cast<MapNoise>(k);
    });
    noise_.push_back(b);
  }
  inputs->addWidget(noiseBox, 6, 0, 1, 3);

  auto button = [this](const char* caption, const char* hint) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(QString::fromUtf8(caption));
    b->setToolTip(QString::fromUtf8(hint));
    return b;
  };
  plotUS_ = button("Plot Frequency(u,s)", "Maps the rate over the grid of u and s, on all cores; writes v(u_s).dat");
  plotGEGI_ = button("Plot Frequency(Ge,Gi)", "Maps the rate over the grid of gE and gI; writes v(u_s).dat");
  auto* clear = button("Clear", "Empties the map and the chart");
  stopButton_ = button("Stop", "Stops the map; the points done so far stay in the file");
  stopButton_->setEnabled(false);
  auto* fcForm = button("Show Form for FiringClamp", "Opens the firing-clamp window");
  auto* copy = button("CopyToBMP", "Copies the map to the clipboard as a picture");
  inputs->addWidget(plotUS_, 7, 0, 1, 3);
  inputs->addWidget(plotGEGI_, 8, 0, 1, 3);
  auto* row = new QHBoxLayout;
  row->addWidget(clear);
  row->addWidget(stopButton_);
  row->addWidget(copy);
  inputs->addLayout(row, 9, 0, 1, 3);
  inputs->addWidget(fcForm, 10, 0, 1, 3);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("SweepStatus"));
  inputs->addWidget(status_, 11, 0, 1, 3);
  inputs->setRowStretch(12, 1);

  map_ = new BubbleMap(this);
  map_->setObjectName(QStringLiteral("Chart1"));
  heat_ = new QCustomPlot(this);
  heat_->setObjectName(QStringLiteral("HeatMap"));
  heat_->setMinimumSize(360, 260);
  heatCells_ = new QCPColorMap(heat_->xAxis, heat_->yAxis);
  heatScale_ = new QCPColorScale(heat_);
  heat_->plotLayout()->addElement(0, 1, heatScale_);
  heatCells_->setColorScale(heatScale_);
  QCPColorGradient gradient;
  gradient.clearColorStops();
  for (int k = 0; k <= 10; ++k) gradient.setColorStopAt(k / 10.0, MapScaleColour(k / 10.0));
  heatCells_->setGradient(gradient);
  heatCells_->setInterpolate(false);
  heat_->hide();
  heatView_ = new QCheckBox(QStringLiteral("Heat map"), this);
  heatView_->setObjectName(QStringLiteral("HeatView"));
  heatView_->setToolTip(QStringLiteral("The map as cells of colour in place of bubbles"));
  inputs->addWidget(heatView_, 12, 0, 1, 3);
  inputs->setRowStretch(12, 0);
  inputs->setRowStretch(13, 1);
  connect(heatView_, &QCheckBox::toggled, this, [this](bool on) {
    map_->setVisible(!on);
    heat_->setVisible(on);
    if (on) RefreshHeatMap();
  });
  chart_ = new Chart(this);
  chart_->setObjectName(QStringLiteral("Chart2"));
  chart_->AddSeries(QStringLiteral("F"), SeriesKind::Points, ChartAxis::Left, QColor(200, 0, 0));
  chart_->AddSeries(QStringLiteral("G"), SeriesKind::Points, ChartAxis::Right, QColor(150, 0, 150));
  chart_->AddSeries(QStringLiteral("Vmax"), SeriesKind::Points, ChartAxis::Left, QColor(0, 0, 200));
  chart_->AddSeries(QStringLiteral("V_Conv"), SeriesKind::Points, ChartAxis::Left, QColor(230, 130, 0));
  chart_->AddSeries(QStringLiteral("Vmin"), SeriesKind::Points, ChartAxis::Left, QColor(0, 140, 0));
  chart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("u, µA/cm²"));
  chart_->SetAxisTitle(ChartAxis::Left, QStringLiteral("F (Hz), V (mV)"));
  chart_->SetAxisTitle(ChartAxis::Right, QStringLiteral("G"));
  chart_->SetAxisAutomatic(ChartAxis::Left, true);
  chart_->SetAxisAutomatic(ChartAxis::Bottom, true);
  adaptation_ = new Chart(this);
  adaptation_->setObjectName(QStringLiteral("Chart3"));
  adaptation_->AddSeries(QStringLiteral("s_Adapt"), SeriesKind::Line, ChartAxis::Left, QColor(200, 0, 0));
  adaptation_->AddSeries(QStringLiteral("s_Ad_Ex"), SeriesKind::Line, ChartAxis::Left, QColor(0, 0, 200));
  adaptation_->AddSeries(QStringLiteral("nM[1]"), SeriesKind::Line, ChartAxis::Right, QColor(0, 140, 0));
  adaptation_->AddSeries(QStringLiteral("wAHP[1]"), SeriesKind::Line, ChartAxis::Right, QColor(150, 0, 150));
  adaptation_->AddSeries(QStringLiteral("w"), SeriesKind::Points, ChartAxis::Right, QColor(230, 130, 0));
  adaptation_->AddSeries(QStringLiteral("n"), SeriesKind::Points, ChartAxis::Right, QColor(0, 150, 150));
  adaptation_->AddSeries(QStringLiteral("ws"), SeriesKind::Points, ChartAxis::Right, QColor(120, 80, 0));
  adaptation_->AddSeries(QStringLiteral("ns"), SeriesKind::Points, ChartAxis::Right, QColor(0, 0, 0));
  adaptation_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("t, ms"));
  adaptation_->SetAxisTitle(ChartAxis::Left, QStringLiteral("adaptation g, mS/cm²"));
  adaptation_->SetAxisTitle(ChartAxis::Right, QStringLiteral("gates"));
  for (ChartAxis a : {ChartAxis::Bottom, ChartAxis::Left, ChartAxis::Right}) adaptation_->SetAxisAutomatic(a, true);

  connect(plotUS_, &QPushButton::clicked, this, [this] { Plot(MapGrid::US); });
  connect(plotGEGI_, &QPushButton::clicked, this, [this] { Plot(MapGrid::GEGI); });
  connect(stopButton_, &QPushButton::clicked, this, [this] { stop_ = true; });
  connect(clear, &QPushButton::clicked, this, [this] {
    map_->Clear();
    chart_->ClearAll();
    adaptation_->ClearAll();
  });
  connect(copy, &QPushButton::clicked, this, [this] {
    QPixmap picture = grab();
    if (auto* clipboard = QGuiApplication::clipboard()) clipboard->setPixmap(picture);
  });
  connect(fcForm, &QPushButton::clicked, this, [this] { emit firingClampFormRequested(); });
  connect(map_, &BubbleMap::doubleClicked, this, [this] {
    if (!haveRead_) {
      DrawFromFile(false);
      return;
    }
    DrawFunction(!showsG_);
  });

  auto* right = new QVBoxLayout;
  right->addWidget(map_, 3);
  right->addWidget(heat_, 3);
  right->addWidget(chart_, 2);
  right->addWidget(adaptation_, 2);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(inputs);
  layout->addLayout(right, 1);
  resize(900, 760);
  ShowInputs();
}

void USMapWindow::ShowInputs() {
  const USMapInputs& in = wb_.inputs().usMap;
  const QSignalBlocker b1(nue_), b2(nse_), b3(uMax_), b4(sMax_), b5(uMin_), b6(sMin_), b7(tEnd_), b8(maxSpikes_),
      b9(maxFreq_), b10(show_);
  nue_->setValue(in.nue);
  nse_->setValue(in.nse);
  uMax_->setValue(in.u_max);
  sMax_->setValue(in.s_max);
  uMin_->setValue(in.u_min);
  sMin_->setValue(in.s_min);
  tEnd_->setValue(in.t_end);
  maxSpikes_->setValue(in.MaxSpikes);
  maxFreq_->setValue(in.MaxFreq);
  show_->setChecked(in.ShowPlot == 1);
  distributed_->setChecked(in.IfDistributedModel == 1);
  noise_[static_cast<std::size_t>(in.Noise)]->setChecked(true);
  ApplyRateScale();
}

void USMapWindow::ApplyRateScale() {
  if (!showsRates_) return;
  map_->SetValueScale(0.0, wb_.inputs().usMap.MaxFreq, QStringLiteral("Hz"), QStringLiteral("rate"));
  if (heat_->isVisible()) RefreshHeatMap();
}

// The top of the scale at a round rate at or above the highest of the map.
void USMapWindow::FitRateScale() {
  if (!showsRates_ || !fitScale_->isChecked()) return;
  double highest = 0.0;
  for (int k = 0; k < map_->BubbleCount(); ++k) {
    const double v = map_->BubbleValue(k);
    if (std::isfinite(v)) highest = std::max(highest, v);
  }
  if (highest <= 0.0) return;
  const double decade = std::pow(10.0, std::floor(std::log10(highest)));
  double top = 10.0 * decade;
  for (double step : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (step * decade >= highest) {
      top = step * decade;
      break;
    }
  }
  if (top == wb_.inputs().usMap.MaxFreq) return;
  wb_.inputs().usMap.MaxFreq = top;
  {
    const QSignalBlocker quiet(maxFreq_);
    maxFreq_->setValue(top);
  }
  ApplyRateScale();
}

void USMapWindow::RefreshHeatMap() {
  std::vector<double> xs, ys;
  for (int k = 0; k < map_->BubbleCount(); ++k) {
    xs.push_back(map_->BubblePlace(k).x());
    ys.push_back(map_->BubblePlace(k).y());
  }
  auto distinct = [](std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end(), [](double a, double b) { return std::abs(a - b) <= 1e-9 * std::max(std::abs(a), std::abs(b)); }),
            v.end());
  };
  distinct(xs);
  distinct(ys);
  QCPColorMapData* data = heatCells_->data();
  const int nx = std::max<int>(1, static_cast<int>(xs.size())), ny = std::max<int>(1, static_cast<int>(ys.size()));
  data->setSize(nx, ny);
  const QRectF view = map_->View();
  data->setRange(xs.size() > 1 ? QCPRange(xs.front(), xs.back()) : QCPRange(view.left(), view.right()),
                 ys.size() > 1 ? QCPRange(ys.front(), ys.back()) : QCPRange(view.top(), view.bottom()));
  data->fillAlpha(0);
  auto index = [](const std::vector<double>& v, double x) {
    return static_cast<int>(std::lower_bound(v.begin(), v.end(), x - 1e-9 * std::max(1.0, std::abs(x))) - v.begin());
  };
  for (int k = 0; k < map_->BubbleCount(); ++k) {
    const double v = map_->BubbleValue(k);
    const QPointF at = map_->BubblePlace(k);
    const int i = index(xs, at.x()), j = index(ys, at.y());
    if (i >= nx || j >= ny) continue;
    if (std::isfinite(v)) {
      data->setCell(i, j, v);
      data->setAlpha(i, j, 255);
    } else if (map_->BubbleLevel(k) > 0) {
      data->setCell(i, j, map_->BubbleLevel(k));
      data->setAlpha(i, j, 255);
    }
  }
  const bool levels = map_->BubbleCount() > 0 && !std::isfinite(map_->BubbleValue(0));
  heatCells_->setDataRange(levels ? QCPRange(1, 15) : QCPRange(0.0, showsRates_ ? wb_.inputs().usMap.MaxFreq : 1.0));
  if (!levels && !showsRates_) heatCells_->rescaleDataRange(true);
  heatScale_->axis()->setLabel(showsRates_ ? QStringLiteral("rate, Hz") : (showsG_ ? QStringLiteral("G") : QStringLiteral("F")));
  heat_->xAxis->setLabel(map_->XTitle());
  heat_->yAxis->setLabel(map_->YTitle());
  heat_->xAxis->setRange(view.left(), view.right());
  heat_->yAxis->setRange(view.top(), view.bottom());
  heat_->replot();
}

void USMapWindow::showEvent(QShowEvent* event) {
  Session& s = wb_.session();
  // The squid-axon model fires fast and needs strong inputs.
  if (s.NP0.HH_type == "Rariza") {
    wb_.inputs().usMap.MaxFreq = 250;
    wb_.inputs().usMap.u_max = 200;
    wb_.inputs().usMap.s_max = 2.5;
  }
  ShowInputs();
  QWidget::showEvent(event);
}

void USMapWindow::Plot(MapGrid grid) {
  Session& s = wb_.session();
  USMapInputs in = wb_.inputs().usMap;
  in.storedFolder = wb_.inputs().zInputs.storedFolder;  // the Z-function window's folder
  map_->Clear();
  chart_->ClearAll();
  haveRead_ = false;
  if (grid == MapGrid::US) {
    map_->SetRanges(in.u_min, in.u_max, in.s_min, in.s_max);
    map_->SetAxisTitles(QStringLiteral("u, µA/cm²"), QStringLiteral("s, mS/cm²"));
    if (s.stim.Vus != 0.0) map_->SetLine(0, 0, in.u_max / 4, -in.u_max / 1000 / s.stim.Vus / 4);
  } else {
    const double gEMax = s.stim.Vus != 0.0 ? -in.u_max / 1000 / s.stim.Vus : 1.0;
    map_->SetRanges(0, gEMax, 0, in.s_max / 2);
    map_->SetAxisTitles(QStringLiteral("gE, mS/cm²"), QStringLiteral("gI, mS/cm²"));
  }
  showsRates_ = true;
  ApplyRateScale();
  stop_ = false;
  plotUS_->setEnabled(false);
  plotGEGI_->setEnabled(false);
  stopButton_->setEnabled(true);
  QElapsedTimer clock;
  clock.start();
  wb_.RunSimulation([&] {
    SweepWindowHost host(wb_, stop_);
    double highest = 0.0;
    QElapsedTimer sinceHeat;
    sinceHeat.start();
    MapWindowSink sink(*map_, *chart_, *status_, in, grid, wb_.inputs().firingClamp, [&] {
      const double v = map_->BubbleValue(map_->BubbleCount() - 1);
      if (std::isfinite(v) && v > highest) {
        highest = v;
        FitRateScale();
      }
      if (heat_->isVisible() && sinceHeat.elapsed() > 200) {
        RefreshHeatMap();
        sinceHeat.restart();
      }
    });
    const RunsOutcome outcome = MapUS(s, in, wb_.inputs().fiber, host, sink, grid);
    chart_->Refresh();
    if (heat_->isVisible()) RefreshHeatMap();
    status_->setText(outcome.stopped ? QStringLiteral("stopped after %1 points").arg(outcome.delivered)
                                     : QStringLiteral("done: %1 points in %2").arg(outcome.delivered).arg(kUSMapFile));
    wb_.mainWindow().ShowTaskStatus(
        QStringLiteral("%1 map %2: %3 points%4, written to %5 (%6 s)")
            .arg(grid == MapGrid::US ? QStringLiteral("(u,s)") : QStringLiteral("(gE,gI)"),
                 outcome.stopped ? QStringLiteral("stopped") : QStringLiteral("complete"))
            .arg(outcome.delivered)
            .arg(map_->BubbleCount() > 0 ? QStringLiteral(", rates up to %1 Hz").arg(highest, 0, 'f', 1) : QString())
            .arg(QString::fromUtf8(kUSMapFile))
            .arg(clock.elapsed() / 1000.0, 0, 'f', 1));
  }, this);
  plotUS_->setEnabled(true);
  plotGEGI_->setEnabled(true);
  stopButton_->setEnabled(false);
}

void USMapWindow::DrawFromFile(bool linear) {
  wb_.RunCommand([&] {
    read_ = ReadUSMap(USMapFileOf(wb_.session()), wb_.inputs().firingClamp.FunctionF, wb_.inputs().firingClamp.FunctionG, linear);
    haveRead_ = true;
    DrawFunction(false);
  });
}

void USMapWindow::DrawFunction(bool g) {
  if (!haveRead_) return;
  showsG_ = g;
  const std::vector<double>& X = g ? read_.G : read_.F;
  double lo = 0, hi = 0;
  bool any = false;
  for (double x : X) {
    if (x == 0.0) continue;
    lo = any ? std::min(lo, x) : x;
    hi = any ? std::max(hi, x) : x;
    any = true;
  }
  map_->Clear();
  const USMapData& m = read_;
  map_->SetRanges(m.u0 * 1000, (m.u0 + m.nue * m.du) * 1000, m.s0, m.s0 + m.nse * m.ds);
  map_->SetAxisTitles(QStringLiteral("u, µA/cm²"), QStringLiteral("s, mS/cm²"));
  const double radius = std::max(m.nse, m.nue) * (m.ds / 2) / m.nue;
  for (std::int32_t j = 0; j <= m.nse; ++j) {
    for (std::int32_t i = 0; i <= m.nue; ++i) {
      const double x = X[m.At(i, j)];
      // A zero is a point without a value.
      map_->AddValue(m.u0 * 1000 + i * m.du * 1000, m.s0 + j * m.ds, radius,
                     x == 0.0 ? std::numeric_limits<double>::quiet_NaN() : x);
    }
  }
  showsRates_ = false;
  map_->SetValueScale(lo, hi, QString(), g ? QStringLiteral("G") : QStringLiteral("F"));
  if (heat_->isVisible()) RefreshHeatMap();
}

}  // namespace membrix
