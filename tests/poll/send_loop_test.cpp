#include "poll/send_loop.h"

#include <gtest/gtest.h>

#include <deque>

#include "base/exception.h"

namespace kestrion {
namespace {

struct Recorder {
  std::deque<SendOutcome> outcomes;
  int sends = 0;
  int issuer_ignored = 0;
  int no_client_cert = 0;

  void Run() {
    RunSendLoop(
        [this] {
          ++sends;
          SendOutcome next = outcomes.front();
          if (outcomes.size() > 1) outcomes.pop_front();
          return next;
        },
        [this] { ++issuer_ignored; }, [this] { ++no_client_cert; });
  }
};

TEST(SendLoop, AnUntrustedIssuerIsIgnoredAndTheRequestSentAgain) {
  Recorder r{{{SendOutcome::kUntrustedIssuer, 12045, {}}, {SendOutcome::kSent, 0, {}}}};
  r.Run();
  EXPECT_EQ(r.sends, 2);
  EXPECT_EQ(r.issuer_ignored, 1);
}

TEST(SendLoop, AClientCertificateRequestGetsNone) {
  Recorder r{{{SendOutcome::kClientCertNeeded, 12044, {}},
              {SendOutcome::kUntrustedIssuer, 12045, {}},
              {SendOutcome::kSent, 0, {}}}};
  r.Run();
  EXPECT_EQ(r.sends, 3);
  EXPECT_EQ(r.no_client_cert, 1);
  EXPECT_EQ(r.issuer_ignored, 1);
}

TEST(SendLoop, GivesUpAfterFiveSends) {
  Recorder r{{{SendOutcome::kClientCertNeeded, 12044, "Client cert needed"}}};
  try {
    r.Run();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "HttpSendRequest failed with error 12044: Client cert needed");
  }
  EXPECT_EQ(r.sends, 5);
}

TEST(SendLoop, AnyOtherErrorEndsItAtOnce) {
  Recorder r{{{SendOutcome::kFailed, 7, "Couldn't connect to server"}}};
  try {
    r.Run();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "HttpSendRequest failed with error 7: Couldn't connect to server");
  }
  EXPECT_EQ(r.sends, 1);
}

}  // namespace
}  // namespace kestrion
