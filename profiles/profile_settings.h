// The settings each output profile offers: the main window's format list, the
// settings lists it refills on every accepted choice, and the state the
// window keeps about the chosen format. Headless; the window mirrors these
// into its drop-down lists, the command line uses them as they are.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profiles/output_formats.h"
#include "profiles/settings_control.h"

namespace fennick {

// Owned by the main window (or the command line) and used on its thread only.
struct TProfileControls {
  TProfileControls();

  TSettingsControl ComboOutputFormat;
  // FormatName of the row last chosen, and the list position of the last
  // real row chosen (dividers never become it).
  std::string FOutputFormatName;
  int LastFormatIndex = 0;

  TSettingsControl ComboVideoCodec;
  TSettingsControl ComboVideoBitrate;
  TSettingsControl ComboVideoSize;
  TSettingsControl ComboVideoFramerate;
  TSettingsControl ComboAudioCodec;
  TSettingsControl ComboAudioBitrate;
  TSettingsControl ComboSamplingRate;
  TSettingsControl ComboAudioChannels;  // "Stereo", "Mono"; the formats of today add "Original"
  TSettingsControl ComboAspectRatio;    // "Original", "4:3", "16:9"; hidden
  // "Faster", "Balanced", "Smaller Files": filled by the formats of today
  // only, empty for the others.
  TSettingsControl ComboEncoderSpeed;
};

// The settings lists by the names the command line uses: "VideoCodec",
// "VideoBitrate", "VideoSize", "VideoFramerate", "AudioCodec",
// "AudioBitrate", "SamplingRate", "AudioChannels", "EncoderSpeed",
// "AspectRatio". nullptr for any other name.
TSettingsControl* SettingsControlByName(TProfileControls& controls, std::string_view name);
const TSettingsControl* SettingsControlByName(const TProfileControls& controls, std::string_view name);
// The nine settings lists a profile fills (all but "AspectRatio"): the
// window's eight in its order, then "EncoderSpeed".
const std::vector<std::string>& SettingNames();

// Hardware video encoders this machine has, by the codec libraries' names
// ("h264_vaapi", "hevc_vaapi"): the H.264 and H.265 entries of today offer
// them as "H.264 (hardware)" and "H.265 (hardware)" after their own codecs.
// None until a front end, having found them, says so here; it does that
// once, before it fills the settings lists.
void OfferHardwareVideoEncoders(std::vector<std::string> encoders);
const std::vector<std::string>& OfferedHardwareVideoEncoders();

// Runs the fill procedure of the catalogue row profileId; false (nothing
// changed) for rows that are never offered.
bool FillProfileControls(int profileId, TProfileControls& controls);

// Looks up the format list's text, stores the row's FormatName in
// FOutputFormatName and refills the settings of that row. An unknown text
// changes nothing.
void ApplyProfileToControls(TProfileControls& controls);

// What a change of the format list must do: a divider puts the selection
// back to LastFormatIndex and returns false; anything else applies the
// profile, makes the current position LastFormatIndex and returns true (the
// window then updates its "Output" column and drop-down count).
bool OutputFormatChanged(TProfileControls& controls);

// Convenience for the command line and tests: selects text in the format list
// and runs the change handling. False when the list has no such entry or the
// entry is a divider.
bool ChooseOutputFormat(TProfileControls& controls, std::string_view displayName);

}  // namespace fennick
