// The window on a real X server (run under Xvfb by CTest, see
// CMakeLists.txt) at the desktop's usual font sizes and at scale 2: every
// caption, list item and cell shown whole, the window on the screen and
// resizable; the keyboard reaching every control; the drop-down count under
// Fusion; Escape in the options dialog; rows of one deep folder told apart;
// the output folder typed; size, position and columns kept between starts;
// the preview's position and time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolButton>

#include "app/about_box.h"
#include "app/media_preview_player.h"
#include "app/main_window.h"
#include "app/options_dialog.h"
#include "app/settings.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;
using test::TScriptedPrompts;

namespace {

// Two files of one deep folder whose names differ only in the middle.
const QString DeepFolder = QStringLiteral(
    "/media/anna/Urlaub 2023 an der Nordsee mit der ganzen Familie/GoPro Aufnahmen vom Strand bei Sonnenuntergang");
const QString FirstName = QStringLiteral("GOPR0042 Brandung am Meer.mp4");
const QString SecondName = QStringLiteral("GOPR0043 Brandung am Meer.mp4");

// The text as drawn: mnemonic ampersands are not, "&&" is one.
QString Shown(const QString& text) {
  QString shown;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

// One line each, for the failure messages.
std::string Lines(const QStringList& lines) { return lines.join(QLatin1Char('\n')).toStdString(); }

// Texts of the widget (and of its children) that do not fit the room the
// style gives them, one line each.
QStringList CutTexts(QWidget& top) {
  QStringList cut;
  auto check = [&cut](const QWidget& widget, const QString& text, int need, int room) {
    if (need > room)
      cut << QStringLiteral("%1 %2 \"%3\": needs %4, has %5")
                 .arg(QString::fromLatin1(widget.metaObject()->className()), widget.objectName(), text)
                 .arg(need)
                 .arg(room);
  };
  QList<QWidget*> widgets = top.findChildren<QWidget*>();
  widgets.prepend(&top);
  for (QWidget* widget : widgets) {
    if (!widget->isVisible()) continue;
    const QFontMetrics metrics = widget->fontMetrics();
    // Whatever a widget's own room, its parents may cut it off.
    const bool texted = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
                        qobject_cast<QComboBox*>(widget);
    if (texted && !QRegion(widget->rect()).subtracted(widget->visibleRegion()).isEmpty())
      cut << QStringLiteral("%1 %2: partly hidden by its parents")
                 .arg(QString::fromLatin1(widget->metaObject()->className()), widget->objectName());
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (label->text().isEmpty() || label->wordWrap()) continue;
      const QString text = Qt::mightBeRichText(label->text())
                               ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                               : Shown(label->text());
      const int margin = label->margin();
      const QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
      check(*label, text, metrics.horizontalAdvance(text), room.width());
      check(*label, text + QStringLiteral(" (height)"), metrics.height(), room.height());
    } else if (auto* tool = qobject_cast<QToolButton*>(widget)) {
      if (tool->text().isEmpty() || tool->toolButtonStyle() == Qt::ToolButtonIconOnly) continue;
      // The style elides the caption, measured with its '&', to the button
      // less its frame; under the icon it has what the icon leaves.
      const int frame = tool->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tool);
      check(*tool, tool->text(), metrics.horizontalAdvance(tool->text()), tool->width() - 2 * frame);
      if (tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon)
        check(*tool, tool->text() + QStringLiteral(" (height)"), metrics.height(),
              tool->height() - 2 * frame - tool->iconSize().height() - 4);
    } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
      QStyleOptionButton option;
      option.initFrom(box);
      option.text = box->text();
      const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
      check(*box, Shown(box->text()), metrics.horizontalAdvance(Shown(box->text())), room.width());
    } else if (auto* push = qobject_cast<QPushButton*>(widget)) {
      QStyleOptionButton option;
      option.initFrom(push);
      option.text = push->text();
      const QRect room = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
      check(*push, Shown(push->text()), metrics.horizontalAdvance(Shown(push->text())), room.width());
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      // Any item of the list may be the one shown.
      QStyleOptionComboBox option;
      option.initFrom(combo);
      option.editable = combo->isEditable();
      option.frame = combo->hasFrame();
      const QRect room =
          combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
      for (int i = 0; i < combo->count(); ++i)
        check(*combo, combo->itemText(i), metrics.horizontalAdvance(combo->itemText(i)), room.width() - 2);
    }
  }
  return cut;
}

