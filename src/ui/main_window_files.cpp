// What the main window reads and writes: parameter files and the notes
// memos, traces and recordings, pictures of its charts and of the screen.

#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "common/error.h"
#include "params/model_defaults.h"
#include "params/parameter_file.h"
#include "run/output_variables.h"
#include "run/recording.h"
#include "run/session.h"
#include "run/trace_files.h"
#include "ui/chart.h"
#include "ui/run_view_charts.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/workbench.h"

namespace membrix {

namespace {

constexpr const char* kTraceFilter = "data-files|*.dat|all files|*.*";
constexpr const char* kIdFilter = "Files with paremeters (*.id)|*.id";
constexpr const char* kRecordingFilter = "recordings|*.dat;*.d;*.txt|all files|*.*";

// Shows the session's lines in a memo: new lines are appended; a memo whose
// lines were replaced is written again.
void ShowLines(QPlainTextEdit* memo, const std::vector<std::string>& lines, std::size_t& shown,
               QString& lastShown) {
  const bool appended =
      lines.size() >= shown && (shown == 0 || QString::fromStdString(lines[shown - 1]) == lastShown);
  if (appended && lines.size() == shown) return;
  if (!appended) {
    memo->clear();
    shown = 0;
  }
  for (; shown < lines.size(); ++shown) memo->appendPlainText(QString::fromStdString(lines[shown]));
  lastShown = shown > 0 ? QString::fromStdString(lines[shown - 1]) : QString();
}

}  // namespace

void MainWindow::OnSaveTrace(int writeMode) {
  if (wb_.Running()) return;
  const std::string item = s().trace.VarToWrite;
  const QString file = wb_.dialogs().SaveFileName(this, QStringLiteral("Save the trace"), QDir::currentPath(),
                                                  QString::fromUtf8(kTraceFilter));
  if (file.isEmpty()) return;
  QDir::setCurrent(wb_.StartFolder());
  ShowConductanceCharts();
  // One variable of the output list is written by a clamp run or, when the
  // researcher declines that, by the firing clamp with noise.
  if (writeMode == 4 && !wb_.Confirm("Run \"RunClamp\"")) {
    if (wb_.Confirm("Run \"WithNoise\"")) SaveTraceWithNoise(file, item);
    return;
  }
  wb_.RunSimulation([&] {
    FitExperimentAxis();
    SaveTraceRun(s(), wb_, wb_.views(), file.toStdString(), writeMode, item);
  });
}

void MainWindow::SaveTraceWithNoise(const QString& file, const std::string& item) {
  Session& ss = s();
  const std::string path = file.toStdString();
  if (!IsOutputVariable(item)) {
    wb_.dialogs().ShowError(this, QStringLiteral("\"%1\" is not an item of the output list \"Var to write\"")
                                      .arg(QString::fromStdString(item)));
    return;
  }
  ss.trace.TraceFile = path;
  ss.trace.VarToWrite = item;
  ss.run.WriteMode = 4;
  analysisWindows().ShowFiringClamp();
  const bool done = analysisWindows().firingClamp().Run(100000, path);
  ss.run.WriteMode = 0;
  // A trace that is not confirmed, or that a failed run left half written, is
  // emptied: it never looks complete.
  const bool keep = done && wb_.Confirm(TraceStatusText(4, item) + ". OK?");
  if (!keep && QFileInfo::exists(file)) wb_.RunCommand([&] { EmptyFile(path); });
}
void MainWindow::OnPrintScreen() {
  wb_.RunCommand([this] {
    QScreen* screen = windowHandle() != nullptr ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    const QPixmap picture = screen != nullptr ? screen->grabWindow(0) : QPixmap();
    const QString path = QDir::current().filePath(QStringLiteral("Screen.jpg"));
    if (picture.isNull()) throw Error(path.toStdString() + ": the screen could not be captured");
    if (!picture.save(path, "JPG")) throw IoError(path.toStdString(), "the picture could not be written");
  });
}
void MainWindow::OnCopyPage(const std::vector<Chart*>& charts) {
  // The shown charts of the page, one under the other, as one picture.
  std::vector<QPixmap> pictures;
  int width = 0, height = 0;
  for (Chart* c : charts) {
    if (c->isHidden()) continue;
    pictures.push_back(c->Picture());
    width = std::max(width, pictures.back().width());
    height += pictures.back().height();
  }
  if (pictures.empty()) return;
  if (pictures.size() == 1) {
    QApplication::clipboard()->setPixmap(pictures.front());
    return;
  }
  QPixmap page(width, height);
  page.fill(Qt::white);
  QPainter painter(&page);
  int y = 0;
  for (const QPixmap& p : pictures) {
    painter.drawPixmap(0, y, p);
    y += p.height();
  }
  painter.end();
  QApplication::clipboard()->setPixmap(page);
}

void MainWindow::OnOpenIdFile() {
  const QString folder = QDir::currentPath();
  const QString file = wb_.dialogs().OpenFileName(this, QStringLiteral("Open *.id file"), folder,
                                                  QString::fromUtf8(kIdFilter));
  QDir::setCurrent(folder);
  if (file.isEmpty()) return;
  ShowMemo(paramsMemo_);
  wb_.RunCommand([&] { LoadParameterFile(s(), file.toStdString()); });
  // Assignments read before a failure stay applied; the windows show them.
  wb_.Correspond();
  SyncMemos();
}

void MainWindow::OnDefault() {
  QDir::setCurrent(wb_.StartFolder());
  CloseParameterFile(s());
  wb_.RunCommand([this] { ApplyStartupSet(s()); });
  wb_.Correspond();
}

void MainWindow::OnFixedFile(const QString& file) {
  QDir::setCurrent(wb_.StartFolder());
  ShowMemo(paramsMemo_);
  // The start folder's own file first; the shipped sample where it has none.
  const QString own = QDir(wb_.StartFolder()).filePath(file);
  const QString path = QFileInfo::exists(own) ? own : QDir(wb_.SamplesFolder()).filePath(file);
  if (!QFileInfo::exists(path)) {
    wb_.dialogs().ShowError(
        this, wb_.NotFoundAdvice(QStringLiteral("the parameter file \"%1\" (in the start folder %2 or in "
                                                "resources/samples)")
                                     .arg(file, QDir::toNativeSeparators(wb_.StartFolder()))));
    return;
  }
  wb_.RunCommand([&] { LoadParameterFile(s(), path.toStdString()); });
  for (QAction* a : fileMenu_->actions()) {
    if (a->data().toString() == file) a->setToolTip(QStringLiteral("Opened %1").arg(QDir::toNativeSeparators(path)));
  }
  fileMenu_->setToolTipsVisible(true);
  wb_.Correspond();
  SyncMemos();
}

void MainWindow::OnSetParamsInWindow() {
  s().ParamsMemo.push_back("Here you can set any parameters. DblClick to finish.");
  ShowMemo(paramsMemo_);
  pages_->setCurrentIndex(3);
  paramsMemo_->setFocus();
  paramsMemo_->moveCursor(QTextCursor::End);
}

void MainWindow::OnParamsMemoDoubleClick() {
  const QString path = QDir::current().filePath(QStringLiteral("Memo.id"));
  const QString text = paramsMemo_->toPlainText();
  wb_.RunCommand([&] {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
      throw IoError(path.toStdString(), out.errorString().toStdString());
    }
    const QByteArray bytes = text.toUtf8() + '\n';
    if (out.write(bytes) != bytes.size() || !out.flush()) {
      throw IoError(path.toStdString(), out.errorString().toStdString());
    }
    out.close();
    ReadSection(s(), path.toStdString(), "Any", "Any");
  });
  paramsMemo_->hide();
  UpdateEmptyPageHints();
  wb_.Correspond();
  SyncMemos();
}
void MainWindow::OnExpDataFile(int dataFormat) {
  const QString file = wb_.dialogs().OpenFileName(this, QStringLiteral("Recording of sample 0"),
                                                  QDir::currentPath(), QString::fromUtf8(kRecordingFilter));
  if (file.isEmpty()) return;
  wb_.RunCommand([&] { ChooseRecordingFile(s(), file.toStdString(), dataFormat); });
}
void MainWindow::SyncMemos() {
  ShowLines(simplexMemo_, s().SimplexMemo, memoLines_[0], memoLast_[0]);
  ShowLines(paramsMemo_, s().ParamsMemo, memoLines_[1], memoLast_[1]);
  ShowLines(coeMemo_, s().CoeMemo, memoLines_[2], memoLast_[2]);
}

void MainWindow::ShowMemo(QPlainTextEdit* memo) {
  SyncMemos();
  memo->show();
  UpdateEmptyPageHints();
}

}  // namespace membrix
