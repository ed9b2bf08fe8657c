// The packet loop of a transcode: which input to read next, the stop
// conditions; the reading and decoding stage (timestamp repair, decoding
// with send/receive into units, on a reader thread per input file when the
// stage threads are on); the units' way to the outputs, stream copy,
// the end-of-stream flush with trailers and the last report.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/transcode_tables.h"
#include "util/output_reservation.h"

namespace fennick {

namespace {

constexpr AVRational kMicroseconds{1, 1000000};

int FrameLimitIndex(AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO: return msVideo;
    case AVMEDIA_TYPE_AUDIO: return msAudio;
    case AVMEDIA_TYPE_DATA: return msData;
    case AVMEDIA_TYPE_SUBTITLE: return msSubtitle;
    default: return -1;
  }
}

// The newest time read from an input file so far (µs), over its streams
// that have one; none before the first. Reading stage.
int64_t FileReadTime(const TTranscodeRun& run, int fileIndex) {
  int64_t newest = AV_NOPTS_VALUE;
  for (const auto& ist : run.InputStreams)
    if (ist->FileIndex == fileIndex && ist->NextPts != AV_NOPTS_VALUE &&
        (newest == AV_NOPTS_VALUE || ist->Pts > newest))
      newest = ist->Pts;
  return newest;
}

}  // namespace

TInputUnit::~TInputUnit() {
  if (HasSubtitle) AVL.avsubtitle_free(&Subtitle);
}

int OutputStreamError(const AVFormatContext* file) { return file->pb && file->pb->error < 0 ? file->pb->error : 0; }

std::string WriteErrorText(const char* operation, int code) { return std::string(operation) + ": " + AvErrorText(code); }

void TCustomFFmpeg::TranscodeLoop() {
  TTranscodeRun& run = *FRun;
  if (StageThreadsUsable()) StartStageThreads();
  // With output threads, which input is read next is chosen from the
  // output streams' records only where the choice depends on them: among
  // several input files, or to end at the recording time. One input file
  // read to its end needs no look at the outputs, which then run free.
  const bool steered = !OutputThreadsRunning() || run.InputFiles.size() > 1 ||
                       S.RecordingTime != std::numeric_limits<int64_t>::max();
  bool timed = false;  // an output stream with a time line
  for (const auto& ost : run.OutputStreams) timed = timed || !ost->AttachedPicture;
  while (!FStopRequested) {
    WaitIfPaused();
    if (FStopRequested) break;
    CollectOutputs();

    double iptsMin = 1e100, optsMin = 1e100;
    int fileIndex = -1;
    if (!steered && timed && !run.InputFiles[0].EofReached) fileIndex = 0;
    if (steered) {
      WaitForOutputs();
      // The file whose output lags most (or whose input does, with "isync").
      for (auto& ostPtr : run.OutputStreams) {
        TOutputStream& ost = *ostPtr;
        if (ost.AttachedPicture) continue;  // one picture at the start, no time line
        const TInputSync& ist = run.InputSync[ost.SourceIndex];
        // Re-encoded video counts its pictures; every other stream (copied
        // video too: its time base need not be one frame) the end of what it
        // has written.
        const double opts = ost.IsVideo() && ost.EncodingNeeded
                                ? static_cast<double>(ost.SyncCount) * av_q2d(ost.Encoder->time_base)
                                : ost.CurrentTime;
        const double ipts = static_cast<double>(ist.Pts);
        // A stream that has reached the recording time waits for nothing.
        if (!ost.RecordingEnded && !run.InputFiles[ist.FileIndex].EofReached) {
          if (ipts < iptsMin) {
            iptsMin = ipts;
            if (S.InputSync) fileIndex = ist.FileIndex;
          }
          if (opts < optsMin) {
            optsMin = opts;
            if (!S.InputSync) fileIndex = ist.FileIndex;
          }
        }
        const int limit = FrameLimitIndex(ost.Type);
        if (limit >= 0 && ost.FrameNumber >= S.MaxFrames[limit]) {
          fileIndex = -1;
          break;
        }
      }
    }
    // Nothing left, recording time reached, size limit passed.
    if (fileIndex < 0) break;
    if (steered && static_cast<double>(S.RecordingTime) / 1000000.0 <= optsMin) break;
    if (S.LimitFileSize > 0) {
      AVIOContext* pb = FOutputFiles[0]->Context->pb;
      if (pb && AVL.avio_seek(pb, 0, SEEK_CUR) > S.LimitFileSize) break;
    }

    // What the file's next packet gave.
    TInputUnitPtr unit = NextInputUnit(fileIndex);
    if (!unit) break;  // stopped while waiting for it
    if (unit->Kind == TInputUnit::ukFileEnd) {
      run.InputFiles[fileIndex].EofReached = true;
      MarkEndedInputs(run, fileIndex, true);
      if (S.OptShortest) break;
      continue;
    }
    const bool decoded = OutputInputUnit(std::move(unit));
    MarkEndedInputs(run, fileIndex, false);
    if (!decoded) continue;

    // Progress, at most once per interval, from the outputs as the units
    // handed out so far have left them.
    const int64_t now = AVL.av_gettime_relative();
    if (now - run.LastReportTime > FProgressInterval) {
      run.LastReportTime = now;
      WaitForOutputs();
      PrintReport(false);
    }
  }
}

