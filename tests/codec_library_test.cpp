#include "codec_library/codec_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/test_support.h"

namespace fennick {
namespace {

TEST(CodecLibrary, LoadsEveryEntryPointOfTheInstalledGeneration) {
  test::RequireLibraries();
  EXPECT_TRUE(LibrariesLoaded());
  for (auto lib : {TCodecLibrary::Codec, TCodecLibrary::Container, TCodecLibrary::Utility, TCodecLibrary::Scaler,
                   TCodecLibrary::Resampler})
    EXPECT_TRUE(LibraryBound(lib));
  EXPECT_EQ(AVL.avcodec_version() >> 16, static_cast<unsigned>(LIBAVCODEC_VERSION_MAJOR));
  EXPECT_NE(AVL.avcodec_find_encoder_by_name("mpeg4"), nullptr);
  EXPECT_EQ(LibraryLoadError(), "");
}

TEST(CodecLibrary, SecondLoadSucceedsWithoutTouchingThePath) {
  test::RequireLibraries();
  const std::string before = std::getenv("PATH") ? std::getenv("PATH") : "";
  EXPECT_TRUE(LoadLibraries("/some/folder/that/is/not/there", true));
  EXPECT_EQ(before, std::getenv("PATH") ? std::getenv("PATH") : "");
}

TEST(CodecLibrary, FileNamesFollowTheNamingRule) {
  EXPECT_EQ(LibraryFileName(TCodecLibrary::Codec, true), "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
  EXPECT_EQ(LibraryFileName(TCodecLibrary::Resampler, false), "libswresample.so");
}

}  // namespace
}  // namespace fennick
