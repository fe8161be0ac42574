#pragma once

#include <string>
#include <vector>

// What a process does to make its files durable, for tests: loaded before the C library
// (linked into a test), it passes fsync, fdatasync, rename and renameat through and, while
// recording, notes each call in order as one line: "fsync PATH", "fdatasync PATH" (the file
// or folder the descriptor is open on, as /proc/self/fd names it) or "rename FROM -> TO" (as
// the caller gave them).
namespace kestrion::test {

void StartRecordingSyncs();
// The calls since StartRecordingSyncs, and recording ends.
std::vector<std::string> StopRecordingSyncs();

}  // namespace kestrion::test
