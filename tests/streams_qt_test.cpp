// The window's stream choices: a row whose source has two audio tracks
// tells the chosen one in its tooltip and offers "Audio Track" in the
// list's context menu, whose choice its job converts; "Subtitles: None" in
// the options dialog leaves the subtitles out.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/options_dialog.h"
#include "app/settings.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;
using test::WaitFor;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

struct StreamsWindow : testing::Test {
  test::TempDir Dir;
  std::string Out;
  test::TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  std::unique_ptr<TForm1> Form;

  void SetUp() override {
    test::ClearSettings();
    Form = std::make_unique<TForm1>(Prompts, &Player, TDesktopActions{[](const QString&) { return true; }, [] {}});
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    Out = Dir.file("out");
    std::filesystem::create_directories(Out);
    C().EditOutputFolder = Out;
    const int mkv = Form->ComboOutputFormat->findText(QStringLiteral("MKV - Matroska Video (*.mkv)"));
    ASSERT_GE(mkv, 0);
    Form->ComboOutputFormat->setCurrentIndex(mkv);
    emit Form->ComboOutputFormat->activated(mkv);
  }

  TMainController& C() { return Form->Controller(); }

  void Add(const std::string& file) {
    Prompts.FileAnswers.push_back({Q(file)});
    QTest::mouseClick(Form->ButtonAddFile, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !C().BackgroundThread1.Running() && C().ListView1.Count() > 0; }));
  }
  // Every row, also those converted before ("Check All Items").
  void ConvertAll() {
    C().CheckAllItems1Click();
    QTest::mouseClick(Form->ButtonConvert, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !C().Run.RunActive && !C().Run.Converting && C().ffVCL.TaskCount() == 0; }));
  }
  QString Tip(int column) {
    const QAbstractItemModel* model = Form->ListView1->model();
    return model->data(model->index(0, column), Qt::ToolTipRole).toString();
  }
  std::string Probe(const std::string& path, const std::string& entries) {
    return test::RunCommand("ffprobe -v error -show_entries " + entries + " -of csv=p=0 " + test::ShellQuote(path))
        .output;
  }
};

}  // namespace

TEST_F(StreamsWindow, TheRowTellsItsAudioTrackAndTheMenuChoosesTheOneConverted) {
  const std::string source = Dir.file("two.mkv");
  ASSERT_TRUE(test::MakeMedia(
      source, "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
              "-f lavfi -i sine=sample_rate=48000:duration=1 -map 0:v -map 1:a -map 2:a -c:v mpeg4 -c:a:0 aac "
              "-ac:a:0 2 -c:a:1 ac3 -ac:a:1 6 -metadata:s:a:0 language=eng -metadata:s:a:1 language=ger"));
  Add(source);
  EXPECT_TRUE(Tip(ColFileName).endsWith(QStringLiteral("\nAudio Track 1: eng, aac, stereo"))) << Tip(0).toStdString();
  EXPECT_EQ(Tip(ColDuration), QStringLiteral("Audio Track 1: eng, aac, stereo"));

  // The menu over the row offers both tracks, the first checked.
  const QRect row = Form->ListView1->visualRect(Form->ListView1->model()->index(0, ColDuration));
  emit Form->ListView1->customContextMenuRequested(row.center());
  ASSERT_TRUE(Form->AudioTrack1->menuAction()->isVisible());
  const QList<QAction*> tracks = Form->AudioTrack1->actions();
  ASSERT_EQ(tracks.size(), 2);
  EXPECT_EQ(tracks[1]->text(), QStringLiteral("2: ger, ac3, 5.1"));
  EXPECT_TRUE(tracks[0]->isChecked());
  test::SaveScreenshot(*Form, QStringLiteral("streams-audio-track-menu"));
  tracks[1]->trigger();
  Form->PopupMenu1->hide();
  EXPECT_EQ(Tip(ColDuration), QStringLiteral("Audio Track 2: ger, ac3, 5.1"));

  ConvertAll();
  EXPECT_EQ(C().ListView1.Row(0).Cell(ColProgress), "Done");
  EXPECT_EQ(Probe(Out + "/two.mkv", "stream=channels:stream_tags=language -select_streams a"), "6,ger\n");
}

TEST_F(StreamsWindow, SubtitlesNoneInTheOptionsLeavesThemOut) {
  const std::string source = Dir.file("film.mkv");
  std::ofstream(Dir.file("film.srt")) << "1\n00:00:00,200 --> 00:00:00,800\nHello\n";
  ASSERT_TRUE(test::MakeMedia(source, "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -c:v mpeg4"));
  Add(source);
  // A source of one audio track (here none) has no menu of them.
  emit Form->ListView1->customContextMenuRequested(QPoint(5, 5));
  Form->PopupMenu1->hide();
  EXPECT_FALSE(Form->AudioTrack1->menuAction()->isVisible());

  TForm4& options = Form->OptionsDialog();
  ASSERT_EQ(options.ComboSubtitles->count(), 2);
  EXPECT_EQ(options.ComboSubtitles->currentText(), QStringLiteral("Keep"));
  test::SaveScreenshot(options, QStringLiteral("streams-options-subtitles"));
  options.hide();
  options.ComboSubtitles->setCurrentIndex(1);
  emit options.ComboSubtitles->activated(1);
  ConvertAll();
  EXPECT_EQ(C().ListView1.Row(0).Cell(ColProgress), "Done");
  EXPECT_EQ(Probe(Out + "/film.mkv", "stream=codec_type"), "video\n");

  // Kept, the file beside it is converted too.
  options.ComboSubtitles->setCurrentIndex(0);
  emit options.ComboSubtitles->activated(0);
  ConvertAll();
  EXPECT_EQ(Probe(Out + "/film-1.mkv", "stream=codec_type"), "video\nsubtitle\n");

  // The choice outlives the window.
  options.ComboSubtitles->setCurrentIndex(1);
  emit options.ComboSubtitles->activated(1);
  EXPECT_TRUE(Form->close());
  EXPECT_EQ(QSettings().value(QString::fromLatin1(ValueSubtitles)).toInt(), 1);
}
