// The window on a German desktop (LANG=de_DE.UTF-8, set before the
// application exists): German captions, a German row state over the English
// one the list keeps, a German settings item that converts with its English
// value, a screenshot, and a German catalogue that holds every window text.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>
#include <QXmlStreamReader>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <filesystem>

#include "app/main_window.h"
#include "app/options_dialog.h"
#include "app/translations.h"
#include "jobs/queue_store.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;
using test::Choose;
using test::WaitFor;
namespace fs = std::filesystem;

namespace {

// Before main() makes the application: the desktop speaks German.
const bool kGermanDesktop = [] {
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LANGUAGE");
  setenv("LANG", "de_DE.UTF-8", 1);
  return true;
}();

QString Q(const std::string& text) { return QString::fromStdString(text); }

struct GermanWindow : testing::Test {
  test::TempDir Dir;
  std::string Out = Dir.file("out");
  test::TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  std::unique_ptr<TForm1> Form;

  static void SetUpTestSuite() {
    ASSERT_TRUE(kGermanDesktop);
    // As the program does, from the folder the program runs in.
    ASSERT_TRUE(InstallTranslations(*QCoreApplication::instance(), QStringLiteral(FENNICK_BIN_DIR)))
        << "no German catalogue in " FENNICK_BIN_DIR "/translations";
  }
  void SetUp() override {
    test::ClearSettings();
    Form = std::make_unique<TForm1>(Prompts, &Player, TDesktopActions{[](const QString&) { return true; }, [] {}});
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    fs::create_directories(Out);
    C().EditOutputFolder = Out;
  }
  TMainController& C() { return Form->Controller(); }

  std::string MakeVideo(const std::string& name, int width, int height) {
    const std::string path = Dir.file(name);
    test::ClipSpec spec;
    spec.width = width;
    spec.height = height;
    EXPECT_TRUE(test::MakeClip(path, spec));
    return path;
  }
  void AddAndConvert(const std::string& path) {
    C().AddFileSources({path});
    ASSERT_TRUE(WaitFor([&] { return !C().Run.FAddingFiles && C().ListView1.Count() == 1; }));
    QTest::mouseClick(Form->ButtonConvert, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !C().Run.RunActive && !C().Run.Converting && C().ffVCL.TaskCount() == 0; }));
  }
};

}  // namespace

TEST_F(GermanWindow, ButtonsMenusColumnsRowStateAndOptionsDialogSpeakGerman) {
  EXPECT_EQ(Form->ButtonAddFile->text(), QStringLiteral("Hin&zufügen"));
  EXPECT_EQ(Form->ButtonConvert->text(), QStringLiteral("&Konvertieren"));
  EXPECT_EQ(Form->menuBar()->actions().value(0)->text(), QStringLiteral("&Datei"));
  EXPECT_EQ(Form->GroupAudioSettings->title(), QStringLiteral(" Audioeinstellungen "));
  const QAbstractItemModel* model = Form->ListView1->model();
  EXPECT_EQ(model->headerData(ColFileName, Qt::Horizontal).toString(), QStringLiteral("Dateiname"));
  EXPECT_EQ(model->headerData(ColProgress, Qt::Horizontal).toString(), QStringLiteral("Fortschritt"));

  ASSERT_NO_FATAL_FAILURE(AddAndConvert(MakeVideo("clip.mp4", 320, 240)));
  // The list keeps the English state; the window shows the German one.
  EXPECT_EQ(C().ListView1.Row(0).Cell(ColProgress), "Done");
  EXPECT_EQ(model->index(0, ColProgress).data().toString(), QStringLiteral("Fertig"));
  const QStringList told = Prompts.Texts(test::TScriptedPrompts::TKind::Information);
  ASSERT_EQ(told.size(), 1);
  EXPECT_TRUE(told[0].startsWith(QStringLiteral("Alle Konvertierungen abgeschlossen\n\n1 fertig, 0 fehlgeschlagen")))
      << told[0].toStdString();

  TForm4& options = Form->OptionsDialog();
  EXPECT_EQ(options.windowTitle(), QStringLiteral("Zusätzliche Optionen"));
  EXPECT_EQ(options.ComboRunEnd->itemText(0), QStringLiteral("Nichts tun"));
  test::SaveScreenshot(*Form, QStringLiteral("main-window-de"));
}

