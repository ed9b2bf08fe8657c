// How fennick-convert finds what the user names: an output format by its
// display name, its short format name or a part of its display name, and a
// settings item by its text or its number.
#pragma once

#include <string>

#include "profiles/settings_control.h"

namespace fennick::cli {

// The format fennick-convert converts to when -f is not given.
inline constexpr const char* DefaultOutputFormat = "MP4 - MPEG4 Video (*.mp4)";

// Lets the profiles offer the hardware video encoders this machine has
// (component/hardware_encoders.h). Without a VAAPI render node that is
// nothing, and the codec libraries are not loaded for it.
void OfferThisMachinesHardwareEncoders();

// The offered display name that `name` means, tried in this order: the
// display name itself; a short format name ("mp4", "avi", "vob", "mkv",
// "webm", "flac", "opus"; any case;
// where several entries share one, the first in list order); a display name
// in any case; a part of exactly one display name, in any case ("dvd",
// "ipod touch wide"). Raises EUsageError naming the closest entries when
// nothing matches, or the candidates when a part matches several.
std::string ResolveOutputFormat(const std::string& name);

// The position of the item `text` means in a settings list: the item
// itself; the item with blanks and letter case ignored; the one item whose
// number is `text` ("1500" for "1500 Kbps", "44100" for "44100 Hz",
// "640x480" for "640 x 480 (VGA)", "29.97" for "29.97 fps [NTSC]"). -1 when
// none or several match.
int FindSettingItem(const TSettingsControl& control, const std::string& text);

}  // namespace fennick::cli
