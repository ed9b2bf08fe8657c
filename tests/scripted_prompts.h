// The prompts the window's tests answer: every question is recorded and
// answered from a queue; an empty queue answers No or cancels.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "app/prompts.h"

namespace fennick::test {

class TScriptedPrompts : public IPrompts {
 public:
  enum class TKind { Information, Question, OpenFiles, ChooseFolder, AskText, ShowText };
  struct TAsked {
    TKind Kind;
    QString Text;         // the message, the filter, the headline or the text's caption
    QString Preselected;  // ChooseFolder only; ShowText: the text shown
  };

  // Everything asked, in order.
  std::vector<TAsked> Asked;
  // The answers, taken from the front.
  std::deque<bool> QuestionAnswers;
  std::deque<QStringList> FileAnswers;
  std::deque<QString> FolderAnswers;
  // AskText's answers; an empty queue cancels (a null string).
  std::deque<QString> TextAnswers;
  // Called when something is asked, before it is answered: where a modal
  // dialog would run the event loop, a test may do so here.
  std::function<void(const TAsked&)> OnAsked;

  void Information(const QString& text) override;
  bool Question(const QString& text) override;
  QStringList OpenFiles(const QString& filter) override;
  QString ChooseFolder(const QString& headline, const QString& preselected) override;
  QString AskText(const QString& caption, const QString& label, const QString& text) override;
  void ShowText(const QString& caption, const QString& text) override;

  // The texts asked of one kind, in order.
  QStringList Texts(TKind kind) const;
  int Count(TKind kind) const { return static_cast<int>(Texts(kind).size()); }

 private:
  void Record(TKind kind, const QString& text, const QString& preselected = {});
};

}  // namespace fennick::test
