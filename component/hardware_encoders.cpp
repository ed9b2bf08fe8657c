#include "component/hardware_encoders.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "codec_library/codec_library.h"
#include "engine/FFmpeg.h"

namespace fennick {

namespace {

// Frees an encoder context under the lock its opening took.
struct LockedCodecContextDeleter {
  void operator()(AVCodecContext* p) const {
    std::lock_guard<TCodecLock> lock(CodecLock());
    AVL.avcodec_free_context(&p);
  }
};

std::string ErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  AVL.av_strerror(error, text, sizeof text);
  return text;
}

// The size of the pictures the trial opens the encoder for.
constexpr int kTrialWidth = 320, kTrialHeight = 240;

// Opens the render node for reading and writing, as the VAAPI driver will.
std::string NodeOpenProblem(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return node + ": " + std::strerror(errno);
  ::close(fd);
  return "";
}

// Empty when encoder initialises on the device; else why not.
std::string EncoderProblem(const std::string& name, AVBufferRef* device) {
  const AVCodec* encoder = AVL.avcodec_find_encoder_by_name(name.c_str());
  if (!encoder) return name + " is not in the codec libraries";
  BufferRefPtr frames(AVL.av_hwframe_ctx_alloc(device));
  if (!frames) return name + ": " + ErrorText(AVERROR(ENOMEM));
  auto* framesContext = reinterpret_cast<AVHWFramesContext*>(frames->data);
  framesContext->format = AV_PIX_FMT_VAAPI;
  framesContext->sw_format = AV_PIX_FMT_NV12;
  framesContext->width = kTrialWidth;
  framesContext->height = kTrialHeight;
  if (const int ret = AVL.av_hwframe_ctx_init(frames.get()); ret < 0)
    return name + ": the device gives no pictures: " + ErrorText(ret);
  std::unique_ptr<AVCodecContext, LockedCodecContextDeleter> context(AVL.avcodec_alloc_context3(encoder));
  if (!context) return name + ": " + ErrorText(AVERROR(ENOMEM));
  context->width = kTrialWidth;
  context->height = kTrialHeight;
  context->pix_fmt = AV_PIX_FMT_VAAPI;
  context->time_base = AVRational{1, 25};
  context->framerate = AVRational{25, 1};
  context->hw_frames_ctx = AVL.av_buffer_ref(frames.get());
  if (!context->hw_frames_ctx) return name + ": " + ErrorText(AVERROR(ENOMEM));
  std::lock_guard<TCodecLock> lock(CodecLock());
  if (const int ret = AVL.avcodec_open2(context.get(), encoder, nullptr); ret < 0)
    return name + " does not initialise: " + ErrorText(ret);
  return "";
}

}  // namespace

std::vector<std::string> VaapiRenderNodes(const std::string& folder) {
  std::vector<std::string> nodes;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 7 && name.starts_with("renderD") &&
        name.find_first_not_of("0123456789", 7) == std::string::npos)
      nodes.push_back(it->path().string());
  }
  std::sort(nodes.begin(), nodes.end());
  return nodes;
}

std::vector<THardwareEncoderCheck> CheckVaapiEncoders(const std::string& folder) {
  std::vector<THardwareEncoderCheck> checks;
  for (const std::string& name : VaapiEncoderNames()) checks.push_back({name, false, "", ""});
  auto refuseAll = [&checks](const std::string& reason) {
    for (THardwareEncoderCheck& check : checks)
      if (!check.Usable && check.Reason.empty()) check.Reason = reason;
  };
  if (!LibrariesLoaded()) {
    refuseAll("the codec libraries are not loaded");
    return checks;
  }
  const std::vector<std::string> nodes = VaapiRenderNodes(folder);
  if (nodes.empty()) {
    refuseAll("no VAAPI device (" + (std::filesystem::path(folder) / "renderD*").string() + ")");
    return checks;
  }
  std::string lastProblem;
  for (const std::string& node : nodes) {
    if (std::all_of(checks.begin(), checks.end(), [](const auto& c) { return c.Usable; })) break;
    if (std::string problem = NodeOpenProblem(node); !problem.empty()) {
      lastProblem = std::move(problem);
      continue;
    }
    AVBufferRef* created = nullptr;
    if (const int ret = AVL.av_hwdevice_ctx_create(&created, AV_HWDEVICE_TYPE_VAAPI, node.c_str(), nullptr, 0);
        ret < 0) {
      lastProblem = node + " is no VAAPI device: " + ErrorText(ret);
      continue;
    }
    const BufferRefPtr device(created);
    for (THardwareEncoderCheck& check : checks) {
      if (check.Usable) continue;
      check.Reason = EncoderProblem(check.Encoder, device.get());
      if (check.Reason.empty()) {
        check.Usable = true;
        check.Device = node;
      }
    }
  }
  refuseAll(lastProblem);
  return checks;
}

std::vector<std::string> UsableVaapiEncoders(const std::string& folder) {
  std::vector<std::string> usable;
  for (const THardwareEncoderCheck& check : CheckVaapiEncoders(folder))
    if (check.Usable) usable.push_back(check.Encoder);
  return usable;
}

}  // namespace fennick
