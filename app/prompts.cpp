#include "app/prompts.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "app/translations.h"

namespace fennick {

namespace {

// The messages carry their line breaks as line feed + carriage return; a
// label shows a carriage return as a glyph of its own, so every break is
// shown as one line feed.
QString DisplayText(const QString& text) {
  QString shown = text;
  shown.replace(QLatin1String("\n\r"), QLatin1String("\n"));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

int ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, TQtPrompts::tr("Information"), DisplayText(text), buttons, parent);
  // File and folder names in a message are shown as typed, never as markup.
  box.setTextFormat(Qt::PlainText);
  return box.exec();
}

// "*.mp4" -> "*.[mM][pP]4": letters match in either case.
QString CaseFreePattern(const QString& pattern) {
  QString result;
  for (QChar c : pattern) {
    if (c.isLetter() && c.toLower() != c.toUpper())
      result += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
    else
      result += c;
  }
  return result;
}

}  // namespace

std::vector<TDialogFilterPair> ParseDialogFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  std::vector<TDialogFilterPair> pairs;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    TDialogFilterPair pair;
    pair.Description = parts[i].trimmed();
    for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'))) {
      const QString trimmed = pattern.trimmed();
      if (!trimmed.isEmpty()) pair.Patterns << trimmed;
    }
    if (pair.Description.isEmpty() && pair.Patterns.isEmpty()) continue;
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

QStringList DialogNameFilters(const QString& filter) {
  QStringList filters;
  for (const TDialogFilterPair& pair : ParseDialogFilter(filter)) {
    QStringList patterns;
    for (const QString& pattern : pair.Patterns) patterns << CaseFreePattern(pattern);
    filters << fennick::DisplayText(pair.Description.toStdString()) + QLatin1String(" (") +
                   patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters;
}

void TQtPrompts::Information(const QString& text) {
  ShowMessage(FParent, QMessageBox::Information, text, QMessageBox::Ok);
}

bool TQtPrompts::Question(const QString& text) {
  return ShowMessage(FParent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QStringList TQtPrompts::OpenFiles(const QString& filter) {
  QFileDialog dialog(FParent);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The descriptions already name their patterns; the case-free spelling
  // of the patterns stays out of sight.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters(DialogNameFilters(filter));
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

QString TQtPrompts::ChooseFolder(const QString& headline, const QString& preselected) {
  return QFileDialog::getExistingDirectory(FParent, headline, preselected, QFileDialog::ShowDirsOnly);
}

QString TQtPrompts::AskText(const QString& caption, const QString& label, const QString& text) {
  bool ok = false;
  const QString answer = QInputDialog::getText(FParent, caption, label, QLineEdit::Normal, text, &ok);
  return ok ? (answer.isNull() ? QStringLiteral("") : answer) : QString();
}

}  // namespace fennick
