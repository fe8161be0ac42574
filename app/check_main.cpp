// kestrion-check: one poll, as the desktop program makes it, printed for scripts and status
// bars, or with --follow a poll every 20 s for as long as a status bar keeps it running. It
// reads the same settings and never writes them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "app/check_output.h"
#include "app/console.h"
#include "app/follow.h"
#include "app/library_search.h"
#include "bar/form_main.h"
#include "base/exception.h"
#include "base/text_codec.h"
#include "poll/poll_balance.h"
#include "poll/program_poll.h"
#include "settings/program_registry.h"
#include "settings/settings.h"

namespace {

using kestrion::CheckOptions;

int RunPoll(const CheckOptions& options) {
  kestrion::Settings settings(kestrion::OpenProgramRegistry, kestrion::ProgramStringTable());
  std::optional<kestrion::Status> status;
  kestrion::PollWithSystem(settings, [&status](const kestrion::Status& shown) { status = shown; });
  std::cout << kestrion::FormatCheckOutput(status, options.format, options.warn_below)
            << std::flush;
  return kestrion::CheckExitStatus(status, options.format);
}

// Writes and flushes at once, for a status bar that reads line by line; false when the output
// is gone (the status bar has ended or restarted).
bool WriteNow(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
         std::fflush(stdout) == 0;
}

// --follow: the desktop program's poll thread and kept client, its hand-overs run by a loop
// on this thread, the settings read again at every poll and never written.
int Follow(const CheckOptions& options) {
  // As long-lived as the process: a signal may still ask it to end while the process ends.
  static auto* const follow_loop =
      new kestrion::FollowLoop(std::chrono::milliseconds(kestrion::kTimerIntervalMs));
  kestrion::FollowLoop& loop = *follow_loop;
  kestrion::WatchFollowRequests(loop);
  kestrion::Settings settings(kestrion::OpenProgramRegistry, kestrion::ProgramStringTable());
  kestrion::PollFront front;
  front.settings = [&settings] { return &settings; };
  front.show_status = [&loop, &options](const kestrion::Status& status) {
    const std::string line =
        kestrion::FormatCheckOutput(status, options.format, options.warn_below, true);
    if (!WriteNow(line)) loop.End();
  };
  // As long-lived as the process too, like the desktop program's poll thread. There is no
  // window to keep responsive here: the poll's first and last steps (reading the settings,
  // printing the line) run on the poll thread itself, and the loop only times the polls and
  // takes the requests to refresh or end.
  static kestrion::TMainThread* const thread = kestrion::StartPollThread(
      [](const std::function<void()>& work) {
        work();
        return true;
      },
      front);
  loop.Run([] { thread->Resume(); }, [] { thread->ResumeForNewSettings(); });
  // A request under way is abandoned: the process ends without waiting for it, nor for the
  // network library's clean-up at exit, as the desktop program does.
  if (!kestrion::EndPollThread(thread)) {
    std::fflush(nullptr);
    std::_Exit(kestrion::kExitOk);
  }
  return kestrion::kExitOk;
}

int PrintStatUrl() {
  kestrion::Settings settings(kestrion::OpenProgramRegistry, kestrion::ProgramStringTable());
  try {
    // An address without the login and password (none stored, or the settings could not be
    // read) opens no statistics: an error, as the poll reports it, never a success.
    if (!settings.ReadSettings()) {
      std::cerr << "kestrion-check: " << kestrion::kNoSettingsText << "\n";
      return kestrion::kExitError;
    }
  } catch (const std::exception& e) {
    std::cerr << "kestrion-check: " << e.what() << "\n";
    return kestrion::kExitError;
  }
  std::cout << kestrion::Cp1251ToUtf8(settings.GetStatURL()) << "\n" << std::flush;
  return kestrion::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  kestrion::RestrictLibrarySearch();
  kestrion::PrepareConsoleOutput();
  CheckOptions options;
  try {
    options = kestrion::ParseCheckArguments(argc - 1, argv + 1);
  } catch (const kestrion::Exception& e) {
    std::cerr << "kestrion-check: " << e.what() << "\n"
              << "Try 'kestrion-check --help'.\n";
    return kestrion::kExitUsage;
  }
  switch (options.action) {
    case CheckOptions::Action::kHelp:
      std::cout << kestrion::kCheckUsage;
      return kestrion::kExitOk;
    case CheckOptions::Action::kVersion:
      std::cout << "kestrion-check " KESTRION_VERSION "\n";
      return kestrion::kExitOk;
    case CheckOptions::Action::kStatUrl:
      return PrintStatUrl();
    case CheckOptions::Action::kPoll:
      break;
  }
  return options.follow ? Follow(options) : RunPoll(options);
}
