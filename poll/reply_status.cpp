#include "poll/reply_status.h"

#include <algorithm>

#include "base/exception.h"

namespace kestrion {

namespace {

bool IsXmlWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Blank text between tags is formatting, not content; the Windows DOM drops it by default and
// so do we, on every platform alike.
bool IsBlankText(const ReplyDocument::Node& node) {
  return node.kind == ReplyDocument::NodeKind::kText &&
         std::all_of(node.value.begin(), node.value.end(), IsXmlWhitespace);
}

}  // namespace

std::string ReadRootAttribute(const ReplyDocument& doc, const std::string& name) {
  std::optional<std::string> value = doc.RootAttribute(name);
  if (!value) throw Exception("The reply has no attribute '" + name + "'");
  return std::move(*value);
}

std::string ReadRootText(const ReplyDocument& doc) {
  std::vector<ReplyDocument::Node> children = doc.RootChildren();
  std::erase_if(children, IsBlankText);
  if (children.empty()) return {};
  const ReplyDocument::Node& only = children.front();
  if (children.size() == 1 && (only.kind == ReplyDocument::NodeKind::kText ||
                               only.kind == ReplyDocument::NodeKind::kCData)) {
    return only.value;
  }
  throw Exception("The reply's root holds more than one text");
}

std::optional<Status> StatusFromReply(const ReplyDocument& doc) {
  const std::string status = ReadRootAttribute(doc, "status");
  if (status == "ok") {
    std::string text = ReadRootText(doc);
    if (!text.empty()) return Status{std::move(text), true};
    std::string balance = ReadRootAttribute(doc, "summa");
    return Status{kBalancePrefix + balance, true, std::move(balance)};
  }
  if (status == "error") return Status{ReadRootText(doc), false};
  return std::nullopt;
}

}  // namespace kestrion
