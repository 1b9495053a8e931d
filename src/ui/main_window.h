#pragma once
// The main window "Form1": the stimulus inputs of a clamp run, the run button
// and the tool buttons, six pages of charts, memos and firing-clamp inputs, and
// the File, Parameters, Tasks, Help and About menus. Closing it ends the
// program.
//
// Every control, menu item and input label carries the program's name as its
// object name (its caption where the program names it by the caption only), so
// that the parameter transfer finds it.
//
// The class is written in pieces: main_window.cpp (the window, its status bar,
// protocol marks and events), main_window_pages.cpp (the command row, the
// pages and the output list), main_window_menus.cpp (the menus and the
// choices they make), main_window_runs.cpp (the clamp run, drawing any curve,
// the fit) and main_window_files.cpp (parameter files, notes, traces,
// recordings and pictures).

#include <QMainWindow>
#include <QString>
#include <array>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QVBoxLayout;
class QWidget;

namespace membrix {

class AnalysisWindows;
class Chart;
class NumericInput;
class Workbench;
struct Session;
struct ProtocolChange;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(Workbench& workbench);
  ~MainWindow() override;

  // The charts "Chart1" ... "Chart7": voltage and current (page 0), model and
  // experiment (page 2), the two conductance charts (page 1), phase plane and
  // dynamic I-V function (page 5).
  Chart* chart(int number) const;
  // The charts a clamp run draws into, pages 0, 1, 2 and 5.
  std::vector<Chart*> RunCharts() const;

  // Menu marks and page the run views read.
  bool NoCleaning() const;
  bool FitPictureToExpData() const;
  bool PhasePageShown() const;
  QLabel* TimeLabel() const { return timeLabel_; }
  QLabel* FileLabel() const { return fileLabel_; }
  // The page "Model and Experiment" in one-axis form: the model and the
  // recording in the recording's unit, and their difference.
  Chart* ModelOverlayChart() const { return modelOverlay_; }
  Chart* ResidualChart() const { return residual_; }
  // Shows the one-axis form when the run's model value shares the recording's
  // unit and "One axis" is ticked, else the two-axis chart; the residual only
  // with a recording.
  void ShowModelView(bool sharesUnit, bool recording);
  bool ModelOnOneAxis() const;

  // The status bar's summary of the last run ("Run complete: 3 spikes, ...").
  QLabel* RunSummaryLabel() const { return runSummary_; }

  // The window title: the program and the open parameter file, if any.
  void ShowIdFileInTitle();

  // The session's memo lines into the three memos of the "Notes" page.
  void SyncMemos();

  // The f-I, adaptation, threshold and statistics windows it opens.
  AnalysisWindows& analysisWindows();

  // What the start-up selects and hides once the parameters are shown.
  void ApplyStartupState();

  // The Simplex menu's marks from the fit table.
  void ShowFitMarks();
  // The mark of "Iind=Vexp" from the protocol, which its item toggles.
  void ShowIindIsVexpMark();

  // While a simulation runs, the commands that would start another one are
  // disabled.
  void SetRunning(bool running);

  // The sample choice of the "Samples" menu, from the ticked item (0 ... 20)
  // and the number of recordings: a sample beyond NSmpls falls back to 1.
  static int ChooseSample(int tickedItem, int NSmpls);
  // The sample of the ticked "Smpl=" item becomes the one the runs use, as
  // ticking it does (a restored settings file ticks it); nothing when no item
  // is ticked.
  void TakeSampleFromMarks();

  // A task that set up the main protocol: its changed inputs are marked, the
  // status bar names the changes and offers an Undo, which calls `undo`.
  // Marks go with the Undo, with the next task, or input by input as the
  // researcher edits them.
  void ShowProtocolChanges(const QString& task, const std::vector<ProtocolChange>& changes,
                           std::function<void()> undo);
  void ClearProtocolMarks();
  // The marked inputs and the status bar's Undo, null when hidden.
  QStringList ProtocolMarks() const;
  QPushButton* ProtocolUndo() const;
  // A line in the status bar about a task's run (firing clamp, ensemble, map).
  void ShowTaskStatus(const QString& line);
  // The height of the command row (the menu and the row of run buttons and
  // inputs) from the top of the window's frame down; no other window covers it.
  int CommandRowHeight() const;
  // That row on the screen.
  QRect CommandRow() const;

