#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "app/about_box.h"
#include "app/file_list_model.h"
#include "app/maker.h"
#include "app/media_preview_player.h"
#include "app/options_dialog.h"
#include "app/settings.h"
#include "app/window_resources.h"

namespace fennick {

// ---- TDropDownComboBox

void TDropDownComboBox::showPopup() {
  if (OnDropDown) OnDropDown();
  QComboBox::showPopup();
}

// ---- TFileListView

TFileListView::TFileListView(QWidget* parent) : QTableView(parent) {
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDropIndicatorShown(false);
}

bool TFileListView::Acceptable(const QMimeData* data) const {
  if (!data || !data->hasUrls() || (AcceptsDrops && !AcceptsDrops())) return false;
  const QList<QUrl> urls = data->urls();
  return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void TFileListView::dragEnterEvent(QDragEnterEvent* event) {
  if (Acceptable(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileListView::dragMoveEvent(QDragMoveEvent* event) {
  if (Acceptable(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileListView::dropEvent(QDropEvent* event) {
  if (!Acceptable(event->mimeData())) {
    event->ignore();
    return;
  }
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  event->acceptProposedAction();
  if (OnFilesDropped) OnFilesDropped(paths);
}

void TFileListView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && current.isValid() && model()) {
    const QModelIndex box = model()->index(current.row(), 0);
    const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    model()->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

// ---- TForm1

namespace {

QToolButton* LargeButton(const QString& caption, const QString& icon, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setText(caption);
  button->setIcon(QIcon(icon));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);
  QFont font = button->font();
  font.setBold(true);
  button->setFont(font);
  return button;
}

QToolButton* SmallButton(const QString& icon, const QString& hint, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setIcon(QIcon(icon));
  button->setToolTip(hint);
  button->setToolTipDuration(30000);
  return button;
}

QFrame* VerticalSeparator(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QLabel* BoldLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

// Shows a settings list in a drop-down: items, selection, drop-down count.
void Mirror(QComboBox& combo, const TSettingsControl& control) {
  QStringList items;
  for (const std::string& item : control.Items()) items << QString::fromStdString(item);
  bool same = combo.count() == items.size();
  for (int i = 0; same && i < items.size(); ++i) same = combo.itemText(i) == items[i];
  if (!same) {
    combo.clear();
    combo.addItems(items);
  }
  combo.setCurrentIndex(control.ItemIndex());
  combo.setMaxVisibleItems(std::max(control.DropDownCount, 1));
}

}  // namespace

TForm1::TForm1(IPrompts& prompts, IPreviewPlayer* player, TDesktopActions desktop, IDesktopSession* session) {
  InitWindowResources();
  TMediaPreviewPlayer* ownPlayer = nullptr;
  if (!player) player = ownPlayer = new TMediaPreviewPlayer();
  FController = std::make_unique<TMainController>(prompts, *player, std::move(desktop), session);
  TMainController& c = *FController;

  setWindowTitle(QString::fromLatin1(ProductName));
  setWindowIcon(QIcon(QStringLiteral(":/icons/fennick.svg")));

  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildToolStrip());
  layout->addWidget(BuildFileList(), 1);
  IPreviewPlayer* paneContent = ownPlayer;
  layout->addWidget(BuildBottomPanel(paneContent));
  setCentralWidget(client);
  BuildStatusBar();
  BuildMenus();

  // The hidden aspect choice; jobs read it, the options dialog sets it.
  ComboAspectRatio = new QComboBox(client);
  ComboAspectRatio->setObjectName(QStringLiteral("ComboAspectRatio"));
  ComboAspectRatio->hide();
  FCombos.emplace_back(ComboAspectRatio, &c.Controls.ComboAspectRatio);

  c.SetView(this);
  // A fixed window: the client area of 762 x 516 pixels at 96 dpi under the
  // menu bar.
  setFixedSize(Px(762), Px(516) + menuBar()->sizeHint().height());
  StateChanged();
}

TForm1::~TForm1() {
  FController->SetView(nullptr);
  ListView1->setModel(nullptr);
}

int TForm1::Px(int pixels) const {
  const QScreen* screen = this->screen();
  const qreal dpi = screen ? screen->logicalDotsPerInch() : 96.0;
  return qRound(pixels * dpi / 96.0);
}

QWidget* TForm1::BuildToolStrip() {
  TMainController& c = *FController;
  auto* strip = new QFrame(this);
  strip->setObjectName(QStringLiteral("Panel2"));
  strip->setFrameShape(QFrame::StyledPanel);
  strip->setFrameShadow(QFrame::Sunken);
  strip->setFixedHeight(Px(78));
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(Px(2), Px(4), Px(8), Px(4));
  row->setSpacing(Px(2));

  ButtonAddFile = LargeButton(QStringLiteral("&Add File"), QStringLiteral(":/icons/add.svg"), strip);
  ButtonRemove = LargeButton(QStringLiteral("&Remove"), QStringLiteral(":/icons/remove.svg"), strip);
  ButtonClear = LargeButton(QStringLiteral("C&lear"), QStringLiteral(":/icons/clear.svg"), strip);
  ButtonStopConvert = LargeButton(QStringLiteral("&Stop"), QStringLiteral(":/icons/stop.svg"), strip);
  ButtonConvert = LargeButton(QStringLiteral("&Convert"), QStringLiteral(":/icons/convert.svg"), strip);
  for (QToolButton* button : {ButtonAddFile, ButtonRemove, ButtonClear, ButtonStopConvert, ButtonConvert}) {
    button->setFixedSize(Px(65), Px(65));
    button->setIconSize(QSize(Px(32), Px(32)));
  }
  row->addWidget(ButtonAddFile);
  row->addWidget(ButtonRemove);
  row->addWidget(ButtonClear);
  row->addSpacing(Px(4));
  row->addWidget(VerticalSeparator(strip));
  row->addSpacing(Px(4));
  row->addWidget(ButtonStopConvert);
  row->addWidget(ButtonConvert);
  row->addSpacing(Px(4));
  row->addWidget(VerticalSeparator(strip));
  row->addStretch(1);

  auto* choices = new QGridLayout();
  choices->setHorizontalSpacing(Px(6));
  choices->setVerticalSpacing(Px(4));
  ComboOutputFormat = new TDropDownComboBox(strip);
  ComboOutputFormat->setToolTip(QStringLiteral("Choose Output Format"));
  ComboOutputFormat->setToolTipDuration(30000);
  ComboOutputFormat->setFixedWidth(Px(275));
  EditOutputFolder = new QLineEdit(strip);
  EditOutputFolder->setReadOnly(true);
  EditOutputFolder->setToolTip(QStringLiteral("Output Folder"));
  EditOutputFolder->setToolTipDuration(30000);
  ButtonBrowseForFolder = SmallButton(QStringLiteral(":/icons/folder.svg"), QStringLiteral("Choose Output Folder"), strip);
  ButtonBrowseForFolder->setFixedSize(Px(43), Px(29));
  ButtonBrowseForFolder->setIconSize(QSize(Px(20), Px(20)));
  choices->addWidget(BoldLabel(QStringLiteral("Output Format :"), strip), 0, 0, Qt::AlignRight | Qt::AlignVCenter);
  choices->addWidget(ComboOutputFormat, 0, 1, 1, 2);
  choices->addWidget(BoldLabel(QStringLiteral("Output Folder :"), strip), 1, 0, Qt::AlignRight | Qt::AlignVCenter);
  choices->addWidget(EditOutputFolder, 1, 1);
  choices->addWidget(ButtonBrowseForFolder, 1, 2);
  row->addLayout(choices);

  connect(ButtonAddFile, &QToolButton::clicked, this, [&c] { c.ButtonAddFileClick(); });
  connect(ButtonRemove, &QToolButton::clicked, this, [this, &c] { c.ButtonRemoveClick(SelectedRowIds()); });
  connect(ButtonClear, &QToolButton::clicked, this, [&c] { c.ButtonClearClick(); });
  connect(ButtonStopConvert, &QToolButton::clicked, this, [&c] { c.ButtonStopConvertClick(); });
  connect(ButtonConvert, &QToolButton::clicked, this, [&c] { c.ButtonConvertClick(); });
  connect(ButtonBrowseForFolder, &QToolButton::clicked, this, [&c] { c.ButtonBrowseForFolderClick(); });
  ComboOutputFormat->OnDropDown = [this, &c] {
    c.ComboOutputFormatDropDown();
    ComboOutputFormat->setMaxVisibleItems(c.OutputFormatDropDownCount());
  };
  connect(ComboOutputFormat, &QComboBox::activated, this, [this, &c](int index) {
    c.Controls.ComboOutputFormat.SetItemIndex(index);
    c.ComboOutputFormatChange();
  });
  return strip;
}

QWidget* TForm1::BuildFileList() {
  TMainController& c = *FController;
  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  ListView1 = new TFileListView(panel);
  FListModel = std::make_unique<TFileListModel>(c.ListView1);
  FListModel->OnCheck = [&c](int row, bool checked) { c.ListView1Check(row, checked); };
  ListView1->setModel(FListModel.get());
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setShowGrid(true);
  ListView1->setWordWrap(false);
  ListView1->setTextElideMode(Qt::ElideMiddle);
  ListView1->verticalHeader()->hide();
  ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + Px(6));
  ListView1->horizontalHeader()->setHighlightSections(false);
  ListView1->horizontalHeader()->setStretchLastSection(true);
  for (int column = 0; column < ListColumnCount; ++column)
    ListView1->setColumnWidth(column, Px(ListColumns[column].Width));
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(ListView1);

  ListView1->OnFilesDropped = [&c](const QStringList& paths) {
    std::vector<std::string> files;
    for (const QString& path : paths) files.push_back(QFile::encodeName(path).toStdString());
    c.AddFileSources(files);
  };
  ListView1->AcceptsDrops = [&c] { return !c.Run.Converting; };
  connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this, &c](const QItemSelection& selected, const QItemSelection&) {
            if (!selected.isEmpty()) c.ListView1SelectItem(SelectedRow());
          });
  // Delete does what the "Remove" button does, when the button can be used.
  auto* remove = new QShortcut(QKeySequence::Delete, ListView1, nullptr, nullptr, Qt::WidgetShortcut);
  connect(remove, &QShortcut::activated, this, [this] {
    if (ButtonRemove->isEnabled()) ButtonRemove->click();
  });
  return panel;
}

QWidget* TForm1::BuildBottomPanel(IPreviewPlayer*& player) {
  TMainController& c = *FController;
  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("Panel5"));
  panel->setFixedHeight(Px(180));
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(Px(9), Px(9), Px(9), Px(6));
  row->setSpacing(Px(10));

  // Preview: the pane and its three buttons under it.
  auto* preview = new QVBoxLayout();
  preview->setSpacing(Px(6));
  PanelPlay = new QFrame(panel);
  PanelPlay->setObjectName(QStringLiteral("PanelPlay"));
  PanelPlay->setFrameShape(QFrame::StyledPanel);
  PanelPlay->setFrameShadow(QFrame::Sunken);
  PanelPlay->setFixedSize(Px(166), Px(122));
  PanelPlay->setAutoFillBackground(true);
  QPalette dark = PanelPlay->palette();
  dark.setColor(QPalette::Window, Qt::black);
  PanelPlay->setPalette(dark);
  auto* pane = new QVBoxLayout(PanelPlay);
  pane->setContentsMargins(1, 1, 1, 1);
  if (auto* video = dynamic_cast<QWidget*>(player)) {
    video->setParent(PanelPlay);
    pane->addWidget(video);
  }
  preview->addWidget(PanelPlay);
  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(Px(6));
  ButtonPlay = SmallButton(QStringLiteral(":/icons/play.svg"), QStringLiteral("Play"), panel);
  ButtonPause = SmallButton(QStringLiteral(":/icons/pause.svg"), QStringLiteral("Pause"), panel);
  ButtonStop = SmallButton(QStringLiteral(":/icons/stop.svg"), QStringLiteral("Stop"), panel);
  buttons->addStretch(1);
  for (QToolButton* button : {ButtonPlay, ButtonPause, ButtonStop}) {
    button->setFixedSize(Px(31), Px(29));
    button->setIconSize(QSize(Px(16), Px(16)));
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  preview->addLayout(buttons);
  preview->addStretch(1);
  row->addLayout(preview);
  connect(ButtonPlay, &QToolButton::clicked, this, [this, &c] { c.ButtonPlayClick(SelectedRow()); });
  connect(ButtonPause, &QToolButton::clicked, this, [&c] { c.ButtonPauseClick(); });
  connect(ButtonStop, &QToolButton::clicked, this, [&c] { c.ButtonStopClick(); });

  auto settingsGrid = [this](QGroupBox* group, const std::vector<std::pair<QString, QComboBox*>>& rows) {
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(Px(6));
    grid->setVerticalSpacing(Px(6));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
      grid->addWidget(new QLabel(rows[i].first, group), i, 0, Qt::AlignRight | Qt::AlignVCenter);
      grid->addWidget(rows[i].second, i, 1);
    }
    grid->setColumnStretch(1, 1);
    return grid;
  };
  auto newCombo = [](QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(6);
    return combo;
  };

  GroupVideoSettings = new QGroupBox(QStringLiteral(" Video Settings "), panel);
  // At least its size at 96 dpi; what the row has left goes to it, so that
  // wider desktop fonts still show the items.
  GroupVideoSettings->setMinimumWidth(Px(227));
  GroupVideoSettings->setFixedHeight(Px(152));
  ComboVideoBitrate = newCombo(GroupVideoSettings);
  ComboVideoCodec = newCombo(GroupVideoSettings);
  ComboVideoSize = newCombo(GroupVideoSettings);
  ComboVideoFramerate = newCombo(GroupVideoSettings);
  auto* video = settingsGrid(GroupVideoSettings, {{QStringLiteral("Video Quality :"), ComboVideoBitrate},
                                                  {QStringLiteral("Video Codec :"), ComboVideoCodec},
                                                  {QStringLiteral("Video Size :"), ComboVideoSize},
                                                  {QStringLiteral("Framerate :"), ComboVideoFramerate}});
  GroupVideoSettings->setLayout(video);
  row->addWidget(GroupVideoSettings, 1, Qt::AlignTop);

  GroupAudioSettings = new QGroupBox(QStringLiteral(" Audio Settings "), panel);
  GroupAudioSettings->setFixedSize(Px(303), Px(152));
  ComboAudioBitrate = newCombo(GroupAudioSettings);
  ComboAudioCodec = newCombo(GroupAudioSettings);
  ComboAudioChannels = newCombo(GroupAudioSettings);
  ComboSamplingRate = newCombo(GroupAudioSettings);
  auto* audioRow = new QHBoxLayout(GroupAudioSettings);
  audioRow->setSpacing(Px(8));
  audioRow->addLayout(settingsGrid(GroupAudioSettings, {{QStringLiteral("Audio  Quality : "), ComboAudioBitrate},
                                                        {QStringLiteral("Audio Codec :"), ComboAudioCodec},
                                                        {QStringLiteral("Audio Channels :"), ComboAudioChannels},
                                                        {QStringLiteral("Sampling Rate :"), ComboSamplingRate}}),
                      1);
  // The volume: a vertical bar, top "200%", bottom "0%".
  auto* volume = new QGridLayout();
  volume->setSpacing(Px(2));
  TrackBar1 = new QSlider(Qt::Vertical, GroupAudioSettings);
  TrackBar1->setRange(0, VolumePositionCount - 1);
  TrackBar1->setInvertedAppearance(true);
  TrackBar1->setInvertedControls(true);
  TrackBar1->setPageStep(1);
  TrackBar1->setTickPosition(QSlider::TicksLeft);
  TrackBar1->setTickInterval(1);
  LabelVolume = new QLabel(GroupAudioSettings);
  LabelVolume->setMinimumWidth(LabelVolume->fontMetrics().horizontalAdvance(QStringLiteral("200%")));
  volume->addWidget(TrackBar1, 0, 0, Qt::AlignHCenter);
  volume->addWidget(LabelVolume, 0, 1, Qt::AlignVCenter);
  volume->addWidget(BoldLabel(QStringLiteral("Volume"), GroupAudioSettings), 1, 0, 1, 2, Qt::AlignHCenter);
  audioRow->addLayout(volume);
  row->addWidget(GroupAudioSettings, 0, Qt::AlignTop);
  connect(TrackBar1, &QSlider::valueChanged, this, [this, &c](int position) {
    if (!FSyncing) c.TrackBar1Change(position);
  });

  BindSettingsCombo(ComboVideoBitrate, c.Controls.ComboVideoBitrate);
  BindSettingsCombo(ComboVideoCodec, c.Controls.ComboVideoCodec);
  BindSettingsCombo(ComboVideoSize, c.Controls.ComboVideoSize);
  BindSettingsCombo(ComboVideoFramerate, c.Controls.ComboVideoFramerate);
  BindSettingsCombo(ComboAudioBitrate, c.Controls.ComboAudioBitrate);
  BindSettingsCombo(ComboAudioCodec, c.Controls.ComboAudioCodec);
  BindSettingsCombo(ComboAudioChannels, c.Controls.ComboAudioChannels);
  BindSettingsCombo(ComboSamplingRate, c.Controls.ComboSamplingRate);
  return panel;
}

void TForm1::BindSettingsCombo(QComboBox* combo, TSettingsControl& control) {
  FCombos.emplace_back(combo, &control);
  connect(combo, &QComboBox::activated, this, [&control](int index) { control.SetItemIndex(index); });
}

void TForm1::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(Px(23));
  auto panelLabel = [this, bar](int width) {
    auto* label = new QLabel(bar);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    label->setFixedWidth(Px(width));
    return label;
  };
  StatusPanelReady = panelLabel(60);
  StatusPanelReady->setText(QString::fromLatin1(StatusReadyText));
  StatusPanelFileSize = panelLabel(230);
  ProgressBar1 = new QProgressBar(bar);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFixedWidth(Px(350) - 2);
  bar->addWidget(StatusPanelReady);
  bar->addWidget(StatusPanelFileSize);
  bar->addWidget(ProgressBar1);
}

void TForm1::BuildMenus() {
  TMainController& c = *FController;
  MenuFile = menuBar()->addMenu(QStringLiteral("&File"));
  AddFile1 = MenuFile->addAction(QStringLiteral("&Add File"));
  AddFile1->setShortcut(QKeySequence::Open);
  GoConvert1 = MenuFile->addAction(QStringLiteral("&Go Convert"));
  MenuFile->addSeparator();
  Exit1 = MenuFile->addAction(QIcon(QStringLiteral(":/icons/exit.svg")), QStringLiteral("E&xit"));
  MenuOptions = menuBar()->addMenu(QStringLiteral("&Options"));
  SetAdditionalOptions1 = MenuOptions->addAction(QStringLiteral("&Set Additional Options"));
  MenuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
  OpenHelpFile1 = MenuHelp->addAction(QIcon(QStringLiteral(":/icons/help.svg")), QStringLiteral("Open &HelpFile"));
  OpenHelpFile1->setShortcut(QKeySequence::HelpContents);
  MenuHelp->addSeparator();
  VisitOurWebsite1 = MenuHelp->addAction(QIcon(QStringLiteral(":/icons/web.svg")), QStringLiteral("&Visit Our Website"));
  MenuHelp->addSeparator();
  About1 = MenuHelp->addAction(QIcon(QStringLiteral(":/icons/about.svg")), QStringLiteral("&About"));

  // The menu items run the buttons' clicks.
  connect(AddFile1, &QAction::triggered, ButtonAddFile, &QToolButton::click);
  connect(GoConvert1, &QAction::triggered, ButtonConvert, &QToolButton::click);
  connect(Exit1, &QAction::triggered, this, [&c] { c.Exit1Click(); });
  connect(SetAdditionalOptions1, &QAction::triggered, this, [this] {
    if (Form4) Form4->exec();
  });
  connect(OpenHelpFile1, &QAction::triggered, this, [&c] { c.OpenHelpFile1Click(); });
  connect(VisitOurWebsite1, &QAction::triggered, this, [&c] { c.VisitOurWebsite1Click(); });
  connect(About1, &QAction::triggered, this, [this] {
    if (FormAbout) FormAbout->exec();
  });

  PopupMenu1 = new QMenu(this);
  CheckAllItems1 = PopupMenu1->addAction(QStringLiteral("&Check All Items"));
  UncheckAllItems1 = PopupMenu1->addAction(QStringLiteral("&Uncheck All Items"));
  PopupMenu1->addSeparator();
  RemoveSelectedItems1 = PopupMenu1->addAction(QStringLiteral("Remove &Selected Items"));
  RemoveAllItems1 = PopupMenu1->addAction(QStringLiteral("Remove &All Items"));
  PopupMenu1->addSeparator();
  PlaySelectedFile1 = PopupMenu1->addAction(QIcon(QStringLiteral(":/icons/play.svg")), QStringLiteral("&Play Selected File"));
  connect(CheckAllItems1, &QAction::triggered, this, [&c] { c.CheckAllItems1Click(); });
  connect(UncheckAllItems1, &QAction::triggered, this, [&c] { c.UncheckAllItems1Click(); });
  connect(RemoveSelectedItems1, &QAction::triggered, this, [this, &c] { c.RemoveSelectedItems1Click(SelectedRowIds()); });
  connect(RemoveAllItems1, &QAction::triggered, this, [&c] { c.RemoveAllItems1Click(); });
  connect(PlaySelectedFile1, &QAction::triggered, ButtonPlay, &QToolButton::click);
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this, &c](const QPoint& position) {
    // The menu does not open while a run has the controls locked.
    if (!c.Run.ControlsLocked) PopupMenu1->popup(ListView1->viewport()->mapToGlobal(position));
  });
}

