#pragma once
// The ion window "Form19: Ion Dynamics": on its page "Dynamics" the pump
// current, the concentrations and the reversal potentials of a clamp run with
// ion dynamics against time; on its page "Na-K pump characteristics" the
// steady-state pump currents of the two isoforms against Nai, Ko and V.

#include <QWidget>
#include <vector>

class QLabel;
class QTabWidget;

namespace membrix {

class Chart;
struct PumpCharacteristics;

class IonDynamicsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit IonDynamicsWindow(QWidget* parent = nullptr);

  // The charts of page "Dynamics", fed by the run views: "I_Na_K_pump",
  // "Concentrations" ("Nai", "Ki", "Vol" on the right axis) and "Reversal
  // potentials" ("VNa", "VK").
  std::vector<Chart*> RunCharts() const { return {pump_, concentrations_, reversals_}; }

  // Draws the characteristics on page "Na-K pump characteristics", opens that
  // page and shows the window.
  void ShowPumpCharacteristics(const PumpCharacteristics& pc);

  QTabWidget* pages() const { return pages_; }
  // The charts of page 1: Na_K_pump(Na_i), Na_K_pump(K_o), Na_K_pump(V).
  Chart* pumpChart(int i) const { return pumpCharts_[i]; }

 private:
  QTabWidget* pages_;
  Chart* pump_;
  Chart* concentrations_;
  Chart* reversals_;
  Chart* pumpCharts_[3];
  QLabel* pumpLabel_;
};

}  // namespace membrix
