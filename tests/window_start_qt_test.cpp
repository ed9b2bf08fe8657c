// The window's start on machines that lack a part: without Qt Multimedia's
// backend it opens and converts, its preview saying why it shows nothing;
// without the codec libraries it says which one is missing.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include <fstream>

#include "app/main_window.h"
#include "app/media_preview_player.h"
#include "codec_library/codec_library.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;

TEST(WindowStart, WithoutAMediaBackendTheWindowOpensAndConverts) {
  test::ClearSettings();
  qputenv("QT_MEDIA_BACKEND", "none-installed");
  ASSERT_FALSE(MediaBackendAvailable());
  test::TScriptedPrompts prompts;
  TForm1 form(prompts, nullptr, TDesktopActions{[](const QString&) { return true; }, [] {}});
  ASSERT_TRUE(form.FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const auto* pane = form.findChild<QLabel*>();
  bool said = false;
  for (const QLabel* label : form.findChildren<QLabel*>()) said = said || label->text() == QStringLiteral("No preview");
  EXPECT_TRUE(pane && said);
  test::TempDir dir;
  const std::string clip = test::SmallClip(dir, "clip.mp4");
  form.Controller().EditOutputFolder = dir.path().string();
  form.Controller().AddFileSources({clip});
  ASSERT_TRUE(test::WaitFor([&] { return form.Controller().ListView1.Count() == 1 && !form.Controller().Run.FAddingFiles; }));
  form.Controller().ComboOutputFormatChange();
  form.Controller().ButtonConvertClick();
  ASSERT_TRUE(test::WaitFor([&] { return !form.Controller().Run.RunActive && !form.Controller().Run.Converting; }));
  EXPECT_EQ(form.Controller().ListView1.Row(0).Cell(ColProgress), "Done");
  qunsetenv("QT_MEDIA_BACKEND");
}

TEST(WindowStart, AMissingCodecLibraryIsNamed) {
  test::ClearSettings();
  test::TempDir dir;
  const std::string name = LibraryFileName(TCodecLibrary::Codec, true);
  std::ofstream(dir.file(name)) << "this is not a shared object\n";
  test::TScriptedPrompts prompts;
  test::TSilentPlayer player;
  TForm1 form(prompts, &player, TDesktopActions{[](const QString&) { return true; }, [] {}});
  EXPECT_FALSE(form.FormCreate(QString::fromStdString(dir.path().string())));
  const QStringList said = prompts.Texts(test::TScriptedPrompts::TKind::Information);
  ASSERT_EQ(said.size(), 1);
  EXPECT_TRUE(said[0].startsWith(QStringLiteral("Some files are missing. Please re-install this software\n\n")));
  EXPECT_TRUE(said[0].contains(QString::fromStdString(name))) << said[0].toStdString();
}
