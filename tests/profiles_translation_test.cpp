// Translation of the chosen settings into an output task record: the record
// every offered row makes from its defaults, the encoder name tables, and the
// parsing of the display texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "component/task_options.h"
#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"

namespace fennick {
namespace {

struct TRecordExpect {
  std::string DisplayName;
  std::string VideoCodec;
  int32_t VideoBitrate;
  std::string FrameSize;
  std::string FrameRate;
  std::string AudioCodec;
  int32_t AudioBitrate;
  int32_t AudioSampleRate;
  int32_t AudioChannels;
  bool DisableVideo;
};

// With a fresh window ("Stereo", aspect "Original") and each row's defaults.
const std::vector<TRecordExpect>& ExpectedRecords() {
  static const std::vector<TRecordExpect> records = {
    {"3GP - Mobile Video Format (*.3gp)", "mpeg4", 128000, "176x144", "", "libamr_nb", 7400, 8000, 1, false},
    {"3G2 - Mobile Video Format (*.3g2)", "mpeg4", 128000, "176x144", "", "libamr_nb", 7400, 8000, 1, false},
    {"iPod (*.mp4)", "mpeg4", 512000, "320x240", "", "libfaac", 64000, 44100, 2, false},
    {"iPod Extra (640 x 480) (*.mp4)", "mpeg4", 1500000, "640x480", "", "libfaac", 64000, 44100, 2, false},
    {"iPod Video For TV (*.mp4)", "mpeg4", 1500000, "640x480", "", "libfaac", 64000, 44100, 2, false},
    {"Apple TV H264 (320 x 240) (*.mp4)", "libx264", 1200000, "320x240", "30000/1001", "libfaac", 64000, 48000, 2, false},
    {"Apple TV H264 (640 x 480) (*.mp4)", "libx264", 2000000, "640x480", "30000/1001", "libfaac", 64000, 48000, 2, false},
    {"Apple TV H264 (1280 x 720) (*.mp4)", "libx264", 2500000, "1280x720", "24000/1001", "libfaac", 64000, 48000, 2, false},
    {"Apple TV (*.mp4)", "mpeg4", 1500000, "640x480", "", "libfaac", 128000, 44100, 2, false},
    {"Apple TV (Normal Quality) (*.mp4)", "mpeg4", 1200000, "640x480", "", "libfaac", 96000, 44100, 2, false},
    {"Apple TV (High Quality) (*.mp4)", "mpeg4", 1500000, "640x480", "", "libfaac", 128000, 44100, 2, false},
    {"iPod Touch (*.mp4)", "mpeg4", 1200000, "480x320", "", "libfaac", 80000, 44100, 2, false},
    {"iPod Touch Extra (640 x 480) (*.mp4)", "mpeg4", 1500000, "640x480", "", "libfaac", 80000, 44100, 2, false},
    {"iPod Touch Wide Screen (*.mp4)", "mpeg4", 1500000, "720x406", "", "libfaac", 128000, 44100, 2, false},
    {"iPhone (*.mp4)", "mpeg4", 1200000, "480x320", "", "libfaac", 80000, 44100, 2, false},
    {"iPhone Extra (640 x 480) (*.mp4)", "mpeg4", 1500000, "640x480", "", "libfaac", 128000, 44100, 2, false},
    {"iPhone Wide Screen (*.mp4)", "mpeg4", 1500000, "720x480", "", "libfaac", 128000, 44100, 2, false},
    {"AVI - Audio Video Interleave (*.avi)", "mpeg4", 1200000, "", "", "pcm_s16le", 128000, 48000, 2, false},
    {"AVI - DivX Video (*.avi)", "mpeg4", 1200000, "", "", "libmp3lame", 128000, 48000, 2, false},
    {"AVI - XviD Video (*.avi)", "libxvid", 1200000, "", "", "libmp3lame", 128000, 48000, 2, false},
    {"AVI - Uncompress (*.avi)", "rawvideo", 1200000, "", "", "pcm_s16le", 128000, 48000, 2, false},
    {"MOV - QuickTime Video (*.mov)", "mpeg4", 1200000, "", "", "libfaac", 128000, 44100, 2, false},
    {"MP4 - MPEG4 Video (*.mp4)", "mpeg4", 1200000, "", "", "libfaac", 128000, 44100, 2, false},
    {"MPEG-1 Movie (*.mpg)", "mpeg1video", 1600000, "320x240", "25", "mp2", 192000, 44100, 2, false},
    {"MPEG-2 Movie (*.mpg)", "mpeg2video", 2000000, "320x240", "25", "mp2", 192000, 44100, 2, false},
    {"RM - Real Video (*.rm)", "rv10", 384000, "320x240", "", "ac3", 128000, 48000, 2, false},
    {"WMV - Windows Media Video (*.wmv)", "wmv2", 1200000, "320x240", "", "wmav2", 128000, 48000, 2, false},
    {"SWF - Flash Swf (*.swf)", "flv", 200000, "", "15", "libmp3lame", 64000, 44100, 2, false},
    {"FLV - Flash Video (*.flv)", "flv", 200000, "", "15", "libmp3lame", 64000, 44100, 2, false},
    {"Video CD (*.mpg)", "mpeg1video", 1150000, "352x240", "30000/1001", "mp2", 224000, 44100, 2, false},
    {"Super Video CD (*.mpg)", "mpeg2video", 2040000, "480x480", "30000/1001", "mp2", 224000, 44100, 2, false},
    {"DVD - VOB (*.vob)", "mpeg2video", 6000000, "720x480", "30000/1001", "ac3", 224000, 48000, 2, false},
    {"AAC - Advance Audio Coding (*.aac)", "", 0, "", "", "libfaac", 128000, 48000, 2, true},
    {"ASF - Advance Streaming Format (*.asf)", "msmpeg4", 1200000, "", "", "libmp3lame", 128000, 48000, 2, false},
    {"AU - SUN Audio (*.au)", "", 0, "", "", "pcm_s16be", 128000, 48000, 2, true},
    {"M4A - Mpeg4 Audio File (*.m4a)", "", 0, "", "", "libfaac", 128000, 48000, 2, true},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "", 0, "", "", "libmp3lame", 192000, 48000, 2, true},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "", 0, "", "", "vorbis", 160000, 48000, 2, true},
    {"RA - Real Audio (*.ra)", "", 0, "", "", "ac3", 128000, 48000, 2, true},
    {"WAV - Waveform Audio (*.wav)", "", 0, "", "", "pcm_s16le", 128000, 44100, 2, true},
    {"WMA - Windows Media Audio (*.wma)", "", 0, "", "", "wmav2", 128000, 48000, 2, true},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "", 0, "", "", "mp2", 224000, 48000, 2, true},
    {"Zune Mpeg4 Video (*.mp4)", "mpeg4", 1500000, "320x240", "30000/1001", "libfaac", 128000, 44100, 2, false},
    {"Zune WMV Windows Media Video (*.wmv)", "wmv2", 1200000, "320x240", "", "wmav2", 128000, 48000, 2, false},
    {"PSP Video (*.mp4)", "mpeg4", 768000, "368x208", "30000/1001", "libfaac", 64000, 24000, 2, false},
    {"PS3 Video (*.mp4)", "libx264", 1200000, "720x480", "30000/1001", "libfaac", 96000, 44100, 2, false},
    {"PS3 Video(480P) (*.mp4)", "libx264", 1200000, "720x480", "30000/1001", "libfaac", 96000, 44100, 2, false},
    {"PS3 Video(720P) (*.mp4)", "libx264", 2000000, "1280x720", "30000/1001", "libfaac", 96000, 44100, 2, false},
    {"PS3 Video(1080P) (*.mp4)", "libx264", 2000000, "1920x1072", "30000/1001", "libfaac", 96000, 44100, 2, false},
    {"Archos AV500/GMini402 (*.avi)", "mpeg4", 1200000, "480x272", "", "libmp3lame", 128000, 48000, 2, false},
    {"Archos AV700 (*.avi)", "mpeg4", 2000000, "720x480", "", "libmp3lame", 128000, 48000, 2, false},
    {"Creative Zen Vision (*.avi)", "mpeg4", 1200000, "640x480", "", "libmp3lame", 128000, 48000, 2, false},
    {"iRiver PMP100 (*.avi)", "mpeg4", 1200000, "640x480", "", "libmp3lame", 128000, 48000, 2, false},
    {"BlackBerry MPEG-4 Video (*.mp4)", "mpeg4", 300000, "320x240", "24", "libfaac", 80000, 44100, 2, false},
    {"BlackBerry AVI Video (*.avi)", "h263", 300000, "176x144", "24", "libmp3lame", 80000, 44100, 2, false},
    {"BlackBerry 3GP Video (*.3gp)", "mpeg4", 120000, "176x144", "15", "libamr_nb", 4750, 8000, 1, false},
  };
  return records;
}

