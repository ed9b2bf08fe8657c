#include "app/settings.h"

#include <QFile>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <optional>

#include "util/json.h"

namespace fennick {

namespace {

// An integer value, or nothing when it is missing or not an integer.
std::optional<int> ReadInteger(const QSettings& settings, const char* name) {
  const QVariant value = settings.value(QString::fromLatin1(name));
  if (!value.isValid()) return std::nullopt;
  bool ok = false;
  const int number = value.toInt(&ok);
  if (!ok) return std::nullopt;
  return number;
}

}  // namespace

std::unique_ptr<QSettings> OpenSettings() {
  return std::make_unique<QSettings>(QString::fromLatin1(SettingsOrganisation),
                                     QString::fromLatin1(SettingsApplication));
}

bool LoadSettings(QSettings& settings, const TSettingsTargets& targets) {
  const bool complete = [&] {
    const QVariant folder = settings.value(QString::fromLatin1(ValueOutputFolder));
    if (folder.isValid()) {
      if (folder.typeId() != QMetaType::QString) return false;
      targets.OutputFolder = QFile::encodeName(folder.toString()).toStdString();
    } else {
      targets.OutputFolder.clear();
    }
    const std::optional<int> format = ReadInteger(settings, ValueOutputFormat);
    if (!format) return false;
    // A position the list does not have (a value of another version, or
    // edited by hand) reads as the default, the first entry.
    if (*format >= 0)
      targets.ComboOutputFormat.SetItemIndex(*format < targets.ComboOutputFormat.Count() ? *format : 0);
    const std::optional<int> overwrite = ReadInteger(settings, ValueOverwrite);
    if (!overwrite) return false;
    targets.Options.CheckBoxOverWrite = *overwrite != 0;
    const std::optional<int> dropDownItems = ReadInteger(settings, ValueDropDownItems);
    if (!dropDownItems) return false;
    if (*dropDownItems >= 0) targets.Options.SpinEdit1.SetValue(*dropDownItems);
    const std::optional<int> letterBox = ReadInteger(settings, ValueLetterBox);
    if (!letterBox) return false;
    if (*letterBox >= 0) targets.Options.ComboLetterBox.SetItemIndex(*letterBox);
    // Not one of the five: a store without it keeps the default.
    const std::optional<int> subtitles = ReadInteger(settings, ValueSubtitles);
    if (subtitles && *subtitles >= 0 && *subtitles < targets.Options.ComboSubtitles.Count())
      targets.Options.ComboSubtitles.SetItemIndex(*subtitles);
    if (const QVariant pattern = settings.value(QString::fromLatin1(ValueNamePattern));
        pattern.typeId() == QMetaType::QString && !pattern.toString().isEmpty())
      targets.Options.EditNamePattern = pattern.toString().toStdString();
    if (const std::optional<int> keep = ReadInteger(settings, ValueKeepFolders))
      targets.Options.CheckBoxKeepFolders = *keep != 0;
    if (const std::optional<int> atOnce = ReadInteger(settings, ValueFilesAtOnce); atOnce && *atOnce > 0)
      targets.Options.SpinFilesAtOnce.SetValue(*atOnce);
    if (const std::optional<int> runEnd = ReadInteger(settings, ValueRunEnd);
        runEnd && *runEnd >= 0 && *runEnd < targets.Options.ComboRunEnd.Count())
      targets.Options.ComboRunEnd.SetItemIndex(*runEnd);
    return true;
  }();
  if (!complete) SaveSettings(settings, targets);
  return complete;
}

void SaveSettings(QSettings& settings, const TSettingsTargets& targets) {
  settings.setValue(QString::fromLatin1(ValueOutputFolder), QFile::decodeName(targets.OutputFolder.c_str()));
  settings.setValue(QString::fromLatin1(ValueOutputFormat), targets.ComboOutputFormat.ItemIndex());
  settings.setValue(QString::fromLatin1(ValueOverwrite), targets.Options.CheckBoxOverWrite ? 1 : 0);
  settings.setValue(QString::fromLatin1(ValueDropDownItems), targets.Options.SpinEdit1.Value());
  settings.setValue(QString::fromLatin1(ValueLetterBox), targets.Options.ComboLetterBox.ItemIndex());
  settings.setValue(QString::fromLatin1(ValueSubtitles), targets.Options.ComboSubtitles.ItemIndex());
  settings.setValue(QString::fromLatin1(ValueNamePattern), QString::fromStdString(targets.Options.EditNamePattern));
  settings.setValue(QString::fromLatin1(ValueKeepFolders), targets.Options.CheckBoxKeepFolders ? 1 : 0);
  settings.setValue(QString::fromLatin1(ValueFilesAtOnce), targets.Options.SpinFilesAtOnce.Value());
  settings.setValue(QString::fromLatin1(ValueRunEnd), targets.Options.ComboRunEnd.ItemIndex());
  settings.sync();
}

void SaveFormatItems(QSettings& settings, const TJobSettings& items) {
  settings.setValue(QString::fromLatin1(ValueFormatItems), QString::fromStdString(JobSettingsJson(items)));
  settings.sync();
}

std::optional<TJobSettings> LoadFormatItems(const QSettings& settings) {
  const QVariant value = settings.value(QString::fromLatin1(ValueFormatItems));
  if (value.typeId() != QMetaType::QString) return std::nullopt;
  std::string error;
  const std::optional<TJsonValue> json = ParseJson(value.toString().toStdString(), error);
  if (!json) return std::nullopt;
  return ReadJobSettings(*json, error);
}

TWindowLayout LoadWindowLayout(const QSettings& settings) {
  auto bytes = [&settings](const char* name) {
    const QVariant value = settings.value(QString::fromLatin1(name));
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
  };
  return {bytes(ValueWindowGeometry), bytes(ValueListColumns)};
}

void SaveWindowLayout(QSettings& settings, const TWindowLayout& layout) {
  settings.setValue(QString::fromLatin1(ValueWindowGeometry), layout.Geometry);
  settings.setValue(QString::fromLatin1(ValueListColumns), layout.Columns);
  settings.sync();
}

}  // namespace fennick
