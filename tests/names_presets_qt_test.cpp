// The window's output names and kept folders, its presets and the settings
// pinned on rows, on the offscreen platform: real conversions through
// "Convert", checked with ffprobe and on the file system; presets checked
// in the format list, in the controls and in their files (read by python3).
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "app/main_window.h"
#include "app/options_dialog.h"
#include "app/presets_dialog.h"
#include "profiles/output_formats.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;
using test::TScriptedPrompts;
using test::Choose;
using test::WaitFor;
namespace fs = std::filesystem;

namespace {

const char* const kMp3 = "MP3 - Mpeg Layer3 Audio (*.mp3)";
const char* const kMp4 = "MP4 - MPEG4 Video (*.mp4)";

class TQuietSession : public IDesktopSession {
 public:
  void InhibitSleep(const QString&) override {}
  void AllowSleep() override {}
  void Notify(const QString&, const QString&) override {}
};

std::set<std::string> FilesBelow(const fs::path& folder) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), folder).string());
  return files;
}

struct NamesPresetsWindow : testing::Test {
  test::TempDir Dir;
  std::string Out = Dir.file("out");
  TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  TQuietSession Session;
  std::unique_ptr<TForm1> Form;

  void SetUp() override {
    test::ClearSettings();
    fs::remove_all(PresetsFolder());
    Form = MakeWindow(Prompts);
    ASSERT_TRUE(Form);
    fs::create_directories(Out);
    C().EditOutputFolder = Out;
  }
  std::unique_ptr<TForm1> MakeWindow(TScriptedPrompts& prompts) {
    auto form = std::make_unique<TForm1>(prompts, &Player, TDesktopActions{[](const QString&) { return true; }, [] {}},
                                         &Session);
    if (!form->FormCreate(QStringLiteral(FENNICK_BIN_DIR))) return nullptr;
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
    return form;
  }
  // Where the presets of the test program live: its own XDG_CONFIG_HOME.
  static std::string PresetsFolder() { return qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/fennick/presets"; }

  TMainController& C() { return Form->Controller(); }
  std::string Cell(int row, TListColumn column) { return C().ListView1.Row(row).Cell(column); }

  std::string MakeVideo(const std::string& name) { return test::SmallClip(Dir, name); }
  void AddSources(const std::vector<std::string>& paths, int rows) {
    C().AddFileSources(paths);
    ASSERT_TRUE(WaitFor([&] { return !C().Run.FAddingFiles && C().ListView1.Count() == rows; }));
  }
  void ConvertAndWait() {
    QTest::mouseClick(Form->ButtonConvert, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !C().Run.RunActive && !C().Run.Converting && C().ffVCL.TaskCount() == 0; }));
  }
  // python3's reading of a preset file: its name, format and items.
  std::string PresetFileSays(const std::string& file) {
    const test::CommandResult read = test::RunCommand(
        "python3 -c 'import json,sys; p=json.load(open(sys.argv[1])); s=p[\"settings\"]; "
        "print(p[\"name\"], s[\"format\"], s[\"items\"], s[\"aspect\"], s[\"volume\"], s.get(\"zoom\", 0), sep=\"|\")' " +
        test::ShellQuote(PresetsFolder() + "/" + file));
    return read.exitCode == 0 ? read.output : "unreadable: " + read.output;
  }
};

}  // namespace

TEST_F(NamesPresetsWindow, ADroppedFolderKeepsItsSubfoldersAndTheNamePatternNamesTheOutputs) {
  const std::string tree = Dir.file("tree");
  MakeVideo("tree/top.mp4");
  MakeVideo("tree/sub/inner.mov");
  TForm4& options = Form->OptionsDialog();
  options.CheckBoxKeepFolders->setChecked(true);
  options.EditNamePattern->clear();
  QTest::keyClicks(options.EditNamePattern, QStringLiteral("{name}-{n}"));
  ASSERT_NO_FATAL_FAILURE(AddSources({tree}, 2));

  ASSERT_NO_FATAL_FAILURE(ConvertAndWait());

  EXPECT_EQ(Cell(0, ColProgress), "Done");
  EXPECT_EQ(Cell(1, ColProgress), "Done");
  EXPECT_EQ(FilesBelow(Out), (std::set<std::string>{"sub/inner-1.3gp", "top-2.3gp"}));
  EXPECT_GE(test::FindStream(test::ProbeFile(Out + "/sub/inner-1.3gp"), "video"), 0);
}

