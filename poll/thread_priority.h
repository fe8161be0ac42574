#pragma once

namespace kestrion {

// Lowers the calling thread's priority one step below normal.
void LowerCurrentThreadPriority();

}  // namespace kestrion
