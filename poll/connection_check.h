#pragma once

namespace kestrion {

// Whether the system has a network connection of any kind. A poll asks it first and reports
// no connection without sending anything.
bool IsInternetConnected();

}  // namespace kestrion
