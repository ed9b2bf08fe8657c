#include "codec_library/media_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "codec_library/codec_library.h"

namespace fennick {

namespace {

bool StartsWithFileScheme(const std::string& name) { return name.compare(0, 5, "file:") == 0; }

// The protocol the libraries would open `name` with, or null for none.
const char* LibraryProtocol(const std::string& name) {
  return AVL.avio_find_protocol_name ? AVL.avio_find_protocol_name(name.c_str()) : "file";
}

bool LocalEntryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string LibraryFileName(const std::string& name) {
  if (name.empty()) return name;
  // "file:y.mp4" is a URL of y.mp4 unless a local file of that very name exists.
  if (StartsWithFileScheme(name)) return LocalEntryExists(name) ? "file:" + name : name;
  const char* protocol = LibraryProtocol(name);
  if (protocol && std::strcmp(protocol, "file") == 0) return name;
  // A known protocol names a URL, unless a local file of that very name exists.
  if (protocol && !LocalEntryExists(name)) return name;
  return "file:" + name;
}

std::string LocalFilePath(const std::string& name) {
  if (StartsWithFileScheme(name)) return LocalEntryExists(name) ? name : name.substr(5);
  const char* protocol = LibraryProtocol(name);
  if (protocol && std::strcmp(protocol, "file") != 0 && !LocalEntryExists(name)) return "";
  return name;
}

std::string OpenErrorText(int code, const std::string& fileName) {
  if (code == AVERROR(ENOENT)) return fileName + ": no such file or directory";
  if (code == AVERROR_INVALIDDATA || code == AVERROR(EILSEQ)) return fileName + ": Unknown format";
  if (code == AVERROR(EDOM))
    return fileName +
           ": Incorrect image filename syntax.\r\n"
           "Use '%d' to specify the image number:\r\n"
           "  for img1.jpg, img2.jpg, ..., use 'img%d.jpg';\r\n"
           "  for img001.jpg, img002.jpg, ..., use 'img%03d.jpg'.";
  if (code == AVERROR(EINVAL)) return fileName + ": Error while parsing header";
  if (code == AVERROR(ENOMEM)) return fileName + ": memory allocation error occurred";
  if (code == AVERROR(EIO))
    return fileName + ": I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted.";
  // The other codes get no text of their own: the system's reason says what
  // went wrong ("Permission denied", "Is a directory" ...).
  char reason[AV_ERROR_MAX_STRING_SIZE] = {};
  if (!AVL.av_strerror || AVL.av_strerror(code, reason, sizeof reason) < 0 || !reason[0])
    return fileName + ": Error while opening file";
  return fileName + ": Error while opening file: " + reason;
}

bool IsAttachedPicture(const AVStream* stream) {
  return stream && (stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

}  // namespace fennick