bool TCustomFFmpeg::StageThreadsUsable() const {
  // A run that ends where the outputs have got to, not where the inputs
  // end (frame counts, a file size, the shortest input), drains decoders
  // that have taken exactly the packets read until then: such a run keeps
  // reading and decoding in its own loop, so that its output stays the
  // same.
  if (!S.StageThreads || S.OptShortest || S.LimitFileSize > 0) return false;
  for (const int limit : S.MaxFrames)
    if (limit != std::numeric_limits<int32_t>::max()) return false;
  return true;
}

void TCustomFFmpeg::StartStageThreads() {
  TTranscodeRun& run = *FRun;
  auto stages = std::make_unique<TStageThreads>();
  for (size_t i = 0; i < run.InputFiles.size(); ++i) stages->Queues.push_back(MakeUnitQueue());
  TStageThreads& threads = *stages;
  run.Stages = std::move(stages);
  {
    // A stop from another thread wakes the stages' waits from now on.
    std::lock_guard<std::mutex> lock(FWakeLock);
    FWakeStages = &threads;
  }
  for (size_t i = 0; i < run.InputFiles.size(); ++i)
    threads.Readers.emplace_back([this, &threads, i] { ReadInputFile(static_cast<int>(i), threads); });
  StartOutputThreads(threads);
}

void TCustomFFmpeg::StopStageThreads() {
  if (!FRun || !FRun->Stages) return;
  {
    std::lock_guard<std::mutex> lock(FWakeLock);
    FWakeStages = nullptr;
  }
  FRun->Stages->Stop();
}

void TCustomFFmpeg::WakeStages() {
  std::lock_guard<std::mutex> lock(FWakeLock);
  if (FWakeStages) FWakeStages->WakeAll();
}

bool TCustomFFmpeg::RunsStageThread(uint32_t threadId) const {
  if (threadId == 0) return false;
  for (const auto& id : FStageThreadIds)
    if (id == threadId) return true;
  for (const auto& id : FOutputThreadIds)
    if (id == threadId) return true;
  return false;
}

void TCustomFFmpeg::ReadInputFile(int fileIndex, TStageThreads& threads) {
  TUnitQueue& queue = *threads.Queues[fileIndex];
  const auto cancelled = [this, &threads] { return threads.Cancelled || FStopRequested; };
  FStageThreadIds[fileIndex] = static_cast<uint32_t>(gettid());
  struct TForget {
    std::atomic<uint32_t>& Id;
    ~TForget() { Id = 0; }
  } forget{FStageThreadIds[fileIndex]};
  try {
    const auto push = [&queue, &cancelled](TInputUnitPtr unit) {
      const int weight = unit->Weight();
      return queue.Push(std::move(unit), weight, cancelled);
    };
    for (;;) {
      WaitIfPaused();
      if (cancelled()) return;
      TInputUnitPtr unit = ReadInputUnit(fileIndex);
      const bool end = unit->Kind == TInputUnit::ukFileEnd;
      if (!push(std::move(unit))) return;
      if (end) break;
    }
    // The decoders' last frames, taken by the conversion stage as it ends.
    const TInputFile& file = FRun->InputFiles[fileIndex];
    for (int i = file.FirstStreamIndex; i < file.FirstStreamIndex + file.StreamCount; ++i)
      if (FRun->InputStreams[i]->DecodingNeeded && !push(DrainDecoder(i))) return;
  } catch (const std::exception& e) {
    queue.Fail(e.what());
  } catch (...) {
    queue.Fail("unknown exception");
  }
}