TProfileControls FreshControls() {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  return controls;
}

TOutputOptions Translate(const TProfileControls& controls) {
  TOutputOptions options;
  InitOutputOptions(options);
  ApplyProfileToOptions(controls, options);
  return options;
}

void PrintTo(const TRecordExpect& row, std::ostream* os) { *os << '"' << row.DisplayName << '"'; }

class ProfileTranslation : public ::testing::TestWithParam<TRecordExpect> {};

TEST_P(ProfileTranslation, DefaultsGiveTheRecord) {
  const TRecordExpect& want = GetParam();
  TProfileControls controls = FreshControls();
  ASSERT_TRUE(ChooseOutputFormat(controls, want.DisplayName));
  TOutputOptions options = Translate(controls);
  EXPECT_EQ(options.VideoCodec, want.VideoCodec);
  EXPECT_EQ(options.VideoBitrate, want.VideoBitrate);
  EXPECT_EQ(options.FrameSize, want.FrameSize);
  EXPECT_EQ(options.FrameRate, want.FrameRate);
  EXPECT_EQ(options.AudioCodec, want.AudioCodec);
  EXPECT_EQ(options.AudioBitrate, want.AudioBitrate);
  EXPECT_EQ(options.AudioSampleRate, want.AudioSampleRate);
  EXPECT_EQ(options.AudioChannels, want.AudioChannels);
  EXPECT_EQ(options.DisableVideo, want.DisableVideo);
  // Aspect "Original" writes nothing; the translations never choose the
  // container or a target preset.
  EXPECT_EQ(options.AspectRatio, "");
  EXPECT_EQ(options.FileFormat, "");
  EXPECT_EQ(options.Target, 0);
  EXPECT_EQ(options.NormType, 0);
  EXPECT_FALSE(options.DisableAudio);
  EXPECT_EQ(options.AudioVolume, -1);
}

