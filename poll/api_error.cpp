#include "poll/api_error.h"

#include <vector>

#include "base/exception.h"
#include "poll/bounded_format.h"

namespace kestrion {

std::string ApiErrorMessage(const std::string& call, int code, const std::string& system_text) {
  // The fixed part of the format and a code of at most 11 characters fit into the 40 spare.
  std::vector<char> buffer(system_text.size() + call.size() + 40, '\0');
  BoundedFormat(buffer.data(), buffer.size(), "%s failed with error %d: %s", call.c_str(), code,
                system_text.c_str());
  return buffer.data();
}

void RaiseApiError(const std::string& call, int code, const std::string& system_text) {
  throw Exception(ApiErrorMessage(call, code, system_text));
}

}  // namespace kestrion
