#include "ui/windows/sweep_window_support.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>

#include "ui/numeric_input.h"
#include "ui/workbench.h"

namespace membrix {

void SweepWindowHost::ProcessEvents() { wb_.ProcessEvents(); }
bool SweepWindowHost::StopRequested() const { return stop_ || wb_.StopRequested(); }
bool SweepWindowHost::Confirm(const std::string& question) { return wb_.Confirm(question); }

NumericInput* AddSweepInput(QWidget* owner, QGridLayout* grid, int row, const char* name, const char* caption,
                            int decimals, std::function<void(double)> store) {
  auto* label = new QLabel(QString::fromUtf8(caption).trimmed(), owner);
  label->setObjectName(QString::fromUtf8(caption));
  auto* input = new NumericInput(owner, decimals);
  input->setObjectName(QString::fromUtf8(name));
  input->setMaximumWidth(90);
  input->setDoubleClickValue(std::nullopt);
  label->setBuddy(input);
  QObject::connect(input, &NumericInput::valueChanged, owner, [store = std::move(store)](double v) { store(v); });
  grid->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(input, row, 1);
  return input;
}

SweepCommands AddSweepCommands(QWidget* owner, QGridLayout* grid, int row) {
  SweepCommands c;
  auto button = [owner](const char* caption, const char* hint) {
    auto* b = new QPushButton(QString::fromUtf8(caption), owner);
    b->setObjectName(QString::fromUtf8(caption));
    b->setToolTip(QString::fromUtf8(hint));
    return b;
  };
  c.start = button("Start", "Runs the sweep, one current after the other, on all cores");
  c.stop = button("Stop", "Stops the sweep; the currents done so far stay in the file and the chart");
  c.clear = button("Clear", "Empties the charts");
  c.copy = button("CopyToBMP", "Copies the chart to the clipboard as a picture");
  c.stop->setEnabled(false);
  c.status = new QLabel(owner);
  c.status->setObjectName(QStringLiteral("SweepStatus"));
  auto* first = new QHBoxLayout;
  first->addWidget(c.start);
  first->addWidget(c.stop);
  auto* second = new QHBoxLayout;
  second->addWidget(c.clear);
  second->addWidget(c.copy);
  grid->addLayout(first, row, 0, 1, 2);
  grid->addLayout(second, row + 1, 0, 1, 2);
  grid->addWidget(c.status, row + 2, 0, 1, 2);
  return c;
}

QString ProgressText(long long done, long long total) {
  return QStringLiteral("current %1 of %2").arg(done).arg(total);
}

void RunSweepCommand(Workbench& wb, SweepCommands& commands, bool& stop,
                     const std::function<std::pair<long long, long long>()>& sweep) {
  stop = false;
  commands.start->setEnabled(false);
  commands.stop->setEnabled(true);
  commands.status->setText(QStringLiteral("running"));
  std::pair<long long, long long> result{0, 0};
  const bool done = wb.RunSimulation([&] { result = sweep(); }, commands.status);
  commands.start->setEnabled(true);
  commands.stop->setEnabled(false);
  if (!done) {
    commands.status->setText(QStringLiteral("failed"));
  } else if (result.first < result.second) {
    commands.status->setText(QStringLiteral("stopped after %1 of %2 currents: the file holds those %1")
                                 .arg(result.first)
                                 .arg(result.second));
  } else {
    commands.status->setText(QStringLiteral("done: %1 currents").arg(result.second));
  }
  stop = false;
  QApplication::beep();
}

}  // namespace membrix
