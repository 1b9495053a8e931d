#pragma once
// The workbench: the one session of the program, its windows (created in the
// program's order with the main window first), the host through which long
// computations let the windows breathe, pause and stop, and the start-up made
// when the main window is first shown.
//
// Commands run through RunCommand: a failure shows one message box with the
// engine's message and leaves the workbench as usable as before. Modal boxes
// and file dialogs go through UserDialogs, which tests replace by a script.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "run/host.h"

class QWidget;
class QRect;

namespace membrix {

struct Session;
struct TaskInputs;
class MainWindow;
class ParameterWindow;
class CurveWindow;
class HelpWindow;
class RunViewCharts;
class IonDynamicsWindow;
class LayoutMemory;

// The questions, messages and file dialogs of the workbench.
class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // A Yes/No box; true means Yes.
  virtual bool Confirm(QWidget* parent, const QString& question);
  // One message box for a command that failed.
  virtual void ShowError(QWidget* parent, const QString& message);
  // A message that needs no answer.
  virtual void ShowMessage(QWidget* parent, const QString& title, const QString& message);
  // File dialogs with a filter in the program's form ("data-files|*.dat|all
  // files|*.*"); an empty name means the dialog was cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter);
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter);

  // One of a list of items (the channels of a NeuroML file); empty when
  // the choice was cancelled.
  virtual QString ChooseItem(QWidget* parent, const QString& caption, const QStringList& items);

  // The program's filter form turned into the one of the platform's dialogs.
  static QString DialogFilter(const QString& programFilter);
};

// A run that was ended early because the program is closing.
class RunCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "the run was stopped"; }
};

class Workbench : public QObject, public Host {
  Q_OBJECT

 public:
  explicit Workbench(QObject* parent = nullptr);
  ~Workbench() override;

  Session& session() { return *session_; }
  // The inputs of the task windows, kept beside the session and saved with
  // the settings.
  TaskInputs& inputs() { return *inputs_; }
  MainWindow& mainWindow() { return *form1_; }
  ParameterWindow& parameterWindow() { return *form4_; }
  CurveWindow& curveWindow() { return *curve_; }
  RunViewCharts& views() { return *views_; }
  IonDynamicsWindow& ionWindow() { return *form19_; }
  UserDialogs& dialogs() { return *dialogs_; }
  void SetDialogs(std::unique_ptr<UserDialogs> dialogs);

  // The window of that program name ("Form1", "Form3", ... "Form21", or
  // "FitDialog"), made at start-up; null for a name the program does not have.
  QWidget* window(const QString& name) const;
  // Every window by name, in the order the program made them.
  const std::vector<std::pair<QString, QWidget*>>& windows() const { return windows_; }

  // Shows the main window; its first showing runs the start-up.
  void Show();

  // The folder current when the main window was first shown.
  const QString& StartFolder() const { return startFolder_; }
  // The folder holding resources/ and docs/: found from the start folder or
  // from the program's own folder upwards, unless set.
  // Also the folder named by MEMBRIX_HOME, and share/membrix beside the
  // program's folder when installed.
  QString ProjectFolder() const;
  // The folders looked through, in order.
  QStringList ProjectFolderCandidates() const;
  // A message for files of the project folder that are missing: where they
  // were looked for and what to do ("Not found: the help pages
  // (docs/workbench.md). Looked in ... Set MEMBRIX_HOME ...").
  QString NotFoundAdvice(const QString& what) const;
  void SetProjectFolder(const QString& folder) { projectFolder_ = folder; }
  // The folder of the fixed parameter files, and of the help pages.
  QString SamplesFolder() const;
  QString DocsFolder() const;

  // NP0 and the run globals shown in all windows, and the way back.
  void Correspond();
  void ControlsToParameters();

  // Runs a command; a failure shows one message with the engine's message.
  // Returns whether the command completed.
  bool RunCommand(const std::function<void()>& command);
  // The same for a command that runs a simulation: refused while another one
  // runs, and the run views are drawn completely at its end.
  // A window that runs it (origin) says in its title which model ran.
  bool RunSimulation(const std::function<void()>& command, QWidget* origin = nullptr);
  // The model of the next run as the windows name it: its family and
  // geometry ("White, 1-point"), or the threshold or integrate-and-fire
  // neuron standing in for it.
  QString ModelText() const;
  // The window's title, followed by the model it ran.
  void ShowModelIn(QWidget* window) const;
  bool Running() const { return running_; }

  // Host: the windows breathe, "Pause" holds, closing the program stops.
  void ProcessEvents() override;
  bool StopRequested() const override { return stopRequested_; }
  bool Confirm(const std::string& question) override;
  void ShowParameters() override { Correspond(); }

  // Draws the run views and the memos; unless forced, paced.
  void RefreshViews(bool force);

  // Opens the help pages at the section of a keyword ("Help", "Parameters").
  void ShowHelp(const QString& keyword);

  // Closing the main window ends the program: every window closes with it.
  // During a run the run is stopped first.
  void OnMainWindowClosing();

  // Moves a window, and makes it smaller where it may, so that it lies fully
  // inside the available area of its screen. Every window of the program is
  // fitted so when it is shown.
  static void FitIntoScreen(QWidget* window);

  // Puts the main window at the top left of `room` and every other window
  // inside it, none over the main window's command row; the user's layout is
  // not consulted.
  void LayOutWindows(const QRect& room);
  // Forgets the user's layout for this screen size and lays the windows out
  // again ("Reset layout").
  void ResetLayout();
  // The file the user's layout is kept in; empty keeps none. Set before the
  // main window is first shown to take effect at start-up.
  void SetLayoutFile(const QString& file);
  const LayoutMemory& Layout() const { return *layout_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  void startedUp();

 private:
  void StartUp();
  // The available area of the screen the main window is on.
  QRect Room() const;
  // The window's geometry remembered for this screen size.
  void RememberGeometry(const QString& name, QWidget* window);

  std::unique_ptr<Session> session_;
  std::unique_ptr<TaskInputs> inputs_;
  std::unique_ptr<UserDialogs> dialogs_;
  std::unique_ptr<MainWindow> form1_;
  std::unique_ptr<ParameterWindow> form4_;
  std::unique_ptr<CurveWindow> curve_;
  std::unique_ptr<HelpWindow> help_;
  std::unique_ptr<RunViewCharts> views_;
  std::unique_ptr<IonDynamicsWindow> form19_;
  std::vector<std::pair<QString, QWidget*>> windows_;  // in the order they were made
  QString startFolder_;
  QString projectFolder_;
  bool running_ = false;
  bool stopRequested_ = false;
  bool closeAfterRun_ = false;
  std::unique_ptr<LayoutMemory> layout_;
  bool layoutReady_ = false;  // from the start-up on, the user's moves are kept
  QElapsedTimer sinceEvents_;  // since the windows last handled their events in a run
};

}  // namespace membrix
