#include "ui/curve_window.h"

#include <QVBoxLayout>

#include "ui/chart.h"

namespace membrix {

CurveWindow::CurveWindow(QWidget* parent) : QWidget(parent, Qt::Window), chart_(new Chart(this)) {
  setObjectName(QStringLiteral("CurveWindow"));
  setWindowTitle(QStringLiteral("Curve"));
  chart_->setObjectName(QStringLiteral("CurveChart"));
  chart_->AddSeries(QString(), SeriesKind::Line);
  chart_->SetAxisTitle(ChartAxis::Bottom, QStringLiteral("t, ms"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(chart_);
  resize(640, 360);
}

void CurveWindow::AddCurvePoint(double x, double y, const QString& variable) {
  if (isHidden()) {
    chart_->ClearAll();
    chart_->SetAxisAutomaticMaximum(ChartAxis::Bottom, true);
    chart_->SetSeriesTitle(0, variable);
    chart_->SetAxisTitle(ChartAxis::Left, variable);
    show();
  }
  chart_->AddPoint(0, x, y);
}

}  // namespace membrix
