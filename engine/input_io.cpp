// The engine's byte stream for local sources: read() and lseek() on a file
// descriptor of its own, with waits for data cut into short poll() slices
// between which the input's interrupt callback is asked.
#include "engine/input_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "codec_library/media_files.h"
#include "engine/av_ptr.h"

namespace fennick {

namespace {

// Bytes asked of the source at a time; reads larger than this go straight
// into the demuxer's buffer.
constexpr int kBufferSize = 64 * 1024;
// The longest wait for data before the interrupt callback is asked again.
constexpr int kWaitSliceMs = 100;

// The state behind one byte stream (its opaque pointer).
class TSourceFile {
 public:
  TSourceFile(int fd, bool waits, const AVIOInterruptCB& interrupt) : FFd(fd), FWaits(waits), FInterrupt(interrupt) {
    // A named pipe opened without blocking reads as ended until a writer
    // comes: its first read waits for data (or the writer's end) first.
    FWaitBeforeRead = waits;
  }
  ~TSourceFile() { ::close(FFd); }
  TSourceFile(const TSourceFile&) = delete;
  TSourceFile& operator=(const TSourceFile&) = delete;

  int Read(uint8_t* buffer, int size) {
    for (;;) {
      if (Interrupted()) return AVERROR_EXIT;
      if (FWaitBeforeRead) {
        pollfd ready{FFd, POLLIN, 0};
        const int events = ::poll(&ready, 1, kWaitSliceMs);
        if (events == 0 || (events < 0 && errno == EINTR)) continue;
        if (events < 0) return AVERROR(errno);
        FWaitBeforeRead = false;
      }
      const ssize_t got = ::read(FFd, buffer, static_cast<size_t>(size));
      if (got > 0) return static_cast<int>(got);
      if (got == 0) return AVERROR_EOF;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return AVERROR(errno);
      FWaitBeforeRead = FWaits;
    }
  }

  int64_t Seek(int64_t offset, int whence) {
    if (whence == AVSEEK_SIZE) {
      struct stat st {};
      if (::fstat(FFd, &st) < 0) return AVERROR(errno);
      if (S_ISREG(st.st_mode)) return st.st_size;
      return AVERROR(ENOSYS);
    }
    const off_t position = ::lseek(FFd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : static_cast<int64_t>(position);
  }

 private:
  bool Interrupted() const { return FInterrupt.callback && FInterrupt.callback(FInterrupt.opaque); }

  const int FFd;
  const bool FWaits;  // not a regular file: data may be slow to come
  bool FWaitBeforeRead;
  const AVIOInterruptCB FInterrupt;
};

int ReadSource(void* opaque, uint8_t* buffer, int size) { return static_cast<TSourceFile*>(opaque)->Read(buffer, size); }

int64_t SeekSource(void* opaque, int64_t offset, int whence) {
  return static_cast<TSourceFile*>(opaque)->Seek(offset, whence);
}

bool OwnByteStream(const AVIOContext* pb) { return pb && pb->read_packet == &ReadSource; }

void FreeByteStream(AVIOContext* pb) {
  delete static_cast<TSourceFile*>(pb->opaque);
  AVL.av_freep(&pb->buffer);  // the demuxer may have replaced the first buffer
  AVL.avio_context_free(&pb);
}

struct ByteStreamDeleter {
  void operator()(AVIOContext* pb) const { FreeByteStream(pb); }
};
using ByteStreamPtr = std::unique_ptr<AVIOContext, ByteStreamDeleter>;

// Opens `path` for reading without blocking (a named pipe without a writer
// opens at once) and wraps it in a byte stream. Returns 0 or an AVERROR code.
int OpenByteStream(const std::string& path, const AVIOInterruptCB& interrupt, ByteStreamPtr& stream) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return AVERROR(errno);
  struct stat st {};
  if (::fstat(fd, &st) < 0) {
    const int error = AVERROR(errno);
    ::close(fd);
    return error;
  }
  const bool seekable = S_ISREG(st.st_mode) || S_ISBLK(st.st_mode);
  auto source = std::make_unique<TSourceFile>(fd, !S_ISREG(st.st_mode), interrupt);
  AvMemPtr<unsigned char> buffer(static_cast<unsigned char*>(AVL.av_malloc(kBufferSize)));
  if (!buffer) return AVERROR(ENOMEM);
  AVIOContext* pb = AVL.avio_alloc_context(buffer.get(), kBufferSize, 0, source.get(), &ReadSource,
                                           nullptr, seekable ? &SeekSource : nullptr);
  if (!pb) return AVERROR(ENOMEM);
  buffer.release();
  source.release();
  stream.reset(pb);
  return 0;
}

// Formats the libraries open by name, without a byte stream: forced ones
// that open their files themselves, and names that the libraries recognise
// before opening anything (an image sequence "img%03d.jpg").
bool LibraryOpensByName(const std::string& url, const AVInputFormat* format) {
  if (format) return (format->flags & AVFMT_NOFILE) != 0;
  AVProbeData byName{};
  byName.filename = url.c_str();
  int score = AVPROBE_SCORE_RETRY;
  return AVL.av_probe_input_format2(&byName, 0, &score) != nullptr;
}

}  // namespace

void InputFormatContextDeleter::operator()(AVFormatContext* ctx) const {
  AVIOContext* own = (ctx->flags & AVFMT_FLAG_CUSTOM_IO) && OwnByteStream(ctx->pb) ? ctx->pb : nullptr;
  AVL.avformat_close_input(&ctx);
  if (own) FreeByteStream(own);
}

int OpenInput(AVFormatContext** context, const std::string& name, const AVInputFormat* format,
              AVDictionary** options) {
  const std::string url = LibraryFileName(name);
  const std::string path = LocalFilePath(name);
  if (path.empty() || LibraryOpensByName(url, format))
    return AVL.avformat_open_input(context, url.c_str(), format, options);

  FormatContextPtr allocated(*context ? *context : AVL.avformat_alloc_context());
  *context = nullptr;
  if (!allocated) return AVERROR(ENOMEM);
  ByteStreamPtr stream;
  if (const int opened = OpenByteStream(path, allocated->interrupt_callback, stream); opened < 0) return opened;
  allocated->pb = stream.get();
  // The library marks the context as reading from a caller's byte stream and
  // never closes it: on failure too, the stream is freed here.
  AVFormatContext* opening = allocated.release();
  const int result = AVL.avformat_open_input(&opening, url.c_str(), format, options);
  if (result < 0) return result;
  stream.release();  // freed with the input (InputFormatContextDeleter)
  *context = opening;
  return result;
}

}  // namespace fennick
