// The catalogue of output formats and device profiles offered in the main
// window's format list. Each profile is one row: display text, short format
// name (the output file's extension), profile number, position in the format
// list, and the procedures that fill its settings lists and translate them
// into an output task record. Constant data; rows are always found by
// display text.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/settings_control.h"

namespace fennick {

struct TProfileControls;
struct TOutputOptions;

// Refills the settings lists with a profile's items and default selections.
using TProfileFill = void (*)(TProfileControls& controls);
// Writes the chosen settings into an output task record.
using TProfileTranslation = void (*)(const TProfileControls& controls, TOutputOptions& options);

// The list position of the rows that are never offered; they only keep the
// numbering of the others.
inline constexpr int NotListed = -1;

struct TheAVCodec {
  std::string_view DisplayName;
  std::string_view FormatName;    // upper case, e.g. "MP4"
  int ProfileId;                  // the row's position in OutputFormatTable
  int ListPosition;               // position in the format list, or NotListed
  TProfileFill Fill;              // nullptr when NotListed
  TProfileTranslation Translate;  // nullptr when NotListed
};

// Rows 0 to 70 are the classic catalogue; the formats of today (Matroska,
// MP4 with H.264 or H.265, WebM, FLAC, Opus, Apple Lossless and the device
// presets of today) follow from row 71 on, with lists of their own that
// choose by quality and offer an encoder speed.
inline constexpr int ClassicOutputFormatCount = 71;
inline constexpr int OutputFormatCount = 82;
extern const std::array<TheAVCodec, OutputFormatCount> OutputFormatTable;
bool IsFormatOfToday(const TheAVCodec& row);

// The group divider of the format list (14 blanks, 41 hyphens); not a row.
inline constexpr std::string_view SeparatorRowText = "              -----------------------------------------";
// A list text containing this is a divider.
inline constexpr std::string_view SeparatorMark = "              ----";
bool IsSeparatorText(std::string_view text);

// The 78 entries of the format list in order: the 67 offered rows at their
// list positions and a divider at each of the 11 positions no row takes.
// The classic 56 keep positions 0 to 63 with their 8 dividers; the formats
// of today come after them, from position 64 on, each group behind a
// divider, so that a stored list position keeps its meaning.
inline constexpr int OutputFormatListCount = 78;
const std::vector<std::string>& OutputFormatListItems();
// The 67 offered display names in list order, without the dividers.
std::vector<std::string> OfferedOutputFormats();

// Fills the format list with its 78 entries, shows all of them at once and
// selects the first. Does not apply the profile.
void FillOutputFormatList(TSettingsControl& comboOutputFormat);

// The first row whose display text equals text exactly (case-sensitive), or
// nullptr. Dividers and empty text find nothing.
const TheAVCodec* LookupOutputFormat(std::string_view text);

// The open dialog's filter: "description|patterns|" pairs, the first being
// the default ("All Supported Files", which also decides what a folder
// adds), the last "All files (*)".
const std::string& OpenDialogFilter();

}  // namespace fennick
