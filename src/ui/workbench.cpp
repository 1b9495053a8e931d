#include "ui/workbench.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include "data/fit_table.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/session.h"
#include "tasks/task_inputs.h"
#include "ui/chart.h"
#include "ui/curve_window.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/parameter_transfer.h"
#include "ui/parameter_window.h"
#include "ui/program_windows.h"
#include "ui/run_view_charts.h"
#include "ui/window_layout.h"
#include "ui/windows/fiber_input_window.h"
#include "ui/windows/ion_dynamics_window.h"

namespace membrix {

namespace {

// A running computation lets the windows handle their events at most this
// often; in between its breathing points cost a clock reading.
constexpr qint64 kEventIntervalNs = 10'000'000;  // 10 ms

const QString kBoxTitle = QStringLiteral("Membrix");

}  // namespace

// ---- Dialogs ----------------------------------------------------------------

bool UserDialogs::Confirm(QWidget* parent, const QString& question) {
  return QMessageBox::question(parent, kBoxTitle, question, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void UserDialogs::ShowError(QWidget* parent, const QString& message) {
  QMessageBox::critical(parent, kBoxTitle, message);
}

void UserDialogs::ShowMessage(QWidget* parent, const QString& title, const QString& message) {
  QMessageBox::information(parent, title, message);
}

QString UserDialogs::OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, folder, DialogFilter(filter));
}

QString UserDialogs::SaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, folder, DialogFilter(filter));
}

QString UserDialogs::ChooseItem(QWidget* parent, const QString& caption, const QStringList& items) {
  bool ok = false;
  const QString item = QInputDialog::getItem(parent, caption, QString(), items, 0, false, &ok);
  return ok ? item : QString();
}

QString UserDialogs::DialogFilter(const QString& programFilter) {
  const QStringList parts = programFilter.split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
    const QString& text = parts[i];
    filters << (text.contains(QLatin1Char('(')) ? text : QStringLiteral("%1 (%2)").arg(text, patterns));
  }
  return filters.join(QStringLiteral(";;"));
}

// ---- The workbench -------------------------------------------------------------

Workbench::Workbench(QObject* parent)
    : QObject(parent),
      session_(std::make_unique<Session>()),
      inputs_(std::make_unique<TaskInputs>()),
      dialogs_(std::make_unique<UserDialogs>()),
      layout_(std::make_unique<LayoutMemory>(LayoutMemory::DefaultFile())) {
  inputs_->fiber = WorkbenchFiberInputs();
  // The windows in the program's order, the main window first, each made
  // hidden; the start-up shows the parameter window beside the main window.
  for (const ProgramWindow& w : ProgramWindows()) {
    const QString name = QString::fromUtf8(w.name);
    QWidget* made = nullptr;
    if (name == QLatin1String("Form1")) {
      form1_ = std::make_unique<MainWindow>(*this);
      made = form1_.get();
    } else if (name == QLatin1String("Form4")) {
      form4_ = std::make_unique<ParameterWindow>(*session_);
      form4_->setMainWindow(form1_.get());
      form4_->setErrorReporter([this](const QString& message) { dialogs_->ShowError(form4_.get(), message); });
      form4_->setChannelDialogs(
          [this] {
            return dialogs_->OpenFileName(form4_.get(), QStringLiteral("Add channel ..."), QDir::currentPath(),
                                          QStringLiteral("NeuroML files|*.nml;*.xml|all files|*.*"));
          },
          [this](const QStringList& ids) { return dialogs_->ChooseItem(form4_.get(), QStringLiteral("Add channel ..."), ids); });
      connect(form4_.get(), &ParameterWindow::helpRequested, this, &Workbench::ShowHelp);
      made = form4_.get();
    } else if (name == QLatin1String("Form19")) {
      form19_ = std::make_unique<IonDynamicsWindow>();
      made = form19_.get();
    } else {
      made = w.make(*this);
    }
    windows_.emplace_back(name, made);
  }
  curve_ = std::make_unique<CurveWindow>();
  help_ = std::make_unique<HelpWindow>();
  windows_.emplace_back(QStringLiteral("Curve"), curve_.get());
  windows_.emplace_back(QStringLiteral("HelpWindow"), help_.get());
  views_ = std::make_unique<RunViewCharts>(*session_, *form1_, *curve_);
  views_->AddIonCharts(form19_->RunCharts(), form19_.get());
  connect(form4_.get(), &ParameterWindow::pumpCharacteristicsRequested, this, [this] {
    RunCommand([this] { form19_->ShowPumpCharacteristics(PlotPumpCharacteristics(*session_)); });
  });
  connect(form1_.get(), &MainWindow::firstShown, this, &Workbench::StartUp);
  // Every window the program shows lands inside the screen.
  if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->installEventFilter(this);
  // The charts' "Save picture..." and "Save data..." ask through the dialogs.
  Chart::SetSaveFileNameAsker(
      [this](QWidget* parent, const QString& caption, const QString& suggested, const QString& filter) {
        const QString folder = startFolder_.isEmpty() ? QDir::currentPath() : startFolder_;
        return dialogs_->SaveFileName(parent, caption, QDir(folder).filePath(suggested), filter);
      });
}

