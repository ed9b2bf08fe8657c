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

    std::vector<TSettingsControl*> lists = ProfileLists(first), others = ProfileLists(after);
    const bool audioOnly = IsAudioOnlyFormat(first.FOutputFormatName);
    for (size_t i = 0; i < lists.size(); ++i)
      EXPECT_EQ(lists[i]->Count() == 0, i < 4 && audioOnly) << "list " << i;
    lists.push_back(&first.ComboEncoderSpeed);
    others.push_back(&after.ComboEncoderSpeed);
    for (size_t i = 0; i < lists.size(); ++i) {
      EXPECT_EQ(lists[i]->Items(), others[i]->Items()) << "list " << i;
      EXPECT_EQ(lists[i]->ItemIndex(), others[i]->ItemIndex()) << "list " << i;
      EXPECT_TRUE(lists[i]->Count() == 0 || lists[i]->ItemIndex() >= 0) << "list " << i;
    }
    // The classic formats keep the two channel items; a format of today
    // may put "Original" first.
    if (IsFormatOfToday(*LookupOutputFormat(name)))
      EXPECT_EQ(after.ComboAudioChannels.Items(), first.ComboAudioChannels.Items());
    else
      EXPECT_EQ(after.ComboAudioChannels.Items(), (TItems{"Stereo", "Mono"}));
    EXPECT_EQ(after.ComboAspectRatio.Items(), (TItems{"Original", "4:3", "16:9"}));
  }
}

