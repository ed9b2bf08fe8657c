// The window with the formats of today: the video group shows the "Encoder
// Speed" row only for the formats that offer a speed, the classic formats'
// group keeps its four rows and its size, and the speed chosen in the window
// is what a job converts with.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

#include "app/main_window.h"
#include "jobs/job_queue.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;

namespace {

struct TodayWindow : testing::Test {
  test::TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  std::unique_ptr<TForm1> Form;

  void SetUp() override {
    test::ClearSettings();
    Form = std::make_unique<TForm1>(Prompts, &Player, TDesktopActions{[](const QString&) { return true; }, [] {}});
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }

  TMainController& C() { return Form->Controller(); }

  // Chooses the entry in the format list as the user does.
  void Choose(const QString& format) {
    QComboBox& combo = *Form->ComboOutputFormat;
    const int index = combo.findText(format);
    ASSERT_GE(index, 0) << format.toStdString();
    combo.setCurrentIndex(index);
    emit combo.activated(index);
    QCoreApplication::processEvents();
  }

  bool SpeedShown() const { return Form->LabelEncoderSpeed->isVisible() && Form->ComboEncoderSpeed->isVisible(); }
};

}  // namespace

TEST_F(TodayWindow, TheSpeedRowShowsOnlyForTheFormatsThatOfferIt) {
  Choose(QStringLiteral("AVI - DivX Video (*.avi)"));
  EXPECT_FALSE(SpeedShown());
  const QSize classicGroup = Form->GroupVideoSettings->size();

  Choose(QStringLiteral("MKV - Matroska Video (*.mkv)"));
  ASSERT_TRUE(SpeedShown());
  EXPECT_EQ(Form->LabelEncoderSpeed->text(), QStringLiteral("Encoder &Speed :"));
  EXPECT_EQ(Form->ComboEncoderSpeed->currentText(), QStringLiteral("Balanced"));
  EXPECT_EQ(Form->ComboEncoderSpeed->count(), 3);
  EXPECT_EQ(Form->ComboVideoBitrate->currentText(), QStringLiteral("High"));
  test::SaveScreenshot(*Form, QStringLiteral("formats-of-today-mkv"));

  // The user's speed is the one a job takes.
  Form->ComboEncoderSpeed->setCurrentIndex(2);
  emit Form->ComboEncoderSpeed->activated(2);
  EXPECT_EQ(SnapshotSettings(C().Controls, 256).Items[8], "Smaller Files");

  Choose(QStringLiteral("MP3 - Mpeg Layer3 Audio (*.mp3)"));
  EXPECT_FALSE(SpeedShown());
  Choose(QStringLiteral("AVI - DivX Video (*.avi)"));
  EXPECT_FALSE(SpeedShown());
  EXPECT_EQ(Form->GroupVideoSettings->size(), classicGroup);
}