bool Workbench::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Hide && layoutReady_ && watched->isWidgetType()) {
    // Where the user left a window is where it comes back.
    for (const auto& [name, w] : windows_) {
      if (w == watched) RememberGeometry(name, w);
    }
  }
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* w = static_cast<QWidget*>(watched);
    const Qt::WindowType type = w->windowType();
    if (w->isWindow() && type != Qt::Popup && type != Qt::ToolTip && type != Qt::Desktop) {
      QPointer<QWidget> window(w);
      QTimer::singleShot(0, this, [window] {
        if (window != nullptr && window->isVisible()) FitIntoScreen(window);
      });
    }
  }
  return QObject::eventFilter(watched, event);
}

void Workbench::FitIntoScreen(QWidget* window) {
  const QScreen* screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect room = screen->availableGeometry();
  // The frame's share: the title bar and borders the window manager adds.
  const QSize extra = window->frameGeometry().size() - window->size();
  const QSize inner = room.size() - extra;
  if (window->width() > inner.width() || window->height() > inner.height()) {
    window->resize(window->size().boundedTo(inner).expandedTo(window->minimumSize()));
  }
  const QRect frame = window->frameGeometry();
  const int x = std::max(room.left(), std::min(frame.left(), room.right() + 1 - frame.width()));
  const int y = std::max(room.top(), std::min(frame.top(), room.bottom() + 1 - frame.height()));
  if (x != frame.left() || y != frame.top()) window->move(x, y);
}

Workbench::~Workbench() {
  layoutReady_ = false;
  Chart::SetSaveFileNameAsker({});
  views_.reset();
  windows_.clear();
  form19_.reset();
  help_.reset();
  curve_.reset();
  form4_.reset();
  form1_.reset();
}

void Workbench::SetDialogs(std::unique_ptr<UserDialogs> dialogs) { dialogs_ = std::move(dialogs); }

QWidget* Workbench::window(const QString& name) const {
  for (const auto& [windowName, w] : windows_) {
    if (windowName == name) return w;
  }
  return nullptr;
}

void Workbench::Show() { form1_->show(); }

void Workbench::StartUp() {
  startFolder_ = QDir::currentPath();
  Session& s = *session_;
  CloseParameterFile(s);
  // The general defaults, then the start-up set.
  ApplyProgramStart(s);
  Correspond();
  InitFitTable(s.fit);
  // Every task window starts hidden; the threshold, f-I and reverse-problem
  // windows are hidden again should anything have shown them while they were
  // made. The parameter window stands beside the main window.
  for (const char* hidden : {"Form3", "Form5", "Form17"}) {
    if (QWidget* w = window(QString::fromUtf8(hidden))) w->hide();
  }
  form1_->ApplyStartupState();
  // The program's layout, then the one the user made on this screen size.
  const QRect room = Room();
  LayOutWindows(room);
  for (const auto& [name, w] : windows_) {
    const QByteArray geometry = layout_->Geometry(room.size(), name);
    if (!geometry.isEmpty()) w->restoreGeometry(geometry);
  }
  form4_->show();
  layoutReady_ = true;
  emit startedUp();
}

