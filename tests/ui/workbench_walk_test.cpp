// The whole workbench from its commands: the windows made at start-up in the
// program's order, and a walk over every menu item, button, check box and list
// of the main window and every button of the parameter window, each triggered
// as the researcher would and checked for what it does.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QTableWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QtTest>
#include <deque>
#include <functional>
#include <map>
#include <set>

#include "analysis/firing_clamp.h"
#include "analysis/firing_clamp_analysis.h"
#include "data/fit_table.h"
#include "run/recording.h"
#include "run/run_globals.h"
#include "ui/curve_window.h"
#include "ui/help_window.h"
#include "ui/parameter_window.h"
#include "ui/settings_binding.h"
#include "ui/windows/reverse_problem_window.h"
#include "workbench_fixture.h"

using membrix::MainWindow;
using membrix::testing::WorkbenchFixture;

namespace {

// The window an action belongs to: the one its menus pop up from.
QWidget* OwnerWindow(QObject* o) {
  for (QObject* p = o->parent(); p != nullptr; p = p->parent()) {
    auto* w = qobject_cast<QWidget*>(p);
    if (w != nullptr && w->isWindow() && qobject_cast<QMenu*>(w) == nullptr) return w;
  }
  return nullptr;
}

// The charts' own menu ("Save picture...", "Automatic range") belongs to the
// chart, whose tests walk it.
bool InChart(QObject* o) {
  for (QObject* p = o->parent(); p != nullptr; p = p->parent()) {
    if (qobject_cast<membrix::Chart*>(p) != nullptr) return true;
  }
  return false;
}

qint64 FileSize(const QString& path) { return QFileInfo(path).size(); }

struct Walk : WorkbenchFixture {
  QWidget* W(const char* name) const { return wb->window(QString::fromUtf8(name)); }
  bool Shown(const char* name) const {
    QWidget* w = W(name);
    return w != nullptr && w->isVisible();
  }
  QObject* Control(const char* window, const QString& name) { return membrix::SettingsControl(W(window), name); }
  // Every task window hidden again, the main and parameter windows shown.
  void Reset() {
    for (const auto& [name, w] : wb->windows()) {
      if (name != QLatin1String("Form1") && name != QLatin1String("Form4")) w->hide();
    }
    W("Form4")->show();
    dialogs->answers.clear();
    dialogs->errors.clear();
    s().run.nt = 0;
  }
  QButtonGroup* Group(const char* name) { return Find<QButtonGroup>(QString::fromUtf8(name)); }
  QString Ok(bool condition, const QString& what) const {
    if (!dialogs->errors.isEmpty()) return QStringLiteral("error: ") + dialogs->errors.join(QLatin1Char('|'));
    return condition ? QString() : what;
  }
};

// One row of the walk: the control by window and name; what is set up before
// it is triggered; how it is triggered when it is not a plain trigger or
// click; and what it must have done (an empty text) or why not.
struct Row {
  const char* window;
  QString name;
  std::function<void(Walk&)> prepare;
  std::function<QString(Walk&)> check;
  std::function<void(Walk&)> trigger = {};
};

void Trigger(QObject* o) {
  if (auto* a = qobject_cast<QAction*>(o)) {
    a->trigger();
  } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
    b->click();
  }
}

QString Q(const char* s) { return QString::fromUtf8(s); }

}  // namespace

class WorkbenchWalkTest : public QObject {
  Q_OBJECT

 private slots:
  void MakesEveryWindowInTheProgramsOrderAndShowsTwo();
  void EveryCommandReachesItsOperation();
  void PrintScreenWritesAJpegInTheCurrentFolder();
  void KernelNamesTheTraceItsRunsWrite();
};

void WorkbenchWalkTest::MakesEveryWindowInTheProgramsOrderAndShowsTwo() {
  Walk f;
  QVERIFY(f.exposed);
  QStringList order;
  for (const auto& [name, w] : f.wb->windows()) {
    QVERIFY2(w != nullptr, qPrintable(name));
    order << name;
    const bool shown = name == QLatin1String("Form1") || name == QLatin1String("Form4");
    QVERIFY2(w->isVisible() == shown, qPrintable(name));
    QVERIFY2(name.startsWith(QLatin1String("Form")) ? w->objectName() == name : true, qPrintable(name));
  }
  const QStringList program = {"Form1",  "Form3",  "Form2",  "Form4",  "Form5",  "Form6",  "Form7",  "Form8",
                               "Form9",  "Form11", "Form12", "Form13", "Form14", "Form15", "Form17", "Form18",
                               "Form20", "Form31", "Form19", "Form21"};
  QCOMPARE(order.mid(0, program.size()), program);
  // The settings file finds the same windows.
  for (const QString& name : program) QCOMPARE(membrix::SettingsWindow(*f.wb, name.toStdString()), f.wb->window(name));
  QVERIFY(membrix::SettingsWindow(*f.wb, "Form10") == nullptr);
  // The "Show..." commands show the window that is there.
  QPushButton* threshold = f.Button(QStringLiteral("Threshold"));
  threshold->click();
  QVERIFY(f.Shown("Form3"));
  QCOMPARE(f.form1().findChildren<QWidget*>(QStringLiteral("Form2")).size(), 1);
}

