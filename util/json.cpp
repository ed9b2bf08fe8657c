#include "util/json.h"

#include <charconv>
#include <cmath>

#include "util/text_util.h"

namespace fennick {

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0.
size_t Utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07;
  else return 0;
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  return n;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\n') {
      out += "\\n", ++i;
    } else if (c == '\r') {
      out += "\\r", ++i;
    } else if (c == '\t') {
      out += "\\t", ++i;
    } else if (c < 0x20 || c == 0x7F) {
      out += FormatText("\\u%04x", c);
      ++i;
    } else if (const size_t n = Utf8Length(text, i)) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  // With a point whatever the locale (a German desktop's would write a
  // comma, which no JSON reader takes).
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return ec == std::errc() ? std::string(text, end) : "null";
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8Length(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

TJsonObject& TJsonObject::AddRaw(std::string_view key, std::string_view json) {
  if (FText.size() > 1) FText += ',';
  FText += JsonString(key);
  FText += ':';
  FText += json;
  return *this;
}

TJsonObject& TJsonObject::Add(std::string_view key, std::string_view text) { return AddRaw(key, JsonString(text)); }
TJsonObject& TJsonObject::Add(std::string_view key, int64_t value) { return AddRaw(key, std::to_string(value)); }
TJsonObject& TJsonObject::Add(std::string_view key, double value) { return AddRaw(key, JsonNumber(value)); }
TJsonObject& TJsonObject::Add(std::string_view key, bool value) { return AddRaw(key, value ? "true" : "false"); }

std::optional<bool> TJsonValue::Bool() const {
  if (FKind != TKind::Bool) return std::nullopt;
  return FBool;
}

std::optional<double> TJsonValue::Number() const {
  if (FKind != TKind::Number) return std::nullopt;
  return FNumber;
}

std::optional<int64_t> TJsonValue::Integer() const {
  if (FKind != TKind::Number || FNumber != std::trunc(FNumber) || std::fabs(FNumber) > 9007199254740992.0)
    return std::nullopt;
  return static_cast<int64_t>(FNumber);
}

const TJsonValue* TJsonValue::Member(std::string_view key) const {
  if (FKind != TKind::Object) return nullptr;
  const auto it = FObject.find(key);
  return it == FObject.end() ? nullptr : &it->second;
}

// A recursive-descent reader over one text; nesting is bounded so that no
// text can exhaust the stack.
class TJsonReader {
 public:
  explicit TJsonReader(std::string_view text) : FText(text) {}

  std::optional<TJsonValue> Read(std::string& error) {
    TJsonValue value;
    SkipBlanks();
    if (ReadValue(value, 0)) {
      SkipBlanks();
      if (FPos == FText.size()) return value;
      Fail("more after the end of the value");
    }
    size_t line = 1, column = 1;
    for (size_t i = 0; i < FErrorPos && i < FText.size(); ++i) {
      if (FText[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    error = FormatText("line %zu, column %zu: ", line, column) + FError;
    return std::nullopt;
  }

 private:
  static constexpr int kMaxDepth = 64;

  bool Fail(const char* why) {
    if (FError.empty()) {
      FError = why;
      FErrorPos = FPos;
    }
    return false;
  }
  void SkipBlanks() {
    while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t' || FText[FPos] == '\n' ||
                                   FText[FPos] == '\r'))
      ++FPos;
  }
  bool Literal(std::string_view word) {
    if (FText.substr(FPos, word.size()) != word) return Fail("not a JSON value");
    FPos += word.size();
    return true;
  }

  bool ReadValue(TJsonValue& value, int depth) {
    if (depth > kMaxDepth) return Fail("nested too deeply");
    if (FPos >= FText.size()) return Fail("the text ends where a value should be");
    switch (FText[FPos]) {
      case '{': return ReadObject(value, depth);
      case '[': return ReadArray(value, depth);
      case '"': value.FKind = TJsonValue::TKind::String; return ReadString(value.FString);
      case 't': value.FKind = TJsonValue::TKind::Bool; value.FBool = true; return Literal("true");
      case 'f': value.FKind = TJsonValue::TKind::Bool; value.FBool = false; return Literal("false");
      case 'n': value.FKind = TJsonValue::TKind::Null; return Literal("null");
      default: return ReadNumber(value);
    }
  }

  bool ReadObject(TJsonValue& value, int depth) {
    value.FKind = TJsonValue::TKind::Object;
    ++FPos;
    SkipBlanks();
    if (FPos < FText.size() && FText[FPos] == '}') return ++FPos, true;
    for (;;) {
      SkipBlanks();
      std::string key;
      if (FPos >= FText.size() || FText[FPos] != '"') return Fail("a member's name should be a string");
      if (!ReadString(key)) return false;
      SkipBlanks();
      if (FPos >= FText.size() || FText[FPos] != ':') return Fail("a ':' should follow a member's name");
      ++FPos;
      SkipBlanks();
      TJsonValue member;
      if (!ReadValue(member, depth + 1)) return false;
      value.FObject.insert_or_assign(std::move(key), std::move(member));
      SkipBlanks();
      if (FPos < FText.size() && FText[FPos] == ',') {
        ++FPos;
        continue;
      }
      if (FPos < FText.size() && FText[FPos] == '}') return ++FPos, true;
      return Fail("an object's members should be separated by ',' and end with '}'");
    }
  }

  bool ReadArray(TJsonValue& value, int depth) {
    value.FKind = TJsonValue::TKind::Array;
    ++FPos;
    SkipBlanks();
    if (FPos < FText.size() && FText[FPos] == ']') return ++FPos, true;
    for (;;) {
      SkipBlanks();
      TJsonValue item;
      if (!ReadValue(item, depth + 1)) return false;
      value.FArray.push_back(std::move(item));
      SkipBlanks();
      if (FPos < FText.size() && FText[FPos] == ',') {
        ++FPos;
        continue;
      }
      if (FPos < FText.size() && FText[FPos] == ']') return ++FPos, true;
      return Fail("an array's items should be separated by ',' and end with ']'");
    }
  }

  bool ReadHex4(uint32_t& value) {
    if (FPos + 4 > FText.size()) return Fail("a \\u escape needs four hexadecimal digits");
    value = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = FText[FPos++];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') value |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') value |= static_cast<uint32_t>(c - 'A' + 10);
      else return Fail("a \\u escape needs four hexadecimal digits");
    }
    return true;
  }

  bool ReadString(std::string& out) {
    ++FPos;  // the opening quote
    for (;;) {
      if (FPos >= FText.size()) return Fail("a string ends without its quote");
      const unsigned char c = static_cast<unsigned char>(FText[FPos]);
      if (c == '"') return ++FPos, true;
      if (c < 0x20) return Fail("a control character inside a string");
      if (c != '\\') {
        const size_t n = Utf8Length(FText, FPos);
        if (n == 0) return Fail("a string that is not UTF-8");
        out.append(FText.substr(FPos, n));
        FPos += n;
        continue;
      }
      if (++FPos >= FText.size()) return Fail("a string ends without its quote");
      const char escape = FText[FPos++];
      switch (escape) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t cp = 0;
          if (!ReadHex4(cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            uint32_t low = 0;
            if (FText.substr(FPos, 2) != "\\u") return Fail("a lone surrogate in a \\u escape");
            FPos += 2;
            if (!ReadHex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("a lone surrogate in a \\u escape");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return Fail("a lone surrogate in a \\u escape");
          }
          AppendUtf8(out, cp);
          break;
        }
        default: return Fail("an unknown escape in a string");
      }
    }
  }

  bool ReadNumber(TJsonValue& value) {
    // JSON's grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    const size_t start = FPos;
    const auto digits = [&] {
      const size_t from = FPos;
      while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9') ++FPos;
      return FPos > from;
    };
    if (FPos < FText.size() && FText[FPos] == '-') ++FPos;
    if (FPos < FText.size() && FText[FPos] == '0')
      ++FPos;
    else if (!digits())
      return Fail("not a JSON value");
    if (FPos < FText.size() && FText[FPos] == '.' && (++FPos, !digits())) return Fail("a number without digits");
    if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
      ++FPos;
      if (FPos < FText.size() && (FText[FPos] == '+' || FText[FPos] == '-')) ++FPos;
      if (!digits()) return Fail("a number without digits");
    }
    double number = 0;
    const auto [end, ec] = std::from_chars(FText.data() + start, FText.data() + FPos, number);
    if (ec != std::errc() || end != FText.data() + FPos || !std::isfinite(number)) {
      FPos = start;
      return Fail("a number out of range");
    }
    value.FKind = TJsonValue::TKind::Number;
    value.FNumber = number;
    return true;
  }

  std::string_view FText;
  size_t FPos = 0;
  std::string FError;
  size_t FErrorPos = 0;
};

std::optional<TJsonValue> ParseJson(std::string_view text, std::string& error) {
  return TJsonReader(text).Read(error);
}

}  // namespace fennick
