// An output file's writer: its packets into the muxer, the sound held
// behind the picture, and the counts of what was written.
#include <algorithm>

#include "engine/transcode_tables.h"

namespace fennick {

namespace {

// A packet's time in seconds of its stream, from pts (dts when it has none).
double PacketSeconds(const AVPacket& packet, AVRational timeBase, bool withDuration) {
  const int64_t ts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
  if (ts == AV_NOPTS_VALUE) return -1e300;
  return static_cast<double>(ts + (withDuration ? std::max<int64_t>(0, packet.duration) : 0)) * av_q2d(timeBase);
}

}  // namespace

TOutputStream& TOutputWriter::AddStream(std::unique_ptr<TOutputStream> stream) {
  stream->Writer = this;
  FStreams.push_back(std::move(stream));
  return *FStreams.back();
}

void TOutputWriter::Write(AVPacket* packet, AVCodecContext* encoder) {
  AVStream* st = FContext->streams[packet->stream_index];
  if (encoder) AVL.av_packet_rescale_ts(packet, encoder->time_base, st->time_base);
  bool picture = false, sound = false;
  if (packet->stream_index < static_cast<int>(FStreams.size())) {
    TOutputStream& ost = *FStreams[packet->stream_index];
    if (ost.IsAudio())
      FAudioBytes += packet->size;
    else if (ost.IsVideo())
      FVideoBytes += packet->size;
    ++ost.PacketsWritten;
    const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (ts != AV_NOPTS_VALUE) {
      const double end = static_cast<double>(ts + std::max<int64_t>(0, packet->duration)) * av_q2d(st->time_base);
      if (end > ost.CurrentTime) ost.CurrentTime = end;
    }
    picture = ost.IsVideo() && ost.EncodingNeeded;
    sound = ost.IsAudio();
  }
  if (FHold.Active) {
    if (picture) {
      if (packet->pts != AV_NOPTS_VALUE || packet->dts != AV_NOPTS_VALUE)
        FHold.PictureEnd = std::max(FHold.PictureEnd, PacketSeconds(*packet, st->time_base, true));
    } else if (sound) {
      // Behind the sound held already, or ahead of the picture: held.
      const bool timed = packet->pts != AV_NOPTS_VALUE || packet->dts != AV_NOPTS_VALUE;
      if (!FHold.Held.empty() || (timed && PacketSeconds(*packet, st->time_base, false) >= FHold.PictureEnd)) {
        PacketPtr kept(AVL.av_packet_alloc());
        if (!kept) throw FFMpegException("av_mallocz fail");
        AVL.av_packet_move_ref(kept.get(), packet);
        FHold.Held.push_back(std::move(kept));
        ReleaseHeldSound(false);
        return;
      }
    }
  }
  InterleavedWrite(packet);
  if (picture && FHold.Active) ReleaseHeldSound(false);
}

void TOutputWriter::InterleavedWrite(AVPacket* packet) {
  int ret = AVL.av_interleaved_write_frame(FContext, packet);
  if (ret >= 0) ret = OutputStreamError(FContext);
  if (ret < 0) throw FFMpegException(WriteErrorText("av_interleaved_write_frame()", ret));
}

void TOutputWriter::ReleaseHeldSound(bool all) {
  const auto time = [this](const AVPacket& packet) {
    return PacketSeconds(packet, FContext->streams[packet.stream_index]->time_base, false);
  };
  while (!FHold.Held.empty()) {
    AVPacket& front = *FHold.Held.front();
    // Up to the picture; beyond it only as far as the hold's limit.
    if (!all && time(front) >= FHold.PictureEnd && time(*FHold.Held.back()) - time(front) <= kSoundHoldSeconds)
      break;
    PacketPtr packet = std::move(FHold.Held.front());
    FHold.Held.pop_front();
    InterleavedWrite(packet.get());
  }
}

void TOutputWriter::EndHeldSound(bool stopped) {
  if (stopped) {
    for (const PacketPtr& packet : FHold.Held)
      if (packet->stream_index < static_cast<int>(FStreams.size())) --FStreams[packet->stream_index]->PacketsWritten;
    FHold.Held.clear();
  } else {
    ReleaseHeldSound(true);
  }
  FHold.Active = false;
}

bool TOutputWriter::HoldsMedia() const {
  return std::any_of(FStreams.begin(), FStreams.end(), [](const auto& ost) { return ost->PacketsWritten > 0; });
}

namespace {

template <typename T>
T Sum(const std::vector<std::unique_ptr<TOutputWriter>>& writers, T (TOutputWriter::*count)() const) {
  T total = 0;
  for (const auto& writer : writers) total += ((*writer).*count)();
  return total;
}

}  // namespace

int64_t TTranscodeRun::VideoBytes() const { return Sum(Writers, &TOutputWriter::VideoBytes); }
int64_t TTranscodeRun::AudioBytes() const { return Sum(Writers, &TOutputWriter::AudioBytes); }
int TTranscodeRun::DupFrames() const { return Sum(Writers, &TOutputWriter::DupFrames); }
int TTranscodeRun::DropFrames() const { return Sum(Writers, &TOutputWriter::DropFrames); }

}  // namespace fennick
