// Turns the chosen settings (display texts such as "1200 Kbps",
// "320 x 240 (VGA)", "44100 Hz", "H264") into the fields of an output task
// record: encoder names, bit rates in bit/s, frame size and rate, sample
// rate, channels and the audio-only switch.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// A chosen item the format cannot take (a picture size its video encoder
// cannot code, a sampling rate its audio encoder does not offer ...). The
// message names the item and the items of the same list the format takes.
class EProfileSettingRefused : public EProfileConvertError {
 public:
  explicit EProfileSettingRefused(const std::string& message) : EProfileConvertError(message) {}
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

// A frame-rate item as the engine's rate text, written without a decimal
// separator so that no locale can change its reading: empty for "Auto" (the
// engine keeps the source rate), the NTSC family as exact fractions
// ("29.97 fps" gives "30000/1001"), whole numbers without their zero
// fraction ("15.0 fps" gives "15"), any other decimal as a fraction of
// integers ("12.5" gives "25/2").
std::string GetFrameRate(std::string_view rateText);

// The picture size a DVD gets for a size item's engine text: the
// "724 x 480" and "724 x 576" items are the DVD full-frame sizes 720x480 and
// 720x576; other sizes are kept.
std::string DvdFrameSize(std::string_view frameSize);

// Video encoder name for a codec item, by its lower-case form. The device
// translations know only the "mpeg4", "h264" and "xvid" lines; the codec
// translation also "wmv2x" and "mpeg4_qt". Other texts stay, in lower case.
std::string DeviceVideoEncoderName(std::string_view codecText);
std::string CodecVideoEncoderName(std::string_view codecText);
// Audio encoder name for a codec item in the codec translation.
std::string CodecAudioEncoderName(std::string_view codecText);
// True for the short format names whose output carries no video.
bool IsAudioOnlyFormat(std::string_view formatName);

// The translations: each reads the settings and writes its fields into
// options (which the caller has reset with InitOutputOptions). The classic
// rows use the first three, the formats of today SetQualityOptions.
void SetCodecOptions(const TProfileControls& controls, TOutputOptions& options);
void SetAppleDeviceOptions(const TProfileControls& controls, TOutputOptions& options);
void SetMobile3gpOptions(const TProfileControls& controls, TOutputOptions& options);

// The encoder settings behind the quality levels and speeds of the formats
// of today, written into the record's quality and speed fields for its
// VideoCodec; nothing for an encoder without such a setting. level: 0
// "Best" to 3 "Small"; speed: 0 "Faster", 1 "Balanced", 2 "Smaller Files".
void SetVideoQuality(TOutputOptions& options, int level);
void SetEncoderSpeed(TOutputOptions& options, int speed);

// The formats of today: encoders by item ("H.265" gives "libx265", "Opus"
// "libopus"); a quality level as the encoder's constant quality, a bit rate
// as before; the encoder speed as the encoder's preset; "Original" rate and
// channels as the source's (nothing passed); "Lossless" as no bit rate.
// MP4 files get their index at the front, H.265 in MP4 the tag "hvc1".
void SetQualityOptions(const TProfileControls& controls, TOutputOptions& options);

// Runs the translation of the catalogue row profileId; false (nothing
// written) for rows that are never offered.
bool TranslateProfileOptions(int profileId, const TProfileControls& controls, TOutputOptions& options);

// Looks up the format list's text and runs that row's translation. An
// unknown text writes nothing. A chosen item the format cannot take raises
// EProfileSettingRefused and leaves options as they were; for the DVD entry
// so does a size, frame rate or sampling rate no DVD player takes (a rate of
// the other norm than the size's, a sampling rate other than 48000 Hz).
void ApplyProfileToOptions(const TProfileControls& controls, TOutputOptions& options);

}  // namespace fennick
