#include "poll/thread_priority.h"

#include <windows.h>

namespace kestrion {

void LowerCurrentThreadPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace kestrion
