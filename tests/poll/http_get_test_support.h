#pragma once

#include <chrono>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "base/exception.h"
#include "poll/http_get.h"

namespace kestrion::test {

// The error HttpGet raises for each address and how long it took, all fetched side by side,
// so that a test of the time bound takes one bound rather than one per address. An empty
// error means HttpGet returned.
inline std::vector<std::pair<std::string, double>> TimedFailures(
    const std::vector<std::string>& addresses) {
  using Clock = std::chrono::steady_clock;
  std::vector<std::future<std::pair<std::string, double>>> runs;
  for (const std::string& address : addresses) {
    runs.push_back(std::async(std::launch::async, [address] {
      const auto start = Clock::now();
      std::string failure;
      try {
        HttpGet(address);
      } catch (const Exception& e) {
        failure = e.what();
      }
      return std::pair{failure, std::chrono::duration<double>(Clock::now() - start).count()};
    }));
  }
  std::vector<std::pair<std::string, double>> results;
  for (auto& run : runs) results.push_back(run.get());
  return results;
}

}  // namespace kestrion::test
