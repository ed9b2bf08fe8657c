// Progress report (the OnProgress values or the status line), the summary of
// the last report, the quantiser histogram (the run's own) and the
// per-frame video statistics file.
#include <algorithm>
#include <cmath>

#include "engine/transcode_tables.h"

namespace fennick {

namespace {

double Psnr(double d) { return -10.0 * std::log10(d); }

void Append(std::string& line, const std::string& piece) {
  constexpr size_t kLineCapacity = 1023;
  if (line.size() >= kLineCapacity) return;
  line.append(piece, 0, kLineCapacity - line.size());
}

// The engine's own formatter for the summary: whole kilobytes, and the
// overhead with two decimals.
std::string SummaryLine(int64_t video, int64_t audio, int64_t header, int64_t total) {
  const int64_t raw = video + audio + header;
  const double overhead = raw > 0 ? 100.0 * static_cast<double>(total - raw) / static_cast<double>(raw) : 0.0;
  return FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %.2f%%\r\n",
                    static_cast<double>(video) / 1024.0, static_cast<double>(audio) / 1024.0,
                    static_cast<double>(header) / 1024.0, overhead);
}

}  // namespace

void TCustomFFmpeg::PrintReport(bool isLastReport) {
  if (!FRun || FOutputFiles.empty()) return;
  TTranscodeRun& run = *FRun;
  AVIOContext* pb = FOutputFiles[0]->Context->pb;
  int64_t totalSize = 0;
  if (pb) {
    totalSize = AVL.avio_size(pb);
    if (totalSize < 0) totalSize = AVL.avio_seek(pb, 0, SEEK_CUR);
    if (totalSize < 0) totalSize = 0;
  }

  std::string line;
  double time = 1e10, endedTime = 0;
  bool timeFound = false;
  int frameNumber = -1, fps = -1;
  float quality = -1.0f;
  bool firstVideo = true;
  for (auto& ostPtr : run.OutputStreams) {
    TOutputStream& ost = *ostPtr;
    const AVCodecContext* enc = ost.Encoder.get();
    if (ost.IsVideo()) {
      const float q = ost.EncodingNeeded ? static_cast<float>(ost.LastQuality) / FF_QP2LAMBDA : -1.0f;
      if (firstVideo) {
        firstVideo = false;
        const double elapsed = static_cast<double>(AVL.av_gettime_relative() - run.ReportClock) / 1000000.0;
        if (ost.FrameNumber < 1) return;
        frameNumber = ost.FrameNumber;
        fps = elapsed > 1.0 ? static_cast<int>(frameNumber / elapsed + 0.5) : 0;
        quality = q;
        Append(line, FormatText("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, quality));
        if (isLastReport) Append(line, "L");
        if (S.QpHist) {
          const int qp = static_cast<int>(std::lround(quality));
          if (qp >= 0 && qp < static_cast<int>(run.QpHistogram.size())) ++run.QpHistogram[qp];
          for (int j = 0; j < 32; ++j)
            Append(line, FormatText("%X", static_cast<int>(std::lround(std::log2(run.QpHistogram[j] + 1)))));
        }
        if (enc && ost.EncodingNeeded && (enc->flags & AV_CODEC_FLAG_PSNR)) {
          double errorSum = 0, scaleSum = 0;
          static const char kPlanes[3] = {'Y', 'U', 'V'};
          Append(line, "PSNR=");
          for (int j = 0; j < 3; ++j) {
            double error, scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
            if (isLastReport) {
              error = static_cast<double>(enc->error[j]);
              scale *= frameNumber;
            } else {
              error = static_cast<double>(ost.LastError[j]);
            }
            if (j) scale /= 4;
            errorSum += error;
            scaleSum += scale;
            Append(line, FormatText("%c:%2.2f ", kPlanes[j], Psnr(error / scale)));
          }
          Append(line, FormatText("*:%2.2f ", Psnr(errorSum / scaleSum)));
        }
      } else {
        Append(line, FormatText("q=%2.1f ", q));
      }
    }
    // The slowest stream still fed sets the time; a stream whose input has
    // ended has written all it will, and the others go on past it.
    if (ost.CurrentTime > 0 && !ost.InputEnded && ost.CurrentTime < time) {
      time = ost.CurrentTime;
      timeFound = true;
    }
    if (ost.InputEnded) endedTime = std::max(endedTime, ost.CurrentTime);
  }
  // No stream still fed has written anything: the output is as long as the
  // longest of those that have ended.
  if (!timeFound && endedTime > 0) {
    time = endedTime;
    timeFound = true;
  }
  if (!timeFound || time < 0.01) time = 0.01;

  if (OnProgress || S.Verbose > 0 || isLastReport) {
    const double bitrate = static_cast<double>(totalSize) * 8.0 / time / 1000.0;
    Append(line, FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", static_cast<double>(totalSize) / 1024.0,
                            time, bitrate));
    if (S.Verbose > 1) Append(line, FormatText(" dup=%d drop=%d", run.DupFrames(), run.DropFrames()));
    if (OnProgress)
      OnProgress(*this, frameNumber, fps, static_cast<int>(time * 1000.0), quality, static_cast<float>(bitrate),
                 totalSize, TotalOutputDuration());
    else if (S.Verbose >= 0)
      Log(1, line);
  }

  if (isLastReport && S.Verbose >= 0 && OnLog)
    Log(1, SummaryLine(run.VideoBytes(), run.AudioBytes(), run.HeaderBytes, totalSize));
}

void MarkEndedInputs(TTranscodeRun& run, int fileIndex, bool fileEnded) {
  // The newest time read from the file, over the streams it feeds.
  int64_t newest = AV_NOPTS_VALUE;
  if (!fileEnded)
    for (const TInputSync& ist : run.InputSync)
      if (ist.FileIndex == fileIndex && !ist.Discard && ist.NextPts != AV_NOPTS_VALUE &&
          (newest == AV_NOPTS_VALUE || ist.Pts > newest))
        newest = ist.Pts;
  const auto lag = static_cast<int64_t>(kEndedInputLagSeconds * 1000000.0);
  for (const auto& ost : run.OutputStreams) {
    const TInputSync& source = run.InputSync[ost->SourceIndex];
    if (source.FileIndex != fileIndex) continue;
    ost->InputEnded = fileEnded || (newest != AV_NOPTS_VALUE && newest - source.Pts > lag);
  }
}

void TCustomFFmpeg::WriteVideoStats(TOutputStream& ost, int frameSize) {
  TTranscodeRun& run = *FRun;
  std::lock_guard<std::mutex> lock(run.VStatsLock);
  if (!run.VStatsFile) {
    run.VStatsFile.reset(std::fopen(S.VStatsFileName.c_str(), "w"));
    if (!run.VStatsFile) throw FFMpegException("fopen fail: " + S.VStatsFileName);
  }
  if (!ost.IsVideo()) return;
  const AVCodecContext* enc = ost.Encoder.get();
  FILE* f = run.VStatsFile.get();
  std::fprintf(f, "frame= %5d q= %2.1f ", ost.FrameNumber, static_cast<double>(ost.LastQuality) / FF_QP2LAMBDA);
  if (enc->flags & AV_CODEC_FLAG_PSNR)
    std::fprintf(f, "PSNR= %6.2f ",
                 Psnr(static_cast<double>(ost.LastError[0]) / (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
  std::fprintf(f, "f_size= %6d ", frameSize);
  double time = static_cast<double>(ost.SyncCount) * av_q2d(enc->time_base);
  if (time < 0.01) time = 0.01;
  const double bitrate = frameSize * 8.0 / av_q2d(enc->time_base) / 1000.0;
  const auto videoBytes = static_cast<double>(run.VideoBytes());
  const double avgBitrate = videoBytes * 8.0 / time / 1000.0;
  std::fprintf(f, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ", videoBytes / 1024.0, time,
               bitrate, avgBitrate);
  std::fprintf(f, "type= %c\n", AVL.av_get_picture_type_char(static_cast<AVPictureType>(ost.LastPictType)));
}

}  // namespace fennick
