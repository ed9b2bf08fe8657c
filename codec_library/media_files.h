// What the engine and the media probe share about the files they hand to the
// codec libraries: the name under which the libraries open a file, the text
// of a failed open, and which streams are media at all.
#pragma once

#include <string>

struct AVStream;

namespace fennick {

// The name under which the libraries open `name`: a local path goes as a
// "file:" URL wherever the libraries would otherwise take the part before a
// colon for a protocol ("10:30 clips/a.mp4", or a local file named
// "file:y.mp4"); URLs of the libraries' own protocols and names they
// already read as files pass unchanged.
std::string LibraryFileName(const std::string& name);
// The local path `name` refers to (without the prefix of a "file:" URL), or
// empty when it is a URL of another protocol.
std::string LocalFilePath(const std::string& name);

// The message for a file the libraries could not open (`code` is their
// result, an AVERROR value): the file name and what went wrong. The codes
// without a text of their own end in the system's reason:
// "x.mp4: Error while opening file: Permission denied".
std::string OpenErrorText(int code, const std::string& fileName);

// A picture attached to the file (cover art of a song), which the demuxer
// shows as a one-picture video stream. It is not video: neither counted nor
// chosen as a source nor taken into the settings.
bool IsAttachedPicture(const AVStream* stream);

}  // namespace fennick