std::string RecordName(const ::testing::TestParamInfo<TRecordExpect>& info) {
  return "Row" + std::to_string(LookupOutputFormat(info.param.DisplayName)->ProfileId);
}

INSTANTIATE_TEST_SUITE_P(EveryOfferedRow, ProfileTranslation, ::testing::ValuesIn(ExpectedRecords()), RecordName);

TEST(ProfileTranslation, CoversEveryOfferedRow) {
  std::vector<std::string> names;
  for (const TRecordExpect& record : ExpectedRecords()) names.push_back(record.DisplayName);
  EXPECT_EQ(names.size(), 56u);
  for (const std::string& offered : OfferedOutputFormats())
    EXPECT_NE(std::find(names.begin(), names.end(), offered), names.end()) << offered;
}

TEST(ProfileTranslation, WorkedResults) {
  struct {
    const char* display;
    const char* videoCodec;
    int32_t videoBitrate;
    const char* frameSize;
    const char* audioCodec;
    int32_t audioBitrate, sampleRate, channels;
    bool disableVideo;
  } cases[] = {
      {"3GP - Mobile Video Format (*.3gp)", "mpeg4", 128000, "176x144", "libamr_nb", 7400, 8000, 1, false},
      {"Apple TV H264 (1280 x 720) (*.mp4)", "libx264", 2500000, "1280x720", "libfaac", 64000, 48000, 2, false},
      {"AVI - Audio Video Interleave (*.avi)", "mpeg4", 1200000, "", "pcm_s16le", 128000, 48000, 2, false},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", "", 0, "", "libmp3lame", 192000, 48000, 2, true},
      {"Zune WMV Windows Media Video (*.wmv)", "wmv2", 1200000, "320x240", "wmav2", 128000, 48000, 2, false},
      {"BlackBerry 3GP Video (*.3gp)", "mpeg4", 120000, "176x144", "libamr_nb", 4750, 8000, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.display);
    TProfileControls controls = FreshControls();
    ASSERT_TRUE(ChooseOutputFormat(controls, c.display));
    TOutputOptions options = Translate(controls);
    EXPECT_EQ(options.VideoCodec, c.videoCodec);
    EXPECT_EQ(options.VideoBitrate, c.videoBitrate);
    EXPECT_EQ(options.FrameSize, c.frameSize);
    EXPECT_EQ(options.AudioCodec, c.audioCodec);
    EXPECT_EQ(options.AudioBitrate, c.audioBitrate);
    EXPECT_EQ(options.AudioSampleRate, c.sampleRate);
    EXPECT_EQ(options.AudioChannels, c.channels);
    EXPECT_EQ(options.DisableVideo, c.disableVideo);
  }
}

