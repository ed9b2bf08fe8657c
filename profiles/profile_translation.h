// Turns the chosen settings (display texts such as "1200 Kbps",
// "320 x 240 (VGA)", "44100 Hz", "H264") into the fields of an output task
// record: encoder names, bit rates in bit/s, frame size and rate, sample
// rate, channels and the audio-only switch.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "component/task_options.h"
#include "profiles/profile_settings.h"

namespace fennick {

// A setting whose leading number is not a decimal integer. The record is
// left untouched when it is raised; the job builder reports the job as not
// added.
class EProfileConvertError : public std::runtime_error {
 public:
  explicit EProfileConvertError(const std::string& message) : std::runtime_error(message) {}
};

// The characters before the first blank; empty when the text has no blank.
std::string LeadingNumber(std::string_view text);
// A decimal integer (optional sign) that fits 32 bits; raises
// EProfileConvertError otherwise, also for empty text.
int32_t ParseSettingInteger(std::string_view text);

// A size item as the engine's size text: anything from the first "(" on is
// dropped, "Original Video Size" gives "original", otherwise every blank is
// removed ("320 x 240 (VGA)" gives "320x240").
std::string GetFrameSize(std::string_view sizeText);

// A frame-rate item as the engine's rate text: empty for "Auto" (the engine
// keeps the source rate), the NTSC family as exact fractions ("29.97 fps"
// gives "30000/1001"), otherwise the leading number.
std::string GetFrameRate(std::string_view rateText);

// Video encoder name for a codec item, by its lower-case form. The device
// translations know only the "mpeg4", "h264" and "xvid" lines; the codec
// translation also "wmv2x" and "mpeg4_qt". Other texts stay, in lower case.
std::string DeviceVideoEncoderName(std::string_view codecText);
std::string CodecVideoEncoderName(std::string_view codecText);
// Audio encoder name for a codec item in the codec translation.
std::string CodecAudioEncoderName(std::string_view codecText);
// True for the short format names whose output carries no video.
bool IsAudioOnlyFormat(std::string_view formatName);

// The three translations: each reads the settings and writes its fields into
// options (which the caller has reset with InitOutputOptions).
void SetCodecOptions(const TProfileControls& controls, TOutputOptions& options);
void SetAppleDeviceOptions(const TProfileControls& controls, TOutputOptions& options);
void SetMobile3gpOptions(const TProfileControls& controls, TOutputOptions& options);

// Runs the translation of the catalogue row profileId; false (nothing
// written) for rows that are never offered.
bool TranslateProfileOptions(int profileId, const TProfileControls& controls, TOutputOptions& options);

// Looks up the format list's text and runs that row's translation. An
// unknown text writes nothing.
void ApplyProfileToOptions(const TProfileControls& controls, TOutputOptions& options);

}  // namespace fennick
