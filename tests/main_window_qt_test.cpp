// The main window on the offscreen platform: adding files (dialog, drops,
// command line), the busy flags, the output-format list, the volume bar,
// events carried to the user-interface thread, and screenshots.
#include <gtest/gtest.h>

#include <filesystem>

#include <QComboBox>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSlider>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <chrono>
#include <fstream>
#include <thread>

#include "app/command_line.h"
#include "app/main_window.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;
using test::TScriptedPrompts;
using test::WaitFor;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

struct MainWindow : testing::Test {
  test::TempDir Dir;
  TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  std::unique_ptr<TForm1> Form;
  // What the desktop was asked to open, and whether it can.
  QStringList Opened;
  bool UrlsOpen = true;

  void SetUp() override {
    test::ClearSettings();
    Form = std::make_unique<TForm1>(Prompts, &Player, TDesktopActions{[this](const QString& url) {
                                                                        Opened << url;
                                                                        return UrlsOpen;
                                                                      },
                                                                      [] {}});
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }

  TMainController& C() { return Form->Controller(); }
  const TFileList& List() { return C().ListView1; }
  std::string Cell(int row, TListColumn column) { return List().Row(row).Cell(column); }

  // "Add File" answered with these files; returns when the request is over.
  void AddByDialog(const QStringList& files) {
    Prompts.FileAnswers.push_back(files);
    QTest::mouseClick(Form->ButtonAddFile, Qt::LeftButton);
    WaitUntilIdle();
  }

  void Drop(const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QWidget* target = Form->ListView1->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
  }
  void WaitUntilIdle() { ASSERT_TRUE(WaitFor([&] { return !C().BackgroundThread1.Running(); })); }

  std::string MakeVideo(const std::string& name) {
    const std::string path = Dir.file(name);
    test::ClipSpec spec;
    spec.seconds = 1;
    EXPECT_TRUE(test::MakeClip(path, spec));
    return path;
  }
  std::string MakeAudioOnly(const std::string& name) {
    const std::string path = Dir.file(name);
    test::ClipSpec spec;
    spec.seconds = 2;
    spec.video = false;
    spec.audioCodec = "pcm_s16le";
    EXPECT_TRUE(test::MakeClip(path, spec));
    return path;
  }
  std::string MakeText(const std::string& name) { return test::NotMediaFile(Dir, name); }
};

}  // namespace

TEST_F(MainWindow, ThreeChosenFilesWithANonMediaOneInTheMiddleGiveThreeCheckedRowsTheSecondAnError) {
  const std::string video = MakeVideo("clip.mp4"), text = MakeText("notes.mp4"), audio = MakeAudioOnly("tone.wav");
  AddByDialog({Q(video), Q(text), Q(audio)});

  ASSERT_EQ(List().Count(), 3);
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(List().Row(row).Checked) << row;
  EXPECT_EQ(List().Row(0).Caption, video);
  EXPECT_EQ(Cell(0, ColVideoSize), "320x240");
  EXPECT_EQ(Cell(0, ColFrameRate), "25");
  EXPECT_EQ(Cell(0, ColDuration), "00:00:01");
  EXPECT_EQ(Cell(0, ColOutput), "3GP");

  EXPECT_EQ(List().Row(1).Caption, text);
  EXPECT_EQ(Cell(1, ColProgress), "Error");
  for (TListColumn column : {ColVideoSize, ColFrameRate, ColDuration, ColOutput, ColFrames})
    EXPECT_EQ(Cell(1, column), "") << column;

  // Audio only: blank video cells, its duration all the same.
  EXPECT_EQ(Cell(2, ColVideoSize), " ");
  EXPECT_EQ(Cell(2, ColFrameRate), " ");
  EXPECT_EQ(Cell(2, ColDuration), "00:00:02");
  EXPECT_EQ(Cell(2, ColProgress), "");

  // The list view shows the rows with their check boxes.
  const QAbstractItemModel* model = Form->ListView1->model();
  EXPECT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->index(1, ColProgress).data().toString(), QStringLiteral("Error"));
  EXPECT_EQ(model->index(2, ColFileName).data(Qt::CheckStateRole).toInt(), Qt::Checked);

  test::SaveScreenshot(*Form, QStringLiteral("main-window-three-rows"));
}