// Chooses displayName, then the given item of each named list, and translates.
TOutputOptions TranslateWith(const std::string& displayName,
                             std::initializer_list<std::pair<const char*, const char*>> choices) {
  TProfileControls controls = FreshControls();
  EXPECT_TRUE(ChooseOutputFormat(controls, displayName));
  for (const auto& [name, item] : choices)
    EXPECT_TRUE(SettingsControlByName(controls, name)->SelectText(item)) << name << " " << item;
  return Translate(controls);
}

TEST(ProfileTranslation, UserChoices) {
  EXPECT_EQ(TranslateWith("AVI - Audio Video Interleave (*.avi)", {{"AudioCodec", "mp3"}}).AudioCodec, "libmp3lame");
  EXPECT_EQ(TranslateWith("AVI - Audio Video Interleave (*.avi)", {{"AudioCodec", "mp2"}}).AudioCodec, "mp2");
  EXPECT_EQ(TranslateWith("AVI - Audio Video Interleave (*.avi)", {{"AudioCodec", "ac3"}}).AudioCodec, "ac3");
  EXPECT_EQ(TranslateWith("AVI - Audio Video Interleave (*.avi)", {{"VideoCodec", "H264"}}).VideoCodec, "libx264");
  EXPECT_EQ(TranslateWith("MP4 - MPEG4 Video (*.mp4)", {{"VideoCodec", "XVid"}}).VideoCodec, "libxvid");
  EXPECT_EQ(TranslateWith("RM - Real Video (*.rm)", {{"VideoCodec", "RV20"}}).VideoCodec, "rv20");
  EXPECT_EQ(TranslateWith("RM - Real Video (*.rm)", {{"VideoBitrate", "400  Kbps"}}).VideoBitrate, 400000);
  EXPECT_EQ(TranslateWith("Zune Mpeg4 Video (*.mp4)", {{"VideoCodec", "H264"}}).VideoCodec, "libx264");

  TOutputOptions sized = TranslateWith("AVI - DivX Video (*.avi)", {{"VideoSize", "704 x 576 (4CIF)"}});
  EXPECT_EQ(sized.FrameSize, "704x576");
  sized = TranslateWith("AVI - DivX Video (*.avi)", {{"VideoSize", "320 x 240 (VGA)"}});
  EXPECT_EQ(sized.FrameSize, "320x240");

  TOutputOptions ipod = TranslateWith("iPod (*.mp4)", {{"VideoCodec", "H264"}});
  EXPECT_EQ(ipod.VideoCodec, "libx264");
  EXPECT_EQ(ipod.AudioCodec, "libfaac");

  TOutputOptions blackberry =
      TranslateWith("BlackBerry 3GP Video (*.3gp)", {{"AudioCodec", "mpeg4aac"}, {"VideoCodec", "H263"}});
  EXPECT_EQ(blackberry.AudioCodec, "libfaac");
  EXPECT_EQ(blackberry.VideoCodec, "h263");
  EXPECT_EQ(blackberry.AudioChannels, 1);

  EXPECT_EQ(TranslateWith("AVI - DivX Video (*.avi)", {{"AudioChannels", "Mono"}}).AudioChannels, 1);
  EXPECT_EQ(TranslateWith("AVI - DivX Video (*.avi)", {{"AspectRatio", "16:9"}}).AspectRatio, "16:9");
  EXPECT_EQ(TranslateWith("AVI - DivX Video (*.avi)", {{"AspectRatio", "4:3"}}).AspectRatio, "4:3");

  // ASF is offered as a video format, so its output keeps the video.
  TOutputOptions asf = TranslateWith("ASF - Advance Streaming Format (*.asf)", {});
  EXPECT_FALSE(asf.DisableVideo);
  EXPECT_EQ(asf.VideoCodec, "msmpeg4");
  EXPECT_EQ(asf.AudioCodec, "libmp3lame");
}