// The text the list's delegate draws in a cell: the display text elided to
// the room the style leaves beside the check box.
QString DrawnText(const QTableView& view, const QModelIndex& index) {
  QStyleOptionViewItem option;
  option.initFrom(&view);
  option.rect = view.visualRect(index);
  option.font = view.font();
  option.fontMetrics = view.fontMetrics();
  option.text = index.data(Qt::DisplayRole).toString();
  option.features = QStyleOptionViewItem::HasDisplay;
  if (index.data(Qt::CheckStateRole).isValid()) {
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    option.checkState = static_cast<Qt::CheckState>(index.data(Qt::CheckStateRole).toInt());
  }
  option.displayAlignment = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
  option.textElideMode = view.textElideMode();
  option.index = index;
  option.widget = &view;
  QStyle* style = view.style();
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
  const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &option, &view);
  return view.fontMetrics().elidedText(option.text, view.textElideMode(), room.width() - 2 * margin);
}

// Cells and column captions of the list that are not shown whole; the file
// name column must show the file name whole (what follows it may go).
QStringList CutCells(const QTableView& view) {
  QStringList cut;
  const QAbstractItemModel& model = *view.model();
  for (int row = 0; row < model.rowCount(); ++row)
    for (int column = 0; column < model.columnCount(); ++column) {
      const QModelIndex index = model.index(row, column);
      const QString drawn = DrawnText(view, index);
      const QString text = index.data().toString();
      const QString whole = column == 0 ? QFileInfo(index.data(Qt::ToolTipRole).toString()).fileName() : text;
      if (!drawn.startsWith(whole)) cut << QStringLiteral("row %1 column %2: \"%3\"").arg(row).arg(column).arg(drawn);
    }
  const QHeaderView& header = *view.horizontalHeader();
  const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
  for (int column = 0; column < model.columnCount(); ++column) {
    const QString caption = model.headerData(column, Qt::Horizontal).toString();
    if (header.fontMetrics().horizontalAdvance(caption) + 2 * margin > header.sectionSize(column))
      cut << QStringLiteral("caption \"%1\"").arg(caption);
  }
  return cut;
}

struct Window : testing::Test {
  TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  std::unique_ptr<TForm1> Form;
  QFont FontBefore = QApplication::font();

  void SetUp() override {
    test::ClearSettings();
    // The desktop's default style, whatever this machine would choose.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  }
  void TearDown() override {
    Form.reset();
    QApplication::setFont(FontBefore);
  }

  void Start() {
    Form = std::make_unique<TForm1>(Prompts, &Player, TDesktopActions{[](const QString&) { return true; }, [] {}});
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }
  TMainController& C() { return Form->Controller(); }

  // Rows as a probe gives them, with a run's marks.
  void AddRows() {
    TFileList& list = C().ListView1;
    const std::string folder = DeepFolder.toStdString() + "/";
    list.AppendProbed(folder + FirstName.toStdString(), {"1920x1080", "29.97", "00:02:00"}, "3GP");
    list.AppendProbed(folder + SecondName.toStdString(), {" ", " ", "100:00:00"}, "3GP");
    list.AppendError("/home/anna/notes.txt");
    list.SetProgress(0, "100%", "");
    list.SetCell(0, ColFrames, "123456");
    list.SetProgress(1, "Abort", "");
    QCoreApplication::processEvents();
  }
};

struct WindowAtFont : Window, testing::WithParamInterface<int> {};

}  // namespace

TEST_P(WindowAtFont, EveryCaptionItemAndCellIsWholeAndTheWindowFitsTheScreen) {
  QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), GetParam()));
  Start();
  AddRows();

  const QRect screen = Form->screen()->availableGeometry();
  const QRect frame = Form->frameGeometry();
  EXPECT_TRUE(screen.contains(frame)) << "window " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                      << frame.height() << " on a screen of " << screen.width() << "x"
                                      << screen.height();
  EXPECT_LE(frame.width(), 1366);
  EXPECT_LE(frame.height(), 768);

  const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR");
  test::SaveScreenshot(*Form, QStringLiteral("window-desktop-%1pt%2")
                                  .arg(GetParam())
                                  .arg(scale.isEmpty() ? QString() : QStringLiteral("-scale") + scale));
  EXPECT_EQ(Lines(CutCells(*Form->ListView1)), "");
  // Every format's settings lists.
  TMainController& c = C();
  for (int format = 0; format < c.Controls.ComboOutputFormat.Count(); ++format) {
    c.Controls.ComboOutputFormat.SetItemIndex(format);
    c.ComboOutputFormatChange();
    if (c.Controls.ComboOutputFormat.ItemIndex() != format) continue;  // a divider
    QCoreApplication::processEvents();
    const std::string cut = Lines(CutTexts(*Form));
    EXPECT_EQ(cut, "") << c.Controls.ComboOutputFormat.Text();
    if (!cut.empty()) break;
  }

  for (QDialog* dialog : std::initializer_list<QDialog*>{&Form->OptionsDialog(), &Form->AboutBox()}) {
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    EXPECT_EQ(Lines(CutTexts(*dialog)), "") << dialog->windowTitle().toStdString();
    EXPECT_TRUE(screen.contains(dialog->frameGeometry())) << dialog->windowTitle().toStdString();
    dialog->hide();
  }
}

INSTANTIATE_TEST_SUITE_P(DesktopFonts, WindowAtFont, testing::Values(9, 10, 11, 12, 13, 14),
                         [](const testing::TestParamInfo<int>& info) { return "Points" + std::to_string(info.param); });

TEST_F(Window, CanBeResizedAndTheListTakesTheRoom) {
  Start();
  const QSize list = Form->ListView1->size();
  const QSize window = Form->size();
  Form->resize(window + QSize(120, 90));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->size() == window + QSize(120, 90); }, 5000))
      << Form->width() << "x" << Form->height();
  QCoreApplication::processEvents();
  EXPECT_EQ(Form->ListView1->size(), list + QSize(120, 90));
}

TEST_F(Window, TabVisitsEveryControlOnceInReadingOrder) {
  Start();
  AddRows();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  // "Stop" has nothing to stop and takes no focus while no run converts.
  ASSERT_FALSE(Form->ButtonStopConvert->isEnabled());
  const std::vector<QWidget*> expected = {
      Form->ButtonAddFile,      Form->ButtonRemove,         Form->ButtonClear,
      Form->ButtonConvert,      Form->ComboOutputFormat,    Form->EditOutputFolder,  Form->ButtonBrowseForFolder,
      Form->ListView1,          Form->ButtonPlay,           Form->ButtonPause,       Form->ButtonStop,
      Form->ComboVideoBitrate,  Form->ComboVideoCodec,      Form->ComboVideoSize,    Form->ComboVideoFramerate,
      Form->ComboAudioBitrate,  Form->ComboAudioCodec,      Form->ComboAudioChannels, Form->ComboSamplingRate,
      Form->TrackBar1};
  Form->ButtonAddFile->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> visited;
  for (size_t step = 0; step < 2 * expected.size(); ++step) {
    QWidget* focus = QApplication::focusWidget();
    if (!visited.empty() && focus == visited.front()) break;
    visited.push_back(focus);
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  auto names = [](const std::vector<QWidget*>& widgets) {
    QStringList names;
    for (QWidget* widget : widgets)
      names << (widget ? widget->objectName() + QLatin1Char(':') + widget->metaObject()->className() : "none");
    return Lines(names);
  };
  EXPECT_EQ(names(visited), names(expected));
  // The rows were not changed on the way (a changed row stops the preview).
  EXPECT_TRUE(Form->ListView1->selectionModel()->selectedRows().isEmpty());
}

TEST_F(Window, MnemonicsReachTheSettingsAndTheOptionsControls) {
  Start();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  auto reachedBy = [](QWidget& window, const QString& caption) -> QWidget* {
    for (QLabel* label : window.findChildren<QLabel*>())
      if (Shown(label->text()) == caption) {
        const int at = label->text().indexOf(u'&');
        if (at < 0 || !label->buddy()) return nullptr;
        const QChar key = label->text().at(at + 1).toUpper();
        QTest::keyClick(&window, key.toLatin1(), Qt::AltModifier);
        return QApplication::focusWidget() == label->buddy() ? label->buddy() : nullptr;
      }
    return nullptr;
  };
  const std::vector<std::pair<QString, QWidget*>> settings = {
      {"Video Quality :", Form->ComboVideoBitrate},   {"Video Codec :", Form->ComboVideoCodec},
      {"Video Size :", Form->ComboVideoSize},         {"Framerate :", Form->ComboVideoFramerate},
      {"Audio  Quality : ", Form->ComboAudioBitrate}, {"Audio Codec :", Form->ComboAudioCodec},
      {"Audio Channels :", Form->ComboAudioChannels}, {"Sampling Rate :", Form->ComboSamplingRate},
      {"Output Format :", Form->ComboOutputFormat},   {"Output Folder :", Form->EditOutputFolder}};
  for (const auto& [caption, control] : settings)
    EXPECT_EQ(reachedBy(*Form, caption), control) << caption.toStdString();

  TForm4& options = Form->OptionsDialog();
  options.show();
  // Without a window manager the X server leaves the keyboard where it is.
  QApplication::setActiveWindow(&options);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &options; }, 5000));
  EXPECT_EQ(reachedBy(options, "Video Zoom : "), options.ComboLetterBox);
  EXPECT_EQ(reachedBy(options, "Aspect Ratio : "), options.ComboAspectRatio4);
  EXPECT_EQ(reachedBy(options, "Drop Down Items in Output Format List"), options.SpinEdit1);
  EXPECT_EQ(reachedBy(options, "Output Name Pattern : "), options.EditNamePattern);
  EXPECT_EQ(reachedBy(options, "Convert up to"), options.SpinFilesAtOnce);
  EXPECT_EQ(reachedBy(options, "When the run ends:"), options.ComboRunEnd);
  QTest::keyClick(&options, Qt::Key_O, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), options.CheckBoxOverWrite);
  QTest::keyClick(&options, Qt::Key_K, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), options.CheckBoxKeepFolders);
  options.hide();
}