TEST_F(MainWindow, ConvertClearAndRemoveDoNothingWhileFilesAreBeingAdded) {
  AddByDialog({Q(MakeVideo("first.mp4"))});
  Form->ListView1->selectRow(0);
  const std::string second = MakeVideo("second.mp4");
  bool adding = false;
  // While the open dialog is up the add request is in progress.
  Prompts.OnAsked = [&](const TScriptedPrompts::TAsked& asked) {
    if (asked.Kind != TScriptedPrompts::TKind::OpenFiles) return;
    adding = C().Run.FAddingFiles;
    QTest::mouseClick(Form->ButtonConvert, Qt::LeftButton);
    QTest::mouseClick(Form->ButtonClear, Qt::LeftButton);
    QTest::mouseClick(Form->ButtonRemove, Qt::LeftButton);
  };
  Prompts.Asked.clear();
  AddByDialog({Q(second)});
  Prompts.OnAsked = nullptr;

  EXPECT_TRUE(adding);
  EXPECT_EQ(Prompts.Count(TScriptedPrompts::TKind::Information), 0);
  ASSERT_EQ(List().Count(), 2);
  EXPECT_EQ(List().Row(1).Caption, second);
  EXPECT_FALSE(C().Run.FAddingFiles);
  // Once the add has ended, Convert checks the output folder.
  QTest::mouseClick(Form->ButtonConvert, Qt::LeftButton);
  EXPECT_EQ(Prompts.Texts(TScriptedPrompts::TKind::Information),
            QStringList{QStringLiteral("Please select an output folder!")});
}

TEST_F(MainWindow, DroppedFileDroppedFolderAndCommandLineFileAreAddedLikeChosenOnes) {
  const std::string chosen = MakeVideo("chosen.mp4");
  AddByDialog({Q(chosen)});

  Drop({Q(chosen)});
  WaitUntilIdle();

  // A folder: its media files and its subfolders', by the dialog's filter in
  // any letter case, in name order.
  const std::string folder = Dir.file("holiday");
  std::filesystem::create_directories(folder + "/Clips");
  std::filesystem::copy_file(chosen, folder + "/1.mp4");
  std::filesystem::copy_file(chosen, folder + "/Clips/x.MP4");
  std::filesystem::copy_file(chosen, folder + "/z.avi");
  std::ofstream(folder + "/readme.txt") << "text\n";
  Drop({Q(folder)});
  WaitUntilIdle();

  // The command line's names are taken relative to the current folder.
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(Dir.path());
  const TWindowArguments arguments = ParseWindowArguments({QStringLiteral("fennick"), QStringLiteral("chosen.mp4")});
  std::filesystem::current_path(here);
  C().AddFileSources(arguments.Files);
  WaitUntilIdle();

  const std::vector<std::string> expected = {chosen, chosen, folder + "/1.mp4", folder + "/Clips/x.MP4",
                                             folder + "/z.avi", chosen};
  ASSERT_EQ(List().Count(), static_cast<int>(expected.size()));
  for (int row = 0; row < List().Count(); ++row) {
    EXPECT_EQ(List().Row(row).Caption, expected[row]) << row;
    EXPECT_TRUE(List().Row(row).Checked) << row;
    for (TListColumn column : {ColVideoSize, ColFrameRate, ColDuration, ColOutput, ColProgress, ColFrames})
      EXPECT_EQ(Cell(row, column), Cell(0, column)) << row << " " << column;
  }
}

TEST_F(MainWindow, AFileDroppedWhileFilesAreBeingAddedComesAfterThemAndKeepsTheirMarks) {
  const std::string text = MakeText("notes.mp4"), video = MakeVideo("clip.mp4"), dropped = MakeVideo("late.mp4");
  // The drop arrives while the event queue runs between the first file and
  // the second.
  Prompts.OnAsked = [&](const TScriptedPrompts::TAsked&) {
    QTimer::singleShot(0, Form.get(), [&] { Drop({Q(dropped)}); });
  };
  AddByDialog({Q(text), Q(video)});
  Prompts.OnAsked = nullptr;

  ASSERT_EQ(List().Count(), 3);
  EXPECT_EQ(List().Row(0).Caption, text);
  EXPECT_EQ(Cell(0, ColProgress), "Error");
  EXPECT_EQ(List().Row(1).Caption, video);
  EXPECT_EQ(List().Row(2).Caption, dropped);
  EXPECT_EQ(Cell(2, ColVideoSize), "320x240");
}

