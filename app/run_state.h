// The main window's run state: what the window is busy with, the conversion
// run's flags and the status bar's texts. Plain data on the user-interface
// thread; the window's controller writes it and the widgets display it.
//
// Run state kept elsewhere: FOutputFormatName and LastFormatIndex belong to
// the format list (TProfileControls), PreviewFileName, PreviewRow and
// PreviewPaused to the preview (TPreviewController).
#pragma once

#include <string>

#include "app/file_list.h"
#include "jobs/job_builder.h"

namespace fennick {

struct TRunState {
  // A job of the run converts (or the run's first jobs are being built).
  bool Converting = false;
  // The user confirmed "Stop all conversions?" during this run.
  bool StopRequested = false;

  // The volume bar's position (0 top, "200%" .. 10 bottom, "0%") and the
  // AudioVolume value every job of a run gets.
  int VolumePosition = DefaultVolumePosition;
  int ConversionVolume = ConversionVolumeFor(DefaultVolumePosition);

  // An add request is in progress (its worker walks folders and probes
  // files; the rows are appended as they come). The list stays usable.
  bool FAddingFiles = false;
  // The controls a run locks are locked (buttons, settings lists, volume,
  // the list's context menu, the top-level menus).
  bool ControlsLocked = false;

  // Status bar: panel 0 (what is happening: "Converting 2 of 5 ..."; empty
  // shows "Ready"), panel 1 ("File Size : 38.1 MB"), the progress bar of
  // panel 2 (0 to 100).
  std::string StatusText;
  std::string FileSizeText;
  // The text on the progress bar ("13%  1.50x  00:00:03 left"; empty: none).
  std::string ProgressText;
  int ProgressPosition = 0;

  // From Convert until the run ends (completed or stopped): the window's
  // title shows the run's overall progress meanwhile (0 to 100).
  bool RunActive = false;
  int OverallPercent = 0;
};

// Status bar panel 0's text.
inline constexpr const char* StatusReadyText = "Ready";

}  // namespace fennick
