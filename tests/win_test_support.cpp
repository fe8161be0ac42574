#include "tests/win_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrion::test {

namespace {

std::string StateFile(const std::string& name) {
  const char* state = std::getenv("KESTRION_SERVER_STATE");
  return std::string(state != nullptr ? state : ".") + "/" + name;
}

}  // namespace

std::string ServerUrl(const std::string& listener) {
  std::ifstream urls(StateFile("urls"));
  std::string name, url;
  while (urls >> name >> url) {
    if (name == listener) return url;
  }
  ADD_FAILURE() << "no listener " << listener << " in " << StateFile("urls");
  return "http://127.0.0.1:9";
}

std::vector<std::string> ServerRequests() {
  std::ifstream log(StateFile("requests.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

}  // namespace kestrion::test
