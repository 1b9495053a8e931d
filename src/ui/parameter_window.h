#pragma once
// The parameter window "Form4: Parameters": the fields of the current parameter
// record and a few run globals, on a top area and six pages ("Na-channels",
// "Simple models", "Other", "Ions", "NaK-pump", and "NeuroML channels", the
// list of the channels the model takes in from NeuroML files).
//
// Every input writes its own field as soon as its text changes, rounded to the
// decimals it shows, so a value passes through the window quantised exactly as
// if it had been typed. A few inputs have rules of their own (the time step,
// the temperature, the pipette conductance, the threshold voltage of the
// exponential model, the Ca and AHP inputs); those run when the user changes
// the input, not while the program shows values in the window (see
// ProgramDisplay). The temperature rule rescales the leak, so it runs once per
// edit, when the user presses Enter or leaves the input: typing "37" digit by
// digit rescales gL once, from the temperature before the edit.

#include <QGroupBox>
#include <QStringList>
#include <QWidget>
#include <functional>

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLabel;
class QTabWidget;
class QTableWidget;

namespace membrix {

struct Session;
struct ParameterInputEntry;
class NumericInput;

// A titled group of exclusive choices with an item index (-1: none chosen).
// Choosing another item, by a click or from the program, emits
// itemIndexChanged; choosing the item already chosen emits nothing.
class RadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  RadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr,
             Qt::Orientation orientation = Qt::Vertical);

  int itemIndex() const;
  void setItemIndex(int index);
  int count() const;

 signals:
  void itemIndexChanged(int index);

 private:
  QButtonGroup* buttons_;
};

class ParameterWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ParameterWindow(Session& session, QWidget* parent = nullptr);

  Session& session() const { return session_; }

  // The main window ("Form1") whose menus and inputs this window's own
  // commands (the lists, "Refresh", the Ca and AHP inputs) transfer together
  // with its own inputs. Without one they transfer this window only.
  void setMainWindow(QWidget* form1) { form1_ = form1; }
  QWidget* mainWindow() const { return form1_; }

  // The numeric input "DDSpinEdit<number>", or null.
  NumericInput* input(int number) const;

  // While one lives, values the program shows in the window still write their
  // fields (rounded to the shown decimals) and update labels, but the inputs'
  // own rules do not run: showing a rounded temperature does not rescale gL,
  // showing a threshold voltage does not reset FixThr and deltaT, showing the
  // Ca inputs does not re-read every control.
  class ProgramDisplay {
   public:
    explicit ProgramDisplay(ParameterWindow* window);
    ~ProgramDisplay();
    ProgramDisplay(const ProgramDisplay&) = delete;
    ProgramDisplay& operator=(const ProgramDisplay&) = delete;

   private:
    ParameterWindow* window_;
  };
  bool showingProgramValues() const { return displayDepth_ > 0; }

  // An edit of the temperature under way is forgotten: the temperature shown
  // is where the next edit's rescaling of gL starts (after restored settings).
  void ForgetTemperatureEdit() { temperatureEdited_ = false; }

  // The "x S =" labels, the Cm label and the area's hint, from the record.
  void UpdateLabels();

  // How a failed command tells the user; a message box unless replaced.
  void setErrorReporter(std::function<void(const QString&)> report) { reportError_ = std::move(report); }

  // The list of imported channels ("ImportedChannels") shows the record's:
  // each channel's id, ion, file, maximal conductance density (mS/cm²) and
  // reversal potential (mV), the last two editable as the other inputs are.
  void ShowImportedChannels();
  // How "Add channel ..." asks for a NeuroML file, and for one of its
  // channels when it holds several; an empty answer cancels. File dialogs
  // unless replaced.
  void setChannelDialogs(std::function<QString()> chooseFile,
                         std::function<QString(const QStringList& ids)> chooseId) {
    chooseChannelFile_ = std::move(chooseFile);
    chooseChannelId_ = std::move(chooseId);
  }

 signals:
  // "Details" asks for the help on a keyword ("Parameters").
  void helpRequested(const QString& keyword);
  // "NaK-pump plots" or a choice of "Na-K pump type" asks for the pump
  // characteristics in the ion window.
  void pumpCharacteristicsRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  NumericInput* MakeInput(const ParameterInputEntry& entry, QWidget* parent);
  QGroupBox* MakeGroup(int page, const char* title, QWidget* parent);
  QWidget* BuildTopArea();
  QWidget* BuildNaChannelsPage();
  QWidget* BuildSimpleModelsPage();
  QWidget* BuildOtherPage();
  QWidget* BuildIonsPage();
  QWidget* BuildPumpPage();
  QWidget* BuildChannelsPage();
  void OnAddChannel();
  void OnRemoveChannel();
  void LayOutPages(int item);
  void FitToContents();
  void OnScreenChosen(int item);

  void OnInputChanged(const ParameterInputEntry& entry, NumericInput* in);
  void OnTemperatureChanged(double oldTemp);
  void OnTemperatureCommitted();
  void OnG1Changed();
  void OnEIF_VTChanged();
  void OnListChosen(int list, const QString& text);
  void OnThresholdRuleChosen(int index);
  void ApplyThresholdRuleEnabling(int index);
  void OnRefresh();
  void OnDetails();
  void OnPreset(bool badel);
  void OnPumpCharacteristics();
  void ShowIonWindow(bool visible);
  void Correspond();
  void Report(const QString& message);

  Session& session_;
  QWidget* form1_ = nullptr;
  int displayDepth_ = 0;
  // The temperature rule runs once per edit, from the temperature before it.
  bool temperatureEdited_ = false;
  double temperatureBeforeEdit_ = 0.0;
  std::function<void(const QString&)> reportError_;
  std::function<QString()> chooseChannelFile_;
  std::function<QString(const QStringList&)> chooseChannelId_;

  QWidget* content_ = nullptr;  // inside the window's scroll area
  QGridLayout* layout_ = nullptr;
  QGridLayout* topLayout_ = nullptr;
  QWidget* conductances_ = nullptr;  // the top area's two blocks
  QWidget* membrane_ = nullptr;
  QTabWidget* pages_ = nullptr;
  QComboBox* thresholdRules_ = nullptr;
  QTableWidget* channels_ = nullptr;
};

}  // namespace membrix
