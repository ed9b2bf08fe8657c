#include "app/media_preview_player.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QLibraryInfo>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QResizeEvent>
#include <QStyle>
#include <QUrl>

namespace fennick {

void SelectMediaBackend() {
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

bool MediaBackendAvailable() {
  const QString backend = qEnvironmentVariable("QT_MEDIA_BACKEND", QStringLiteral("ffmpeg"));
  const QDir plugins(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/multimedia"));
  return !plugins.entryList({QStringLiteral("*%1mediaplugin*").arg(backend)}, QDir::Files).isEmpty();
}

TUnavailablePreview::TUnavailablePreview(QWidget* parent) : QLabel(parent) {
  setText(QCoreApplication::translate("TUnavailablePreview", "No preview"));
  setToolTip(QCoreApplication::translate("TUnavailablePreview",
                                         "The preview needs Qt Multimedia's %1 backend, which is not installed "
                                         "(package libqt6multimedia6). Converting works without it.")
                 .arg(qEnvironmentVariable("QT_MEDIA_BACKEND", QStringLiteral("ffmpeg"))));
  setAlignment(Qt::AlignCenter);
  setWordWrap(true);
  setStyleSheet(QStringLiteral("background: black; color: white;"));
}

TMediaPreviewPlayer::TMediaPreviewPlayer(QWidget* parent)
    : QVideoWidget(parent), FAudio(std::make_unique<QAudioOutput>()), FPlayer(std::make_unique<QMediaPlayer>()) {
  FPlayer->setVideoOutput(this);
  FStill = new QLabel(this);
  FStill->setObjectName(QStringLiteral("PreviewStill"));
  FStill->setAlignment(Qt::AlignCenter);
  FStill->setStyleSheet(QStringLiteral("background: black;"));
  FStill->hide();
  connect(FPlayer.get(), &QMediaPlayer::hasVideoChanged, this, [this] { ShowStillWithoutVideo(); });
  connect(FPlayer.get(), &QMediaPlayer::metaDataChanged, this, [this] { ShowStillWithoutVideo(); });
  connect(FPlayer.get(), &QMediaPlayer::mediaStatusChanged, this, [this] { ShowStillWithoutVideo(); });
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

void TMediaPreviewPlayer::ShowStillWithoutVideo() {
  const QMediaPlayer::MediaStatus status = FPlayer->mediaStatus();
  const bool loaded = status != QMediaPlayer::NoMedia && status != QMediaPlayer::LoadingMedia &&
                      status != QMediaPlayer::InvalidMedia;
  if (!loaded || FPlayer->hasVideo()) {
    FStill->hide();
    return;
  }
  const QMediaMetaData meta = FPlayer->metaData();
  QImage cover = meta.value(QMediaMetaData::CoverArtImage).value<QImage>();
  if (cover.isNull()) cover = meta.value(QMediaMetaData::ThumbnailImage).value<QImage>();
  const QSize room = size() * 3 / 4;
  QPixmap picture;
  if (!cover.isNull()) {
    picture = QPixmap::fromImage(cover).scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  } else {
    picture = QIcon(QStringLiteral(":/icons/fennick.svg")).pixmap(room.boundedTo(QSize(64, 64)));
    if (picture.isNull()) picture = style()->standardIcon(QStyle::SP_MediaVolume).pixmap(room.boundedTo(QSize(64, 64)));
  }
  FStill->setPixmap(picture);
  FStill->setGeometry(rect());
  FStill->show();
  FStill->raise();
}

void TMediaPreviewPlayer::resizeEvent(QResizeEvent* event) {
  QVideoWidget::resizeEvent(event);
  FStill->setGeometry(rect());
}

void TMediaPreviewPlayer::Play() { FPlayer->play(); }
void TMediaPreviewPlayer::Pause() { FPlayer->pause(); }
void TMediaPreviewPlayer::Stop() { FPlayer->stop(); }
void TMediaPreviewPlayer::Seek(std::int64_t position) { FPlayer->setPosition(position); }
void TMediaPreviewPlayer::SetTimeListener(TTimeListener listener) { FTimeListener = std::move(listener); }

}  // namespace fennick
