#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

#include "core/bytes.h"
#include "tests/support/test_support.h"

namespace testing_support {

// HttpsAnswer is what the server does with each request once it has recorded it.
struct HttpsAnswer {
  enum class Kind {
    Reply,  // answer `status` with `body`
    Hang,   // never answer; hold the connection until the client leaves
    Reset,  // close the connection with a TCP reset
    Cut,    // answer `status`, declare all of `body` but send only its first half, then close
  };
  Kind kind = Kind::Reply;
  int status = 200;
  std::string contentType = "application/json";
  Bytes body{};
  // When not empty, the body is this command's standard output instead (a command that
  // fails answers 500 with its error output). An argument "{body}" becomes the path of a
  // file holding the request's body, e.g. {"openssl", "ts", "-reply", "-queryfile", "{body}", ...}.
  std::vector<std::string> command{};
};

// HttpsRequest is one request as it came off the wire.
struct HttpsRequest {
  std::string tlsVersion;  // as OpenSSL names it: "TLSv1.2"
  std::string head;        // request line and header lines with their CRLFs, and the blank line
  Bytes body;              // the Content-Length bytes that followed

  std::string RequestLine() const;
  // Headers lists the header lines as sent, in order, without their CRLFs.
  std::vector<std::string> Headers() const;
};

// The certificate the server presents.
enum class HttpsCertificate {
  Trusted,    // for 127.0.0.1 and localhost, issued by the CA of TrustBundle()
  Untrusted,  // for 127.0.0.1 and localhost, issued by a CA nobody trusts
  WrongHost,  // issued by the trusted CA, for another host name only
};

struct HttpsServerOptions {
  HttpsCertificate certificate = HttpsCertificate::Trusted;
  bool tls13Only = false;  // otherwise TLS 1.2 and 1.3 are offered
};

// HttpsServer runs tests/support/https_server.py on 127.0.0.1, on a port the system picks.
// It records every request before answering it, and the answer can change between
// requests. The server is stopped by Stop, by the destructor, and by the death of the test
// process (even a crash), so none is ever left behind.
class HttpsServer {
 public:
  explicit HttpsServer(HttpsServerOptions options = {});
  ~HttpsServer();
  HttpsServer(const HttpsServer&) = delete;
  HttpsServer& operator=(const HttpsServer&) = delete;

  // Start returns false, with the reason in `why`, when the server did not come up.
  [[nodiscard]] bool Start(std::string* why);
  void Stop();

  int port() const { return port_; }
  // Url is "https://127.0.0.1:PORT" followed by `target`.
  std::string Url(const std::string& target = "/") const;
  // SetAnswer applies to requests that arrive after it; until then it answers 200, empty.
  void SetAnswer(const HttpsAnswer& answer);
  // Requests lists what has arrived, oldest first.
  std::vector<HttpsRequest> Requests() const;

  // TrustBundle is the PEM file of the CA behind Trusted and WrongHost.
  static std::string TrustBundle();
  // TrustInThisProcess makes this process's HTTPS clients trust that CA (SSL_CERT_FILE)
  // and keeps a proxy named by the environment off loopback.
  static void TrustInThisProcess();

 private:
  HttpsServerOptions options_;
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace testing_support
