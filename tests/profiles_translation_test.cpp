// Translation of the chosen settings into an output task record: what every
// offered row and item must give, the worked examples, the choices that
// used to be lost or misread, and the parsing of the display texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "component/task_options.h"
#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"

namespace fennick {
namespace {

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

// "640x480", "30000/1001", "25": positive integers joined by separator, or
// one alone when single is allowed.
bool IsNumbers(const std::string& text, char separator, bool single) {
  const size_t at = text.find(separator);
  if (at == std::string::npos && !single) return false;
  const auto positive = [](std::string_view part) {
    return !part.empty() && part[0] != '0' && part.find_first_not_of("0123456789") == std::string_view::npos;
  };
  const std::string_view whole(text);
  return at == std::string::npos ? positive(whole) : positive(whole.substr(0, at)) && positive(whole.substr(at + 1));
}

// With a fresh window ("Stereo", aspect "Original") every offered classic
// row's defaults translate into a record the engine can take: encoders and
// rates for what the output carries, no video exactly when the row offers
// no video settings, and nothing it must never write. (The formats of
// today choose by quality and keep the source's rate and channels: their
// own tests say what they give.)
TEST(ProfileTranslation, EveryOfferedRowTranslatesItsDefaults) {
  for (const std::string& name : OfferedOutputFormats()) {
    if (IsFormatOfToday(*LookupOutputFormat(name))) continue;
    SCOPED_TRACE(name);
    TProfileControls controls = FreshControls();
    ASSERT_TRUE(ChooseOutputFormat(controls, name));
    TOutputOptions options;
    ASSERT_NO_THROW(options = Translate(controls));
    EXPECT_NE(options.AudioCodec, "");
    EXPECT_GT(options.AudioBitrate, 0);
    EXPECT_GT(options.AudioSampleRate, 0);
    EXPECT_TRUE(options.AudioChannels == 1 || options.AudioChannels == 2);
    EXPECT_EQ(options.DisableVideo, controls.ComboVideoCodec.Count() == 0);
    if (options.DisableVideo) {
      EXPECT_EQ(options.VideoCodec, "");
      EXPECT_EQ(options.VideoBitrate, 0);
    } else {
      EXPECT_NE(options.VideoCodec, "");
      EXPECT_GT(options.VideoBitrate, 0);
    }
    EXPECT_EQ(options.AspectRatio, "");
    EXPECT_EQ(options.FileFormat, "");
    EXPECT_EQ(options.Target, 0);
    EXPECT_EQ(options.NormType, 0);
    EXPECT_FALSE(options.DisableAudio);
    EXPECT_EQ(options.AudioVolume, -1);
  }
}

std::string CodingText(const TOutputOptions& o) {
  return "|" + o.QualityOption + "=" + std::to_string(o.QualityValue) + "|" + o.SpeedPreset + "|" +
         o.SpeedDeadline + "|" + std::to_string(o.SpeedCpuUsed) + "|" + o.PixelFormat + "|" + o.EncoderParams +
         (o.RowThreads ? "|row-mt" : "") + (o.FastStart ? "|faststart" : "");
}

std::string RecordText(const TOutputOptions& o) {
  return o.VideoCodec + "|" + std::to_string(o.VideoBitrate) + "|" + o.FrameSize + "|" + o.FrameRate + "|" +
         o.AudioCodec + "|" + std::to_string(o.AudioBitrate) + "|" + std::to_string(o.AudioSampleRate) + "|" +
         std::to_string(o.AudioChannels) + "|" + o.VideoTag + "|" + o.ExtOptions + CodingText(o);
}

// Every item a row offers either takes effect (two items of one list never
// give the same record) or is refused as one the format cannot take; sizes
// and rates reach the engine as integers ("640x480", "30000/1001"). The
// aspect is not in this: the options dialog and the job builder set it.
TEST(ProfileTranslation, EveryOfferedItemTakesEffectOrIsRefused) {
  for (const std::string& name : OfferedOutputFormats()) {
    TProfileControls fresh = FreshControls();
    ASSERT_TRUE(ChooseOutputFormat(fresh, name));
    for (const char* listName : {"VideoCodec", "VideoBitrate", "VideoSize", "VideoFramerate", "AudioCodec",
                                 "AudioBitrate", "SamplingRate", "AudioChannels", "EncoderSpeed"}) {
      std::vector<std::string> records;
      const TSettingsControl& list = *SettingsControlByName(fresh, listName);
      for (int i = 0; i < list.Count(); ++i) {
        SCOPED_TRACE(name + " " + listName + " \"" + list.Items()[i] + "\"");
        TProfileControls controls = fresh;
        SettingsControlByName(controls, listName)->SetItemIndex(i);
        TOutputOptions options;
        try {
          options = Translate(controls);
        } catch (const EProfileSettingRefused&) {
          continue;
        }
        EXPECT_TRUE(options.FrameSize.empty() || IsNumbers(options.FrameSize, 'x', false)) << options.FrameSize;
        EXPECT_TRUE(options.FrameRate.empty() || IsNumbers(options.FrameRate, '/', true)) << options.FrameRate;
        const std::string record = RecordText(options);
        EXPECT_EQ(std::find(records.begin(), records.end(), record), records.end()) << record;
        records.push_back(record);
      }
    }
  }
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
  EXPECT_EQ(TranslateWith("DVD - VOB (*.vob)", {}).FrameSize, "720x480");
  EXPECT_EQ(TranslateWith("DVD - VOB (*.vob)", {{"VideoSize", "724 x 576"}, {"VideoFramerate", "25 fps [PAL]"}})
                .FrameSize,
            "720x576");
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

TEST(ProfileTranslation, RowsNeverOfferedWriteNothing) {
  const std::vector<std::string> offered = OfferedOutputFormats();
  TProfileControls controls = FreshControls();
  ASSERT_TRUE(ChooseOutputFormat(controls, "AVI - DivX Video (*.avi)"));
  for (const TheAVCodec& row : OutputFormatTable) {
    if (std::find(offered.begin(), offered.end(), row.DisplayName) != offered.end()) continue;
    TOutputOptions options;
    EXPECT_FALSE(TranslateProfileOptions(row.ProfileId, controls, options)) << row.DisplayName;
    EXPECT_EQ(options.VideoCodec, "");
    EXPECT_EQ(options.VideoBitrate, -1);
    controls.ComboOutputFormat.Assign({std::string(row.DisplayName)}, 0);
    options = Translate(controls);
    EXPECT_EQ(options.VideoCodec, "");
    EXPECT_EQ(options.AudioBitrate, -1);
  }
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

// The NTSC family as exact fractions, other rates without a decimal
// separator, so that no locale changes their reading.
TEST(SettingsParsing, GetFrameRate) {
  EXPECT_EQ(GetFrameRate("Auto"), "");
  EXPECT_EQ(GetFrameRate("14.985 fps"), "15000/1001");
  EXPECT_EQ(GetFrameRate("23.975 fps"), "24000/1001");
  EXPECT_EQ(GetFrameRate("23.976 fps [NTSC]"), "24000/1001");
  EXPECT_EQ(GetFrameRate("29.97 fps [NTSC]"), "30000/1001");
  EXPECT_EQ(GetFrameRate("59.94 fps"), "60000/1001");
  EXPECT_EQ(GetFrameRate("15.0 fps"), "15");
  EXPECT_EQ(GetFrameRate("25 fps [PAL]"), "25");
  EXPECT_EQ(GetFrameRate("12.5 fps"), "25/2");
}

TEST(SettingsParsing, EncoderNames) {
  EXPECT_EQ(CodecVideoEncoderName("WMV2x"), "wmv2");
  EXPECT_EQ(CodecVideoEncoderName("MPEG4_QT"), "mpeg4");
  EXPECT_EQ(CodecVideoEncoderName("MSMPEG4"), "msmpeg4");
  EXPECT_EQ(DeviceVideoEncoderName("WMV2x"), "wmv2x");
  EXPECT_EQ(DeviceVideoEncoderName("XVID"), "libxvid");

  // The first matching line wins and its result is not looked up again.
  EXPECT_EQ(CodecAudioEncoderName("m4a"), "mpeg4aac");
  struct {
    const char* text;
    const char* encoder;
  } offered[] = {
      {"mpeg4aac", "libfaac"},   {"mp3", "libmp3lame"},     {"mp2", "mp2"},     {"ac3", "ac3"},
      {"aac", "libfaac"},        {"amr_nb", "libamr_nb"},   {"pcm_s16le", "pcm_s16le"},
      {"pcm_s16be", "pcm_s16be"}, {"wmav2", "wmav2"},       {"vorbis", "vorbis"},
  };
  for (const auto& a : offered) EXPECT_EQ(CodecAudioEncoderName(a.text), a.encoder) << a.text;
  EXPECT_EQ(CodecAudioEncoderName("MP3"), "libmp3lame");
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
