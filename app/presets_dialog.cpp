#include "app/presets_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/main_controller.h"

namespace fennick {

TPresetsDialog::TPresetsDialog(TMainController& controller, QWidget* parent)
    : QDialog(parent), FController(controller) {
  setWindowTitle(tr("Presets"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  ListPresets = new QListWidget(this);
  auto* label = new QLabel(tr("&Saved presets:"), this);
  label->setBuddy(ListPresets);
  layout->addWidget(label);
  auto* row = new QHBoxLayout();
  row->addWidget(ListPresets, 1);
  auto* buttons = new QVBoxLayout();
  ButtonRename = new QPushButton(tr("&Rename..."), this);
  ButtonDelete = new QPushButton(tr("&Delete"), this);
  ButtonClose = new QPushButton(tr("&Close"), this);
  ButtonClose->setDefault(true);
  buttons->addWidget(ButtonRename);
  buttons->addWidget(ButtonDelete);
  buttons->addStretch(1);
  buttons->addWidget(ButtonClose);
  row->addLayout(buttons);
  layout->addLayout(row);

  connect(ButtonRename, &QPushButton::clicked, this, [this] {
    if (QListWidgetItem* item = ListPresets->currentItem();
        item && FController.PresetRenameClick(item->text().toStdString()))
      AfterChange();
  });
  connect(ButtonDelete, &QPushButton::clicked, this, [this] {
    if (QListWidgetItem* item = ListPresets->currentItem();
        item && FController.PresetDeleteClick(item->text().toStdString()))
      AfterChange();
  });
  connect(ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(ListPresets, &QListWidget::currentRowChanged, this, [this](int current) {
    ButtonRename->setEnabled(current >= 0);
    ButtonDelete->setEnabled(current >= 0);
  });
  Refill();
}

void TPresetsDialog::Refill() {
  const QString selected = ListPresets->currentItem() ? ListPresets->currentItem()->text() : QString();
  ListPresets->clear();
  for (const TPreset& preset : FController.Presets) ListPresets->addItem(QString::fromStdString(preset.Name));
  const auto found = ListPresets->findItems(selected, Qt::MatchExactly);
  ListPresets->setCurrentRow(found.isEmpty() ? (ListPresets->count() > 0 ? 0 : -1) : ListPresets->row(found.front()));
  ButtonRename->setEnabled(ListPresets->currentRow() >= 0);
  ButtonDelete->setEnabled(ListPresets->currentRow() >= 0);
}

void TPresetsDialog::AfterChange() {
  Refill();
  if (auto* view = dynamic_cast<IMainView*>(parentWidget())) view->StateChanged();
}

}  // namespace fennick