// The device translations used to drop these choices: Apple devices wrote no
// channel count (a 5.1 source gave six-channel AAC, "Mono" gave stereo), and
// the 3GP rows encoded AMR-NB at 8000 Hz whatever was chosen.
TEST(ProfileTranslation, DeviceRowsTakeTheChosenChannelsAndAudio) {
  for (const char* row : {"iPod (*.mp4)", "iPod Touch (*.mp4)", "Apple TV (*.mp4)"}) {
    EXPECT_EQ(TranslateWith(row, {{"AudioChannels", "Mono"}}).AudioChannels, 1) << row;
    EXPECT_EQ(TranslateWith(row, {{"AudioChannels", "Stereo"}}).AudioChannels, 2) << row;
  }
  for (const char* row : {"3GP - Mobile Video Format (*.3gp)", "3G2 - Mobile Video Format (*.3g2)"}) {
    const TOutputOptions aac = TranslateWith(
        row, {{"AudioCodec", "mpeg4aac"}, {"SamplingRate", "16000 bps"}, {"AudioChannels", "Stereo"}});
    EXPECT_EQ(aac.AudioCodec, "libfaac") << row;
    EXPECT_EQ(aac.AudioSampleRate, 16000) << row;
    EXPECT_EQ(aac.AudioChannels, 2) << row;
  }
}

// The DVD list's "724 x ..." items are DVD full frames (its default, "724 x
// 480", converts in the job builder's tests).
TEST(ProfileTranslation, DvdSizesAreDvdFullFrames) {
  EXPECT_EQ(TranslateWith("DVD - VOB (*.vob)", {{"VideoSize", "724 x 576"}}).FrameSize, "720x576");
  EXPECT_EQ(TranslateWith("DVD - VOB (*.vob)", {{"VideoSize", "352 x 240"}}).FrameSize, "352x240");
}

