// Run-time loading of the codec libraries into one process-wide table of
// entry points. Nothing in the project calls a codec library function
// directly: every call is AVL.function(...), bound here by dlopen/dlsym.
#pragma once

#include <string>

#include "codec_library/av_headers.h"
#include "codec_library/codec_library_functions.h"

namespace fennick {

// One typed pointer per bound function, named as the function itself.
struct TCodecEntryPoints {
#define FENNICK_DECLARE_ENTRY(name) decltype(&::name) name = nullptr;
  FENNICK_AVCODEC_FUNCTIONS(FENNICK_DECLARE_ENTRY)
  FENNICK_AVFORMAT_FUNCTIONS(FENNICK_DECLARE_ENTRY)
  FENNICK_AVUTIL_FUNCTIONS(FENNICK_DECLARE_ENTRY)
  FENNICK_SWSCALE_FUNCTIONS(FENNICK_DECLARE_ENTRY)
  FENNICK_SWRESAMPLE_FUNCTIONS(FENNICK_DECLARE_ENTRY)
#undef FENNICK_DECLARE_ENTRY
};

// The table. Written only by LoadLibraries/UnloadLibraries on the main thread
// before any task exists; read-only (and shared by every thread) afterwards.
extern TCodecEntryPoints AVL;

enum class TCodecLibrary { Codec, Container, Utility, Scaler, Resampler };

// Loads the five libraries in order (codec, container, utility, scaler,
// resampler), stopping at the first failure. `folder` may be empty (system
// search only); a library file present in `folder` is loaded from there.
// `versioned` picks "libavcodec.so.59" style names over "libavcodec.so".
bool LoadLibraries(const std::string& folder, bool versioned);
void UnloadLibraries();
bool LibrariesLoaded();
bool LibraryBound(TCodecLibrary lib);
// The overall error text of the last LoadLibraries call ("" after success).
std::string LibraryLoadError();
// Appends `folder` to this process's PATH unless PATH already names it (in
// any letter case). Used for library folders and hook module folders.
void AppendToSearchPath(const std::string& folder);
// File name the loader uses for a library with the given naming rule.
std::string LibraryFileName(TCodecLibrary lib, bool versioned);

}  // namespace fennick
