// The persisted settings and the "Additional Options" dialog: what a start
// reads, what a failed read writes back, what closing and "Exit" store.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "app/main_window.h"
#include "app/options_dialog.h"
#include "app/settings.h"
#include "qt_test_support.h"
#include "scripted_prompts.h"
#include "test_support.h"

using namespace fennick;
using test::TScriptedPrompts;

namespace {

struct Settings : testing::Test {
  TScriptedPrompts Prompts;
  test::TSilentPlayer Player;
  int Quits = 0;
  std::unique_ptr<TForm1> Form;

  void SetUp() override { test::ClearSettings(); }

  // Starts the window as the program does: created, options dialog created
  // (the settings are read), shown.
  void Start() {
    Form = std::make_unique<TForm1>(Prompts, &Player, TDesktopActions{[](const QString&) { return true; }, [this] { ++Quits; }});
    ASSERT_TRUE(Form->FormCreate(QStringLiteral(FENNICK_BIN_DIR)));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }

  static void Store(const QString& folder, int format, int overwrite, int dropDownItems, int letterBox) {
    QSettings settings;
    settings.setValue(ValueOutputFolder, folder);
    settings.setValue(ValueOutputFormat, format);
    settings.setValue(ValueOverwrite, overwrite);
    settings.setValue(ValueDropDownItems, dropDownItems);
    settings.setValue(ValueLetterBox, letterBox);
  }
  static QVariant Stored(const char* name) { return QSettings().value(name); }
};

}  // namespace

TEST_F(Settings, DropDownItemsStoredAs100Gives47) {
  Store("/tmp", 0, 0, 100, 0);
  Start();
  EXPECT_EQ(Form->OptionsDialog().SpinEdit1->value(), 47);
  EXPECT_EQ(Form->ComboOutputFormat->maxVisibleItems(), 47);
}

TEST_F(Settings, DropDownItemsStoredAsMinusOneKeeps27) {
  Store("/tmp", 0, 0, -1, 0);
  Start();
  EXPECT_EQ(Form->OptionsDialog().SpinEdit1->value(), 27);
  EXPECT_EQ(Form->ComboOutputFormat->maxVisibleItems(), 27);
}

TEST_F(Settings, AFormatPositionBeyondTheListStartsOnTheFirstEntry) {
  Store("/tmp", 99, 0, 27, 0);
  Start();
  EXPECT_EQ(Form->ComboOutputFormat->currentIndex(), 0);
  EXPECT_FALSE(Form->ComboOutputFormat->currentText().isEmpty());
  EXPECT_GT(Form->ComboAudioCodec->count(), 0);
  EXPECT_TRUE(Form->close());
  EXPECT_EQ(Stored(ValueOutputFormat).toInt(), 0);
}

TEST_F(Settings, WithLetterBoxDeletedTheOthersAreReadAndAllFiveWrittenBack) {
  Store("/srv/out", 10, 1, 30, 1);
  QSettings().remove(ValueLetterBox);
  Start();

  EXPECT_EQ(Form->EditOutputFolder->text(), QStringLiteral("/srv/out"));
  EXPECT_EQ(Form->ComboOutputFormat->currentText(), QStringLiteral("MP4 - MPEG4 Video (*.mp4)"));
  EXPECT_TRUE(Form->OptionsDialog().CheckBoxOverWrite->isChecked());
  EXPECT_EQ(Form->OptionsDialog().SpinEdit1->value(), 30);
  EXPECT_EQ(Stored(ValueOutputFolder).toString(), QStringLiteral("/srv/out"));
  EXPECT_EQ(Stored(ValueOutputFormat).toInt(), 10);
  EXPECT_EQ(Stored(ValueOverwrite).toInt(), 1);
  EXPECT_EQ(Stored(ValueDropDownItems).toInt(), 30);
  ASSERT_TRUE(Stored(ValueLetterBox).isValid());
  EXPECT_EQ(Stored(ValueLetterBox).toInt(), 0);
}

// The folder is stored when it is chosen: "Exit", which quits without the
// window's close, keeps it too.
TEST_F(Settings, TheFolderIsKeptByClosingAndByExit) {
  Start();
  Prompts.FolderAnswers.push_back(QStringLiteral("/srv/closed"));
  QTest::mouseClick(Form->ButtonBrowseForFolder, Qt::LeftButton);
  EXPECT_TRUE(Form->close());
  EXPECT_EQ(Stored(ValueOutputFolder).toString(), QStringLiteral("/srv/closed"));
  Form.reset();

  Start();
  EXPECT_EQ(Form->EditOutputFolder->text(), QStringLiteral("/srv/closed"));
  Prompts.FolderAnswers.push_back(QStringLiteral("/srv/exited"));
  QTest::mouseClick(Form->ButtonBrowseForFolder, Qt::LeftButton);
  EXPECT_EQ(Form->EditOutputFolder->text(), QStringLiteral("/srv/exited"));
  Form->Exit1->trigger();
  EXPECT_EQ(Quits, 1);
  Form.reset();
  EXPECT_EQ(Stored(ValueOutputFolder).toString(), QStringLiteral("/srv/exited"));
}

TEST_F(Settings, OptionsDialogChangesTakeEffectAtOnce) {
  Start();
  TForm4& dialog = Form->OptionsDialog();
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  test::SaveScreenshot(dialog, QStringLiteral("options-dialog"));

  dialog.ComboAspectRatio4->setFocus();
  QTest::keyClick(dialog.ComboAspectRatio4, Qt::Key_End);  // "16:9 (Wide Screen)"
  EXPECT_EQ(Form->ComboAspectRatio->currentText(), QStringLiteral("16:9"));
  EXPECT_EQ(Form->Controller().Controls.ComboAspectRatio.Text(), "16:9");

  dialog.SpinEdit1->setFocus();
  QTest::keyClick(dialog.SpinEdit1, Qt::Key_Up);
  EXPECT_EQ(Form->ComboOutputFormat->maxVisibleItems(), 28);
  QTest::mouseClick(dialog.Button1, Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
}