TEST_F(Window, TheFormatDropDownShowsTheChosenCountUnderFusion) {
  Start();
  TDropDownComboBox& combo = *Form->ComboOutputFormat;
  ASSERT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
  auto visibleRows = [&combo]() {
    combo.showPopup();
    QAbstractItemView& view = *combo.view();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.window()));
    const int rows = view.viewport()->height() / view.sizeHintForRow(0);
    combo.hidePopup();
    return rows;
  };
  EXPECT_EQ(combo.maxVisibleItems(), 27);
  EXPECT_EQ(visibleRows(), 27);
  Form->OptionsDialog().SpinEdit1->setValue(30);
  EXPECT_EQ(combo.maxVisibleItems(), 30);
  EXPECT_EQ(visibleRows(), 30);
}

TEST_F(Window, EscapeInTheOptionsDialogDiscardsItsChanges) {
  Start();
  TForm4& options = Form->OptionsDialog();
  const TOptionsModel before = C().Options;
  options.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
  options.SpinEdit1->setValue(40);
  options.CheckBoxOverWrite->click();
  options.ComboLetterBox->setCurrentIndex(1);
  emit options.ComboLetterBox->activated(1);
  options.ComboAspectRatio4->setCurrentIndex(2);
  emit options.ComboAspectRatio4->activated(2);
  ASSERT_EQ(Form->ComboOutputFormat->maxVisibleItems(), 40);

  QTest::keyClick(&options, Qt::Key_Escape);

  EXPECT_FALSE(options.isVisible());
  EXPECT_EQ(C().Options.SpinEdit1.Value(), before.SpinEdit1.Value());
  EXPECT_EQ(C().Options.CheckBoxOverWrite, before.CheckBoxOverWrite);
  EXPECT_EQ(C().Options.ComboLetterBox.ItemIndex(), before.ComboLetterBox.ItemIndex());
  EXPECT_EQ(C().Options.ComboAspectRatio4.ItemIndex(), before.ComboAspectRatio4.ItemIndex());
  EXPECT_EQ(C().Controls.ComboAspectRatio.Text(), "Original");
  EXPECT_EQ(Form->ComboOutputFormat->maxVisibleItems(), before.SpinEdit1.Value());
  // Shown again, the dialog shows what is in force.
  options.show();
  EXPECT_EQ(options.SpinEdit1->value(), before.SpinEdit1.Value());
  EXPECT_EQ(options.CheckBoxOverWrite->isChecked(), before.CheckBoxOverWrite);
  options.hide();
}

TEST_F(Window, RowsOfOneDeepFolderShowTheirFileNamesFirstAndApart) {
  Start();
  AddRows();
  const QTableView& view = *Form->ListView1;
  const QAbstractItemModel& model = *view.model();
  const QString first = DrawnText(view, model.index(0, ColFileName));
  const QString second = DrawnText(view, model.index(1, ColFileName));
  EXPECT_TRUE(first.startsWith(FirstName)) << first.toStdString();
  EXPECT_TRUE(second.startsWith(SecondName)) << second.toStdString();
  EXPECT_NE(first, second);
  // The whole path is the tip.
  EXPECT_EQ(model.index(0, ColFileName).data(Qt::ToolTipRole).toString(), DeepFolder + "/" + FirstName);
}

TEST_F(Window, TheOutputFolderCanBeTypedAndShowsItsPathAsTip) {
  Start();
  test::TempDir dir;
  const QString folder = QString::fromStdString(dir.path().string());
  Form->EditOutputFolder->setFocus();
  QTest::keyClicks(Form->EditOutputFolder, folder);
  EXPECT_EQ(C().EditOutputFolder, folder.toStdString());
  EXPECT_TRUE(Form->EditOutputFolder->toolTip().contains(folder));
}