QRect Workbench::Room() const {
  const QScreen* screen = form1_->screen() != nullptr ? form1_->screen() : QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1920, 1200);
}

void Workbench::LayOutWindows(const QRect& room) {
  // The window manager's frame, as the main window has it; the others are
  // given the same.
  const QSize extra = form1_->frameGeometry().size() - form1_->size();
  const QRect main = PlaceMainWindow(room, form1_->frameGeometry().size(), form1_->minimumSize() + extra);
  form1_->resize(main.size() - extra);
  form1_->move(main.topLeft());
  const QRect commandRow(main.topLeft(), QSize(main.width(), form1_->CommandRowHeight()));
  // The parameter window first, beside the main window where there is room;
  // the task windows below the command row, in the program's order, left of
  // the parameter window where they fit there.
  auto minimumOf = [&extra](const QWidget* w) {
    return w->minimumSizeHint().expandedTo(w->minimumSize()).expandedTo(QSize(120, 80)) + extra;
  };
  const QRect parameters =
      PlaceBesideMain(room, main, commandRow, form4_->size() + extra, minimumOf(form4_.get()));
  form4_->resize(parameters.size() - extra);
  form4_->move(parameters.topLeft());
  const QRect keepVisible = parameters.intersects(commandRow.united(main)) ? QRect() : parameters;
  int order = 0;
  for (const auto& [name, w] : windows_) {
    if (w == form1_.get() || w == form4_.get()) continue;
    const QRect frame = PlaceTaskWindow(room, commandRow, keepVisible, w->size() + extra, minimumOf(w), order++);
    w->resize(frame.size() - extra);
    w->move(frame.topLeft());
  }
}

void Workbench::SetLayoutFile(const QString& file) { layout_ = std::make_unique<LayoutMemory>(file); }

void Workbench::ResetLayout() {
  const QRect room = Room();
  layout_->Forget(room.size());
  const bool ready = layoutReady_;
  layoutReady_ = false;  // the windows the layout hides are not the user's doing
  LayOutWindows(room);
  layoutReady_ = ready;
}

void Workbench::RememberGeometry(const QString& name, QWidget* window) {
  layout_->Remember(Room().size(), name, window->saveGeometry());
}

QStringList Workbench::ProjectFolderCandidates() const {
  QStringList places;
  // A folder named by the user wins.
  const QString named = qEnvironmentVariable("MEMBRIX_HOME");
  if (!named.isEmpty()) places << QDir(named).absolutePath();
  QStringList starts = {startFolder_.isEmpty() ? QDir::currentPath() : startFolder_};
  if (QCoreApplication::instance() != nullptr) {
    const QString program = QCoreApplication::applicationDirPath();
    starts << program;
    // An installed program: its shared files beside its bin folder.
    places << QDir(program).absoluteFilePath(QStringLiteral("../share/membrix"));
  }
  for (const QString& start : starts) {
    QDir dir(start);
    for (int up = 0; up < 5; ++up) {
      places << dir.absolutePath();
      if (!dir.cdUp()) break;
    }
  }
#ifdef MEMBRIX_INSTALL_DATA_DIR
  // Last, where "cmake --install" put them, for a program copied or linked
  // away from its bin folder.
  places << QStringLiteral(MEMBRIX_INSTALL_DATA_DIR);
#endif
  places.removeDuplicates();
  return places;
}

QString Workbench::ProjectFolder() const {
  if (!projectFolder_.isEmpty()) return projectFolder_;
  for (const QString& place : ProjectFolderCandidates()) {
    const QDir dir(place);
    if (dir.exists(QStringLiteral("resources/samples")) || dir.exists(QStringLiteral("docs/workbench.md"))) {
      return dir.absolutePath();
    }
  }
  return startFolder_.isEmpty() ? QDir::currentPath() : startFolder_;
}

QString Workbench::NotFoundAdvice(const QString& what) const {
  QStringList places;
  if (!projectFolder_.isEmpty()) {
    places << projectFolder_;
  } else {
    places = ProjectFolderCandidates();
  }
  return QStringLiteral("Not found: %1. Looked in %2.\nSet MEMBRIX_HOME to the folder that holds docs/ and "
                        "resources/ (the source folder of Membrix, or its installed share/membrix), or start "
                        "Membrix from inside that folder.")
      .arg(what, places.join(QStringLiteral(", ")));
}

