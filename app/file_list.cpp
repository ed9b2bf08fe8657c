#include "app/file_list.h"

#include <algorithm>
#include <filesystem>

#include "jobs/stream_choice.h"
#include "profiles/output_formats.h"
#include "util/text_util.h"

namespace fennick {

const std::array<TListColumnSpec, ListColumnCount> ListColumns = {{
    {"File Name", 245, TColumnAlignment::Left},
    {"Video Size", 100, TColumnAlignment::Centre},
    {"Frame Rate", 100, TColumnAlignment::Centre},
    {"Duration", 70, TColumnAlignment::Centre},
    {"Output", 70, TColumnAlignment::Centre},
    {"Progress", 80, TColumnAlignment::Centre},
    {"Frames", 70, TColumnAlignment::Centre},
}};

int TFileList::IndexOf(TRowId id) const {
  for (int i = 0; i < Count(); ++i)
    if (FRows[i].Id == id) return i;
  return -1;
}

TRowId TFileList::Append(TFileRow row) {
  TQueuedJob job;
  job.Source = row.Caption;
  job.VideoSizeText = row.SubItems[SubItemOf(ColVideoSize)];
  job.DisplayAspect = row.DisplayAspect;
  job.FrameRateText = row.SubItems[SubItemOf(ColFrameRate)];
  job.DurationText = row.SubItems[SubItemOf(ColDuration)];
  if (row.AudioTracks.size() > 1) job.AudioTracks = row.AudioTracks;
  job.Reason = row.ProgressTip;  // why a file could not be opened
  row.Id = FQueue.Add(std::move(job));
  row.Checked = true;
  if (FListener.BeforeInsert) FListener.BeforeInsert(Count());
  FRows.push_back(std::move(row));
  if (FListener.AfterInsert) FListener.AfterInsert();
  QueueChanged();
  return FRows.back().Id;
}

void TFileList::QueueChanged() {
  if (OnQueueChanged) OnQueueChanged();
}

void TFileList::Restore(TJobQueue queue, const std::string& outputName) {
  if (FListener.BeforeReset) FListener.BeforeReset();
  FRows.clear();
  FQueue = std::move(queue);
  for (const TQueuedJob& job : FQueue.Jobs()) {
    TFileRow row;
    row.Id = job.Id;
    row.Caption = job.Source;
    row.Checked = job.Checked;
    row.DisplayAspect = job.DisplayAspect;
    row.AudioTracks = job.AudioTracks;
    row.SubItems[SubItemOf(ColVideoSize)] = job.VideoSizeText;
    row.SubItems[SubItemOf(ColFrameRate)] = job.FrameRateText;
    row.SubItems[SubItemOf(ColDuration)] = job.DurationText;
    const TheAVCodec* pinned = job.Pinned && job.Settings ? LookupOutputFormat(job.Settings->Format) : nullptr;
    row.SubItems[SubItemOf(ColOutput)] = !job.OutputPath.empty()
                                             ? std::filesystem::path(job.OutputPath).filename().string()
                                         : pinned ? std::string(pinned->FormatName)
                                                  : outputName;
    std::string& progress = row.SubItems[SubItemOf(ColProgress)];
    // A file the probe could not open has no picture text at all; a row the
    // run skipped stays as it was.
    progress = job.Status == TJobStatus::Waiting || job.Status == TJobStatus::Skipped
                   ? (job.VideoSizeText.empty() ? ProgressError : "")
                   : JobResultText(job.Status);
    if ((job.Status != TJobStatus::Waiting && job.Status != TJobStatus::Skipped) || progress == ProgressError)
      row.ProgressTip = OneLine(job.Reason);
    FRows.push_back(std::move(row));
  }
  if (FListener.AfterReset) FListener.AfterReset();
}

TRowId TFileList::AppendProbed(const std::string& caption, const TRowTexts& texts, const std::string& outputName,
                               std::vector<TProbeStreamInfo> audioTracks) {
  TFileRow row;
  row.AudioTracks = std::move(audioTracks);
  row.Caption = caption;
  row.SubItems[SubItemOf(ColVideoSize)] = texts.VideoSize;
  row.SubItems[SubItemOf(ColFrameRate)] = texts.FrameRate;
  row.SubItems[SubItemOf(ColDuration)] = texts.Duration;
  row.SubItems[SubItemOf(ColOutput)] = outputName;
  row.DisplayAspect = texts.DisplayAspect;
  return Append(std::move(row));
}

TRowId TFileList::AppendError(const std::string& caption, const std::string& reason) {
  TFileRow row;
  row.Caption = caption;
  row.SubItems[SubItemOf(ColProgress)] = ProgressError;
  row.ProgressTip = OneLine(reason);
  return Append(std::move(row));
}

void TFileList::SetCell(int index, TListColumn column, const std::string& text) {
  if (column == ColProgress) return SetProgress(index, text, "");
  TFileRow& row = FRows.at(index);
  std::string& cell = column == ColFileName ? row.Caption : row.SubItems[SubItemOf(column)];
  if (cell == text) return;
  cell = text;
  if (FListener.RowChanged) FListener.RowChanged(index);
}

void TFileList::SetProgress(int index, const std::string& text, const std::string& reason) {
  TFileRow& row = FRows.at(index);
  std::string& cell = row.SubItems[SubItemOf(ColProgress)];
  // A reason reads as one line, as on the command line's result lines.
  std::string tip = OneLine(reason);
  if (cell == text && row.ProgressTip == tip) return;
  cell = text;
  row.ProgressTip = std::move(tip);
  if (FListener.RowChanged) FListener.RowChanged(index);
}

void TFileList::SetColumn(TListColumn column, const std::string& text) {
  for (int i = 0; i < Count(); ++i) SetCell(i, column, text);
}

void TFileList::SetChecked(int index, bool checked) {
  TFileRow& row = FRows.at(index);
  if (row.Checked == checked) return;
  row.Checked = checked;
  FQueue.SetChecked(row.Id, checked);
  if (FListener.RowChanged) FListener.RowChanged(index);
  QueueChanged();
}

void TFileList::SetAllChecked(bool checked) {
  for (int i = 0; i < Count(); ++i) SetChecked(i, checked);
}

void TFileList::SetAudioTrack(int index, int track) {
  const TFileRow& row = FRows.at(index);
  if (track < 0 || track >= static_cast<int>(row.AudioTracks.size())) return;
  TQueuedJob* job = FQueue.Find(row.Id);
  const std::string request = std::to_string(track + 1);
  if (!job || job->AudioTrack == request) return;
  job->AudioTrack = request;
  if (FListener.RowChanged) FListener.RowChanged(index);
  QueueChanged();
}

void TFileList::SetPinnedSettings(int index, const std::optional<TJobSettings>& settings,
                                  const std::string& outputName) {
  TQueuedJob* job = FQueue.Find(FRows.at(index).Id);
  if (!job) return;
  job->Settings = settings;
  job->Pinned = settings.has_value();
  if (settings) FRows.at(index).SubItems[SubItemOf(ColOutput)] = outputName;
  if (FListener.RowChanged) FListener.RowChanged(index);
  QueueChanged();
}

void TFileList::ShowWrittenOutputs() {
  for (int index = 0; index < Count(); ++index) {
    const TQueuedJob* job = FQueue.Find(FRows[index].Id);
    if (!job || job->OutputPath.empty()) continue;
    FRows[index].SubItems[SubItemOf(ColOutput)] = std::filesystem::path(job->OutputPath).filename().string();
    if (FListener.RowChanged) FListener.RowChanged(index);
  }
}

bool TFileList::Pinned(int index) const {
  const TQueuedJob* job = FQueue.Find(FRows.at(index).Id);
  return job && job->Pinned;
}

void TFileList::SetSubfolder(TRowId id, const std::string& subfolder) {
  if (TQueuedJob* job = FQueue.Find(id)) {
    job->Subfolder = subfolder;
    QueueChanged();
  }
}

int TFileList::AudioTrack(int index) const {
  const TFileRow& row = FRows.at(index);
  const TQueuedJob* job = FQueue.Find(row.Id);
  try {
    return ChooseAudioTrack(row.AudioTracks, job ? job->AudioTrack : "");
  } catch (const EStreamChoiceError&) {
    return DefaultAudioTrack(row.AudioTracks);
  }
}

void TFileList::Remove(const std::vector<TRowId>& ids) {
  bool removed = false;
  // From the end, so that each announced index is the row's current one.
  for (int i = Count() - 1; i >= 0; --i) {
    if (std::find(ids.begin(), ids.end(), FRows[i].Id) == ids.end()) continue;
    if (FListener.BeforeRemove) FListener.BeforeRemove(i);
    FQueue.Remove(FRows[i].Id);
    FRows.erase(FRows.begin() + i);
    if (FListener.AfterRemove) FListener.AfterRemove();
    removed = true;
  }
  if (removed) QueueChanged();
}

int TFileList::MoveRows(const std::vector<TRowId>& ids, int to) {
  std::vector<TFileRow> moved, kept;
  for (TFileRow& row : FRows)
    (std::find(ids.begin(), ids.end(), row.Id) != ids.end() ? moved : kept).push_back(row);
  if (moved.empty()) return -1;
  to = std::clamp(to, 0, static_cast<int>(kept.size()));
  std::vector<TFileRow> order(kept.begin(), kept.begin() + to);
  order.insert(order.end(), moved.begin(), moved.end());
  order.insert(order.end(), kept.begin() + to, kept.end());
  bool same = true;
  for (size_t i = 0; i < order.size(); ++i) same = same && order[i].Id == FRows[i].Id;
  if (same) return to;
  if (FListener.BeforeReset) FListener.BeforeReset();
  FRows = std::move(order);
  for (int i = 0; i < Count(); ++i) FQueue.Move(FRows[i].Id, i);
  if (FListener.AfterReset) FListener.AfterReset();
  QueueChanged();
  return to;
}

void TFileList::Clear() {
  if (FRows.empty()) return;
  if (FListener.BeforeReset) FListener.BeforeReset();
  FRows.clear();
  FQueue.Clear();
  if (FListener.AfterReset) FListener.AfterReset();
  QueueChanged();
}

}  // namespace fennick