bool TForm1::FormCreate(const QString& programFolder) {
  if (!FController->FormCreate(QFile::encodeName(programFolder).toStdString())) return false;
  FormAbout = new TFormAbout(*FController, this);
  Form4 = new TForm4(*FController, this);
  StateChanged();
  return true;
}

std::vector<TRowId> TForm1::SelectedRowIds() const {
  std::set<int> rows;
  for (const QModelIndex& index : ListView1->selectionModel()->selectedRows()) rows.insert(index.row());
  std::vector<TRowId> ids;
  const TFileList& list = FController->ListView1;
  for (int row : rows)
    if (row < list.Count()) ids.push_back(list.IdAt(row));
  return ids;
}

int TForm1::SelectedRow() const {
  const QItemSelectionModel* selection = ListView1->selectionModel();
  const QModelIndex current = selection->currentIndex();
  if (current.isValid() && selection->isRowSelected(current.row(), QModelIndex())) return current.row();
  int first = -1;
  for (const QModelIndex& index : selection->selectedRows())
    if (first < 0 || index.row() < first) first = index.row();
  return first;
}

void TForm1::ScrollRowIntoView(int row) {
  if (row < 0 || row >= FListModel->rowCount()) return;
  // Rows just appended are laid out first: until then the scroll range ends
  // before them.
  ListView1->doItemsLayout();
  ListView1->scrollTo(FListModel->index(row, 0));
}

