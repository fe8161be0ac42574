#pragma once

#include <windows.h>

namespace kestrion {

// The message by which a second start asks the running copy to bring its bar into view, sent
// to every top-level window of the bar's class: other programs have windows of class
// "TFormMain" too, and only ours answers it, with kCopyAnswer.
UINT BringIntoViewMessage();
inline constexpr LRESULT kCopyAnswer = 0x4B65;  // "Ke"

// This start's claim to be the session's one copy, held until the process ends: a mutex in
// the session's own namespace, named for the user. False: another copy runs, has been asked
// to bring its bar into view, and this start ends.
bool ClaimSessionCopy();

}  // namespace kestrion