TEST_F(MainWindow, DeleteRemovesTheSelectedRowsAndSpaceChecksTheCurrentOne) {
  const std::string a = MakeVideo("a.mp4"), b = MakeText("b.txt"), c = MakeAudioOnly("c.wav");
  AddByDialog({Q(a), Q(b), Q(c)});
  TFileListView& view = *Form->ListView1;
  view.setFocus();
  view.setCurrentIndex(view.model()->index(1, ColDuration));
  QTest::keyClick(&view, Qt::Key_Space);
  EXPECT_FALSE(List().Row(1).Checked);

  view.selectionModel()->select(view.model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view.selectionModel()->select(view.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QTest::keyClick(&view, Qt::Key_Delete);
  ASSERT_EQ(List().Count(), 1);
  EXPECT_EQ(List().Row(0).Caption, b);
}

TEST_F(MainWindow, ChoosingASeparatorSnapsBackToTheFormatChosenBefore) {
  QComboBox& combo = *Form->ComboOutputFormat;
  const int wmv = combo.findText(QStringLiteral("WMV - Windows Media Video (*.wmv)"));
  ASSERT_EQ(wmv, 17);
  combo.setFocus();
  combo.setCurrentIndex(wmv - 1);
  QTest::keyClick(&combo, Qt::Key_Down);  // chooses WMV
  ASSERT_EQ(C().Controls.FOutputFormatName, "WMV");
  AddByDialog({Q(MakeVideo("clip.mp4"))});
  const std::string codec = C().Controls.ComboVideoCodec.Text();

  QTest::keyClick(&combo, Qt::Key_Down);  // the divider after it

  EXPECT_EQ(combo.currentIndex(), wmv);
  EXPECT_EQ(C().Controls.ComboOutputFormat.ItemIndex(), wmv);
  EXPECT_EQ(C().Controls.LastFormatIndex, wmv);
  EXPECT_EQ(C().Controls.ComboVideoCodec.Text(), codec);
  EXPECT_EQ(Cell(0, ColOutput), "WMV");
}

TEST_F(MainWindow, ChoosingAFormatRewritesTheOutputColumnAndShowsItsSettings) {
  AddByDialog({Q(MakeVideo("clip.mp4")), Q(MakeText("notes.txt")), Q(MakeAudioOnly("tone.wav"))});
  QComboBox& combo = *Form->ComboOutputFormat;
  combo.setFocus();
  combo.setCurrentIndex(combo.findText(QStringLiteral("iPod Touch (*.mp4)")) - 1);
  QTest::keyClick(&combo, Qt::Key_Down);

  for (int row = 0; row < List().Count(); ++row) EXPECT_EQ(Cell(row, ColOutput), "MP4") << row;
  // The settings lists show the profile's items and defaults.
  EXPECT_EQ(Form->ComboVideoCodec->currentText(), Q(C().Controls.ComboVideoCodec.Text()));
  EXPECT_EQ(Form->ComboVideoSize->count(), C().Controls.ComboVideoSize.Count());
  EXPECT_EQ(Form->ComboAudioCodec->currentText(), Q(C().Controls.ComboAudioCodec.Text()));
  test::SaveScreenshot(*Form, QStringLiteral("main-window-profile-settings"));
}

TEST_F(MainWindow, VolumeBarShowsTwoHundredAtTheTopHundredInTheMiddleZeroAtTheBottom) {
  QSlider& bar = *Form->TrackBar1;
  EXPECT_EQ(bar.value(), 5);
  EXPECT_EQ(Form->LabelVolume->text(), QStringLiteral("100%"));
  EXPECT_EQ(C().Run.ConversionVolume, 256);
  bar.setFocus();
  QTest::keyClick(&bar, Qt::Key_Home);
  EXPECT_EQ(bar.value(), 0);
  EXPECT_EQ(Form->LabelVolume->text(), QStringLiteral("200%"));
  EXPECT_EQ(C().Run.ConversionVolume, 600);
  QTest::keyClick(&bar, Qt::Key_End);
  EXPECT_EQ(Form->LabelVolume->text(), QStringLiteral("0%"));
  EXPECT_EQ(C().Run.ConversionVolume, 1);
}

TEST_F(MainWindow, EmptyWindowScreenshot) {
  EXPECT_EQ(Form->windowTitle(), QStringLiteral("Fennick Video Converter"));
  EXPECT_EQ(Form->ComboOutputFormat->currentText(), QStringLiteral("3GP - Mobile Video Format (*.3gp)"));
  EXPECT_FALSE(Form->ComboVideoCodec->currentText().isEmpty());
  // The pictures are drawn (the SVG plugins are there).
  EXPECT_FALSE(Form->ButtonAddFile->icon().pixmap(32, 32).isNull());
  test::SaveScreenshot(*Form, QStringLiteral("main-window-empty"));
}

TEST(UiQueue, WorkPostedFromAnotherThreadRunsOnThisThreadInOrder) {
  TUiQueue queue;
  std::vector<int> order;
  bool otherThread = false;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i)
      queue.Post([&order, &otherThread, i] {
        otherThread = otherThread || QThread::currentThread() != QCoreApplication::instance()->thread();
        order.push_back(i);
      });
  });
  poster.join();
  ASSERT_TRUE(WaitFor([&] { return order.size() == 100; }));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(otherThread);
}

