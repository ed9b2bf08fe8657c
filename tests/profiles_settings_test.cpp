// The settings each offered format puts into the nine settings lists: exact
// item texts, default selections, and which lists a row leaves as the user
// set them.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"

namespace fennick {
namespace {

using TItems = std::vector<std::string>;

const TItems SZ1 = {"Original Video Size", "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 120", "176 x 144 (QCIF)", "192 x 144", "208 x 176", "220 x 176", "240 x 180", "320 x 200", "320 x 240 (VGA)", "352 x 240", "352 x 288 (CIF)", "480 x 272", "480 x 360", "480 x 480", "480 x 576", "624 x 352", "640 x 352", "640 x 480", "704 x 576 (4CIF)", "720 x 480", "720 x 576"};
const TItems SZ2 = {"128 x 96 (SQCIF)", "176 x 144 (QCIF)", "352 x 240", "352 x 288 (CIF)", "480 x 272", "480 x 480", "640 x 480", "704 x 576 (4CIF)"};
const TItems SZ4 = {"128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 144 (QCIF)", "208 x 176", "220 x 176", "320 x 240 (VGA)", "352 x 288 (CIF)"};
const TItems SZ5 = {"Auto", "160 x 120", "320 x 240", "480 x 272", "720 x 480", "640 x 480"};
const TItems SZ6 = {"160 x 112", "320 x 240", "368 x 208", "480 x 272"};
const TItems SZ7 = {"640 x 480", "720 x 480", "720 x 576"};
const TItems SZ8 = {"320 x 240 ", "640 x 480"};
const TItems SZ9 = {"176 x 144", "240 x 180", "320 x 240"};
const TItems VB1 = {"192 Kbps", "200 Kbps", "216 Kbps", "384 Kbps", "512 Kbps", "640 Kbps", "768 Kbps", "1000 Kbps", "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps", "2500 Kbps"};
const TItems VB3 = {"512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"};
const TItems VB4 = {"512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "4000 Kbps", "7000 Kbps"};
const TItems VB5 = {"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"};
const TItems VB6 = {"256 Kbps", "512 Kbps", "768 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps"};
const TItems VB7 = {"48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"};
const TItems VB8 = {"80 Kbps", "120 Kbps", "200 Kbps", "256 Kbps", "300 Kbps", "512 Kbps"};
const TItems VB9 = {"384  Kbps", "400  Kbps", "600  Kbps", "1200 Kbps", "1800 Kbps", "2200 Kbps", "2600 Kbps", "3000 Kbps"};
const TItems VB10 = {"1000 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps"};
const TItems VB11 = {"48 Kbps", "64 Kbps", "96 Kbps", "120 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"};
const TItems FR1 = {"Auto", "14.985 fps", "15.0 fps", "23.975 fps", "25.0 fps", "29.97 fps", "30.0 fps"};
const TItems FR2 = {"23.976 fps [NTSC]", "24 fps", "25 fps [PAL]", "29.97 fps [NTSC]", "30.0 fps", "50 fps", "59.94 fps"};
const TItems FR3 = {"Auto", "11 fps", "14.985 fps", "15 fps"};
const TItems FR4 = {"11 fps", "15 fps", "20 fps", "24 fps", "25 fps"};
const TItems FR6 = {"14.985 fps", "29.97 fps"};
const TItems AB1 = {"32 Kbps", "40 Kbps", "48 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps", "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"};
const TItems AB2 = {"4750 bps", "5150 bps", "5900 bps", "6700 bps", "7400 bps", "7950 bps", "10200 bps", "12200 bps"};
const TItems AB3 = {"32 Kbps", "48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "160 Kbps"};
const TItems AB4 = {"40 Kbps", "48 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps"};
const TItems SR1 = {"8000 Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
const TItems SR3 = {"11025 Hz", "22050 Hz", "44100 Hz"};
const TItems SR4 = {"44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
const TItems SR5 = {"8000  bps", "16000 bps"};
const TItems SR6 = {"8000  Hz", "16000 Hz"};
const TItems SZ3 = {"128 x 96 (SQCIF)", "176 x 144 (QCIF)", "352 x 240", "352 x 288 (CIF)", "480 x 272",
                    "480 x 480",        "640 x 480",        "704 x 576 (4CIF)", "724 x 480",       "724 x 576"};
const TItems VB2 = {"192 Kbps", "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps", "640 Kbps",
                    "768 Kbps", "1000 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"};
const TItems FR5 = {"Auto", "11 fps", "15 fps", "20 fps", "24 fps", "25 fps"};
const TItems SR2 = {"8000  Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};

enum class TAction { Replace, Select, Empty, Unchanged };

struct TControlExpect {
  TAction Action;
  TItems Items;
  std::string Selected;
};

TControlExpect Replace(TItems items, std::string selected) { return {TAction::Replace, std::move(items), selected}; }
TControlExpect Select(std::string selected) { return {TAction::Select, {}, selected}; }
TControlExpect Empty() { return {TAction::Empty, {}, ""}; }
TControlExpect Unchanged() { return {TAction::Unchanged, {}, ""}; }

struct TRowExpect {
  int Id;
  std::string DisplayName;
  TControlExpect VideoCodec, VideoBitrate, VideoSize, VideoFramerate, AudioCodec, AudioBitrate, SamplingRate,
      AudioChannels, AspectRatio;
};

const std::vector<TRowExpect>& ExpectedRows() {
  static const std::vector<TRowExpect> rows = {
    {0, "3GP - Mobile Video Format (*.3gp)",
     Replace({"MPEG4", "H263", "H264"}, "MPEG4"),
     Replace(VB7, "128 Kbps"),
     Replace(SZ4, "176 x 144 (QCIF)"),
     Replace(FR3, "Auto"),
     Replace({"amr_nb", "mpeg4aac"}, "amr_nb"),
     Replace(AB2, "7400 bps"),
     Replace(SR5, "8000  bps"),
     Select("Mono"),
     Unchanged()},
    {1, "3G2 - Mobile Video Format (*.3g2)",
     Replace({"MPEG4", "H263", "H264"}, "MPEG4"),
     Replace(VB7, "128 Kbps"),
     Replace(SZ4, "176 x 144 (QCIF)"),
     Replace(FR3, "Auto"),
     Replace({"amr_nb", "mpeg4aac"}, "amr_nb"),
     Replace(AB2, "7400 bps"),
     Replace(SR5, "8000  bps"),
     Select("Mono"),
     Unchanged()},
    {3, "iPod (*.mp4)",
     Replace({"MPEG4", "H264"}, "MPEG4"),
     Replace(VB3, "512 Kbps"),
     Replace({"320 x 240"}, "320 x 240"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "64 Kbps"),
     Replace(SR1, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {4, "iPod Extra (640 x 480) (*.mp4)",
     Replace({"MPEG4", "H264"}, "MPEG4"),
     Replace(VB3, "1500 Kbps"),
     Replace({"640 x 480"}, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "64 Kbps"),
     Replace(SR1, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {6, "iPod Video For TV (*.mp4)",
     Replace({"MPEG4", "H264"}, "MPEG4"),
     Replace(VB3, "1500 Kbps"),
     Replace({"640 x 480"}, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "64 Kbps"),
     Replace(SR1, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {7, "Apple TV H264 (320 x 240) (*.mp4)",
     Replace({"H264"}, "H264"),
     Replace(VB4, "1200 Kbps"),
     Replace({"320 x 240"}, "320 x 240"),
     Replace(FR1, "29.97 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "64 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {8, "Apple TV H264 (640 x 480) (*.mp4)",
     Replace({"H264"}, "H264"),
     Replace(VB4, "2000 Kbps"),
     Replace({"640 x 480"}, "640 x 480"),
     Replace(FR1, "29.97 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "64 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {9, "Apple TV H264 (1280 x 720) (*.mp4)",
     Replace({"H264"}, "H264"),
     Replace(VB4, "2500 Kbps"),
     Replace({"1280 x 720"}, "1280 x 720"),
     Replace(FR1, "23.975 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "64 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {10, "Apple TV (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1500 Kbps"),
     Replace({"640 x 480"}, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {11, "Apple TV (Normal Quality) (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1200 Kbps"),
     Replace({"640 x 480"}, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "96 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {12, "Apple TV (High Quality) (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1500 Kbps"),
     Replace({"640 x 480"}, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {13, "iPod Touch (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1200 Kbps"),
     Replace({"480 x 320"}, "480 x 320"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "80 Kbps"),
     Replace(SR1, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {14, "iPod Touch Extra (640 x 480) (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1500 Kbps"),
     Replace({"640 x 480"}, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "80 Kbps"),
     Replace(SR1, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {15, "iPod Touch Wide Screen (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1500 Kbps"),
     Replace({"720 x 406"}, "720 x 406"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {18, "iPhone (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1200 Kbps"),
     Replace({"480 x 320"}, "480 x 320"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "80 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {19, "iPhone Extra (640 x 480) (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1500 Kbps"),
     Replace({"640 x 480"}, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {20, "iPhone Wide Screen (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB3, "1500 Kbps"),
     Replace({"720 x 480"}, "720 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {22, "AVI - Audio Video Interleave (*.avi)",
     Replace({"MPEG4", "H264"}, "MPEG4"),
     Replace(VB2, "1200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "Auto"),
     Replace({"pcm_s16le", "mp3", "mp2", "ac3"}, "pcm_s16le"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {23, "AVI - DivX Video (*.avi)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB2, "1200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "Auto"),
     Replace({"mp3"}, "mp3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {24, "AVI - XviD Video (*.avi)",
     Replace({"XVID"}, "XVID"),
     Replace(VB2, "1200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "Auto"),
     Replace({"mp3"}, "mp3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {25, "AVI - Uncompress (*.avi)",
     Replace({"RAWVIDEO"}, "RAWVIDEO"),
     Replace(VB2, "1200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "Auto"),
     Replace({"pcm_s16le", "mp3", "mp2", "ac3"}, "pcm_s16le"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {26, "MOV - QuickTime Video (*.mov)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB1, "1200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {27, "MP4 - MPEG4 Video (*.mp4)",
     Replace({"MPEG4", "H264", "XVid"}, "MPEG4"),
     Replace(VB1, "1200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "Auto"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {28, "MPEG-1 Movie (*.mpg)",
     Replace({"MPEG1VIDEO"}, "MPEG1VIDEO"),
     Replace(VB1, "1600 Kbps"),
     Replace(SZ1, "320 x 240 (VGA)"),
     Replace(FR1, "25.0 fps"),
     Replace({"mp2"}, "mp2"),
     Replace(AB1, "192 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {29, "MPEG-2 Movie (*.mpg)",
     Replace({"MPEG2VIDEO"}, "MPEG2VIDEO"),
     Replace(VB1, "2000 Kbps"),
     Replace(SZ1, "320 x 240 (VGA)"),
     Replace(FR1, "25.0 fps"),
     Replace({"mp2", "ac3"}, "mp2"),
     Replace(AB1, "192 Kbps"),
     Replace(SR1, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {30, "RM - Real Video (*.rm)",
     Replace({"RV10", "RV20"}, "RV10"),
     Replace(VB9, "384  Kbps"),
     Replace(SZ1, "320 x 240 (VGA)"),
     Replace(FR1, "Auto"),
     Replace({"ac3"}, "ac3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR2, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {31, "WMV - Windows Media Video (*.wmv)",
     Replace({"WMV2"}, "WMV2"),
     Replace(VB1, "1200 Kbps"),
     Replace(SZ1, "320 x 240 (VGA)"),
     Replace(FR1, "Auto"),
     Replace({"wmav2"}, "wmav2"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {32, "SWF - Flash Swf (*.swf)",
     Replace({"FLV"}, "FLV"),
     Replace(VB1, "200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "15.0 fps"),
     Replace({"mp3"}, "mp3"),
     Replace(AB1, "64 Kbps"),
     Replace(SR3, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {33, "FLV - Flash Video (*.flv)",
     Replace({"FLV"}, "FLV"),
     Replace(VB1, "200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "15.0 fps"),
     Replace({"mp3"}, "mp3"),
     Replace(AB1, "64 Kbps"),
     Replace(SR3, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {34, "Video CD (*.mpg)",
     Replace({"MPEG1VIDEO"}, "MPEG1VIDEO"),
     Replace({"1150 Kbps"}, "1150 Kbps"),
     Replace(SZ2, "352 x 240"),
     Replace(FR2, "29.97 fps [NTSC]"),
     Replace({"mp2"}, "mp2"),
     Replace(AB1, "224 Kbps"),
     Replace({"44100 Hz"}, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {35, "Super Video CD (*.mpg)",
     Replace({"MPEG2VIDEO"}, "MPEG2VIDEO"),
     Replace({"2040 Kbps"}, "2040 Kbps"),
     Replace(SZ2, "480 x 480"),
     Replace(FR2, "29.97 fps [NTSC]"),
     Replace({"mp2"}, "mp2"),
     Replace(AB1, "224 Kbps"),
     Replace({"44100 Hz"}, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {36, "DVD - VOB (*.vob)",
     Replace({"MPEG2VIDEO"}, "MPEG2VIDEO"),
     Replace({"6000 Kbps"}, "6000 Kbps"),
     Replace(SZ3, "724 x 480"),
     Replace(FR2, "29.97 fps [NTSC]"),
     Replace({"ac3", "mp2"}, "ac3"),
     Replace(AB1, "224 Kbps"),
     Replace(SR4, "48000 Hz"),
     Unchanged(),
     Unchanged()},
    {37, "AAC - Advance Audio Coding (*.aac)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"aac"}, "aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {38, "ASF - Advance Streaming Format (*.asf)",
     Replace({"MSMPEG4"}, "MSMPEG4"),
     Replace(VB5, "1200 Kbps"),
     Replace(SZ1, "Original Video Size"),
     Replace(FR1, "Auto"),
     Replace({"mp3"}, "mp3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {39, "AU - SUN Audio (*.au)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"pcm_s16be"}, "pcm_s16be"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {40, "M4A - Mpeg4 Audio File (*.m4a)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {41, "MP3 - Mpeg Layer3 Audio (*.mp3)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"mp3"}, "mp3"),
     Replace(AB1, "192 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {42, "OGG - Ogg Vorbis Audio (*.ogg)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"vorbis"}, "vorbis"),
     Replace(AB1, "160 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {43, "RA - Real Audio (*.ra)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"ac3"}, "ac3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR2, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {44, "WAV - Waveform Audio (*.wav)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"pcm_s16le"}, "pcm_s16le"),
     Replace(AB1, "128 Kbps"),
     Replace(SR2, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {45, "WMA - Windows Media Audio (*.wma)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"wmav2"}, "wmav2"),
     Replace(AB1, "128 Kbps"),
     Replace(SR2, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {46, "MP2 - Mpeg Layer2 Audio (*.mp2)",
     Empty(),
     Empty(),
     Empty(),
     Empty(),
     Replace({"mp2"}, "mp2"),
     Replace(AB1, "224 Kbps"),
     Replace(SR1, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {49, "Zune Mpeg4 Video (*.mp4)",
     Replace({"MPEG4", "H264"}, "MPEG4"),
     Replace(VB6, "1500 Kbps"),
     Replace(SZ8, "320 x 240 "),
     Replace({"29.97 fps"}, "29.97 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "128 Kbps"),
     Replace(SR2, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {50, "Zune WMV Windows Media Video (*.wmv)",
     Replace({"WMV2"}, "WMV2"),
     Replace(VB6, "1200 Kbps"),
     Replace(SZ8, "320 x 240 "),
     Replace(FR1, "Auto"),
     Replace({"wmav2"}, "wmav2"),
     Replace(AB1, "128 Kbps"),
     Replace(SR2, "48000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {53, "PSP Video (*.mp4)",
     Replace({"MPEG4", "H264", "XVID"}, "MPEG4"),
     Replace({"768 Kbps"}, "768 Kbps"),
     Replace(SZ6, "368 x 208"),
     Replace(FR6, "29.97 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB3, "64 Kbps"),
     Replace({"24000 Hz"}, "24000 Hz"),
     Select("Stereo"),
     Select("Original")},
    {58, "PS3 Video (*.mp4)",
     Replace({"H264"}, "H264"),
     Replace(VB5, "1200 Kbps"),
     Replace(SZ7, "720 x 480"),
     Replace({"29.97 fps"}, "29.97 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "96 Kbps"),
     Replace(SR2, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {59, "PS3 Video(480P) (*.mp4)",
     Replace({"H264"}, "H264"),
     Replace(VB5, "1200 Kbps"),
     Replace(SZ7, "720 x 480"),
     Replace({"29.97 fps"}, "29.97 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "96 Kbps"),
     Replace(SR2, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {60, "PS3 Video(720P) (*.mp4)",
     Replace({"H264"}, "H264"),
     Replace(VB5, "2000 Kbps"),
     Replace({"1280 x 720"}, "1280 x 720"),
     Replace({"29.97 fps"}, "29.97 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "96 Kbps"),
     Replace(SR2, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {61, "PS3 Video(1080P) (*.mp4)",
     Replace({"H264"}, "H264"),
     Replace(VB5, "2000 Kbps"),
     Replace({"1920 x 1072"}, "1920 x 1072"),
     Replace({"29.97 fps"}, "29.97 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB1, "96 Kbps"),
     Replace(SR2, "44100 Hz"),
     Select("Stereo"),
     Select("Original")},
    {63, "Archos AV500/GMini402 (*.avi)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB1, "1200 Kbps"),
     Replace(SZ5, "480 x 272"),
     Replace(FR1, "Auto"),
     Replace({"mp3", "mp2"}, "mp3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Unchanged(),
     Unchanged()},
    {64, "Archos AV700 (*.avi)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB10, "2000 Kbps"),
     Replace(SZ5, "720 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mp3", "mp2"}, "mp3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Unchanged(),
     Unchanged()},
    {65, "Creative Zen Vision (*.avi)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB1, "1200 Kbps"),
     Replace(SZ5, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mp3", "mp2"}, "mp3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Unchanged(),
     Unchanged()},
    {66, "iRiver PMP100 (*.avi)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB1, "1200 Kbps"),
     Replace(SZ5, "640 x 480"),
     Replace(FR1, "Auto"),
     Replace({"mp3", "mp2"}, "mp3"),
     Replace(AB1, "128 Kbps"),
     Replace(SR1, "48000 Hz"),
     Unchanged(),
     Unchanged()},
    {67, "BlackBerry MPEG-4 Video (*.mp4)",
     Replace({"MPEG4"}, "MPEG4"),
     Replace(VB8, "300 Kbps"),
     Replace(SZ9, "320 x 240"),
     Replace(FR4, "24 fps"),
     Replace({"mpeg4aac"}, "mpeg4aac"),
     Replace(AB4, "80 Kbps"),
     Replace(SR1, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {68, "BlackBerry AVI Video (*.avi)",
     Replace({"H263"}, "H263"),
     Replace(VB8, "300 Kbps"),
     Replace({"176 x 144"}, "176 x 144"),
     Replace(FR4, "24 fps"),
     Replace({"mp3", "pcm_s16le"}, "mp3"),
     Replace(AB4, "80 Kbps"),
     Replace(SR1, "44100 Hz"),
     Unchanged(),
     Unchanged()},
    {69, "BlackBerry 3GP Video (*.3gp)",
     Replace({"MPEG4", "H263"}, "MPEG4"),
     Replace(VB11, "120 Kbps"),
     Replace(SZ9, "176 x 144"),
     Replace(FR5, "15 fps"),
     Replace({"amr_nb", "mpeg4aac"}, "amr_nb"),
     Replace(AB2, "4750 bps"),
     Replace(SR6, "8000  Hz"),
     Select("Mono"),
     Unchanged()},
  };
  return rows;
}

void CheckControl(const char* name, const TSettingsControl& control, const TSettingsControl& before,
                  const TControlExpect& want) {
  SCOPED_TRACE(name);
  switch (want.Action) {
    case TAction::Replace:
      EXPECT_EQ(control.Items(), want.Items);
      EXPECT_EQ(control.Text(), want.Selected);
      EXPECT_GE(control.ItemIndex(), 0);
      break;
    case TAction::Select:
      EXPECT_EQ(control.Items(), before.Items());
      EXPECT_EQ(control.Text(), want.Selected);
      break;
    case TAction::Empty:
      EXPECT_EQ(control.Count(), 0);
      EXPECT_EQ(control.ItemIndex(), -1);
      EXPECT_EQ(control.Text(), "");
      break;
    case TAction::Unchanged:
      EXPECT_EQ(control.Items(), before.Items());
      EXPECT_EQ(control.ItemIndex(), before.ItemIndex());
      break;
  }
}

// Every row is applied after another profile has filled the lists and the
// user has changed every selection, so that a list the row replaces cannot
// pass by keeping old items, and a list it leaves alone keeps the choice.
class ProfileFill : public ::testing::TestWithParam<TRowExpect> {};

TEST_P(ProfileFill, ListsAndDefaults) {
  const TRowExpect& want = GetParam();
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, want.Id == 22 ? "RM - Real Video (*.rm)" : "AVI - Audio Video Interleave (*.avi)"));
  for (TSettingsControl* control :
       {&controls.ComboVideoCodec, &controls.ComboVideoBitrate, &controls.ComboVideoSize, &controls.ComboVideoFramerate,
        &controls.ComboAudioCodec, &controls.ComboAudioBitrate, &controls.ComboSamplingRate,
        &controls.ComboAudioChannels, &controls.ComboAspectRatio})
    control->SetItemIndex(control->Count() - 1);
  const TProfileControls before = controls;

  ASSERT_TRUE(ChooseOutputFormat(controls, want.DisplayName));
  EXPECT_EQ(controls.FOutputFormatName, LookupOutputFormat(want.DisplayName)->FormatName);
  CheckControl("ComboVideoCodec", controls.ComboVideoCodec, before.ComboVideoCodec, want.VideoCodec);
  CheckControl("ComboVideoBitrate", controls.ComboVideoBitrate, before.ComboVideoBitrate, want.VideoBitrate);
  CheckControl("ComboVideoSize", controls.ComboVideoSize, before.ComboVideoSize, want.VideoSize);
  CheckControl("ComboVideoFramerate", controls.ComboVideoFramerate, before.ComboVideoFramerate, want.VideoFramerate);
  CheckControl("ComboAudioCodec", controls.ComboAudioCodec, before.ComboAudioCodec, want.AudioCodec);
  CheckControl("ComboAudioBitrate", controls.ComboAudioBitrate, before.ComboAudioBitrate, want.AudioBitrate);
  CheckControl("ComboSamplingRate", controls.ComboSamplingRate, before.ComboSamplingRate, want.SamplingRate);
  CheckControl("ComboAudioChannels", controls.ComboAudioChannels, before.ComboAudioChannels, want.AudioChannels);
  CheckControl("ComboAspectRatio", controls.ComboAspectRatio, before.ComboAspectRatio, want.AspectRatio);
}

std::string RowName(const ::testing::TestParamInfo<TRowExpect>& info) {
  return "Row" + std::to_string(info.param.Id);
}

INSTANTIATE_TEST_SUITE_P(EveryOfferedRow, ProfileFill, ::testing::ValuesIn(ExpectedRows()), RowName);

TEST(ProfileFill, CoversEveryOfferedRow) {
  std::vector<std::string> names;
  for (const TRowExpect& row : ExpectedRows()) names.push_back(row.DisplayName);
  std::vector<std::string> offered = OfferedOutputFormats();
  std::sort(names.begin(), names.end());
  std::sort(offered.begin(), offered.end());
  EXPECT_EQ(names, offered);
}

TEST(ProfileFill, RowsNeverOfferedHaveNoFill) {
  for (int id : {2, 5, 16, 17, 21, 47, 48, 51, 52, 54, 55, 56, 57, 62, 70}) {
    TProfileControls controls;
    controls.ComboVideoCodec.Assign({"kept"}, 0);
    EXPECT_FALSE(FillProfileControls(id, controls)) << id;
    EXPECT_EQ(controls.ComboVideoCodec.Text(), "kept");
  }
}

TEST(ProfileFill, MonoSurvivesTheIPodRowsOnly) {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
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
}

TEST(ProfileFill, AudioRowEmptiesVideoListsAndVideoRowRefillsThem) {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, "MP3 - Mpeg Layer3 Audio (*.mp3)"));
  for (const TSettingsControl* video : {&controls.ComboVideoCodec, &controls.ComboVideoBitrate,
                                        &controls.ComboVideoSize, &controls.ComboVideoFramerate}) {
    EXPECT_EQ(video->Count(), 0);
    EXPECT_EQ(video->Text(), "");
  }
  ASSERT_TRUE(ChooseOutputFormat(controls, "AVI - DivX Video (*.avi)"));
  EXPECT_EQ(controls.ComboVideoCodec.Text(), "MPEG4");
  EXPECT_EQ(controls.ComboVideoBitrate.Text(), "1200 Kbps");
  EXPECT_EQ(controls.ComboVideoSize.Text(), "Original Video Size");
  EXPECT_EQ(controls.ComboVideoFramerate.Text(), "Auto");
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
