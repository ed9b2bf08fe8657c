#include "app/media_preview_player.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

namespace fennick {

void SelectMediaBackend() {
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

TMediaPreviewPlayer::TMediaPreviewPlayer(QWidget* parent)
    : QVideoWidget(parent), FAudio(std::make_unique<QAudioOutput>()), FPlayer(std::make_unique<QMediaPlayer>()) {
  FPlayer->setVideoOutput(this);
  auto tell = [this] {
    if (FTimeListener) FTimeListener(FPlayer->position(), FPlayer->duration());
  };
  connect(FPlayer.get(), &QMediaPlayer::positionChanged, this, tell);
  connect(FPlayer.get(), &QMediaPlayer::durationChanged, this, tell);
}

TMediaPreviewPlayer::~TMediaPreviewPlayer() {
  // The player lets go of its outputs before they go.
  FPlayer->stop();
  FPlayer->setVideoOutput(nullptr);
  FPlayer->setAudioOutput(nullptr);
}

void TMediaPreviewPlayer::SetFileName(const QString& fileName) {
  // Qt's FFmpeg backend writes a file's sound into a device that is not
  // there when the machine has no audio output, and crashes: without one,
  // the preview plays the picture alone. Looked at for each file, so that a
  // device plugged in meanwhile is used.
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) {
    FPlayer->setAudioOutput(nullptr);
  } else {
    FAudio->setDevice(device);
    FPlayer->setAudioOutput(FAudio.get());
  }
  FPlayer->setSource(QUrl::fromLocalFile(fileName));
}

void TMediaPreviewPlayer::Play() { FPlayer->play(); }
void TMediaPreviewPlayer::Pause() { FPlayer->pause(); }
void TMediaPreviewPlayer::Stop() { FPlayer->stop(); }
void TMediaPreviewPlayer::Seek(std::int64_t position) { FPlayer->setPosition(position); }
void TMediaPreviewPlayer::SetTimeListener(TTimeListener listener) { FTimeListener = std::move(listener); }

}  // namespace fennick
