// The WinHTTP transport under Wine against the loopback HTTPS server of the Linux suite,
// which scripts/wine-services starts: the test drives it through its folder (port, answer,
// the requests as they came off the wire) and trusts its CA in the user's root store.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

#include "core/text.h"
#include "net/http.h"
#include "tests/windows/fixtures.h"

namespace {

struct Sent {
  std::string tls, head;
  Bytes body;
  std::string RequestLine() const { return head.substr(0, head.find("\r\n")); }
  std::vector<std::string> SortedHeaders() const {
    std::vector<std::string> lines;
    for (size_t at = head.find("\r\n"); at != std::string::npos;) {
      size_t next = head.find("\r\n", at + 2);
      if (next == std::string::npos || next == at + 2) break;
      lines.push_back(head.substr(at + 2, next - at - 2));
      at = next;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }
};

// Server is one running https_server.py, known by its folder.
class Server {
 public:
  explicit Server(const std::string& folder) : folder_(wine_fixtures::Path(folder)) {}
  int Port() const {
    int port = 0;
    std::ifstream(folder_ + "\\port") >> port;
    return port;
  }
  // Wine's check of the server's name matches DNS names only, not the IP-address entry.
  std::string Url(const std::string& target) const {
    return "https://localhost:" + std::to_string(Port()) + target;
  }

