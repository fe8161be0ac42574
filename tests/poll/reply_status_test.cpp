#include "poll/reply_status.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "tests/poll/fake_reply.h"

namespace kestrion {
namespace {

using test::CData;
using test::Comment;
using test::Element;
using test::FakeReply;
using test::Text;

TEST(ReplyRules, AbsentAttributeIsAnErrorButAnEmptyOneIsNot) {
  FakeReply doc;
  doc.attributes = {{"status", "ok"}, {"summa", ""}};
  EXPECT_EQ(StatusFromReply(doc), (Status{"Ваш баланс: ", true, ""}));
  doc.attributes.erase("summa");
  EXPECT_THROW(StatusFromReply(doc), Exception);
  doc.attributes.clear();
  EXPECT_THROW(StatusFromReply(doc), Exception);
}

TEST(ReplyRules, RootTextIsItsOneTextOrCDataChild) {
  FakeReply doc;
  EXPECT_EQ(ReadRootText(doc), "");
  doc.children = {CData("<x>")};
  EXPECT_EQ(ReadRootText(doc), "<x>");
  doc.children = {Text("a"), Text("b")};
  EXPECT_THROW(ReadRootText(doc), Exception);
  doc.children = {Element()};
  EXPECT_THROW(ReadRootText(doc), Exception);
  doc.children = {Comment()};
  EXPECT_THROW(ReadRootText(doc), Exception);
}

TEST(ReplyRules, BlankTextBetweenTagsIsNotContent) {
  FakeReply doc;
  doc.children = {Text("\n  "), CData(" x "), Text("\r\n\t")};
  EXPECT_EQ(ReadRootText(doc), " x ");
  doc.children = {Text("  "), Element(), Text("  ")};
  EXPECT_THROW(ReadRootText(doc), Exception);
  // Blank CDATA was written on purpose and stays.
  doc.children = {CData("  ")};
  EXPECT_EQ(ReadRootText(doc), "  ");
}

TEST(ReplyRules, StatusIsComparedByteForByte) {
  FakeReply doc;
  doc.attributes = {{"summa", "1"}};
  for (const char* status : {"OK", "Ok", "ok ", "", "error ", "ERROR", "wait"}) {
    doc.attributes["status"] = status;
    EXPECT_EQ(StatusFromReply(doc), std::nullopt) << '"' << status << '"';
  }
}

TEST(ReplyRules, OkTextWinsWithoutReadingSummaAndErrorTextMayBeEmpty) {
  FakeReply doc;
  doc.attributes = {{"status", "ok"}};
  doc.children = {Text("Абонент заблокирован")};
  EXPECT_EQ(StatusFromReply(doc), (Status{"Абонент заблокирован", true}));
  doc.attributes["status"] = "error";
  EXPECT_EQ(StatusFromReply(doc), (Status{"Абонент заблокирован", false}));
  doc.children.clear();
  EXPECT_EQ(StatusFromReply(doc), (Status{"", false}));
  doc.children = {Element()};
  EXPECT_THROW(StatusFromReply(doc), Exception);
}

}  // namespace
}  // namespace kestrion
