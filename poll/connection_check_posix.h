#pragma once

#include <ifaddrs.h>

namespace kestrion {

// The rule of IsInternetConnected over a list getifaddrs gave: some interface other than
// loopback that is up, running (its link is there) and has an IPv4 or IPv6 address.
bool AnyInterfaceConnected(const ifaddrs* list);

}  // namespace kestrion
