// Writing to stdout and stderr so that a reader that goes away (the end of
// "| head -1") never ends a conversion: SIGPIPE is ignored, and a stream
// whose reader has closed it (EPIPE) is written no more.
#pragma once

#include <cstdio>
#include <string_view>

namespace fennick::cli {

// Once, first thing in main(): a write to a closed pipe fails with EPIPE
// instead of ending the process.
void IgnoreBrokenPipes();

// Writes text to stdout or stderr and flushes it; nothing once that stream's
// reader has gone. Other write errors are dropped: the output is a report,
// never a reason to end the run.
void WriteStream(std::FILE* stream, std::string_view text);

}  // namespace fennick::cli
