// The libcurl transport against a real HTTPS server on loopback.
#include "net/http.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "core/sha256.h"
#include "tests/support/https_server.h"

namespace {

using testing_support::HttpsAnswer;
using testing_support::HttpsCertificate;
using testing_support::HttpsServer;

class Http : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { HttpsServer::TrustInThisProcess(); }

  static HttpsServer* Started(HttpsServer* server) {
    std::string why;
    EXPECT_TRUE(server->Start(&why)) << why;
    return server;
  }

  static std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  // Each header once and nothing else: no Expect, no second Accept, no chunked framing.
  static void ExpectHeaders(const testing_support::HttpsRequest& sent, const std::string& host,
                            const std::string& type, const std::string& accept, size_t length) {
    EXPECT_EQ(Sorted(sent.Headers()),
              Sorted({"Host: " + host, "User-Agent: TalvenNet/1.0", "Content-Type: " + type,
                      "Accept: " + accept, "Content-Length: " + std::to_string(length)}));
  }
};

TEST_F(Http, PostsJsonAsWrittenAndReturnsEveryStatus) {
  HttpsServer server;
  ASSERT_TRUE(Started(&server)->port());
  const std::string port = std::to_string(server.port());
  // The authenticator's body: escaped quotes, UTF-8 that must not be touched, and a
  // certificate of a real one's size.
  const Bytes body = ToBytes(
      "{\"datos\":\"{\\\"dni\\\":\\\"12345678\\\",\\\"cn\\\":\\\"PE\xC3\x91"
      "A ANA\\\",\\\"certificado\\\":\\\"" +
      std::string(2400, 'Q') + "\\\"}\"}");
  struct Case {
    std::string url;
    std::string target;  // expected on the request line
    std::string host;    // expected Host header
    int status;
    std::string answer;
  } cases[] = {
      {server.Url("/api/auth/nimbo"), "/api/auth/nimbo", "127.0.0.1:" + port, 200, "{\"ok\":true}"},
      {server.Url("/api/auth/nimbo?codigo=7&v=a%20b"), "/api/auth/nimbo?codigo=7&v=a%20b",
       "127.0.0.1:" + port, 401, "Firma rechazada"},
      {"https://localhost:" + port, "/", "localhost:" + port, 500, "fallo interno"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const size_t before = server.Requests().size();
    server.SetAnswer({.status = c.status, .body = ToBytes(c.answer)});
    const HttpResponse response = HttpPostJson(c.url, body, 5000);
    EXPECT_EQ(response.error, "");
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(ToText(response.body), c.answer);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), before + 1);
    const auto& sent = requests.back();
    EXPECT_EQ(sent.tlsVersion, "TLSv1.2");
    EXPECT_EQ(sent.RequestLine(), "POST " + c.target + " HTTP/1.1");
    ExpectHeaders(sent, c.host, "application/json", "application/json", body.size());
    EXPECT_EQ(sent.body, body);
  }

  // Once the headers are in, a body cut short is not a transport failure: the server has
  // given its verdict, and the caller gets it with what arrived.
  server.SetAnswer({.kind = HttpsAnswer::Kind::Cut, .body = ToBytes("0123456789")});
  const HttpResponse cut = HttpPostJson(server.Url("/api/auth/nimbo"), body, 5000);
  EXPECT_EQ(cut.error, "");
  EXPECT_EQ(cut.status, 200);
  EXPECT_EQ(ToText(cut.body), "01234");

  // Refused before any connection: the server sees nothing.
  const HttpResponse ftp = HttpPostJson("ftp://127.0.0.1:" + port + "/voto", body);
  EXPECT_EQ(ftp.error, "Solo se admite http/https.");
  EXPECT_EQ(ftp.status, 0);
  EXPECT_EQ(server.Requests().size(), std::size(cases) + 1);
}

