#pragma once
// The fiber view: profiles along the axon (voltage, conductances, gates), the
// currents and inputs at its two ends in time, the channel densities per node
// with the derived cable values, the field potential, and below the pages the
// voltages at the soma and the far end in time. The fiber run draws here.

#include <QElapsedTimer>
#include <QWidget>
#include <array>

#include "fiber/fiber.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace membrix {

class Chart;
class NumericInput;
class Workbench;

class FiberViewWindow : public QWidget, public FiberSink {
  Q_OBJECT

 public:
  explicit FiberViewWindow(Workbench& wb, QWidget* parent = nullptr);

  // The fiber run with the session's inputs, drawn here, the channel densities
  // of "Max.gNa,gK" shown first and a line on how it ended after; returns
  // whether it completed. Nothing while another run is in progress.
  bool Run();
  // "Refresh": the channel densities and derived values of the fiber as the run would build it.
  void Refresh();

  Chart* voltageChart() const { return voltage_; }
  Chart* conductanceChart() const { return conductance_; }
  Chart* gateChart() const { return gates_; }
  Chart* currentChart() const { return currents_; }
  Chart* inputChart() const { return inputs_; }
  Chart* densityChart() const { return densities_; }
  Chart* lfpChart() const { return lfp_; }
  Chart* endsChart() const { return ends_; }
  QTabWidget* pages() const { return pages_; }
  QCheckBox* clean() const { return clean_; }
  QLabel* derivedLabel(int i) const { return derived_[static_cast<std::size_t>(i)]; }
  QPushButton* runButton() const { return run_; }
  // How the last run ended: its length, when the spike left the soma and
  // reached the far end, the conduction velocity.
  QLabel* endLine() const { return endLine_; }
  // The soma drawn beside the densities: shown only for a soma with an area.
  QWidget* somaShape() const { return somaShape_; }

  // FiberSink
  void Clear() override;
  bool WantsLFP() const override;
  void Frame(const TFiber& fiber, double t, double lfp) override;
  void Distribution(const TFiber& fiber, const FiberDerived& derived) override;

 private:
  void RefreshCharts();
  QString EndOfRunText(bool completed, double seconds) const;

  Workbench& wb_;
  QTabWidget* pages_ = nullptr;
  QWidget* lfpPage_ = nullptr;
  Chart *voltage_ = nullptr, *conductance_ = nullptr, *gates_ = nullptr, *currents_ = nullptr;
  Chart *inputs_ = nullptr, *densities_ = nullptr, *lfp_ = nullptr, *ends_ = nullptr;
  QCheckBox* clean_ = nullptr;
  NumericInput *lfpD_ = nullptr, *lfpH_ = nullptr;
  std::array<QLabel*, 4> derived_{};
  QWidget* somaShape_ = nullptr;
  QWidget* densityPage_ = nullptr;
  QPushButton* run_ = nullptr;
  QLabel* endLine_ = nullptr;
  QElapsedTimer sinceDrawn_;
  // The spike's passage, at the drawn steps: when the voltage first rose
  // above the spike level at the soma, a quarter, three quarters and the far
  // end of the axon (s; negative: not yet), the distance between the
  // quarters (cm), and the time the run reached (s).
  std::array<double, 4> crossing_{};
  double reached_ = 0.0;
  double quarterDistance_ = 0.0;
};

}  // namespace membrix