  void Answer(const std::string& kind, int status, const std::string& body) {
    std::ofstream(folder_ + "\\answer.new", std::ios::binary)
        << "kind " << kind << "\nstatus " << status << "\ntype " << HexEncode(ToBytes("application/json"))
        << "\nbody " << HexEncode(ToBytes(body)) << "\n";
    ASSERT_TRUE(MoveFileExA((folder_ + "\\answer.new").c_str(), (folder_ + "\\answer").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
  }

  std::vector<Sent> Requests() const {
    std::vector<Sent> sent;
    for (int n = 0;; ++n) {
      std::ifstream in(folder_ + "\\requests\\" + std::to_string(n) + ".req", std::ios::binary);
      if (!in) return sent;
      Sent request;
      std::string key, value;
      while (in >> key >> value) {
        if (key == "tls") request.tls = value;
        if (key == "head") request.head = ToText(HexDecode(value));
        if (key == "body") request.body = HexDecode(value);
      }
      sent.push_back(request);
    }
  }

 private:
  std::string folder_;
};

class WinHttp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Bytes ca = wine_fixtures::Read("https-ca.der");
    ASSERT_FALSE(ca.empty());
    HCERTSTORE root = CertOpenSystemStoreW(0, L"ROOT");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, ca.data(),
                                                 static_cast<DWORD>(ca.size()),
                                                 CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
    CertCloseStore(root, 0);
  }
  Server trusted_{"https"};
  Server stranger_{"https-stranger"};
  Server tls13_{"https-tls13"};
};

TEST_F(WinHttp, PostsAsWrittenAndReturnsEveryStatusAndBody) {
  const std::string port = std::to_string(trusted_.Port());
  const Bytes body = ToBytes(
      "{\"datos\":\"PE\xC3\x91"
      "A ANA " +
      std::string(2400, 'Q') + "\"}");
  struct Case {
    std::string url, target, host;
    int status;
    std::string answer;
  } cases[] = {
      {trusted_.Url("/api/auth/nimbo"), "/api/auth/nimbo", "localhost:" + port, 200, "{\"ok\":true}"},
      {trusted_.Url("/api/auth/nimbo?codigo=7&v=a%20b"), "/api/auth/nimbo?codigo=7&v=a%20b",
       "localhost:" + port, 401, "Firma rechazada"},
      {"https://localhost:" + port, "/", "localhost:" + port, 500, "fallo interno"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const size_t before = trusted_.Requests().size();
    trusted_.Answer("reply", c.status, c.answer);
    const HttpResponse response = HttpPostJson(c.url, body, 5000);
    EXPECT_EQ(response.error, "");
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(ToText(response.body), c.answer);
    const std::vector<Sent> sent = trusted_.Requests();
    ASSERT_EQ(sent.size(), before + 1);
    EXPECT_EQ(sent.back().tls, "TLSv1.2");
    EXPECT_EQ(sent.back().RequestLine(), "POST " + c.target + " HTTP/1.1");
    // WinHTTP's own framing adds Connection; nothing else may come along.
    EXPECT_EQ(sent.back().SortedHeaders(),
              (std::vector<std::string>{"Accept: application/json", "Connection: Keep-Alive",
                                        "Content-Length: " + std::to_string(body.size()),
                                        "Content-Type: application/json", "Host: " + c.host,
                                        "User-Agent: TalvenNet/1.0"}));
    EXPECT_EQ(sent.back().body, body);
  }

  // Every byte value, in a body larger than one TLS record many times over.
  Bytes binary;
  for (int i = 0; i < (1 << 20) + 4096; ++i) binary.push_back(static_cast<uint8_t>(i * 7));
  trusted_.Answer("reply", 200, "sello");
  const HttpResponse stamped = HttpPostBinary(trusted_.Url("/tsa"), binary, "application/timestamp-query",
                                              "application/timestamp-reply", 5000);
  EXPECT_EQ(stamped.error, "");
  EXPECT_EQ(ToText(stamped.body), "sello");
  EXPECT_EQ(trusted_.Requests().back().body, binary);

  // Headers in, body cut short: the verdict comes back with what arrived.
  trusted_.Answer("cut", 200, "0123456789");
  const HttpResponse cut = HttpPostJson(trusted_.Url("/api/auth/nimbo"), body, 5000);
  EXPECT_EQ(cut.error, "");
  EXPECT_EQ(cut.status, 200);
  EXPECT_EQ(ToText(cut.body), "01234");

  const size_t before = trusted_.Requests().size();
  const HttpResponse ftp = HttpPostJson("ftp://127.0.0.1:" + port + "/voto", body);
  EXPECT_EQ(ftp.error, "Solo se admite http/https.");
  EXPECT_EQ(trusted_.Requests().size(), before);
}

// Revocation lists come by GET with nothing but Accept, under a size limit: a body of exactly
// the limit is whole, one byte more is refused with what had arrived.
TEST_F(WinHttp, GetsUnderASizeLimit) {
  trusted_.Answer("reply", 200, std::string(100000, 'Z'));
  struct Case {
    size_t limit;
    std::string error;
  } cases[] = {{0, ""}, {100000, ""}, {99999, "Respuesta demasiado grande (mas de 99999 bytes)."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    const size_t before = trusted_.Requests().size();
    const HttpResponse response = HttpGet(trusted_.Url("/ca.crl?v=1"), "application/pkix-crl", 5000, c.limit);
    EXPECT_EQ(response.error, c.error);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body.size(), c.error.empty() ? 100000u : c.limit);
    const std::vector<Sent> sent = trusted_.Requests();
    ASSERT_EQ(sent.size(), before + 1);
    EXPECT_EQ(sent.back().RequestLine(), "GET /ca.crl?v=1 HTTP/1.1");
    EXPECT_EQ(sent.back().SortedHeaders(),
              (std::vector<std::string>{"Accept: application/pkix-crl", "Connection: Keep-Alive",
                                        "Host: localhost:" + std::to_string(trusted_.Port()),
                                        "User-Agent: TalvenNet/1.0"}));
  }
}

TEST_F(WinHttp, TransportFailuresComeBackAsErrorsWithoutStatus) {
  struct Case {
    const char* name;
    Server* server;
    const char* kind;
    bool arrives;
    const char* error;  // the whole text, or null for the system's own
  } cases[] = {
      {"no answer", &trusted_, "hang", true, "Tiempo de espera agotado (timeout)."},
      {"connection reset", &trusted_, "reset", true, nullptr},
      {"untrusted certificate", &stranger_, "reply", false, nullptr},
      {"TLS 1.3 only", &tls13_, "reply", false, nullptr},
  };
  constexpr int kTimeoutMs = 1500;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.server->Answer(c.kind, 200, "no debe llegar");
    const size_t before = c.server->Requests().size();
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse response = HttpPostJson(c.server->Url("/api/auth/nimbo"), ToBytes("{}"), kTimeoutMs);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(response.status, 0);
    if (c.error)
      EXPECT_EQ(response.error, c.error);
    else
      EXPECT_NE(response.error, "");
    EXPECT_EQ(ToText(response.body), "");
    EXPECT_EQ(c.server->Requests().size(), before + (c.arrives ? 1 : 0));
    EXPECT_LT(elapsed, std::chrono::milliseconds(kTimeoutMs + 3000));
  }
}

}  // namespace
