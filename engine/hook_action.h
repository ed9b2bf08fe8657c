// What a before-hook handler decides for the frames of a task: go on offering
// them, let the frame-hook modules skip this one, or stop offering them.
#pragma once

namespace fennick {

enum class THookAction { haContinue, haIgnore, haStop };

}  // namespace fennick
