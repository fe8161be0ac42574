#include "poll/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrion {

void LowerCurrentThreadPriority() {
  // On Linux the nice value belongs to the thread, so this leaves the user-interface thread
  // alone. One step, like THREAD_PRIORITY_BELOW_NORMAL; failure only means normal priority.
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  const int current = getpriority(PRIO_PROCESS, tid);
  (void)setpriority(PRIO_PROCESS, tid, current + 1);
}

}  // namespace kestrion
