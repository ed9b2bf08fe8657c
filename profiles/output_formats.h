// The catalogue of output formats and device profiles offered in the main
// window's format list: display text, short format name (the output file's
// extension) and the profile number that selects the settings and their
// translation. Constant data; rows are always found by display text.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/settings_control.h"

namespace fennick {

struct TheAVCodec {
  std::string_view DisplayName;
  std::string_view FormatName;  // upper case, e.g. "MP4"
  int ProfileId;                // the row's position in OutputFormatTable
};

inline constexpr int OutputFormatCount = 71;
extern const std::array<TheAVCodec, OutputFormatCount> OutputFormatTable;

// The group divider of the format list (14 blanks, 41 hyphens); not a row.
inline constexpr std::string_view SeparatorRowText = "              -----------------------------------------";
// A list text containing this is a divider.
inline constexpr std::string_view SeparatorMark = "              ----";
bool IsSeparatorText(std::string_view text);

// The 64 entries of the format list in order: 56 offered rows and 8 dividers.
const std::vector<std::string>& OutputFormatListItems();
// The 56 offered display names in list order, without the dividers.
std::vector<std::string> OfferedOutputFormats();

// Fills the format list with its 64 entries, shows all of them at once and
// selects the first. Does not apply the profile.
void FillOutputFormatList(TSettingsControl& comboOutputFormat);

// The first row whose display text equals text exactly (case-sensitive), or
// nullptr. Dividers and empty text find nothing.
const TheAVCodec* LookupOutputFormat(std::string_view text);

// The open dialog's filter: "description|patterns|" pairs, the first being
// the default.
const std::string& OpenDialogFilter();

}  // namespace fennick