// The desktop's launcher is judged by its exit status: xdg-open exits 3
// when no program takes the address, having started it is no success.
TEST(DesktopLauncher, AnAddressCountsAsOpenedOnlyWhenTheLauncherSaysSo) {
  test::TempDir bin;
  const QByteArray path = qgetenv("PATH");
  const auto launcher = [&](const char* script) {
    std::ofstream(bin.file("xdg-open")) << "#!/bin/sh\n" << script << "\n";
    std::filesystem::permissions(bin.file("xdg-open"), std::filesystem::perms::owner_all);
    qputenv("PATH", QByteArray::fromStdString(bin.path().string()) + ":" + path);
    const bool opened = OpenWithDesktopLauncher(QStringLiteral("file:///tmp"));
    qputenv("PATH", path);
    return opened;
  };
  EXPECT_FALSE(launcher("exit 3"));
  EXPECT_TRUE(launcher("exit 0"));
  qputenv("PATH", QByteArray::fromStdString(bin.path().string() + "/none"));
  EXPECT_FALSE(OpenWithDesktopLauncher(QStringLiteral("file:///tmp")));
  qputenv("PATH", path);
}

TEST_F(MainWindow, AnAddressTheDesktopCannotOpenIsShownToOpenByHand) {
  UrlsOpen = false;
  Form->OpenHelpFile1->trigger();
  Form->VisitOurWebsite1->trigger();
  ASSERT_EQ(Opened.size(), 2);
  const QStringList said = Prompts.Texts(TScriptedPrompts::TKind::Information);
  ASSERT_EQ(said.size(), 2);
  EXPECT_TRUE(said[0].contains(QUrl(Opened[0]).toLocalFile())) << said[0].toStdString();
  EXPECT_TRUE(said[1].contains(Opened[1])) << said[1].toStdString();

  UrlsOpen = true;
  Form->OpenHelpFile1->trigger();
  EXPECT_EQ(Prompts.Count(TScriptedPrompts::TKind::Information), 2);
}

TEST_F(MainWindow, SettingsAFormatDoesNotUseAreGreyedWithTheirItemsShown) {
  QComboBox& combo = *Form->ComboOutputFormat;
  const auto choose = [&](const char* name) {
    combo.setCurrentIndex(combo.findText(QString::fromLatin1(name)));
    QTest::keyClick(&combo, Qt::Key_Up);
    QTest::keyClick(&combo, Qt::Key_Down);
    ASSERT_EQ(combo.currentText(), QString::fromLatin1(name));
  };
  choose("AVI - Audio Video Interleave (*.avi)");
  const QString codec = Form->ComboVideoCodec->currentText();
  ASSERT_FALSE(codec.isEmpty());
  choose("MP3 - Mpeg Layer3 Audio (*.mp3)");
  EXPECT_FALSE(Form->ComboVideoCodec->isEnabled());
  EXPECT_EQ(Form->ComboVideoCodec->currentText(), codec);
  EXPECT_TRUE(Form->ComboAudioCodec->isEnabled());
  choose("AVI - Audio Video Interleave (*.avi)");
  EXPECT_TRUE(Form->ComboVideoCodec->isEnabled());
}