QString Workbench::SamplesFolder() const {
  return QDir(ProjectFolder()).filePath(QStringLiteral("resources/samples"));
}

QString Workbench::DocsFolder() const { return QDir(ProjectFolder()).filePath(QStringLiteral("docs")); }

void Workbench::Correspond() {
  CorrespondParametersToTheForm(*session_, form1_.get(), form4_.get());
  // The mark of "Iind=Vexp" shows whether the recording is injected: clamp
  // mode 7, however it was chosen.
  form1_->ShowIindIsVexpMark();
  form1_->ShowIdFileInTitle();
}

void Workbench::ControlsToParameters() {
  membrix::ControlsToParameters(*session_, form1_.get(), form4_.get());
}

bool Workbench::RunCommand(const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (const RunCancelled&) {
    return false;  // the program is closing
  } catch (const std::exception& e) {
    dialogs_->ShowError(form1_.get(), QString::fromUtf8(e.what()));
    return false;
  }
}

QString Workbench::ModelText() const {
  const auto& np = session_->NP0;
  const QString cell =
      QStringLiteral("%1, %2").arg(QString::fromStdString(np.HH_type), QString::fromStdString(np.HH_order));
  if (np.LIF_model == 1) return QStringLiteral("integrate-and-fire neuron");
  if (np.ThrModel == 1) return QStringLiteral("threshold model (%1)").arg(cell);
  return cell;
}

void Workbench::ShowModelIn(QWidget* window) const {
  // The title the window was made with, kept the first time.
  QVariant base = window->property("membrixBaseTitle");
  if (!base.isValid()) {
    base = window->windowTitle();
    window->setProperty("membrixBaseTitle", base);
  }
  window->setWindowTitle(QStringLiteral("%1 \u2014 ran %2").arg(base.toString(), ModelText()));
}

bool Workbench::RunSimulation(const std::function<void()>& command, QWidget* origin) {
  if (running_) return false;
  if (origin != nullptr) ShowModelIn(origin->window());
  running_ = true;
  stopRequested_ = false;
  sinceEvents_.invalidate();
  form1_->SetRunning(true);
  const bool done = RunCommand(command);
  running_ = false;
  stopRequested_ = false;
  form1_->SetRunning(false);
  RefreshViews(true);
  if (closeAfterRun_) {
    closeAfterRun_ = false;
    QTimer::singleShot(0, form1_.get(), [this] { form1_->close(); });
  }
  return done;
}

void Workbench::ProcessEvents() {
  if (session_->run.PauseFlag == 'P' && !stopRequested_) {
    // A paused run shows what it has and waits for the user without spinning.
    RefreshViews(true);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  } else if (!sinceEvents_.isValid() || sinceEvents_.nsecsElapsed() >= kEventIntervalNs) {
    RefreshViews(false);
    QCoreApplication::processEvents();
    sinceEvents_.start();
  }
  if (stopRequested_) throw RunCancelled();
}

bool Workbench::Confirm(const std::string& question) {
  return dialogs_->Confirm(form1_.get(), QString::fromStdString(question));
}

void Workbench::RefreshViews(bool force) {
  views_->Flush(force);
  form1_->SyncMemos();
}

void Workbench::ShowHelp(const QString& keyword) {
  if (!help_->Open(DocsFolder(), keyword)) {
    dialogs_->ShowError(form1_.get(), NotFoundAdvice(QStringLiteral("the help pages (docs/workbench.md)")));
  }
}

void Workbench::OnMainWindowClosing() {
  if (running_) {
    // The run ends at its next breathing point; then the program closes.
    stopRequested_ = true;
    closeAfterRun_ = true;
    return;
  }
  // The other windows close with it; the reverse-problem window, whose own
  // closing closes the main window, goes with its parent.
  for (const auto& [name, w] : windows_) {
    if (w->isVisible()) RememberGeometry(name, w);
  }
  layoutReady_ = false;  // closing is not a move of the user's
  for (const auto& [name, w] : windows_) {
    if (w != form1_.get() && name != QLatin1String("Form17") && w->isVisible()) w->close();
  }
}

}  // namespace membrix