// What each offered entry selects, in list order: video codec, quality,
// size, frame rate, audio codec, quality, sampling rate, channels and
// encoder speed. Empty video texts: the list is emptied. Channels "" (or a
// size of nullptr): the row leaves that list as it was. Only the formats of
// today offer an encoder speed.
struct TRowDefaults {
  const char* Name;
  const char *VideoCodec, *VideoBitrate, *VideoSize, *VideoFramerate;
  const char *AudioCodec, *AudioBitrate, *SamplingRate, *Channels;
  const char* EncoderSpeed = "";
};
constexpr const char* kKept = "";
const TRowDefaults kOfferedDefaults[] = {
    {"3GP - Mobile Video Format (*.3gp)", "MPEG4", "128 Kbps", "176 x 144 (QCIF)", "Auto", "amr_nb", "7400 bps", "8000  bps", "Mono"},
    {"3G2 - Mobile Video Format (*.3g2)", "MPEG4", "128 Kbps", "176 x 144 (QCIF)", "Auto", "amr_nb", "7400 bps", "8000  bps", "Mono"},
    {"ASF - Advance Streaming Format (*.asf)", "MSMPEG4", "1200 Kbps", "Original Video Size", "Auto", "mp3", "128 Kbps", "48000 Hz", "Stereo"},
    {"AVI - Audio Video Interleave (*.avi)", "MPEG4", "1200 Kbps", "Original Video Size", "Auto", "pcm_s16le", "128 Kbps", "48000 Hz", "Stereo"},
    {"AVI - DivX Video (*.avi)", "MPEG4", "1200 Kbps", "Original Video Size", "Auto", "mp3", "128 Kbps", "48000 Hz", "Stereo"},
    {"AVI - Uncompress (*.avi)", "RAWVIDEO", "1200 Kbps", "Original Video Size", "Auto", "pcm_s16le", "128 Kbps", "48000 Hz", "Stereo"},
    {"AVI - XviD Video (*.avi)", "XVID", "1200 Kbps", "Original Video Size", "Auto", "mp3", "128 Kbps", "48000 Hz", "Stereo"},
    // Which size the DVD entry selects is a choice of its own.
    {"DVD - VOB (*.vob)", "MPEG2VIDEO", "6000 Kbps", nullptr, "29.97 fps [NTSC]", "ac3", "224 Kbps", "48000 Hz", kKept},
    {"FLV - Flash Video (*.flv)", "FLV", "200 Kbps", "Original Video Size", "15.0 fps", "mp3", "64 Kbps", "44100 Hz", "Stereo"},
    {"MOV - QuickTime Video (*.mov)", "MPEG4", "1200 Kbps", "Original Video Size", "Auto", "mpeg4aac", "128 Kbps", "44100 Hz", "Stereo"},
    {"MP4 - MPEG4 Video (*.mp4)", "MPEG4", "1200 Kbps", "Original Video Size", "Auto", "mpeg4aac", "128 Kbps", "44100 Hz", "Stereo"},
    {"MPEG-1 Movie (*.mpg)", "MPEG1VIDEO", "1600 Kbps", "320 x 240 (VGA)", "25.0 fps", "mp2", "192 Kbps", "44100 Hz", "Stereo"},
    {"MPEG-2 Movie (*.mpg)", "MPEG2VIDEO", "2000 Kbps", "320 x 240 (VGA)", "25.0 fps", "mp2", "192 Kbps", "44100 Hz", "Stereo"},
    {"RM - Real Video (*.rm)", "RV10", "384  Kbps", "320 x 240 (VGA)", "Auto", "ac3", "128 Kbps", "48000 Hz", "Stereo"},
    {"SWF - Flash Swf (*.swf)", "FLV", "200 Kbps", "Original Video Size", "15.0 fps", "mp3", "64 Kbps", "44100 Hz", "Stereo"},
    {"Super Video CD (*.mpg)", "MPEG2VIDEO", "2040 Kbps", "480 x 480", "29.97 fps [NTSC]", "mp2", "224 Kbps", "44100 Hz", kKept},
    {"Video CD (*.mpg)", "MPEG1VIDEO", "1150 Kbps", "352 x 240", "29.97 fps [NTSC]", "mp2", "224 Kbps", "44100 Hz", kKept},
    {"WMV - Windows Media Video (*.wmv)", "WMV2", "1200 Kbps", "320 x 240 (VGA)", "Auto", "wmav2", "128 Kbps", "48000 Hz", "Stereo"},
    {"AAC - Advance Audio Coding (*.aac)", "", "", "", "", "aac", "128 Kbps", "48000 Hz", "Stereo"},
    {"AU - SUN Audio (*.au)", "", "", "", "", "pcm_s16be", "128 Kbps", "48000 Hz", "Stereo"},
    {"M4A - Mpeg4 Audio File (*.m4a)", "", "", "", "", "mpeg4aac", "128 Kbps", "48000 Hz", "Stereo"},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "", "", "", "", "mp2", "224 Kbps", "48000 Hz", "Stereo"},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "", "", "", "", "mp3", "192 Kbps", "48000 Hz", "Stereo"},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "", "", "", "", "vorbis", "160 Kbps", "48000 Hz", "Stereo"},
    {"RA - Real Audio (*.ra)", "", "", "", "", "ac3", "128 Kbps", "48000 Hz", "Stereo"},
    {"WAV - Waveform Audio (*.wav)", "", "", "", "", "pcm_s16le", "128 Kbps", "44100 Hz", "Stereo"},
    {"WMA - Windows Media Audio (*.wma)", "", "", "", "", "wmav2", "128 Kbps", "48000 Hz", "Stereo"},
    {"iPod (*.mp4)", "MPEG4", "512 Kbps", "320 x 240", "Auto", "mpeg4aac", "64 Kbps", "44100 Hz", kKept},
    {"iPod Extra (640 x 480) (*.mp4)", "MPEG4", "1500 Kbps", "640 x 480", "Auto", "mpeg4aac", "64 Kbps", "44100 Hz", kKept},
    {"iPod Video For TV (*.mp4)", "MPEG4", "1500 Kbps", "640 x 480", "Auto", "mpeg4aac", "64 Kbps", "44100 Hz", kKept},
    {"Apple TV (*.mp4)", "MPEG4", "1500 Kbps", "640 x 480", "Auto", "mpeg4aac", "128 Kbps", "44100 Hz", "Stereo"},
    {"Apple TV (Normal Quality) (*.mp4)", "MPEG4", "1200 Kbps", "640 x 480", "Auto", "mpeg4aac", "96 Kbps", "44100 Hz", "Stereo"},
    {"Apple TV (High Quality) (*.mp4)", "MPEG4", "1500 Kbps", "640 x 480", "Auto", "mpeg4aac", "128 Kbps", "44100 Hz", "Stereo"},
    {"Apple TV H264 (320 x 240) (*.mp4)", "H264", "1200 Kbps", "320 x 240", "29.97 fps", "mpeg4aac", "64 Kbps", "48000 Hz", "Stereo"},
    {"Apple TV H264 (640 x 480) (*.mp4)", "H264", "2000 Kbps", "640 x 480", "29.97 fps", "mpeg4aac", "64 Kbps", "48000 Hz", "Stereo"},
    {"Apple TV H264 (1280 x 720) (*.mp4)", "H264", "2500 Kbps", "1280 x 720", "23.975 fps", "mpeg4aac", "64 Kbps", "48000 Hz", "Stereo"},
    {"iPod Touch (*.mp4)", "MPEG4", "1200 Kbps", "480 x 320", "Auto", "mpeg4aac", "80 Kbps", "44100 Hz", kKept},
    {"iPod Touch Extra (640 x 480) (*.mp4)", "MPEG4", "1500 Kbps", "640 x 480", "Auto", "mpeg4aac", "80 Kbps", "44100 Hz", kKept},
    {"iPod Touch Wide Screen (*.mp4)", "MPEG4", "1500 Kbps", "720 x 406", "Auto", "mpeg4aac", "128 Kbps", "44100 Hz", "Stereo"},
    {"iPhone (*.mp4)", "MPEG4", "1200 Kbps", "480 x 320", "Auto", "mpeg4aac", "80 Kbps", "44100 Hz", "Stereo"},
    {"iPhone Extra (640 x 480) (*.mp4)", "MPEG4", "1500 Kbps", "640 x 480", "Auto", "mpeg4aac", "128 Kbps", "44100 Hz", "Stereo"},
    {"iPhone Wide Screen (*.mp4)", "MPEG4", "1500 Kbps", "720 x 480", "Auto", "mpeg4aac", "128 Kbps", "44100 Hz", "Stereo"},
    {"Zune Mpeg4 Video (*.mp4)", "MPEG4", "1500 Kbps", "320 x 240 ", "29.97 fps", "mpeg4aac", "128 Kbps", "44100 Hz", "Stereo"},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV2", "1200 Kbps", "320 x 240 ", "Auto", "wmav2", "128 Kbps", "48000 Hz", "Stereo"},
    {"PSP Video (*.mp4)", "MPEG4", "768 Kbps", "368 x 208", "29.97 fps", "mpeg4aac", "64 Kbps", "24000 Hz", "Stereo"},
    {"PS3 Video (*.mp4)", "H264", "1200 Kbps", "720 x 480", "29.97 fps", "mpeg4aac", "96 Kbps", "44100 Hz", "Stereo"},
    {"PS3 Video(480P) (*.mp4)", "H264", "1200 Kbps", "720 x 480", "29.97 fps", "mpeg4aac", "96 Kbps", "44100 Hz", "Stereo"},
    {"PS3 Video(720P) (*.mp4)", "H264", "2000 Kbps", "1280 x 720", "29.97 fps", "mpeg4aac", "96 Kbps", "44100 Hz", "Stereo"},
    {"PS3 Video(1080P) (*.mp4)", "H264", "2000 Kbps", "1920 x 1072", "29.97 fps", "mpeg4aac", "96 Kbps", "44100 Hz", "Stereo"},
    {"Archos AV500/GMini402 (*.avi)", "MPEG4", "1200 Kbps", "480 x 272", "Auto", "mp3", "128 Kbps", "48000 Hz", kKept},
    {"Archos AV700 (*.avi)", "MPEG4", "2000 Kbps", "720 x 480", "Auto", "mp3", "128 Kbps", "48000 Hz", kKept},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MPEG4", "300 Kbps", "320 x 240", "24 fps", "mpeg4aac", "80 Kbps", "44100 Hz", kKept},
    {"BlackBerry AVI Video (*.avi)", "H263", "300 Kbps", "176 x 144", "24 fps", "mp3", "80 Kbps", "44100 Hz", kKept},
    // AMR-NB, its default audio, is mono only.
    {"BlackBerry 3GP Video (*.3gp)", "MPEG4", "120 Kbps", "176 x 144", "15 fps", "amr_nb", "4750 bps", "8000  Hz", "Mono"},
    {"Creative Zen Vision (*.avi)", "MPEG4", "1200 Kbps", "640 x 480", "Auto", "mp3", "128 Kbps", "48000 Hz", kKept},
    {"iRiver PMP100 (*.avi)", "MPEG4", "1200 Kbps", "640 x 480", "Auto", "mp3", "128 Kbps", "48000 Hz", kKept},
    {"MKV - Matroska Video (*.mkv)", "H.264", "High", "Original Video Size", "Auto", "AAC", "192 Kbps", "Original", "Original", "Balanced"},
    {"MP4 - H.264 Video (*.mp4)", "H.264", "High", "Original Video Size", "Auto", "AAC", "192 Kbps", "Original", "Original", "Balanced"},
    {"MP4 - H.265 Video (*.mp4)", "H.265", "High", "Original Video Size", "Auto", "AAC", "192 Kbps", "Original", "Original", "Balanced"},
    {"WebM - VP9 Video (*.webm)", "VP9", "High", "Original Video Size", "Auto", "Opus", "128 Kbps", "48000 Hz", "Original", "Balanced"},
    {"WebM - AV1 Video (*.webm)", "AV1", "High", "Original Video Size", "Auto", "Opus", "128 Kbps", "48000 Hz", "Original", "Balanced"},
    {"FLAC - Free Lossless Audio (*.flac)", "", "", "", "", "FLAC", "Lossless", "Original", "Original"},
    {"M4A - Apple Lossless (*.m4a)", "", "", "", "", "ALAC", "Lossless", "Original", "Original"},
    {"Opus Audio (*.opus)", "", "", "", "", "Opus", "128 Kbps", "48000 Hz", "Original"},
    {"Android Phone (1080p) (*.mp4)", "H.264", "High", "1920 x 1080", "Auto", "AAC", "160 Kbps", "48000 Hz", "Stereo", "Balanced"},
    {"Web Video 720p (*.mp4)", "H.264", "High", "1280 x 720", "Auto", "AAC", "128 Kbps", "48000 Hz", "Stereo", "Balanced"},
    {"4K UHD H.265 (*.mkv)", "H.265", "High", "3840 x 2160", "Auto", "AAC", "384 Kbps", "Original", "Original", "Balanced"},
};