TInputUnitPtr TCustomFFmpeg::NextInputUnit(int fileIndex) {
  if (!FRun->Stages) return ReadInputUnit(fileIndex);
  TUnitQueue& queue = *FRun->Stages->Queues[fileIndex];
  std::optional<TInputUnitPtr> unit = queue.Pop([this] { return FStopRequested.load(); });
  if (unit) return std::move(*unit);
  // The reader's failure, once the units before it are taken; else stopped.
  std::string failure;
  if (queue.Failed(&failure)) throw FFMpegException(failure);
  return nullptr;
}

TInputUnitPtr TCustomFFmpeg::ReadInputUnit(int fileIndex) {
  TTranscodeRun& run = *FRun;
  TInputFile& file = run.InputFiles[fileIndex];
  TInputFileSlot& slot = *FInputFiles[fileIndex];
  auto unit = std::make_unique<TInputUnit>();
  unit->FileIndex = fileIndex;
  AVPacket* pkt = file.ReadPacket.get();
  if (AVL.av_read_frame(slot.Context.get(), pkt) < 0) {
    unit->Kind = TInputUnit::ukFileEnd;
    return unit;
  }
  if (S.DoPktDump && pkt->stream_index < file.StreamCount)
    AVL.av_pkt_dump_log2(nullptr, AV_LOG_INFO, pkt, S.DoHexDump, slot.Context->streams[pkt->stream_index]);

  // Timestamp repair, then decoding.
  if (pkt->stream_index < file.StreamCount && !run.InputStreams[file.FirstStreamIndex + pkt->stream_index]->Discard) {
    const int istIndex = file.FirstStreamIndex + pkt->stream_index;
    TInputStream& ist = *run.InputStreams[istIndex];
    const AVRational tb = ist.Stream->time_base;
    if (slot.TsOffset != 0) {
      const int64_t offset = AVL.av_rescale_q(slot.TsOffset, kMicroseconds, tb);
      if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
    }
    if (pkt->stream_index < kMaxStreams && slot.TsScale[pkt->stream_index] != 0) {
      const double scale = slot.TsScale[pkt->stream_index];
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llround(static_cast<double>(pkt->pts) * scale);
      if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llround(static_cast<double>(pkt->dts) * scale);
    }
    // A stream's packet is expected where the stream left off; its first
    // one where the file's other streams have got to (the demuxer hands
    // packets out in time order), so that a stream whose timestamps
    // start on another time line joins that of the file. Subtitle cues
    // come far apart: a gap between them is no jump in the time line.
    const bool first = ist.NextPts == AV_NOPTS_VALUE;
    const int64_t expected = first ? FileReadTime(run, ist.FileIndex) : ist.NextPts;
    if (pkt->dts != AV_NOPTS_VALUE && expected != AV_NOPTS_VALUE &&
        ist.Stream->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) {
      const int64_t pktDts = AVL.av_rescale_q(pkt->dts, tb, kMicroseconds);
      const int64_t delta = pktDts - expected;
      if ((static_cast<double>(std::llabs(delta)) > static_cast<double>(S.DtsDeltaThreshold) * 1000000.0 ||
           (!first && pktDts + 1 < ist.Pts)) &&
          !S.CopyTs) {
        slot.TsOffset -= delta;
        if (S.Verbose > 2)
          unit->Notes.emplace_back(1, FormatText("timestamp discontinuity %d, new offset= %d", static_cast<int>(delta),
                                                 static_cast<int>(slot.TsOffset)));
        const int64_t shift = AVL.av_rescale_q(delta, kMicroseconds, tb);
        pkt->dts -= shift;
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= shift;
      }
    }
    if (file.RateEmu) {
      const int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
      if (ts != AV_NOPTS_VALUE) PaceInput(file, AVL.av_rescale_q(ts, tb, kMicroseconds));
    }
    DecodePacket(ist, istIndex, pkt, *unit);
  }
  AVL.av_packet_unref(pkt);
  return unit;
}

TInputUnitPtr TCustomFFmpeg::DrainDecoder(int istIndex) {
  TInputStream& ist = *FRun->InputStreams[istIndex];
  auto unit = std::make_unique<TInputUnit>();
  unit->Kind = TInputUnit::ukDrain;
  unit->FileIndex = ist.FileIndex;
  DecodePacket(ist, istIndex, nullptr, *unit);
  return unit;
}

