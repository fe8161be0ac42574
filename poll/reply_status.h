#pragma once

#include <optional>
#include <string>

#include "poll/reply_document.h"

namespace kestrion {

// What an ok status without a text of its own shows before the balance.
inline constexpr const char* kBalancePrefix = "Ваш баланс: ";

// What a poll shows: a one-line text with an ok flag, and where the text shows the balance,
// the balance as the reply gave it ("summa", verbatim), for those who read the amount.
struct Status {
  std::string text;
  bool ok = false;
  std::optional<std::string> balance = std::nullopt;
  bool operator==(const Status&) const = default;
};

// The root's attribute; raises Exception when it is absent.
std::string ReadRootAttribute(const ReplyDocument& doc, const std::string& name);

// The root's text: "" with no children, else the value of its one text or CDATA child.
// Text children of white space alone do not count. Anything else raises Exception.
std::string ReadRootText(const ReplyDocument& doc);

// The status a reply asks for: status "ok" with a text shows the text, "ok" without one shows
// the balance from "summa", "error" shows the text as an error; any other status shows
// nothing (nullopt). A reply that cannot be read this way raises Exception.
std::optional<Status> StatusFromReply(const ReplyDocument& doc);

}  // namespace kestrion
