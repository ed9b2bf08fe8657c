#include "app/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace fennick {

namespace {

// The fixed texts of the jobs and profiles that the window shows, marked for
// lupdate; DisplayText looks them up by their English text.
[[maybe_unused]] constexpr const char* kLayerTexts[] = {
    // The rows' states and the status bar's idle text.
    QT_TRANSLATE_NOOP("fennick", "Done"),
    QT_TRANSLATE_NOOP("fennick", "Fail"),
    QT_TRANSLATE_NOOP("fennick", "Abort"),
    QT_TRANSLATE_NOOP("fennick", "Interrupted"),
    QT_TRANSLATE_NOOP("fennick", "Error"),
    QT_TRANSLATE_NOOP("fennick", "Ready"),
    // The list's columns.
    QT_TRANSLATE_NOOP("fennick", "File Name"),
    QT_TRANSLATE_NOOP("fennick", "Video Size"),
    QT_TRANSLATE_NOOP("fennick", "Frame Rate"),
    QT_TRANSLATE_NOOP("fennick", "Duration"),
    QT_TRANSLATE_NOOP("fennick", "Output"),
    QT_TRANSLATE_NOOP("fennick", "Progress"),
    QT_TRANSLATE_NOOP("fennick", "Frames"),
    // Settings items that are words (the numbers, codecs and format names
    // stay as they are).
    QT_TRANSLATE_NOOP("fennick", "Original"),
    QT_TRANSLATE_NOOP("fennick", "Original Video Size"),
    QT_TRANSLATE_NOOP("fennick", "Auto"),
    QT_TRANSLATE_NOOP("fennick", "Stereo"),
    QT_TRANSLATE_NOOP("fennick", "Mono"),
    QT_TRANSLATE_NOOP("fennick", "Best"),
    QT_TRANSLATE_NOOP("fennick", "High"),
    QT_TRANSLATE_NOOP("fennick", "Medium"),
    QT_TRANSLATE_NOOP("fennick", "Small"),
    QT_TRANSLATE_NOOP("fennick", "Lossless"),
    QT_TRANSLATE_NOOP("fennick", "Faster"),
    QT_TRANSLATE_NOOP("fennick", "Balanced"),
    QT_TRANSLATE_NOOP("fennick", "Smaller Files"),
    // The options dialog's lists.
    QT_TRANSLATE_NOOP("fennick", "None"),
    QT_TRANSLATE_NOOP("fennick", "LetterBox"),
    QT_TRANSLATE_NOOP("fennick", "Keep"),
    QT_TRANSLATE_NOOP("fennick", "4:3 (Standard"),
    QT_TRANSLATE_NOOP("fennick", "16:9 (Wide Screen)"),
    QT_TRANSLATE_NOOP("fennick", "Do nothing"),
    QT_TRANSLATE_NOOP("fennick", "Quit"),
    QT_TRANSLATE_NOOP("fennick", "Suspend"),
    QT_TRANSLATE_NOOP("fennick", "Power off"),
    // The open dialog's file types.
    QT_TRANSLATE_NOOP("fennick", "All Supported Files"),
    QT_TRANSLATE_NOOP("fennick", "3GPP Files (*.3gp)"),
    QT_TRANSLATE_NOOP("fennick", "3GPP2 Files (*.3g2)"),
    QT_TRANSLATE_NOOP("fennick", "AAC Files (*.aac)"),
    QT_TRANSLATE_NOOP("fennick", "AC3 Files (*.ac3)"),
    QT_TRANSLATE_NOOP("fennick", "Audio CD Files (*.cda)"),
    QT_TRANSLATE_NOOP("fennick", "AVI Files (*.avi)"),
    QT_TRANSLATE_NOOP("fennick", "DV Video Files (*.dv, *.dif)"),
    QT_TRANSLATE_NOOP("fennick", "DVD VOB Files (*.vob)"),
    QT_TRANSLATE_NOOP("fennick", "GIF Animated Files (*.gif)"),
    QT_TRANSLATE_NOOP("fennick", "Macromedia Flash Files (*.flv, *.swf)"),
    QT_TRANSLATE_NOOP("fennick", "Monkey Audio Files (*.ape, *.cue)"),
    QT_TRANSLATE_NOOP("fennick", "MJpeg Video Files (*.mjpg, *.mjpeg)"),
    QT_TRANSLATE_NOOP("fennick", "MP2 Files (*.mp2)"),
    QT_TRANSLATE_NOOP("fennick", "MP3 Files (*.mp3)"),
    QT_TRANSLATE_NOOP("fennick", "MPEG Files (*.mpeg, *.mpg, *.mpa, *.m1v, *.mv2)"),
    QT_TRANSLATE_NOOP("fennick", "MPEG-4 Files (*.mp4)"),
    QT_TRANSLATE_NOOP("fennick", "MPEG-4 Audio Files (*.m4a, *.mp4)"),
    QT_TRANSLATE_NOOP("fennick", "Ogg Vorbis Files (*.ogg)"),
    QT_TRANSLATE_NOOP("fennick", "RealMedia Files (*.rm, *.rmvb, *.ram, *.ra)"),
    QT_TRANSLATE_NOOP("fennick", "QuickTime Files (*.mov, *.qt)"),
    QT_TRANSLATE_NOOP("fennick", "VCD DAT Files (*.dat)"),
    QT_TRANSLATE_NOOP("fennick", "WAV Files (*.wav, *.au, *.aiff)"),
    QT_TRANSLATE_NOOP("fennick", "Windows Media Files(*.wma, *.wmv, *.asf, *.asx)"),
    QT_TRANSLATE_NOOP("fennick", "Matroska Files (*.mkv, *.mka, *.mk3d)"),
    QT_TRANSLATE_NOOP("fennick", "WebM Files (*.webm)"),
    QT_TRANSLATE_NOOP("fennick", "MPEG-4 Video Files (*.m4v, *.f4v)"),
    QT_TRANSLATE_NOOP("fennick", "MPEG Transport Stream Files (*.ts, *.mts, *.m2ts, *.m2t)"),
    QT_TRANSLATE_NOOP("fennick", "MPEG Video Files (*.m2v, *.mpv, *.mod, *.tod, *.vro)"),
    QT_TRANSLATE_NOOP("fennick", "Ogg Files (*.ogv, *.oga, *.ogx, *.ogm, *.spx)"),
    QT_TRANSLATE_NOOP("fennick", "Opus Files (*.opus)"),
    QT_TRANSLATE_NOOP("fennick", "FLAC Files (*.flac)"),
    QT_TRANSLATE_NOOP("fennick", "Other Audio Files (*.wv, *.tta, *.mpc, *.m4b, *.aif, *.aifc, *.caf, *.amr, *.awb, "
                                 "*.dts, *.eac3, *.thd, *.w64, *.voc, *.mp1)"),
    QT_TRANSLATE_NOOP("fennick", "Other Video Files (*.mxf, *.nut, *.wtv, *.dvr-ms, *.y4m, *.ivf, *.divx, *.amv, "
                                 "*.3gpp, *.264, *.h264, *.265, *.h265, *.hevc)"),
    QT_TRANSLATE_NOOP("fennick", "All files (*)"),
};

// Loads `name` for the desktop's languages from the first folder that has
// it and installs it.
bool Install(QCoreApplication& application, const QString& name, const QStringList& folders) {
  for (const QString& folder : folders) {
    auto translator = std::make_unique<QTranslator>(&application);
    if (!translator->load(QLocale::system(), name, QStringLiteral("_"), folder)) continue;
    // The application owns it from here (its parent); it stays installed
    // for the program's life.
    QCoreApplication::installTranslator(translator.release());
    return true;
  }
  return false;
}

}  // namespace

bool InstallTranslations(QCoreApplication& application, const QString& programFolder) {
  // English is the source: nothing to load (and no Qt catalogue to mix in).
  const QStringList languages = QLocale::system().uiLanguages();
  if (languages.isEmpty() || languages.front().startsWith(QLatin1String("en")) ||
      languages.front() == QLatin1String("C"))
    return false;
  const QDir program(programFolder);
  const bool own = Install(application, QStringLiteral("fennick"),
                           {program.filePath(QStringLiteral("translations")),
                            program.filePath(QStringLiteral("../share/fennick/translations"))});
  // Qt's standard buttons (OK, Cancel, Yes, No) and dialogs, where the
  // system has Qt's catalogue for the language.
  Install(application, QStringLiteral("qtbase"), {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
  return own;
}

QString DisplayText(const std::string& text) {
  if (text.empty()) return {};
  return QCoreApplication::translate("fennick", text.c_str());
}

}  // namespace fennick