TEST_F(Http, PostsBinaryBodiesAsTheirMediaType) {
  HttpsServer server;
  ASSERT_TRUE(Started(&server)->port());
  // The answer is computed from what arrived, as a time-stamp authority's would be.
  server.SetAnswer({.contentType = "application/timestamp-reply",
                    .command = {"openssl", "dgst", "-sha256", "-binary", "{body}"}});
  // Every byte value, and more than the size from which libcurl would wait for 100-continue.
  Bytes body;
  for (int i = 0; i < (1 << 20) + 4096; ++i) body.push_back(static_cast<uint8_t>(i * 7));
  const HttpResponse response = HttpPostBinary(server.Url("/tsa"), body, "application/timestamp-query",
                                               "application/timestamp-reply", 5000);
  EXPECT_EQ(response.error, "");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, Sha256Bytes(body));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  ExpectHeaders(requests[0], "127.0.0.1:" + std::to_string(server.port()), "application/timestamp-query",
                "application/timestamp-reply", body.size());
  EXPECT_EQ(requests[0].body, body);
}

// Revocation lists come by GET, with nothing but Accept, and under a size limit: a body of
// exactly the limit is whole, one byte more is refused with what had arrived.
TEST_F(Http, GetsUnderASizeLimit) {
  HttpsServer server;
  ASSERT_TRUE(Started(&server)->port());
  const Bytes crl(100000, 0x5A);
  server.SetAnswer({.contentType = "application/pkix-crl", .body = crl});
  struct Case {
    size_t limit;
    std::string error;
  } cases[] = {
      {0, ""}, {crl.size(), ""}, {crl.size() - 1, "Respuesta demasiado grande (mas de 99999 bytes)."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    const HttpResponse response = HttpGet(server.Url("/ca.crl?v=1"), "application/pkix-crl", 5000, c.limit);
    EXPECT_EQ(response.error, c.error);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body.size(), c.error.empty() ? crl.size() : c.limit);
  }
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), std::size(cases));
  EXPECT_EQ(requests[0].RequestLine(), "GET /ca.crl?v=1 HTTP/1.1");
  EXPECT_EQ(Sorted(requests[0].Headers()),
            Sorted({"Host: 127.0.0.1:" + std::to_string(server.port()), "User-Agent: TalvenNet/1.0",
                    "Accept: application/pkix-crl"}));
  EXPECT_TRUE(requests[0].body.empty());
}

TEST_F(Http, TransportFailuresComeBackAsErrorsWithoutStatus) {
  struct Case {
    const char* name;
    HttpsCertificate certificate;
    bool tls13Only;
    HttpsAnswer::Kind kind;
    bool requestArrives;
    const char* errorPart;  // a piece of libcurl's text, or the whole time-out message
  } cases[] = {
      {"no answer", HttpsCertificate::Trusted, false, HttpsAnswer::Kind::Hang, true,
       "Tiempo de espera agotado (timeout)."},
      {"connection reset", HttpsCertificate::Trusted, false, HttpsAnswer::Kind::Reset, true, "reset"},
      {"untrusted certificate", HttpsCertificate::Untrusted, false, HttpsAnswer::Kind::Reply, false,
       "certificate"},
      {"host name mismatch", HttpsCertificate::WrongHost, false, HttpsAnswer::Kind::Reply, false,
       "127.0.0.1"},
      {"TLS 1.3 only", HttpsCertificate::Trusted, true, HttpsAnswer::Kind::Reply, false,
       "alert protocol version"},
  };
  constexpr int kTimeoutMs = 1500;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpsServer server({.certificate = c.certificate, .tls13Only = c.tls13Only});
    ASSERT_TRUE(Started(&server)->port());
    server.SetAnswer({.kind = c.kind, .body = ToBytes("no debe llegar")});
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse response = HttpPostJson(server.Url("/api/auth/nimbo"), ToBytes("{}"), kTimeoutMs);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(response.status, 0);
    EXPECT_NE(response.error.find(c.errorPart), std::string::npos) << response.error;
    EXPECT_EQ(ToText(response.body), "");
    EXPECT_EQ(server.Requests().size(), c.requestArrives ? 1u : 0u);
    // Whatever fails, the call never outlasts its time-out by much.
    EXPECT_LT(elapsed, std::chrono::milliseconds(kTimeoutMs + 3000));
  }
}

}  // namespace
