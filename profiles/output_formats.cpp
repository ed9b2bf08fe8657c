#include "profiles/output_formats.h"

namespace fennick {

const std::array<TheAVCodec, OutputFormatCount> OutputFormatTable = {{
    {"3GP - Mobile Video Format (*.3gp)", "3GP", 0},
    {"3G2 - Mobile Video Format (*.3g2)", "3G2", 1},
    {"345 (*.mp4)", "MP4", 2},
    {"iPod (*.mp4)", "MP4", 3},
    {"iPod Extra (640 x 480) (*.mp4)", "MP4", 4},
    {"iPod Wide Screen (*.mp4)", "MP4", 5},
    {"iPod Video For TV (*.mp4)", "MP4", 6},
    {"Apple TV H264 (320 x 240) (*.mp4)", "MP4", 7},
    {"Apple TV H264 (640 x 480) (*.mp4)", "MP4", 8},
    {"Apple TV H264 (1280 x 720) (*.mp4)", "MP4", 9},
    {"Apple TV (*.mp4)", "MP4", 10},
    {"Apple TV (Normal Quality) (*.mp4)", "MP4", 11},
    {"Apple TV (High Quality) (*.mp4)", "MP4", 12},
    {"iPod Touch (*.mp4)", "MP4", 13},
    {"iPod Touch Extra (640 x 480) (*.mp4)", "MP4", 14},
    {"iPod Touch Wide Screen (*.mp4)", "MP4", 15},
    {"iPod Touchx", "MP4", 16},
    {"iPod Touchy", "MP4", 17},
    {"iPhone (*.mp4)", "MP4", 18},
    {"iPhone Extra (640 x 480) (*.mp4)", "MP4", 19},
    {"iPhone Wide Screen (*.mp4)", "MP4", 20},
    {"iphonexxxx", "MP4", 21},
    {"AVI - Audio Video Interleave (*.avi)", "AVI", 22},
    {"AVI - DivX Video (*.avi)", "AVI", 23},
    {"AVI - XviD Video (*.avi)", "AVI", 24},
    {"AVI - Uncompress (*.avi)", "AVI", 25},
    {"MOV - QuickTime Video (*.mov)", "MOV", 26},
    {"MP4 - MPEG4 Video (*.mp4)", "MP4", 27},
    {"MPEG-1 Movie (*.mpg)", "MPG", 28},
    {"MPEG-2 Movie (*.mpg)", "MPG", 29},
    {"RM - Real Video (*.rm)", "RM", 30},
    {"WMV - Windows Media Video (*.wmv)", "WMV", 31},
    {"SWF - Flash Swf (*.swf)", "SWF", 32},
    {"FLV - Flash Video (*.flv)", "FLV", 33},
    {"Video CD (*.mpg)", "MPG", 34},
    {"Super Video CD (*.mpg)", "MPG", 35},
    {"DVD - VOB (*.vob)", "VOB", 36},
    {"AAC - Advance Audio Coding (*.aac)", "AAC", 37},
    {"ASF - Advance Streaming Format (*.asf)", "ASF", 38},
    {"AU - SUN Audio (*.au)", "AU", 39},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A", 40},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", 41},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG", 42},
    {"RA - Real Audio (*.ra)", "RA", 43},
    {"WAV - Waveform Audio (*.wav)", "WAV", 44},
    {"WMA - Windows Media Audio (*.wma)", "WMA", 45},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2", 46},
    {"aaaaaa", "MP4", 47},
    {"aaaaaaa", "MP4", 48},
    {"Zune Mpeg4 Video (*.mp4)", "MP4", 49},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV", 50},
    {"Zune Mpeg4 AVC Video (*.mp4)", "MP4", 51},
    {"Zune - Future Version", "MP4", 52},
    {"PSP Video (*.mp4)", "MP4", 53},
    {"PSP Video - Good Quality (*.mp4)", "MP4", 54},
    {"PSP Video - Normal Quality (*.mp4)", "MP4", 55},
    {"PSP Video - Small File Size (*.mp4)", "MP4", 56},
    {"PSP - Future Formats", "MP4", 57},
    {"PS3 Video (*.mp4)", "MP4", 58},
    {"PS3 Video(480P) (*.mp4)", "MP4", 59},
    {"PS3 Video(720P) (*.mp4)", "MP4", 60},
    {"PS3 Video(1080P) (*.mp4)", "MP4", 61},
    {"PS3 - Future Version", "MP4", 62},
    {"Archos AV500/GMini402 (*.avi)", "AVI", 63},
    {"Archos AV700 (*.avi)", "AVI", 64},
    {"Creative Zen Vision (*.avi)", "AVI", 65},
    {"iRiver PMP100 (*.avi)", "AVI", 66},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MP4", 67},
    {"BlackBerry AVI Video (*.avi)", "AVI", 68},
    {"BlackBerry 3GP Video (*.3gp)", "3GP", 69},
    {"BlackBerry AMR Audio", "AMR", 70},
}};

