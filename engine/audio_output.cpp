// Audio output: decoded frames to interleaved integer samples (signed 16-bit,
// or 32-bit where only lossless encoders take a source of more bits), volume,
// drift correction against the input timestamps, rate/channel conversion,
// cutting into the encoder's frame size, encoding and the end-of-stream
// flush. Everything here runs in the conversion stage and uses the engine's
// audio work buffers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "engine/transcode_tables.h"

namespace fennick {

namespace {

// Drift in samples up to which nothing is corrected.
constexpr double kMinDriftSamples = 50;
// Largest piece of silence handed on at once.
constexpr int kMaxSilenceBlockBytes = 131072;

std::string ResampleError(int inChannels, int inRate, int outChannels, int outRate) {
  return FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", inChannels, inRate, outChannels,
                outRate);
}

// Truncates toward zero, saturating at the int range.
int TruncToInt(double value) {
  if (value >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// A layout the resampler accepts for `channels` channels: the given one when
// it is a native layout of that count, else the default layout.
AVChannelLayout UsableLayout(const AVChannelLayout* layout, int channels) {
  AVChannelLayout result{};
  if (layout && layout->order == AV_CHANNEL_ORDER_NATIVE && layout->nb_channels == channels)
    AVL.av_channel_layout_from_mask(&result, layout->u.mask);
  else
    AVL.av_channel_layout_default(&result, channels);
  return result;
}

SwrContext* CreateResampler(AVChannelLayout outLayout, AVSampleFormat outFormat, int outRate,
                            AVChannelLayout inLayout, AVSampleFormat inFormat, int inRate) {
  SwrContext* swr = nullptr;
  if (inRate <= 0 || outRate <= 0) return nullptr;
  if (AVL.swr_alloc_set_opts2(&swr, &outLayout, outFormat, outRate, &inLayout, inFormat, inRate, 0, nullptr) < 0)
    return nullptr;
  if (AVL.swr_init(swr) < 0) {
    AVL.swr_free(&swr);
    return nullptr;
  }
  return swr;
}

template <typename T>
T* Grow(std::vector<T>& buffer, size_t size) {
  if (buffer.size() < size) buffer.resize(size);
  return buffer.data();
}

int OutputIndex(const TOutputStream& ost) { return ost.Stream ? ost.Stream->index : ost.StreamIndex; }

template <typename T>
constexpr AVSampleFormat kInterleaved = std::is_same_v<T, int16_t>   ? AV_SAMPLE_FMT_S16
                                        : std::is_same_v<T, int32_t> ? AV_SAMPLE_FMT_S32
                                                                     : AV_SAMPLE_FMT_FLT;

// A decoded frame as interleaved T at the stream's RequestedChannels, with
// the volume (256 = unchanged) applied: the frame's own data when it needs
// no change, else `buffer`.
template <typename T>
const T* ConvertDecodedAudio(TInputSync& ist, const AVFrame& frame, int volume, std::vector<T>& buffer,
                             int& bytes) {
  static_assert(std::is_same_v<T, int16_t> || std::is_same_v<T, int32_t> || std::is_same_v<T, float>);
  constexpr AVSampleFormat target = kInterleaved<T>;
  bytes = 0;
  const int inChannels = frame.ch_layout.nb_channels;
  const int count = frame.nb_samples;
  if (inChannels <= 0 || count <= 0 || !frame.extended_data || !frame.extended_data[0]) return nullptr;
  const int outChannels = ist.RequestedChannels > 0 ? ist.RequestedChannels : inChannels;
  const bool scale = volume != 256;

  int produced = 0;
  if (frame.format == target && outChannels == inChannels) {
    if (!scale) {
      bytes = count * inChannels * int(sizeof(T));
      return reinterpret_cast<const T*>(frame.data[0]);
    }
    std::memcpy(Grow(buffer, size_t(count) * inChannels), frame.data[0], size_t(count) * inChannels * sizeof(T));
    produced = count;
  } else {
    const int rate = frame.sample_rate > 0 ? frame.sample_rate : ist.DecoderRate;
    const uint64_t mask = frame.ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame.ch_layout.u.mask : 0;
    if (!ist.DecodeConvert || ist.DecodeConvertFormat != frame.format || ist.DecodeConvertTarget != target ||
        ist.DecodeConvertRate != rate || ist.DecodeConvertChannels != inChannels || ist.DecodeConvertMask != mask) {
      ist.DecodeConvert.reset();
      const AVChannelLayout inLayout = UsableLayout(&frame.ch_layout, inChannels);
      const AVChannelLayout outLayout =
          UsableLayout(outChannels == inChannels ? &frame.ch_layout : nullptr, outChannels);
      ist.DecodeConvert.reset(
          CreateResampler(outLayout, target, rate, inLayout, static_cast<AVSampleFormat>(frame.format), rate));
      if (!ist.DecodeConvert) throw FFMpegException(ResampleError(inChannels, rate, outChannels, rate));
      ist.DecodeConvertFormat = frame.format;
      ist.DecodeConvertTarget = target;
      ist.DecodeConvertRate = rate;
      ist.DecodeConvertChannels = inChannels;
      ist.DecodeConvertMask = mask;
    }
    const int capacity = AVL.swr_get_out_samples(ist.DecodeConvert.get(), count);
    if (capacity <= 0) return nullptr;
    uint8_t* out = reinterpret_cast<uint8_t*>(Grow(buffer, size_t(capacity) * outChannels));
    produced = AVL.swr_convert(ist.DecodeConvert.get(), &out, capacity,
                               const_cast<const uint8_t**>(frame.extended_data), count);
    if (produced <= 0) return nullptr;
  }

  if (scale) {
    T* sample = buffer.data();
    T* const end = sample + size_t(produced) * outChannels;
    if constexpr (std::is_same_v<T, float>) {
      // Full scale is the limit, as for integer samples.
      const float gain = float(volume) / 256.0f;
      for (; sample != end; ++sample) *sample = std::clamp(*sample * gain, -1.0f, 1.0f);
    } else {
      constexpr int64_t low = std::numeric_limits<T>::min(), high = std::numeric_limits<T>::max();
      for (; sample != end; ++sample) {
        // In 64 bits: any 32-bit volume saturates instead of overflowing.
        const int64_t value = (int64_t{*sample} * volume + 128) >> 8;
        *sample = static_cast<T>(std::clamp(value, low, high));
      }
    }
  }
  bytes = produced * outChannels * int(sizeof(T));
  return buffer.data();
}

}  // namespace

const void* TCustomFFmpeg::DecodedAudioBlock(TInputSync& ist, const AVFrame& frame, int& bytes) {
  if (ist.AudioFormat == AV_SAMPLE_FMT_S32)
    return ConvertDecodedAudio(ist, frame, S.AudioVolume, AudioDecodeBuffer32, bytes);
  if (ist.AudioFormat == AV_SAMPLE_FMT_FLT)
    return ConvertDecodedAudio(ist, frame, S.AudioVolume, AudioDecodeBufferFloat, bytes);
  return DecodedAudioToS16(ist, frame, bytes);
}

const int16_t* TCustomFFmpeg::DecodedAudioToS16(TInputSync& ist, const AVFrame& frame, int& bytes) {
  return ConvertDecodedAudio(ist, frame, S.AudioVolume, AudioDecodeBuffer, bytes);
}

void TCustomFFmpeg::OutputAudio(AVFormatContext* file, TOutputStream& ost, int64_t syncPts, const TSoundBlock& block) {
  AVCodecContext* enc = ost.Encoder.get();
  const uint8_t* samples = static_cast<const uint8_t*>(block.Samples);
  int bytes = block.Bytes;
  if (!enc || !samples || bytes <= 0 || ost.RecordingEnded) return;
  const int encChannels = enc->ch_layout.nb_channels, decChannels = block.Channels;
  const int encRate = enc->sample_rate, decRate = block.Rate;
  if (encChannels <= 0 || decChannels <= 0 || encRate <= 0) return;
  const AVSampleFormat format = ost.AudioFormat;
  // Bytes of one sample of every channel of the input's blocks.
  const int frameBytes = AVL.av_get_bytes_per_sample(format) * decChannels;
  bytes -= bytes % frameBytes;
  if (bytes <= 0) return;

  if (!ost.AudioFifo)
    ost.AudioFifo.reset(AVL.av_audio_fifo_alloc(format, encChannels, std::max(enc->frame_size, 1024)));
  if (!ost.AudioFifo) return;

  // Resampling: channel count or rate differ, or soft drift correction needs
  // the resampler's compensation.
  if (encChannels != decChannels || encRate != decRate || S.AudioSyncMethod > 1) ost.AudioResample = true;
  if (ost.AudioResample && !ost.ResampleContext) {
    const AVChannelLayout outLayout = UsableLayout(&enc->ch_layout, encChannels);
    const AVChannelLayout inLayout = UsableLayout(nullptr, decChannels);
    ost.ResampleContext.reset(
        CreateResampler(outLayout, format, encRate, inLayout, format, decRate));
    if (!ost.ResampleContext) throw FFMpegException(ResampleError(decChannels, decRate, encChannels, encRate));
  }

  // Converts a block (at the input's rate and channels) and encodes it.
  const auto emit = [&](const uint8_t* in, int inBytes) {
    int count = inBytes / frameBytes;
    if (ost.AudioResample) {
      const int capacity = AVL.swr_get_out_samples(ost.ResampleContext.get(), count);
      if (capacity <= 0) return;
      uint8_t* out = Grow(ost.AudioWork, size_t(capacity) * encChannels * AVL.av_get_bytes_per_sample(format));
      count = AVL.swr_convert(ost.ResampleContext.get(), &out, capacity, &in, count);
      if (count <= 0) return;
      in = out;
    }
    EncodeAudioBlock(file, ost, in, count);
  };

  double ipts = double(syncPts - S.StartTime) / 1000000.0 - ost.SkippedTime;
  // Output samples not yet encoded: the FIFO's and those the resampler holds.
  int64_t fifoSamples = AVL.av_audio_fifo_size(ost.AudioFifo.get());
  if (ost.ResampleContext) fifoSamples += std::max<int64_t>(AVL.swr_get_delay(ost.ResampleContext.get(), encRate), 0);
  // A gap beyond what is filled is closed up, whatever the sync method: the
  // block follows what was written, and the stream keeps that shift.
  const double gap = ipts - double(ost.SyncCount + fifoSamples) / encRate;
  if (std::fabs(gap) > kMaxGapSeconds) {
    ost.SkippedTime += gap;
    ipts -= gap;
    Log(0, FormatText("audio timestamps of output stream #%d.%d jump %.3f s %s, skipping that gap", ost.FileIndex,
                      ost.StreamIndex, std::fabs(gap), gap > 0 ? "ahead" : "back"));
  }

  const int method = S.AudioSyncMethod;
  const bool correctStart = method == 0 && ost.CorrectStart;
  if (method != 0 || correctStart) {
    // Surplus of samples the input timeline asks for.
    const double delta = double(encRate) * ipts - double(ost.SyncCount) - double(fifoSamples);
    const double idelta = delta * decRate / encRate;
    int64_t byteDelta = int64_t(idelta) * frameBytes;
    if (std::fabs(delta) > kMinDriftSamples) {
      if (correctStart || ost.AudioStart || std::fabs(delta) > S.AudioDriftThreshold * encRate) {
        if (byteDelta < 0) {
          byteDelta = std::max<int64_t>(byteDelta, -bytes);
          samples += -byteDelta;
          bytes += int(byteDelta);
          if (S.Verbose > 2 && OnLog) Log(1, FormatText("discarding %d audio samples", TruncToInt(-delta)));
          if (bytes <= 0) return;
          ost.AudioStart = false;
        } else {
          // The whole gap, as one continuous run of silence ahead of the
          // block, handed on in pieces of at most the block limit (whole
          // sample frames, so the channels stay in place).
          if (S.Verbose > 2 && OnLog) Log(1, FormatText("adding %d audio samples of silence", TruncToInt(delta)));
          ost.AudioStart = false;
          const int piece = std::max(kMaxSilenceBlockBytes / frameBytes, 1) * frameBytes;
          const uint8_t* silence = Grow(ost.Silence, size_t(std::min<int64_t>(byteDelta, piece)));
          for (int64_t left = byteDelta; left > 0; left -= piece) {
            WaitIfPaused();
            if (FStopRequested) return;
            emit(silence, int(std::min<int64_t>(left, piece)));
          }
        }
      } else if (method > 1) {
        const int comp = std::clamp(TruncToInt(delta), -method, method);
        if (S.Verbose > 2 && OnLog)
          Log(1, FormatText("compensating audio timestamp drift:%.2f compensation:%d in:%d", delta, comp, encRate));
        AVL.swr_set_compensation(ost.ResampleContext.get(), comp, encRate);
      }
    }
    ost.CorrectStart = false;
  } else {
    ost.SyncCount = std::llround(ipts * encRate) - fifoSamples;
  }
  emit(samples, bytes);
}

// Fixed frame size: through the FIFO, one encoder frame at a time. Sample
// based (PCM, variable frame size): the whole block as one frame.
void TCustomFFmpeg::EncodeAudioBlock(AVFormatContext* file, TOutputStream& ost, const void* samples, int count) {
  AVCodecContext* enc = ost.Encoder.get();
  if (count <= 0 || ost.RecordingEnded) return;
  // Only samples that start before the recording time ("t"); the block
  // begins where the FIFO's content ends.
  if (S.RecordingTime != std::numeric_limits<int64_t>::max()) {
    const int64_t end = AVL.av_rescale_rnd(S.RecordingTime, enc->sample_rate, 1000000, AV_ROUND_UP);
    const int64_t start = ost.SyncCount + (ost.AudioFifo ? AVL.av_audio_fifo_size(ost.AudioFifo.get()) : 0);
    if (start + count >= end) {
      count = static_cast<int>(std::clamp<int64_t>(end - start, 0, count));
      ost.RecordingEnded = true;
      if (count == 0) return;
    }
  }
  const int frameSize = enc->frame_size;
  if (frameSize <= 1) {
    EncodeAudioFrame(file, ost, samples, count, count);
    ost.SyncCount += count;
    return;
  }
  void* in = const_cast<void*>(samples);
  if (AVL.av_audio_fifo_write(ost.AudioFifo.get(), &in, count) < count) return;
  void* work = Grow(ost.AudioWork, size_t(frameSize) * enc->ch_layout.nb_channels *
                                      AVL.av_get_bytes_per_sample(ost.AudioFormat));
  while (AVL.av_audio_fifo_size(ost.AudioFifo.get()) >= frameSize) {
    AVL.av_audio_fifo_read(ost.AudioFifo.get(), &work, frameSize);
    EncodeAudioFrame(file, ost, ost.AudioWork.data(), frameSize, frameSize);
    ost.SyncCount += frameSize;
  }
}

// Encodes `count` interleaved samples (of the stream's AudioFormat) as one
// frame of `frameSamples` (the rest silence), stamped with the stream's
// sample position.
void TCustomFFmpeg::EncodeAudioFrame(AVFormatContext* file, TOutputStream& ost, const void* samples, int count,
                                     int frameSamples) {
  AVCodecContext* enc = ost.Encoder.get();
  const int channels = enc->ch_layout.nb_channels;
  const AVRational sampleBase{1, enc->sample_rate};
  const AVRational timeBase = enc->time_base.num > 0 && enc->time_base.den > 0 ? enc->time_base : sampleBase;
  int64_t pts = AVL.av_rescale_q(ost.SyncCount, sampleBase, timeBase);
  // Timestamps never run backwards, whatever the input's did.
  if (ost.NextAudioPts != AV_NOPTS_VALUE && pts < ost.NextAudioPts) pts = ost.NextAudioPts;
  const int64_t duration = AVL.av_rescale_q(frameSamples, sampleBase, timeBase);
  ost.NextAudioPts = pts + duration;
  if (!ost.Packet) ost.Packet.reset(AVL.av_packet_alloc());
  if (!ost.Packet) throw FFMpegException("Audio encoding failed");

  if (ost.AmrNb) {
    // Its streams are always fed s16.
    const int16_t* pcm = static_cast<const int16_t*>(samples);
    int16_t padded[TAmrNbEncoder::kFrameSize];
    if (count < TAmrNbEncoder::kFrameSize) {
      std::memcpy(padded, pcm, size_t(count) * 2);
      std::memset(padded + count, 0, size_t(TAmrNbEncoder::kFrameSize - count) * 2);
      pcm = padded;
    }
    uint8_t coded[2 * TAmrNbEncoder::kMaxPacketSize];
    const int size = ost.AmrNb->Encode(pcm, coded, sizeof coded);
    AVPacket* pkt = ost.Packet.get();
    if (size <= 0 || AVL.av_new_packet(pkt, size) < 0) throw FFMpegException("Audio encoding failed");
    std::memcpy(pkt->data, coded, size_t(size));
    pkt->pts = pkt->dts = pts;
    pkt->duration = duration;
    pkt->flags |= AV_PKT_FLAG_KEY;
    pkt->stream_index = OutputIndex(ost);
    ost.Writer->Write(pkt, enc);
    AVL.av_packet_unref(pkt);
    return;
  }

  if (!ost.EncoderFrame) {
    ost.EncoderFrame.reset(AVL.av_frame_alloc());
    ost.EncoderFrameCapacity = 0;
    if (!ost.EncoderFrame) throw FFMpegException("Audio encoding failed");
  }
  AVFrame* frame = ost.EncoderFrame.get();
  if (ost.EncoderFrameCapacity < frameSamples) {
    AVL.av_frame_unref(frame);
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    AVL.av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
    frame->nb_samples = std::max(frameSamples, enc->frame_size);
    if (AVL.av_frame_get_buffer(frame, 0) < 0) throw FFMpegException("Audio encoding failed");
    ost.EncoderFrameCapacity = frame->nb_samples;
  } else {
    // The encoder may still hold the previous frame's buffers.
    frame->nb_samples = ost.EncoderFrameCapacity;
    if (AVL.av_frame_make_writable(frame) < 0) throw FFMpegException("Audio encoding failed");
  }
  frame->nb_samples = frameSamples;

  if (enc->sample_fmt == ost.AudioFormat) {
    const size_t frameBytes = size_t(AVL.av_get_bytes_per_sample(ost.AudioFormat)) * channels;
    std::memcpy(frame->data[0], samples, size_t(count) * frameBytes);
    std::memset(frame->data[0] + size_t(count) * frameBytes, 0, size_t(frameSamples - count) * frameBytes);
  } else {
    if (!ost.EncoderConvert) {
      const AVChannelLayout layout = UsableLayout(&enc->ch_layout, channels);
      ost.EncoderConvert.reset(
          CreateResampler(layout, enc->sample_fmt, enc->sample_rate, layout, ost.AudioFormat, enc->sample_rate));
      if (!ost.EncoderConvert)
        throw FFMpegException(ResampleError(channels, enc->sample_rate, channels, enc->sample_rate));
    }
    const uint8_t* in = static_cast<const uint8_t*>(samples);
    const int converted = AVL.swr_convert(ost.EncoderConvert.get(), frame->extended_data, frameSamples, &in, count);
    if (converted < 0) throw FFMpegException("Audio encoding failed");
    if (converted < frameSamples)
      AVL.av_samples_set_silence(frame->extended_data, converted, frameSamples - converted, channels, enc->sample_fmt);
  }
  frame->pts = pts;
  if (AVL.avcodec_send_frame(enc, frame) < 0) throw FFMpegException("Audio encoding failed");
  ReceiveAudioPackets(file, ost);
}

void TCustomFFmpeg::ReceiveAudioPackets(AVFormatContext* file, TOutputStream& ost) {
  AVCodecContext* enc = ost.Encoder.get();
  AVPacket* pkt = ost.Packet.get();
  for (;;) {
    const int ret = AVL.avcodec_receive_packet(enc, pkt);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
    if (ret < 0) throw FFMpegException("Audio encoding failed");
    pkt->stream_index = OutputIndex(ost);
    pkt->flags |= AV_PKT_FLAG_KEY;
    ost.Writer->Write(pkt, enc);
    AVL.av_packet_unref(pkt);
  }
}

void TCustomFFmpeg::FlushAudio(AVFormatContext* file, TOutputStream& ost) {
  AVCodecContext* enc = ost.Encoder.get();
  if (!enc || enc->ch_layout.nb_channels <= 0 || enc->sample_rate <= 0) return;
  if (!ost.AmrNb && !enc->codec) return;  // never opened
  // Bytes of one sample of every channel.
  const size_t frameBytes = size_t(AVL.av_get_bytes_per_sample(ost.AudioFormat)) * enc->ch_layout.nb_channels;

  // What the resampler still holds (its filter delay, pending compensation).
  if (ost.ResampleContext && ost.AudioFifo) {
    const int capacity = AVL.swr_get_out_samples(ost.ResampleContext.get(), 0);
    if (capacity > 0) {
      uint8_t* out = Grow(ost.AudioWork, size_t(capacity) * frameBytes);
      const int count = AVL.swr_convert(ost.ResampleContext.get(), &out, capacity, nullptr, 0);
      if (count > 0) EncodeAudioBlock(file, ost, ost.AudioWork.data(), count);
    }
  }

  // The FIFO's remainder, less than one frame: a short last frame where the
  // encoder takes one, otherwise padded with silence to a whole frame so that
  // no input sample is lost.
  const int frameSize = enc->frame_size;
  const int rest = ost.AudioFifo ? AVL.av_audio_fifo_size(ost.AudioFifo.get()) : 0;
  if (frameSize > 1 && rest > 0) {
    void* work = Grow(ost.AudioWork, size_t(std::max(rest, frameSize)) * frameBytes);
    AVL.av_audio_fifo_read(ost.AudioFifo.get(), &work, rest);
    const bool shortFrame = !ost.AmrNb && (enc->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME |
                                                                       AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
    const int frameSamples = shortFrame ? rest : frameSize;
    EncodeAudioFrame(file, ost, ost.AudioWork.data(), rest, frameSamples);
    ost.SyncCount += frameSamples;
  }

  if (ost.AmrNb) return;
  const int ret = AVL.avcodec_send_frame(enc, nullptr);
  if (ret < 0 && ret != AVERROR_EOF) throw FFMpegException("Audio encoding failed");
  if (!ost.Packet) ost.Packet.reset(AVL.av_packet_alloc());
  if (!ost.Packet) throw FFMpegException("Audio encoding failed");
  ReceiveAudioPackets(file, ost);
}

void TCustomFFmpeg::OpenOwnAudioEncoder(TOutputStream& ost) {
  AVCodecContext* enc = ost.Encoder.get();
  auto encoder = std::make_unique<TAmrNbEncoder>();
  if (!enc || !encoder->Open(enc->bit_rate))
    throw FFMpegException(FormatText(
        "Error while opening codec for output stream #%d.%d - maybe incorrect parameters such as bit_rate, rate, "
        "width or height",
        ost.FileIndex, ost.StreamIndex));
  FitOwnAmrNbParameters(enc);
  enc->bit_rate = encoder->BitRate();
  enc->initial_padding = 0;
  ost.AmrNb = std::move(encoder);
}

void FitOwnAmrNbParameters(AVCodecContext* enc) {
  enc->codec_type = AVMEDIA_TYPE_AUDIO;
  enc->codec_id = AV_CODEC_ID_AMR_NB;
  enc->sample_rate = TAmrNbEncoder::kSampleRate;
  enc->sample_fmt = AV_SAMPLE_FMT_S16;
  AVL.av_channel_layout_uninit(&enc->ch_layout);
  AVL.av_channel_layout_default(&enc->ch_layout, 1);
  enc->frame_size = TAmrNbEncoder::kFrameSize;
  enc->time_base = AVRational{1, TAmrNbEncoder::kSampleRate};
}

}  // namespace fennick