// The options show the pattern's tokens and the name it gives the selected
// row: the very name its conversion then writes.
TEST_F(NamesPresetsWindow, ThePatternsExampleIsTheNameTheSelectedRowGets) {
  MakeVideo("beach.mov");
  MakeVideo("dune.mp4");
  ASSERT_NO_FATAL_FAILURE(AddSources({Dir.file("beach.mov"), Dir.file("dune.mp4")}, 2));
  Form->ListView1->selectRow(1);
  TForm4& options = Form->OptionsDialog();
  options.Sync();
  EXPECT_TRUE(options.LabelNameTokens->text().contains(QStringLiteral("{width}")));
  options.EditNamePattern->clear();
  QTest::keyClicks(options.EditNamePattern, QStringLiteral("{name}_{width}x{height}_{n}"));
  const QString example = options.LabelNameExample->text();
  test::SaveScreenshot(options, QStringLiteral("options-name-example"));
  ASSERT_TRUE(example.startsWith(QStringLiteral("Example: dune_"))) << example.toStdString();

  ASSERT_NO_FATAL_FAILURE(ConvertAndWait());
  const std::set<std::string> written = FilesBelow(Out);
  EXPECT_TRUE(written.count(example.mid(9).toStdString())) << example.toStdString();
}

TEST_F(NamesPresetsWindow, APresetIsSavedListedChosenWithEveryControlRenamedAndDeleted) {
  Choose(*Form->ComboOutputFormat, QString::fromLatin1(kMp3));
  Choose(*Form->ComboAudioBitrate, QStringLiteral("64 Kbps"));
  Choose(*Form->ComboSamplingRate, QStringLiteral("22050 Hz"));
  Choose(*Form->ComboAudioChannels, QStringLiteral("Mono"));
  Form->TrackBar1->setValue(2);  // 160%
  emit Form->OptionsDialog().ComboAspectRatio4->activated(2);
  emit Form->OptionsDialog().ComboLetterBox->activated(1);
  const int formats = C().Controls.ComboOutputFormat.Count();

  Prompts.TextAnswers.push_back(QStringLiteral("Small Audio"));
  Form->SaveSettingsAsPreset1->trigger();

  EXPECT_EQ(PresetFileSays("Small Audio.json"),
            std::string("Small Audio|") + kMp3 + "|['', '', '', '', 'mp3', '64 Kbps', '22050 Hz', 'Mono']|2|400|1\n");
  // Listed after the formats, behind a separator.
  ASSERT_EQ(Form->ComboOutputFormat->count(), formats + 2);
  EXPECT_TRUE(Form->ComboOutputFormat->itemText(formats).isEmpty());
  EXPECT_EQ(Form->ComboOutputFormat->itemText(formats + 1), QStringLiteral("Small Audio"));
  test::SaveScreenshot(*Form, QStringLiteral("presets-saved"));

  // Everything else changed, then the preset chosen.
  Choose(*Form->ComboOutputFormat, QString::fromLatin1(kMp4));
  Form->TrackBar1->setValue(5);
  emit Form->OptionsDialog().ComboAspectRatio4->activated(0);
  emit Form->OptionsDialog().ComboLetterBox->activated(0);
  Form->ComboOutputFormat->setCurrentIndex(formats + 1);
  emit Form->ComboOutputFormat->activated(formats + 1);

  // The list shows the preset's name, the job its format.
  EXPECT_EQ(Form->ComboOutputFormat->currentText(), QStringLiteral("Small Audio"));
  EXPECT_EQ(C().Controls.ComboOutputFormat.Text(), kMp3);
  EXPECT_EQ(Form->ComboAudioCodec->currentText(), QStringLiteral("mp3"));
  EXPECT_EQ(Form->ComboAudioBitrate->currentText(), QStringLiteral("64 Kbps"));
  EXPECT_EQ(Form->ComboSamplingRate->currentText(), QStringLiteral("22050 Hz"));
  EXPECT_EQ(Form->ComboAudioChannels->currentText(), QStringLiteral("Mono"));
  EXPECT_EQ(Form->TrackBar1->value(), 2);
  EXPECT_EQ(C().Controls.ComboAspectRatio.ItemIndex(), 2);
  Form->OptionsDialog().Sync();
  EXPECT_EQ(Form->OptionsDialog().ComboAspectRatio4->currentIndex(), 2);
  EXPECT_EQ(Form->OptionsDialog().ComboLetterBox->currentIndex(), 1);
  // A choice changed: no longer the preset.
  Choose(*Form->ComboAudioBitrate, QStringLiteral("128 Kbps"));
  EXPECT_EQ(Form->ComboOutputFormat->currentText(), QString::fromLatin1(kMp3));

  TPresetsDialog& presets = Form->PresetsDialog();
  ASSERT_EQ(presets.ListPresets->count(), 1);
  presets.ListPresets->setCurrentRow(0);
  Prompts.TextAnswers.push_back(QStringLiteral("Tiny/Audio"));
  QTest::mouseClick(presets.ButtonRename, Qt::LeftButton);
  EXPECT_EQ(presets.ListPresets->item(0)->text(), QStringLiteral("Tiny/Audio"));
  EXPECT_EQ(Form->ComboOutputFormat->itemText(formats + 1), QStringLiteral("Tiny/Audio"));
  EXPECT_EQ(FilesBelow(PresetsFolder()), std::set<std::string>{"Tiny%2FAudio.json"});
  EXPECT_EQ(PresetFileSays("Tiny%2FAudio.json").substr(0, 11), "Tiny/Audio|");

  Prompts.QuestionAnswers.push_back(true);
  QTest::mouseClick(presets.ButtonDelete, Qt::LeftButton);
  EXPECT_EQ(presets.ListPresets->count(), 0);
  EXPECT_EQ(Form->ComboOutputFormat->count(), formats);
  EXPECT_TRUE(FilesBelow(PresetsFolder()).empty());
  EXPECT_EQ(Prompts.Count(TScriptedPrompts::TKind::Information), 0) << Prompts.Texts(TScriptedPrompts::TKind::Information).join('\n').toStdString();
}

