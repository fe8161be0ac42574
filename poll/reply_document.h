#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrion {

// The parsed reply document, as much of it as the poll looks at: the root element.
class ReplyDocument {
 public:
  enum class NodeKind { kText, kCData, kElement, kOther };
  struct Node {
    NodeKind kind;
    std::string value;  // UTF-8; the text of text and CDATA nodes
  };

  virtual ~ReplyDocument() = default;
  // nullopt when the root has no such attribute; "" when it is there and empty.
  virtual std::optional<std::string> RootAttribute(const std::string& name) const = 0;
  virtual std::vector<Node> RootChildren() const = 0;
};

// Parses a reply body; the document's own declaration decides its encoding. Raises Exception
// when the body is not a well-formed document with a root element. Never loads a DTD, an
// external entity or anything else from outside the body.
using ReplyParser = std::function<std::unique_ptr<ReplyDocument>(const std::string& body)>;

// The system's XML parser behind ReplyDocument (expat on Linux, MSXML on Windows). Raises
// Exception when `body` is not a well-formed document with a root element.
std::unique_ptr<ReplyDocument> ParseReplyDocument(const std::string& body);

}  // namespace kestrion
