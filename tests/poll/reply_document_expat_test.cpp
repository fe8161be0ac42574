// The Linux reply parser on what the shared vectors leave out: documents built to exhaust it,
// an encoding that Wine's MSXML cannot read.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "base/exception.h"
#include "poll/reply_document.h"
#include "poll/reply_status.h"
#include "tests/test_data.h"

namespace kestrion {
namespace {

long MaxResidentKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// In a process of its own with an alarm set, so that a parser that expands entities fails
// this test by name within seconds instead of holding the whole test program: the exit code
// says what went wrong.
[[noreturn]] void RefuseInLittleTimeAndMemory(const std::string& body) {
  alarm(5);
  const long before_kib = MaxResidentKib();
  const auto start = std::chrono::steady_clock::now();
  bool refused = false;
  try {
    StatusFromReply(*ParseReplyDocument(body));
  } catch (const Exception&) {
    refused = true;
  }
  if (!refused) std::_Exit(1);
  if (std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) std::_Exit(2);
  if (MaxResidentKib() - before_kib > 64 * 1024) std::_Exit(3);
  std::_Exit(0);
}

// Entities that would grow a small reply to gigabytes, or read a local file, must end in the
// data error at once: never expanded, never loaded. (Exit 1: read as a reply; 2: slower than
// a second; 3: more than 64 MiB; killed by SIGALRM: still at it after 5 s.)
TEST(ReplyDocumentExpat, EntityBombsAndExternalEntitiesFailFastInLittleMemory) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Without nesting: one 64 KiB entity named 16,384 times, a gigabyte when expanded.
  std::string quadratic = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x \"" +
                          std::string(64 * 1024, 'x') + "\">]><r status=\"error\">";
  for (int i = 0; i < 16 * 1024; ++i) quadratic += "&x;";
  quadratic += "</r>";
  const std::string bodies[] = {test::ReadDataFile("replies/entity_expansion.xml"),
                                test::ReadDataFile("replies/external_entity.xml"), quadratic};
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body.substr(0, 120));
    EXPECT_EXIT(RefuseInLittleTimeAndMemory(body), testing::ExitedWithCode(0), "");
  }
}

// A single-byte encoding other than the server's windows-1251, through the C library's
// converter.
TEST(ReplyDocumentExpat, AReplyInKoi8rIsReadInItsEncoding) {
  // "Баланс: 5 руб." in KOI8-R, where windows-1251 would read other letters.
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"KOI8-R\"?>\n"
      "<r status=\"ok\">\xE2\xC1\xCC\xC1\xCE\xD3: 5 \xD2\xD5\xC2.</r>";
  std::optional<Status> status;
  ASSERT_NO_THROW(status = StatusFromReply(*ParseReplyDocument(body)));
  ASSERT_TRUE(status);
  EXPECT_EQ(status->text, "Баланс: 5 руб.");
  EXPECT_TRUE(status->ok);
}

}  // namespace
}  // namespace kestrion
