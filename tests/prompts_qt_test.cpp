// The open dialog's filter in Qt's form.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "app/prompts.h"
#include "profiles/output_formats.h"

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
