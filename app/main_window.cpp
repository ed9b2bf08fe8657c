#include "app/main_window.h"

#include <QAction>
#include <QItemSelection>
#include <QDrag>
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
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <map>
#include <set>

#include "app/about_box.h"
#include "app/file_list_model.h"
#include "app/maker.h"
#include "app/media_preview_player.h"
#include "app/options_dialog.h"
#include "app/presets_dialog.h"
#include "app/settings.h"
#include "app/translations.h"
#include "app/window_resources.h"
#include "jobs/row_texts.h"
#include "profiles/output_formats.h"

namespace fennick {

// ---- TSettingsComboBox

TSettingsComboBox::TSettingsComboBox(QWidget* parent) : QComboBox(parent) {
  // Styles that answer SH_ComboBox_Popup (Fusion among them) show the whole
  // list over the control and ignore maxVisibleItems; this property makes
  // every style show a scrolled list of that many entries.
  setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
}

QSize TSettingsComboBox::sizeHint() const { return FitEveryText(QComboBox::sizeHint()); }

QSize TSettingsComboBox::minimumSizeHint() const { return FitEveryText(QComboBox::minimumSizeHint()); }

QSize TSettingsComboBox::FitEveryText(QSize hint) const {
  const QFontMetrics metrics = fontMetrics();
  int widest = 0;
  for (const QString& text : FitTexts) widest = std::max(widest, metrics.horizontalAdvance(text));
  for (int i = 0; i < count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
  QStyleOptionComboBox option;
  initStyleOption(&option);
  // The style's text field keeps a pixel or two of its own inside the room
  // it is asked for.
  const QSize content(widest + 4, metrics.height());
  return hint.expandedTo(style()->sizeFromContents(QStyle::CT_ComboBox, &option, content, this));
}

// ---- TDropDownComboBox

void TDropDownComboBox::showPopup() {
  if (OnDropDown) OnDropDown();
  QComboBox::showPopup();
}

// ---- TFileListView

TFileListView::TFileListView(QWidget* parent) : QTableView(parent) {
  setTabKeyNavigation(false);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  // Files come in from outside; the list's own rows move within it.
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(true);
}

void TFileListView::startDrag(Qt::DropActions) {
  if (!selectionModel() || !selectionModel()->hasSelection()) return;
  auto* drag = new QDrag(this);
  auto* data = new QMimeData();
  data->setData(QString::fromLatin1(RowsMimeType), QByteArray());
  drag->setMimeData(data);
  drag->exec(Qt::MoveAction);
}

bool TFileListView::OwnRows(const QDropEvent* event) const {
  return event->source() == this && event->mimeData() &&
         event->mimeData()->hasFormat(QString::fromLatin1(RowsMimeType)) && (!AcceptsDrops || AcceptsDrops());
}

bool TFileListView::Acceptable(const QMimeData* data) const {
  if (!data || !data->hasUrls() || (AcceptsDrops && !AcceptsDrops())) return false;
  const QList<QUrl> urls = data->urls();
  return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void TFileListView::dragEnterEvent(QDragEnterEvent* event) {
  if (OwnRows(event) || Acceptable(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileListView::dragMoveEvent(QDragMoveEvent* event) {
  if (OwnRows(event)) {
    QTableView::dragMoveEvent(event);  // the drop indicator
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else if (Acceptable(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileListView::dropEvent(QDropEvent* event) {
  if (OwnRows(event)) {
    // Before the row under the pointer, after it in its lower half.
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    int before = model() ? model()->rowCount() : 0;
    if (index.isValid()) before = index.row() + (at.y() > visualRect(index).center().y() ? 1 : 0);
    event->setDropAction(Qt::MoveAction);
    event->accept();
    if (OnRowsDropped) OnRowsDropped(before);
    return;
  }
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

void TFileListView::WidenColumnsToTexts(int first, int last, int firstRow, int lastRow) {
  if (!model()) return;
  if (lastRow < 0) lastRow = model()->rowCount() - 1;
  for (int column = std::max(first, 1); column <= last && column < model()->columnCount(); ++column) {
    // The rows that changed only: a list of thousands is not measured again
    // for every row added.
    int wanted = 0;
    for (int row = std::max(firstRow, 0); row <= lastRow; ++row)
      wanted = std::max(wanted, sizeHintForIndex(model()->index(row, column)).width() + (showGrid() ? 1 : 0));
    // Output names may be long: they never take the file names' room (the
    // cell elides, its tooltip has the whole path).
    if (column == ColOutput) wanted = std::min(wanted, viewport()->width() / 5);
    if (wanted > columnWidth(column)) setColumnWidth(column, wanted);
  }
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

QToolButton* LargeButton(const QString& name, const QString& caption, const QString& icon, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(caption);
  button->setIcon(QIcon(icon));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  QFont font = button->font();
  font.setBold(true);
  button->setFont(font);
  return button;
}

QToolButton* SmallButton(const QString& name, const QString& icon, const QString& hint, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
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

// Every item each settings list offers for some output format, by the
// list's name (SettingNames()).
const std::map<std::string, QStringList>& ItemsOfEveryFormat() {
  static const std::map<std::string, QStringList> items = [] {
    std::map<std::string, std::set<std::string>> found;
    TProfileControls controls;
    FillOutputFormatList(controls.ComboOutputFormat);
    for (int i = 0; i < controls.ComboOutputFormat.Count(); ++i) {
      controls.ComboOutputFormat.SetItemIndex(i);
      if (!OutputFormatChanged(controls)) continue;
      for (const std::string& name : SettingNames())
        for (const std::string& item : SettingsControlByName(controls, name)->Items()) found[name].insert(item);
    }
    std::map<std::string, QStringList> lists;
    for (const auto& [name, texts] : found)
      for (const std::string& text : texts) lists[name] << DisplayText(text);
    return lists;
  }();
  return items;
}

// The preview's time: whole seconds of milliseconds, as the list shows
// durations.
QString PreviewTimeText(qint64 milliseconds) {
  return QString::fromStdString(FormatDuration(':', static_cast<double>(std::max<qint64>(milliseconds, 0) / 1000)));
}

// Shows a settings list in a drop-down: items, selection, drop-down count.
void Mirror(QComboBox& combo, const TSettingsControl& control) {
  // A list the chosen format does not use keeps showing what it held,
  // greyed (see StateChanged), rather than going blank.
  if (control.Count() == 0 && combo.count() > 0) return;
  QStringList items;
  for (const std::string& item : control.Items()) items << QString::fromStdString(item);
  bool same = combo.count() == items.size();
  for (int i = 0; same && i < items.size(); ++i) same = combo.itemData(i).toString() == items[i];
  if (!same) {
    combo.clear();
    // The language's text is shown; the English item, which the lists and
    // the saved settings use, stays the entry's data.
    for (const QString& item : items) combo.addItem(DisplayText(item.toStdString()), item);
  }
  combo.setCurrentIndex(control.ItemIndex());
  combo.setMaxVisibleItems(std::max(control.DropDownCount, 1));
  if (!same) combo.updateGeometry();
}

// The format list: the catalogue's entries, then, when there are any, a
// separator and the user's presets by name.
void MirrorFormats(QComboBox& combo, const TSettingsControl& control, const std::vector<TPreset>& presets,
                   const std::string& chosenPreset) {
  QStringList items;
  for (const std::string& item : control.Items()) items << QString::fromStdString(item);
  const int formats = static_cast<int>(items.size());
  const int wanted = formats + (presets.empty() ? 0 : 1 + static_cast<int>(presets.size()));
  bool same = combo.count() == wanted;
  for (int i = 0; same && i < formats; ++i) same = combo.itemText(i) == items[i];
  for (size_t i = 0; same && i < presets.size(); ++i)
    same = combo.itemText(formats + 1 + static_cast<int>(i)) == QString::fromStdString(presets[i].Name);
  if (!same) {
    combo.clear();
    combo.addItems(items);
    if (!presets.empty()) {
      combo.insertSeparator(formats);
      for (const TPreset& preset : presets) combo.addItem(QString::fromStdString(preset.Name));
    }
  }
  // A preset chosen shows under its own name.
  int current = control.ItemIndex();
  for (size_t i = 0; i < presets.size(); ++i)
    if (!chosenPreset.empty() && presets[i].Name == chosenPreset) current = formats + 1 + static_cast<int>(i);
  combo.setCurrentIndex(current);
  combo.setMaxVisibleItems(std::max(control.DropDownCount, 1));
  if (!same) combo.updateGeometry();
}

}  // namespace

TForm1::TForm1(IPrompts& prompts, IPreviewPlayer* player, TDesktopActions desktop, IDesktopSession* session) {
  InitWindowResources();
  // Without Qt Multimedia's backend the window still opens and converts;
  // its preview pane says why it shows nothing.
  IPreviewPlayer* ownPlayer = nullptr;
  if (!player) {
    if (MediaBackendAvailable())
      player = ownPlayer = new TMediaPreviewPlayer();
    else
      player = ownPlayer = new TUnavailablePreview();
  }
  FPlayer = player;
  FController = std::make_unique<TMainController>(prompts, *player, std::move(desktop), session);
  TMainController& c = *FController;

  setWindowTitle(QString::fromLatin1(ProductName));
  setWindowIcon(QIcon(QStringLiteral(":/icons/fennick.svg")));

  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildToolStrip());
  // The list takes whatever height the window has beyond the strip and the
  // bottom panel.
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

  // Tab visits the controls in reading order: the strip left to right, the
  // list, the preview, the video and audio settings, the volume.
  const std::vector<QWidget*> order = {
      ButtonAddFile,     ButtonRemove,       ButtonClear,         ButtonStopConvert, ButtonConvert,
      ComboOutputFormat, EditOutputFolder,   ButtonBrowseForFolder, ListView1,       ButtonPlay,
      ButtonPause,       ButtonStop,         PreviewPosition,     ComboVideoBitrate, ComboVideoCodec,
      ComboVideoSize,    ComboVideoFramerate, ComboEncoderSpeed,  ComboAudioBitrate, ComboAudioCodec,
      ComboAudioChannels, ComboSamplingRate, TrackBar1};
  for (QWidget* control : order) control->setFocusPolicy(Qt::StrongFocus);
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  c.SetView(this);
  FBuilt = true;
  FitSizesToTexts();
  StateChanged();
}

TForm1::~TForm1() {
  FPlayer->SetTimeListener({});
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
  strip->setMinimumHeight(Px(78));
  strip->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(Px(2), Px(4), Px(8), Px(4));
  row->setSpacing(Px(2));

  ButtonAddFile = LargeButton(QStringLiteral("ButtonAddFile"), tr("&Add File"),
                              QStringLiteral(":/icons/add.svg"), strip);
  ButtonRemove = LargeButton(QStringLiteral("ButtonRemove"), tr("&Remove"),
                             QStringLiteral(":/icons/remove.svg"), strip);
  ButtonClear = LargeButton(QStringLiteral("ButtonClear"), tr("C&lear"),
                            QStringLiteral(":/icons/clear.svg"), strip);
  ButtonStopConvert = LargeButton(QStringLiteral("ButtonStopConvert"), tr("&Stop"),
                                  QStringLiteral(":/icons/stop.svg"), strip);
  ButtonConvert = LargeButton(QStringLiteral("ButtonConvert"), tr("&Convert"),
                              QStringLiteral(":/icons/convert.svg"), strip);
  for (QToolButton* button : {ButtonAddFile, ButtonRemove, ButtonClear, ButtonStopConvert, ButtonConvert})
    button->setIconSize(QSize(Px(32), Px(32)));
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
  ComboOutputFormat->setObjectName(QStringLiteral("ComboOutputFormat"));
  ComboOutputFormat->setToolTip(tr("Choose Output Format"));
  ComboOutputFormat->setToolTipDuration(30000);
  ComboOutputFormat->setMinimumWidth(Px(275));
  EditOutputFolder = new QLineEdit(strip);
  EditOutputFolder->setObjectName(QStringLiteral("EditOutputFolder"));
  EditOutputFolder->setToolTipDuration(30000);
  EditOutputFolder->setMinimumWidth(Px(226));
  ButtonBrowseForFolder = SmallButton(QStringLiteral("ButtonBrowseForFolder"), QStringLiteral(":/icons/folder.svg"),
                                      tr("Choose Output Folder"), strip);
  ButtonBrowseForFolder->setFixedSize(Px(43), Px(29));
  ButtonBrowseForFolder->setIconSize(QSize(Px(20), Px(20)));
  QLabel* formatLabel = BoldLabel(tr("Output Forma&t :"), strip);
  formatLabel->setBuddy(ComboOutputFormat);
  QLabel* folderLabel = BoldLabel(tr("Output Fol&der :"), strip);
  folderLabel->setBuddy(EditOutputFolder);
  choices->addWidget(formatLabel, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
  choices->addWidget(ComboOutputFormat, 0, 1, 1, 2);
  choices->addWidget(folderLabel, 1, 0, Qt::AlignRight | Qt::AlignVCenter);
  choices->addWidget(EditOutputFolder, 1, 1);
  choices->addWidget(ButtonBrowseForFolder, 1, 2);
  row->addLayout(choices);

  connect(ButtonAddFile, &QToolButton::clicked, this, [&c] { c.ButtonAddFileClick(); });
  connect(ButtonRemove, &QToolButton::clicked, this, [this, &c] { c.ButtonRemoveClick(SelectedRowIds()); });
  connect(ButtonClear, &QToolButton::clicked, this, [&c] { c.ButtonClearClick(); });
  connect(ButtonStopConvert, &QToolButton::clicked, this, [&c] { c.ButtonStopConvertClick(); });
  connect(ButtonConvert, &QToolButton::clicked, this, [&c] { c.ButtonConvertClick(); });
  connect(ButtonBrowseForFolder, &QToolButton::clicked, this, [&c] { c.ButtonBrowseForFolderClick(); });
  // A typed or pasted folder is the output folder as it stands.
  connect(EditOutputFolder, &QLineEdit::textEdited, this, [this, &c](const QString& text) {
    c.EditOutputFolderChange(QFile::encodeName(text).toStdString());
    StateChanged();
  });
  ComboOutputFormat->OnDropDown = [this, &c] {
    c.ComboOutputFormatDropDown();
    ComboOutputFormat->setMaxVisibleItems(c.OutputFormatDropDownCount());
  };
  connect(ComboOutputFormat, &QComboBox::activated, this, [this, &c](int index) {
    // Past the catalogue's entries and the separator: a preset.
    const int formats = c.Controls.ComboOutputFormat.Count();
    if (index > formats) return c.ComboOutputFormatPresetChoose(index - formats - 1);
    if (index == formats) return StateChanged();
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
  ListView1->setObjectName(QStringLiteral("ListView1"));
  FListModel = std::make_unique<TFileListModel>(c.ListView1);
  FListModel->ExpectedSize = [&c](int row) { return c.ExpectedSizeOf(row); };
  FListModel->OnCheck = [&c](int row, bool checked) { c.ListView1Check(row, checked); };
  ListView1->setModel(FListModel.get());
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setShowGrid(true);
  ListView1->setWordWrap(false);
  // The file name leads the first column's text; what is cut is the end,
  // the folder, before the name.
  ListView1->setTextElideMode(Qt::ElideRight);
  ListView1->verticalHeader()->hide();
  QHeaderView* header = ListView1->horizontalHeader();
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  // The file names get the width the other columns leave.
  header->setSectionResizeMode(ColFileName, QHeaderView::Stretch);
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
  // The user's own scrolling (a wheel, the bar, keys), not the list's.
  connect(ListView1->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this, &c](int) {
    if (!FScrollingToRow) c.ListView1Scrolled();
  });
  connect(ListView1, &QAbstractItemView::doubleClicked, this,
          [&c](const QModelIndex& index) { c.ListView1DblClick(index.row()); });
  // A row that goes takes its preview with it.
  connect(FListModel.get(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [&c](const QModelIndex&, int first, int last) {
            for (int row = first; row <= last && row < c.ListView1.Count(); ++row)
              c.Preview.RowRemoved(static_cast<TPreviewRowKey>(c.ListView1.IdAt(row)));
          });
  connect(FListModel.get(), &QAbstractItemModel::modelAboutToBeReset, this, [&c] {
    for (int row = 0; row < c.ListView1.Count(); ++row)
      c.Preview.RowRemoved(static_cast<TPreviewRowKey>(c.ListView1.IdAt(row)));
  });
  // Cells that grow during a run (frame counts, long durations) widen their
  // column rather than being cut.
  connect(FListModel.get(), &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& from, const QModelIndex& to) {
            ListView1->WidenColumnsToTexts(from.column(), to.column(), from.row(), to.row());
          });
  connect(FListModel.get(), &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            ListView1->WidenColumnsToTexts(0, ListColumnCount - 1, first, last);
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
  panel->setMinimumHeight(Px(180));
  panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(Px(9), Px(9), Px(9), Px(6));
  row->setSpacing(Px(10));

  // Preview: the pane, its three buttons, where it plays and the time.
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
  preview->addWidget(PanelPlay, 0, Qt::AlignHCenter);
  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(Px(6));
  ButtonPlay =
      SmallButton(QStringLiteral("ButtonPlay"), QStringLiteral(":/icons/play.svg"), tr("Play"), panel);
  ButtonPause =
      SmallButton(QStringLiteral("ButtonPause"), QStringLiteral(":/icons/pause.svg"), tr("Pause"), panel);
  ButtonStop =
      SmallButton(QStringLiteral("ButtonStop"), QStringLiteral(":/icons/stop.svg"), tr("Stop"), panel);
  buttons->addStretch(1);
  for (QToolButton* button : {ButtonPlay, ButtonPause, ButtonStop}) {
    button->setFixedSize(Px(31), Px(29));
    button->setIconSize(QSize(Px(16), Px(16)));
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  preview->addLayout(buttons);
  PreviewPosition = new QSlider(Qt::Horizontal, panel);
  PreviewPosition->setObjectName(QStringLiteral("PreviewPosition"));
  PreviewPosition->setToolTip(tr("Position"));
  PreviewPosition->setEnabled(false);
  preview->addWidget(PreviewPosition);
  LabelPreviewTime = new QLabel(panel);
  LabelPreviewTime->setObjectName(QStringLiteral("LabelPreviewTime"));
  LabelPreviewTime->setAlignment(Qt::AlignCenter);
  preview->addWidget(LabelPreviewTime);
  preview->addStretch(1);
  row->addLayout(preview);
  connect(ButtonPlay, &QToolButton::clicked, this, [this, &c] { c.ButtonPlayClick(SelectedRow()); });
  connect(ButtonPause, &QToolButton::clicked, this, [&c] { c.ButtonPauseClick(); });
  connect(ButtonStop, &QToolButton::clicked, this, [&c] { c.ButtonStopClick(); });
  connect(PreviewPosition, &QSlider::valueChanged, this, [this](int position) {
    if (!FPreviewSyncing) FPlayer->Seek(position);
  });
  FPlayer->SetTimeListener(
      [this](std::int64_t position, std::int64_t duration) { ShowPreviewTime(position, duration); });
  ShowPreviewTime(0, 0);

  // The settings: a label with its mnemonic before each list.
  auto settingsGrid = [this](QGroupBox* group, const std::vector<std::pair<QString, QComboBox*>>& rows) {
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(Px(6));
    grid->setVerticalSpacing(Px(6));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
      auto* label = new QLabel(rows[i].first, group);
      label->setBuddy(rows[i].second);
      grid->addWidget(label, i, 0, Qt::AlignRight | Qt::AlignVCenter);
      grid->addWidget(rows[i].second, i, 1);
    }
    grid->setColumnStretch(1, 1);
    return grid;
  };
  const std::map<std::string, QStringList>& everyItem = ItemsOfEveryFormat();
  auto newCombo = [&everyItem](QWidget* parent, const char* name) {
    auto* combo = new TSettingsComboBox(parent);
    combo->setObjectName(QStringLiteral("Combo") + QString::fromLatin1(name));
    if (const auto items = everyItem.find(name); items != everyItem.end()) combo->FitTexts = items->second;
    return combo;
  };

  GroupVideoSettings = new QGroupBox(tr(" Video Settings "), panel);
  GroupVideoSettings->setObjectName(QStringLiteral("GroupVideoSettings"));
  GroupVideoSettings->setMinimumSize(Px(227), Px(152));
  ComboVideoBitrate = newCombo(GroupVideoSettings, "VideoBitrate");
  ComboVideoCodec = newCombo(GroupVideoSettings, "VideoCodec");
  ComboVideoSize = newCombo(GroupVideoSettings, "VideoSize");
  ComboVideoFramerate = newCombo(GroupVideoSettings, "VideoFramerate");
  ComboEncoderSpeed = newCombo(GroupVideoSettings, "EncoderSpeed");
  // Alt+S is "Stop"'s too, but never for both at once: Stop is enabled
  // only during a run, which disables the settings.
  auto* video = settingsGrid(GroupVideoSettings, {{tr("Video &Quality :"), ComboVideoBitrate},
                                                  {tr("&Video Codec :"), ComboVideoCodec},
                                                  {tr("Video Si&ze :"), ComboVideoSize},
                                                  {tr("Fra&merate :"), ComboVideoFramerate},
                                                  {tr("Encoder &Speed :"), ComboEncoderSpeed}});
  LabelEncoderSpeed = qobject_cast<QLabel*>(video->itemAtPosition(4, 0)->widget());
  LabelEncoderSpeed->setObjectName(QStringLiteral("LabelEncoderSpeed"));
  LabelEncoderSpeed->hide();
  ComboEncoderSpeed->hide();
  GroupVideoSettings->setLayout(video);
  row->addWidget(GroupVideoSettings, 1, Qt::AlignTop);

  GroupAudioSettings = new QGroupBox(tr(" Audio Settings "), panel);
  GroupAudioSettings->setObjectName(QStringLiteral("GroupAudioSettings"));
  GroupAudioSettings->setMinimumSize(Px(303), Px(152));
  ComboAudioBitrate = newCombo(GroupAudioSettings, "AudioBitrate");
  ComboAudioCodec = newCombo(GroupAudioSettings, "AudioCodec");
  ComboAudioChannels = newCombo(GroupAudioSettings, "AudioChannels");
  ComboSamplingRate = newCombo(GroupAudioSettings, "SamplingRate");
  auto* audioRow = new QHBoxLayout(GroupAudioSettings);
  audioRow->setSpacing(Px(8));
  audioRow->addLayout(settingsGrid(GroupAudioSettings, {{tr("Aud&io  Quality : "), ComboAudioBitrate},
                                                        {tr("Audio Cod&ec :"), ComboAudioCodec},
                                                        {tr("Audio Cha&nnels :"), ComboAudioChannels},
                                                        {tr("Sam&pling Rate :"), ComboSamplingRate}}),
                      1);
  // The volume: a vertical bar, top "200%", bottom "0%".
  auto* volume = new QGridLayout();
  volume->setSpacing(Px(2));
  TrackBar1 = new QSlider(Qt::Vertical, GroupAudioSettings);
  TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
  TrackBar1->setRange(0, VolumePositionCount - 1);
  TrackBar1->setInvertedAppearance(true);
  TrackBar1->setInvertedControls(true);
  TrackBar1->setPageStep(1);
  TrackBar1->setTickPosition(QSlider::TicksLeft);
  TrackBar1->setTickInterval(1);
  LabelVolume = new QLabel(GroupAudioSettings);
  LabelVolume->setObjectName(QStringLiteral("LabelVolume"));
  QLabel* volumeLabel = BoldLabel(tr("Vol&ume"), GroupAudioSettings);
  volumeLabel->setBuddy(TrackBar1);
  volume->addWidget(TrackBar1, 0, 0, Qt::AlignHCenter);
  volume->addWidget(LabelVolume, 0, 1, Qt::AlignVCenter);
  volume->addWidget(volumeLabel, 1, 0, 1, 2, Qt::AlignHCenter);
  audioRow->addLayout(volume);
  row->addWidget(GroupAudioSettings, 1, Qt::AlignTop);
  connect(TrackBar1, &QSlider::valueChanged, this, [this, &c](int position) {
    if (!FSyncing) c.TrackBar1Change(position);
  });

  BindSettingsCombo(ComboVideoBitrate, c.Controls.ComboVideoBitrate);
  BindSettingsCombo(ComboVideoCodec, c.Controls.ComboVideoCodec);
  BindSettingsCombo(ComboVideoSize, c.Controls.ComboVideoSize);
  BindSettingsCombo(ComboVideoFramerate, c.Controls.ComboVideoFramerate);
  BindSettingsCombo(ComboEncoderSpeed, c.Controls.ComboEncoderSpeed);
  BindSettingsCombo(ComboAudioBitrate, c.Controls.ComboAudioBitrate);
  BindSettingsCombo(ComboAudioCodec, c.Controls.ComboAudioCodec);
  BindSettingsCombo(ComboAudioChannels, c.Controls.ComboAudioChannels);
  BindSettingsCombo(ComboSamplingRate, c.Controls.ComboSamplingRate);
  return panel;
}

void TForm1::BindSettingsCombo(QComboBox* combo, TSettingsControl& control) {
  FCombos.emplace_back(combo, &control);
  connect(combo, &QComboBox::activated, this, [this, &control](int index) {
    control.SetItemIndex(index);
    FController->SettingItemChange();
  });
}

void TForm1::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setMinimumHeight(Px(23));
  auto panelLabel = [bar](const char* name) {
    auto* label = new QLabel(bar);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    return label;
  };
  StatusPanelReady = panelLabel("StatusPanelReady");
  StatusPanelReady->setText(DisplayText(StatusReadyText));
  StatusPanelFileSize = panelLabel("StatusPanelFileSize");
  ProgressBar1 = new QProgressBar(bar);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setMinimumWidth(Px(350) - 2);
  // What is happening takes the room the others leave.
  bar->addWidget(StatusPanelReady, 1);
  bar->addWidget(StatusPanelFileSize);
  bar->addWidget(ProgressBar1);
}

void TForm1::FitSizesToTexts() {
  // Large buttons: at least 65 pixels square, wide enough for the caption
  // (the style measures it with its '&') and tall enough for it under the
  // icon.
  for (QToolButton* button : {ButtonAddFile, ButtonRemove, ButtonClear, ButtonStopConvert, ButtonConvert}) {
    const QFontMetrics metrics = button->fontMetrics();
    const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    button->setMinimumSize(std::max(Px(65), metrics.horizontalAdvance(button->text()) + 2 * frame + Px(6)),
                           std::max(Px(65), button->iconSize().height() + metrics.height() + 2 * frame + Px(6)));
  }
  // Status panels: their 96-dpi widths, or what their longest text needs.
  auto fitPanel = [this](QLabel* label, int width, const QString& longest) {
    const int frame = label->frameWidth();
    label->setMinimumWidth(std::max(Px(width), label->fontMetrics().horizontalAdvance(longest) + 2 * frame + Px(8)));
  };
  for (QLabel* label : {StatusPanelReady, StatusPanelFileSize})
    label->setMinimumHeight(label->fontMetrics().height() + 2 * label->frameWidth());
  // The bar keeps a few pixels of its own around its panels.
  statusBar()->setMinimumHeight(std::max(Px(23), StatusPanelReady->minimumHeight() + Px(4)));
  QString longestStatus = TMainController::ConvertingStatus(QStringLiteral("000"), QStringLiteral("000"));
  for (const QString& status : {TMainController::PausedStatus(), TMainController::StoppingAfterStatus()})
    if (StatusPanelReady->fontMetrics().horizontalAdvance(status) >
        StatusPanelReady->fontMetrics().horizontalAdvance(longestStatus))
      longestStatus = status;
  fitPanel(StatusPanelReady, 60, longestStatus);
  fitPanel(StatusPanelFileSize, 230, TMainController::FileSizeStatus(QStringLiteral("0000000000000")));
  LabelVolume->setMinimumWidth(LabelVolume->fontMetrics().horizontalAdvance(QStringLiteral("200%")));
  // The video group's captions are as wide with the "Encoder Speed" row as
  // without it: showing the row never narrows the lists beside them.
  if (auto* grid = qobject_cast<QGridLayout*>(GroupVideoSettings->layout()))
    grid->setColumnMinimumWidth(0, LabelEncoderSpeed->sizeHint().width());
  LabelPreviewTime->setMinimumWidth(
      LabelPreviewTime->fontMetrics().horizontalAdvance(QStringLiteral("000:00:00 / 000:00:00")));
  // The list: rows as high as the text, columns as wide as their caption
  // and the texts they hold.
  ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + Px(6));
  const QHeaderView* header = ListView1->horizontalHeader();
  const int cellMargin = 2 * (ListView1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListView1) + 1);
  const int captionMargin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + Px(4);
  // The Progress column: the widest state a run writes, in the language
  // shown.
  QString state;
  for (const TJobStatus status : {TJobStatus::Done, TJobStatus::Failed, TJobStatus::Stopped, TJobStatus::Interrupted}) {
    const char* text = JobResultText(status);
    if (ListView1->fontMetrics().horizontalAdvance(DisplayText(text)) >
        ListView1->fontMetrics().horizontalAdvance(state))
      state = DisplayText(text);
  }
  const QString samples[ListColumnCount] = {QString(),           QStringLiteral("0000x0000"), QStringLiteral("000.00"),
                                            QStringLiteral("000:00:00"), QStringLiteral("MPEG2"), state,
                                            QStringLiteral("0000000")};
  for (int column = ColVideoSize; column < ListColumnCount; ++column) {
    const QString caption = DisplayText(ListColumns[column].Caption);
    const QString& sample = samples[column];
    const int width = std::max({Px(ListColumns[column].Width),
                                header->fontMetrics().horizontalAdvance(caption) + captionMargin,
                                ListView1->fontMetrics().horizontalAdvance(sample) + cellMargin + Px(4)});
    if (ListView1->columnWidth(column) < width) ListView1->setColumnWidth(column, width);
  }
  ListView1->WidenColumnsToTexts(0, ListColumnCount - 1);
}

void TForm1::ShowPreviewTime(qint64 position, qint64 duration) {
  FPreviewSyncing = true;
  PreviewPosition->setEnabled(duration > 0);
  PreviewPosition->setRange(0, static_cast<int>(std::min<qint64>(duration, INT_MAX)));
  PreviewPosition->setPageStep(10000);
  PreviewPosition->setSingleStep(1000);
  if (!PreviewPosition->isSliderDown())
    PreviewPosition->setValue(static_cast<int>(std::min<qint64>(position, INT_MAX)));
  FPreviewSyncing = false;
  LabelPreviewTime->setText(PreviewTimeText(position) + QStringLiteral(" / ") + PreviewTimeText(duration));
}

void TForm1::BuildMenus() {
  TMainController& c = *FController;
  MenuFile = menuBar()->addMenu(tr("&File"));
  AddFile1 = MenuFile->addAction(tr("&Add File"));
  AddFile1->setShortcut(QKeySequence::Open);
  AddFolder1 = MenuFile->addAction(tr("Add Fol&der\u2026"));
  AddFolder1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  GoConvert1 = MenuFile->addAction(tr("&Go Convert"));
  OpenOutputFolder1 = MenuFile->addAction(tr("&Open Output Folder"));
  MenuFile->addSeparator();
  Exit1 = MenuFile->addAction(QIcon(QStringLiteral(":/icons/exit.svg")), tr("E&xit"));
  MenuOptions = menuBar()->addMenu(tr("&Options"));
  SetAdditionalOptions1 = MenuOptions->addAction(tr("&Set Additional Options"));
  MenuOptions->addSeparator();
  SaveSettingsAsPreset1 = MenuOptions->addAction(tr("Save Settings as &Preset\u2026"));
  Presets1 = MenuOptions->addAction(tr("P&resets\u2026"));
  MenuHelp = menuBar()->addMenu(tr("&Help"));
  OpenHelpFile1 = MenuHelp->addAction(QIcon(QStringLiteral(":/icons/help.svg")), tr("Open &HelpFile"));
  OpenHelpFile1->setShortcut(QKeySequence::HelpContents);
  MenuHelp->addSeparator();
  VisitOurWebsite1 = MenuHelp->addAction(QIcon(QStringLiteral(":/icons/web.svg")), tr("&Visit Our Website"));
  MenuHelp->addSeparator();
  About1 = MenuHelp->addAction(QIcon(QStringLiteral(":/icons/about.svg")), tr("&About"));

  // The menu items run the buttons' clicks.
  connect(AddFile1, &QAction::triggered, ButtonAddFile, &QToolButton::click);
  connect(AddFolder1, &QAction::triggered, this, [&c] { c.ButtonAddFolderClick(); });
  // The run's other ways to stop, and its pause, on the Stop button's arrow;
  // their keys work while the menus are locked by the run.
  auto* stopMenu = new QMenu(ButtonStopConvert);
  StopNow1 = stopMenu->addAction(tr("Stop &Now"));
  StopAfterCurrent1 = stopMenu->addAction(tr("Stop &After Current File(s)"));
  StopAfterCurrent1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
  stopMenu->addSeparator();
  PauseConvert1 = stopMenu->addAction(tr("&Pause"));
  PauseConvert1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  for (QAction* action : {StopAfterCurrent1, PauseConvert1}) addAction(action);
  ButtonStopConvert->setMenu(stopMenu);
  ButtonStopConvert->setPopupMode(QToolButton::MenuButtonPopup);
  connect(StopNow1, &QAction::triggered, ButtonStopConvert, &QToolButton::click);
  connect(StopAfterCurrent1, &QAction::triggered, this, [&c] { c.StopAfterCurrentClick(); });
  connect(PauseConvert1, &QAction::triggered, this, [&c] { c.PauseConvertClick(); });
  // The Add File button's arrow offers the folder too.
  auto* addMenu = new QMenu(ButtonAddFile);
  addMenu->addAction(AddFolder1);
  ButtonAddFile->setMenu(addMenu);
  ButtonAddFile->setPopupMode(QToolButton::MenuButtonPopup);
  connect(GoConvert1, &QAction::triggered, ButtonConvert, &QToolButton::click);
  connect(OpenOutputFolder1, &QAction::triggered, this, [&c] { c.OpenOutputFolder1Click(); });
  // "Exit" stores none of the settings, but the window's place and columns.
  connect(Exit1, &QAction::triggered, this, [this, &c] {
    SaveWindowLayout();
    c.Exit1Click();
  });
  connect(SetAdditionalOptions1, &QAction::triggered, this, [this] {
    if (Form4) Form4->exec();
  });
  connect(SaveSettingsAsPreset1, &QAction::triggered, this, [&c] { c.SaveSettingsAsPreset1Click(); });
  connect(Presets1, &QAction::triggered, this, [this] { PresetsDialog().exec(); });
  connect(OpenHelpFile1, &QAction::triggered, this, [&c] { c.OpenHelpFile1Click(); });
  connect(VisitOurWebsite1, &QAction::triggered, this, [&c] { c.VisitOurWebsite1Click(); });
  connect(About1, &QAction::triggered, this, [this] {
    if (FormAbout) FormAbout->exec();
  });

  PopupMenu1 = new QMenu(this);
  CheckAllItems1 = PopupMenu1->addAction(tr("&Check All Items"));
  UncheckAllItems1 = PopupMenu1->addAction(tr("&Uncheck All Items"));
  PopupMenu1->addSeparator();
  RemoveSelectedItems1 = PopupMenu1->addAction(tr("Remove &Selected Items"));
  RemoveAllItems1 = PopupMenu1->addAction(tr("Remove &All Items"));
  PopupMenu1->addSeparator();
  MoveUp1 = PopupMenu1->addAction(tr("&Move Up"));
  MoveUp1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
  MoveDown1 = PopupMenu1->addAction(tr("Move Dow&n"));
  MoveDown1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
  for (QAction* action : {MoveUp1, MoveDown1}) {
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ListView1->addAction(action);
  }
  connect(MoveUp1, &QAction::triggered, this, [this] { MoveSelectedRows(-1); });
  connect(MoveDown1, &QAction::triggered, this, [this] { MoveSelectedRows(1); });
  ListView1->OnRowsDropped = [this, &c](int before) {
    const std::vector<TRowId> ids = SelectedRowIds();
    SelectRows(ids, c.MoveRowsTo(ids, before));
  };
  PopupMenu1->addSeparator();
  PlaySelectedFile1 = PopupMenu1->addAction(QIcon(QStringLiteral(":/icons/play.svg")), tr("&Play Selected File"));
  OpenOutputFolder2 = PopupMenu1->addAction(tr("&Open Output Folder"));
  ShowLog1 = PopupMenu1->addAction(tr("Show &Log"));
  connect(ShowLog1, &QAction::triggered, this, [this, &c] { c.ShowLog1Click(SelectedRow()); });
  PopupMenu1->addSeparator();
  AudioTrack1 = PopupMenu1->addMenu(tr("Audio &Track"));
  PopupMenu1->addSeparator();
  KeepCurrentSettings1 = PopupMenu1->addAction(tr("&Keep Current Settings for Selected Rows"));
  UseWindowSettings1 = PopupMenu1->addAction(tr("Use &Window Settings"));
  connect(KeepCurrentSettings1, &QAction::triggered, this,
          [this, &c] { c.KeepCurrentSettings1Click(SelectedRowIds()); });
  connect(UseWindowSettings1, &QAction::triggered, this, [this, &c] { c.UseWindowSettings1Click(SelectedRowIds()); });
  connect(CheckAllItems1, &QAction::triggered, this, [&c] { c.CheckAllItems1Click(); });
  connect(UncheckAllItems1, &QAction::triggered, this, [&c] { c.UncheckAllItems1Click(); });
  connect(RemoveSelectedItems1, &QAction::triggered, this, [this, &c] { c.RemoveSelectedItems1Click(SelectedRowIds()); });
  connect(RemoveAllItems1, &QAction::triggered, this, [&c] { c.RemoveAllItems1Click(); });
  connect(PlaySelectedFile1, &QAction::triggered, ButtonPlay, &QToolButton::click);
  connect(OpenOutputFolder2, &QAction::triggered, this, [&c] { c.OpenOutputFolder1Click(); });
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this, &c](const QPoint& position) {
    // The menu does not open while a run has the controls locked.
    if (c.Run.ControlsLocked) return;
    const QModelIndex at = ListView1->indexAt(position);
    FillAudioTrackMenu(at.isValid() ? at.row() : SelectedRow());
    // "Use Window Settings" for a selection with a pinned row.
    bool pinned = false;
    for (const TRowId id : SelectedRowIds()) pinned = pinned || c.ListView1.Pinned(c.ListView1.IndexOf(id));
    KeepCurrentSettings1->setEnabled(!SelectedRowIds().empty());
    UseWindowSettings1->setVisible(pinned);
    PopupMenu1->popup(ListView1->viewport()->mapToGlobal(position));
  });
}

void TForm1::FillAudioTrackMenu(int row) {
  AudioTrack1->clear();
  const std::vector<std::string> items = FController->AudioTrackItems(row);
  AudioTrack1->menuAction()->setVisible(!items.empty());
  if (items.empty()) return;
  const int chosen = FController->ListView1.AudioTrack(row);
  const TRowId id = FController->ListView1.IdAt(row);
  for (size_t i = 0; i < items.size(); ++i) {
    QAction* action = AudioTrack1->addAction(QString::fromStdString(items[i]));
    action->setCheckable(true);
    action->setChecked(static_cast<int>(i) == chosen);
    // The row by its identity: rows may go while the menu is open.
    connect(action, &QAction::triggered, this, [this, id, i] {
      FController->AudioTrack1Click(FController->ListView1.IndexOf(id), static_cast<int>(i));
    });
  }
}

bool TForm1::FormCreate(const QString& programFolder) {
  if (!FController->FormCreate(QFile::encodeName(programFolder).toStdString())) return false;
  FormAbout = new TFormAbout(*FController, this);
  Form4 = new TForm4(*FController, this);
  StateChanged();
  return true;
}

TPresetsDialog& TForm1::PresetsDialog() {
  if (!FormPresets) FormPresets = new TPresetsDialog(*FController, this);
  FormPresets->Refill();
  return *FormPresets;
}

void TForm1::MoveSelectedRows(int step) {
  const std::vector<TRowId> ids = SelectedRowIds();
  SelectRows(ids, FController->MoveRowsBy(ids, step));
}

void TForm1::SelectRows(const std::vector<TRowId>& ids, int first) {
  if (first < 0) return;
  // The moved rows stay selected, the first current and in view.
  QItemSelection selection;
  const TFileList& list = FController->ListView1;
  for (const TRowId id : ids)
    if (const int row = list.IndexOf(id); row >= 0)
      selection.select(ListView1->model()->index(row, 0), ListView1->model()->index(row, ListColumnCount - 1));
  ListView1->selectionModel()->setCurrentIndex(ListView1->model()->index(first, 0), QItemSelectionModel::NoUpdate);
  ListView1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  ListView1->scrollTo(ListView1->model()->index(first, 0));
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
  FScrollingToRow = true;
  ListView1->doItemsLayout();
  ListView1->scrollTo(FListModel->index(row, 0));
  FScrollingToRow = false;
}

void TForm1::StateChanged() {
  const TMainController& c = *FController;
  FSyncing = true;
  setWindowTitle(c.WindowTitle());
  MirrorFormats(*ComboOutputFormat, c.Controls.ComboOutputFormat, c.Presets, c.ChosenPreset);
  for (auto& [combo, control] : FCombos) Mirror(*combo, *control);
  const bool speed = c.Controls.ComboEncoderSpeed.Count() > 0;
  LabelEncoderSpeed->setVisible(speed);
  ComboEncoderSpeed->setVisible(speed);
  const QString folder = QFile::decodeName(c.EditOutputFolder.c_str());
  // Set only when it differs, so that typing keeps its cursor.
  if (EditOutputFolder->text() != folder) EditOutputFolder->setText(folder);
  EditOutputFolder->setToolTip(folder.isEmpty() ? tr("Output Folder") : tr("Output Folder\n%1").arg(folder));
  // Like the folder button, the folder is not changed while converting.
  EditOutputFolder->setReadOnly(c.Run.ControlsLocked || c.Run.Converting);
  TrackBar1->setValue(c.Run.VolumePosition);
  LabelVolume->setText(QString::fromStdString(VolumeLabel(c.Run.VolumePosition)));
  StatusPanelReady->setText(c.Run.StatusText.empty() ? DisplayText(StatusReadyText)
                                                     : QString::fromStdString(c.Run.StatusText));
  // Between runs: what the checked rows will make, where the settings tell.
  StatusPanelFileSize->setText(QString::fromStdString(
      c.Run.FileSizeText.empty() && !c.Run.RunActive && !c.Run.Converting ? c.ExpectedTotalText() : c.Run.FileSizeText));
  // Stop has something to stop only during a run or an add.
  ButtonStopConvert->setEnabled(c.Run.RunActive || c.Run.Converting || c.Run.FAddingFiles);
  if (PauseConvert1) {
    PauseConvert1->setEnabled(c.Run.Converting);
    PauseConvert1->setText(c.RunPaused() ? tr("&Resume") : tr("&Pause"));
    StopAfterCurrent1->setEnabled(c.Run.Converting);
  }
  ProgressBar1->setValue(std::clamp(c.Run.ProgressPosition, 0, 100));
  // The current file's speed and time left, on the bar itself.
  ProgressBar1->setTextVisible(!c.Run.ProgressText.empty());
  ProgressBar1->setFormat(QString::fromStdString(c.Run.ProgressText));
  // What a run locks.
  const bool unlocked = !c.Run.ControlsLocked;
  for (QWidget* control : std::initializer_list<QWidget*>{
           ButtonAddFile, ButtonClear, ButtonRemove, ButtonConvert, ComboOutputFormat, ComboVideoSize,
           ComboVideoBitrate, ComboVideoFramerate, ComboAudioBitrate, ComboAudioChannels, ComboVideoCodec,
           ComboSamplingRate, ComboAudioCodec, TrackBar1})
    control->setEnabled(unlocked);
  for (auto& [combo, control] : FCombos) combo->setEnabled(unlocked && control->Count() > 0);
  for (QMenu* menu : {MenuFile, MenuOptions, MenuHelp}) menu->menuAction()->setEnabled(unlocked);
  FSyncing = false;
}

bool TForm1::WindowActive() const { return isActiveWindow(); }

void TForm1::showEvent(QShowEvent* event) {
  if (!event->spontaneous() && !FPlaced) {
    FPlaced = true;
    PlaceWindow();
  }
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) FController->FormShow();
}

void TForm1::PlaceWindow() {
  const TWindowLayout kept = LoadWindowLayout(*OpenSettings());
  if (!kept.Columns.isEmpty()) ListView1->horizontalHeader()->restoreState(kept.Columns);
  // Columns kept from a start with a smaller font grow to their texts.
  FitSizesToTexts();
  if (!kept.Geometry.isEmpty() && restoreGeometry(kept.Geometry)) return;
  const QScreen* screen = this->screen();
  if (!screen) return;
  // The layouts' size at this font, at least the window's 762 x 516 pixels
  // at 96 dpi, within the screen with room for the frame the desktop adds
  // once the window is shown (its title bar above, thin borders elsewhere).
  const QRect available = screen->availableGeometry();
  const QMargins frame(Px(4), Px(32), Px(4), Px(8));
  const QSize decoration(frame.left() + frame.right(), frame.top() + frame.bottom());
  const QSize wanted = sizeHint().expandedTo(QSize(Px(762), Px(516) + menuBar()->sizeHint().height()));
  const QSize size = wanted.boundedTo(available.size() - decoration).expandedTo(minimumSizeHint());
  // Centred; the position given is the client area's, under the title bar,
  // which every desktop honours (the frame's position is not known yet).
  QRect framed(QPoint(), size + decoration);
  framed.moveCenter(available.center());
  const QPoint corner(std::max(framed.left(), available.left()), std::max(framed.top(), available.top()));
  setGeometry(QRect(corner + QPoint(frame.left(), frame.top()), size));
}

void TForm1::SaveWindowLayout() {
  if (!FPlaced) return;
  fennick::SaveWindowLayout(*OpenSettings(), {saveGeometry(), ListView1->horizontalHeader()->saveState()});
}

void TForm1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (FBuilt && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)) FitSizesToTexts();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!FController->FormCloseQuery()) {
    event->ignore();
    return;
  }
  FController->FormClose(*OpenSettings());
  SaveWindowLayout();
  event->accept();
}

}  // namespace fennick
