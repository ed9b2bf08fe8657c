// Which files a folder given to the converter stands for: the media files
// inside it and its subfolders that the open dialog's default filter shows,
// in name order, regardless of letter case (users' files are named
// "CLIP.AVI" as often as "clip.avi"). The window's drops and command line
// and fennick-convert's arguments all go through this one walk.
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
// Those of the catalogue's open-dialog filter: what a folder adds.
std::vector<std::string> MediaFilePatterns();

// Whether a file name (no folder) matches one of the patterns ("*" any run
// of characters, "?" one character), regardless of letter case.
bool MatchesPatterns(std::string_view fileName, const std::vector<std::string>& patterns);

// One file a given path stands for, with the folder it lies in relative to
// the given folder ("" for a file given itself or lying at the folder's
// top; "live/2019" for one two levels down).
struct TSourceFile {
  std::string Path;
  std::string Subfolder;
};

// The files that paths stand for, in order: a folder is replaced by the
// files below it (subfolders included, symbolic links to folders not
// followed) that match the patterns, each folder's entries in name order;
// anything else stays as given. Only regular files (or links to them) are
// taken from a folder: a named pipe, socket or device in it would hold the
// reader until something writes to it, and is read only when named itself.
// With makeAbsolute, relative paths are made absolute (the window's rows);
// without, they are kept as given (the command line's result lines name
// the files as the user did). Folders that cannot be read add nothing.
// Once `stopped` (asked between entries) says so, the walk ends with what
// it has found.
std::vector<TSourceFile> ScanFileSources(const std::vector<std::string>& paths,
                                         const std::vector<std::string>& patterns, bool makeAbsolute,
                                         const std::function<bool()>& stopped = {});

// The paths alone, made absolute.
std::vector<std::string> ExpandFileSources(const std::vector<std::string>& paths,
                                           const std::vector<std::string>& patterns,
                                           const std::function<bool()>& stopped = {});

}  // namespace fennick
