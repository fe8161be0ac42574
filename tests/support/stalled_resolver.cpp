#include "tests/support/stalled_resolver.h"

#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
std::map<std::string, int>* g_lookups = nullptr;  // never freed: lookups may outlive exit

using GetAddrInfo = int (*)(const char*, const char*, const addrinfo*, addrinfo**);

}  // namespace

extern "C" int StalledResolverLookups(const char* name) {
  const std::lock_guard lock(g_mutex);
  if (g_lookups == nullptr) return 0;
  const auto found = g_lookups->find(name);
  return found == g_lookups->end() ? 0 : found->second;
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  static const auto real = reinterpret_cast<GetAddrInfo>(dlsym(RTLD_NEXT, "getaddrinfo"));
  int lookup = 0;
  if (node != nullptr) {
    const std::lock_guard lock(g_mutex);
    if (g_lookups == nullptr) g_lookups = new std::map<std::string, int>;
    lookup = ++(*g_lookups)[node];
  }
  // A name whose first lookup is slow and finds loopback, and whose later ones stall.
  const char* slow = std::getenv("KESTRION_SLOW_HOST");
  const bool slow_name = node != nullptr && slow != nullptr && std::strcmp(node, slow) == 0;
  if (slow_name && lookup == 1) {
    const char* seconds = std::getenv("KESTRION_SLOW_SECONDS");
    unsigned left = seconds != nullptr ? static_cast<unsigned>(std::atoi(seconds)) : 1;
    while (left > 0) left = sleep(left);
    node = "127.0.0.1";
  }
  const char* stalled = std::getenv("KESTRION_STALLED_HOST");
  if ((slow_name && lookup > 1) ||
      (node != nullptr && stalled != nullptr && std::strcmp(node, stalled) == 0)) {
    if (const char* log = std::getenv("KESTRION_STALL_LOG")) {
      if (FILE* file = std::fopen(log, "a")) {
        std::fprintf(file, "%s\n", node);
        std::fclose(file);
      }
    }
    const char* seconds = std::getenv("KESTRION_STALL_SECONDS");
    unsigned left = seconds != nullptr ? static_cast<unsigned>(std::atoi(seconds)) : 60;
    while (left > 0) left = sleep(left);
    return EAI_AGAIN;
  }
  // A name of the test's own for loopback (curl answers "localhost" itself, never asking).
  const char* loopback = std::getenv("KESTRION_LOOPBACK_HOST");
  if (node != nullptr && loopback != nullptr && std::strcmp(node, loopback) == 0) {
    node = "127.0.0.1";
  }
  return real(node, service, hints, result);
}
