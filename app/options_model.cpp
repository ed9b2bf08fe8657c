#include "app/options_model.h"

#include <algorithm>
#include <thread>

namespace fennick {

// The second aspect item has no closing parenthesis: that is its text.
TOptionsModel::TOptionsModel()
    : ComboLetterBox({"None", "LetterBox"}, 0),
      ComboAspectRatio4({"Original", "4:3 (Standard", "16:9 (Wide Screen)"}, 0),
      ComboSubtitles({"Keep", "None"}, 0),
      ComboRunEnd({"Do nothing", "Quit", "Suspend", "Power off"}, RunEndNothing) {}

int TOptionsModel::MachineCores() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

}  // namespace fennick
