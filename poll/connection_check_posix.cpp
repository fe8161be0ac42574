#include "poll/connection_check_posix.h"

#include <net/if.h>

#include <memory>

#include "poll/connection_check.h"

namespace kestrion {

bool AnyInterfaceConnected(const ifaddrs* list) {
  for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    const unsigned flags = it->ifa_flags;
    if (it->ifa_addr == nullptr || (flags & IFF_LOOPBACK) != 0) continue;
    if ((flags & IFF_UP) == 0 || (flags & IFF_RUNNING) == 0) continue;
    const int family = it->ifa_addr->sa_family;
    if (family == AF_INET || family == AF_INET6) return true;
  }
  return false;
}

bool IsInternetConnected() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, freeifaddrs);
  return AnyInterfaceConnected(list);
}

}  // namespace kestrion