void WorkbenchWalkTest::PrintScreenWritesAJpegInTheCurrentFolder() {
  Walk f;
  f.Button(QStringLiteral("Print Screen"))->click();
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QFile picture(f.FilePath(QStringLiteral("Screen.jpg")));
  QVERIFY(picture.open(QIODevice::ReadOnly));
  const QByteArray head = picture.read(3);
  QCOMPARE(head, QByteArray("\xFF\xD8\xFF"));  // a JPEG
  picture.close();
  QImage image(picture.fileName());
  QVERIFY2(!image.isNull() && image.width() > 100 && image.height() > 100,
           qPrintable(QStringLiteral("%1 x %2").arg(image.width()).arg(image.height())));

  // A place that cannot take the file (a folder of that name is there): the
  // message names the file, and no picture is claimed.
  QVERIFY(QDir(f.folder.path()).mkpath(QStringLiteral("busy/Screen.jpg")));
  QDir::setCurrent(f.FilePath(QStringLiteral("busy")));
  f.Button(QStringLiteral("Print Screen"))->click();
  QDir::setCurrent(f.folder.path());
  QCOMPARE(f.dialogs->errors.size(), 1);
  QVERIFY2(f.dialogs->errors[0].contains(QStringLiteral("Screen.jpg")), qPrintable(f.dialogs->errors[0]));
}

