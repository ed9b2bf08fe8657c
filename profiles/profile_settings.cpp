#include "profiles/profile_settings.h"

#include <utility>

namespace fennick {

TProfileControls::TProfileControls()
    : ComboAudioChannels({"Stereo", "Mono"}, 0), ComboAspectRatio({"Original", "4:3", "16:9"}, 0) {}

TSettingsControl* SettingsControlByName(TProfileControls& c, std::string_view name) {
  if (name == "VideoCodec") return &c.ComboVideoCodec;
  if (name == "VideoBitrate") return &c.ComboVideoBitrate;
  if (name == "VideoSize") return &c.ComboVideoSize;
  if (name == "VideoFramerate") return &c.ComboVideoFramerate;
  if (name == "AudioCodec") return &c.ComboAudioCodec;
  if (name == "AudioBitrate") return &c.ComboAudioBitrate;
  if (name == "SamplingRate") return &c.ComboSamplingRate;
  if (name == "AudioChannels") return &c.ComboAudioChannels;
  if (name == "EncoderSpeed") return &c.ComboEncoderSpeed;
  if (name == "AspectRatio") return &c.ComboAspectRatio;
  return nullptr;
}

const std::vector<std::string>& SettingNames() {
  static const std::vector<std::string> kNames = {"VideoCodec",   "VideoBitrate",  "VideoSize",
                                                  "VideoFramerate", "AudioCodec", "AudioBitrate",
                                                  "SamplingRate", "AudioChannels", "EncoderSpeed"};
  return kNames;
}

const TSettingsControl* SettingsControlByName(const TProfileControls& c, std::string_view name) {
  return SettingsControlByName(const_cast<TProfileControls&>(c), name);
}

namespace {

std::vector<std::string>& HardwareVideoEncoders() {
  static std::vector<std::string> encoders;
  return encoders;
}

// The classic fills select in the two channel items or leave the choice as
// it is, and fill no encoder speed; a format of today puts "Original" into
// the channel list and fills the speed. So every fill starts from the two
// channel items, a chosen "Original" becoming "Stereo", and no speed list.
void RunFill(const TheAVCodec& row, TProfileControls& c) {
  static const std::vector<std::string> kChannels = {"Stereo", "Mono"};
  if (c.ComboAudioChannels.Items() != kChannels) {
    const std::string chosen = c.ComboAudioChannels.Text();
    c.ComboAudioChannels.Assign(kChannels, 0);
    c.ComboAudioChannels.SelectText(chosen);
  }
  c.ComboEncoderSpeed.Clear();
  row.Fill(c);
}

}  // namespace

void OfferHardwareVideoEncoders(std::vector<std::string> encoders) { HardwareVideoEncoders() = std::move(encoders); }

const std::vector<std::string>& OfferedHardwareVideoEncoders() { return HardwareVideoEncoders(); }

bool FillProfileControls(int profileId, TProfileControls& c) {
  if (profileId < 0 || profileId >= OutputFormatCount || !OutputFormatTable[profileId].Fill) return false;
  RunFill(OutputFormatTable[profileId], c);
  return true;
}

void ApplyProfileToControls(TProfileControls& c) {
  const TheAVCodec* row = LookupOutputFormat(c.ComboOutputFormat.Text());
  if (!row) return;
  c.FOutputFormatName = std::string(row->FormatName);
  if (row->Fill) RunFill(*row, c);
}

bool OutputFormatChanged(TProfileControls& c) {
  if (IsSeparatorText(c.ComboOutputFormat.Text())) {
    c.ComboOutputFormat.SetItemIndex(c.LastFormatIndex);
    return false;
  }
  ApplyProfileToControls(c);
  c.LastFormatIndex = c.ComboOutputFormat.ItemIndex();
  return true;
}

bool ChooseOutputFormat(TProfileControls& c, std::string_view displayName) {
  if (!c.ComboOutputFormat.SelectText(displayName)) return false;
  return OutputFormatChanged(c);
}

}  // namespace fennick