// Items a format cannot take used to fail in the encoder or be replaced
// quietly by the engine; they are refused before anything runs, naming the
// items of the same list that the format takes, and the record is left alone.
TEST(ProfileTranslation, ChoicesTheFormatCannotTakeAreRefused) {
  struct {
    const char* display;
    std::initializer_list<std::pair<const char*, const char*>> choices;
    const char* message;
  } cases[] = {
      {"3GP - Mobile Video Format (*.3gp)", {{"VideoCodec", "H263"}, {"VideoSize", "320 x 240 (VGA)"}},
       "H263 video cannot be coded at \"320 x 240 (VGA)\"; it takes \"128 x 96 (SQCIF)\", \"176 x 144 (QCIF)\" or "
       "\"352 x 288 (CIF)\""},
      {"WMA - Windows Media Audio (*.wma)", {{"SamplingRate", "54000 Hz"}},
       "wmav2 audio cannot be sampled at \"54000 Hz\"; it takes \"8000 Hz\", \"16000 Hz\", \"22050 Hz\", "
       "\"32000 Hz\", \"44100 Hz\" or \"48000 Hz\""},
      {"3GP - Mobile Video Format (*.3gp)", {{"SamplingRate", "16000 bps"}},
       "amr_nb audio cannot be sampled at \"16000 bps\"; it takes \"8000 bps\""},
      {"BlackBerry 3GP Video (*.3gp)", {{"AudioChannels", "Stereo"}},
       "amr_nb audio cannot be \"Stereo\"; it takes \"Mono\""},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", {{"SamplingRate", "96000 Hz"}},
       "mp3 audio cannot be sampled at \"96000 Hz\"; it takes \"8000 Hz\", \"16000 Hz\", \"22050 Hz\", "
       "\"32000 Hz\", \"44100 Hz\" or \"48000 Hz\""},
      {"MPEG-1 Movie (*.mpg)", {{"VideoFramerate", "15.0 fps"}},
       "MPEG1VIDEO video cannot be coded at \"15.0 fps\"; it takes \"Auto\", \"23.975 fps\", \"25.0 fps\", "
       "\"29.97 fps\" or \"30.0 fps\""},
      {"RM - Real Video (*.rm)", {{"VideoSize", "320 x 200"}}, "RV10 video cannot be coded at \"320 x 200\"; it takes "},
      {"MP2 - Mpeg Layer2 Audio (*.mp2)", {{"SamplingRate", "22050 Hz"}},
       "mp2 audio at \"22050 Hz\", \"Stereo\" cannot take \"224 Kbps\"; it takes \"32 Kbps\", \"40 Kbps\", "
       "\"48 Kbps\", \"64 Kbps\", \"80 Kbps\", \"96 Kbps\", \"112 Kbps\", \"128 Kbps\" or \"160 Kbps\""},
      {"OGG - Ogg Vorbis Audio (*.ogg)", {{"SamplingRate", "8000 Hz"}},
       "vorbis audio at \"8000 Hz\", \"Stereo\" cannot take \"160 Kbps\"; it takes \"32 Kbps\", \"40 Kbps\", "
       "\"48 Kbps\", \"64 Kbps\" or \"80 Kbps\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.display);
    TProfileControls controls = FreshControls();
    ASSERT_TRUE(ChooseOutputFormat(controls, c.display));
    for (const auto& [name, item] : c.choices) ASSERT_TRUE(SettingsControlByName(controls, name)->SelectText(item));
    TOutputOptions options;
    InitOutputOptions(options);
    try {
      ApplyProfileToOptions(controls, options);
      ADD_FAILURE() << "not refused";
    } catch (const EProfileConvertError& refusal) {
      EXPECT_EQ(std::string(refusal.what()).substr(0, std::strlen(c.message)), c.message);
    }
    EXPECT_EQ(options.AudioCodec, "");
    EXPECT_EQ(options.FrameSize, "");
  }
}

TEST(ProfileTranslation, ArchosAutoSizeKeepsTheSourceSize) {
  for (const char* row : {"Archos AV500/GMini402 (*.avi)", "Archos AV700 (*.avi)", "Creative Zen Vision (*.avi)"}) {
    TOutputOptions options = TranslateWith(row, {{"VideoSize", "Auto"}});
    EXPECT_EQ(options.FrameSize, "") << row;
    options = TranslateWith(row, {{"VideoSize", "160 x 120"}});
    EXPECT_EQ(options.FrameSize, "160x120") << row;
  }
}

