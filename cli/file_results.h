// What fennick-convert reports about each file: the result line, the JSON
// "done" event, and failure reasons worded for people.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/json_output.h"

namespace fennick::cli {

struct TFileResult {
  int Index = 0;                 // position among the FILEs, from 0
  std::string Source;
  std::string Output;            // empty when no output file was written
  std::string Status = "Fail";   // "Done", "Fail", "Abort" or "Skip"
  std::string Message;           // the reason of a Fail, a note on a Done
  int64_t OutputSize = -1;       // bytes; -1 when unknown
  int64_t OutputDurationMs = -1;  // -1 when unknown
};

// A reason as the user reads it, on one line (OneLine): the codec libraries'
// log prefix "[wmav2 @ 7FEBC63FFD20]" becomes "wmav2: ", so no memory
// address shows.
std::string ReasonForPeople(std::string_view text);

// "Done  SOURCE -> OUTPUT" (with a note in brackets when there is one),
// "Fail  SOURCE -> -: REASON", "Skip  SOURCE -> -".
std::string ResultLine(const TFileResult& result);

// {"event":"done","index":I,"source":S,"output":O|null,"status":...,
//  "message":M,"size":BYTES|null,"duration_ms":MS|null}
TJsonObject DoneEvent(const TFileResult& result);

}  // namespace fennick::cli
