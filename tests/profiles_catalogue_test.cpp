// The output format catalogue: its rows, the format list built from it, the
// lookup by display text, the change handling of the list and the open
// dialog's filter.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"

namespace fennick {
namespace {

const std::string Separator = "              -----------------------------------------";

TEST(OutputFormatTable, DisplayNamesAreUnique) {
  std::set<std::string_view> names;
  for (const TheAVCodec& row : OutputFormatTable) EXPECT_TRUE(names.insert(row.DisplayName).second) << row.DisplayName;
}

// Every offered name ends in the extension its output file gets.
TEST(OutputFormatTable, OfferedNamesShowTheirFilesExtension) {
  for (const std::string& name : OfferedOutputFormats()) {
    std::string extension(LookupOutputFormat(name)->FormatName);
    for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::string ending = "(*." + extension + ")";
    EXPECT_TRUE(name.size() > ending.size() && name.ends_with(ending)) << name;
  }
}

// Every row offered is at its list position and every other entry is a
// divider before a group.
TEST(FillOutputFormatList, EveryPositionFindsItsRow) {
  TSettingsControl combo({"stale"}, 0);
  FillOutputFormatList(combo);
  ASSERT_EQ(combo.Count(), 78);
  EXPECT_EQ(combo.DropDownCount, 78);
  EXPECT_EQ(combo.Text(), "3GP - Mobile Video Format (*.3gp)");

  for (const TheAVCodec& row : OutputFormatTable)
    EXPECT_EQ(combo.IndexOf(row.DisplayName), row.ListPosition) << row.DisplayName;
  std::vector<int> dividers;
  for (int position = 0; position < combo.Count(); ++position) {
    const std::string& item = combo.Items()[position];
    if (item == Separator)
      dividers.push_back(position);
    else
      EXPECT_NE(LookupOutputFormat(item), nullptr) << item;
  }
  // The classic groups keep their places; the formats of today follow.
  EXPECT_EQ(dividers, (std::vector<int>{18, 28, 32, 39, 43, 47, 50, 56, 64, 70, 74}));
  EXPECT_EQ(Separator.size(), 55u);
}

TEST(FillOutputFormatList, OfferedNamesAreTheListWithoutDividers) {
  std::vector<std::string> list = OutputFormatListItems();
  std::erase(list, Separator);
  EXPECT_EQ(OfferedOutputFormats(), list);
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

TEST(OpenDialogFilter, ClassicPairsFirstAllSupportedFilesWithTodaysFilesAllFilesLast) {
  const std::string& filter = OpenDialogFilter();
  ASSERT_FALSE(filter.empty());
  EXPECT_EQ(filter.back(), '|');
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t bar = filter.find('|'); bar != std::string::npos; bar = filter.find('|', start)) {
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  ASSERT_GE(parts.size(), 50u);
  ASSERT_EQ(parts.size() % 2, 0u);
  const std::string classic =
      "*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;*.mp3;*.mp2;*.ogg;"
      "*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au; *.aiff;*.mjpg; "
      "*.mjpeg;*.ac3; *.gif; *.swf; *.flv";
  EXPECT_EQ(parts[0], "All Supported Files");
  ASSERT_EQ(parts[1].substr(0, classic.size()), classic);
  // The classic 24 pairs read as they always did: 1156 characters with the
  // default pair's classic patterns.
  std::string classicText = parts[0] + "|" + classic + "|";
  for (size_t i = 2; i < 48; ++i) classicText += parts[i] + "|";
  EXPECT_EQ(classicText.size(), 1156u);
  EXPECT_EQ(parts[22], "Monkey Audio Files (*.ape, *.cue)");
  EXPECT_EQ(parts[23], "*.ape;*.cue");
  EXPECT_EQ(parts[46], "Windows Media Files(*.wma, *.wmv, *.asf, *.asx)");
  EXPECT_EQ(parts[47], "*.wma;*.wmv;*.asf;*.asx");
  // Today's containers and audio files are supported files too; a cue
  // sheet is not media.
  const std::string all = ";" + parts[1] + ";";
  for (const char* pattern : {"*.mkv", "*.webm", "*.m4v", "*.mts", "*.m2ts", "*.ts", "*.ogv", "*.flac", "*.opus",
                              "*.ogg", "*.m4a", "*.wma", "*.ape"})
    EXPECT_NE(all.find(std::string(";") + pattern + ";"), std::string::npos) << pattern;
  EXPECT_EQ(all.find("*.cue"), std::string::npos);
  EXPECT_EQ(parts[parts.size() - 2], "All files (*)");
  EXPECT_EQ(parts.back(), "*");
}

}  // namespace
}  // namespace fennick
