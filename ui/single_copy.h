#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kestrion {

// One copy of the desktop program per user session and display: started again (autostart and
// a shortcut, a second click), it brings the running copy's bar into view and ends before it
// makes a window or a request, so that no two bars poll twice and race to store the place.

// The program's application id: its name on the session bus and in its AppStream data.
inline constexpr const char* kAppId = "example.kestrion.Kestrion";

// What the platform offers for it: a claim that one copy holds while it runs (a name on the
// session bus, a lock, a named object) and a way to reach the copy that holds it.
class SessionCopy {
 public:
  virtual ~SessionCopy() = default;
  // Takes the claim for this copy; false while another copy holds it.
  virtual bool Claim() = 0;
  // Asks the copy that holds the claim to show its bar and bring it to the front; false when
  // none answered (still starting, or ending).
  virtual bool AskRunningCopy() = 0;
};

// How long a start keeps at it while the claim is held by a copy that does not answer: 5 s in
// all, for a copy that is making its windows or ending, as when an update replaces it.
inline constexpr int kSessionCopyAttempts = 50;
inline constexpr int kSessionCopyPauseMs = 100;

// True when this start is the session's one copy and goes on. Otherwise the running copy has
// been asked to bring its bar into view and this start ends. A copy that holds the claim but
// does not answer yet is asked again after `pause`, `attempts` times in all, as is the claim:
// the copy may be ending, as when an update replaces it. One that never answers is a copy all
// the same, and this start ends.
bool TakeSessionCopy(SessionCopy& copy, const std::function<void()>& pause, int attempts);

// The name of the claim for a display: the application id and the display, host and number
// (its screen left out), in the letters a bus name allows. Another display has a copy of its
// own; the same display spelt another way (":0" and ":0.0") is the same.
std::string SessionCopyName(std::string_view display);

}  // namespace kestrion
