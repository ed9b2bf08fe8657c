#include "util/output_reservation.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>

namespace fennick {

namespace {

constexpr std::string_view kPartialSuffix = ".fennick-partial";
constexpr size_t kNameMax = 255;

struct TSplitPath {
  std::string Folder;  // with its trailing "/", or empty for the current folder
  std::string Name;
};

TSplitPath SplitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether the open file `fd` is still what `path` names.
bool StillNamed(int fd, const std::string& path) {
  struct stat opened {}, named {};
  return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && SameInode(opened, named);
}

// The output's own path: a symbolic link is followed, so that the finished
// file replaces what the link points to, not the link.
std::string ResolvedOutput(const std::string& output) {
  struct stat st {};
  if (::lstat(output.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return output;
  std::error_code ec;
  const auto target = std::filesystem::weakly_canonical(output, ec);
  return ec ? output : target.string();
}

// Whether something has the name: a file of any kind, or a symbolic link,
// also one that points nowhere.
bool NameTaken(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Where a partial file may be made or taken over: nothing has its name, or
// a regular file does (a killed conversion's leftover). A symbolic link,
// a folder or a pipe there makes the output's name taken.
bool PartialNameUsable(const std::string& partial) {
  struct stat st {};
  return ::lstat(partial.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

// "folder/name-N.ext" for "folder/name.ext" (N from 1).
std::string NumberedName(const std::string& path, long n) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

std::string KeyOf(const std::string& output) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(output, ec);
  return ec ? output : absolute.lexically_normal().string();
}

}  // namespace

// The reservations this process holds, by the output's absolute path; the
// lock guards the map and makes a check and a reservation of one name one
// step.
struct TOutputReservations {
  std::mutex Lock;
  std::map<std::string, std::weak_ptr<TOutputReservation>> Held;

  static TOutputReservations& Instance() {
    static TOutputReservations registry;
    return registry;
  }

  TReservedOutput Reserve(const std::string& requested, bool replace) {
    // A link at the output's name that points nowhere is taken.
    struct stat target {};
    if (NameTaken(requested) && ::stat(requested.c_str(), &target) != 0) return {TReserveResult::Exists, nullptr, 0};
    const std::string output = ResolvedOutput(requested);
    const std::string key = KeyOf(output);
    std::lock_guard<std::mutex> guard(Lock);
    if (const auto it = Held.find(key); it != Held.end() && !it->second.expired())
      return {TReserveResult::InUse, nullptr, 0};
    const std::string partial = PartialOutputPath(output);
    // A partial name that is no regular file makes the name taken.
    if (!PartialNameUsable(partial)) return {TReserveResult::Exists, nullptr, 0};
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
      fd = ::open(partial.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
      if (fd < 0 && errno == ELOOP) return {TReserveResult::Exists, nullptr, 0};
      if (fd < 0) return {TReserveResult::Failed, nullptr, errno};
      struct stat opened {};
      if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return {TReserveResult::Exists, nullptr, 0};
      }
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return {TReserveResult::InUse, nullptr, 0};
        return {TReserveResult::Failed, nullptr, error};
      }
      // Locked a file that a sweep removed meanwhile: take the name again.
      if (!StillNamed(fd, partial)) {
        ::close(fd);
        fd = -1;
        if (attempt >= 8) return {TReserveResult::InUse, nullptr, 0};
      }
    }
    auto reservation = std::shared_ptr<TOutputReservation>(new TOutputReservation());
    reservation->FOutput = output;
    reservation->FPartial = partial;
    reservation->FLockFd = fd;
    reservation->FReplace = replace;
    // A stale partial file taken over (its conversion was killed) starts
    // empty.
    if (::ftruncate(fd, 0) != 0) return {TReserveResult::Failed, nullptr, errno};

    struct stat existing {};
    if (::stat(output.c_str(), &existing) == 0 && (!replace || !S_ISREG(existing.st_mode)))
      return {TReserveResult::Exists, nullptr, 0};  // the reservation goes, and its partial file with it
    // Known by its key (and forgotten when it goes) only once it counts.
    reservation->FKey = key;
    Held[key] = reservation;
    return {TReserveResult::Reserved, std::move(reservation), 0};
  }

  std::shared_ptr<TOutputReservation> Find(const std::string& output) {
    std::lock_guard<std::mutex> guard(Lock);
    const auto it = Held.find(KeyOf(ResolvedOutput(output)));
    return it == Held.end() ? nullptr : it->second.lock();
  }

  void Forget(const std::string& key) {
    std::lock_guard<std::mutex> guard(Lock);
    if (const auto it = Held.find(key); it != Held.end() && it->second.expired()) Held.erase(it);
  }
};

std::string PartialOutputPath(const std::string& output) {
  const TSplitPath split = SplitPath(output);
  std::string name = "." + split.Name + std::string(kPartialSuffix);
  if (name.size() > kNameMax) {
    // Long names keep their start and a fingerprint of the whole.
    char fingerprint[24];
    std::snprintf(fingerprint, sizeof fingerprint, "~%016zx", std::hash<std::string>{}(split.Name));
    const size_t keep = kNameMax - 1 - std::strlen(fingerprint) - kPartialSuffix.size();
    name = "." + split.Name.substr(0, keep) + fingerprint + std::string(kPartialSuffix);
  }
  return split.Folder + name;
}

bool IsPartialOutputName(std::string_view fileName) {
  return fileName.size() > kPartialSuffix.size() + 1 && fileName.front() == '.' &&
         fileName.substr(fileName.size() - kPartialSuffix.size()) == kPartialSuffix;
}

TOutputReservation::~TOutputReservation() {
  if (FLockFd >= 0) {
    if (!FCommitted && StillNamed(FLockFd, FPartial)) ::unlink(FPartial.c_str());
    ::close(FLockFd);
  }
  if (!FKey.empty()) TOutputReservations::Instance().Forget(FKey);
}

namespace {

// Renames `from` onto `to` unless something has that name (or, with
// replace, onto a file of it): 0, or the system's error.
int RenameOnto(const std::string& from, const std::string& to, bool replace) {
  int result = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), replace ? 0 : RENAME_NOREPLACE);
  if (result != 0 && errno == EINVAL && !replace) {
    // A file system without the no-replace rename: a new link cannot
    // replace a file either.
    result = ::link(from.c_str(), to.c_str());
    if (result == 0) ::unlink(from.c_str());
  }
  return result == 0 ? 0 : errno;
}

}  // namespace

bool TOutputReservation::Commit(std::string& error) {
  if (FCommitted) return true;
  // A dangling link at the name counts as taken, and a replacing rename
  // would put the file in the link's place.
  int result = FReplace && NameTaken(FOutput) && !std::filesystem::exists(FOutput) ? EEXIST
                                                                                   : RenameOnto(FPartial, FOutput, FReplace);
  // The name was taken while the file was written: the whole file goes
  // under the first "-N" name that nothing has and no conversion holds,
  // never lost for want of a name. The number's own partial name is made
  // afresh (never taken over) and held while the rename is done.
  for (long n = 1; result == EEXIST && n < 10000; ++n) {
    const std::string candidate = NumberedName(FOutput, n);
    if (NameTaken(candidate) || FindReservedOutput(candidate)) continue;
    const std::string hold = PartialOutputPath(candidate);
    const int fd = ::open(hold.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      result = RenameOnto(FPartial, candidate, false);
      if (result == 0) FRenamedTo = candidate;
    }
    ::unlink(hold.c_str());
    ::close(fd);
  }
  if (result != 0) {
    error = std::strerror(result);
    return false;
  }
  FCommitted = true;
  return true;
}

TReservedOutput ReserveOutput(const std::string& output, bool replaceExisting) {
  return TOutputReservations::Instance().Reserve(output, replaceExisting);
}

std::shared_ptr<TOutputReservation> FindReservedOutput(const std::string& output) {
  return TOutputReservations::Instance().Find(output);
}

}  // namespace fennick
