// The File, Parameters, Tasks, Help and About menus, and the model, clamp
// and sample choices they make.

#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <cstdint>

#include "data/fit_table.h"
#include "params/model_menus.h"
#include "run/recording.h"
#include "run/session.h"
#include "ui/chart.h"
#include "ui/integration_dialog.h"
#include "ui/main_window_parts.h"
#include "ui/run_view_charts.h"
#include "ui/settings_binding.h"
#include "ui/windows/act_inact_window.h"
#include "ui/windows/analysis_windows.h"
#include "ui/windows/data_tools.h"
#include "ui/windows/firing_clamp_window.h"
#include "ui/windows/fit_dialog.h"
#include "ui/workbench.h"

namespace membrix {

using main_window_parts::Q;

namespace {

// The model families of the "HH_type" menu, in menu order, with the items'
// program names. "Bazhenov" never carries a mark.
struct NamedItem {
  const char* name;
  const char* caption;
};
constexpr NamedItem kFamilies[] = {
    {"Passive1", "Passive"}, {"Rariza1", "Rariza"}, {"Destexhe1", "Destexhe"}, {"Migliore1", "Migliore"},
    {"Cummins1", "Cummins"}, {"Chow1", "Chow"},     {"Lyle1", "Lyle"},         {"Naundorf1", "Naundorf"},
    {"White1", "White"},     {"White21", "White2"}, {"Shu1", "Shu"},           {"Bazhenov1", "Bazhenov"}};
constexpr NamedItem kGeometryItems[] = {{"N1point1", "1-point"},
                                        {"N2points1", "2-points"},
                                        {"N2pMainenSejn1", "2-p-MainenSejn"},
                                        {"N2pActiveDend1", "2-p-ActiveDend"}};

struct BlockageItem {
  const char* caption;
  std::int32_t NeuronProperties::*flag;
};
constexpr BlockageItem kBlockage[] = {
    {"I_NaR", &NeuronProperties::IfBlockNaR}, {"I_Na", &NeuronProperties::IfBlockNa},
    {"I_K", &NeuronProperties::IfBlockK},     {"I_KM", &NeuronProperties::IfBlockKM},
    {"I_KA", &NeuronProperties::IfBlockKA},   {"I_Pass", &NeuronProperties::IfBlockPass}};

// The File menu's fixed parameter files, in menu order; the person-named sets
// are those of the samples folder. Two of them are hidden at start.
struct FixedFile {
  const char* file;
  bool hiddenAtStart;
};
constexpr FixedFile kFixedFiles[] = {
    {"Cummins_Na.id", false}, {"Na_slow.id", false}, {"Na_slow_ina.id", false}, {"Na_V10&S12.id", false},
    {"Hodgkin_AP.id", false}, {"AP.id", false},      {"Chow_train.id", true},   {"Destexhe_adapt.id", true},
    {"Lyle_us.id", false},    {"ramp.id", false},    {"VC_steps.id", false},
    {"Act_Inact.id", false}};
const char* const kAboutText =
    "Membrix v.21.1 - single neurons, their channels and their recordings, simulated and compared.";
// A menu caption shows "&" only when it is doubled.
QString MenuText(const QString& caption) {
  QString text = caption;
  return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

QAction* MainWindow::AddAction(QMenu* menu, const QString& name, const QString& caption, bool checkable) {
  QAction* a = menu->addAction(MenuText(caption));
  a->setObjectName(name);
  a->setCheckable(checkable);
  return a;
}

void MainWindow::BuildMenus() {
  BuildFileMenu();
  BuildParametersMenu();
  BuildTasksMenu();
  QAction* help = menuBar()->addAction(QStringLiteral("Help"));
  help->setObjectName(QStringLiteral("Help1"));
  connect(help, &QAction::triggered, this, [this] { wb_.ShowHelp(QStringLiteral("Help")); });
  QMenu* about = menuBar()->addMenu(QStringLiteral("About"));
  about->setObjectName(QStringLiteral("About"));
  QAction* credit = about->addAction(QString::fromUtf8(kAboutText));
  credit->setObjectName(QStringLiteral("Credit"));
  connect(credit, &QAction::triggered, this, [this] {
    wb_.dialogs().ShowMessage(this, QStringLiteral("About Membrix"), QString::fromUtf8(kAboutText));
  });
}

void MainWindow::BuildFileMenu() {
  fileMenu_ = menuBar()->addMenu(QStringLiteral("File"));
  fileMenu_->setObjectName(QStringLiteral("File"));
  // Opening the menu puts the parameter memo in front of the conductance charts.
  connect(fileMenu_, &QMenu::aboutToShow, this, [this] {
    charts_[4]->hide();
    charts_[5]->hide();
    ShowMemo(paramsMemo_);
  });
  QAction* open = AddAction(fileMenu_, QStringLiteral("Open *.id file"), QStringLiteral("Open *.id file"));
  open->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
  connect(open, &QAction::triggered, this, &MainWindow::OnOpenIdFile);
  QAction* defaults = AddAction(fileMenu_, QStringLiteral("Default"), QStringLiteral("Default"), true);
  connect(defaults, &QAction::triggered, this, &MainWindow::OnDefault);
  fileMenu_->addSeparator();
  for (const FixedFile& f : kFixedFiles) {
    const QString caption = QStringLiteral("'%1'").arg(QString::fromUtf8(f.file));
    QAction* a = AddAction(fileMenu_, caption, caption, true);
    a->setData(QString::fromUtf8(f.file));
    connect(a, &QAction::triggered, this, [this, file = QString::fromUtf8(f.file)] { OnFixedFile(file); });
    if (f.hiddenAtStart) hiddenFileItems_.push_back(a);
  }
  fileMenu_->addSeparator();
  QAction* setParams =
      AddAction(fileMenu_, QStringLiteral("Set params in window"), QStringLiteral("Set params in window"));
  connect(setParams, &QAction::triggered, this, &MainWindow::OnSetParamsInWindow);
  fileMenu_->addSeparator();
  // The settings file "_HHSettings.txt" keeps the state of the windows.
  const struct {
    const char* caption;
    const char* shortcut;
  } settings[] = {{"Save all settings", "Ctrl+S"},
                  {"Restore previous settings", "Ctrl+L"},
                  {"Save settings as ...", nullptr},
                  {"Load settings from ...", nullptr}};
  for (const auto& item : settings) {
    QAction* a = AddAction(fileMenu_, QString::fromUtf8(item.caption), QString::fromUtf8(item.caption));
    if (item.shortcut != nullptr) a->setShortcut(QKeySequence(QString::fromUtf8(item.shortcut)));
    ConnectSettingsCommand(wb_, a);
  }
}

void MainWindow::BuildParametersMenu() {
  QMenu* params = menuBar()->addMenu(QStringLiteral("Parameters"));
  params->setObjectName(QStringLiteral("Parameters"));

  auto subMenu = [params](const QString& name, const QString& caption) {
    QMenu* m = params->addMenu(MenuText(caption));
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    return m;
  };
  QMenu* cc = subMenu(QStringLiteral("Current-Clamp"), QStringLiteral("Current-Clamp"));
  cc->menuAction()->setCheckable(true);
  for (const char* mode : {"CC", "Iind", "Iind=Vexp"}) {
    QAction* a = AddAction(cc, QString::fromUtf8(mode), QString::fromUtf8(mode), true);
    connect(a, &QAction::triggered, this, [this, m = QString::fromUtf8(mode)] { OnClampMode(m); });
    if (std::string_view(mode) == "Iind=Vexp") iindIsVexp_ = a;
  }
  QAction* ramp = AddAction(cc, QStringLiteral("Ramp in CC"), QStringLiteral("Ramp in CC"));
  connect(ramp, &QAction::triggered, this, [this] { OpenRampInCC(wb_); });
  QMenu* vc = subMenu(QStringLiteral("Voltage-Clamp"), QStringLiteral("Voltage-Clamp"));
  vc->menuAction()->setCheckable(true);
  for (const char* mode : {"VC", "for  gNa", "VC at Vexp", "VC with pipette"}) {
    QAction* a = AddAction(vc, QString::fromUtf8(mode), QString::fromUtf8(mode), true);
    connect(a, &QAction::triggered, this, [this, m = QString::fromUtf8(mode)] { OnClampMode(m); });
  }

  QMenu* families = subMenu(QStringLiteral("HHtype2"), QStringLiteral("HH_type"));
  for (const NamedItem& f : kFamilies) {
    const bool bazhenov = std::string_view(f.caption) == "Bazhenov";
    QAction* a = AddAction(families, QString::fromUtf8(f.name), QString::fromUtf8(f.caption), !bazhenov);
    connect(a, &QAction::triggered, this,
            [this, family = QString::fromUtf8(f.caption)] { OnModelFamily(family); });
  }
  QMenu* geometries = subMenu(QStringLiteral("HHorder1"), QStringLiteral("HH_order"));
  for (const NamedItem& g : kGeometryItems) {
    QAction* a = AddAction(geometries, QString::fromUtf8(g.name), QString::fromUtf8(g.caption), true);
    connect(a, &QAction::triggered, this,
            [this, geometry = QString::fromUtf8(g.caption)] { OnGeometry(geometry); });
  }

  // The sample items live once; the run button's pop-up menu shows the same
  // items, so a tick in one menu is the tick of its twin.
  QMenu* samples = subMenu(QStringLiteral("Samples"), QStringLiteral("Samples"));
  auto* sampleChoice = new QActionGroup(samples);
  auto* runMenu = new QMenu(runClamp_);
  runMenu->setObjectName(QStringLiteral("RunClampMenu"));
  for (int k = 1; k <= kMaxRecording + 1; ++k) {
    const int item = k <= kMaxRecording ? k : 0;
    QAction* a =
        AddAction(samples, QStringLiteral("Smpl%1").arg(item), QStringLiteral("Smpl=%1").arg(item), true);
    sampleChoice->addAction(a);
    runMenu->addAction(a);
    sampleItems_[item] = a;
    connect(a, &QAction::triggered, this, [this, item] { OnSample(item); });
  }
  connect(runClamp_, &QPushButton::customContextMenuRequested, this,
          [this, runMenu](const QPoint& at) { runMenu->popup(runClamp_->mapToGlobal(at)); });

  QAction* thr = AddAction(params, QStringLiteral("ThrModel"), QStringLiteral("ThrModel"), true);
  thr->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
  connect(thr, &QAction::triggered, this, &MainWindow::OnThrModel);
  // Ctrl+L belongs to "Restore previous settings", which comes first in menu
  // order; this item is reached by clicking it.
  QAction* lif = AddAction(params, QStringLiteral("LIF_model"), QStringLiteral("LIF_model"), true);
  connect(lif, &QAction::triggered, this, &MainWindow::OnLIFModel);

  QMenu* blockage = subMenu(QStringLiteral("Blockage"), QStringLiteral("Blockage"));
  for (const BlockageItem& b : kBlockage) {
    QAction* a = AddAction(blockage, QString::fromUtf8(b.caption), QString::fromUtf8(b.caption), true);
    connect(a, &QAction::triggered, this, [this, a, flag = b.flag](bool checked) {
      std::int32_t& value = s().NP0.*flag;
      value = 1 - value;
      // The mark shows a flag of 0 or 1; another value is flipped unmarked.
      if (value == 0 || value == 1) {
        a->setChecked(value == 1);
      } else {
        a->setChecked(!checked);
      }
      wb_.Correspond();
    });
  }
  auto choice = [this](QMenu* menu, const char* first, const char* second,
                       std::int32_t NeuronProperties::*field) {
    auto* group = new QActionGroup(menu);
    int value = 1;
    for (const char* caption : {first, second}) {
      QAction* a = AddAction(menu, QString::fromUtf8(caption), QString::fromUtf8(caption), true);
      group->addAction(a);
      connect(a, &QAction::triggered, this, [this, field, value] {
        s().NP0.*field = value;
        wb_.Correspond();
      });
      ++value;
    }
  };
  choice(subMenu(QStringLiteral("IfSet_gL_or_tau"), QStringLiteral("IfSet_gL_or_tau")), "gL is fixed",
         "tau is fixed", &NeuronProperties::IfSet_gL_or_tau);
  choice(subMenu(QStringLiteral("IfSet_VL_or_Vrest"), QStringLiteral("IfSet_VL_or_Vrest")), "VL is fixed",
         "Vrest is fixed", &NeuronProperties::IfSet_VL_or_Vrest);

  params->addSeparator();
  QAction* oldFormat = AddAction(params, QStringLiteral("Set exp. data file in old format"),
                                 QStringLiteral("Set exp. data file in old format"));
  connect(oldFormat, &QAction::triggered, this, [this] { OnExpDataFile(1); });
  QAction* expData =
      AddAction(params, QStringLiteral("Set exp. data file"), QStringLiteral("Set exp. data file"));
  connect(expData, &QAction::triggered, this, [this] { OnExpDataFile(2); });

  QMenu* simplex = subMenu(QStringLiteral("Simplex1"), QStringLiteral("Simplex"));
  for (const FitParameter& p : FitParameters()) {
    const int slot = static_cast<int>(fitItems_.size());
    QAction* a = AddAction(simplex, Q(p.menuItem), Q(p.menuItem), true);
    connect(a, &QAction::triggered, this,
            [this, slot](bool checked) { s().fit.MenuChecked[slot] = checked; });
    fitItems_.push_back(a);
  }
  simplex->addSeparator();
  QAction* kFit = AddAction(simplex, QStringLiteral("Fit K-current"), QStringLiteral("Fit K-current"));
  connect(kFit, &QAction::triggered, this, [this] {
    MarkKCurrentFit(s().fit);
    ShowFitMarks();
  });
  QAction* clearMarks =
      AddAction(simplex, QStringLiteral("Clear all marks"), QStringLiteral("Clear all marks"));
  connect(clearMarks, &QAction::triggered, this, [this] {
    ClearFitMarks(s().fit);
    ShowFitMarks();
  });

  params->addSeparator();
  fitPicture_ =
      AddAction(params, QStringLiteral("FitPictureToExpData"), QStringLiteral("FitPictureToExpData"), true);
  fitPicture_->setToolTip(QStringLiteral("The experiment's axis spans the values of every recording"));
  writing_ = AddAction(params, QStringLiteral("Writing1"), QStringLiteral("Writing"), true);
  connect(writing_, &QAction::triggered, this, [this](bool checked) { s().run.Writing = checked ? 1 : 0; });
  noCleaning_ = AddAction(params, QStringLiteral("NoCleaning"), QStringLiteral("NoCleaning"), true);
  QAction* enableAll =
      AddAction(params, QStringLiteral("Enable all series"), QStringLiteral("Enable all series"));
  connect(enableAll, &QAction::triggered, this, [this] { wb_.views().ShowAllSeries(); });
  QAction* integration = AddAction(params, QStringLiteral("Integration"), QStringLiteral("Integration…"));
  integration->setToolTip(QStringLiteral("The fixed step at dt, or error-controlled variable steps (CVODE)"));
  connect(integration, &QAction::triggered, this, [this] {
    auto* dialog = new IntegrationDialog(s().run, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
  });
  for (QMenu* m : {params, cc, vc, families, geometries, samples, blockage, simplex})
    m->setToolTipsVisible(true);
}

void MainWindow::BuildTasksMenu() {
  QMenu* tasks = menuBar()->addMenu(QStringLiteral("Tasks"));
  tasks->setObjectName(QStringLiteral("Tasks"));
  QAction* simplex = AddAction(tasks, QStringLiteral("Simplex"), QStringLiteral("Simplex"));
  connect(simplex, &QAction::triggered, this, &MainWindow::OnSimplexTask);
  QAction* firingClamp = AddAction(tasks, QStringLiteral("Firing-Clamp and PRC"), QStringLiteral("Firing-Clamp and PRC"));
  connect(firingClamp, &QAction::triggered, this, [this] {
    if (wb_.Running()) return;  // a held run keeps its pause
    analysisWindows().RunFiringClamp();
    s().run.PauseFlag = 'N';
    SyncPauseButton();
  });
  QAction* actInact = AddAction(tasks, QStringLiteral("Act/Inact"), QStringLiteral("Act/Inact"));
  connect(actInact, &QAction::triggered, this, [this] { ActInactWindow::Open(wb_, this); });
  simplexTask_ = simplex;
  QAction* fitOptions = AddAction(tasks, QStringLiteral("FittingOptions"), QStringLiteral("Fitting options..."));
  connect(fitOptions, &QAction::triggered, this, [this] { FitDialog::Open(wb_, this); });
  // The windows back where the program puts them, the user's layout for this
  // screen size forgotten.
  tasks->addSeparator();
  QAction* resetLayout = AddAction(tasks, QStringLiteral("ResetLayout"), QStringLiteral("Reset layout"));
  connect(resetLayout, &QAction::triggered, this, [this] { wb_.ResetLayout(); });
}
void MainWindow::ShowFitMarks() {
  for (std::size_t slot = 0; slot < fitItems_.size(); ++slot)
    fitItems_[slot]->setChecked(s().fit.MenuChecked[slot]);
}

void MainWindow::ShowIindIsVexpMark() { iindIsVexp_->setChecked(s().NP0.If_I_V_or_g == 7); }
int MainWindow::ChooseSample(int tickedItem, int NSmpls) {
  if (tickedItem == 1) return 1;
  if (tickedItem >= 2 && tickedItem <= kMaxRecording && NSmpls >= tickedItem) return tickedItem;
  return tickedItem == 0 ? 0 : 1;
}
void MainWindow::TakeSampleFromMarks() {
  for (int item = 0; item < static_cast<int>(sampleItems_.size()); ++item) {
    if (sampleItems_[item] != nullptr && sampleItems_[item]->isChecked()) {
      s().rec.Smpl = ChooseSample(item, s().rec.NSmpls);
      return;
    }
  }
}
void MainWindow::OnModelFamily(const QString& family) {
  wb_.RunCommand([&] { SelectModelFamily(s(), family.toStdString()); });
  wb_.Correspond();
}

void MainWindow::OnGeometry(const QString& geometry) {
  wb_.RunCommand([&] { SelectGeometry(s(), geometry.toStdString()); });
  wb_.Correspond();
}

void MainWindow::OnClampMode(const QString& mode) {
  wb_.RunCommand([&] { SelectClampMode(s(), mode.toStdString()); });
  if (mode == QLatin1String("Iind=Vexp")) {
    ShowIindIsVexpMark();
  } else {
    wb_.Correspond();
  }
}

void MainWindow::OnSample(int item) {
  sampleItems_[item]->setChecked(true);
  s().rec.Smpl = ChooseSample(item, s().rec.NSmpls);
  if (item == 0) fitPicture_->setChecked(false);
}

void MainWindow::OnThrModel() {
  wb_.RunCommand([this] { ToggleThrModel(s()); });
  wb_.Correspond();
}

void MainWindow::OnLIFModel() {
  wb_.RunCommand([this] { ToggleLIFModel(s()); });
  wb_.Correspond();
}

}  // namespace membrix
