// JSON as the program writes it (result lines, the saved queue) and reads it
// back (the saved queue): strings, numbers, true, false, null, arrays and
// objects. Strings are UTF-8; what is not valid UTF-8 is written as U+FFFD.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// A JSON string literal (quotes included).
std::string JsonString(std::string_view text);
// A JSON number; non-finite values become null.
std::string JsonNumber(double value);
// Whether text is valid UTF-8 (so that JsonString keeps it as it is).
bool IsValidUtf8(std::string_view text);

// Builds one object field by field.
class TJsonObject {
 public:
  TJsonObject& Add(std::string_view key, std::string_view text);
  TJsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
  TJsonObject& Add(std::string_view key, const std::string& text) { return Add(key, std::string_view(text)); }
  TJsonObject& Add(std::string_view key, int64_t value);
  TJsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<int64_t>(value)); }
  TJsonObject& Add(std::string_view key, double value);
  TJsonObject& Add(std::string_view key, bool value);
  // null for what is not known.
  TJsonObject& AddNull(std::string_view key) { return AddRaw(key, "null"); }
  // A value written already (an object's or an array's text).
  TJsonObject& AddRaw(std::string_view key, std::string_view json);
  std::string Text() const { return FText + "}"; }

 private:
  std::string FText = "{";
};

// A value read from JSON text.
class TJsonValue {
 public:
  enum class TKind { Null, Bool, Number, String, Array, Object };

  TKind Kind() const { return FKind; }
  bool IsNull() const { return FKind == TKind::Null; }
  // The value as that kind; nothing when it is of another kind (a number
  // that is no whole 64-bit value, for Integer).
  std::optional<bool> Bool() const;
  std::optional<double> Number() const;
  std::optional<int64_t> Integer() const;
  const std::string* String() const { return FKind == TKind::String ? &FString : nullptr; }
  const std::vector<TJsonValue>* Array() const { return FKind == TKind::Array ? &FArray : nullptr; }
  // A member of an object; null for a missing one or a value of another kind.
  const TJsonValue* Member(std::string_view key) const;

 private:
  friend class TJsonReader;
  TKind FKind = TKind::Null;
  bool FBool = false;
  double FNumber = 0;
  std::string FString;
  std::vector<TJsonValue> FArray;
  std::map<std::string, TJsonValue, std::less<>> FObject;
};

// Parses one JSON text (blanks around it allowed). Nothing, with the reason
// and where it is ("line 3, column 7: a string ends without its quote") in
// error, for text that is not JSON.
std::optional<TJsonValue> ParseJson(std::string_view text, std::string& error);

}  // namespace fennick
