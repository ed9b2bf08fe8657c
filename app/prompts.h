// The one way the window asks the user something: message boxes and file
// dialogs. The window's classes hold an IPrompts&; the program gives them a
// TQtPrompts, the tests a scripted one that records what was asked and
// answers from a queue.
#pragma once

#include <QString>
#include <QStringList>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

class QInputDialog;

namespace fennick {

class IPrompts {
 public:
  virtual ~IPrompts() = default;
  // Modal message: caption "Information", information icon, an OK button.
  virtual void Information(const QString& text) = 0;
  // Modal question: caption "Information", question icon, Yes and No
  // buttons. True for Yes.
  virtual bool Question(const QString& text) = 0;
  // Open dialog with multiple selection; existing files only. filter is in
  // the catalogue's form, "description|patterns|description|patterns|...",
  // patterns separated by ";", the first pair being the default. The
  // chosen files in the dialog's order; empty when cancelled.
  virtual QStringList OpenFiles(const QString& filter) = 0;
  // Folder browser (folders only) with the given headline, opening at
  // preselected (may be empty). The chosen folder; empty when cancelled.
  virtual QString ChooseFolder(const QString& headline, const QString& preselected) = 0;
  // One line of text asked for under `caption`, with `label` above the
  // field, which starts with `text`. The text entered; a null string when
  // cancelled.
  virtual QString AskText(const QString& caption, const QString& label, const QString& text) = 0;
  // A long text to read and copy (a row's log) under `caption`, with Copy
  // and Close buttons.
  virtual void ShowText(const QString& caption, const QString& text) = 0;
};

// One "description|patterns" pair of a catalogue filter; the patterns are
// trimmed and without empty entries.
struct TDialogFilterPair {
  QString Description;
  QStringList Patterns;
};
std::vector<TDialogFilterPair> ParseDialogFilter(const QString& filter);

// A catalogue filter in QFileDialog's form, one entry per pair:
// "description (patterns)", each pattern matching regardless of letter case
// ("*.mp4" becomes "*.[mM][pP]4"), so that the desktop's own dialog, which
// compares case-sensitively, also shows "CLIP.MP4".
QStringList DialogNameFilters(const QString& filter);

// The text question of AskText, wide enough for its whole caption in the
// window manager's title bar.
std::unique_ptr<QInputDialog> MakeTextDialog(QWidget* parent, const QString& caption, const QString& label,
                                             const QString& text);

// The prompts as Qt's modal message boxes and file dialogs, over the given
// parent window (none: centred on the desktop).
class TQtPrompts : public IPrompts {
  Q_DECLARE_TR_FUNCTIONS(TQtPrompts)

 public:
  explicit TQtPrompts(QWidget* parent = nullptr) : FParent(parent) {}
  void SetParentWidget(QWidget* parent) { FParent = parent; }

  void Information(const QString& text) override;
  bool Question(const QString& text) override;
  QStringList OpenFiles(const QString& filter) override;
  QString ChooseFolder(const QString& headline, const QString& preselected) override;
  QString AskText(const QString& caption, const QString& label, const QString& text) override;
  void ShowText(const QString& caption, const QString& text) override;

 private:
  QPointer<QWidget> FParent;
};

}  // namespace fennick
