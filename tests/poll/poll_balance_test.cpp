#include "poll/poll_balance.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "poll/api_error.h"
#include "tests/poll/fake_reply.h"
#include "tests/settings/fakes.h"

namespace kestrion {
namespace {

class PollBalanceTest : public ::testing::Test {
 protected:
  PollBalanceTest() {
    store_.SetText("login", "user");
    store_.SetText("pswd", "secret");
    reply_.attributes = {{"status", "ok"}, {"summa", "123.45"}};
    services_.is_internet_connected = [this] { return connected_; };
    services_.settings = &settings_;
    services_.http_get = [this](const std::string& address) {
      requests_.push_back(address);
      if (fail_request_) RaiseApiError("HttpSendRequest", 7, "Couldn't connect to server");
      return std::string("<body/>");
    };
    services_.parse_reply = [this](const std::string& body) -> std::unique_ptr<ReplyDocument> {
      if (fail_parse_) throw Exception("not XML: " + body);
      return std::make_unique<test::FakeReply>(reply_);
    };
    services_.show_status = [this](const Status& status) {
      shown_.push_back(status);
      if (fail_show_once_) {
        fail_show_once_ = false;
        throw Exception("the window is gone");
      }
    };
  }

  std::vector<Status> Poll() {
    shown_.clear();
    PollBalance(services_);
    return shown_;
  }

  test::MemoryRegistry store_;
  test::FakeStringTable strings_;
  Settings settings_{store_.Factory(), strings_};
  test::FakeReply reply_;
  PollServices services_;
  bool connected_ = true;
  bool fail_request_ = false;
  bool fail_parse_ = false;
  bool fail_show_once_ = false;
  std::vector<std::string> requests_;
  std::vector<Status> shown_;
};

using Shown = std::vector<Status>;

TEST_F(PollBalanceTest, ShowsTheBalanceFromOneRequest) {
  EXPECT_EQ(Poll(), (Shown{{"Ваш баланс: 123.45", true, "123.45"}}));
  EXPECT_EQ(requests_, std::vector<std::string>{"http://balance.example.net/korvanta/balance_sender"
                                                "?login=user&pswd=secret&mid=9"});
}

TEST_F(PollBalanceTest, WithoutAConnectionNothingIsReadOrSent) {
  connected_ = false;
  EXPECT_EQ(Poll(), (Shown{{"Интернет отсутствует", false}}));
  EXPECT_EQ(store_.accessors_made, 0);
  EXPECT_TRUE(requests_.empty());
}

TEST_F(PollBalanceTest, IncompleteSettingsSendNothing) {
  store_.SetText("pswd", "");
  EXPECT_EQ(Poll(), (Shown{{"Не введены данные", false}}));
  strings_.texts[kModuleIdId] = "";
  store_.SetText("pswd", "x");
  EXPECT_EQ(Poll(), (Shown{{"Не введены данные", false}}));
  EXPECT_TRUE(requests_.empty());
}

TEST_F(PollBalanceTest, AnyFailureOfTheRequestOrReplyShowsTheDataError) {
  const Shown data_error{{"Ошибка в данных или сервер недоступен", false}};
  fail_request_ = true;
  EXPECT_EQ(Poll(), data_error);
  fail_request_ = false;
  fail_parse_ = true;
  EXPECT_EQ(Poll(), data_error);
  fail_parse_ = false;
  reply_.attributes.erase("summa");
  EXPECT_EQ(Poll(), data_error);
}

TEST_F(PollBalanceTest, AnUnknownStatusLeavesTheShownStatusAlone) {
  reply_.attributes["status"] = "OK";
  EXPECT_EQ(Poll(), Shown{});
  EXPECT_EQ(requests_.size(), 1u);
}

TEST_F(PollBalanceTest, AFailureWhileShowingIsShownAsTheDataError) {
  fail_show_once_ = true;
  EXPECT_EQ(Poll(), (Shown{{"Ваш баланс: 123.45", true, "123.45"},
                           {"Ошибка в данных или сервер недоступен", false}}));
}

TEST_F(PollBalanceTest, AWronglyTypedStoredValueIsShownWithItsOwnTextAndPollingGoesOn) {
  store_.SetRaw("login", kRegDword, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(Poll(), (Shown{{"Invalid data type for 'login'", false}}));
  EXPECT_TRUE(requests_.empty());
  store_.SetText("login", "user");
  store_.SetUnreadable("pswd", kRegSz);
  EXPECT_EQ(Poll(), (Shown{{"Failed to get data for 'pswd'", false}}));
  EXPECT_TRUE(requests_.empty());
  store_.SetText("pswd", "secret");
  EXPECT_EQ(Poll(), (Shown{{"Ваш баланс: 123.45", true, "123.45"}}));
}

}  // namespace
}  // namespace kestrion