void TCustomFFmpeg::PaceInput(TInputFile& file, int64_t timestamp) {
  const auto running = [this] { return RunningClock(); };
  if (file.RateEmuFirstTs == AV_NOPTS_VALUE) {
    file.RateEmuFirstTs = timestamp;
    file.RateEmuStartClock = running();
    return;
  }
  // Short waits, so that a stop or a pause is noticed at once.
  constexpr int64_t kTolerance = 50000, kSlice = 10000;  // µs
  const int64_t due = timestamp - file.RateEmuFirstTs;
  if (due - (running() - file.RateEmuStartClock) <= kTolerance) return;
  for (;;) {
    WaitIfPaused();
    if (FStopRequested) return;
    const int64_t wait = due - (running() - file.RateEmuStartClock);
    if (wait <= 0) return;
    AVL.av_usleep(static_cast<unsigned>(std::min(wait, kSlice)));
  }
}

void TCustomFFmpeg::FinishTranscode() {
  TTranscodeRun& run = *FRun;
  // The decoders' last frames, then the encoders they feed. A reader
  // thread drains its decoders once its file has ended; a run that ended
  // before (every output at its recording time) flushes the encoders alone.
  // A stop drains no decoder and encodes no look-ahead (x264's is a second
  // or two of picture and as long to encode): the file ends where the
  // encoders had got to. Output threads leave what they hold once stopped.
  for (size_t i = 0; i < run.InputStreams.size(); ++i) {
    if (!run.InputStreams[i]->DecodingNeeded) continue;
    const int index = static_cast<int>(i);
    if (FStopRequested) {
      WaitForOutputs();
      FinishStoppedEncoders(index);
      continue;
    }
    TInputUnitPtr drained;
    if (!run.Stages)
      drained = DrainDecoder(index);
    else if (run.InputFiles[run.InputSync[i].FileIndex].EofReached)
      drained = NextInputUnit(run.InputSync[i].FileIndex);
    if (drained) {
      OutputInputUnit(std::move(drained));
    } else {
      TDeliveredUnit flush;
      flush.InputIndex = index;
      flush.Flush = true;
      HandOutUnit(std::move(flush));
    }
  }
  WaitForOutputs();
  StopStageThreads();
  for (const auto& writer : run.Writers) writer->EndHeldSound(FStopRequested);
  if (!FStopRequested) CheckOutputsHoldMedia();
  // Every trailer is attempted; the first failure ends the task once the
  // others are written (a file without its trailer is removed when the
  // task's resources are released).
  std::string failure;
  std::vector<bool> trailerWritten(FOutputFiles.size(), false);
  for (size_t i = 0; i < FOutputFiles.size(); ++i) {
    AVFormatContext* oc = FOutputFiles[i]->Context.get();
    int ret = AVL.av_write_trailer(oc);
    if (ret >= 0) ret = OutputStreamError(oc);
    if (ret < 0 && failure.empty()) failure = WriteErrorText("av_write_trailer()", ret);
    trailerWritten[i] = ret >= 0;
  }
  PrintReport(true);
  // Closing flushes what the byte stream still holds: only a file closed
  // without an error is complete.
  for (size_t i = 0; i < FOutputFiles.size(); ++i) {
    AVFormatContext* oc = FOutputFiles[i]->Context.get();
    int ret = 0;
    if (oc->pb && !(oc->oformat->flags & AVFMT_NOFILE)) ret = AVL.avio_closep(&oc->pb);
    if (ret < 0 && failure.empty()) failure = WriteErrorText("avio_close()", ret);
    TOutputFileSlot& file = *FOutputFiles[i];
    file.Complete = trailerWritten[i] && ret >= 0;
    // A run stopped before anything reached a file leaves no file that
    // players would refuse.
    if (FStopRequested && i < run.Writers.size() && !run.Writers[i]->HoldsMedia()) file.Complete = false;
    // The whole file takes its name; an empty one never does.
    if (file.Complete && file.Reservation) {
      struct stat st {};
      std::string error;
      if (::stat(file.Reservation->PartialPath().c_str(), &st) == 0 && st.st_size == 0) {
        file.Complete = false;
      } else if (!file.Reservation->Commit(error)) {
        file.Complete = false;
        if (failure.empty()) failure = "Could not write '" + file.Name + "': " + error;
      } else if (!file.Reservation->RenamedTo().empty()) {
        Log(0, "'" + file.Name + "' was taken while it was written: the output is '" +
                   file.Reservation->RenamedTo() + "'");
      }
    }
  }
  if (!failure.empty()) throw FFMpegException(failure);
}

