#pragma once

#include <functional>
#include <string>

namespace kestrion {

// How one send of the request ended, as the platform's HTTP client classifies it.
struct SendOutcome {
  enum Kind {
    kSent,              // the server answered
    kUntrustedIssuer,   // the certificate's issuer is not trusted: ignore that and send again
    kClientCertNeeded,  // the server wants a client certificate: offer none and send again
    kFailed,            // anything else
  };
  Kind kind = kSent;
  int code = 0;             // the library's code, for the message
  std::string system_text;  // the library's text for it
};

inline constexpr int kMaxSends = 5;

// Sends until the server answers, adjusting the request between sends as the outcome asks,
// at most kMaxSends times. Raises "HttpSendRequest failed with error ..." on kFailed or when
// a sixth send would be needed.
void RunSendLoop(const std::function<SendOutcome()>& send,
                 const std::function<void()>& ignore_untrusted_issuer,
                 const std::function<void()>& select_no_client_cert);

}  // namespace kestrion
