// The choices that outlive the program: output folder, output format,
// overwrite switch, drop-down length and "Video Zoom". They live in QSettings
// (organisation "Quarvel", application "Fennick Video Converter": a file in
// the user's configuration folder) under the value names below.
#pragma once

#include <QByteArray>

#include <memory>
#include <optional>
#include <string>

#include "app/options_model.h"
#include "jobs/job_queue.h"
#include "profiles/settings_control.h"

class QSettings;

namespace fennick {

inline constexpr const char* SettingsOrganisation = "Quarvel";
inline constexpr const char* SettingsApplication = "Fennick Video Converter";

inline constexpr const char* ValueOutputFolder = "Output Folder";
inline constexpr const char* ValueOutputFormat = "ComboOutputFormat";
inline constexpr const char* ValueOverwrite = "Overwrite";
inline constexpr const char* ValueDropDownItems = "DropDownItems";
inline constexpr const char* ValueLetterBox = "LetterBox";
// After the five, read when present (older stores have none): the options
// dialog's "Subtitles" choice.
inline constexpr const char* ValueSubtitles = "Subtitles";
// Likewise the output name pattern and "Keep the folders of dropped folders".
inline constexpr const char* ValueNamePattern = "Name Pattern";
inline constexpr const char* ValueKeepFolders = "Keep Folders";
// Likewise: how many files convert at once, and what follows a run.
inline constexpr const char* ValueFilesAtOnce = "FilesAtOnce";
inline constexpr const char* ValueRunEnd = "RunEnd";
// Likewise: the item chosen in each of the format's lists (quality, speed,
// sizes, rates ...), as the queue file stores a job's settings (JSON text).
inline constexpr const char* ValueFormatItems = "Format Items";
// Beside the five: the window's size and position, the list's columns.
inline constexpr const char* ValueWindowGeometry = "Window Geometry";
inline constexpr const char* ValueListColumns = "List Columns";

// The controls the values are read into and written from.
struct TSettingsTargets {
  std::string& OutputFolder;  // the main window's output folder
  TSettingsControl& ComboOutputFormat;
  TOptionsModel& Options;
};

// The user's settings store.
std::unique_ptr<QSettings> OpenSettings();

// Reads the values in the order of the names above into the targets. A
// missing folder reads as empty text; an integer below 0 is passed over. A
// missing or unreadable integer (or a folder that is not text) ends the
// reading: what was applied stays, and SaveSettings writes the current state
// of all five back, so that the next start finds every value. Returns
// whether every value was read.
bool LoadSettings(QSettings& settings, const TSettingsTargets& targets);
// Writes the five values in order from the targets, then "Subtitles".
void SaveSettings(QSettings& settings, const TSettingsTargets& targets);

// The format's chosen items: stored, and read back (nothing when missing or
// not readable).
void SaveFormatItems(QSettings& settings, const TJobSettings& items);
std::optional<TJobSettings> LoadFormatItems(const QSettings& settings);

// The window's place and its list's columns, as QWidget::saveGeometry and
// QHeaderView::saveState give them; empty when never stored (or stored as
// something else). Kept apart from the five values, which they never touch.
struct TWindowLayout {
  QByteArray Geometry;
  QByteArray Columns;
};
TWindowLayout LoadWindowLayout(const QSettings& settings);
void SaveWindowLayout(QSettings& settings, const TWindowLayout& layout);

}  // namespace fennick