void TCustomFFmpeg::CheckOutputsHoldMedia() {
  TTranscodeRun& run = *FRun;
  for (const auto& writer : run.Writers) {
    if (!writer->HoldsMedia())
      throw FFMpegException(
          FormatText("Output file #%d holds no media: no packet was written to it", writer->FileIndex()));
    for (const auto& ost : writer->Streams()) {
      if (ost->PacketsWritten > 0 || !(ost->IsVideo() || ost->IsAudio())) continue;
      const TInputSync& ist = run.InputSync[ost->SourceIndex];
      if (ist.HasData)
        throw FFMpegException(FormatText("Output stream #%d.%d holds no %s: input stream #%d.%d had data but no "
                                         "packet was written",
                                         ost->FileIndex, ost->StreamIndex, ost->IsVideo() ? "video" : "audio",
                                         ist.FileIndex, ist.StreamIndex));
    }
  }
}

int64_t TCustomFFmpeg::SoundFrameTime(TInputStream& ist, int64_t packetDts, int samples, int rate) {
  // A block's time is the decoding time of the packet that gave it, which
  // the frame carries: a frame-threaded decoder (FLAC, ALAC, WavPack ...)
  // hands blocks back some packets after their own, so the packet sent last
  // would put them late. A packet's further blocks carry the same time or
  // none and follow the block before.
  TInputStream::TSoundClock& clock = ist.SoundClock;
  int64_t own = AV_NOPTS_VALUE;
  if (packetDts != AV_NOPTS_VALUE && packetDts != clock.LastPacketDts) {
    own = AVL.av_rescale_q(packetDts, ist.Stream->time_base, kMicroseconds);
    clock.LastPacketDts = packetDts;
  }
  // Samples follow one another without a gap: a block keeps the time its
  // predecessors give it while the stream's own time stays within a small
  // tolerance of that (containers round times to a millisecond; Ogg puts a
  // Vorbis block up to 10 ms off around a change of block size and takes it
  // back with the next). A larger difference, or one that has added up, is
  // a real gap or overlap in the source, and the stream's time is taken.
  constexpr int64_t kSoundJitter = 15000;  // µs
  const int64_t continuous = clock.Base == AV_NOPTS_VALUE || clock.Rate != rate || rate <= 0
                                 ? AV_NOPTS_VALUE
                                 : clock.Base + AVL.av_rescale(clock.Samples, 1000000, rate);
  int64_t time = continuous;
  if (own != AV_NOPTS_VALUE && (continuous == AV_NOPTS_VALUE || std::llabs(own - continuous) > kSoundJitter)) {
    time = own;
  } else if (continuous == AV_NOPTS_VALUE) {
    time = ist.NextPts != AV_NOPTS_VALUE ? ist.NextPts : ist.Pts;
  }
  if (time != continuous) {
    clock.Base = time;
    clock.Samples = 0;
    clock.Rate = rate;
  }
  clock.Samples += samples;
  return time;
}

