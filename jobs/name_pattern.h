// Output names by pattern: the name an output gets before its extension,
// from a pattern of text and tokens. Shared by the window's options and
// fennick-convert --name.
//
//   {name}    the source's file name without its extension ("holiday")
//   {ext}     the source's extension without the dot ("mov"; "" for none)
//   {format}  the output format's short name, lower case ("mp4", "mp3")
//   {width}   the output picture's width and height in pixels, as the job
//   {height}  makes it (with the bars of "LetterBox"); "" for an output
//             without a picture (an audio format)
//   {date}    today, YYYY-MM-DD (local time)
//   {n}       the job's row number, from 1
//
// A token without a value takes the short text that joins it along
// ("{name}_{width}x{height}_{format}" of a song gives "abendlied_mp3").
// Text in braces that is no token is kept as it is ("{nmae}" stays). The
// default "{name}" gives each output its source's name, as without a
// pattern.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fennick {

inline constexpr const char* DefaultNamePattern = "{name}";

// The longest output name (extension included) a pattern gives, in bytes:
// with a "-NNN" number and the hidden partial file's wrapper
// (".NAME.fennick-partial") it stays within the 255 bytes file systems
// take for one name.
inline constexpr size_t MaxPatternNameBytes = 234;

struct TNameTokens {
  std::string Name;
  std::string Ext;
  std::string Format;
  std::string Width;
  std::string Height;
  std::string Date;
  int Number = 0;  // 0: unknown ("")
};

// The tokens of a source: {name} and {ext} from its file name (a leading
// "." starts a hidden name, not an extension).
TNameTokens SourceNameTokens(const std::string& source);
// Today as YYYY-MM-DD in local time.
std::string TodayText();

// The output name before its extension. A "/" or NUL, from a token's value
// or the pattern's text, becomes "_" (a pattern names a file in the output
// folder, never one elsewhere); a name that comes out empty, "." or ".."
// is "_"; the name is cut (at a character's boundary) so that with
// `extensionBytes` more it stays within MaxPatternNameBytes. An empty
// pattern is the default.
std::string ExpandNamePattern(std::string_view pattern, const TNameTokens& tokens, size_t extensionBytes = 0);

}  // namespace fennick