TEST_F(NamesPresetsWindow, ADamagedPresetFileIsSkippedWithAMessageAndTheOthersAreOffered) {
  Prompts.TextAnswers.push_back(QStringLiteral("Good"));
  Form->SaveSettingsAsPreset1->trigger();
  std::ofstream(PresetsFolder() + "/Broken.json") << "{\"kind\": \"fennick-preset\", \"version\": 1, \"name\": ";

  TScriptedPrompts prompts;
  const auto second = MakeWindow(prompts);
  ASSERT_TRUE(second);

  const QStringList said = prompts.Texts(TScriptedPrompts::TKind::Information);
  ASSERT_EQ(said.size(), 1);
  EXPECT_TRUE(said[0].contains(QStringLiteral("Broken.json\" is damaged"))) << said[0].toStdString();
  EXPECT_TRUE(said[0].endsWith(QStringLiteral("skipped"))) << said[0].toStdString();
  const int formats = second->Controller().Controls.ComboOutputFormat.Count();
  ASSERT_EQ(second->ComboOutputFormat->count(), formats + 2);
  EXPECT_EQ(second->ComboOutputFormat->itemText(formats + 1), QStringLiteral("Good"));
}

TEST_F(NamesPresetsWindow, APinnedRowConvertsWithItsOwnFormatInTheRunOfAnUnpinnedOne) {
  const std::string a = MakeVideo("a.mp4"), b = MakeVideo("b.mov");
  ASSERT_NO_FATAL_FAILURE(AddSources({a, b}, 2));
  Choose(*Form->ComboOutputFormat, QString::fromLatin1(kMp3));
  Form->ListView1->selectRow(0);
  Form->KeepCurrentSettings1->trigger();
  Choose(*Form->ComboOutputFormat, QString::fromLatin1(kMp4));

  // The pinned row shows its own format, in italics.
  const QAbstractItemModel* model = Form->ListView1->model();
  EXPECT_EQ(Cell(0, ColOutput), "MP3");
  EXPECT_EQ(Cell(1, ColOutput), "MP4");
  EXPECT_TRUE(model->data(model->index(0, ColOutput), Qt::FontRole).value<QFont>().italic());
  EXPECT_FALSE(model->data(model->index(1, ColOutput), Qt::FontRole).value<QFont>().italic());
  test::SaveScreenshot(*Form, QStringLiteral("pinned-row"));

  ASSERT_NO_FATAL_FAILURE(ConvertAndWait());

  EXPECT_EQ(Cell(0, ColProgress), "Done");
  EXPECT_EQ(Cell(1, ColProgress), "Done");
  EXPECT_EQ(FilesBelow(Out), (std::set<std::string>{"a.mp3", "b.mp4"}));
  const auto mp3 = test::ProbeFile(Out + "/a.mp3");
  EXPECT_EQ(test::FindStream(mp3, "video"), -1);
  ASSERT_GE(test::FindStream(mp3, "audio"), 0);
  EXPECT_EQ(test::StreamValue(mp3, test::FindStream(mp3, "audio"), "codec_name"), "mp3");
  const auto mp4 = test::ProbeFile(Out + "/b.mp4");
  ASSERT_GE(test::FindStream(mp4, "video"), 0);
  EXPECT_EQ(test::StreamValue(mp4, test::FindStream(mp4, "video"), "codec_name"), "mpeg4");

  // "Use Window Settings" takes the pin off.
  Form->ListView1->selectRow(0);
  Form->UseWindowSettings1->trigger();
  EXPECT_EQ(Cell(0, ColOutput), "MP4");
  EXPECT_FALSE(model->data(model->index(0, ColOutput), Qt::FontRole).value<QFont>().italic());
}