void TForm1::StateChanged() {
  const TMainController& c = *FController;
  FSyncing = true;
  setWindowTitle(c.WindowTitle());
  Mirror(*ComboOutputFormat, c.Controls.ComboOutputFormat);
  for (auto& [combo, control] : FCombos) Mirror(*combo, *control);
  EditOutputFolder->setText(QFile::decodeName(c.EditOutputFolder.c_str()));
  TrackBar1->setValue(c.Run.VolumePosition);
  LabelVolume->setText(QString::fromStdString(VolumeLabel(c.Run.VolumePosition)));
  StatusPanelReady->setText(c.Run.StatusText.empty() ? QString::fromLatin1(StatusReadyText)
                                                     : QString::fromStdString(c.Run.StatusText));
  StatusPanelFileSize->setText(QString::fromStdString(c.Run.FileSizeText));
  // Stop has something to stop only during a run or an add.
  ButtonStopConvert->setEnabled(c.Run.RunActive || c.Run.Converting || c.Run.FAddingFiles);
  ProgressBar1->setValue(std::clamp(c.Run.ProgressPosition, 0, 100));
  // What a run locks.
  const bool unlocked = !c.Run.ControlsLocked;
  for (QWidget* control : std::initializer_list<QWidget*>{
           ButtonAddFile, ButtonClear, ButtonRemove, ButtonConvert, ComboOutputFormat, ComboVideoSize,
           ComboVideoBitrate, ComboVideoFramerate, ComboAudioBitrate, ComboAudioChannels, ComboVideoCodec,
           ComboSamplingRate, ComboAudioCodec, TrackBar1})
    control->setEnabled(unlocked);
  for (QMenu* menu : {MenuFile, MenuOptions, MenuHelp}) menu->menuAction()->setEnabled(unlocked);
  FSyncing = false;
}

bool TForm1::WindowActive() const { return isActiveWindow(); }

void TForm1::showEvent(QShowEvent* event) {
  if (!event->spontaneous() && !FCentred) {
    // Centred on the desktop the first time (where the desktop lets a
    // program place its windows).
    FCentred = true;
    if (const QScreen* screen = this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) FController->FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!FController->FormCloseQuery()) {
    event->ignore();
    return;
  }
  FController->FormClose(*OpenSettings());
  event->accept();
}

}  // namespace fennick
