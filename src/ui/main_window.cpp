// The main window as a whole: its construction, the desktop habits of its
// command row and status bar, the protocol marks a task leaves, its events.

#include "ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "common/version.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/input_units.h"
#include "ui/numeric_input.h"
#include "ui/parameter_window.h"
#include "ui/protocol_keeper.h"
#include "ui/windows/analysis_windows.h"
#include "ui/workbench.h"

namespace membrix {

MainWindow::MainWindow(Workbench& workbench) : QMainWindow(nullptr), wb_(workbench) {
  // The program addresses its main window by this name.
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(ProgramTitle()));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(4);
  topArea_ = BuildTopArea();
  layout->addWidget(topArea_);
  auto* body = new QHBoxLayout;
  body->setSpacing(6);
  body->addWidget(BuildPages(), 1);
  body->addWidget(BuildVarToWrite());
  layout->addLayout(body, 1);
  setCentralWidget(central);
  BuildMenus();
  UpdateEmptyPageHints();
  ShowMainWindowUnits(this);
  BuildDesktopHabits();
  resize(1180, 760);
}

MainWindow::~MainWindow() = default;

Session& MainWindow::s() const { return wb_.session(); }

Chart* MainWindow::chart(int number) const {
  return number >= 1 && number < static_cast<int>(charts_.size()) ? charts_[number] : nullptr;
}

std::vector<Chart*> MainWindow::RunCharts() const {
  return {charts_[1], charts_[2], charts_[4], charts_[5], charts_[3], charts_[6], charts_[7]};
}

bool MainWindow::NoCleaning() const { return noCleaning_->isChecked(); }
bool MainWindow::FitPictureToExpData() const { return fitPicture_->isChecked(); }
bool MainWindow::PhasePageShown() const { return pages_->currentIndex() == 5; }
int MainWindow::CommandRowHeight() const {
  if (QLayout* l = centralWidget()->layout()) l->activate();
  const int inWindow = topArea_->mapTo(this, QPoint(0, topArea_->height())).y();
  return inWindow + (geometry().top() - frameGeometry().top());
}

QRect MainWindow::CommandRow() const {
  const QRect frame = frameGeometry();
  return {frame.topLeft(), QSize(frame.width(), CommandRowHeight())};
}
// The habits of a desktop program: mnemonics on the menus, F5 or Ctrl+R for
// "RunClamp", File -> Quit (Ctrl+Q), the open file in the title, a status bar.
void MainWindow::BuildDesktopHabits() {
  const struct {
    const char* name;
    const char* text;
  } mnemonics[] = {{"File", "&File"}, {"Parameters", "&Parameters"}, {"Tasks", "&Tasks"}, {"About", "&About"}};
  for (const auto& m : mnemonics) {
    if (auto* menu = menuBar()->findChild<QMenu*>(QLatin1String(m.name))) menu->setTitle(QString::fromUtf8(m.text));
  }
  if (auto* help = findChild<QAction*>(QStringLiteral("Help1"))) help->setText(QStringLiteral("&Help"));

  auto* run = new QAction(QStringLiteral("RunClamp"), this);
  run->setObjectName(QStringLiteral("RunClampShortcut"));
  run->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(QStringLiteral("Ctrl+R"))});
  run->setShortcutContext(Qt::ApplicationShortcut);
  connect(run, &QAction::triggered, this, [this] {
    if (runClamp_->isEnabled() && runClamp_->isVisible()) runClamp_->click();
  });
  addAction(run);

  fileMenu_->addSeparator();
  QAction* quit = AddAction(fileMenu_, QStringLiteral("Quit"), QStringLiteral("Quit"));
  quit->setText(QStringLiteral("&Quit"));
  quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  quit->setShortcutContext(Qt::ApplicationShortcut);
  connect(quit, &QAction::triggered, this, &QWidget::close);

  runSummary_ = new QLabel(QStringLiteral("No run yet. F5 or Ctrl+R runs the clamp."), this);
  runSummary_->setObjectName(QStringLiteral("RunSummary"));
  runSummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(runSummary_, 1);
  protocolUndo_ = new QPushButton(QStringLiteral("Undo"), this);
  protocolUndo_->setObjectName(QStringLiteral("ProtocolUndo"));
  protocolUndo_->setToolTip(QStringLiteral("Gives the main protocol back as it was before the task"));
  protocolUndo_->hide();
  statusBar()->addWidget(protocolUndo_);
  connect(protocolUndo_, &QPushButton::clicked, this, [this] {
    const std::function<void()> undo = std::exchange(protocolUndoCommand_, {});
    ClearProtocolMarks();
    if (undo) undo();
    runSummary_->setText(QStringLiteral("The main protocol is back as it was before the task."));
  });
  // The model time and the recording of the run sit at the status bar's right
  // end, which leaves the top row room for the inputs on a small screen.
  statusBar()->addPermanentWidget(fileLabel_);
  statusBar()->addPermanentWidget(timeLabel_);
  statusBar()->setSizeGripEnabled(true);
}

