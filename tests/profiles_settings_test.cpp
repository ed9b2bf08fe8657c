// The settings each offered format puts into the nine settings lists: what
// every row's fill must do, which lists a row leaves as the user set them,
// and the settings lists themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"

namespace fennick {
namespace {

using TItems = std::vector<std::string>;

TProfileControls StartedControls() {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  EXPECT_TRUE(OutputFormatChanged(controls));
  return controls;
}

// The seven lists whose items depend on the profile.
std::vector<TSettingsControl*> ProfileLists(TProfileControls& c) {
  return {&c.ComboVideoCodec, &c.ComboVideoBitrate, &c.ComboVideoSize,   &c.ComboVideoFramerate,
          &c.ComboAudioCodec, &c.ComboAudioBitrate, &c.ComboSamplingRate};
}

// A fill replaces every list that depends on the profile, whatever another
// profile and the user left in it: choosing a row after any history gives
// the same lists and defaults as choosing it first. Each default is an item
// of its list; audio-only formats empty the video lists, the others fill
// them; the fixed lists keep their items.
TEST(ProfileFill, EveryOfferedRowFillsItsListsWhateverCameBefore) {
  for (const std::string& name : OfferedOutputFormats()) {
    SCOPED_TRACE(name);
    TProfileControls first = StartedControls();
    ASSERT_TRUE(ChooseOutputFormat(first, name));

    TProfileControls after = StartedControls();
    const std::string rm = "RM - Real Video (*.rm)";
    const std::string before = name == rm ? "MP3 - Mpeg Layer3 Audio (*.mp3)" : rm;
    ASSERT_TRUE(ChooseOutputFormat(after, before));
    for (TSettingsControl* list : ProfileLists(after)) list->SetItemIndex(list->Count() - 1);
    ASSERT_TRUE(ChooseOutputFormat(after, name));

    const std::vector<TSettingsControl*> lists = ProfileLists(first), others = ProfileLists(after);
    for (size_t i = 0; i < lists.size(); ++i) {
      EXPECT_EQ(lists[i]->Items(), others[i]->Items()) << "list " << i;
      EXPECT_EQ(lists[i]->ItemIndex(), others[i]->ItemIndex()) << "list " << i;
      EXPECT_TRUE(lists[i]->Count() == 0 || lists[i]->ItemIndex() >= 0) << "list " << i;
    }
    const bool audioOnly = IsAudioOnlyFormat(first.FOutputFormatName);
    for (size_t i = 0; i < lists.size(); ++i)
      EXPECT_EQ(lists[i]->Count() == 0, i < 4 && audioOnly) << "list " << i;
    EXPECT_EQ(after.ComboAudioChannels.Items(), (TItems{"Stereo", "Mono"}));
    EXPECT_EQ(after.ComboAspectRatio.Items(), (TItems{"Original", "4:3", "16:9"}));
  }
}

TEST(ProfileFill, RowsNeverOfferedHaveNoFill) {
  const std::vector<std::string> offered = OfferedOutputFormats();
  for (const TheAVCodec& row : OutputFormatTable) {
    if (std::find(offered.begin(), offered.end(), row.DisplayName) != offered.end()) continue;
    TProfileControls controls;
    controls.ComboVideoCodec.Assign({"kept"}, 0);
    EXPECT_FALSE(FillProfileControls(row.ProfileId, controls)) << row.DisplayName;
    EXPECT_EQ(controls.ComboVideoCodec.Text(), "kept");
  }
}

TEST(ProfileFill, MonoSurvivesTheIPodRowsOnly) {
  TProfileControls controls = StartedControls();
  ASSERT_TRUE(ChooseOutputFormat(controls, "AVI - Audio Video Interleave (*.avi)"));
  controls.ComboAudioChannels.SelectText("Mono");
  controls.ComboAspectRatio.SelectText("4:3");
  for (const char* keeps : {"iPod (*.mp4)", "iPod Extra (640 x 480) (*.mp4)", "iPod Video For TV (*.mp4)",
                            "iPod Touch (*.mp4)", "iPod Touch Extra (640 x 480) (*.mp4)"}) {
    ASSERT_TRUE(ChooseOutputFormat(controls, keeps));
    EXPECT_EQ(controls.ComboAudioChannels.Text(), "Mono") << keeps;
    EXPECT_EQ(controls.ComboAspectRatio.Text(), "4:3") << keeps;
  }
  ASSERT_TRUE(ChooseOutputFormat(controls, "iPod Touch Wide Screen (*.mp4)"));
  EXPECT_EQ(controls.ComboAudioChannels.Text(), "Stereo");
  EXPECT_EQ(controls.ComboAspectRatio.Text(), "Original");
  ASSERT_TRUE(ChooseOutputFormat(controls, "3GP - Mobile Video Format (*.3gp)"));
  EXPECT_EQ(controls.ComboAudioChannels.Text(), "Mono");
}

TEST(SettingsControl, SelectionStaysValid) {
  TSettingsControl control;
  EXPECT_EQ(control.Text(), "");
  EXPECT_EQ(control.ItemIndex(), -1);
  control.Assign({"a", "b"}, 1);
  EXPECT_EQ(control.Text(), "b");
  control.SetItemIndex(2);
  EXPECT_EQ(control.ItemIndex(), -1);
  EXPECT_EQ(control.Text(), "");
  control.SetItemIndex(0);
  EXPECT_FALSE(control.SelectText("B"));
  EXPECT_EQ(control.Text(), "a");
  control.Assign({"x"}, 5);
  EXPECT_EQ(control.Text(), "");
  control.Clear();
  EXPECT_EQ(control.Count(), 0);
  EXPECT_EQ(control.Text(), "");
}

TEST(SettingsControl, ByCommandLineName) {
  TProfileControls controls;
  EXPECT_EQ(SettingsControlByName(controls, "VideoCodec"), &controls.ComboVideoCodec);
  EXPECT_EQ(SettingsControlByName(controls, "SamplingRate"), &controls.ComboSamplingRate);
  EXPECT_EQ(SettingsControlByName(controls, "AspectRatio"), &controls.ComboAspectRatio);
  EXPECT_EQ(SettingsControlByName(controls, "videocodec"), nullptr);
  EXPECT_EQ(SettingsControlByName(controls, ""), nullptr);
  EXPECT_EQ(controls.ComboAudioChannels.Items(), (TItems{"Stereo", "Mono"}));
  EXPECT_EQ(controls.ComboAudioChannels.Text(), "Stereo");
  EXPECT_EQ(controls.ComboAspectRatio.Items(), (TItems{"Original", "4:3", "16:9"}));
  EXPECT_EQ(controls.ComboAspectRatio.Text(), "Original");
}

}  // namespace
}  // namespace fennick
