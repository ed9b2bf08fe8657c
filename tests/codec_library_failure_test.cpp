// Loading failures are process-wide state, so they have a test program of
// their own that never loads the libraries successfully.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "codec_library/codec_library.h"
#include "component/FFmpegVCL.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

TEST(CodecLibraryFailure, AFileThatIsNotALibraryIsReportedWithItsNameAndTheSystemMessage) {
  test::TempDir dir;
  const std::string name = LibraryFileName(TCodecLibrary::Codec, true);
  std::ofstream(dir.file(name)) << "this is not a shared object\n";
  const std::string before = std::getenv("PATH") ? std::getenv("PATH") : "";

  EXPECT_FALSE(LoadLibraries(dir.path().string(), true));
  const std::string error = LibraryLoadError();
  EXPECT_EQ(error.rfind("Load libraray " + name + " error: ", 0), 0u) << error;
  EXPECT_NE(error.find(dir.path().string()), std::string::npos) << "the system message names the file: " << error;
  EXPECT_FALSE(LibrariesLoaded());
  EXPECT_FALSE(LibraryBound(TCodecLibrary::Codec));
  EXPECT_EQ(AVL.avcodec_open2, nullptr);

  // The folder was appended to PATH, and stays there after the failure.
  const std::string after = std::getenv("PATH");
  EXPECT_EQ(after, before + ":" + dir.path().string());
  // A second attempt does not append it again.
  EXPECT_FALSE(LoadLibraries(dir.path().string(), true));
  EXPECT_EQ(std::string(std::getenv("PATH")), after);
}

TEST(CodecLibraryFailure, AMissingLibraryNamesTheFileTheLoaderLookedFor) {
  // Unversioned names resolve only where the development links exist, so a
  // folder whose codec library is a broken link fails the same way.
  test::TempDir dir;
  const std::string name = LibraryFileName(TCodecLibrary::Codec, false);
  std::filesystem::create_symlink(dir.file("nowhere"), dir.file(name));
  EXPECT_FALSE(LoadLibraries(dir.path().string(), false));
  EXPECT_EQ(LibraryLoadError().rfind("Load libraray " + name + " error: ", 0), 0u) << LibraryLoadError();
}

TEST(CodecLibraryFailure, TheComponentTellsItThroughLastErrorWithoutRaising) {
  test::TempDir dir;
  std::ofstream(dir.file(LibraryFileName(TCodecLibrary::Codec, true))) << "this is not a shared object\n";
  TFFmpegVCL component;
  bool loaded = true;
  EXPECT_NO_THROW(loaded = component.LoadCodecLibraries(dir.path().string(), true));
  EXPECT_FALSE(loaded);
  EXPECT_EQ(component.LastError().rfind("Load libraray libavcodec", 0), 0u) << component.LastError();
  EXPECT_EQ(component.LastError(), LibraryLoadError());
}

}  // namespace
}  // namespace fennick
