// The preview pane's state machine: which file the player has, which row it
// was played from, whether it is paused. The player itself is behind
// IPreviewPlayer (TMediaPreviewPlayer in the window, a fake in the tests).
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace fennick {

// What the preview asks of a player.
class IPreviewPlayer {
 public:
  virtual ~IPreviewPlayer() = default;
  // The next Play plays this file (a full path).
  virtual void SetFileName(const QString& fileName) = 0;
  // Starts playing, or continues after Pause.
  virtual void Play() = 0;
  virtual void Pause() = 0;
  virtual void Stop() = 0;
  // Moves playback to this many milliseconds from the start; a player that
  // cannot does nothing.
  virtual void Seek(std::int64_t position) { (void)position; }
  // The listener is told where playback is and how long the file is, in
  // milliseconds, as they change (none: nobody is). A player that tells
  // nothing keeps it unused.
  using TTimeListener = std::function<void(std::int64_t position, std::int64_t duration)>;
  virtual void SetTimeListener(TTimeListener listener) { (void)listener; }
};

// A list row as the preview knows it: the row's identity, which outlives
// the removal of other rows (an index would name another file once an
// earlier row is removed while the preview is paused).
using TPreviewRowKey = std::int64_t;

class TPreviewController {
 public:
  // converting tells whether a conversion runs; the buttons do nothing then.
  TPreviewController(IPreviewPlayer& player, std::function<bool()> converting)
      : FPlayer(player), FConverting(std::move(converting)) {}

  // A row became selected (ListView1SelectItem): its file becomes the one
  // to preview; a row other than the one last shown stops the player, and
  // a regular file is loaded and held at its first picture (not during a
  // run).
  void RowSelected(TPreviewRowKey row, const QString& fileName);
  // ButtonPlayClick, with the selected row (none: nothing happens). After a
  // pause of the same row the loaded file continues; otherwise the selected
  // file is loaded.
  void PlayClicked(std::optional<TPreviewRowKey> selectedRow);
  // ButtonPauseClick.
  void PauseClicked();
  // ButtonStopClick.
  void StopClicked();
  // A row leaves the list: when the player has its file, it stops.
  void RowRemoved(TPreviewRowKey row);
  // Before the list changes or a run starts ("Add File", "Convert",
  // "Clear"): stops whatever plays, also while converting.
  void StopForListChange();

  const QString& PreviewFileName() const { return FPreviewFileName; }
  std::optional<TPreviewRowKey> PreviewRow() const { return FPreviewRow; }
  bool PreviewPaused() const { return FPreviewPaused; }

 private:
  bool Converting() const { return FConverting && FConverting(); }

  IPreviewPlayer& FPlayer;
  std::function<bool()> FConverting;
  QString FPreviewFileName;                   // the file of the row selected last
  std::optional<TPreviewRowKey> FPreviewRow;  // the row whose file the player has; none before
  bool FPreviewPaused = false;                // paused, and not yet played, stopped or changed since
};

}  // namespace fennick