void TCustomFFmpeg::DecodePacket(TInputStream& ist, int istIndex, AVPacket* pkt, TInputUnit& unit) {
  const AVRational tb = ist.Stream->time_base;
  unit.InputIndex = istIndex;
  if (ist.NextPts == AV_NOPTS_VALUE) ist.NextPts = ist.Pts;
  if (pkt && pkt->dts != AV_NOPTS_VALUE) ist.Pts = ist.NextPts = AVL.av_rescale_q(pkt->dts, tb, kMicroseconds);
  // Data inside the range the outputs record; what lies before the start
  // position or after the end may rightly leave a stream empty.
  if (pkt && ist.Pts >= S.StartTime && ist.Pts - S.StartTime < S.RecordingTime) unit.HasData = true;

  bool failed = false;
  const AVMediaType type = ist.Stream->codecpar->codec_type;
  if (ist.DecodingNeeded) {
    AVCodecContext* dec = ist.Decoder.get();
    switch (type) {
      case AVMEDIA_TYPE_AUDIO:
      case AVMEDIA_TYPE_VIDEO: {
        int ret = AVL.avcodec_send_packet(dec, pkt);
        if (ret < 0 && ret != AVERROR_EOF && pkt) failed = true;
        AVFrame* frame = FRun->InputFiles[ist.FileIndex].DecodedFrame.get();
        constexpr int kMaxDrainErrors = 256;
        int drainErrors = 0;
        for (;;) {
          ret = AVL.avcodec_receive_frame(dec, frame);
          if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
          if (ret < 0) {
            failed = true;
            // A draining decoder still gives the frames after a damaged
            // one (each thread of a frame-threaded decoder holds one).
            if (!pkt && ++drainErrors < kMaxDrainErrors) continue;
            break;
          }
          TDecodedFrame out;
          ist.Pts = ist.NextPts;
          if (type == AVMEDIA_TYPE_VIDEO) {
            // A picture's time is the decoding time of the packet that
            // produced it, which the frame carries: a frame-threaded decoder
            // hands pictures back some packets after their own, so the
            // packet sent last would put them late. Pictures drained at the
            // end carry none and follow the last one.
            if (frame->pkt_dts != AV_NOPTS_VALUE) ist.Pts = AVL.av_rescale_q(frame->pkt_dts, tb, kMicroseconds);
            ist.NextPts = ist.Pts;
            out.Quality = static_cast<float>(frame->quality);
            int64_t duration = ist.FrameDuration;
            if (frame->repeat_pict > 0) duration += duration * frame->repeat_pict / 2;
            ist.NextPts += duration;
          } else {
            const int rate = frame->sample_rate > 0 ? frame->sample_rate : dec->sample_rate;
            ist.Pts = SoundFrameTime(ist, frame->pkt_dts, frame->nb_samples, rate);
            ist.NextPts = ist.Pts;
            if (rate > 0) ist.NextPts += AVL.av_rescale(frame->nb_samples, 1000000, rate);
            out.DecoderRate = dec->sample_rate;
            out.DecoderChannels = dec->ch_layout.nb_channels;
          }
          out.Pts = ist.Pts;
          out.Frame.reset(AVL.av_frame_alloc());
          if (!out.Frame) {
            AVL.av_frame_unref(frame);
            throw FFMpegException("av_mallocz fail");
          }
          AVL.av_frame_move_ref(out.Frame.get(), frame);
          unit.Frames.push_back(std::move(out));
          if (type == AVMEDIA_TYPE_VIDEO) ++unit.Pictures;
        }
        break;
      }
      case AVMEDIA_TYPE_SUBTITLE: {
        if (!pkt) break;
        int got = 0;
        if (AVL.avcodec_decode_subtitle2(dec, &unit.Subtitle, &got, pkt) < 0) {
          failed = true;
          break;
        }
        if (!got) break;
        unit.HasSubtitle = true;
        unit.SubtitlePts = pkt->pts;
        ist.Pts = ist.NextPts;
        break;
      }
      default:
        failed = true;
    }
  }
  unit.DecodeFailed = failed;
  if (!failed && pkt) {
    if (!ist.DecodingNeeded) {
      ist.Pts = ist.NextPts;
      if (pkt->duration > 0) {
        ist.NextPts += AVL.av_rescale_q(pkt->duration, tb, kMicroseconds);
      } else if (type == AVMEDIA_TYPE_AUDIO) {
        const AVCodecParameters* par = ist.Stream->codecpar;
        if (par->sample_rate > 0) ist.NextPts += AVL.av_rescale(par->frame_size, 1000000, par->sample_rate);
      } else if (type == AVMEDIA_TYPE_VIDEO) {
        ist.NextPts += ist.FrameDuration;
      }
    }
    // Stream copies take the packet itself.
    bool copied = false;
    for (const TOutputStream* ost : FRun->OutputsBySource[istIndex]) copied = copied || !ost->EncodingNeeded;
    if (copied) {
      unit.Packet.reset(AVL.av_packet_alloc());
      if (!unit.Packet || AVL.av_packet_ref(unit.Packet.get(), pkt) < 0) throw FFMpegException("av_mallocz fail");
    }
  }
  unit.Pts = ist.Pts;
  unit.NextPts = ist.NextPts;
}

