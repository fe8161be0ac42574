// The Linux reply parser against documents built to exhaust it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include <sys/resource.h>

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

// Entities that would grow a small reply to gigabytes, or read a local file, must end in the
// data error at once: never expanded, never loaded.
TEST(ReplyDocumentXml2, EntityBombsAndExternalEntitiesFailFastInLittleMemory) {
  // Without nesting: one 64 KiB entity named 16,384 times, a gigabyte when expanded.
  std::string quadratic = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x \"" +
                          std::string(64 * 1024, 'x') + "\">]><r status=\"error\">";
  for (int i = 0; i < 16 * 1024; ++i) quadratic += "&x;";
  quadratic += "</r>";
  const std::string bodies[] = {test::ReadDataFile("replies/entity_expansion.xml"),
                                test::ReadDataFile("replies/external_entity.xml"), quadratic};
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body.substr(0, 120));
    const long before_kib = MaxResidentKib();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(StatusFromReply(*ParseReplyDocument(body)), Exception);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_LT(MaxResidentKib() - before_kib, 64 * 1024);
  }
}

}  // namespace
}  // namespace kestrion
