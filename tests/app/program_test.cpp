#include "app/program.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace kestrion {
namespace {

std::vector<std::string> events;

// Forms that log what happens to them and check their global as it happens.
template <const char* kName>
struct Form {
  static Form* global;
  Form() { events.push_back(std::string("make ") + kName); }
  ~Form() { events.push_back(std::string("destroy ") + kName + (global ? " (still set)" : "")); }
  void FormCreate() {
    events.push_back(std::string("create ") + kName + (global == this ? "" : " (not set)"));
    if (std::string(kName) == "bar") throw std::runtime_error("no bar");
  }
};
template <const char* kName>
Form<kName>* Form<kName>::global = nullptr;

constexpr char kBar[] = "bar";
constexpr char kAbout[] = "about";
constexpr char kSettings[] = "settings";

struct LoggingFront : ProgramFront {
  void ShowException(const std::string& message) override { events.push_back("shown " + message); }
  void BeforeWindows() override { events.push_back("before"); }
  void Run() override { events.push_back("run"); }
  void LoopEnded() override { events.push_back("loop ended"); }
};

TEST(RunProgram, MakesTheFormsInOrderSurvivesAFailingHandlerAndDestroysInReverse) {
  LoggingFront front;
  RunProgram(front, Form<kBar>::global, Form<kAbout>::global, Form<kSettings>::global);
  EXPECT_EQ(events, (std::vector<std::string>{"before", "make bar", "create bar", "shown no bar",
                                              "make about", "make settings", "create settings",
                                              "run", "loop ended", "destroy settings",
                                              "destroy about", "destroy bar"}));
  EXPECT_EQ(Form<kBar>::global, nullptr);
}

}  // namespace
}  // namespace kestrion
