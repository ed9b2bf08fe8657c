// Outputs that appear only when complete. A conversion writes its output
// under a hidden partial name beside it (".clip.mp4.fennick-partial") and
// renames it onto the output's name once the file is whole. While it
// writes, it holds an exclusive lock on the partial file: that lock is the
// output name's reservation, seen by every process, so no running
// conversion's name is ever chosen or replaced by another. A partial file
// nobody holds is the leftover of a conversion that was killed; the next
// reservation of that same name takes it over. No other file is ever
// removed, and no symbolic link followed, at a partial name.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace fennick {

// The hidden name `output` is written under until it is complete.
std::string PartialOutputPath(const std::string& output);
// Whether a file name (without folder) is one PartialOutputPath makes.
bool IsPartialOutputName(std::string_view fileName);

// One reserved output name. Destroying it before Commit removes the partial
// file; after Commit the output stays.
class TOutputReservation {
 public:
  ~TOutputReservation();
  TOutputReservation(const TOutputReservation&) = delete;
  TOutputReservation& operator=(const TOutputReservation&) = delete;

  const std::string& OutputPath() const { return FOutput; }
  const std::string& PartialPath() const { return FPartial; }
  // Whether Commit may replace a file that has the output's name (a
  // finished file of an earlier run).
  bool ReplacesExisting() const { return FReplace; }
  bool Committed() const { return FCommitted; }
  // Renames the partial file onto the output's name, or, when something
  // took that name meanwhile (without ReplacesExisting), onto the first free
  // "-N" name (RenamedTo). False, with the system's reason, when that fails
  // (the folder gone ...); the partial file stays until the reservation
  // goes.
  bool Commit(std::string& error);
  // Where Commit put the file when the output's name was taken; else empty.
  const std::string& RenamedTo() const { return FRenamedTo; }

 private:
  friend struct TOutputReservations;
  TOutputReservation() = default;
  std::string FOutput, FPartial, FKey, FRenamedTo;
  int FLockFd = -1;
  bool FReplace = false;
  bool FCommitted = false;
};

enum class TReserveResult {
  Reserved,
  InUse,   // a running conversion (of any process) holds the name
  Exists,  // a file has the name and replacing was not allowed, or it is no regular file
  Failed,  // the partial file cannot be made there; Error holds errno
};

struct TReservedOutput {
  TReserveResult Result = TReserveResult::Failed;
  std::shared_ptr<TOutputReservation> Output;  // set when Reserved
  int Error = 0;
};

// Reserves the name `output` (a local path). With replaceExisting, a
// regular file of that name (a finished output) may be replaced at Commit;
// without it the name must be free.
TReservedOutput ReserveOutput(const std::string& output, bool replaceExisting);
// The reservation of `output` that this process holds, if any.
std::shared_ptr<TOutputReservation> FindReservedOutput(const std::string& output);

}  // namespace fennick
