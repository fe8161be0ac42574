#pragma once

#include <functional>

namespace kestrion {

// This start's claim to be the session's one copy, held until the process ends: a name on the
// session bus with the freedesktop org.freedesktop.Application interface at the application
// id's path, or, with no session bus, a lock and a socket in the user's runtime folder. Once
// claimed, `activate` runs on the user-interface thread whenever another start asks this copy
// to bring its bar into view. Needs the application object. False: another copy runs, has been
// asked, and this start ends.
bool ClaimSessionCopy(std::function<void()> activate);

}  // namespace kestrion
