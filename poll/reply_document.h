#pragma once

#include <memory>
#include <string>

#include "poll/reply.h"

namespace kestrion {

// The system's XML parser behind ReplyDocument (libxml2 on Linux, MSXML on Windows). Raises
// Exception when `body` is not a well-formed document with a root element.
std::unique_ptr<ReplyDocument> ParseReplyDocument(const std::string& body);

}  // namespace kestrion
