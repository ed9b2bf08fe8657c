#include "jobs/name_pattern.h"

#include <ctime>
#include <filesystem>

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
  std::string name, number;
  for (size_t i = 0; i < pattern.size();) {
    if (pattern[i] == '{') {
      const size_t close = pattern.find('}', i + 1);
      if (close != std::string_view::npos) {
        if (const std::string* value = TokenValue(pattern.substr(i + 1, close - i - 1), tokens, number)) {
          name += Safe(*value);
          i = close + 1;
          continue;
        }
      }
    }
    name += Safe(pattern.substr(i, 1));
    ++i;
  }
  name = CutAt(std::move(name), MaxPatternNameBytes > extensionBytes ? MaxPatternNameBytes - extensionBytes : 1);
  if (name.empty() || name == "." || name == "..") name = "_";
  return name;
}

}  // namespace fennick
