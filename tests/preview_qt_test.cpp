// The preview: its state machine over a fake player, and the real player
// playing a generated clip under the offscreen platform.
#include <gtest/gtest.h>

#include <QMediaPlayer>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>

#include <sys/stat.h>

#include "app/media_preview_player.h"
#include "app/preview.h"
#include "test_support.h"

using namespace fennick;

namespace {

// Records the calls as one text each: "file:<name>", "play", "pause", "stop".
class TFakePlayer : public IPreviewPlayer {
 public:
  QStringList Calls;
  void SetFileName(const QString& fileName) override { Calls << "file:" + fileName; }
  void Play() override { Calls << "play"; }
  void Pause() override { Calls << "pause"; }
  void Stop() override { Calls << "stop"; }
};

struct PreviewStates : testing::Test {
  TFakePlayer Player;
  bool Converting = false;
  TPreviewController Preview{Player, [this] { return Converting; }};
};

// The real player in a small pane over a generated one-second clip,
// counting the valid pictures it is given.
struct TShownPlayer {
  test::TempDir Dir;
  std::string Clip = Dir.file("clip.mp4");
  bool Made = test::MakeClip(Clip, {.seconds = 1.0, .width = 160, .height = 120});
  TMediaPreviewPlayer Player;
  int Frames = 0;
  TShownPlayer() {
    Player.resize(166, 122);
    Player.show();
    QObject::connect(Player.videoSink(), &QVideoSink::videoFrameChanged, [this](const QVideoFrame& frame) {
      if (frame.isValid()) ++Frames;
    });
  }
};

}  // namespace

TEST_F(PreviewStates, PlayPausePlayOnTheSameRowContinuesWithoutSettingTheFileAgain) {
  Preview.RowSelected(0, "a.mp4");
  Preview.PlayClicked(0);
  Preview.PauseClicked();
  EXPECT_TRUE(Preview.PreviewPaused());
  Player.Calls.clear();
  Preview.PlayClicked(0);
  EXPECT_EQ(Player.Calls, QStringList{"play"});
  EXPECT_FALSE(Preview.PreviewPaused());
}

TEST_F(PreviewStates, PausingThenSelectingAnotherRowStopsAndTheNextPlayLoadsIt) {
  Preview.RowSelected(0, "a.mp4");
  Preview.PlayClicked(0);
  Preview.PauseClicked();
  Player.Calls.clear();
  Preview.RowSelected(1, "b.mp4");
  EXPECT_EQ(Player.Calls, QStringList{"stop"});
  EXPECT_FALSE(Preview.PreviewPaused());
  Preview.PlayClicked(1);
  EXPECT_EQ(Player.Calls, (QStringList{"stop", "file:b.mp4", "play"}));
}

// Pause pressed after another row was selected must not keep the old file:
// play loads the selected row's file.
TEST_F(PreviewStates, PauseAfterSelectingAnotherRowThenPlayLoadsTheSelectedFile) {
  Preview.RowSelected(0, "a.mp4");
  Preview.PlayClicked(0);
  Preview.RowSelected(1, "b.mp4");
  Preview.PauseClicked();
  Player.Calls.clear();
  Preview.PlayClicked(1);
  EXPECT_EQ(Player.Calls, (QStringList{"file:b.mp4", "play"}));
}

TEST_F(PreviewStates, PlayWithNoRowSelectedDoesNothing) {
  Preview.PlayClicked(std::nullopt);
  EXPECT_TRUE(Player.Calls.isEmpty());
  EXPECT_FALSE(Preview.PreviewRow());
}

TEST_F(PreviewStates, DuringAConversionTheButtonsDoNothing) {
  Preview.RowSelected(0, "a.mp4");
  Preview.PlayClicked(0);
  Player.Calls.clear();
  Converting = true;
  Preview.PauseClicked();
  Preview.StopClicked();
  Preview.PlayClicked(0);
  EXPECT_TRUE(Player.Calls.isEmpty());
  EXPECT_FALSE(Preview.PreviewPaused());
  // A run that starts stops the preview all the same.
  Preview.StopForListChange();
  EXPECT_EQ(Player.Calls, QStringList{"stop"});
}

// The real player: the generated clip's frames reach the video widget, a
// pause holds the position, and play continues the same source.
TEST(MediaPreviewPlayer, PlaysPausesAndResumesWithoutReloading) {
  TShownPlayer rig;
  ASSERT_TRUE(rig.Made);
  TMediaPreviewPlayer& player = rig.Player;
  const std::string& clip = rig.Clip;
  const int& frames = rig.Frames;
  QMediaPlayer& media = player.MediaPlayer();
  QSignalSpy sourceChanges(&media, &QMediaPlayer::sourceChanged);

  player.SetFileName(QString::fromStdString(clip));
  player.Play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frames >= 3 && media.position() > 0; }, 10000))
      << "error: " << media.errorString().toStdString();

  player.Pause();
  ASSERT_TRUE(QTest::qWaitFor([&] { return media.playbackState() == QMediaPlayer::PausedState; }, 5000));
  const qint64 pausedAt = media.position();
  const int framesAtPause = frames;

  player.Play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frames > framesAtPause + 2; }, 10000));
  EXPECT_GE(media.position(), pausedAt);
  EXPECT_EQ(sourceChanges.count(), 1);
  EXPECT_NE(media.mediaStatus(), QMediaPlayer::LoadingMedia);
}

// A file without a picture shows a still (its cover, else the program's
// sign) in place of a black box; a video hides it again.
TEST(MediaPreviewPlayer, AFileWithoutPictureShowsAStill) {
  test::TempDir dir;
  const std::string song = dir.file("song.wav"), clip = dir.file("clip.mp4");
  ASSERT_TRUE(test::MakeClip(song, {.seconds = 1.0, .video = false, .audioCodec = "pcm_s16le"}));
  ASSERT_TRUE(test::MakeClip(clip, {.seconds = 1.0, .width = 160, .height = 120}));
  TMediaPreviewPlayer player;
  player.resize(166, 122);
  player.show();

  player.SetFileName(QString::fromStdString(song));
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.Still().isVisible(); }, 10000));
  EXPECT_FALSE(player.Still().pixmap().isNull());

  player.SetFileName(QString::fromStdString(clip));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !player.Still().isVisible(); }, 10000));
}

// Selecting a row shows its first picture at once (the player loaded and
// held); Play then goes on without loading again. A pipe is never loaded.
TEST(PreviewSelection, ASelectedRowShowsItsFirstPictureAndPlayGoesOnFromThere) {
  TShownPlayer rig;
  ASSERT_TRUE(rig.Made);
  QMediaPlayer& media = rig.Player.MediaPlayer();
  const int& frames = rig.Frames;
  TPreviewController preview(rig.Player, [] { return false; });
  preview.RowSelected(7, QString::fromStdString(rig.Clip));
  ASSERT_TRUE(QTest::qWaitFor([&] { return frames >= 1; }, 10000)) << media.errorString().toStdString();
  EXPECT_NE(media.playbackState(), QMediaPlayer::PlayingState);
  QSignalSpy sourceChanges(&media, &QMediaPlayer::sourceChanged);
  preview.PlayClicked(7);
  ASSERT_TRUE(QTest::qWaitFor([&] { return media.position() > 0; }, 10000));
  EXPECT_EQ(sourceChanges.count(), 0);

  const std::string fifo = rig.Dir.file("live.mp4");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  preview.RowSelected(8, QString::fromStdString(fifo));
  EXPECT_EQ(media.playbackState(), QMediaPlayer::StoppedState);
  EXPECT_EQ(sourceChanges.count(), 0);
}
