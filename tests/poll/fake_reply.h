#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "poll/reply_status.h"

namespace kestrion::test {

// A reply document made by hand, for the poll without any parser.
class FakeReply : public ReplyDocument {
 public:
  std::map<std::string, std::string> attributes;
  std::vector<Node> children;

  std::optional<std::string> RootAttribute(const std::string& name) const override {
    const auto it = attributes.find(name);
    if (it == attributes.end()) return std::nullopt;
    return it->second;
  }
  std::vector<Node> RootChildren() const override { return children; }
};

}  // namespace kestrion::test