 signals:
  void firstShown();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Building.
  QWidget* BuildTopArea();
  QWidget* BuildPages();
  QWidget* BuildVoltagePage();
  QWidget* BuildConductancePage();
  QWidget* BuildModelPage();
  QWidget* BuildNotesPage();
  QWidget* BuildFiringClampPage();
  QWidget* BuildPhasePage();
  QGroupBox* BuildVarToWrite();
  void BuildMenus();
  void BuildFileMenu();
  void BuildParametersMenu();
  void BuildTasksMenu();
  void BuildDesktopHabits();
  void BuildModelAgainstRecording(QVBoxLayout* v);
  NumericInput* AddInput(QGridLayout* grid, int row, int col, const char* name, const char* caption,
                         int decimals, const char* hint, bool resetOnDoubleClick,
                         std::function<void(double)> store);
  QPushButton* AddButton(const QString& caption, const char* hint = nullptr);
  QAction* AddAction(QMenu* menu, const QString& name, const QString& caption, bool checkable = false);
  Chart* AddChart(int number, const char* title);
  QPushButton* AddSaveButton(int writeMode, const QString& item);

  // Commands.
  void OnRunClamp();
  // Before a clamp run: with "FitPictureToExpData" the experiment axis spans
  // every recording, else it follows the run.
  void FitExperimentAxis();
  void OnClear();
  void OnPause();
  void OnSaveTrace(int writeMode);
  // Writes one variable of the output list by the firing clamp with noise
  // (up to 100000 spikes) instead of a clamp run.
  void SaveTraceWithNoise(const QString& file, const std::string& item);
  void OnOutputItemChosen(int item);
  void OnShowOutputList(bool draw);
  void HideOutputList();
  void OnPrintScreen();
  void OnAdjustTimeAxis(Chart* from, Chart* to);
  void OnAutoTimeAxes();
  void OnCopyPage(const std::vector<Chart*>& charts);
  void OnOpenIdFile();
  void OnDefault();
  void OnFixedFile(const QString& file);
  void OnSetParamsInWindow();
  void OnParamsMemoDoubleClick();
  void OnModelFamily(const QString& family);
  void OnGeometry(const QString& geometry);
  void OnClampMode(const QString& mode);
  void OnSample(int item);
  void OnThrModel();
  void OnLIFModel();
  void OnExpDataFile(int dataFormat);
  void OnSimplexTask();
  void OnResetListChosen(int index);
  void OnFiringClampPanelDoubleClick();

  void ShowConductanceCharts();
  void ShowChartsAndSaveButtons();
  void ShowMemo(QPlainTextEdit* memo);
  void SyncPauseButton();
  void UpdateEmptyPageHints();
  Session& s() const;

  Workbench& wb_;
  bool shownOnce_ = false;

  QTabWidget* pages_ = nullptr;
  std::array<Chart*, 8> charts_{};  // by number, 1 ... 7
  QLabel* timeLabel_ = nullptr;
  QLabel* fileLabel_ = nullptr;
  QLabel* runSummary_ = nullptr;
  Chart* modelOverlay_ = nullptr;
  bool overlayFitted_ = false;  // its axis was fixed to the recordings by "FitPictureToExpData"
  Chart* residual_ = nullptr;
  QCheckBox* oneAxis_ = nullptr;
  bool modelSharesUnit_ = false;
  bool modelRecording_ = false;
  QPushButton* runClamp_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* axon_ = nullptr;
  std::vector<QPushButton*> saveButtons_;
  std::vector<QWidget*> runCommands_;  // disabled while a simulation runs
  std::vector<QLabel*> emptyPageHints_;

  QPlainTextEdit* simplexMemo_ = nullptr;
  QPlainTextEdit* paramsMemo_ = nullptr;
  QPlainTextEdit* coeMemo_ = nullptr;
  std::size_t memoLines_[3] = {0, 0, 0};  // session lines shown in each memo
  QString memoLast_[3];                   // and the last of them

  QGroupBox* varToWrite_ = nullptr;
  QButtonGroup* varToWriteItems_ = nullptr;
  QPlainTextEdit* varToWriteNote_ = nullptr;

  QWidget* firingClampPanel_ = nullptr;
  QComboBox* actionList_ = nullptr;
  QComboBox* resetList_ = nullptr;
  QComboBox* noiseList_ = nullptr;
  QButtonGroup* functionF_ = nullptr;
  QButtonGroup* functionG_ = nullptr;

  std::array<QAction*, 21> sampleItems_{};  // "Smpl=0" ... "Smpl=20"
  QAction* fitPicture_ = nullptr;
  QPushButton* protocolUndo_ = nullptr;
  std::vector<QWidget*> protocolMarked_;
  std::function<void()> protocolUndoCommand_;
  QAction* noCleaning_ = nullptr;
  QAction* writing_ = nullptr;
  QAction* iindIsVexp_ = nullptr;
  QAction* frequencyItem_ = nullptr;
  std::vector<QAction*> fitItems_;  // Parameters -> Simplex, by slot
  std::vector<QAction*> hiddenFileItems_;
  QAction* simplexTask_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QWidget* topArea_ = nullptr;
  std::unique_ptr<AnalysisWindows> analysisWindows_;
};

}  // namespace membrix
