#include "poll/connection_check_posix.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>

#include <vector>

namespace kestrion {
namespace {

// An interface as getifaddrs lists it: its flags and the family of its address (AF_UNSPEC
// for none).
struct Interface {
  unsigned flags;
  int family;
};

bool Connected(const std::vector<Interface>& interfaces) {
  std::vector<sockaddr> addresses(interfaces.size());
  std::vector<ifaddrs> list(interfaces.size());
  for (std::size_t i = 0; i < interfaces.size(); ++i) {
    addresses[i].sa_family = static_cast<sa_family_t>(interfaces[i].family);
    list[i].ifa_flags = interfaces[i].flags;
    list[i].ifa_addr = interfaces[i].family == AF_UNSPEC ? nullptr : &addresses[i];
    list[i].ifa_next = i + 1 < list.size() ? &list[i + 1] : nullptr;
  }
  return AnyInterfaceConnected(list.empty() ? nullptr : list.data());
}

TEST(ConnectionCheckPosix, OnlyAnInterfaceUpAndRunningWithAnAddressCounts) {
  constexpr unsigned kUp = IFF_UP;
  constexpr unsigned kRunning = IFF_UP | IFF_RUNNING;
  const Interface loopback{kRunning | IFF_LOOPBACK, AF_INET};
  EXPECT_TRUE(Connected({loopback, {kRunning, AF_INET}}));
  EXPECT_TRUE(Connected({{kRunning, AF_INET6}}));
  EXPECT_FALSE(Connected({}));
  EXPECT_FALSE(Connected({loopback}));
  EXPECT_FALSE(Connected({loopback, {kUp, AF_INET}})) << "up, but no link (cable out)";
  EXPECT_FALSE(Connected({{IFF_RUNNING, AF_INET}})) << "taken down";
  EXPECT_FALSE(Connected({{kRunning, AF_UNSPEC}, {kRunning, AF_PACKET}})) << "no address";
}

}  // namespace
}  // namespace kestrion