bool TCustomFFmpeg::OutputInputUnit(TInputUnitPtr unitPtr) {
  TTranscodeRun& run = *FRun;
  TInputUnit& unit = *unitPtr;
  for (const auto& [level, text] : unit.Notes) Log(level, text);
  if (unit.InputIndex < 0) return true;
  const int istIndex = unit.InputIndex;
  TInputSync& ist = run.InputSync[istIndex];
  if (unit.HasData) ist.HasData = true;
  TDeliveredUnit out;
  out.InputIndex = istIndex;
  const auto& outputs = run.OutputsBySource[istIndex];
  // Output streams that follow another stream's time get it as it stands now.
  bool otherSync = false;
  for (const TOutputStream* ost : outputs) otherSync = otherSync || ost->SyncIndex != istIndex;
  // Sound converted into the engine's buffer is kept with its frame where
  // another frame's conversion, or an output thread, comes before its use.
  const bool keepSamples = OutputThreadsRunning() || unit.Frames.size() > 1;
  for (TDecodedFrame& decoded : unit.Frames) {
    TSoundBlock sound;
    if (ist.Type == AVMEDIA_TYPE_VIDEO) {
      PreprocessVideoFrame(decoded.Pts, *decoded.Frame);
    } else {
      ist.DecoderRate = decoded.DecoderRate;
      ist.DecoderChannels = decoded.DecoderChannels;
      sound.Samples = DecodedAudioBlock(ist, *decoded.Frame, sound.Bytes);
      sound.Rate = decoded.DecoderRate;
      sound.Channels = ist.RequestedChannels > 0 ? ist.RequestedChannels : decoded.DecoderChannels;
    }
    if (S.StartTime != 0 && decoded.Pts < S.StartTime) continue;
    TDeliveredFrame& frame = out.Frames.emplace_back();
    frame.Decoded = &decoded;
    if (keepSamples && sound.Samples && sound.Samples != decoded.Frame->data[0]) {
      const auto* bytes = static_cast<const uint8_t*>(sound.Samples);
      frame.OwnSamples.assign(bytes, bytes + sound.Bytes);
      sound.Samples = frame.OwnSamples.data();
    }
    frame.Sound = sound;
    if (otherSync) {
      frame.SyncPts.reserve(outputs.size());
      for (const TOutputStream* ost : outputs)
        frame.SyncPts.push_back(ost->SyncIndex == istIndex ? decoded.Pts : run.InputSync[ost->SyncIndex].Pts);
    }
  }
  ist.Pts = unit.Pts;
  ist.NextPts = unit.NextPts;
  out.SourcePts = ist.Pts;
  out.TimeBase = ist.TimeBase;
  out.Subtitle = unit.HasSubtitle && (S.StartTime == 0 || ist.Pts >= S.StartTime);
  const bool failed = unit.DecodeFailed;
  if (failed && unit.Kind == TInputUnit::ukPacket && S.Verbose >= 0)
    Log(1, FormatText("Error while decoding stream #%d.%d", ist.FileIndex, ist.StreamIndex));
  if (unit.Kind == TInputUnit::ukDrain) {
    // The encoders end with the decoder, also when its last frames were
    // damaged (a frame-threaded decoder reports a truncated file's last
    // packet only as it drains): what they hold, and what they write at
    // the end (FLAC's sample count and checksum), are kept.
    out.Flush = true;
  } else if (!failed && unit.Packet) {
    out.Copy = true;
    // A cover belongs to the whole file, wherever the output starts.
    out.CopyStarted = S.StartTime == 0 || ist.Pts >= S.StartTime;
  }
  if (out.Frames.empty() && !out.Subtitle && !out.Flush && !out.Copy) return !failed;
  out.Unit = std::move(unitPtr);
  HandOutUnit(std::move(out));
  return !failed;
}

