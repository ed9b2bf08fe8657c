#include "jobs/name_pattern.h"

#include <cctype>
#include <ctime>
#include <filesystem>
#include <vector>

namespace fennick {

namespace {

std::string Safe(std::string_view text) {
  std::string safe(text);
  for (char& c : safe)
    if (c == '/' || c == '\0') c = '_';
  return safe;
}

const std::string* TokenValue(std::string_view token, const TNameTokens& tokens, std::string& number) {
  if (token == "name") return &tokens.Name;
  if (token == "ext") return &tokens.Ext;
  if (token == "format") return &tokens.Format;
  if (token == "width") return &tokens.Width;
  if (token == "height") return &tokens.Height;
  if (token == "date") return &tokens.Date;
  if (token == "n") {
    number = tokens.Number > 0 ? std::to_string(tokens.Number) : "";
    return &number;
  }
  return nullptr;
}

// The text cut to at most `bytes`, never inside a UTF-8 sequence.
std::string CutAt(std::string text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// Text that only joins tokens ("_", "x", " - ", "."): short, without a
// letter or digit but the "x" of a size.
bool JoinsTokens(const std::string& text) {
  if (text.size() > 3) return false;
  for (const char c : text)
    if (std::isalnum(static_cast<unsigned char>(c)) && c != 'x' && c != 'X') return false;
  return true;
}

}  // namespace

TNameTokens SourceNameTokens(const std::string& source) {
  TNameTokens tokens;
  const std::string file = std::filesystem::path(source).filename().string();
  const size_t dot = file.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    tokens.Name = file;
  } else {
    tokens.Name = file.substr(0, dot);
    tokens.Ext = file.substr(dot + 1);
  }
  return tokens;
}

std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

std::string ExpandNamePattern(std::string_view pattern, const TNameTokens& tokens, size_t extensionBytes) {
  if (pattern.empty()) pattern = DefaultNamePattern;
  // The pattern as runs of text and tokens' values.
  struct TPart {
    std::string Text;
    bool Token = false;
  };
  std::vector<TPart> parts;
  std::string number;
  for (size_t i = 0; i < pattern.size();) {
    if (pattern[i] == '{') {
      const size_t close = pattern.find('}', i + 1);
      if (close != std::string_view::npos) {
        if (const std::string* value = TokenValue(pattern.substr(i + 1, close - i - 1), tokens, number)) {
          parts.push_back({Safe(*value), true});
          i = close + 1;
          continue;
        }
      }
    }
    if (parts.empty() || parts.back().Token) parts.push_back({});
    parts.back().Text += Safe(pattern.substr(i, 1));
    ++i;
  }
  // Tokens without a value (the size of a song, no extension) go with the
  // short text that joins them: the text between them, and the text before
  // them (after them when they lead): "{name}_{width}x{height}_{format}"
  // gives "abendlied_mp3", not "abendlied_x_mp3".
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!parts[i].Token || !parts[i].Text.empty()) continue;
    size_t end = i + 1;  // past the run of empty tokens and the text between them
    while (end + 1 < parts.size() && !parts[end].Token && JoinsTokens(parts[end].Text) && parts[end + 1].Token &&
           parts[end + 1].Text.empty())
      end += 2;
    for (size_t k = i; k < end; ++k) parts[k].Text.clear();
    if (i > 0 && !parts[i - 1].Token && JoinsTokens(parts[i - 1].Text))
      parts[i - 1].Text.clear();
    else if (end < parts.size() && !parts[end].Token && JoinsTokens(parts[end].Text))
      parts[end].Text.clear();
    i = end;
  }
  std::string name;
  for (const TPart& part : parts) name += part.Text;
  name = CutAt(std::move(name), MaxPatternNameBytes > extensionBytes ? MaxPatternNameBytes - extensionBytes : 1);
  if (name.empty() || name == "." || name == "..") name = "_";
  return name;
}

}  // namespace fennick