TEST(ProfileTranslation, FrameRateChoiceIsApplied) {
  struct {
    const char* display;
    const char* item;
    const char* rate;
  } cases[] = {
      {"AVI - DivX Video (*.avi)", "Auto", ""},
      {"AVI - DivX Video (*.avi)", "14.985 fps", "15000/1001"},
      {"AVI - DivX Video (*.avi)", "15.0 fps", "15"},
      {"AVI - DivX Video (*.avi)", "23.975 fps", "24000/1001"},
      {"AVI - DivX Video (*.avi)", "25.0 fps", "25"},
      {"AVI - DivX Video (*.avi)", "29.97 fps", "30000/1001"},
      {"AVI - DivX Video (*.avi)", "30.0 fps", "30"},
      {"DVD - VOB (*.vob)", "23.976 fps [NTSC]", "24000/1001"},
      {"DVD - VOB (*.vob)", "25 fps [PAL]", "25"},
      {"DVD - VOB (*.vob)", "59.94 fps", "60000/1001"},
      {"DVD - VOB (*.vob)", "50 fps", "50"},
      {"3GP - Mobile Video Format (*.3gp)", "11 fps", "11"},
      {"3GP - Mobile Video Format (*.3gp)", "14.985 fps", "15000/1001"},
      {"iPod (*.mp4)", "29.97 fps", "30000/1001"},
      {"iPod (*.mp4)", "Auto", ""},
      {"BlackBerry 3GP Video (*.3gp)", "Auto", ""},
      {"PSP Video (*.mp4)", "14.985 fps", "15000/1001"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TranslateWith(c.display, {{"VideoFramerate", c.item}}).FrameRate, c.rate) << c.display << " " << c.item;
}

TEST(ProfileTranslation, RowsNeverOfferedWriteNothing) {
  TProfileControls controls = FreshControls();
  ASSERT_TRUE(ChooseOutputFormat(controls, "AVI - DivX Video (*.avi)"));
  for (int id : {2, 5, 16, 17, 21, 47, 48, 51, 52, 54, 55, 56, 57, 62, 70}) {
    TOutputOptions options;
    EXPECT_FALSE(TranslateProfileOptions(id, controls, options)) << id;
    EXPECT_EQ(options.VideoCodec, "");
    EXPECT_EQ(options.VideoBitrate, -1);
  }
  controls.ComboOutputFormat.Assign({"iPod Wide Screen (*.mp4)"}, 0);
  TOutputOptions options = Translate(controls);
  EXPECT_EQ(options.VideoCodec, "");
  EXPECT_EQ(options.AudioBitrate, -1);
}

TEST(SettingsParsing, LeadingNumber) {
  EXPECT_EQ(LeadingNumber("1200 Kbps"), "1200");
  EXPECT_EQ(LeadingNumber("384  Kbps"), "384");
  EXPECT_EQ(LeadingNumber("8000  bps"), "8000");
  EXPECT_EQ(LeadingNumber("8000  Hz"), "8000");
  EXPECT_EQ(LeadingNumber("29.97 fps [NTSC]"), "29.97");
  EXPECT_EQ(LeadingNumber("1200"), "");
  EXPECT_EQ(LeadingNumber(""), "");
  EXPECT_EQ(LeadingNumber(" 12 Kbps"), "");
}

TEST(SettingsParsing, Integers) {
  EXPECT_EQ(ParseSettingInteger("000"), 0);
  EXPECT_EQ(ParseSettingInteger("1200000"), 1200000);
  EXPECT_EQ(ParseSettingInteger("-5"), -5);
  EXPECT_EQ(ParseSettingInteger("2147483647"), 2147483647);
  for (const char* bad : {"", "-", "+", "12a", "1.5", "Kbps", "2147483648", "99999999999000", " 12", "0x10"})
    EXPECT_THROW(ParseSettingInteger(bad), EProfileConvertError) << "'" << bad << "'";
  try {
    ParseSettingInteger("abc");
    FAIL();
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
  }
}

TEST(SettingsParsing, GetFrameSize) {
  EXPECT_EQ(GetFrameSize("320 x 240 (VGA)"), "320x240");
  EXPECT_EQ(GetFrameSize("704 x 576 (4CIF)"), "704x576");
  EXPECT_EQ(GetFrameSize("128 x 96 (SQCIF)"), "128x96");
  EXPECT_EQ(GetFrameSize("320 x 240 "), "320x240");
  EXPECT_EQ(GetFrameSize("720 x 406"), "720x406");
  EXPECT_EQ(GetFrameSize("1920 x 1072"), "1920x1072");
  EXPECT_EQ(GetFrameSize("Original Video Size"), "original");
  EXPECT_EQ(GetFrameSize("a (b) (c)"), "a");
  EXPECT_EQ(GetFrameSize(""), "");
}

TEST(SettingsParsing, EncoderNames) {
  EXPECT_EQ(CodecVideoEncoderName("WMV2x"), "wmv2");
  EXPECT_EQ(CodecVideoEncoderName("MPEG4_QT"), "mpeg4");
  EXPECT_EQ(CodecVideoEncoderName("MSMPEG4"), "msmpeg4");
  EXPECT_EQ(CodecVideoEncoderName("RAWVIDEO"), "rawvideo");
  EXPECT_EQ(DeviceVideoEncoderName("WMV2x"), "wmv2x");
  EXPECT_EQ(DeviceVideoEncoderName("MPEG4_QT"), "mpeg4_qt");
  EXPECT_EQ(DeviceVideoEncoderName("XVID"), "libxvid");

  struct {
    const char* text;
    const char* encoder;
  } audio[] = {
      {"aac", "libfaac"},     {"AC3", "ac3"},           {"flac", "flac"},        {"asf", "mp3"},
      {"MP3", "libmp3lame"},  {"m4a", "mpeg4aac"},      {"mpeg4aac", "libfaac"}, {"ra", "ac3"},
      {"wma7x", "wmav2"},     {"wav", "pcm_s16le"},     {"mpeg4aac_qt", "libfaac"}, {"amr_nb", "libamr_nb"},
      {"mp2", "mp2"},         {"pcm_s16be", "pcm_s16be"}, {"vorbis", "vorbis"},   {"WMAV2", "wmav2"},
      {"", ""},
  };
  for (const auto& a : audio) EXPECT_EQ(CodecAudioEncoderName(a.text), a.encoder) << a.text;
}

TEST(SettingsParsing, AudioOnlyFormats) {
  for (const char* name : {"AAC", "AC3", "AU", "MP2", "MP3", "WAV", "WMA", "RA", "M4A", "AMR", "OGG", "mp3"})
    EXPECT_TRUE(IsAudioOnlyFormat(name)) << name;
  for (const char* name : {"MP4", "AVI", "3GP", "3G2", "MOV", "MPG", "RM", "WMV", "SWF", "FLV", "VOB", "ASF", ""})
    EXPECT_FALSE(IsAudioOnlyFormat(name)) << name;
}

// A malformed number reaches the job builder as an exception it can catch,
// and the record is left as it was.
TEST(SettingsParsing, MalformedNumberRaisesAndLeavesTheRecord) {
  struct {
    const char* display;
    const char* control;
  } cases[] = {
      {"AVI - DivX Video (*.avi)", "AudioBitrate"},
      {"AVI - DivX Video (*.avi)", "VideoBitrate"},
      {"AVI - DivX Video (*.avi)", "SamplingRate"},
      {"iPod (*.mp4)", "AudioBitrate"},
      {"3GP - Mobile Video Format (*.3gp)", "SamplingRate"},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", "AudioBitrate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.display) + " " + c.control);
    TProfileControls controls = FreshControls();
    ASSERT_TRUE(ChooseOutputFormat(controls, c.display));
    SettingsControlByName(controls, c.control)->Assign({"lots Kbps"}, 0);
    TOutputOptions options;
    InitOutputOptions(options);
    EXPECT_THROW(ApplyProfileToOptions(controls, options), EProfileConvertError);
    EXPECT_EQ(options.VideoCodec, "");
    EXPECT_EQ(options.AudioCodec, "");
    EXPECT_EQ(options.VideoBitrate, -1);
    EXPECT_EQ(options.AudioBitrate, -1);
    EXPECT_EQ(options.FrameSize, "");
    EXPECT_FALSE(options.DisableVideo);
  }
  // A list with nothing selected has no leading number either.
  TProfileControls controls = FreshControls();
  ASSERT_TRUE(ChooseOutputFormat(controls, "WAV - Waveform Audio (*.wav)"));
  controls.ComboSamplingRate.Clear();
  TOutputOptions options;
  EXPECT_THROW(ApplyProfileToOptions(controls, options), std::runtime_error);
}

}  // namespace
}  // namespace fennick
