// What the "Additional Options" dialog holds: the "Video Zoom", aspect and
// subtitle choices, the overwrite switch and the number of entries the output-format
// drop-down shows. Plain state; the dialog's widgets display it and the main
// window reads it.
#pragma once

#include <string>

#include "jobs/name_pattern.h"
#include "profiles/settings_control.h"

namespace fennick {

// A number kept inside its bounds, like a spin edit.
class TBoundedValue {
 public:
  constexpr TBoundedValue(int minimum, int maximum, int value) : FMin(minimum), FMax(maximum), FValue(value) {}
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  int Value() const { return FValue; }
  // A value outside the bounds is brought to the nearer bound.
  void SetValue(int value) { FValue = value < FMin ? FMin : value > FMax ? FMax : value; }

 private:
  int FMin, FMax, FValue;
};

struct TOptionsModel {
  TOptionsModel();

  TSettingsControl ComboLetterBox;     // "None", "LetterBox"
  TSettingsControl ComboAspectRatio4;  // "Original", "4:3 (Standard", "16:9 (Wide Screen)"
  TSettingsControl ComboSubtitles;     // "Keep", "None"
  bool CheckBoxOverWrite = false;
  TBoundedValue SpinEdit1{26, 47, 27};  // entries the format drop-down shows
  // The outputs' names (jobs/name_pattern.h) and whether an added folder's
  // subfolders are made again under the output folder.
  std::string EditNamePattern = DefaultNamePattern;
  bool CheckBoxKeepFolders = false;
  // "Convert up to N files at once" (1 to the machine's cores; 1 converts
  // one after the other) and "When the run ends:" ("Do nothing", "Quit",
  // "Suspend", "Power off").
  TBoundedValue SpinFilesAtOnce{1, MachineCores(), 1};
  TSettingsControl ComboRunEnd;

  // The machine's cores (at least 1).
  static int MachineCores();
};

// ComboRunEnd's items.
enum TRunEndChoice : int { RunEndNothing = 0, RunEndQuit, RunEndSuspend, RunEndPowerOff };

// The drop-down count the format list gets before the options exist.
inline constexpr int FallbackDropDownCount = 25;

}  // namespace fennick
