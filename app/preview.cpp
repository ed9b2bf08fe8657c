#include "app/preview.h"

#include <QFileInfo>

namespace fennick {

void TPreviewController::RowSelected(TPreviewRowKey row, const QString& fileName) {
  FPreviewFileName = fileName;
  if (FPreviewRow == row) return;
  FPlayer.Stop();
  FPreviewPaused = false;
  // The row's first picture (or its cover) shows at once, held at the
  // start; Play goes on from there. Not during a run, and never from a pipe
  // or device, which the preview would drain.
  if (Converting() || !QFileInfo(fileName).isFile()) return;
  FPreviewRow = row;
  FPlayer.SetFileName(fileName);
  FPlayer.Pause();
  FPreviewPaused = true;
}

void TPreviewController::PlayClicked(std::optional<TPreviewRowKey> selectedRow) {
  if (Converting() || !selectedRow) return;
  // Only a pause of this very row continues: pause pressed after another
  // row was selected (or before anything played) has nothing of this row's
  // loaded.
  const bool continues = FPreviewPaused && FPreviewRow == selectedRow;
  FPreviewRow = selectedRow;
  FPreviewPaused = false;
  if (!continues) FPlayer.SetFileName(FPreviewFileName);
  FPlayer.Play();
}

void TPreviewController::PauseClicked() {
  if (Converting()) return;
  FPreviewPaused = true;
  FPlayer.Pause();
}

void TPreviewController::StopClicked() {
  if (Converting()) return;
  FPlayer.Stop();
  FPreviewPaused = false;
}

void TPreviewController::RowRemoved(TPreviewRowKey row) {
  if (FPreviewRow != row) return;
  FPlayer.Stop();
  FPreviewPaused = false;
  FPreviewRow.reset();
}

void TPreviewController::StopForListChange() {
  FPlayer.Stop();
  FPreviewPaused = false;
}

}  // namespace fennick
