#include "app/check_output.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "bar/status.h"
#include "base/exception.h"
#include "base/text_codec.h"

namespace kestrion {

namespace {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out.push_back(c);
        }
    }
  }
  return out + "\"";
}

// A 0x00BBGGRR colour as i3blocks takes it, "#RRGGBB".
std::string HtmlColour(std::uint32_t bgr) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF,
                (bgr >> 16) & 0xFF);
  return text;
}

bool IsControlOrLineEnd(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029;
}

// The server's text, or anyone's on a plain-http path, as a terminal or a status bar may take
// it: one line of valid UTF-8. Control characters (C0, DEL, C1), line ends and tabs become a
// space, so no escape sequence reaches a terminal and no host reads a second field from a
// second line; a byte that is not UTF-8 becomes U+FFFD.
std::string ShownLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t start = pos;
    const std::optional<char32_t> cp = NextCodePoint(text, pos);
    if (!cp) {
      out += "\xEF\xBF\xBD";
    } else if (IsControlOrLineEnd(*cp)) {
      out += ' ';
    } else {
      out.append(text, start, pos - start);
    }
  }
  return out;
}

// Waybar takes a custom module's text and tooltip for Pango markup.
std::string MarkupEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// Polybar reads "%{" as the start of a tag, actions that run commands among them, and the
// version Debian ships has no escape for it: a word joiner after each '%' keeps the text as it
// looks and no tag in it.
std::string PolybarInert(std::string_view text) {
  std::string out;
  for (const char c : text) {
    out.push_back(c);
    if (c == '%') out += "\u2060";
  }
  return out;
}

}  // namespace

const char* const kCheckUsage =
    "Usage: kestrion-check [--format=plain|waybar|i3blocks|polybar] [--warn-below=AMOUNT]\n"
    "                      [--follow] [--stat-url] [--help] [--version]\n"
    "Asks the billing server for the balance once and prints the status.\n"
    "  --format=plain       the status text (default)\n"
    "  --format=waybar      one JSON object with text, tooltip and class\n"
    "  --format=i3blocks    full text, short text and colour, one a line\n"
    "  --format=polybar     the text in its colour, with polybar's colour tags\n"
    "  --warn-below=AMOUNT  a balance below AMOUNT is low: waybar's class \"low\", amber\n"
    "                       elsewhere; the text and the exit status stay as for ok\n"
    "  --follow             keep running: poll now and every 20 seconds, and at once on\n"
    "                       SIGUSR1 or a real-time signal; print each status as one line\n"
    "                       (i3blocks: a JSON object); end on SIGTERM, SIGINT, SIGHUP,\n"
    "                       Ctrl+C or when the output is closed\n"
    "  --stat-url           print the address of the web statistics page and exit\n"
    "Exit status: 0 ok, 1 error, 3 status unchanged, 2 bad command line; with\n"
    "--format=waybar or polybar 0 for any status, with --format=i3blocks 0, or 33 for\n"
    "an error; with --follow 0 once it is asked to end.\n";

CheckOptions ParseCheckArguments(int argc, const char* const* argv) {
  CheckOptions options;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.action = CheckOptions::Action::kHelp;
    } else if (arg == "--version") {
      options.action = CheckOptions::Action::kVersion;
    } else if (arg == "--stat-url") {
      options.action = CheckOptions::Action::kStatUrl;
    } else if (arg == "--format=plain") {
      options.format = CheckFormat::kPlain;
    } else if (arg == "--format=waybar") {
      options.format = CheckFormat::kWaybar;
    } else if (arg == "--format=i3blocks") {
      options.format = CheckFormat::kI3blocks;
    } else if (arg == "--format=polybar") {
      options.format = CheckFormat::kPolybar;
    } else if (arg == "--follow") {
      options.follow = true;
    } else if (arg.starts_with("--warn-below=")) {
      options.warn_below = ParseAmount(arg.substr(arg.find('=') + 1));
      if (!options.warn_below) {
        throw Exception("'" + std::string(arg) + "': the amount is a number, such as 100 or 99.50");
      }
    } else if (arg.starts_with("--format")) {
      throw Exception("unknown format '" + std::string(arg) +
                      "': use --format=plain, waybar, i3blocks or polybar");
    } else {
      throw Exception("unknown argument '" + std::string(arg) + "'");
    }
  }
  return options;
}

std::optional<double> ParseAmount(std::string_view text) {
  std::string number(text);
  std::size_t digits = 0;
  std::size_t marks = 0;
  for (std::size_t i = 0; i < number.size(); ++i) {
    char& c = number[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' || c == ',') {
      c = '.';
      ++marks;
    } else if (!(i == 0 && (c == '-' || c == '+'))) {
      return std::nullopt;
    }
  }
  if (digits == 0 || marks > 1) return std::nullopt;
  const char* first = number.data() + (number[0] == '+' ? 1 : 0);
  double value = 0;
  const auto [end, error] =
      std::from_chars(first, number.data() + number.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return value;
}

bool IsLowBalance(const Status& status, std::optional<double> warn_below) {
  if (!warn_below || !status.ok || !status.balance) return false;
  const std::optional<double> amount = ParseAmount(*status.balance);
  return amount && *amount < *warn_below;
}

std::string FormatCheckOutput(const std::optional<Status>& status, CheckFormat format,
                              std::optional<double> warn_below, bool follow) {
  const bool low = status && IsLowBalance(*status, warn_below);
  const std::string line = status ? ShownLine(status->text) : std::string();
  switch (format) {
    case CheckFormat::kPlain:
      return status ? line + "\n" : std::string();
    case CheckFormat::kWaybar:
      // Waybar wants an object every time; an unchanged status gets the tip of a program that
      // has shown nothing yet.
      if (!status) {
        return R"({"text":"","tooltip":"Kestrion","class":"unchanged"})"
               "\n";
      }
      return "{\"text\":" + JsonString(MarkupEscape(BarText(line))) +
             ",\"tooltip\":" + JsonString(MarkupEscape(StatusTip(line))) + ",\"class\":\"" +
             (low          ? "low"
              : status->ok ? "ok"
                           : "error") +
             "\"}\n";
    case CheckFormat::kI3blocks: {
      if (!status) return {};
      const std::string text = BarText(line);
      const std::string colour = HtmlColour(low ? kLowColour : StatusColour(status->ok));
      if (!follow) return text + "\n" + text + "\n" + colour + "\n";
      return "{\"full_text\":" + JsonString(text) + ",\"short_text\":" + JsonString(text) +
             ",\"color\":\"" + colour + "\"" + (status->ok ? "" : ",\"urgent\":true") + "}\n";
    }
    case CheckFormat::kPolybar:
      if (!status) return {};
      return "%{F" + HtmlColour(low ? kLowColour : StatusColour(status->ok)) + "}" +
             PolybarInert(BarText(line)) + "%{F-}\n";
  }
  return {};
}

int CheckExitStatus(const std::optional<Status>& status, CheckFormat format) {
  switch (format) {
    case CheckFormat::kPlain:
      break;
    case CheckFormat::kWaybar:
    case CheckFormat::kPolybar:
      return kExitOk;
    case CheckFormat::kI3blocks:
      return status && !status->ok ? kExitUrgent : kExitOk;
  }
  if (!status) return kExitUnchanged;
  return status->ok ? kExitOk : kExitError;
}

}  // namespace kestrion