void MainWindow::ShowIdFileInTitle() {
  const std::string& file = s().rec.IdFileName;
  QString title = QString::fromUtf8(ProgramTitle());
  if (!file.empty()) title += QStringLiteral(" \u2014 ") + QFileInfo(QString::fromStdString(file)).fileName();
  setWindowTitle(title);
}
// ---- State shown and changed by the start-up and the runs ----------------------

void MainWindow::ApplyStartupState() {
  s().fit.MenuChecked[0] = false;  // "tau"
  ShowFitMarks();
  paramsMemo_->hide();
  frequencyItem_->setChecked(true);
  varToWrite_->hide();
  fitPicture_->setChecked(false);
  for (QAction* a : hiddenFileItems_) a->setVisible(false);
  // Setting a list from the program runs nothing.
  actionList_->setCurrentIndex(12);
  resetList_->setCurrentIndex(1);
  noiseList_->setCurrentIndex(static_cast<int>(NoiseList::NoiseConductance));
  s().stim.noiseList = NoiseList::NoiseConductance;
  UpdateEmptyPageHints();
}
void MainWindow::SetRunning(bool running) {
  for (QWidget* w : runCommands_) w->setEnabled(!running);
  simplexTask_->setEnabled(!running);
  varToWrite_->setEnabled(!running);
  SyncPauseButton();
}

void MainWindow::SyncPauseButton() { pause_->setChecked(s().run.PauseFlag == 'P'); }
void MainWindow::ShowProtocolChanges(const QString& task, const std::vector<ProtocolChange>& changes,
                                     std::function<void()> undo) {
  ClearProtocolMarks();
  QStringList phrases;
  for (const ProtocolChange& c : changes) {
    phrases << c.phrase;
    if (c.input.isEmpty()) continue;
    QWidget* input = c.input.startsWith(QLatin1String("Form4."))
                         ? wb_.parameterWindow().findChild<QWidget*>(c.input.mid(6))
                         : findChild<QWidget*>(c.input);
    if (input == nullptr) continue;
    input->setProperty("changedByTask", input->toolTip());
    input->setStyleSheet(QStringLiteral("background-color: #ffe38a;"));
    input->setToolTip(QStringLiteral("Set by %1: %2").arg(task, c.phrase));
    protocolMarked_.push_back(input);
    // Editing a marked input takes it over: its mark goes.
    if (auto* in = qobject_cast<NumericInput*>(input)) {
      connect(in, &QLineEdit::textEdited, this, [this, in] {
        auto it = std::find(protocolMarked_.begin(), protocolMarked_.end(), in);
        if (it == protocolMarked_.end()) return;
        in->setStyleSheet(QString());
        in->setToolTip(in->property("changedByTask").toString());
        in->setProperty("changedByTask", QVariant());
        protocolMarked_.erase(it);
      }, Qt::SingleShotConnection);
    }
  }
  protocolUndoCommand_ = std::move(undo);
  protocolUndo_->show();
  runSummary_->setText(QStringLiteral("%1 set the main protocol: %2.").arg(task, phrases.join(QStringLiteral(", "))));
}

void MainWindow::ClearProtocolMarks() {
  for (QWidget* w : protocolMarked_) {
    w->setStyleSheet(QString());
    w->setToolTip(w->property("changedByTask").toString());
    w->setProperty("changedByTask", QVariant());
  }
  protocolMarked_.clear();
  protocolUndoCommand_ = {};
  if (protocolUndo_ != nullptr) protocolUndo_->hide();
}

QStringList MainWindow::ProtocolMarks() const {
  QStringList names;
  for (QWidget* w : protocolMarked_) names << w->objectName();
  return names;
}

QPushButton* MainWindow::ProtocolUndo() const { return protocolUndo_->isHidden() ? nullptr : protocolUndo_; }

void MainWindow::ShowTaskStatus(const QString& line) { runSummary_->setText(line); }
// ---- Events -----------------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    emit firstShown();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (wb_.Running()) {
    // The run stops at its next breathing point; the program ends after it.
    event->ignore();
    wb_.OnMainWindowClosing();
    return;
  }
  QMainWindow::closeEvent(event);
  wb_.OnMainWindowClosing();
  if (analysisWindows_) analysisWindows_->CloseAll();
}

AnalysisWindows& MainWindow::analysisWindows() {
  if (!analysisWindows_) analysisWindows_ = std::make_unique<AnalysisWindows>(wb_);
  return *analysisWindows_;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == paramsMemo_->viewport()) {
      OnParamsMemoDoubleClick();
      return true;
    }
    if (watched == firingClampPanel_) {
      OnFiringClampPanelDoubleClick();
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonPress && watched == varToWriteNote_->viewport()) {
    HideOutputList();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace membrix