void WorkbenchWalkTest::EveryCommandReachesItsOperation() {
  Walk f;
  QVERIFY(f.exposed);
  membrix::Session& s = f.s();
  MainWindow& form1 = f.form1();
  // Short runs.
  f.Type(QStringLiteral("DDSpinEdit3"), QStringLiteral("2"));
  const auto none = [](Walk&) {};
  const auto shows = [](std::initializer_list<const char*> names) {
    std::vector<const char*> list(names);
    return [list](Walk& w) {
      for (const char* n : list) {
        if (!w.Shown(n)) return w.Ok(false, QStringLiteral("%1 not shown").arg(Q(n)));
      }
      return w.Ok(true, {});
    };
  };
  const auto ran = [](Walk& w) { return w.Ok(w.s().run.nt == w.s().run.nt_end && w.s().run.nt > 0, "no run"); };
  const auto sets = [](std::function<bool(Walk&)> condition, const char* what) {
    return [condition, what](Walk& w) { return w.Ok(condition(w), Q(what)); };
  };
  const auto selectList = [](const char* name, int index) {
    return [name, index](Walk& w) {
      auto* list = w.Find<QComboBox>(Q(name));
      list->setCurrentIndex(index);
      emit list->activated(index);
    };
  };
  const auto clickItem = [](const char* group, int id) {
    return [group, id](Walk& w) { w.Group(group)->button(id)->click(); };
  };
  const auto saveTo = [](const char* file, std::initializer_list<bool> answers) {
    std::deque<bool> a(answers);
    return [file, a](Walk& w) {
      w.dialogs->fileToSave = w.FilePath(Q(file));
      w.dialogs->answers = a;
    };
  };
  const auto wrote = [](const char* file) {
    return [file](Walk& w) { return w.Ok(FileSize(w.FilePath(Q(file))) > 0, QStringLiteral("%1 empty").arg(Q(file))); };
  };

  std::vector<Row> rows = {
      // The tool buttons show their windows.
      {"Form1", "f-I -curve", none, shows({"Form5"})},
      {"Form1", "Adaptation", none, shows({"Form6"})},
      {"Form1", "(u,s) -plot", none, shows({"Form9"})},
      {"Form1", "Threshold", none, shows({"Form3"})},
      {"Form1", "Rate (ens.)", none, shows({"Form7", "Form15"})},
      {"Form1", "ramps/steps", none, shows({"Form18", "Form31"})},
      {"Form1", "HH approx.", none,
       [shows](Walk& w) {
         const QString why = shows({"Form17"})(w);
         if (auto* rp = w.form1().findChild<membrix::ReverseProblemWindow*>()) rp->BringMainWindowBack();
         return !why.isEmpty() ? why : w.Ok(!w.Shown("Form4"), "the parameter window stays");
       }},
      {"Form1", "Plot 2D: nu(u,s)", none,
       [](Walk& w) {
         w.Button(QStringLiteral("f-I -curve"))->click();
         return w.Ok(w.Shown("Form9") && !w.Shown("Form5"), "f-I -curve does not show the (u,s) map");
       }},
      {"Form1", "Frequency:  nu(Iind)", none,
       [](Walk& w) {
         w.Button(QStringLiteral("f-I -curve"))->click();
         return w.Ok(w.Shown("Form5") && !w.Shown("Form9"), "f-I -curve does not show the f-I window");
       }},
      {"Form1", "CheckBox1", none, shows({"Form13"})},
      {"Form1", "CheckBox2", none, shows({"Form14"})},
      {"Form1", "Axon",
       [](Walk& w) {
         w.in().fiber.N = 10;
         w.in().fiber.nDraw = 5;
       },
       [shows](Walk& w) {
         const QString why = shows({"Form12", "Form20"})(w);
         return !why.isEmpty() ? why : w.Ok(w.s().run.nt > 0, "the fiber did not run");
       }},
      // Runs and the charts.
      {"Form1", "RunClamp", none, ran},
      {"Form1", "RunClampShortcut", none, ran},
      {"Form1", "Clear", none, sets([](Walk& w) { return w.Points(QStringLiteral(" V ")) == 0; }, "charts kept")},
      {"Form1", "Pause", none,
       [](Walk& w) {
         const bool paused = w.s().run.PauseFlag == 'P';
         w.Button(QStringLiteral("Pause"))->click();
         return w.Ok(paused && w.s().run.PauseFlag == ' ', "Pause does not toggle the flag");
       }},
      {"Form1", "Adjust range to current",
       [](Walk& w) {
         w.Button(QStringLiteral("RunClamp"))->click();
         w.form1().chart(2)->SetAxisRange(membrix::ChartAxis::Bottom, 0.5, 1.5);
       },
       sets([](Walk& w) { return w.form1().chart(1)->AxisMaximum(membrix::ChartAxis::Bottom) == 1.5; },
            "the voltage chart keeps its range")},
      {"Form1", "Adjust range to voltage",
       [](Walk& w) { w.form1().chart(1)->SetAxisRange(membrix::ChartAxis::Bottom, 0.25, 1.0); },
       sets([](Walk& w) { return w.form1().chart(2)->AxisMaximum(membrix::ChartAxis::Bottom) == 1.0; },
            "the current chart keeps its range")},
      {"Form1", "Auto", none,
       sets([](Walk& w) { return w.form1().chart(2)->AxisMaximum(membrix::ChartAxis::Bottom) != 1.0; },
            "the time axis stays fixed")},
      {"Form1", "CopyToBMP", [](Walk&) { QApplication::clipboard()->clear(); },
       sets([](Walk&) { return !QApplication::clipboard()->pixmap().isNull(); }, "no picture")},
      {"Form1", "CopyToBMP2", [](Walk&) { QApplication::clipboard()->clear(); },
       sets([](Walk&) { return !QApplication::clipboard()->pixmap().isNull(); }, "no picture")},
      {"Form1", "CopyToBMP3", [](Walk&) { QApplication::clipboard()->clear(); },
       sets([](Walk&) { return !QApplication::clipboard()->pixmap().isNull(); }, "no picture")},
      {"Form1", "CopyToBMP5", [](Walk&) { QApplication::clipboard()->clear(); },
       sets([](Walk&) { return !QApplication::clipboard()->pixmap().isNull(); }, "no picture")},
      {"Form1", "Print Screen", none, wrote("Screen.jpg")},
      // The "Save" buttons' items: a clamp run writes the trace once accepted.
      {"Form1", "Save V to file", saveTo("v.dat", {true}), wrote("v.dat")},
      {"Form1", "Save exp.&mod. curves to file", saveTo("em.dat", {true}), wrote("em.dat")},
      {"Form1", "Save mmR and hhR (m and h for slow Na-current) to file", saveTo("mh.dat", {true}),
       wrote("mh.dat")},
      // The output list.
      {"Form1", "Save any curve", none,
       sets([](Walk& w) { return w.Find<QWidget>(Q("RadioGroup1"))->isVisible() && w.s().run.DrawAnyCurve == 0; },
            "the list is not offered for saving")},
      {"Form1", "CloseRadioGroup", none,
       sets([](Walk& w) { return !w.Find<QWidget>(Q("RadioGroup1"))->isVisible(); }, "the list stays")},
      {"Form1", "Draw any curve", none,
       sets([](Walk& w) { return w.Find<QWidget>(Q("RadioGroup1"))->isVisible() && w.s().run.DrawAnyCurve == 1; },
            "the list is not offered for drawing")},
      {"Form1", "V by RunClamp",
       [saveTo](Walk& w) {
         w.Button(QStringLiteral("Save any curve"))->click();
         saveTo("any.dat", {true, true})(w);
       },
       wrote("any.dat"), clickItem("RadioGroup1Items", 21)},
      {"Form1", "V by WithNoise",
       [saveTo](Walk& w) {
         w.Button(QStringLiteral("Save any curve"))->click();
         saveTo("noisy.dat", {false, true, true})(w);
       },
       [wrote](Walk& w) {
         const QString why = wrote("noisy.dat")(w);
         if (!why.isEmpty()) return why;
         const QStringList asked = w.dialogs->questions.mid(w.dialogs->questions.size() - 3);
         const QStringList expected = {Q("Run \"RunClamp\""), Q("Run \"WithNoise\""),
                                       Q("Written columns are: 1-t(ms)  2-V. OK?")};
         return w.Ok(asked == expected && w.Shown("Form8"),
                     QStringLiteral("asked %1").arg(asked.join(QLatin1Char('|'))));
       },
       clickItem("RadioGroup1Items", 21)},
      // Every item of the list draws its variable in the curve window.
      {"Form1", "RadioGroup1Items", none,
       [](Walk& w) {
         const QList<QAbstractButton*> items = w.Group("RadioGroup1Items")->buttons();
         for (QAbstractButton* item : items) {
           w.Button(Q("Draw any curve"))->click();
           w.s().run.nt = 0;
           w.wb->curveWindow().hide();
           item->click();
           if (!w.wb->curveWindow().isVisible() || w.s().run.nt == 0 || w.s().run.DrawAnyCurve != 0)
             return w.Ok(false, item->text() + QStringLiteral(" not drawn"));
         }
         return w.Ok(!w.Find<QWidget>(Q("RadioGroup1"))->isVisible(), "the list stays");
       },
       [](Walk&) {}},
      // The page "Firing-Clamp and PRC".
      {"Form1", "Make linear F,G", none,
       [](Walk& w) {
         // No map has been computed in this folder: the map's file is named.
         const bool named = w.dialogs->errors.size() == 1 && w.dialogs->errors[0].contains(Q("v(u_s).dat"));
         w.dialogs->errors.clear();
         return w.Ok(named && w.Button(Q("Make linear F,G"))->text() == Q("Undo linear F,G") && w.Shown("Form9"),
                     "no linearisation");
       }},
      {"Form1", "ComboBox1", none, sets([](Walk& w) { return w.in().firingClamp.Mode == 7; }, "action not taken"),
       selectList("ComboBox1", 7)},
      {"Form1", "ComboBox2", none,
       sets([](Walk& w) { return w.in().firingClamp.Mode == 4 && w.Input(Q("DDSpinEdit18"))->value() == -40.0; },
            "the meanders do not preset the clamp"),
       selectList("ComboBox2", 3)},
      {"Form1", "NoiseList", none,
       sets([](Walk& w) { return static_cast<int>(w.s().stim.noiseList) == 1; }, "noise not chosen"),
       selectList("NoiseList", 1)},
      {"Form1", "RadioGroup3Items", none, sets([](Walk& w) { return w.in().firingClamp.FunctionF == 2; }, "F"),
       clickItem("RadioGroup3Items", 2)},
      {"Form1", "RadioGroup2Items", none, sets([](Walk& w) { return w.in().firingClamp.FunctionG == 1; }, "G"),
       clickItem("RadioGroup2Items", 1)},
      {"Form1", "OneAxis", [](Walk& w) { w.form1().ShowModelView(true, true); },
       sets([](Walk& w) { return !w.form1().ModelOnOneAxis(); }, "the model stays on one axis")},
      // Tasks, Help, About.
      {"Form1", "Firing-Clamp and PRC",
       none,
       [](Walk& w) { return w.Ok(w.Shown("Form8") && w.s().run.PauseFlag == 'N', "no firing clamp"); }},
      {"Form1", "Act/Inact", none, shows({"Form2"})},
      {"Form1", "FittingOptions", none, shows({"FitDialog"})},
      {"Form1", "Simplex", [](Walk& w) {
                      membrix::ClearFitMarks(w.s().fit);
                      w.form1().ShowFitMarks();
                    },
       [](Walk& w) {
         w.dialogs->errors.clear();  // nothing is marked: the fit says so
         return w.Ok(w.Find<QWidget>(Q("SimplexMemo"))->isVisible(), "the fit's memo stays hidden");
       }},
      {"Form1", "ResetLayout",
       [](Walk& w) {
         w.W("Form4")->move(w.W("Form4")->x() + 40, w.W("Form4")->y() + 40);
         w.W("Form4")->setProperty("movedTo", w.W("Form4")->pos());
       },
       [](Walk& w) {
         QWidget* form4 = w.W("Form4");
         return w.Ok(form4->pos() != form4->property("movedTo").toPoint() &&
                         !form4->frameGeometry().intersects(w.form1().CommandRow()),
                     "the parameter window is not put back");
       }},
      {"Form1", "Help1", none,
       [](Walk& w) {
         auto* help = static_cast<membrix::HelpWindow*>(w.W("HelpWindow"));
         return w.Ok(help->isVisible() && help->Section() == QStringLiteral("Menus and buttons"),
                     QStringLiteral("help at \"%1\"").arg(help->Section()));
       }},
      {"Form1", "Credit", none, sets([](Walk& w) { return !w.dialogs->messages.isEmpty(); }, "no credit")},
      {"Form1", "Ramp in CC", none, shows({"Form21"})},
  };
  s.rec.NSmpls = 3;  // samples 1 ... 3 can be chosen
  f.wb->Correspond();

  // The Parameters menu, item by item.
  const struct {
    const char* name;
    int mode;
  } modes[] = {{"CC", 2}, {"Iind", 6}, {"Iind=Vexp", 7}, {"VC", 1}, {"for  gNa", 3}, {"VC at Vexp", 5},
               {"VC with pipette", 4}};
  for (const auto& m : modes) {
    const int mode = m.mode;
    rows.push_back({"Form1", Q(m.name), none, sets([mode](Walk& w) { return w.s().NP0.If_I_V_or_g == mode; }, "mode")});
  }
  const auto menuItems = [&form1](const char* menu) {
    QList<QAction*> items;
    for (QAction* a : form1.findChild<QMenu*>(Q(menu))->actions()) {
      if (!a->isSeparator() && a->menu() == nullptr) items << a;
    }
    return items;
  };
  for (QAction* a : menuItems("HHtype2")) {
    const std::string family = a->text().toStdString();
    rows.push_back({"Form1", a->objectName(), none,
                    sets([family](Walk& w) { return w.s().NP0.HH_type == family; }, "HH_type")});
  }
  for (QAction* a : menuItems("HHorder1")) {
    const std::string geometry = a->text().toStdString();
    rows.push_back({"Form1", a->objectName(), none,
                    sets([geometry](Walk& w) { return w.s().NP0.HH_order == geometry; }, "HH_order")});
  }
  for (int k = 0; k <= membrix::kMaxRecording; ++k) {
    const int expected = MainWindow::ChooseSample(k, 3);
    rows.push_back({"Form1", QStringLiteral("Smpl%1").arg(k), none,
                    sets([expected](Walk& w) { return w.s().rec.Smpl == expected; }, "Smpl")});
  }
  // Each model switch starts from off.
  rows.push_back({"Form1", "ThrModel",
                  [](Walk& w) {
                    w.s().NP0.ThrModel = 0;
                    w.wb->Correspond();
                  },
                  sets([](Walk& w) { return w.s().NP0.ThrModel == 1 && w.s().NP0.IfBlockNa == 1; }, "ThrModel")});
  rows.push_back({"Form1", "LIF_model",
                  [](Walk& w) {
                    w.s().NP0.LIF_model = 0;
                    w.wb->Correspond();
                  },
                  sets([](Walk& w) { return w.s().NP0.LIF_model == 1; }, "LIF_model")});
  const struct {
    const char* name;
    std::int32_t membrix::NeuronProperties::*flag;
  } blockage[] = {{"I_NaR", &membrix::NeuronProperties::IfBlockNaR}, {"I_Na", &membrix::NeuronProperties::IfBlockNa},
                  {"I_K", &membrix::NeuronProperties::IfBlockK},     {"I_KM", &membrix::NeuronProperties::IfBlockKM},
                  {"I_KA", &membrix::NeuronProperties::IfBlockKA},   {"I_Pass", &membrix::NeuronProperties::IfBlockPass}};
  for (const auto& b : blockage) {
    auto flag = b.flag;
    rows.push_back({"Form1", Q(b.name), [flag](Walk& w) { w.s().NP0.*flag = 0; },
                    sets([flag](Walk& w) { return w.s().NP0.*flag == 1; }, "not blocked")});
  }
  rows.push_back({"Form1", "gL is fixed", none, sets([](Walk& w) { return w.s().NP0.IfSet_gL_or_tau == 1; }, "")});
  rows.push_back({"Form1", "tau is fixed", none, sets([](Walk& w) { return w.s().NP0.IfSet_gL_or_tau == 2; }, "")});
  rows.push_back({"Form1", "VL is fixed", none, sets([](Walk& w) { return w.s().NP0.IfSet_VL_or_Vrest == 1; }, "")});
  rows.push_back({"Form1", "Vrest is fixed", none, sets([](Walk& w) { return w.s().NP0.IfSet_VL_or_Vrest == 2; }, "")});
  for (int format : {1, 2}) {
    rows.push_back({"Form1", format == 1 ? Q("Set exp. data file in old format") : Q("Set exp. data file"),
                    [](Walk& w) { w.dialogs->fileToOpen = w.FilePath(Q("rec.dat")); },
                    sets([format](Walk& w) {
                      return w.s().rec.Smpl == 0 && w.s().rec.DataFormat == format &&
                             QString::fromStdString(w.s().rec.SmplFile[0]).endsWith(Q("rec.dat"));
                    }, "the recording of sample 0 is not chosen")});
  }
  for (QAction* a : menuItems("Simplex1")) {
    if (!a->isCheckable()) continue;
    const int slot = membrix::FindFitSlot(a->objectName().toStdString());
    rows.push_back({"Form1", a->objectName(), [](Walk& w) {
                      membrix::ClearFitMarks(w.s().fit);
                      w.form1().ShowFitMarks();
                    },
                    sets([slot](Walk& w) { return slot >= 0 && w.s().fit.MenuChecked[slot]; }, "not marked")});
  }
  const auto marks = [](Walk& w) {
    int n = 0;
    for (bool m : w.s().fit.MenuChecked) n += m ? 1 : 0;
    return n;
  };
  rows.push_back({"Form1", "Fit K-current", [](Walk& w) {
                      membrix::ClearFitMarks(w.s().fit);
                      w.form1().ShowFitMarks();
                    },
                  sets([marks](Walk& w) { return marks(w) > 0; }, "nothing marked")});
  rows.push_back({"Form1", "Clear all marks", none, sets([menuItems](Walk&) {
                    for (QAction* a : menuItems("Simplex1")) {  // every item but "VL[1]"
                      if (a->isChecked() && a->objectName() != Q("VL[1]")) return false;
                    }
                    return true;
                  }, "marks kept")});
  rows.push_back({"Form1", "FitPictureToExpData", none, sets([](Walk& w) { return w.form1().FitPictureToExpData(); }, "")});
  rows.push_back({"Form1", "Writing1", none, sets([](Walk& w) { return w.s().run.Writing == 1; }, "Writing")});
  rows.push_back({"Form1", "NoCleaning", none, sets([](Walk& w) { return w.form1().NoCleaning(); }, "")});
  // The integration dialog opens beside the main window; OK takes its choice,
  // which the walk then gives back so that the runs after it keep the fixed step.
  rows.push_back({"Form1", "Integration", none,
                  [](Walk& w) {
                    const bool chosen = w.s().run.integrator.kind == membrix::IntegratorKind::Cvode;
                    w.s().run.integrator = {};
                    return w.Ok(chosen, "the integrator chosen in the dialog did not reach the run");
                  },
                  [](Walk& w) {
                    w.Item(Q("Integration"))->trigger();
                    auto* dialog = w.form1().findChild<QDialog*>(Q("IntegrationDialog"));
                    if (dialog == nullptr) return;
                    dialog->findChild<QComboBox*>(Q("IntegratorList"))->setCurrentIndex(1);
                    dialog->accept();
                  }});
  rows.push_back({"Form1", "Enable all series", [](Walk& w) { w.form1().chart(1)->SetSeriesVisible(0, false); },
                  sets([](Walk& w) { return w.form1().chart(1)->SeriesVisible(0); }, "the series stays hidden")});

  // The File menu.
  const QString samples = QStringLiteral(MEMBRIX_SOURCE_DIR "/resources/samples/");
  const auto idFile = [](const QString& name) {
    return [name](Walk& w) {
      return w.Ok(QString::fromStdString(w.s().rec.IdFileName).endsWith(name), QStringLiteral("%1 not open").arg(name));
    };
  };
  rows.push_back({"Form1", "Open *.id file", [samples](Walk& w) { w.dialogs->fileToOpen = samples + Q("AP.id"); },
                  idFile(Q("AP.id"))});
  rows.push_back({"Form1", "Default", none,
                  sets([](Walk& w) { return w.s().rec.IdFileName.empty() && w.s().NP0.HH_type == "Lyle"; }, "")});
  for (QAction* a : menuItems("File")) {
    const QString file = a->data().toString();
    if (file.isEmpty()) continue;
    if (a->isVisible()) {
      rows.push_back({"Form1", a->objectName(), none, idFile(file)});
    } else {
      // The two person-named sets hidden at start cannot be chosen.
      rows.push_back({"Form1", a->objectName(), none,
                      sets([a](Walk&) { return !a->isVisible() && !a->isEnabled(); }, "shown"), [](Walk&) {}});
    }
  }
  rows.push_back({"Form1", "Set params in window", none,
                  sets([](Walk& w) { return w.Find<QWidget>(Q("ParamsMemo"))->isVisible(); }, "no memo")});
  const auto endsAt = [](const char* ms) {
    return [ms](Walk& w) { w.Type(Q("DDSpinEdit3"), Q(ms)); };
  };
  const auto restored = sets([](Walk& w) { return w.s().run.t_end == 0.002; }, "t_end not restored");
  rows.push_back({"Form1", "Save all settings", endsAt("2"), wrote("_HHSettings.txt")});
  rows.push_back({"Form1", "Restore previous settings", endsAt("5"), restored});
  rows.push_back({"Form1", "Save settings as ...", [saveTo](Walk& w) { saveTo("as.txt", {})(w); }, wrote("as.txt")});
  rows.push_back({"Form1", "Load settings from ...",
                  [endsAt](Walk& w) {
                    endsAt("5")(w);
                    w.dialogs->fileToOpen = w.FilePath(Q("as.txt"));
                  },
                  restored});

  // The parameter window's buttons.
  rows.push_back({"Form4", "Refresh", [](Walk& w) { w.s().NP0.gNa = 33.0; },
                  sets([](Walk& w) { return w.wb->parameterWindow().input(2)->value() == 33.0; }, "not shown")});
  rows.push_back({"Form4", "Details", none,
                  [](Walk& w) {
                    auto* help = static_cast<membrix::HelpWindow*>(w.W("HelpWindow"));
                    return w.Ok(help->isVisible() && help->Section().contains(Q("parameter window")),
                                QStringLiteral("help at \"%1\"").arg(help->Section()));
                  }});
  rows.push_back({"Form4", "defaults [Brette 2005]", none,
                  sets([](Walk& w) { return w.s().NP0.EIF_tauw == 0.144; }, "no preset")});
  rows.push_back({"Form4", "defaults [Badel 2008]", none,
                  sets([](Walk& w) { return w.s().NP0.EIF_SpikeDependent == 1; }, "no preset")});
  rows.push_back({"Form4", "NaK-pump plots", none, shows({"Form19"})});
  rows.push_back({"Form4", "Add channel ...",
                  [](Walk& w) {
                    w.dialogs->fileToOpen = Q(MEMBRIX_SOURCE_DIR "/resources/neuroml/squid_axon.nml");
                    w.dialogs->itemToChoose = Q("k_squid");
                  },
                  sets([](Walk& w) { return w.s().NP0.Imported.size() == 1 && w.s().NP0.Imported[0].kinetics.id == "k_squid"; },
                       "no channel added")});
  rows.push_back({"Form4", "Remove channel",
                  [](Walk& w) { w.W("Form4")->findChild<QTableWidget*>(Q("ImportedChannels"))->selectRow(0); },
                  sets([](Walk& w) { return w.s().NP0.Imported.empty(); }, "the channel stays")});
  rows.push_back({"Form1", "Quit", none, sets([](Walk& w) { return !w.form1().isVisible(); }, "still open")});

  // Every control of the two windows is walked, or says why not.
  std::set<QString> walked;
  for (const Row& r : rows) walked.insert(Q(r.window) + QLatin1Char('/') + r.name);
  const std::map<QString, QString> notWalked = {
      {"Form1/Save1", "opens its menu, whose item is walked"},
      {"Form1/Save2", "opens its menu, whose item is walked"},
      {"Form1/Save3", "opens its menu, whose item is walked"},
      {"Form1/ProtocolUndo", "shows only after a task that set the protocol up; the task-protocol test presses it"},
  };
  QStringList missing, disabled;
  const auto note = [&](const char* window, QObject* o, bool enabled) {
    const QString key = Q(window) + QLatin1Char('/') + o->objectName();
    if (auto* radio = qobject_cast<QRadioButton*>(o); radio != nullptr && radio->group() != nullptr) {
      if (walked.count(Q(window) + QLatin1Char('/') + radio->group()->objectName()) == 0) missing << key + radio->text();
      return;
    }
    if (walked.count(key) == 0 && notWalked.count(key) == 0) missing << key;
    // A sample item beyond the recordings is the only one that may be disabled.
    const bool sampleBeyond = o->objectName().startsWith(Q("Smpl")) && o->objectName().mid(4).toInt() > s.rec.NSmpls;
    // And a parameter file hidden at start.
    auto* item = qobject_cast<QAction*>(o);
    const bool hiddenAtStart = item != nullptr && !item->isVisible() &&
                               (key == Q("Form1/'Chow_train.id'") || key == Q("Form1/'Destexhe_adapt.id'"));
    if (!enabled && !sampleBeyond && !hiddenAtStart) disabled << key;
  };
  for (const char* window : {"Form1", "Form4"}) {
    QWidget* w = f.W(window);
    for (QAction* a : w->findChildren<QAction*>()) {
      if (a->isSeparator() || a->menu() != nullptr || OwnerWindow(a) != w || InChart(a)) continue;
      bool inMenu = a->objectName() == QLatin1String("RunClampShortcut");
      for (QObject* o : a->associatedObjects()) inMenu = inMenu || qobject_cast<QMenu*>(o) != nullptr;
      if (inMenu) note(window, a, a->isEnabled());
    }
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
      if (b->window() != w) continue;
      if (qobject_cast<QPushButton*>(b) == nullptr && qobject_cast<QCheckBox*>(b) == nullptr &&
          qobject_cast<QRadioButton*>(b) == nullptr)
        continue;
      if (QLatin1String(window) == QLatin1String("Form4") && qobject_cast<QPushButton*>(b) == nullptr) continue;
      note(window, b, b->isEnabled() || b->objectName() == QLatin1String("OneAxis"));
    }
    if (QLatin1String(window) == QLatin1String("Form1")) {
      for (QComboBox* c : w->findChildren<QComboBox*>()) {
        if (c->window() == w) note(window, c, c->isEnabled());
      }
    }
  }
  QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not walked: ") + missing.join(QStringLiteral(", "))));
  QVERIFY2(disabled.isEmpty(), qPrintable(QStringLiteral("disabled: ") + disabled.join(QStringLiteral(", "))));

  for (const Row& r : rows) {
    f.Reset();
    if (r.prepare) r.prepare(f);
    if (r.trigger) {
      r.trigger(f);
    } else {
      QObject* control = f.Control(r.window, r.name);
      QVERIFY2(control != nullptr, qPrintable(r.name));
      const bool sampleBeyond = r.name.startsWith(Q("Smpl")) && r.name.mid(4).toInt() > s.rec.NSmpls;
      if (sampleBeyond) {
        QVERIFY2(!qobject_cast<QAction*>(control)->isEnabled(), qPrintable(r.name));
        continue;
      }
      Trigger(control);
    }
    const QString why = r.check(f);
    QVERIFY2(why.isEmpty(), qPrintable(Q(r.window) + QLatin1Char('/') + r.name + QStringLiteral(": ") + why));
  }
}

void WorkbenchWalkTest::KernelNamesTheTraceItsRunsWrite() {
  // " Kernel " makes every run write its voltage for the kernel: the runs
  // after it write "V(t).dat" instead of failing on a file without a name.
  Walk f;
  f.Find<QCheckBox>(QStringLiteral("CheckBox2"))->click();
  QVERIFY(f.Shown("Form14"));
  f.RunClampFor(QStringLiteral("2"));
  QVERIFY2(f.dialogs->errors.isEmpty(), qPrintable(f.dialogs->errors.join(QLatin1Char('\n'))));
  QFile trace(f.FilePath(QString::fromUtf8(membrix::kWienerTraceFile)));
  QVERIFY(trace.open(QIODevice::ReadOnly | QIODevice::Text));
  const qsizetype lines = trace.readAll().count('\n');
  QVERIFY2(lines > 0 && lines <= f.s().run.nt + 1, qPrintable(QString::number(lines)));
}

QTEST_MAIN(WorkbenchWalkTest)
#include "workbench_walk_test.moc"
