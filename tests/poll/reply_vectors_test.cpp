// The shared reply documents through this platform's XML parser and the reading rules.
#include <gtest/gtest.h>

#include "base/exception.h"
#include "poll/reply_document.h"
#include "poll/reply_status.h"
#include "tests/test_data.h"

namespace kestrion {
namespace {

TEST(ReplyVectors, EveryDocumentEndsInItsOutcome) {
  const auto rows = test::ReadVectors("replies.tsv", false);
  ASSERT_GE(rows.size(), 25u);
  for (const auto& row : rows) {
    ASSERT_GE(row.size(), 2u);
    const std::string& file = row[0];
    const std::string& outcome = row[1];
    const std::string expected_text = row.size() > 2 ? row[2] : "";
    SCOPED_TRACE(file);
    const std::string body = test::ReadDataFile("replies/" + file);
    if (outcome == "failure") {
      EXPECT_THROW(StatusFromReply(*ParseReplyDocument(body)), Exception);
      continue;
    }
    std::optional<Status> status;
    ASSERT_NO_THROW(status = StatusFromReply(*ParseReplyDocument(body)));
    if (outcome == "unchanged") {
      EXPECT_EQ(status, std::nullopt);
    } else {
      ASSERT_TRUE(status);
      EXPECT_EQ(status->text, expected_text);
      EXPECT_EQ(status->ok, outcome == "ok");
    }
  }
}

TEST(ReplyDocument, ABodyWithoutARootIsRefused) {
  EXPECT_THROW(ParseReplyDocument("<?xml version=\"1.0\"?>"), Exception);
  EXPECT_THROW(ParseReplyDocument(std::string(3, '\xFF')), Exception);
}

TEST(ReplyDocument, ABodyNotInItsEncodingIsRefusedWithoutPrintingAnything) {
  // UTF-16 by its byte order mark, with a high surrogate that no low one follows.
  const std::string body("\xFF\xFE<\0r\0>\0\0\xD8<\0/\0r\0>\0", 18);
  // kestrion-check's output is read by status bars and scripts: the parser must not add to it.
  testing::internal::CaptureStderr();
  EXPECT_THROW(ParseReplyDocument(body), Exception);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace kestrion
