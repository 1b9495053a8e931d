#pragma once
// A workbench started up in a temporary folder, with its questions, messages
// and file dialogs answered by a script instead of modal boxes.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <memory>

#include "run/session.h"
#include "tasks/task_inputs.h"
#include "ui/chart.h"
#include "ui/main_window.h"
#include "ui/numeric_input.h"
#include "ui/workbench.h"

namespace membrix::testing {

class ScriptedDialogs final : public UserDialogs {
 public:
  bool Confirm(QWidget*, const QString& question) override {
    questions << question;
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowError(QWidget*, const QString& message) override { errors << message; }
  void ShowMessage(QWidget*, const QString&, const QString& message) override { messages << message; }
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return fileToOpen;
  }
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return fileToSave;
  }
  QString ChooseItem(QWidget*, const QString&, const QStringList& items) override {
    offeredItems = items;
    return itemToChoose;
  }

  std::deque<bool> answers;  // the Yes/No answers, in turn; No when none is left
  QStringList questions, errors, messages;
  QString fileToOpen, fileToSave;
  QStringList offeredItems;  // the items of the last choice
  QString itemToChoose;      // its answer; empty cancels
};

class WorkbenchFixture {
 public:
  WorkbenchFixture() {
    QDir::setCurrent(folder.path());
    auto script = std::make_unique<ScriptedDialogs>();
    dialogs = script.get();
    wb = std::make_unique<Workbench>();
    wb->SetDialogs(std::move(script));
    wb->SetProjectFolder(QStringLiteral(MEMBRIX_SOURCE_DIR));
    // The windows' layout is kept in the test's folder, never the user's.
    wb->SetLayoutFile(folder.filePath(QStringLiteral("window_layout.ini")));
    wb->Show();
    exposed = QTest::qWaitForWindowExposed(&form1());
  }
  ~WorkbenchFixture() {
    wb.reset();
    QDir::setCurrent(QDir::tempPath());
  }

  Session& s() { return wb->session(); }
  TaskInputs& in() { return wb->inputs(); }
  MainWindow& form1() { return wb->mainWindow(); }

  template <class T = QWidget>
  T* Find(const QString& name) {
    return form1().findChild<T*>(name);
  }
  QAction* Item(const QString& name) { return Find<QAction>(name); }
  NumericInput* Input(const QString& name) { return Find<NumericInput>(name); }
  QPushButton* Button(const QString& name) { return Find<QPushButton>(name); }

  // Types a value into a main-window input as the user does.
  void Type(const QString& input, const QString& text) {
    NumericInput* in = Input(input);
    in->clear();
    QTest::keyClicks(in, text);
  }

  // A short clamp run of the start-up set, started by its button.
  void RunClampFor(const QString& ms) {
    Type(QStringLiteral("DDSpinEdit3"), ms);
    QTest::mouseClick(Button(QStringLiteral("RunClamp")), Qt::LeftButton);
  }

  // The points of a run series, found by its title on the main window's charts.
  int Points(const QString& series) {
    for (Chart* c : form1().RunCharts()) {
      const int i = c->FindSeries(series);
      if (i >= 0) return c->PointCount(i);
    }
    return -1;
  }

  QString FilePath(const QString& name) const { return QDir(folder.path()).filePath(name); }
  void Write(const QString& name, const QByteArray& text) const {
    QFile f(FilePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
  }

  QTemporaryDir folder;
  ScriptedDialogs* dialogs = nullptr;
  std::unique_ptr<Workbench> wb;
  bool exposed = false;
};

// Types text into the numeric input name of window as a user would; with
// confirm, Return takes it in.
inline void TypeInto(QWidget& window, const char* name, const QString& text, bool confirm = true) {
  auto* in = window.findChild<NumericInput*>(QString::fromUtf8(name));
  QVERIFY2(in != nullptr, name);
  in->clear();
  QTest::keyClicks(in, text);
  if (confirm) QTest::keyClick(in, Qt::Key_Return);
}

// Runs the tests of Test on an offscreen screen of width × height pixels,
// described to the platform in a configuration file in the temporary folder.
template <class Test>
int ExecOnOffscreenScreen(int argc, char* argv[], const char* screen, int width, int height) {
  const QString config = QDir::temp().filePath(QStringLiteral("membrix_%1_screen.json").arg(QString::fromUtf8(screen)));
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  file.write(QStringLiteral("{\"screens\": [{\"name\": \"%1\", \"x\": 0, \"y\": 0, \"width\": %2, \"height\": %3,"
                            " \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                 .arg(QString::fromUtf8(screen))
                 .arg(width)
                 .arg(height)
                 .toUtf8());
  file.close();
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
  QApplication app(argc, argv);
  Test test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace membrix::testing
