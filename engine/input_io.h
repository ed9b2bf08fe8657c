// Opening inputs so that a stop reaches every wait for their bytes. The
// libraries' file protocol blocks in read() on a pipe or device that sends
// nothing more, and in open() on a named pipe without a writer, where no
// interrupt callback is asked. A local source is therefore read through a
// byte stream of the engine's own: it never blocks for longer than a short
// slice and asks the context's interrupt callback between slices.
#pragma once

#include <string>

#include "codec_library/codec_library.h"

namespace fennick {

// avformat_open_input for `name` as the user gave it (a path, a "file:" name
// or a URL). `*context` is what avformat_open_input takes (allocated by the
// caller with its options and interrupt callback set, or null) and is freed
// and set to null on failure. A local source (regular file, named pipe,
// device) is read through the engine's byte stream, which ends a wait with
// AVERROR_EXIT once the context's interrupt callback says so; URLs of other
// protocols and formats that open their files themselves (image sequences,
// capture devices) are left to the libraries. Failures to open the source
// give the file protocol's codes (AVERROR(ENOENT) for a missing file ...).
// Close the result through an InputFormatContextPtr (av_ptr.h), which frees
// the byte stream after the input.
int OpenInput(AVFormatContext** context, const std::string& name, const AVInputFormat* format,
              AVDictionary** options);

}  // namespace fennick
