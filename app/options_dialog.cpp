#include "app/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/main_controller.h"
#include "app/settings.h"
#include "app/translations.h"

namespace fennick {

namespace {

// The items in the window's language; the English item is the entry's data.
void Fill(QComboBox& combo, const TSettingsControl& control) {
  if (combo.count() != control.Count()) {
    combo.clear();
    for (const std::string& item : control.Items()) combo.addItem(DisplayText(item), QString::fromStdString(item));
  }
  combo.setCurrentIndex(control.ItemIndex());
}

}  // namespace

TForm4::TForm4(TMainController& controller, QWidget* parent) : QDialog(parent), FController(controller) {
  setWindowTitle(tr("Additional Options"));
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  const qreal scale = (screen() ? screen()->logicalDotsPerInch() : 96.0) / 96.0;
  auto px = [scale](int pixels) { return qRound(pixels * scale); };

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(px(12), px(12), px(12), px(12));
  layout->setSpacing(px(10));

  auto* video = new QGroupBox(tr(" Video Options "), this);
  auto* videoGrid = new QGridLayout(video);
  videoGrid->setHorizontalSpacing(px(8));
  ComboLetterBox = new QComboBox(video);
  ComboAspectRatio4 = new QComboBox(video);
  auto* zoomLabel = new QLabel(tr("&Video Zoom : "), video);
  zoomLabel->setBuddy(ComboLetterBox);
  auto* aspectLabel = new QLabel(tr("&Aspect Ratio : "), video);
  aspectLabel->setBuddy(ComboAspectRatio4);
  videoGrid->addWidget(zoomLabel, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
  videoGrid->addWidget(ComboLetterBox, 0, 1);
  videoGrid->addWidget(aspectLabel, 1, 0, Qt::AlignRight | Qt::AlignVCenter);
  videoGrid->addWidget(ComboAspectRatio4, 1, 1);
  ComboSubtitles = new QComboBox(video);
  auto* subtitlesLabel = new QLabel(tr("&Subtitles : "), video);
  subtitlesLabel->setBuddy(ComboSubtitles);
  videoGrid->addWidget(subtitlesLabel, 2, 0, Qt::AlignRight | Qt::AlignVCenter);
  videoGrid->addWidget(ComboSubtitles, 2, 1);
  videoGrid->setColumnStretch(2, 1);
  ComboLetterBox->setMinimumWidth(px(160));
  ComboAspectRatio4->setMinimumWidth(px(160));
  ComboSubtitles->setMinimumWidth(px(160));
  layout->addWidget(video);

  auto* general = new QGroupBox(tr(" General Options "), this);
  auto* generalLayout = new QVBoxLayout(general);
  generalLayout->setSpacing(px(8));
  CheckBoxOverWrite = new QCheckBox(tr("&Overwrite Existing File With The Same Name"), general);
  generalLayout->addWidget(CheckBoxOverWrite);
  auto* spinRow = new QHBoxLayout();
  SpinEdit1 = new QSpinBox(general);
  spinRow->addWidget(SpinEdit1);
  auto* spinLabel = new QLabel(tr("Drop Down &Items in Output Format List"), general);
  spinLabel->setBuddy(SpinEdit1);
  spinRow->addWidget(spinLabel, 1);
  generalLayout->addLayout(spinRow);
  auto* nameRow = new QHBoxLayout();
  EditNamePattern = new QLineEdit(general);
  EditNamePattern->setToolTip(
      tr("{name} source name, {ext} its extension, {format} output format, {width} {height} picture size, "
         "{date} today, {n} row number"));
  auto* nameLabel = new QLabel(tr("Output &Name Pattern : "), general);
  nameLabel->setBuddy(EditNamePattern);
  nameRow->addWidget(nameLabel);
  nameRow->addWidget(EditNamePattern, 1);
  generalLayout->addLayout(nameRow);
  LabelNameTokens = new QLabel(QStringLiteral("{name} {ext} {format} {width} {height} {date} {n}"), general);
  LabelNameTokens->setToolTip(EditNamePattern->toolTip());
  LabelNameTokens->setTextInteractionFlags(Qt::TextSelectableByMouse);
  LabelNameExample = new QLabel(general);
  LabelNameExample->setTextFormat(Qt::PlainText);
  LabelNameExample->setWordWrap(true);
  generalLayout->addWidget(LabelNameTokens);
  generalLayout->addWidget(LabelNameExample);
  CheckBoxKeepFolders = new QCheckBox(tr("&Keep the folders of dropped folders"), general);
  generalLayout->addWidget(CheckBoxKeepFolders);
  // The run: files converted at once, and what follows its end.
  auto* runRow = new QHBoxLayout();
  SpinFilesAtOnce = new QSpinBox(general);
  // One sentence around the number: "Convert &up to %1 files at once",
  // split at its "%1" (a language may put the number elsewhere).
  const QString atOnce = tr("Convert &up to %1 files at once");
  const qsizetype number = atOnce.indexOf(QLatin1String("%1"));
  auto* atOnceLabel = new QLabel(atOnce.left(number).trimmed(), general);
  atOnceLabel->setBuddy(SpinFilesAtOnce);
  runRow->addWidget(atOnceLabel);
  runRow->addWidget(SpinFilesAtOnce);
  runRow->addWidget(new QLabel(atOnce.mid(number + 2).trimmed(), general), 1);
  generalLayout->addLayout(runRow);
  auto* endRow = new QHBoxLayout();
  ComboRunEnd = new QComboBox(general);
  auto* endLabel = new QLabel(tr("When the run &ends:"), general);
  endLabel->setBuddy(ComboRunEnd);
  endRow->addWidget(endLabel);
  endRow->addWidget(ComboRunEnd);
  endRow->addStretch(1);
  ComboRunEnd->setMinimumWidth(px(160));
  generalLayout->addLayout(endRow);
  layout->addWidget(general);
  layout->addStretch(1);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  Button1 = new QPushButton(tr("&Done"), this);
  Button1->setDefault(true);
  Button1->setMinimumWidth(px(75));
  buttons->addWidget(Button1);
  layout->addLayout(buttons);

  FSmallest = QSize(px(427), px(313));

  // Creating the dialog loads the settings.
  controller.OptionsFormCreate(*OpenSettings());
  const TOptionsModel& options = controller.Options;
  SpinEdit1->setRange(options.SpinEdit1.Min(), options.SpinEdit1.Max());
  SpinFilesAtOnce->setRange(options.SpinFilesAtOnce.Min(), options.SpinFilesAtOnce.Max());
  Sync();

  connect(ComboLetterBox, &QComboBox::activated, this, [this](int index) { FController.ComboLetterBoxChange(index); });
  connect(ComboAspectRatio4, &QComboBox::activated, this,
          [this](int index) { FController.ComboAspectRatio4Change(index); });
  connect(ComboSubtitles, &QComboBox::activated, this, [this](int index) { FController.ComboSubtitlesChange(index); });
  connect(CheckBoxOverWrite, &QCheckBox::toggled, this, [this](bool checked) {
    if (!FSyncing) FController.CheckBoxOverWriteClick(checked);
  });
  connect(SpinEdit1, &QSpinBox::valueChanged, this, [this](int value) {
    if (!FSyncing) FController.SpinEdit1Change(value);
  });
  connect(EditNamePattern, &QLineEdit::textEdited, this,
          [this](const QString& text) {
            FController.EditNamePatternChange(text.toStdString());
            ShowNameExample();
          });
  connect(CheckBoxKeepFolders, &QCheckBox::toggled, this, [this](bool checked) {
    if (!FSyncing) FController.CheckBoxKeepFoldersClick(checked);
  });
  connect(SpinFilesAtOnce, &QSpinBox::valueChanged, this, [this](int value) {
    if (!FSyncing) FController.SpinFilesAtOnceChange(value);
  });
  connect(ComboRunEnd, &QComboBox::activated, this, [this](int index) { FController.ComboRunEndChange(index); });
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TForm4::Sync() {
  FSyncing = true;
  const TOptionsModel& options = FController.Options;
  Fill(*ComboLetterBox, options.ComboLetterBox);
  Fill(*ComboAspectRatio4, options.ComboAspectRatio4);
  Fill(*ComboSubtitles, options.ComboSubtitles);
  CheckBoxOverWrite->setChecked(options.CheckBoxOverWrite);
  SpinEdit1->setValue(options.SpinEdit1.Value());
  if (EditNamePattern->text().toStdString() != options.EditNamePattern)
    EditNamePattern->setText(QString::fromStdString(options.EditNamePattern));
  CheckBoxKeepFolders->setChecked(options.CheckBoxKeepFolders);
  ShowNameExample();
  SpinFilesAtOnce->setValue(options.SpinFilesAtOnce.Value());
  Fill(*ComboRunEnd, options.ComboRunEnd);
  FSyncing = false;
}

void TForm4::ShowNameExample() {
  LabelNameExample->setText(tr("Example: %1").arg(QFile::decodeName(FController.NamePatternExample().c_str())));
}

void TForm4::showEvent(QShowEvent* event) {
  FOpened = FController.Options;
  FOpenedAspect = FController.Controls.ComboAspectRatio.ItemIndex();
  Sync();
  // A fixed size: what the layout needs at the font of the day, at least
  // 427 x 313 pixels at 96 dpi.
  setFixedSize(sizeHint().expandedTo(FSmallest));
  QDialog::showEvent(event);
}

void TForm4::reject() {
  // Each control's change handling again, with the value it had.
  if (FController.Options.SpinEdit1.Value() != FOpened.SpinEdit1.Value())
    FController.SpinEdit1Change(FOpened.SpinEdit1.Value());
  FController.CheckBoxOverWriteClick(FOpened.CheckBoxOverWrite);
  FController.ComboLetterBoxChange(FOpened.ComboLetterBox.ItemIndex());
  FController.ComboSubtitlesChange(FOpened.ComboSubtitles.ItemIndex());
  FController.EditNamePatternChange(FOpened.EditNamePattern);
  FController.CheckBoxKeepFoldersClick(FOpened.CheckBoxKeepFolders);
  FController.SpinFilesAtOnceChange(FOpened.SpinFilesAtOnce.Value());
  FController.ComboRunEndChange(FOpened.ComboRunEnd.ItemIndex());
  FController.ComboAspectRatio4Change(FOpened.ComboAspectRatio4.ItemIndex());
  // The main window's aspect may have differed from the dialog's (a format
  // chosen since resets it): back to what it was.
  FController.Controls.ComboAspectRatio.SetItemIndex(FOpenedAspect);
  if (auto* view = dynamic_cast<IMainView*>(parentWidget())) view->StateChanged();
  Sync();
  QDialog::reject();
}

}  // namespace fennick
