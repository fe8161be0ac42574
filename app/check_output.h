#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "poll/reply_status.h"

namespace kestrion {

// The console command's contract: what it prints for the status of one poll, and its exit
// status.

enum class CheckFormat { kPlain, kWaybar, kI3blocks, kPolybar };

struct CheckOptions {
  enum class Action { kPoll, kStatUrl, kHelp, kVersion };
  Action action = Action::kPoll;
  CheckFormat format = CheckFormat::kPlain;
  std::optional<double> warn_below;  // --warn-below=AMOUNT
  // --follow: polls at start and every 20 s, printing a status a line, until asked to end.
  bool follow = false;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnchanged = 3;
inline constexpr int kExitUrgent = 33;  // i3blocks' mark of an urgent block

// Parses the command line (without the program name). Raises Exception with a short message
// for anything it does not understand.
CheckOptions ParseCheckArguments(int argc, const char* const* argv);

// An amount as the billing server writes it: an optional sign, digits, and at most one '.'
// or ',' as the decimal mark; nullopt for anything else.
std::optional<double> ParseAmount(std::string_view text);

// True when the status shows a balance (its amount a number) below `warn_below`.
bool IsLowBalance(const Status& status, std::optional<double> warn_below);

// The output for a poll's status (nullopt: the poll left the status unchanged), ending in a
// newline, or "" when there is nothing to print. The text is one line without control
// characters in every format; the status bars get at most what the bar shows of it, and
// waybar gets it escaped for Pango markup, polybar with its tags made inert. A low balance
// keeps its text; waybar gets the class "low", i3blocks and polybar the colour amber.
// `follow`: the output of a command that keeps running, a status a line; i3blocks reads one
// JSON object a line from such a block (format=json), which keeps the colour and urgency.
std::string FormatCheckOutput(const std::optional<Status>& status, CheckFormat format,
                              std::optional<double> warn_below = std::nullopt, bool follow = false);

// Plain output tells the outcomes apart (kExitOk, kExitError, kExitUnchanged). A status bar
// drops the output of a command that exits with anything but its own codes, so waybar's and
// polybar's formats always end with kExitOk (the class or colour tells the outcome) and
// i3blocks' with kExitOk, or kExitUrgent for an error.
int CheckExitStatus(const std::optional<Status>& status, CheckFormat format);

extern const char* const kCheckUsage;

}  // namespace kestrion
