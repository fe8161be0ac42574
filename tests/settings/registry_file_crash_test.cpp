// The settings file when the program dies in the middle of writing it: a child process
// writes without pause and is killed at random moments.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/reg_file_format.h"
#include "settings/registry.h"
#include "settings/registry_file.h"

namespace kestrion {
namespace {

namespace fs = std::filesystem;

constexpr int kKills = 200;
constexpr const char* kNames[] = {"login", "pswd", "Top", "Left"};

// The values of one complete set, as they read back from the file.
std::vector<RegValue> SetOf(const std::string& text, std::int32_t number) {
  std::string dword;
  for (int i = 0; i < 4; ++i) dword += static_cast<char>((number >> (8 * i)) & 0xFF);
  return {{kRegSz, text + '\0'}, {kRegSz, text + '\0'}, {kRegDword, dword}, {kRegDword, dword}};
}

// One whole set through the program's own accessor, a value at a time as the program writes.
void WriteSet(const std::string& path, const std::string& text, std::int32_t number) {
  Registry registry(std::make_unique<RegistryFileBackend>(path));
  if (!registry.OpenKey(kRegKey, true)) std::_Exit(2);
  registry.WriteString("login", text);
  registry.WriteString("pswd", text);
  registry.WriteInteger("Top", number);
  registry.WriteInteger("Left", number);
}

[[noreturn]] void WriteForever(const std::string& path) {
  try {
    for (;;) {
      WriteSet(path, "new", 2);
      WriteSet(path, "old", 1);
    }
  } catch (...) {
  }
  std::_Exit(3);
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RegistryFileCrash, AKilledWriterLeavesAWholeFileAndNoTemporaryFiles) {
  std::string pattern = (fs::temp_directory_path() / "regcrash-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const fs::path folder = dir / "kestrion";
  const std::string path = (folder / "registry.reg").string();

  const std::vector<RegValue> old_set = SetOf("old", 1);
  const std::vector<RegValue> new_set = SetOf("new", 2);
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  // Wide enough to land anywhere in a set of four synced writes, and now and then before the
  // child has written anything.
  std::uniform_int_distribution<int> delay_us(0, 40000);
  int mixed = 0;
  int cut_writes = 0;

  for (int kill = 0; kill < kKills; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill) + ", seed " + std::to_string(seed));
    // Each writer starts from the whole old set, so that what it leaves tells how far it got.
    WriteSet(path, "old", 1);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) WriteForever(path);
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own: " << status;

    const std::string text = Read(path);
    const RegFile file = ParseRegFile(text);
    ASSERT_FALSE(file.broken) << text;
    ASSERT_EQ(file.sections.size(), 1u) << text;
    const auto& values = file.sections[0].values;
    ASSERT_EQ(values.size(), 4u) << text;
    // The program writes one value at a time, so a set may be cut between two values, but
    // never inside one: each value is whole and from one set, and what is on file is the
    // state after a whole number of writes (the first few values of one set, the rest of
    // the other).
    std::vector<bool> from_old;
    for (std::size_t i = 0; i < values.size(); ++i) {
      ASSERT_EQ(values[i].name, kNames[i]) << text;
      const auto same = [&](const RegValue& v) {
        return values[i].value.type == v.type && values[i].value.data == v.data;
      };
      ASSERT_TRUE(same(old_set[i]) || same(new_set[i])) << text;
      from_old.push_back(same(old_set[i]));
    }
    const auto changes = std::inner_product(from_old.begin() + 1, from_old.end(), from_old.begin(),
                                            0, std::plus<>(), std::not_equal_to<>());
    ASSERT_LE(changes, 1) << text;
    mixed += changes;

    // The temporary file of the write that was cut short, if any; never more than that one,
    // and as private as the file itself.
    int temporaries = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename();
      if (name == "registry.reg") continue;
      ASSERT_TRUE(name.starts_with(".registry.reg.")) << name;
      struct stat st {};
      ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
      ++temporaries;
      fs::remove(entry.path());
    }
    ASSERT_LE(temporaries, 1);
    cut_writes += temporaries;
  }
  std::cout << "[ crash    ] " << kKills << " kills: " << mixed << " between two values of a set, "
            << cut_writes << " in the middle of a write\n";
  // Kills landed between writes of a set, not only between sets.
  EXPECT_GT(mixed, 0);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrion
