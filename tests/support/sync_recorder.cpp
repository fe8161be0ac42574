#include "tests/support/sync_recorder.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

std::mutex g_mutex;
bool g_recording = false;
std::vector<std::string>* g_calls = nullptr;  // never freed: calls may come after exit

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void Note(std::string line) {
  const std::lock_guard lock(g_mutex);
  if (!g_recording) return;
  if (g_calls == nullptr) g_calls = new std::vector<std::string>;
  g_calls->push_back(std::move(line));
}

std::string PathOf(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  const ssize_t n = ::readlink(link, target, sizeof target);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "fd " + std::to_string(fd);
}

std::string PathAt(int dirfd, const char* path) {
  if (path[0] == '/' || dirfd == AT_FDCWD) return path;
  return PathOf(dirfd) + "/" + path;
}

}  // namespace

namespace kestrion::test {

void StartRecordingSyncs() {
  const std::lock_guard lock(g_mutex);
  if (g_calls == nullptr) g_calls = new std::vector<std::string>;
  g_calls->clear();
  g_recording = true;
}

std::vector<std::string> StopRecordingSyncs() {
  const std::lock_guard lock(g_mutex);
  g_recording = false;
  return g_calls == nullptr ? std::vector<std::string>() : std::exchange(*g_calls, {});
}

}  // namespace kestrion::test

extern "C" int fsync(int fd) {
  static const auto real = Real<int (*)(int)>("fsync");
  Note("fsync " + PathOf(fd));
  return real(fd);
}

extern "C" int fdatasync(int fd) {
  static const auto real = Real<int (*)(int)>("fdatasync");
  Note("fdatasync " + PathOf(fd));
  return real(fd);
}

extern "C" int rename(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  Note(std::string("rename ") + from + " -> " + to);
  return real(from, to);
}

extern "C" int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  Note("rename " + PathAt(from_dir, from) + " -> " + PathAt(to_dir, to));
  return real(from_dir, from, to_dir, to);
}
