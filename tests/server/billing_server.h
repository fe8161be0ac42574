#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrion::test {

// One request as the test billing server received it.
struct RecordedRequest {
  std::string method;                                        // "GET"
  std::string target;                                        // path and query as sent
  std::string version;                                       // "HTTP/1.0"
  std::vector<std::pair<std::string, std::string>> headers;  // names as sent
  std::string listener;  // "http", "https", "https-expired", ...
  int remote_port = 0;   // the client's end of the connection
};

// An account of the demo billing route /korvanta/balance_sender.
struct Account {
  std::string login;
  std::string password;
  std::string summa;  // sent as it is, e.g. "123.45"
};

struct BillingServerOptions {
  std::vector<Account> accounts{{"demo", "demo", "123.45"}};
  int http_port = 0;  // port of the "http" listener; 0: the system picks one
  // Balance requests with this login stall, as /stall does; none when empty.
  std::string stall_login;
  // Called with each request as soon as it arrives (before it is answered), on a server
  // thread, one call at a time.
  std::function<void(const RecordedRequest&)> on_request;
};

// A billing server for tests, on 127.0.0.1 with ports picked by the system. See
// billing_server.cpp for the routes it serves.
class BillingServer {
 public:
  // `data_dir` is tests/data (reply documents under replies/). The certificates of the https
  // listeners are made afresh in memory by each server.
  explicit BillingServer(std::string data_dir);
  BillingServer(std::string data_dir, BillingServerOptions options);
  ~BillingServer();  // stops every listener, also ending stalled requests
  BillingServer(const BillingServer&) = delete;
  BillingServer& operator=(const BillingServer&) = delete;

  // Base addresses without a trailing slash, e.g. "http://127.0.0.1:40123".
  std::string http_url() const;
  std::string https_url() const;              // self-signed certificate for 127.0.0.1/localhost
  std::string https_expired_url() const;      // self-signed, expired
  std::string https_wrong_name_url() const;   // self-signed, issued for another host name
  std::string https_client_cert_url() const;  // asks for a client certificate (optional)
  std::string http_reset_url() const;  // like http_url, but a failing body ends with a TCP RST
  // Keeps each connection open after its answer, even for HTTP/1.0; serves /reply/NAME only.
  std::string http_keep_alive_url() const;
  // The https listener, each connection held 8 s before its first byte is passed on.
  std::string https_slow_url() const;

  // Every listener as (name, base address), in the order above; http-keep-alive left out.
  std::vector<std::pair<std::string, std::string>> listeners() const;

  // The self-signed certificates of all https listeners, PEM. A client that trusts them gets
  // through to "https" and "https-client-cert", and fails on the other two for their own
  // reason (expired, wrong name) instead of for the unknown issuer.
  std::string certificates_pem() const;

  std::vector<RecordedRequest> requests() const;
  void clear_requests();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrion::test