TEST_F(Window, SizePositionAndColumnWidthsComeBackAtTheNextStart) {
  Start();
  Form->setGeometry(QRect(QPoint(40, 30), Form->size() + QSize(100, 60)));
  Form->ListView1->setColumnWidth(ColDuration, 140);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->pos() == QPoint(40, 30); }, 5000));
  const QRect geometry = Form->geometry();
  ASSERT_TRUE(Form->close());
  Form.reset();

  Start();
  EXPECT_EQ(Form->geometry(), geometry);
  EXPECT_EQ(Form->ListView1->columnWidth(ColDuration), 140);
  // The values of the settings stay what they were, under their names.
  QSettings settings;
  EXPECT_EQ(settings.value(ValueOutputFolder).toString(), QString());
  EXPECT_EQ(settings.value(ValueDropDownItems).toInt(), 27);
}

namespace {

// A player that records what it is asked and tells the time it is given.
class TTimedPlayer : public IPreviewPlayer {
 public:
  QStringList Calls;
  TTimeListener Listener;
  void SetFileName(const QString& fileName) override { Calls << "file:" + QFileInfo(fileName).fileName(); }
  void Play() override { Calls << "play"; }
  void Pause() override { Calls << "pause"; }
  void Stop() override { Calls << "stop"; }
  void Seek(std::int64_t position) override { Calls << QStringLiteral("seek:%1").arg(position); }
  void SetTimeListener(TTimeListener listener) override { Listener = std::move(listener); }
};

}  // namespace

TEST_F(Window, ThePreviewShowsItsTimeMovesWithItsBarAndStopsWhenItsRowGoes) {
  TTimedPlayer player;
  Form = std::make_unique<TForm1>(Prompts, &player, TDesktopActions{[](const QString&) { return true; }, [] {}});
  ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  AddRows();
  auto* position = Form->findChild<QSlider*>(QStringLiteral("PreviewPosition"));
  auto* time = Form->findChild<QLabel*>(QStringLiteral("LabelPreviewTime"));
  ASSERT_TRUE(position && time);
  EXPECT_FALSE(position->isEnabled());

  Form->ListView1->selectRow(0);
  QTest::mouseClick(Form->ButtonPlay, Qt::LeftButton);
  ASSERT_EQ(Lines(player.Calls.mid(player.Calls.size() - 2)), Lines({"file:" + FirstName, "play"}));
  ASSERT_TRUE(player.Listener);
  player.Listener(12'400, 120'000);
  EXPECT_EQ(time->text(), QStringLiteral("00:00:12 / 00:02:00"));
  EXPECT_TRUE(position->isEnabled());
  EXPECT_EQ(position->value(), 12'400);
  EXPECT_EQ(player.Calls.last(), QStringLiteral("play"));  // told, not asked

  position->setFocus();
  QTest::keyClick(position, Qt::Key_PageUp);
  EXPECT_EQ(player.Calls.last(), QStringLiteral("seek:22400"));

  // Another row going changes nothing; its own row going stops it.
  player.Calls.clear();
  C().ListView1.Remove({C().ListView1.IdAt(2)});
  EXPECT_TRUE(player.Calls.isEmpty()) << Lines(player.Calls);
  QTest::mouseClick(Form->ButtonRemove, Qt::LeftButton);
  EXPECT_EQ(Lines(player.Calls), "stop");
  Form.reset();
}

// The window's own player tells the clip's length and where it plays, and
// goes where it is sent.
TEST(MediaPreviewPlayer, TellsPositionAndDurationAndSeeks) {
  test::TempDir dir;
  const std::string clip = dir.file("clip.mp4");
  ASSERT_TRUE(test::MakeClip(clip, {.seconds = 2.0, .width = 160, .height = 120}));
  TMediaPreviewPlayer player;
  player.resize(166, 122);
  player.show();
  std::int64_t position = -1, duration = -1;
  player.SetTimeListener([&](std::int64_t at, std::int64_t length) {
    position = at;
    duration = length;
  });
  player.SetFileName(QString::fromStdString(clip));
  player.Play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return duration > 0 && position > 0; }, 10000));
  EXPECT_NEAR(duration, 2000, 100);
  player.Pause();
  player.Seek(1500);
  EXPECT_TRUE(QTest::qWaitFor([&] { return position >= 1400; }, 5000)) << position;
  player.Stop();
}
