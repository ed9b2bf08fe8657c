#include "component/task_options.h"

namespace fennick {

void InitInputOptions(TInputOptions& options) { options = TInputOptions{}; }

void InitOutputOptions(TOutputOptions& options) { options = TOutputOptions{}; }

}  // namespace fennick
