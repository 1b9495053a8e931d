// The "NeuroML channels" page of the parameter window: the channels the model
// takes in from NeuroML files, with their conductances and reversal potentials.

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <vector>

#include "channels/neuroml_reader.h"
#include "common/error.h"
#include "params/imported_channels.h"
#include "run/session.h"
#include "ui/numeric_input.h"
#include "ui/parameter_window.h"

namespace membrix {

namespace {

enum Column { kId, kSpecies, kFile, kG, kE, kColumns };

// The reversal potential a new channel starts with: the model's own for the
// ion it carries, 0 for a channel of no one ion.
double StartingReversal(const NeuronProperties& np, const std::string& species) {
  if (species == "na") return np.VNa;
  if (species == "k") return np.VK;
  if (species == "ca") return np.VCa;
  return 0.0;
}

QTableWidgetItem* Fixed(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

}  // namespace

QWidget* ParameterWindow::BuildChannelsPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* note = new QLabel(QStringLiteral("Channels read from NeuroML 2 files, beside the family's own"), page);
  layout->addWidget(note);
  channels_ = new QTableWidget(0, kColumns, page);
  channels_->setObjectName(QStringLiteral("ImportedChannels"));
  channels_->setHorizontalHeaderLabels({QStringLiteral("Channel"), QStringLiteral("Ion"), QStringLiteral("File"),
                                        QStringLiteral("g, mS/cm^2"), QStringLiteral("E, mV")});
  channels_->verticalHeader()->setVisible(false);
  channels_->setSelectionBehavior(QAbstractItemView::SelectRows);
  channels_->setSelectionMode(QAbstractItemView::SingleSelection);
  channels_->horizontalHeader()->setSectionResizeMode(kFile, QHeaderView::Stretch);
  channels_->setMinimumWidth(520);
  channels_->setMinimumHeight(160);
  layout->addWidget(channels_);
  auto* add = new QPushButton(QStringLiteral("Add channel ..."), page);
  add->setObjectName(QStringLiteral("Add channel ..."));
  add->setToolTip(QStringLiteral("Adds a channel of a NeuroML file to the model"));
  auto* remove = new QPushButton(QStringLiteral("Remove channel"), page);
  remove->setObjectName(QStringLiteral("Remove channel"));
  remove->setToolTip(QStringLiteral("Takes the selected channel out of the model"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addStretch(1);
  connect(add, &QPushButton::clicked, this, &ParameterWindow::OnAddChannel);
  connect(remove, &QPushButton::clicked, this, &ParameterWindow::OnRemoveChannel);

  chooseChannelFile_ = [this] {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Add channel ..."), QString(),
                                        QStringLiteral("NeuroML files (*.nml *.xml);;All files (*)"));
  };
  chooseChannelId_ = [this](const QStringList& ids) {
    bool ok = false;
    const QString id = QInputDialog::getItem(this, QStringLiteral("Add channel ..."),
                                             QStringLiteral("The file holds several channels; add"), ids, 0, false, &ok);
    return ok ? id : QString();
  };
  return page;
}

void ParameterWindow::ShowImportedChannels() {
  if (channels_ == nullptr) return;
  const std::vector<ImportedChannel>& list = session_.NP0.Imported;
  const int selected = channels_->currentRow();
  ProgramDisplay display(this);
  channels_->setRowCount(static_cast<int>(list.size()));
  for (int row = 0; row < static_cast<int>(list.size()); ++row) {
    const ImportedChannel& c = list[static_cast<std::size_t>(row)];
    const QString file = QString::fromStdString(c.kinetics.file);
    channels_->setItem(row, kId, Fixed(QString::fromStdString(c.kinetics.id)));
    channels_->setItem(row, kSpecies, Fixed(QString::fromStdString(c.kinetics.species)));
    QTableWidgetItem* fileItem = Fixed(QFileInfo(file).fileName());
    fileItem->setToolTip(file);
    channels_->setItem(row, kFile, fileItem);
    for (const int column : {kG, kE}) {
      auto* in = qobject_cast<NumericInput*>(channels_->cellWidget(row, column));
      if (in == nullptr) {
        in = new NumericInput(channels_, column == kG ? 5 : 2);
        in->setObjectName(QStringLiteral("%1%2").arg(column == kG ? QStringLiteral("gNeuroML") : QStringLiteral("ENeuroML")).arg(row + 1));
        in->setUnit(column == kG ? QStringLiteral("mS/cm²") : QStringLiteral("mV"));
        in->setDoubleClickValue(std::nullopt);
        // An edit writes the channel's field at once, as the other inputs do;
        // a conductance density is never negative. A value the program shows
        // stays as the record holds it, unrounded: a channel's conductance
        // may well be smaller than the decimals shown.
        connect(in, &NumericInput::valueChanged, this, [this, in, row, column](double) {
          std::vector<ImportedChannel>& now = session_.NP0.Imported;
          if (showingProgramValues() || row >= static_cast<int>(now.size())) return;
          const double shown = NumericInput::Parse(in->format(in->value()));
          if (column == kE) {
            now[static_cast<std::size_t>(row)].E = shown / 1000.0;
          } else if (shown < 0.0) {
            in->setValue(now[static_cast<std::size_t>(row)].g);
          } else {
            now[static_cast<std::size_t>(row)].g = shown;
          }
        });
        channels_->setCellWidget(row, column, in);
      }
      in->setValue(column == kG ? c.g : c.E * 1000.0);
    }
  }
  if (selected >= 0 && selected < channels_->rowCount()) channels_->selectRow(selected);
}

void ParameterWindow::OnAddChannel() {
  const QString file = chooseChannelFile_ ? chooseChannelFile_() : QString();
  if (file.isEmpty()) return;
  try {
    const std::vector<NmlChannel> found = ReadNeuroMLChannels(file.toStdString());
    std::string id = found.front().id;
    if (found.size() > 1) {
      QStringList ids;
      for (const NmlChannel& c : found) ids << QString::fromStdString(c.id);
      const QString chosen = chooseChannelId_ ? chooseChannelId_(ids) : QString();
      if (chosen.isEmpty()) return;
      id = chosen.toStdString();
    }
    const auto it = std::find_if(found.begin(), found.end(), [&](const NmlChannel& c) { return c.id == id; });
    if (it == found.end()) throw FormatError(file.toStdString(), 0, "holds no channel with the id \"" + id + "\"");
    ImportedChannel c;
    c.kinetics = *it;
    c.E = StartingReversal(session_.NP0, c.kinetics.species);
    AddImportedChannel(session_.NP0, std::move(c));
  } catch (const std::exception& e) {
    Report(QString::fromUtf8(e.what()));
    return;
  }
  ShowImportedChannels();
  channels_->selectRow(channels_->rowCount() - 1);
}

void ParameterWindow::OnRemoveChannel() {
  std::vector<ImportedChannel>& list = session_.NP0.Imported;
  const int row = channels_->currentRow();
  if (row < 0 || row >= static_cast<int>(list.size())) return;
  list.erase(list.begin() + row);
  // The rows are made afresh: each input writes the channel of its row.
  channels_->setRowCount(0);
  ShowImportedChannels();
  channels_->selectRow(std::min(row, channels_->rowCount() - 1));
}

}  // namespace membrix