void TCustomFFmpeg::DeliverUnit(const TDeliveredUnit& unit, int outputFile) {
  TTranscodeRun& run = *FRun;
  const int istIndex = unit.InputIndex;
  const auto& outputs = run.OutputsBySource[istIndex];
  const auto takes = [outputFile](const TOutputStream& ost) {
    return outputFile < 0 || ost.FileIndex == outputFile;
  };
  for (const TDeliveredFrame& frame : unit.Frames) {
    for (size_t k = 0; k < outputs.size(); ++k) {
      TOutputStream& ost = *outputs[k];
      if (!ost.EncodingNeeded || !takes(ost)) continue;
      AVFormatContext* file = FOutputFiles[ost.FileIndex]->Context.get();
      const int64_t syncPts = frame.SyncPts.empty() ? frame.Decoded->Pts : frame.SyncPts[k];
      switch (ost.Type) {
        case AVMEDIA_TYPE_AUDIO:
          if (frame.Sound.Samples && frame.Sound.Bytes > 0) OutputAudio(file, ost, syncPts, frame.Sound);
          break;
        case AVMEDIA_TYPE_VIDEO: {
          int frameSize = 0;
          OutputVideo(file, ost, syncPts, frame.Decoded->Quality, *frame.Decoded->Frame, frameSize);
          if (!S.VStatsFileName.empty() && frameSize) WriteVideoStats(ost, frameSize);
          break;
        }
        default:
          throw FFMpegException("invalid codec_type");
      }
    }
  }
  if (unit.Subtitle) {
    for (TOutputStream* ost : outputs) {
      if (!ost->EncodingNeeded || !takes(*ost)) continue;
      // Each output gets its own record of the cue: encoding adjusts it.
      AVSubtitle cue = unit.Unit->Subtitle;
      OutputSubtitle(FOutputFiles[ost->FileIndex]->Context.get(), *ost, unit.TimeBase, cue, unit.Unit->SubtitlePts);
    }
  }
  if (unit.Flush) {
    FlushEncoders(istIndex, outputFile);
  } else if (unit.Copy) {
    for (TOutputStream* ost : outputs)
      if (!ost->EncodingNeeded && takes(*ost) && (unit.CopyStarted || ost->AttachedPicture))
        CopyPacket(*ost, unit.SourcePts, unit.TimeBase, *unit.Unit->Packet);
  }
}

void TCustomFFmpeg::FlushEncoders(int istIndex, int outputFile) {
  for (TOutputStream* ost : FRun->OutputsBySource[istIndex]) {
    if (!ost->EncodingNeeded || (outputFile >= 0 && ost->FileIndex != outputFile)) continue;
    AVFormatContext* file = FOutputFiles[ost->FileIndex]->Context.get();
    if (ost->IsAudio())
      FlushAudio(file, *ost);
    else if (ost->IsVideo())
      FlushVideo(file, *ost);
  }
}

void TCustomFFmpeg::FinishStoppedEncoders(int istIndex) {
  for (TOutputStream* ost : FRun->OutputsBySource[istIndex]) {
    if (!ost->EncodingNeeded || ost->PacketsWritten > 0) continue;
    AVFormatContext* file = FOutputFiles[ost->FileIndex]->Context.get();
    if (ost->IsAudio())
      FlushAudio(file, *ost);
    else if (ost->IsVideo())
      EncodeVideoFrame(file, *ost, nullptr, 1);
  }
}

void TCustomFFmpeg::CopyPacket(TOutputStream& ost, int64_t sourcePts, AVRational timeBase, const AVPacket& packet) {
  TTranscodeRun& run = *FRun;
  if (ost.RecordingEnded) return;
  if (sourcePts - S.StartTime >= S.RecordingTime) {
    ost.RecordingEnded = true;
    return;
  }
  if (ost.FrameNumber == 0 && !(packet.flags & AV_PKT_FLAG_KEY)) return;
  if (ost.IsVideo()) ++ost.SyncCount;
  AVPacket* out = ost.Packet.get();
  if (AVL.av_packet_ref(out, &packet) < 0) throw FFMpegException("av_mallocz fail");
  const AVRational itb = timeBase;
  const AVRational otb = ost.Stream->time_base;
  out->stream_index = ost.StreamIndex;
  // The output's time line starts at the start time ("ss"), for copied and
  // re-encoded streams alike.
  const int64_t origin = AVL.av_rescale_q(S.StartTime, kMicroseconds, otb);
  out->pts = packet.pts != AV_NOPTS_VALUE ? AVL.av_rescale_q(packet.pts, itb, otb) - origin : AV_NOPTS_VALUE;
  out->dts = packet.dts != AV_NOPTS_VALUE ? AVL.av_rescale_q(packet.dts, itb, otb) - origin
                                          : AVL.av_rescale_q(sourcePts, kMicroseconds, otb) - origin;
  // Muxers need a presentation time: a packet without one is shown no
  // earlier than it is decoded.
  if (out->pts == AV_NOPTS_VALUE) out->pts = out->dts;
  if (ost.AttachedPicture) out->pts = out->dts = 0;
  out->duration = AVL.av_rescale_q(packet.duration, itb, otb);
  out->pos = -1;
  try {
    ost.Writer->Write(out, nullptr);
  } catch (...) {
    AVL.av_packet_unref(out);
    throw;
  }
  AVL.av_packet_unref(out);
  ++ost.FrameNumber;
}

}  // namespace fennick
