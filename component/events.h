// The component's five events and the types their handlers meet. A handler
// of OnCustomHook draws on the picture with engine/bitmap.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/hook_action.h"

namespace fennick {

class TBitmap;

enum class TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };

// Events carry no sender. AIndex is the task index, or -1 where no single task
// is meant (including the final "all tasks done" terminate call).
using TProgressEvent = std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration,
                                          float AQuality, float ABitRate, int64_t ACurrentSize,
                                          int ATotalOutputDuration)>;
using TLogEvent = std::function<void(int AIndex, TLogLevel ALogLevel, const std::string& AMsg)>;
using TTerminateEvent = std::function<void(int AIndex, bool AFinished, bool AException, const std::string& AMessage)>;
using TBeforeHookEvent = std::function<void(int AIndex, int64_t APTS, THookAction& AHookAction)>;
using TCustomHookEvent = std::function<void(int AIndex, TBitmap& ABitmap, int AFrameNumber, int64_t APTS,
                                            bool& AUpdate, bool& AStopHook)>;

// Engine level L (-1 quiet/errors, 0 error, 1 information, 2 debug, ...) as
// the event's level: ordinal L + 1, clamped to llQuiet..llAll.
TLogLevel MapLogLevel(int engineLevel);

}  // namespace fennick
