// The open dialog's filter in Qt's form.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QInputDialog>
#include <QRegularExpression>

#include "app/prompts.h"
#include "profiles/output_formats.h"
#include "qt_test_support.h"

using namespace fennick;

// Every pair of the catalogue's filter becomes one entry whose patterns
// match a name in any letter case, as users' files are named.
TEST(DialogNameFilters, EveryPairBecomesAnEntryMatchingAnyLetterCase) {
  const QString catalogue = QString::fromStdString(OpenDialogFilter());
  const QStringList filters = DialogNameFilters(catalogue);
  ASSERT_EQ(filters.size(), static_cast<qsizetype>(ParseDialogFilter(catalogue).size()));
  const QString mp4 = filters.filter("MPEG-4 Files (*.mp4)").value(0);
  ASSERT_FALSE(mp4.isEmpty());
  // Qt takes the patterns from the last parenthesised part.
  const QString patterns = mp4.section('(', -1).chopped(1);
  const QRegularExpression matcher(QRegularExpression::wildcardToRegularExpression(patterns));
  EXPECT_TRUE(matcher.match("CLIP.MP4").hasMatch());
  EXPECT_TRUE(matcher.match("clip.Mp4").hasMatch());
  EXPECT_FALSE(matcher.match("clip.mp3").hasMatch());
}

// The preset dialogs' captions are whole in a title bar: the dialog is
// wider than the caption in a bold title font with room for the window
// manager's buttons, in English and German.
TEST(TextDialog, IsWideEnoughForItsCaption) {
  for (const QString& caption : {QStringLiteral("Save Settings as Preset"), QStringLiteral("Rename Preset"),
                                 QStringLiteral("Einstellungen als Voreinstellung speichern")}) {
    const auto dialog = MakeTextDialog(nullptr, caption, QStringLiteral("Name:"), QString());
    dialog->show();
    QFont title = dialog->font();
    title.setBold(true);
    EXPECT_GE(dialog->width(), QFontMetrics(title).horizontalAdvance(caption) + 3 * 24) << caption.toStdString();
    test::SaveScreenshot(*dialog, QStringLiteral("text-dialog-") + QString::number(caption.size()));
  }
}
