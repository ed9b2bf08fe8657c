// The file list's rows: one source file each, with its check box and the
// seven columns' texts. Plain data the window's list view displays; every
// change is announced to the listeners so that the view follows. Each row is
// a job of the conversion queue the list keeps beside its rows, and carries
// that job's identity, which survives the removal of other rows: work that
// outlives a removal (an event about the job being converted) still finds
// its row, or finds that it is gone.
// Used on the user-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "component/AVProbe.h"
#include "jobs/job_queue.h"
#include "jobs/row_texts.h"

namespace fennick {

// Columns in display order. The caption is column 0; the sub-items follow.
enum TListColumn : int {
  ColFileName = 0,
  ColVideoSize,
  ColFrameRate,
  ColDuration,
  ColOutput,
  ColProgress,
  ColFrames,
  ListColumnCount
};
inline constexpr int SubItemCount = ListColumnCount - 1;
// The sub-item index of a column (ColVideoSize is sub-item 0).
constexpr int SubItemOf(TListColumn column) { return column - 1; }

enum class TColumnAlignment { Left, Centre };

struct TListColumnSpec {
  const char* Caption;
  int Width;  // pixels at 96 dpi
  TColumnAlignment Alignment;
};
extern const std::array<TListColumnSpec, ListColumnCount> ListColumns;

// The Progress cell's texts: a job's result (JobResultText), or this for a
// file the probe could not open.
inline constexpr const char* ProgressError = "Error";

// A row's identity is its job's.
using TRowId = TJobId;
inline constexpr TRowId NoRow = NoJob;

struct TFileRow {
  TRowId Id = NoRow;
  std::string Caption;  // the source file's full path
  bool Checked = true;
  std::array<std::string, SubItemCount> SubItems;  // Video Size ... Frames
  // The probe's display aspect of the first video stream, -1 when unknown;
  // read by the job builder for the "Original" aspect.
  float DisplayAspect = -1.0f;
  // The source's audio tracks as the probe found them.
  std::vector<TProbeStreamInfo> AudioTracks;
  // Why the row's conversion failed, shown as the Progress cell's tip; goes
  // with the cell's text (a new text clears it).
  std::string ProgressTip;

  const std::string& Cell(TListColumn column) const {
    return column == ColFileName ? Caption : SubItems[SubItemOf(column)];
  }
};

// What changes, for the view: each insertion, removal and reset is
// announced before and after it happens (a view must know both); a changed
// row (any cell or the check box) after the change.
struct TFileListListener {
  std::function<void(int index)> BeforeInsert, BeforeRemove;
  std::function<void()> AfterInsert, AfterRemove;
  std::function<void()> BeforeReset, AfterReset;
  std::function<void(int index)> RowChanged;
};

class TFileList {
 public:
  int Count() const { return static_cast<int>(FRows.size()); }
  bool Empty() const { return FRows.empty(); }
  const TFileRow& Row(int index) const { return FRows.at(index); }
  // Position of the row with this identity, or -1 when it has been removed.
  int IndexOf(TRowId id) const;
  TRowId IdAt(int index) const { return FRows.at(index).Id; }

  // Appends a checked row for a probed file: its texts, the Output cell,
  // Progress and Frames empty.
  TRowId AppendProbed(const std::string& caption, const TRowTexts& texts, const std::string& outputName,
                      std::vector<TProbeStreamInfo> audioTracks = {});
  // Appends a checked row for a file the probe could not open: only the
  // caption and "Error" in the Progress cell, with the reason as its tip.
  TRowId AppendError(const std::string& caption, const std::string& reason = {});

  void SetCell(int index, TListColumn column, const std::string& text);
  // The Progress cell's text with its tip, the reason folded into one line.
  void SetProgress(int index, const std::string& text, const std::string& reason);
  // The same text in one column of every row.
  void SetColumn(TListColumn column, const std::string& text);
  void SetChecked(int index, bool checked);
  void SetAllChecked(bool checked);
  // The audio track the row's job converts, by its position among the
  // row's tracks (from 0); the chosen one (the source's default until one
  // is chosen, -1 without tracks).
  void SetAudioTrack(int index, int track);
  int AudioTrack(int index) const;
  // Settings pinned on the row's job, which it converts with whatever the
  // window shows, and the Output cell's text for them (the pinned format);
  // none removes the pin (the cell is then the caller's to set).
  void SetPinnedSettings(int index, const std::optional<TJobSettings>& settings, const std::string& outputName);
  bool Pinned(int index) const;
  // The folder the row's source lies in below an added folder.
  void SetSubfolder(TRowId id, const std::string& subfolder);

  // Removes the rows with these identities (unknown ones are ignored).
  void Remove(const std::vector<TRowId>& ids);
  // Moves the rows (kept in their order) so that the first is at `to` among
  // the rows left; the queue, which a run converts in order, follows. The
  // index the first row got; -1 when none of them is in the list.
  int MoveRows(const std::vector<TRowId>& ids, int to);
  void Clear();

  // One listener (the view); replaced by the next call.
  void SetListener(TFileListListener listener) { FListener = std::move(listener); }
  // Called after the rows' jobs changed (rows added or removed, a check or
  // an audio track changed), for whoever keeps the queue.
  std::function<void()> OnQueueChanged;

  // Replaces the rows with the jobs of a saved queue, same identities: the
  // texts the jobs keep, their results in the Progress cell (with the
  // reason as its tip), the output's name or else `outputName`.
  void Restore(TJobQueue queue, const std::string& outputName);
  // The Output cell of each row whose job has written its file names that
  // file again (after the format's name was shown over it).
  void ShowWrittenOutputs();

  // The rows as the conversion queue's jobs, in the same order with the same
  // identities and checks; the run converts them and keeps their outcome.
  TJobQueue& Queue() { return FQueue; }
  const TJobQueue& Queue() const { return FQueue; }

 private:
  TRowId Append(TFileRow row);
  void QueueChanged();

  std::vector<TFileRow> FRows;
  TJobQueue FQueue;
  TFileListListener FListener;
};

}  // namespace fennick
