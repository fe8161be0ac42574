#include "poll/send_loop.h"

#include "poll/api_error.h"

namespace kestrion {

void RunSendLoop(const std::function<SendOutcome()>& send,
                 const std::function<void()>& ignore_untrusted_issuer,
                 const std::function<void()>& select_no_client_cert) {
  SendOutcome last;
  for (int attempt = 1; attempt <= kMaxSends; ++attempt) {
    last = send();
    switch (last.kind) {
      case SendOutcome::kSent:
        return;
      case SendOutcome::kUntrustedIssuer:
        ignore_untrusted_issuer();
        break;
      case SendOutcome::kClientCertNeeded:
        select_no_client_cert();
        break;
      case SendOutcome::kFailed:
        RaiseApiError("HttpSendRequest", last.code, last.system_text);
    }
  }
  RaiseApiError("HttpSendRequest", last.code, last.system_text);
}

}  // namespace kestrion
