#include "scripted_prompts.h"

namespace fennick::test {

namespace {

template <typename T>
T TakeFront(std::deque<T>& queue, T whenEmpty) {
  if (queue.empty()) return whenEmpty;
  T answer = std::move(queue.front());
  queue.pop_front();
  return answer;
}

}  // namespace

void TScriptedPrompts::Record(TKind kind, const QString& text, const QString& preselected) {
  const TAsked asked{kind, text, preselected};
  Asked.push_back(asked);
  if (OnAsked) OnAsked(asked);
}

void TScriptedPrompts::Information(const QString& text) { Record(TKind::Information, text); }

bool TScriptedPrompts::Question(const QString& text) {
  Record(TKind::Question, text);
  return TakeFront(QuestionAnswers, false);
}

QStringList TScriptedPrompts::OpenFiles(const QString& filter) {
  Record(TKind::OpenFiles, filter);
  return TakeFront(FileAnswers, QStringList{});
}

QString TScriptedPrompts::ChooseFolder(const QString& headline, const QString& preselected) {
  Record(TKind::ChooseFolder, headline, preselected);
  return TakeFront(FolderAnswers, QString{});
}

QString TScriptedPrompts::AskText(const QString& caption, const QString&, const QString& text) {
  Record(TKind::AskText, caption, text);
  return TakeFront(TextAnswers, QString{});
}

void TScriptedPrompts::ShowText(const QString& caption, const QString& text) { Record(TKind::ShowText, caption, text); }

QStringList TScriptedPrompts::Texts(TKind kind) const {
  QStringList texts;
  for (const TAsked& asked : Asked)
    if (asked.Kind == kind) texts << asked.Text;
  return texts;
}

}  // namespace fennick::test
