#include "app/preview.h"

namespace fennick {

void TPreviewController::RowSelected(TPreviewRowKey row, const QString& fileName) {
  FPreviewFileName = fileName;
  if (FPreviewRow != row) {
    FPlayer.Stop();
    FPreviewPaused = false;
  }
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
