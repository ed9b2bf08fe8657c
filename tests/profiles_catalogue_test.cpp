// The output format catalogue: its rows, the format list built from it, the
// lookup by display text, the change handling of the list and the open
// dialog's filter.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"

namespace fennick {
namespace {

struct TCatalogueRow {
  int Id;
  std::string DisplayName;
  std::string FormatName;
  int ListPosition;  // -1: never offered
};

const TCatalogueRow ExpectedRows[] = {
    {0, "3GP - Mobile Video Format (*.3gp)", "3GP", 0},
    {1, "3G2 - Mobile Video Format (*.3g2)", "3G2", 1},
    {2, "345 (*.mp4)", "MP4", -1},
    {3, "iPod (*.mp4)", "MP4", 29},
    {4, "iPod Extra (640 x 480) (*.mp4)", "MP4", 30},
    {5, "iPod Wide Screen (*.mp4)", "MP4", -1},
    {6, "iPod Video For TV (*.mp4)", "MP4", 31},
    {7, "Apple TV H264 (320 x 240) (*.mp4)", "MP4", 36},
    {8, "Apple TV H264 (640 x 480) (*.mp4)", "MP4", 37},
    {9, "Apple TV H264 (1280 x 720) (*.mp4)", "MP4", 38},
    {10, "Apple TV (*.mp4)", "MP4", 33},
    {11, "Apple TV (Normal Quality) (*.mp4)", "MP4", 34},
    {12, "Apple TV (High Quality) (*.mp4)", "MP4", 35},
    {13, "iPod Touch (*.mp4)", "MP4", 40},
    {14, "iPod Touch Extra (640 x 480) (*.mp4)", "MP4", 41},
    {15, "iPod Touch Wide Screen (*.mp4)", "MP4", 42},
    {16, "iPod Touchx", "MP4", -1},
    {17, "iPod Touchy", "MP4", -1},
    {18, "iPhone (*.mp4)", "MP4", 44},
    {19, "iPhone Extra (640 x 480) (*.mp4)", "MP4", 45},
    {20, "iPhone Wide Screen (*.mp4)", "MP4", 46},
    {21, "iphonexxxx", "MP4", -1},
    {22, "AVI - Audio Video Interleave (*.avi)", "AVI", 3},
    {23, "AVI - DivX Video (*.avi)", "AVI", 4},
    {24, "AVI - XviD Video (*.avi)", "AVI", 6},
    {25, "AVI - Uncompress (*.avi)", "AVI", 5},
    {26, "MOV - QuickTime Video (*.mov)", "MOV", 9},
    {27, "MP4 - MPEG4 Video (*.mp4)", "MP4", 10},
    {28, "MPEG-1 Movie (*.mpg)", "MPG", 11},
    {29, "MPEG-2 Movie (*.mpg)", "MPG", 12},
    {30, "RM - Real Video (*.rm)", "RM", 13},
    {31, "WMV - Windows Media Video (*.wmv)", "WMV", 17},
    {32, "SWF - Flash Swf (*.swf)", "SWF", 14},
    {33, "FLV - Flash Video (*.flv)", "FLV", 8},
    {34, "Video CD (*.mpg)", "MPG", 16},
    {35, "Super Video CD (*.mpg)", "MPG", 15},
    {36, "DVD - VOB (*.vob)", "VOB", 7},
    {37, "AAC - Advance Audio Coding (*.aac)", "AAC", 19},
    {38, "ASF - Advance Streaming Format (*.asf)", "ASF", 2},
    {39, "AU - SUN Audio (*.au)", "AU", 20},
    {40, "M4A - Mpeg4 Audio File (*.m4a)", "M4A", 21},
    {41, "MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", 23},
    {42, "OGG - Ogg Vorbis Audio (*.ogg)", "OGG", 24},
    {43, "RA - Real Audio (*.ra)", "RA", 25},
    {44, "WAV - Waveform Audio (*.wav)", "WAV", 26},
    {45, "WMA - Windows Media Audio (*.wma)", "WMA", 27},
    {46, "MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2", 22},
    {47, "aaaaaa", "MP4", -1},
    {48, "aaaaaaa", "MP4", -1},
    {49, "Zune Mpeg4 Video (*.mp4)", "MP4", 48},
    {50, "Zune WMV Windows Media Video (*.wmv)", "WMV", 49},
    {51, "Zune Mpeg4 AVC Video (*.mp4)", "MP4", -1},
    {52, "Zune - Future Version", "MP4", -1},
    {53, "PSP Video (*.mp4)", "MP4", 51},
    {54, "PSP Video - Good Quality (*.mp4)", "MP4", -1},
    {55, "PSP Video - Normal Quality (*.mp4)", "MP4", -1},
    {56, "PSP Video - Small File Size (*.mp4)", "MP4", -1},
    {57, "PSP - Future Formats", "MP4", -1},
    {58, "PS3 Video (*.mp4)", "MP4", 52},
    {59, "PS3 Video(480P) (*.mp4)", "MP4", 53},
    {60, "PS3 Video(720P) (*.mp4)", "MP4", 54},
    {61, "PS3 Video(1080P) (*.mp4)", "MP4", 55},
    {62, "PS3 - Future Version", "MP4", -1},
    {63, "Archos AV500/GMini402 (*.avi)", "AVI", 57},
    {64, "Archos AV700 (*.avi)", "AVI", 58},
    {65, "Creative Zen Vision (*.avi)", "AVI", 62},
    {66, "iRiver PMP100 (*.avi)", "AVI", 63},
    {67, "BlackBerry MPEG-4 Video (*.mp4)", "MP4", 59},
    {68, "BlackBerry AVI Video (*.avi)", "AVI", 60},
    {69, "BlackBerry 3GP Video (*.3gp)", "3GP", 61},
    {70, "BlackBerry AMR Audio", "AMR", -1},
};

const std::string Separator = "              -----------------------------------------";

TEST(OutputFormatTable, RowsInOrderWithNamesAndNumbers) {
  ASSERT_EQ(OutputFormatTable.size(), std::size(ExpectedRows));
  for (const TCatalogueRow& want : ExpectedRows) {
    const TheAVCodec& row = OutputFormatTable[want.Id];
    EXPECT_EQ(row.DisplayName, want.DisplayName) << "row " << want.Id;
    EXPECT_EQ(row.FormatName, want.FormatName) << "row " << want.Id;
    EXPECT_EQ(row.ProfileId, want.Id);
  }
}

TEST(OutputFormatTable, DisplayNamesAreUnique) {
  std::set<std::string_view> names;
  for (const TheAVCodec& row : OutputFormatTable) EXPECT_TRUE(names.insert(row.DisplayName).second) << row.DisplayName;
}

TEST(FillOutputFormatList, SixtyFourEntriesEachRowAtItsPosition) {
  TSettingsControl combo({"stale"}, 0);
  FillOutputFormatList(combo);
  ASSERT_EQ(combo.Count(), 64);
  EXPECT_EQ(combo.DropDownCount, 64);
  EXPECT_EQ(combo.ItemIndex(), 0);
  EXPECT_EQ(combo.Text(), "3GP - Mobile Video Format (*.3gp)");

  int offered = 0;
  for (const TCatalogueRow& want : ExpectedRows) {
    if (want.ListPosition < 0) {
      EXPECT_EQ(combo.IndexOf(want.DisplayName), -1) << want.DisplayName << " must not be offered";
      continue;
    }
    ++offered;
    EXPECT_EQ(combo.Items()[want.ListPosition], want.DisplayName) << "position " << want.ListPosition;
  }
  EXPECT_EQ(offered, 56);

  std::vector<int> separators;
  for (int i = 0; i < combo.Count(); ++i)
    if (combo.Items()[i] == Separator) separators.push_back(i);
  EXPECT_EQ(separators, (std::vector<int>{18, 28, 32, 39, 43, 47, 50, 56}));
  EXPECT_EQ(Separator.size(), 55u);
}

TEST(FillOutputFormatList, OfferedNamesAreTheListWithoutDividers) {
  std::vector<std::string> offered = OfferedOutputFormats();
  ASSERT_EQ(offered.size(), 56u);
  EXPECT_EQ(offered.front(), "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(offered[18], "AAC - Advance Audio Coding (*.aac)");
  EXPECT_EQ(offered.back(), "iRiver PMP100 (*.avi)");
  for (const std::string& name : offered) EXPECT_NE(LookupOutputFormat(name), nullptr) << name;
}

TEST(LookupOutputFormat, ExactWholeCaseSensitiveText) {
  const TheAVCodec* asf = LookupOutputFormat("ASF - Advance Streaming Format (*.asf)");
  ASSERT_NE(asf, nullptr);
  EXPECT_EQ(asf->ProfileId, 38);
  EXPECT_EQ(asf->FormatName, "ASF");

  EXPECT_EQ(LookupOutputFormat("asf - advance streaming format (*.asf)"), nullptr);
  EXPECT_EQ(LookupOutputFormat("IPOD (*.mp4)"), nullptr);
  EXPECT_EQ(LookupOutputFormat("iPod"), nullptr);
  EXPECT_EQ(LookupOutputFormat("iPod (*.mp4) "), nullptr);
  EXPECT_EQ(LookupOutputFormat(""), nullptr);
  EXPECT_EQ(LookupOutputFormat(Separator), nullptr);
}

TEST(LookupOutputFormat, FormatNamesGiveTheExtensions) {
  struct {
    const char* display;
    const char* format;
  } cases[] = {
      {"iPod (*.mp4)", "MP4"},
      {"Apple TV H264 (1280 x 720) (*.mp4)", "MP4"},
      {"PSP Video (*.mp4)", "MP4"},
      {"PS3 Video(1080P) (*.mp4)", "MP4"},
      {"Zune Mpeg4 Video (*.mp4)", "MP4"},
      {"BlackBerry MPEG-4 Video (*.mp4)", "MP4"},
      {"Zune WMV Windows Media Video (*.wmv)", "WMV"},
      {"DVD - VOB (*.vob)", "VOB"},
      {"MPEG-1 Movie (*.mpg)", "MPG"},
      {"MPEG-2 Movie (*.mpg)", "MPG"},
      {"Video CD (*.mpg)", "MPG"},
      {"Super Video CD (*.mpg)", "MPG"},
      {"BlackBerry 3GP Video (*.3gp)", "3GP"},
  };
  for (const auto& c : cases) {
    const TheAVCodec* row = LookupOutputFormat(c.display);
    ASSERT_NE(row, nullptr) << c.display;
    EXPECT_EQ(row->FormatName, c.format) << c.display;
  }
}

// The window's state right after start-up: list filled, first entry applied.
TProfileControls StartedControls() {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  EXPECT_TRUE(OutputFormatChanged(controls));
  return controls;
}

TEST(OutputFormatChange, ListPositionSelectsTheRowOfThatText) {
  TProfileControls controls = StartedControls();
  EXPECT_EQ(controls.FOutputFormatName, "3GP");
  controls.ComboOutputFormat.SetItemIndex(2);
  ASSERT_TRUE(OutputFormatChanged(controls));
  EXPECT_EQ(controls.LastFormatIndex, 2);
  EXPECT_EQ(controls.FOutputFormatName, "ASF");
  // Row 38's settings, not row 2's ("345 (*.mp4)") nor the list's third row.
  EXPECT_EQ(controls.ComboVideoCodec.Text(), "MSMPEG4");
  EXPECT_EQ(controls.ComboAudioCodec.Text(), "mp3");
}

TEST(OutputFormatChange, DividerSnapsBackAndChangesNothing) {
  TProfileControls controls = StartedControls();
  ASSERT_TRUE(ChooseOutputFormat(controls, "MP3 - Mpeg Layer3 Audio (*.mp3)"));
  EXPECT_EQ(controls.LastFormatIndex, 23);
  controls.ComboAudioBitrate.SelectText("320 Kbps");
  controls.ComboAudioChannels.SelectText("Mono");
  const TProfileControls before = controls;

  for (int divider : {18, 28, 56}) {
    controls.ComboOutputFormat.SetItemIndex(divider);
    EXPECT_FALSE(OutputFormatChanged(controls));
    EXPECT_EQ(controls.ComboOutputFormat.ItemIndex(), 23);
    EXPECT_EQ(controls.ComboOutputFormat.Text(), "MP3 - Mpeg Layer3 Audio (*.mp3)");
    EXPECT_EQ(controls.LastFormatIndex, 23);
    EXPECT_EQ(controls.FOutputFormatName, "MP3");
    EXPECT_EQ(controls.ComboAudioBitrate.Text(), "320 Kbps");
    EXPECT_EQ(controls.ComboAudioChannels.Text(), "Mono");
    EXPECT_EQ(controls.ComboVideoCodec.Count(), before.ComboVideoCodec.Count());
    EXPECT_EQ(controls.ComboAudioBitrate.Items(), before.ComboAudioBitrate.Items());
  }
  EXPECT_FALSE(ChooseOutputFormat(controls, Separator));
  EXPECT_EQ(controls.ComboOutputFormat.ItemIndex(), 23);
}

TEST(OutputFormatChange, ReChoosingTheSameEntryRefills) {
  TProfileControls controls = StartedControls();
  ASSERT_TRUE(ChooseOutputFormat(controls, "AVI - DivX Video (*.avi)"));
  controls.ComboVideoBitrate.SelectText("2500 Kbps");
  ASSERT_TRUE(OutputFormatChanged(controls));
  EXPECT_EQ(controls.ComboVideoBitrate.Text(), "1200 Kbps");
}

TEST(OutputFormatChange, EntriesNotInTheListCannotBeChosen) {
  TProfileControls controls = StartedControls();
  EXPECT_FALSE(ChooseOutputFormat(controls, "iPod Wide Screen (*.mp4)"));
  EXPECT_FALSE(ChooseOutputFormat(controls, "BlackBerry AMR Audio"));
  EXPECT_FALSE(ChooseOutputFormat(controls, "ipod (*.mp4)"));
  EXPECT_EQ(controls.ComboOutputFormat.ItemIndex(), 0);
  EXPECT_EQ(controls.FOutputFormatName, "3GP");
}

TEST(ApplyProfileToControls, UnknownTextChangesNothing) {
  TProfileControls controls = StartedControls();
  controls.ComboOutputFormat.Assign({"Something else"}, 0);
  ApplyProfileToControls(controls);
  EXPECT_EQ(controls.FOutputFormatName, "3GP");
  EXPECT_EQ(controls.ComboVideoCodec.Text(), "MPEG4");
}

TEST(OpenDialogFilter, PairsAndPatterns) {
  const std::string& filter = OpenDialogFilter();
  ASSERT_FALSE(filter.empty());
  EXPECT_EQ(filter.back(), '|');
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t bar = filter.find('|'); bar != std::string::npos; bar = filter.find('|', start)) {
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  ASSERT_EQ(parts.size(), 48u);
  EXPECT_EQ(parts[0], "All Supported Files");
  EXPECT_EQ(parts[1],
            "*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;*.mp3;*.mp2;*.ogg;"
            "*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au; *.aiff;*.mjpg; "
            "*.mjpeg;*.ac3; *.gif; *.swf; *.flv");
  EXPECT_EQ(parts[1].find("*.ape"), std::string::npos);
  EXPECT_EQ(parts[22], "Monkey Audio Files (*.ape, *.cue)");
  EXPECT_EQ(parts[23], "*.ape;*.cue");
  EXPECT_EQ(parts[46], "Windows Media Files(*.wma, *.wmv, *.asf, *.asx)");
  EXPECT_EQ(parts[47], "*.wma;*.wmv;*.asf;*.asx");
  EXPECT_EQ(filter.size(), 1156u);
}

}  // namespace
}  // namespace fennick