TEST(ProfileFill, EveryOfferedEntrySelectsItsDefaults) {
  std::vector<std::string> names;
  for (const TRowDefaults& row : kOfferedDefaults) names.push_back(row.Name);
  ASSERT_EQ(OfferedOutputFormats(), names);
  for (const TRowDefaults& row : kOfferedDefaults) {
    // The channels the user chose before stay where the row keeps them.
    for (const char* before : {"Stereo", "Mono"}) {
      SCOPED_TRACE(std::string(row.Name) + " after " + before);
      TProfileControls c = StartedControls();
      ASSERT_TRUE(c.ComboAudioChannels.SelectText(before));
      ASSERT_TRUE(ChooseOutputFormat(c, row.Name));
      EXPECT_EQ(c.ComboVideoCodec.Text(), row.VideoCodec);
      EXPECT_EQ(c.ComboVideoBitrate.Text(), row.VideoBitrate);
      if (row.VideoSize) {
        EXPECT_EQ(c.ComboVideoSize.Text(), row.VideoSize);
      }
      EXPECT_EQ(c.ComboVideoFramerate.Text(), row.VideoFramerate);
      EXPECT_EQ(c.ComboAudioCodec.Text(), row.AudioCodec);
      EXPECT_EQ(c.ComboAudioBitrate.Text(), row.AudioBitrate);
      EXPECT_EQ(c.ComboSamplingRate.Text(), row.SamplingRate);
      EXPECT_EQ(c.ComboAudioChannels.Text(), *row.Channels ? row.Channels : before);
      EXPECT_EQ(c.ComboEncoderSpeed.Text(), row.EncoderSpeed);
    }
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