bool IsSeparatorText(std::string_view text) { return text.find(SeparatorMark) != std::string_view::npos; }

const std::vector<std::string>& OutputFormatListItems() {
  static const std::vector<std::string> items = {
      // Video formats
      "3GP - Mobile Video Format (*.3gp)",
      "3G2 - Mobile Video Format (*.3g2)",
      "ASF - Advance Streaming Format (*.asf)",
      "AVI - Audio Video Interleave (*.avi)",
      "AVI - DivX Video (*.avi)",
      "AVI - Uncompress (*.avi)",
      "AVI - XviD Video (*.avi)",
      "DVD - VOB (*.vob)",
      "FLV - Flash Video (*.flv)",
      "MOV - QuickTime Video (*.mov)",
      "MP4 - MPEG4 Video (*.mp4)",
      "MPEG-1 Movie (*.mpg)",
      "MPEG-2 Movie (*.mpg)",
      "RM - Real Video (*.rm)",
      "SWF - Flash Swf (*.swf)",
      "Super Video CD (*.mpg)",
      "Video CD (*.mpg)",
      "WMV - Windows Media Video (*.wmv)",
      std::string(SeparatorRowText),
      // Audio formats
      "AAC - Advance Audio Coding (*.aac)",
      "AU - SUN Audio (*.au)",
      "M4A - Mpeg4 Audio File (*.m4a)",
      "MP2 - Mpeg Layer2 Audio (*.mp2)",
      "MP3 - Mpeg Layer3 Audio (*.mp3)",
      "OGG - Ogg Vorbis Audio (*.ogg)",
      "RA - Real Audio (*.ra)",
      "WAV - Waveform Audio (*.wav)",
      "WMA - Windows Media Audio (*.wma)",
      std::string(SeparatorRowText),
      "iPod (*.mp4)",
      "iPod Extra (640 x 480) (*.mp4)",
      "iPod Video For TV (*.mp4)",
      std::string(SeparatorRowText),
      "Apple TV (*.mp4)",
      "Apple TV (Normal Quality) (*.mp4)",
      "Apple TV (High Quality) (*.mp4)",
      "Apple TV H264 (320 x 240) (*.mp4)",
      "Apple TV H264 (640 x 480) (*.mp4)",
      "Apple TV H264 (1280 x 720) (*.mp4)",
      std::string(SeparatorRowText),
      "iPod Touch (*.mp4)",
      "iPod Touch Extra (640 x 480) (*.mp4)",
      "iPod Touch Wide Screen (*.mp4)",
      std::string(SeparatorRowText),
      "iPhone (*.mp4)",
      "iPhone Extra (640 x 480) (*.mp4)",
      "iPhone Wide Screen (*.mp4)",
      std::string(SeparatorRowText),
      "Zune Mpeg4 Video (*.mp4)",
      "Zune WMV Windows Media Video (*.wmv)",
      std::string(SeparatorRowText),
      "PSP Video (*.mp4)",
      "PS3 Video (*.mp4)",
      "PS3 Video(480P) (*.mp4)",
      "PS3 Video(720P) (*.mp4)",
      "PS3 Video(1080P) (*.mp4)",
      std::string(SeparatorRowText),
      // Other players
      "Archos AV500/GMini402 (*.avi)",
      "Archos AV700 (*.avi)",
      "BlackBerry MPEG-4 Video (*.mp4)",
      "BlackBerry AVI Video (*.avi)",
      "BlackBerry 3GP Video (*.3gp)",
      "Creative Zen Vision (*.avi)",
      "iRiver PMP100 (*.avi)",
  };
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
  static const std::string filter =
      "All Supported Files|*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;"
      "*.mp3;*.mp2;*.ogg;*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au; "
      "*.aiff;*.mjpg; *.mjpeg;*.ac3; *.gif; *.swf; *.flv"
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
      "|Windows Media Files(*.wma, *.wmv, *.asf, *.asx)|*.wma;*.wmv;*.asf;*.asx|";
  return filter;
}

}  // namespace fennick
