#pragma once

#include <functional>
#include <string>

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

// The claim's name without its namespace: the application id and the user's SID, so that
// another user started in the same session ("Run as") has a copy of their own.
std::wstring SessionClaimName();

// Asks each top-level window of the bar's class to bring its bar into view, until one answers
// as ours does; true when one did. Each window's process is first let take the foreground
// (`allow_foreground`, AllowSetForegroundWindow in the program): Windows lets a program that
// the user did not start last bring no window to the front.
bool AskBarIntoView(const std::function<void(DWORD process)>& allow_foreground);

}  // namespace kestrion
