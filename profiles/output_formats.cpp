// The profiles: the item lists they offer, the fill procedures that families
// of profiles share, then OutputFormatTable, one row per profile, and the
// format list, lookup and open-dialog filter built on it.
#include "profiles/output_formats.h"

#include <algorithm>
#include <vector>

#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"

namespace fennick {

namespace {

using TItems = std::vector<std::string>;

// Item lists shared by several profiles. The texts are display texts, blanks
// included ("384  Kbps", "8000  Hz", "320 x 240 "); the translation parses them.
const TItems SZ1 = {"Original Video Size", "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 120",
                    "176 x 144 (QCIF)",    "192 x 144",        "208 x 176",        "220 x 176",
                    "240 x 180",           "320 x 200",        "320 x 240 (VGA)",  "352 x 240",
                    "352 x 288 (CIF)",     "480 x 272",        "480 x 360",        "480 x 480",
                    "480 x 576",           "624 x 352",        "640 x 352",        "640 x 480",
                    "704 x 576 (4CIF)",    "720 x 480",        "720 x 576"};
const TItems SZ2 = {"128 x 96 (SQCIF)", "176 x 144 (QCIF)", "352 x 240", "352 x 288 (CIF)",
                    "480 x 272",        "480 x 480",        "640 x 480", "704 x 576 (4CIF)"};
const TItems SZ3 = {"128 x 96 (SQCIF)", "176 x 144 (QCIF)", "352 x 240",        "352 x 288 (CIF)", "480 x 272",
                    "480 x 480",        "640 x 480",        "704 x 576 (4CIF)", "724 x 480",       "724 x 576"};
const TItems SZ4 = {"128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 144 (QCIF)", "208 x 176",
                    "220 x 176",        "320 x 240 (VGA)",  "352 x 288 (CIF)"};
const TItems SZ5 = {"Auto", "160 x 120", "320 x 240", "480 x 272", "720 x 480", "640 x 480"};
const TItems SZ6 = {"160 x 112", "320 x 240", "368 x 208", "480 x 272"};
const TItems SZ7 = {"640 x 480", "720 x 480", "720 x 576"};
const TItems SZ8 = {"320 x 240 ", "640 x 480"};
const TItems SZ9 = {"176 x 144", "240 x 180", "320 x 240"};

const TItems VB1 = {"192 Kbps",  "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps",  "640 Kbps", "768 Kbps",
                    "1000 Kbps", "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps", "2500 Kbps"};
const TItems VB2 = {"192 Kbps", "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps", "640 Kbps",
                    "768 Kbps", "1000 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"};
const TItems VB3 = {"512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"};
const TItems VB4 = {"512 Kbps",  "800 Kbps",  "1200 Kbps", "1500 Kbps",
                    "2000 Kbps", "2500 Kbps", "4000 Kbps", "7000 Kbps"};
const TItems VB5 = {"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"};
const TItems VB6 = {"256 Kbps", "512 Kbps", "768 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps"};
const TItems VB7 = {"48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"};
const TItems VB8 = {"80 Kbps", "120 Kbps", "200 Kbps", "256 Kbps", "300 Kbps", "512 Kbps"};
const TItems VB9 = {"384  Kbps", "400  Kbps", "600  Kbps", "1200 Kbps",
                    "1800 Kbps", "2200 Kbps", "2600 Kbps", "3000 Kbps"};
const TItems VB10 = {"1000 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps"};
const TItems VB11 = {"48 Kbps", "64 Kbps", "96 Kbps", "120 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"};

const TItems FR1 = {"Auto", "14.985 fps", "15.0 fps", "23.975 fps", "25.0 fps", "29.97 fps", "30.0 fps"};
const TItems FR2 = {"23.976 fps [NTSC]", "24 fps", "25 fps [PAL]", "29.97 fps [NTSC]",
                    "30.0 fps",          "50 fps", "59.94 fps"};
const TItems FR3 = {"Auto", "11 fps", "14.985 fps", "15 fps"};
const TItems FR4 = {"11 fps", "15 fps", "20 fps", "24 fps", "25 fps"};
const TItems FR5 = {"Auto", "11 fps", "15 fps", "20 fps", "24 fps", "25 fps"};
const TItems FR6 = {"14.985 fps", "29.97 fps"};

const TItems AB1 = {"32 Kbps",  "40 Kbps",  "48 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps", "112 Kbps",
                    "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"};
const TItems AB2 = {"4750 bps", "5150 bps", "5900 bps", "6700 bps", "7400 bps", "7950 bps", "10200 bps", "12200 bps"};
const TItems AB3 = {"32 Kbps", "48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "160 Kbps"};
const TItems AB4 = {"40 Kbps", "48 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps"};

const TItems SR1 = {"8000 Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
const TItems SR2 = {"8000  Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
const TItems SR3 = {"11025 Hz", "22050 Hz", "44100 Hz"};
const TItems SR4 = {"44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
const TItems SR5 = {"8000  bps", "16000 bps"};
const TItems SR6 = {"8000  Hz", "16000 Hz"};

// Empties the list, adds items and selects the first item equal to selected.
void Replace(TSettingsControl& control, const TItems& items, std::string_view selected) {
  control.Assign(items, -1);
  control.SelectText(selected);
}

void ReplaceSingle(TSettingsControl& control, const std::string& item) { control.Assign({item}, 0); }

void SelectStereoOriginal(TProfileControls& c) {
  c.ComboAudioChannels.SelectText("Stereo");
  c.ComboAspectRatio.SelectText("Original");
}

void EmptyVideoControls(TProfileControls& c) {
  c.ComboVideoCodec.Clear();
  c.ComboVideoBitrate.Clear();
  c.ComboVideoSize.Clear();
  c.ComboVideoFramerate.Clear();
}

void FillMobile3gp(TProfileControls& c) {
  Replace(c.ComboVideoCodec, {"MPEG4", "H263", "H264"}, "MPEG4");
  Replace(c.ComboVideoBitrate, VB7, "128 Kbps");
  Replace(c.ComboVideoSize, SZ4, "176 x 144 (QCIF)");
  Replace(c.ComboVideoFramerate, FR3, "Auto");
  Replace(c.ComboAudioCodec, {"amr_nb", "mpeg4aac"}, "amr_nb");
  Replace(c.ComboAudioBitrate, AB2, "7400 bps");
  Replace(c.ComboSamplingRate, SR5, "8000  bps");
  c.ComboAudioChannels.SelectText("Mono");
}

// Shared by the iPod and iPod Touch families; variant is "Normal", "Extra"
// or "Wide Screen".
void FillPortable(TProfileControls& c, const TItems& videoCodecs, const std::string& variant,
                  const std::string& normalSize, const std::string& normalVideoRate,
                  const std::string& normalAudioRate) {
  Replace(c.ComboVideoCodec, videoCodecs, "MPEG4");
  std::string size = variant == "Extra" ? "640 x 480" : variant == "Wide Screen" ? "720 x 406" : normalSize;
  ReplaceSingle(c.ComboVideoSize, size);
  Replace(c.ComboVideoBitrate, VB3, normalVideoRate);
  Replace(c.ComboAudioBitrate, AB1, normalAudioRate);
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  Replace(c.ComboSamplingRate, SR1, "44100 Hz");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  if (variant == "Extra" || variant == "Wide Screen") c.ComboVideoBitrate.SelectText("1500 Kbps");
  if (variant == "Wide Screen") {
    c.ComboAudioBitrate.SelectText("128 Kbps");
    SelectStereoOriginal(c);
  }
}

void FillIPod(TProfileControls& c, const std::string& variant) {
  FillPortable(c, {"MPEG4", "H264"}, variant, "320 x 240", "512 Kbps", "64 Kbps");
}

void FillIPodTouch(TProfileControls& c, const std::string& variant) {
  FillPortable(c, {"MPEG4"}, variant, "480 x 320", "1200 Kbps", "80 Kbps");
}

void FillIPhone(TProfileControls& c, const std::string& size) {
  bool small = size == "480 x 320";
  ReplaceSingle(c.ComboVideoCodec, "MPEG4");
  Replace(c.ComboVideoBitrate, VB3, small ? "1200 Kbps" : "1500 Kbps");
  ReplaceSingle(c.ComboVideoSize, size);
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  Replace(c.ComboAudioBitrate, AB1, small ? "80 Kbps" : "128 Kbps");
  Replace(c.ComboSamplingRate, SR1, "44100 Hz");
  SelectStereoOriginal(c);
}

// quality is "Good" or "Normal".
void FillAppleTV(TProfileControls& c, const std::string& quality) {
  bool good = quality == "Good";
  ReplaceSingle(c.ComboVideoCodec, "MPEG4");
  Replace(c.ComboVideoBitrate, VB3, good ? "1500 Kbps" : "1200 Kbps");
  ReplaceSingle(c.ComboVideoSize, "640 x 480");
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  Replace(c.ComboAudioBitrate, AB1, good ? "128 Kbps" : "96 Kbps");
  Replace(c.ComboSamplingRate, SR1, "44100 Hz");
  SelectStereoOriginal(c);
}

void FillAppleTVH264(TProfileControls& c, const std::string& size) {
  ReplaceSingle(c.ComboVideoCodec, "H264");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  int qualityIndex = 2, rateIndex = 5;
  if (size == "1280 x 720") {
    qualityIndex = 5;
    rateIndex = 3;
  } else if (size == "640 x 480") {
    qualityIndex = 4;
  }
  ReplaceSingle(c.ComboVideoSize, size);
  c.ComboVideoBitrate.Assign(VB4, qualityIndex);
  Replace(c.ComboAudioBitrate, AB1, "64 Kbps");
  c.ComboVideoFramerate.Assign(FR1, rateIndex);
  Replace(c.ComboSamplingRate, SR1, "48000 Hz");
  SelectStereoOriginal(c);
}

// kind is "normal", "divx", "xvid" or "uncompress".
void FillAvi(TProfileControls& c, const std::string& kind) {
  const TItems allAudio = {"pcm_s16le", "mp3", "mp2", "ac3"};
  if (kind == "divx") {
    ReplaceSingle(c.ComboVideoCodec, "MPEG4");
    ReplaceSingle(c.ComboAudioCodec, "mp3");
  } else if (kind == "xvid") {
    ReplaceSingle(c.ComboVideoCodec, "XVID");
    ReplaceSingle(c.ComboAudioCodec, "mp3");
  } else if (kind == "uncompress") {
    ReplaceSingle(c.ComboVideoCodec, "RAWVIDEO");
    Replace(c.ComboAudioCodec, allAudio, "pcm_s16le");
  } else {
    Replace(c.ComboVideoCodec, {"MPEG4", "H264"}, "MPEG4");
    Replace(c.ComboAudioCodec, allAudio, "pcm_s16le");
  }
  Replace(c.ComboVideoBitrate, VB2, "1200 Kbps");
  Replace(c.ComboVideoSize, SZ1, "Original Video Size");
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  Replace(c.ComboAudioBitrate, AB1, "128 Kbps");
  Replace(c.ComboSamplingRate, SR1, "48000 Hz");
  SelectStereoOriginal(c);
}

// MOV and MP4 differ only in the video codecs offered.
void FillQuickTimeFamily(TProfileControls& c, const TItems& videoCodecs) {
  Replace(c.ComboVideoCodec, videoCodecs, "MPEG4");
  Replace(c.ComboVideoBitrate, VB1, "1200 Kbps");
  Replace(c.ComboVideoSize, SZ1, "Original Video Size");
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  Replace(c.ComboAudioBitrate, AB1, "128 Kbps");
  Replace(c.ComboSamplingRate, SR1, "44100 Hz");
  SelectStereoOriginal(c);
}

// kind is "mpeg1" or "mpeg2".
void FillMpeg(TProfileControls& c, const std::string& kind) {
  bool mpeg2 = kind == "mpeg2";
  ReplaceSingle(c.ComboVideoCodec, mpeg2 ? "MPEG2VIDEO" : "MPEG1VIDEO");
  Replace(c.ComboVideoBitrate, VB1, mpeg2 ? "2000 Kbps" : "1600 Kbps");
  Replace(c.ComboVideoSize, SZ1, "320 x 240 (VGA)");
  Replace(c.ComboVideoFramerate, FR1, "25.0 fps");
  if (mpeg2)
    Replace(c.ComboAudioCodec, {"mp2", "ac3"}, "mp2");
  else
    ReplaceSingle(c.ComboAudioCodec, "mp2");
  Replace(c.ComboAudioBitrate, AB1, "192 Kbps");
  Replace(c.ComboSamplingRate, SR1, "44100 Hz");
  SelectStereoOriginal(c);
}

void FillRealVideo(TProfileControls& c) {
  Replace(c.ComboVideoCodec, {"RV10", "RV20"}, "RV10");
  Replace(c.ComboVideoBitrate, VB9, "384  Kbps");
  Replace(c.ComboVideoSize, SZ1, "320 x 240 (VGA)");
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  ReplaceSingle(c.ComboAudioCodec, "ac3");
  Replace(c.ComboAudioBitrate, AB1, "128 Kbps");
  Replace(c.ComboSamplingRate, SR2, "48000 Hz");
  SelectStereoOriginal(c);
}

void FillWindowsMedia(TProfileControls& c) {
  ReplaceSingle(c.ComboVideoCodec, "WMV2");
  Replace(c.ComboVideoBitrate, VB1, "1200 Kbps");
  Replace(c.ComboVideoSize, SZ1, "320 x 240 (VGA)");
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  ReplaceSingle(c.ComboAudioCodec, "wmav2");
  Replace(c.ComboAudioBitrate, AB1, "128 Kbps");
  Replace(c.ComboSamplingRate, SR1, "48000 Hz");
  SelectStereoOriginal(c);
}

// SWF and FLV.
void FillFlash(TProfileControls& c) {
  ReplaceSingle(c.ComboVideoCodec, "FLV");
  Replace(c.ComboVideoBitrate, VB1, "200 Kbps");
  Replace(c.ComboVideoSize, SZ1, "Original Video Size");
  Replace(c.ComboVideoFramerate, FR1, "15.0 fps");
  ReplaceSingle(c.ComboAudioCodec, "mp3");
  Replace(c.ComboAudioBitrate, AB1, "64 Kbps");
  Replace(c.ComboSamplingRate, SR3, "44100 Hz");
  SelectStereoOriginal(c);
}

// Video CD and Super Video CD; channels and aspect are left as they are.
void FillVideoCd(TProfileControls& c, const std::string& codec, const std::string& bitrate,
                 const std::string& size) {
  ReplaceSingle(c.ComboVideoCodec, codec);
  ReplaceSingle(c.ComboVideoBitrate, bitrate);
  Replace(c.ComboVideoSize, SZ2, size);
  Replace(c.ComboVideoFramerate, FR2, "29.97 fps [NTSC]");
  ReplaceSingle(c.ComboAudioCodec, "mp2");
  Replace(c.ComboAudioBitrate, AB1, "224 Kbps");
  ReplaceSingle(c.ComboSamplingRate, "44100 Hz");
}

// The NTSC frame rate chosen by default goes with the 480-line size, which
// the translation makes the DVD full frame, 720 x 480.
void FillDvd(TProfileControls& c) {
  ReplaceSingle(c.ComboVideoCodec, "MPEG2VIDEO");
  ReplaceSingle(c.ComboVideoBitrate, "6000 Kbps");
  Replace(c.ComboVideoSize, SZ3, "724 x 480");
  Replace(c.ComboVideoFramerate, FR2, "29.97 fps [NTSC]");
  Replace(c.ComboAudioCodec, {"ac3", "mp2"}, "ac3");
  Replace(c.ComboAudioBitrate, AB1, "224 Kbps");
  Replace(c.ComboSamplingRate, SR4, "48000 Hz");
}

void FillAudioOnly(TProfileControls& c, const std::string& codec, std::string_view bitrate,
                   const TItems& sampleRates, std::string_view sampleRate) {
  EmptyVideoControls(c);
  ReplaceSingle(c.ComboAudioCodec, codec);
  Replace(c.ComboAudioBitrate, AB1, bitrate);
  Replace(c.ComboSamplingRate, sampleRates, sampleRate);
  SelectStereoOriginal(c);
}

// kind is "mp3" or "mp2".
void FillMpegAudio(TProfileControls& c, const std::string& kind) {
  FillAudioOnly(c, kind, kind == "mp2" ? "224 Kbps" : "192 Kbps", SR1, "48000 Hz");
}

void FillAsf(TProfileControls& c) {
  ReplaceSingle(c.ComboVideoCodec, "MSMPEG4");
  Replace(c.ComboVideoBitrate, VB5, "1200 Kbps");
  Replace(c.ComboVideoSize, SZ1, "Original Video Size");
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  ReplaceSingle(c.ComboAudioCodec, "mp3");
  Replace(c.ComboAudioBitrate, AB1, "128 Kbps");
  Replace(c.ComboSamplingRate, SR1, "48000 Hz");
  SelectStereoOriginal(c);
}

void FillZuneMpeg4(TProfileControls& c) {
  Replace(c.ComboVideoCodec, {"MPEG4", "H264"}, "MPEG4");
  Replace(c.ComboVideoBitrate, VB6, "1500 Kbps");
  Replace(c.ComboVideoSize, SZ8, "320 x 240 ");
  ReplaceSingle(c.ComboVideoFramerate, "29.97 fps");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  Replace(c.ComboAudioBitrate, AB1, "128 Kbps");
  Replace(c.ComboSamplingRate, SR2, "44100 Hz");
  SelectStereoOriginal(c);
}

void FillZuneWmv(TProfileControls& c) {
  ReplaceSingle(c.ComboVideoCodec, "WMV2");
  Replace(c.ComboVideoBitrate, VB6, "1200 Kbps");
  Replace(c.ComboVideoSize, SZ8, "320 x 240 ");
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  ReplaceSingle(c.ComboAudioCodec, "wmav2");
  Replace(c.ComboAudioBitrate, AB1, "128 Kbps");
  Replace(c.ComboSamplingRate, SR2, "48000 Hz");
  SelectStereoOriginal(c);
}

void FillPsp(TProfileControls& c) {
  Replace(c.ComboVideoCodec, {"MPEG4", "H264", "XVID"}, "MPEG4");
  ReplaceSingle(c.ComboVideoBitrate, "768 Kbps");
  Replace(c.ComboVideoSize, SZ6, "368 x 208");
  Replace(c.ComboVideoFramerate, FR6, "29.97 fps");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  Replace(c.ComboAudioBitrate, AB3, "64 Kbps");
  ReplaceSingle(c.ComboSamplingRate, "24000 Hz");
  SelectStereoOriginal(c);
}

// sizes is the size list (the 480-line rows offer SZ7, the HD rows one size).
void FillPs3(TProfileControls& c, const TItems& sizes, std::string_view size, std::string_view bitrate) {
  ReplaceSingle(c.ComboVideoCodec, "H264");
  Replace(c.ComboVideoBitrate, VB5, bitrate);
  Replace(c.ComboVideoSize, sizes, size);
  ReplaceSingle(c.ComboVideoFramerate, "29.97 fps");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  Replace(c.ComboAudioBitrate, AB1, "96 Kbps");
  Replace(c.ComboSamplingRate, SR2, "44100 Hz");
  SelectStereoOriginal(c);
}

// Archos, Creative Zen Vision and iRiver; channels and aspect are left as
// they are.
void FillAviPlayer(TProfileControls& c, const TItems& bitrates, std::string_view bitrate, std::string_view size) {
  ReplaceSingle(c.ComboVideoCodec, "MPEG4");
  Replace(c.ComboVideoBitrate, bitrates, bitrate);
  Replace(c.ComboVideoSize, SZ5, size);
  Replace(c.ComboVideoFramerate, FR1, "Auto");
  Replace(c.ComboAudioCodec, {"mp3", "mp2"}, "mp3");
  Replace(c.ComboAudioBitrate, AB1, "128 Kbps");
  Replace(c.ComboSamplingRate, SR1, "48000 Hz");
}

// The BlackBerry rows leave channels and aspect as they are.
void FillBlackBerryMp4(TProfileControls& c) {
  ReplaceSingle(c.ComboVideoCodec, "MPEG4");
  Replace(c.ComboVideoBitrate, VB8, "300 Kbps");
  Replace(c.ComboVideoSize, SZ9, "320 x 240");
  Replace(c.ComboVideoFramerate, FR4, "24 fps");
  ReplaceSingle(c.ComboAudioCodec, "mpeg4aac");
  Replace(c.ComboAudioBitrate, AB4, "80 Kbps");
  Replace(c.ComboSamplingRate, SR1, "44100 Hz");
}

void FillBlackBerryAvi(TProfileControls& c) {
  ReplaceSingle(c.ComboVideoCodec, "H263");
  Replace(c.ComboVideoBitrate, VB8, "300 Kbps");
  ReplaceSingle(c.ComboVideoSize, "176 x 144");
  Replace(c.ComboVideoFramerate, FR4, "24 fps");
  Replace(c.ComboAudioCodec, {"mp3", "pcm_s16le"}, "mp3");
  Replace(c.ComboAudioBitrate, AB4, "80 Kbps");
  Replace(c.ComboSamplingRate, SR1, "44100 Hz");
}

// Its default audio, AMR-NB, is mono only: like the other 3GP rows it
// selects "Mono", so that its defaults convert.
void FillBlackBerry3gp(TProfileControls& c) {
  Replace(c.ComboVideoCodec, {"MPEG4", "H263"}, "MPEG4");
  Replace(c.ComboVideoBitrate, VB11, "120 Kbps");
  Replace(c.ComboVideoSize, SZ9, "176 x 144");
  Replace(c.ComboVideoFramerate, FR5, "15 fps");
  Replace(c.ComboAudioCodec, {"amr_nb", "mpeg4aac"}, "amr_nb");
  Replace(c.ComboAudioBitrate, AB2, "4750 bps");
  Replace(c.ComboSamplingRate, SR6, "8000  Hz");
  c.ComboAudioChannels.SelectText("Mono");
}

// ---- the formats of today

// The video quality list of today: quality levels first (constant quality,
// see SetQualityOptions), then bit rates.
const TItems VQ = {"Best",      "High",      "Medium",    "Small",      "500 Kbps",   "1000 Kbps", "1500 Kbps",
                   "2500 Kbps", "4000 Kbps", "6000 Kbps", "8000 Kbps", "12000 Kbps", "20000 Kbps", "40000 Kbps"};
const TItems SZT = {"Original Video Size", "640 x 360 (360p)",    "854 x 480 (480p)",    "1280 x 720 (720p)",
                    "1920 x 1080 (1080p)", "2560 x 1440 (1440p)", "3840 x 2160 (4K UHD)"};
const TItems FRT = {"Auto", "23.976 fps", "24 fps", "25 fps", "29.97 fps", "30 fps", "50 fps", "59.94 fps", "60 fps"};
const TItems ABT = {"64 Kbps",  "96 Kbps",  "128 Kbps", "160 Kbps", "192 Kbps",
                    "256 Kbps", "320 Kbps", "384 Kbps", "448 Kbps", "640 Kbps"};
// "Original" keeps the source's sampling rate (the encoder takes the
// nearest it has) and its channels (the nearest layout the encoder has).
const TItems SRT = {"Original", "44100 Hz", "48000 Hz"};
const TItems SRLossless = {"Original", "44100 Hz", "48000 Hz", "88200 Hz", "96000 Hz", "192000 Hz"};
const TItems SROpus = {"48000 Hz"};
const TItems CHT = {"Original", "Stereo", "Mono"};
const TItems SpeedItems = {"Faster", "Balanced", "Smaller Files"};

// The codec items with the hardware encoders this machine has added after
// their software codec.
TItems WithHardware(const TItems& codecs) {
  TItems items = codecs;
  for (const std::string& encoder : OfferedHardwareVideoEncoders()) {
    const std::string software = encoder == "h264_vaapi" ? "H.264" : encoder == "hevc_vaapi" ? "H.265" : "";
    if (!software.empty() && std::find(codecs.begin(), codecs.end(), software) != codecs.end())
      items.push_back(software + " (hardware)");
  }
  return items;
}

// What a video format of today offers beyond the lists it shares.
struct TTodayVideo {
  TItems VideoCodecs;
  std::string_view VideoCodec;
  TItems Sizes;
  std::string_view Size;
  TItems AudioCodecs;
  std::string_view AudioBitrate;
  TItems Rates;
  std::string_view Rate;
  // The channel list of today ("Original" first) or, for the devices, the
  // classic two items.
  bool OriginalChannels;
  std::string_view Channels;
};

void FillTodayVideo(TProfileControls& c, const TTodayVideo& f) {
  Replace(c.ComboVideoCodec, WithHardware(f.VideoCodecs), f.VideoCodec);
  Replace(c.ComboVideoBitrate, VQ, "High");
  Replace(c.ComboVideoSize, f.Sizes, f.Size);
  Replace(c.ComboVideoFramerate, FRT, "Auto");
  Replace(c.ComboAudioCodec, f.AudioCodecs, f.AudioCodecs.front());
  Replace(c.ComboAudioBitrate, ABT, f.AudioBitrate);
  Replace(c.ComboSamplingRate, f.Rates, f.Rate);
  if (f.OriginalChannels) c.ComboAudioChannels.Assign(CHT, -1);
  c.ComboAudioChannels.SelectText(f.Channels);
  c.ComboAspectRatio.SelectText("Original");
  Replace(c.ComboEncoderSpeed, SpeedItems, "Balanced");
}

void FillTodayAudio(TProfileControls& c, std::string_view codec, const TItems& bitrates, std::string_view bitrate,
                    const TItems& rates, std::string_view rate) {
  EmptyVideoControls(c);
  ReplaceSingle(c.ComboAudioCodec, std::string(codec));
  Replace(c.ComboAudioBitrate, bitrates, bitrate);
  Replace(c.ComboSamplingRate, rates, rate);
  Replace(c.ComboAudioChannels, CHT, "Original");
  c.ComboAspectRatio.SelectText("Original");
}

const TTodayVideo kMatroska = {{"H.264", "H.265", "AV1", "VP9", "MPEG4"}, "H.264", SZT, "Original Video Size",
                               {"AAC", "Opus", "FLAC", "AC3", "MP3"},       "192 Kbps", SRT, "Original",
                               true, "Original"};
const TTodayVideo kMp4H264 = {{"H.264"}, "H.264", SZT, "Original Video Size", {"AAC"}, "192 Kbps", SRT, "Original",
                              true,      "Original"};
const TTodayVideo kMp4H265 = {{"H.265"}, "H.265", SZT, "Original Video Size", {"AAC"}, "192 Kbps", SRT, "Original",
                              true,      "Original"};
const TTodayVideo kWebmVp9 = {{"VP9"}, "VP9", SZT, "Original Video Size", {"Opus"}, "128 Kbps", SROpus, "48000 Hz",
                              true,    "Original"};
const TTodayVideo kWebmAv1 = {{"AV1"}, "AV1", SZT, "Original Video Size", {"Opus"}, "128 Kbps", SROpus, "48000 Hz",
                              true,    "Original"};
const TTodayVideo kAndroidPhone = {{"H.264"}, "H.264", {"1920 x 1080", "1280 x 720"}, "1920 x 1080",
                                   {"AAC"},   "160 Kbps", {"44100 Hz", "48000 Hz"},  "48000 Hz",
                                   false,     "Stereo"};
const TTodayVideo kWebVideo720p = {{"H.264"}, "H.264", {"1280 x 720", "854 x 480", "640 x 360"}, "1280 x 720",
                                   {"AAC"},   "128 Kbps", {"44100 Hz", "48000 Hz"},               "48000 Hz",
                                   false,     "Stereo"};
const TTodayVideo kUhdH265 = {{"H.265"},
                              "H.265",
                              {"3840 x 2160", "2560 x 1440", "1920 x 1080"},
                              "3840 x 2160",
                              {"AAC", "AC3", "FLAC"},
                              "384 Kbps",
                              SRT,
                              "Original",
                              true,
                              "Original"};

}  // namespace

// The format list shows the video formats at positions 0 to 17, the audio
// formats at 19 to 27, then the iPod (29 to 31), Apple TV (33 to 38), iPod
// Touch (40 to 42), iPhone (44 to 46), Zune (48, 49), PlayStation (51 to 55)
// and other players (57 to 63), then the formats of today: video (65 to
// 69), audio (71 to 73) and devices (75 to 77), with a divider before each
// group.
constexpr std::array<TheAVCodec, OutputFormatCount> OutputFormatTable = {{
    {"3GP - Mobile Video Format (*.3gp)", "3GP", 0, 0, FillMobile3gp, SetMobile3gpOptions},
    {"3G2 - Mobile Video Format (*.3g2)", "3G2", 1, 1, FillMobile3gp, SetMobile3gpOptions},
    {"345 (*.mp4)", "MP4", 2, NotListed},
    {"iPod (*.mp4)", "MP4", 3, 29, [](TProfileControls& c) { FillIPod(c, "Normal"); }, SetAppleDeviceOptions},
    {"iPod Extra (640 x 480) (*.mp4)", "MP4", 4, 30, [](TProfileControls& c) { FillIPod(c, "Extra"); },
     SetAppleDeviceOptions},
    {"iPod Wide Screen (*.mp4)", "MP4", 5, NotListed},
    {"iPod Video For TV (*.mp4)", "MP4", 6, 31, [](TProfileControls& c) { FillIPod(c, "Extra"); },
     SetAppleDeviceOptions},
    {"Apple TV H264 (320 x 240) (*.mp4)", "MP4", 7, 36,
     [](TProfileControls& c) { FillAppleTVH264(c, "320 x 240"); }, SetAppleDeviceOptions},
    {"Apple TV H264 (640 x 480) (*.mp4)", "MP4", 8, 37,
     [](TProfileControls& c) { FillAppleTVH264(c, "640 x 480"); }, SetAppleDeviceOptions},
    {"Apple TV H264 (1280 x 720) (*.mp4)", "MP4", 9, 38,
     [](TProfileControls& c) { FillAppleTVH264(c, "1280 x 720"); }, SetAppleDeviceOptions},
    {"Apple TV (*.mp4)", "MP4", 10, 33, [](TProfileControls& c) { FillAppleTV(c, "Good"); }, SetAppleDeviceOptions},
    {"Apple TV (Normal Quality) (*.mp4)", "MP4", 11, 34, [](TProfileControls& c) { FillAppleTV(c, "Normal"); },
     SetAppleDeviceOptions},
    {"Apple TV (High Quality) (*.mp4)", "MP4", 12, 35, [](TProfileControls& c) { FillAppleTV(c, "Good"); },
     SetAppleDeviceOptions},
    {"iPod Touch (*.mp4)", "MP4", 13, 40, [](TProfileControls& c) { FillIPodTouch(c, "Normal"); },
     SetAppleDeviceOptions},
    {"iPod Touch Extra (640 x 480) (*.mp4)", "MP4", 14, 41, [](TProfileControls& c) { FillIPodTouch(c, "Extra"); },
     SetAppleDeviceOptions},
    {"iPod Touch Wide Screen (*.mp4)", "MP4", 15, 42, [](TProfileControls& c) { FillIPodTouch(c, "Wide Screen"); },
     SetAppleDeviceOptions},
    {"iPod Touchx", "MP4", 16, NotListed},
    {"iPod Touchy", "MP4", 17, NotListed},
    {"iPhone (*.mp4)", "MP4", 18, 44, [](TProfileControls& c) { FillIPhone(c, "480 x 320"); }, SetCodecOptions},
    {"iPhone Extra (640 x 480) (*.mp4)", "MP4", 19, 45, [](TProfileControls& c) { FillIPhone(c, "640 x 480"); },
     SetCodecOptions},
    {"iPhone Wide Screen (*.mp4)", "MP4", 20, 46, [](TProfileControls& c) { FillIPhone(c, "720 x 480"); },
     SetCodecOptions},
    {"iphonexxxx", "MP4", 21, NotListed},
    {"AVI - Audio Video Interleave (*.avi)", "AVI", 22, 3, [](TProfileControls& c) { FillAvi(c, "normal"); },
     SetCodecOptions},
    {"AVI - DivX Video (*.avi)", "AVI", 23, 4, [](TProfileControls& c) { FillAvi(c, "divx"); }, SetCodecOptions},
    {"AVI - XviD Video (*.avi)", "AVI", 24, 6, [](TProfileControls& c) { FillAvi(c, "xvid"); }, SetCodecOptions},
    {"AVI - Uncompress (*.avi)", "AVI", 25, 5, [](TProfileControls& c) { FillAvi(c, "uncompress"); },
     SetCodecOptions},
    {"MOV - QuickTime Video (*.mov)", "MOV", 26, 9, [](TProfileControls& c) { FillQuickTimeFamily(c, {"MPEG4"}); },
     SetCodecOptions},
    {"MP4 - MPEG4 Video (*.mp4)", "MP4", 27, 10,
     [](TProfileControls& c) { FillQuickTimeFamily(c, {"MPEG4", "H264", "XVid"}); }, SetCodecOptions},
    {"MPEG-1 Movie (*.mpg)", "MPG", 28, 11, [](TProfileControls& c) { FillMpeg(c, "mpeg1"); }, SetCodecOptions},
    {"MPEG-2 Movie (*.mpg)", "MPG", 29, 12, [](TProfileControls& c) { FillMpeg(c, "mpeg2"); }, SetCodecOptions},
    {"RM - Real Video (*.rm)", "RM", 30, 13, FillRealVideo, SetCodecOptions},
    {"WMV - Windows Media Video (*.wmv)", "WMV", 31, 17, FillWindowsMedia, SetCodecOptions},
    {"SWF - Flash Swf (*.swf)", "SWF", 32, 14, FillFlash, SetCodecOptions},
    {"FLV - Flash Video (*.flv)", "FLV", 33, 8, FillFlash, SetCodecOptions},
    {"Video CD (*.mpg)", "MPG", 34, 16,
     [](TProfileControls& c) { FillVideoCd(c, "MPEG1VIDEO", "1150 Kbps", "352 x 240"); }, SetCodecOptions},
    {"Super Video CD (*.mpg)", "MPG", 35, 15,
     [](TProfileControls& c) { FillVideoCd(c, "MPEG2VIDEO", "2040 Kbps", "480 x 480"); }, SetCodecOptions},
    {"DVD - VOB (*.vob)", "VOB", 36, 7, FillDvd, SetCodecOptions},
    {"AAC - Advance Audio Coding (*.aac)", "AAC", 37, 19,
     [](TProfileControls& c) { FillAudioOnly(c, "aac", "128 Kbps", SR1, "48000 Hz"); }, SetCodecOptions},
    {"ASF - Advance Streaming Format (*.asf)", "ASF", 38, 2, FillAsf, SetCodecOptions},
    {"AU - SUN Audio (*.au)", "AU", 39, 20,
     [](TProfileControls& c) { FillAudioOnly(c, "pcm_s16be", "128 Kbps", SR1, "48000 Hz"); }, SetCodecOptions},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A", 40, 21,
     [](TProfileControls& c) { FillAudioOnly(c, "mpeg4aac", "128 Kbps", SR1, "48000 Hz"); }, SetCodecOptions},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", 41, 23, [](TProfileControls& c) { FillMpegAudio(c, "mp3"); },
     SetCodecOptions},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG", 42, 24,
     [](TProfileControls& c) { FillAudioOnly(c, "vorbis", "160 Kbps", SR1, "48000 Hz"); }, SetCodecOptions},
    {"RA - Real Audio (*.ra)", "RA", 43, 25,
     [](TProfileControls& c) { FillAudioOnly(c, "ac3", "128 Kbps", SR2, "48000 Hz"); }, SetCodecOptions},
    {"WAV - Waveform Audio (*.wav)", "WAV", 44, 26,
     [](TProfileControls& c) { FillAudioOnly(c, "pcm_s16le", "128 Kbps", SR2, "44100 Hz"); }, SetCodecOptions},
    {"WMA - Windows Media Audio (*.wma)", "WMA", 45, 27,
     [](TProfileControls& c) { FillAudioOnly(c, "wmav2", "128 Kbps", SR2, "48000 Hz"); }, SetCodecOptions},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2", 46, 22, [](TProfileControls& c) { FillMpegAudio(c, "mp2"); },
     SetCodecOptions},
    {"aaaaaa", "MP4", 47, NotListed},
    {"aaaaaaa", "MP4", 48, NotListed},
    {"Zune Mpeg4 Video (*.mp4)", "MP4", 49, 48, FillZuneMpeg4, SetCodecOptions},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV", 50, 49, FillZuneWmv, SetCodecOptions},
    {"Zune Mpeg4 AVC Video (*.mp4)", "MP4", 51, NotListed},
    {"Zune - Future Version", "MP4", 52, NotListed},
    {"PSP Video (*.mp4)", "MP4", 53, 51, FillPsp, SetCodecOptions},
    {"PSP Video - Good Quality (*.mp4)", "MP4", 54, NotListed},
    {"PSP Video - Normal Quality (*.mp4)", "MP4", 55, NotListed},
    {"PSP Video - Small File Size (*.mp4)", "MP4", 56, NotListed},
    {"PSP - Future Formats", "MP4", 57, NotListed},
    {"PS3 Video (*.mp4)", "MP4", 58, 52, [](TProfileControls& c) { FillPs3(c, SZ7, "720 x 480", "1200 Kbps"); },
     SetCodecOptions},
    {"PS3 Video(480P) (*.mp4)", "MP4", 59, 53,
     [](TProfileControls& c) { FillPs3(c, SZ7, "720 x 480", "1200 Kbps"); }, SetCodecOptions},
    {"PS3 Video(720P) (*.mp4)", "MP4", 60, 54,
     [](TProfileControls& c) { FillPs3(c, {"1280 x 720"}, "1280 x 720", "2000 Kbps"); }, SetCodecOptions},
    {"PS3 Video(1080P) (*.mp4)", "MP4", 61, 55,
     [](TProfileControls& c) { FillPs3(c, {"1920 x 1072"}, "1920 x 1072", "2000 Kbps"); }, SetCodecOptions},
    {"PS3 - Future Version", "MP4", 62, NotListed},
    {"Archos AV500/GMini402 (*.avi)", "AVI", 63, 57,
     [](TProfileControls& c) { FillAviPlayer(c, VB1, "1200 Kbps", "480 x 272"); }, SetCodecOptions},
    {"Archos AV700 (*.avi)", "AVI", 64, 58,
     [](TProfileControls& c) { FillAviPlayer(c, VB10, "2000 Kbps", "720 x 480"); }, SetCodecOptions},
    {"Creative Zen Vision (*.avi)", "AVI", 65, 62,
     [](TProfileControls& c) { FillAviPlayer(c, VB1, "1200 Kbps", "640 x 480"); }, SetCodecOptions},
    {"iRiver PMP100 (*.avi)", "AVI", 66, 63,
     [](TProfileControls& c) { FillAviPlayer(c, VB1, "1200 Kbps", "640 x 480"); }, SetCodecOptions},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MP4", 67, 59, FillBlackBerryMp4, SetCodecOptions},
    {"BlackBerry AVI Video (*.avi)", "AVI", 68, 60, FillBlackBerryAvi, SetCodecOptions},
    {"BlackBerry 3GP Video (*.3gp)", "3GP", 69, 61, FillBlackBerry3gp, SetCodecOptions},
    {"BlackBerry AMR Audio", "AMR", 70, NotListed},
    {"MKV - Matroska Video (*.mkv)", "MKV", 71, 65, [](TProfileControls& c) { FillTodayVideo(c, kMatroska); },
     SetQualityOptions},
    {"MP4 - H.264 Video (*.mp4)", "MP4", 72, 66, [](TProfileControls& c) { FillTodayVideo(c, kMp4H264); },
     SetQualityOptions},
    {"MP4 - H.265 Video (*.mp4)", "MP4", 73, 67, [](TProfileControls& c) { FillTodayVideo(c, kMp4H265); },
     SetQualityOptions},
    {"WebM - VP9 Video (*.webm)", "WEBM", 74, 68, [](TProfileControls& c) { FillTodayVideo(c, kWebmVp9); },
     SetQualityOptions},
    {"WebM - AV1 Video (*.webm)", "WEBM", 75, 69, [](TProfileControls& c) { FillTodayVideo(c, kWebmAv1); },
     SetQualityOptions},
    {"FLAC - Free Lossless Audio (*.flac)", "FLAC", 76, 71,
     [](TProfileControls& c) { FillTodayAudio(c, "FLAC", {"Lossless"}, "Lossless", SRLossless, "Original"); },
     SetQualityOptions},
    {"M4A - Apple Lossless (*.m4a)", "M4A", 77, 72,
     [](TProfileControls& c) { FillTodayAudio(c, "ALAC", {"Lossless"}, "Lossless", SRLossless, "Original"); },
     SetQualityOptions},
    {"Opus Audio (*.opus)", "OPUS", 78, 73,
     [](TProfileControls& c) { FillTodayAudio(c, "Opus", ABT, "128 Kbps", SROpus, "48000 Hz"); }, SetQualityOptions},
    {"Android Phone (1080p) (*.mp4)", "MP4", 79, 75, [](TProfileControls& c) { FillTodayVideo(c, kAndroidPhone); },
     SetQualityOptions},
    {"Web Video 720p (*.mp4)", "MP4", 80, 76, [](TProfileControls& c) { FillTodayVideo(c, kWebVideo720p); },
     SetQualityOptions},
    {"4K UHD H.265 (*.mkv)", "MKV", 81, 77, [](TProfileControls& c) { FillTodayVideo(c, kUhdH265); },
     SetQualityOptions},
}};

namespace {

// Rows are found by their number, and the format list puts each offered row
// at its list position.
constexpr bool RowsAreAtTheirNumbersAndWithinTheList() {
  for (int id = 0; id < OutputFormatCount; ++id) {
    const TheAVCodec& row = OutputFormatTable[id];
    if (row.ProfileId != id) return false;
    if (row.ListPosition != NotListed && (row.ListPosition < 0 || row.ListPosition >= OutputFormatListCount))
      return false;
  }
  return true;
}
static_assert(RowsAreAtTheirNumbersAndWithinTheList());

}  // namespace

bool IsFormatOfToday(const TheAVCodec& row) { return row.ProfileId >= ClassicOutputFormatCount; }

bool IsSeparatorText(std::string_view text) { return text.find(SeparatorMark) != std::string_view::npos; }

const std::vector<std::string>& OutputFormatListItems() {
  static const std::vector<std::string> items = [] {
    std::vector<std::string> list(OutputFormatListCount, std::string(SeparatorRowText));
    for (const TheAVCodec& row : OutputFormatTable)
      if (row.ListPosition != NotListed) list[row.ListPosition] = row.DisplayName;
    return list;
  }();
  return items;
}

std::vector<std::string> OfferedOutputFormats() {
  std::vector<std::string> offered;
  for (const std::string& item : OutputFormatListItems())
    if (!IsSeparatorText(item)) offered.push_back(item);
  return offered;
}

void FillOutputFormatList(TSettingsControl& comboOutputFormat) {
  const std::vector<std::string>& items = OutputFormatListItems();
  comboOutputFormat.Assign(items, 0);
  comboOutputFormat.DropDownCount = static_cast<int>(items.size());
}

const TheAVCodec* LookupOutputFormat(std::string_view text) {
  for (const TheAVCodec& row : OutputFormatTable)
    if (row.DisplayName == text) return &row;
  return nullptr;
}

const std::string& OpenDialogFilter() {
  // The classic pairs come first, each as it always read; "All Supported
  // Files" goes on with the containers and audio files of today that the
  // codec libraries read, which also have pairs of their own after the
  // classic ones. A cue sheet (*.cue) is text naming an audio file, not
  // media: it stays out of "All Supported Files". Last, every file.
  static const std::string filter =
      "All Supported Files|*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;"
      "*.mp3;*.mp2;*.ogg;*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au; "
      "*.aiff;*.mjpg; *.mjpeg;*.ac3; *.gif; *.swf; *.flv"
      ";*.mkv;*.mka;*.mk3d;*.webm;*.m4v;*.f4v;*.ts;*.mts;*.m2ts;*.m2t;*.m2v;*.mpv;*.mod;*.tod;*.vro;*.ogv;*.oga;"
      "*.ogx;*.ogm;*.spx;*.opus;*.flac;*.ape;*.wv;*.tta;*.mpc;*.m4b;*.aif;*.aifc;*.caf;*.amr;*.awb;*.dts;*.eac3;"
      "*.thd;*.w64;*.voc;*.mp1;*.mxf;*.nut;*.wtv;*.dvr-ms;*.y4m;*.ivf;*.divx;*.amv;*.3gpp;*.264;*.h264;*.265;"
      "*.h265;*.hevc"
      "|3GPP Files (*.3gp)|*.3gp"
      "|3GPP2 Files (*.3g2)|*.3g2"
      "|AAC Files (*.aac)|*.aac"
      "|AC3 Files (*.ac3)|*.ac3"
      "|Audio CD Files (*.cda)|*.cda"
      "|AVI Files (*.avi)|*.avi"
      "|DV Video Files (*.dv, *.dif)|*.dv;*.dif"
      "|DVD VOB Files (*.vob)|*.vob"
      "|GIF Animated Files (*.gif)|*.gif"
      "|Macromedia Flash Files (*.flv, *.swf)|*.flv; *.swf"
      "|Monkey Audio Files (*.ape, *.cue)|*.ape;*.cue"
      "|MJpeg Video Files (*.mjpg, *.mjpeg)|*.mjpg; *.mjpeg"
      "|MP2 Files (*.mp2)|*.mp2"
      "|MP3 Files (*.mp3)|*.mp3"
      "|MPEG Files (*.mpeg, *.mpg, *.mpa, *.m1v, *.mv2)|*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2"
      "|MPEG-4 Files (*.mp4)|*.mp4"
      "|MPEG-4 Audio Files (*.m4a, *.mp4)|*.m4a; *.mp4"
      "|Ogg Vorbis Files (*.ogg)|*.ogg"
      "|RealMedia Files (*.rm, *.rmvb, *.ram, *.ra)|*.rm; *.rmvb; *.ram; *.ra"
      "|QuickTime Files (*.mov, *.qt)|*.mov; *.qt"
      "|VCD DAT Files (*.dat)|*.dat"
      "|WAV Files (*.wav, *.au, *.aiff)|*.wav; *.au; *.aiff"
      "|Windows Media Files(*.wma, *.wmv, *.asf, *.asx)|*.wma;*.wmv;*.asf;*.asx"
      "|Matroska Files (*.mkv, *.mka, *.mk3d)|*.mkv;*.mka;*.mk3d"
      "|WebM Files (*.webm)|*.webm"
      "|MPEG-4 Video Files (*.m4v, *.f4v)|*.m4v;*.f4v"
      "|MPEG Transport Stream Files (*.ts, *.mts, *.m2ts, *.m2t)|*.ts;*.mts;*.m2ts;*.m2t"
      "|MPEG Video Files (*.m2v, *.mpv, *.mod, *.tod, *.vro)|*.m2v;*.mpv;*.mod;*.tod;*.vro"
      "|Ogg Files (*.ogv, *.oga, *.ogx, *.ogm, *.spx)|*.ogv;*.oga;*.ogx;*.ogm;*.spx"
      "|Opus Files (*.opus)|*.opus"
      "|FLAC Files (*.flac)|*.flac"
      "|Other Audio Files (*.wv, *.tta, *.mpc, *.m4b, *.aif, *.aifc, *.caf, *.amr, *.awb, *.dts, *.eac3, *.thd, "
      "*.w64, *.voc, *.mp1)|*.wv;*.tta;*.mpc;*.m4b;*.aif;*.aifc;*.caf;*.amr;*.awb;*.dts;*.eac3;*.thd;*.w64;*.voc;*.mp1"
      "|Other Video Files (*.mxf, *.nut, *.wtv, *.dvr-ms, *.y4m, *.ivf, *.divx, *.amv, *.3gpp, *.264, *.h264, "
      "*.265, *.h265, *.hevc)|*.mxf;*.nut;*.wtv;*.dvr-ms;*.y4m;*.ivf;*.divx;*.amv;*.3gpp;*.264;*.h264;*.265;*.h265;"
      "*.hevc"
      "|All files (*)|*|";
  return filter;
}

}  // namespace fennick
