// The preview's player: Qt Multimedia playing into the video widget it is
// (the window puts it into the preview pane), with sound on the desktop's
// default output.
#pragma once

#include <QLabel>
#include <QVideoWidget>
#include <memory>

#include "app/preview.h"

class QAudioOutput;
class QMediaPlayer;

namespace fennick {

// Chooses Qt Multimedia's FFmpeg backend unless the user has chosen one in
// QT_MEDIA_BACKEND (the GStreamer one needs plugins a desktop may lack).
// Call before the QApplication is created.
void SelectMediaBackend();
// Whether Qt Multimedia's chosen backend is installed (its plugin file is
// there): without it making a player ends the program at once.
bool MediaBackendAvailable();

// The preview pane where no backend can play: it says so and does nothing.
class TUnavailablePreview : public QLabel, public IPreviewPlayer {
 public:
  explicit TUnavailablePreview(QWidget* parent = nullptr);
  void SetFileName(const QString&) override {}
  void Play() override {}
  void Pause() override {}
  void Stop() override {}
};

class TMediaPreviewPlayer : public QVideoWidget, public IPreviewPlayer {
 public:
  explicit TMediaPreviewPlayer(QWidget* parent = nullptr);
  ~TMediaPreviewPlayer() override;

  void SetFileName(const QString& fileName) override;
  void Play() override;
  void Pause() override;
  void Stop() override;
  void Seek(std::int64_t position) override;
  void SetTimeListener(TTimeListener listener) override;

  // The player underneath, for the tests to watch.
  QMediaPlayer& MediaPlayer() { return *FPlayer; }
  // What shows in place of a picture when the file has none: its cover
  // art, else the program's sign; hidden while there is a picture.
  QLabel& Still() { return *FStill; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Shows the still when the loaded file has no picture.
  void ShowStillWithoutVideo();
  QLabel* FStill;  // a child of this widget
  std::unique_ptr<QAudioOutput> FAudio;
  std::unique_ptr<QMediaPlayer> FPlayer;
  TTimeListener FTimeListener;
};

}  // namespace fennick
