#pragma once

#include <stdexcept>
#include <string>

namespace kestrion {

// Every failure the program reports carries a message text; handlers catch this (and anything
// else derived from std::exception) and decide what the user sees.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace kestrion
