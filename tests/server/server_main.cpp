// kestrion-test-server: the test billing server as a command, for black-box tests.
//
//   kestrion-test-server --data DIR [--max-seconds N] [--http-port N]
//                        [--account LOGIN:PASSWORD:SUMMA]... [--log FILE] [--cert-out FILE]
//
//   --data DIR         tests/data (reply documents under DIR/replies)
//   --max-seconds N    ends by itself after N seconds (default 3600)
//   --http-port N      port of the "http" listener (default 0: the system picks one)
//   --account L:P:S    an account of the demo billing; repeatable. Without any, the one
//                      account is demo:demo:123.45. The login ends at the first colon and the
//                      summa starts after the last, so a password may contain colons.
//   --stall-login L    balance requests with the login L stall, as /stall does
//   --log FILE         appends each request to FILE as it arrives (format below)
//   --cert-out FILE    writes the https listeners' certificates (PEM) to FILE, for a client
//                      that should trust them
//
// Once listening it prints one line "NAME URL" per listener (http, https, https-expired,
// https-wrong-name, https-client-cert, http-reset), then "ready", and runs until SIGTERM,
// SIGINT or the end of --max-seconds; it then exits with status 0. A wrong command line
// exits with 2, a failure to start with 1.
//
// Log format: one line per request, tab-separated fields:
//   LISTENER <TAB> REQUEST-LINE [<TAB> Name: value]...
// e.g. (tabs shown as \t) "http\tGET /korvanta/balance_sender?login=demo HTTP/1.0\t
// Pragma: no-cache\tUser-Agent: Kestrion". The request line is method, target and version
// as sent, separated by single spaces, so `grep -F 'GET /x HTTP/1.0'` finds it. Headers come
// in the order of their names, compared without case. A backslash, tab, CR or LF inside a
// field is written \\, \t, \r, \n.

#include "tests/server/billing_server.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <cerrno>
#include <csignal>
#include <ctime>

namespace {

using kestrion::test::BillingServer;
using kestrion::test::BillingServerOptions;
using kestrion::test::RecordedRequest;

constexpr const char* kUsage =
    "usage: kestrion-test-server --data DIR [--max-seconds N] [--http-port N]\n"
    "                            [--account LOGIN:PASSWORD:SUMMA]... [--stall-login LOGIN]\n"
    "                            [--log FILE] [--cert-out FILE]\n";

struct UsageError {
  std::string message;
};

std::optional<long> ParseLong(std::string_view text) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

std::string EscapeField(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string LogLine(const RecordedRequest& request) {
  std::string line = EscapeField(request.listener) + '\t' +
                     EscapeField(request.method + ' ' + request.target + ' ' + request.version);
  for (const auto& [name, value] : request.headers) {
    line += '\t' + EscapeField(name) + ": " + EscapeField(value);
  }
  return line + '\n';
}

// Waits for SIGINT or SIGTERM (blocked in every thread) or until `limit` has passed.
void WaitForEnd(const sigset_t& signals, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>((left - seconds) / std::chrono::nanoseconds(1))};
    if (sigtimedwait(&signals, nullptr, &timeout) > 0 || errno != EINTR) return;
  }
}

int Run(int argc, char** argv) {
  std::string data_dir;
  long max_seconds = 3600;
  std::string log_path;
  std::string cert_path;
  BillingServerOptions options;
  options.accounts.clear();

  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (i + 1 >= argc) throw UsageError{"missing value after " + std::string(option)};
    const std::string value = argv[++i];
    if (option == "--data") {
      data_dir = value;
    } else if (option == "--max-seconds" || option == "--http-port") {
      const std::optional<long> number = ParseLong(value);
      if (!number || (option == "--http-port" && *number > 65535)) {
        throw UsageError{"bad number for " + std::string(option) + ": " + value};
      }
      if (option == "--max-seconds") {
        max_seconds = *number;
      } else {
        options.http_port = static_cast<int>(*number);
      }
    } else if (option == "--account") {
      const size_t first = value.find(':');
      const size_t last = value.rfind(':');
      if (first == std::string::npos || first == last) {
        throw UsageError{"an account is LOGIN:PASSWORD:SUMMA, not " + value};
      }
      options.accounts.push_back({value.substr(0, first), value.substr(first + 1, last - first - 1),
                                  value.substr(last + 1)});
    } else if (option == "--stall-login") {
      options.stall_login = value;
    } else if (option == "--log") {
      log_path = value;
    } else if (option == "--cert-out") {
      cert_path = value;
    } else {
      throw UsageError{"unknown option " + std::string(option)};
    }
  }
  if (data_dir.empty()) throw UsageError{"--data is required"};
  if (options.accounts.empty()) options.accounts = BillingServerOptions{}.accounts;

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(nullptr, std::fclose);
  if (!log_path.empty()) {
    log.reset(std::fopen(log_path.c_str(), "a"));
    if (!log) throw std::runtime_error("cannot open " + log_path);
    options.on_request = [file = log.get()](const RecordedRequest& request) {
      std::fputs(LogLine(request).c_str(), file);
      std::fflush(file);  // a shell test reads the file while the server runs
    };
  }

  // Blocked before the server's threads start, so that they inherit the mask and the
  // signals reach only WaitForEnd.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const BillingServer server(data_dir, std::move(options));
  if (!cert_path.empty()) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(cert_path.c_str(), "w"),
                                                         std::fclose);
    const std::string pem = server.certificates_pem();
    if (!file || std::fwrite(pem.data(), 1, pem.size(), file.get()) != pem.size()) {
      throw std::runtime_error("cannot write " + cert_path);
    }
  }
  for (const auto& [name, url] : server.listeners()) std::cout << name << ' ' << url << '\n';
  std::cout << "ready" << std::endl;

  WaitForEnd(signals, std::chrono::seconds(max_seconds));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "kestrion-test-server: " << error.message << '\n' << kUsage;
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "kestrion-test-server: " << error.what() << '\n';
    return 1;
  }
}
