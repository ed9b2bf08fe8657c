// Owning handles for codec-library objects: std::unique_ptr with a named
// deleter per object kind, each releasing through the entry-point table.
#pragma once

#include <memory>

#include "codec_library/codec_library.h"

namespace fennick {

// An opened input; a byte stream of the engine's own that it read from
// (OpenInput, input_io.h) is freed after it.
struct InputFormatContextDeleter {
  void operator()(AVFormatContext* ctx) const;
};
// An output context owns its byte stream: closed (unless the format has no
// file of its own) before the context is freed.
struct OutputFormatContextDeleter {
  void operator()(AVFormatContext* ctx) const {
    if (ctx->oformat && !(ctx->oformat->flags & AVFMT_NOFILE) && ctx->pb) AVL.avio_closep(&ctx->pb);
    AVL.avformat_free_context(ctx);
  }
};
struct FormatContextDeleter {
  void operator()(AVFormatContext* ctx) const { AVL.avformat_free_context(ctx); }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* ctx) const { AVL.avcodec_free_context(&ctx); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { AVL.av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { AVL.av_packet_free(&p); }
};
struct SwsContextDeleter {
  void operator()(SwsContext* s) const { AVL.sws_freeContext(s); }
};
struct SwrContextDeleter {
  void operator()(SwrContext* s) const { AVL.swr_free(&s); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo* f) const { AVL.av_audio_fifo_free(f); }
};
struct FifoDeleter {
  void operator()(AVFifo* f) const { AVL.av_fifo_freep2(&f); }
};
struct AvFreeDeleter {
  void operator()(void* p) const { AVL.av_free(p); }
};
struct DictionaryDeleter {
  void operator()(AVDictionary* d) const { AVL.av_dict_free(&d); }
};
struct BufferPoolDeleter {
  void operator()(AVBufferPool* p) const { AVL.av_buffer_pool_uninit(&p); }
};
struct BufferRefDeleter {
  void operator()(AVBufferRef* b) const { AVL.av_buffer_unref(&b); }
};
struct CodecParametersDeleter {
  void operator()(AVCodecParameters* p) const { AVL.avcodec_parameters_free(&p); }
};

using InputFormatContextPtr = std::unique_ptr<AVFormatContext, InputFormatContextDeleter>;
using OutputFormatContextPtr = std::unique_ptr<AVFormatContext, OutputFormatContextDeleter>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using FifoPtr = std::unique_ptr<AVFifo, FifoDeleter>;
template <typename T>
using AvMemPtr = std::unique_ptr<T, AvFreeDeleter>;
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryDeleter>;
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;
using BufferRefPtr = std::unique_ptr<AVBufferRef, BufferRefDeleter>;

// The libraries' error text for a result code.
std::string AvErrorText(int code);

}  // namespace fennick
