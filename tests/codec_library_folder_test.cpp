// Loading the codec libraries from a folder of their own. Loading is
// process-wide, so this has a test program of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "codec_library/codec_library.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;

// How many objects of each codec library the process holds, by stem.
std::map<std::string, int> LoadedCopies() {
  std::map<std::string, int> copies;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        const std::string name = fs::path(info->dlpi_name ? info->dlpi_name : "").filename().string();
        for (const char* stem : {"libavcodec.so", "libavformat.so", "libavutil.so", "libswscale.so",
                                 "libswresample.so"})
          if (name.rfind(stem, 0) == 0) ++(*static_cast<std::map<std::string, int>*>(data))[stem];
        return 0;
      },
      &copies);
  return copies;
}

std::mutex g_LinesLock;
std::vector<std::string> g_Lines;

void RecordLine(void*, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  std::lock_guard<std::mutex> lock(g_LinesLock);
  g_Lines.push_back(text);
}

TEST(CodecLibraryFolder, OneCopyOfEachLibraryWhoseLogCallbackIsTheOneInUse) {
  // Copies (not links) of the installed libraries, so that the folder's are
  // other files than the system's.
  test::TempDir dir;
  for (auto lib : {TCodecLibrary::Codec, TCodecLibrary::Container, TCodecLibrary::Utility, TCodecLibrary::Scaler,
                   TCodecLibrary::Resampler}) {
    const std::string name = LibraryFileName(lib, true);
    ASSERT_TRUE(fs::copy_file(fs::path(FENNICK_AV_LIBDIR) / name, dir.file(name))) << name;
  }
  ASSERT_TRUE(LoadLibraries(dir.path().string(), true)) << LibraryLoadError();

  for (const auto& [stem, count] : LoadedCopies()) EXPECT_EQ(count, 1) << stem;
  EXPECT_EQ(LoadedCopies().size(), 5u);

  // A line of libavcodec's own reaches the callback installed through the
  // entry-point table.
  AVL.av_log_set_callback(&RecordLine);
  const AVCodec* codec = AVL.avcodec_find_encoder_by_name("mpeg4");
  ASSERT_NE(codec, nullptr);
  AVCodecContext* context = AVL.avcodec_alloc_context3(codec);
  ASSERT_NE(context, nullptr);
  EXPECT_LT(AVL.avcodec_open2(context, codec, nullptr), 0);  // no picture size, no time base
  AVL.avcodec_free_context(&context);
  std::lock_guard<std::mutex> lock(g_LinesLock);
  EXPECT_FALSE(g_Lines.empty()) << "the encoder's complaint went to another copy of libavutil";
}

}  // namespace
}  // namespace fennick
