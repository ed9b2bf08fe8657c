// fennick-convert: the command-line front end.
#include <cstdio>

#include "component/codec_library.h"

int main(int argc, char** argv) {
  if (!fennick::LoadLibraries("", true)) {
    std::fprintf(stderr, "%s\n", fennick::LibraryLoadError().c_str());
    return 1;
  }
  std::printf("Fennick Video Converter: codec libraries loaded (libavcodec %u.%u.%u)\n",
              fennick::AVL.avcodec_version() >> 16, (fennick::AVL.avcodec_version() >> 8) & 0xff,
              fennick::AVL.avcodec_version() & 0xff);
  return 0;
}
