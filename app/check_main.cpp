// kestrion-check: one poll, as the desktop program makes it, printed for scripts and status
// bars. It reads the same settings and never writes them.
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>

#include "app/check_output.h"
#include "app/console.h"
#include "app/library_search.h"
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
  return RunPoll(options);
}
