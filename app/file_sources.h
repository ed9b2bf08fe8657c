// Files that reach the list without the open dialog: given on the command
// line or dropped on the list. A file stands for itself; a folder stands for
// the media files inside it and its subfolders that the open dialog's
// default filter shows, in name order. Also the filter's patterns, matched
// regardless of letter case (users' files are named "CLIP.AVI" as often as
// "clip.avi").
// Plain functions of the file system: the window calls them off its
// user-interface thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// The patterns of the first (default) pair of a "description|patterns|..."
// filter, without blanks, in lower case: "*.avi", "*.mpeg", ...
std::vector<std::string> DefaultFilterPatterns(std::string_view filter);

// Whether a file name (no folder) matches one of the patterns ("*" any run
// of characters, "?" one character), regardless of letter case.
bool MatchesPatterns(std::string_view fileName, const std::vector<std::string>& patterns);

// The files that paths stand for, in order: a folder is replaced by the
// files below it (subfolders included, symbolic links to folders not
// followed) that match the patterns, each folder's entries in name order;
// anything else stays as given. Only regular files (or links to them) are
// taken from a folder: a named pipe, socket or device in it would hold the
// reader until something writes to it, and is read only when named itself.
// Relative paths are made absolute; folders that cannot be read add
// nothing. Once `stopped` (asked between entries) says so, the walk ends
// with what it has found.
std::vector<std::string> ExpandFileSources(const std::vector<std::string>& paths,
                                           const std::vector<std::string>& patterns,
                                           const std::function<bool()>& stopped = {});

}  // namespace fennick
