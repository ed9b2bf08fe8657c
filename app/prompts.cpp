#include "app/prompts.h"

#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "app/translations.h"

#include <memory>

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

std::unique_ptr<QInputDialog> MakeTextDialog(QWidget* parent, const QString& caption, const QString& label,
                                             const QString& text) {
  auto dialog = std::make_unique<QInputDialog>(parent);
  dialog->setWindowTitle(caption);
  dialog->setLabelText(label);
  dialog->setTextValue(text);
  dialog->setInputMode(QInputDialog::TextInput);
  // Wide enough that the window manager's title bar shows the whole
  // caption beside its buttons (window managers draw titles bold, some
  // larger).
  QFont title = dialog->font();
  title.setBold(true);
  title.setPointSizeF(title.pointSizeF() * 1.2);
  // The dialog's layout sizes it to its contents: the text field is made
  // that wide.
  const int wanted = QFontMetrics(title).horizontalAdvance(caption) + 4 * QFontMetrics(title).height() + 40;
  if (auto* field = dialog->findChild<QLineEdit*>()) field->setMinimumWidth(wanted - 24);
  return dialog;
}

QString TQtPrompts::AskText(const QString& caption, const QString& label, const QString& text) {
  const std::unique_ptr<QInputDialog> dialog = MakeTextDialog(FParent, caption, label, text);
  if (dialog->exec() != QDialog::Accepted) return QString();
  const QString answer = dialog->textValue();
  return answer.isNull() ? QStringLiteral("") : answer;
}

void TQtPrompts::ShowText(const QString& caption, const QString& text) {
  QDialog dialog(FParent);
  dialog.setWindowTitle(caption);
  auto* layout = new QVBoxLayout(&dialog);
  auto* view = new QPlainTextEdit(text, &dialog);
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(view);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QPushButton* copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
  QObject::connect(copy, &QPushButton::clicked, &dialog, [text] { QGuiApplication::clipboard()->setText(text); });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(QFontMetrics(view->font()).horizontalAdvance(QLatin1Char('x')) * 100, view->fontMetrics().height() * 30);
  dialog.exec();
}

}  // namespace fennick