TEST_F(GermanWindow, AGermanSettingsItemConvertsWithItsEnglishValue) {
  Choose(*Form->ComboOutputFormat, QStringLiteral("MPEG-1 Movie (*.mpg)"));
  // The format's size is 320 x 240; "Originalgröße" keeps the source's.
  Choose(*Form->ComboVideoSize, QStringLiteral("Originalgröße"));
  EXPECT_EQ(C().Controls.ComboVideoSize.Text(), "Original Video Size");

  ASSERT_NO_FATAL_FAILURE(AddAndConvert(MakeVideo("small.mp4", 160, 120)));

  const auto probe = test::ProbeFile(Out + "/small.mpg");
  const int video = test::FindStream(probe, "video");
  ASSERT_GE(video, 0);
  EXPECT_EQ(test::StreamValue(probe, video, "width"), "160");
  EXPECT_EQ(test::StreamValue(probe, video, "height"), "120");
}

// Numbers with a point (a 29.97 fps item, a 1.5 s clip) mean the same on a
// desktop whose locale writes a decimal comma: the file is the one the
// command line makes under the C locale.
TEST_F(GermanWindow, ANumberWithAPointGivesTheSameFileAsUnderC) {
  ASSERT_STREQ(std::localeconv()->decimal_point, ",")
      << "the de_DE.UTF-8 locale is not installed (scripts/deps.sh --tests generates it)";
  const std::string source = Dir.file("clip.mp4");
  test::ClipSpec spec;
  spec.seconds = 1.5;
  ASSERT_TRUE(test::MakeClip(source, spec));
  Choose(*Form->ComboOutputFormat, QStringLiteral("MPEG-1 Movie (*.mpg)"));
  Choose(*Form->ComboVideoFramerate, QStringLiteral("29.97 fps"));
  ASSERT_NO_FATAL_FAILURE(AddAndConvert(source));

  const std::string c = Dir.file("c");
  fs::create_directories(c);
  const auto run = test::RunCommand("LC_ALL=C " + test::ShellQuote(FENNICK_BIN_DIR "/fennick-convert") +
                                    " -f mpg --set VideoFramerate=29.97 -o " + test::ShellQuote(c) + " " +
                                    test::ShellQuote(source));
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  EXPECT_TRUE(bytes(Out + "/clip.mpg") == bytes(c + "/clip.mpg")) << "the files differ";
  const auto probe = test::ProbeFile(Out + "/clip.mpg");
  EXPECT_EQ(test::StreamValue(probe, test::FindStream(probe, "video"), "r_frame_rate"), "30000/1001");
  // The saved list, with the row's aspect of 1.33333, is JSON a parser takes.
  const auto parsed = test::RunCommand("python3 -c 'import json,sys; json.load(open(sys.argv[1]))' " +
                                       test::ShellQuote(SavedQueuePath()));
  EXPECT_EQ(parsed.exitCode, 0) << parsed.output;
}

// lupdate over the window's sources, merged into a copy of the German
// catalogue: every text has a finished German translation, and the
// catalogue holds no text the sources no longer have.
TEST(GermanCatalogue, EveryWindowTextHasAFinishedTranslation) {
  const std::string lupdate = FENNICK_LUPDATE;
  if (lupdate.empty() || !fs::exists(lupdate)) GTEST_SKIP() << "lupdate is not installed (qt6-l10n-tools): skipped";
  test::TempDir dir;
  const std::string catalogue = dir.file("fennick_de.ts");
  fs::copy_file(FENNICK_SOURCE_DIR "/app/translations/fennick_de.ts", catalogue);
  const test::CommandResult run = test::RunCommand(
      test::ShellQuote(lupdate) + " -locations none -I " + test::ShellQuote(FENNICK_SOURCE_DIR) + " " +
      test::ShellQuote(FENNICK_SOURCE_DIR "/app") + " -extensions cpp,h -ts " + test::ShellQuote(catalogue) + " 2>&1");
  ASSERT_EQ(run.exitCode, 0) << run.output;

  QFile file(Q(catalogue));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  QString context, source;
  int messages = 0;
  QStringList untranslated;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (xml.name() == QLatin1String("source")) {
      source = xml.readElementText();
    } else if (xml.name() == QLatin1String("translation")) {
      ++messages;
      const QString type = xml.attributes().value(QLatin1String("type")).toString();
      const QString text = xml.readElementText();
      if (!type.isEmpty() || text.isEmpty())
        untranslated << QStringLiteral("%1: %2 [%3]").arg(context, source, type);
    }
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_GT(messages, 100);
  EXPECT_TRUE(untranslated.isEmpty()) << untranslated.join(QLatin1Char('\n')).toStdString();
}
