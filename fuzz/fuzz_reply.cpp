// Any body the network brings: the reply reading either gives a status or raises Exception.
// A crash, a leak, undefined behaviour or a hang is a finding. Half the inputs are taken as
// they are; the other half go between the tags of a reply root, so that the reading rules
// see many more well-formed documents than raw bytes would give them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/exception.h"
#include "poll/reply_document.h"
#include "poll/reply_status.h"

namespace {

void Read(const std::string& body) {
  try {
    const auto doc = kestrion::ParseReplyDocument(body);
    (void)kestrion::StatusFromReply(*doc);
  } catch (const kestrion::Exception&) {
    // A reply that cannot be read is an outcome of its own, not a fault.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.empty() || input.front() != '\x01') {
    Read(std::string(input));
    return 0;
  }
  // Status from the second byte, the rest as the root's content.
  constexpr std::string_view kStatus[] = {"ok", "error", "", "OK"};
  const std::string_view status =
      kStatus[input.size() > 1 ? static_cast<unsigned char>(input[1]) % 4 : 0];
  const std::string_view content = input.substr(input.size() > 1 ? 2 : 1);
  Read("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<response status=\"" +
       std::string(status) + "\" summa=\"1\">" + std::string(content) + "</response>");
  Read("<response status=\"" + std::string(status) + "\">" + std::string(content) + "</response>");
  return 0;
}
