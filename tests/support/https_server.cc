#include "tests/support/https_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "core/text.h"

namespace testing_support {
namespace {

// The server's certificates, made once per test process and removed when it exits.
struct HttpsPki {
  TempDir dir;
  TestPki pki{dir.path()};
  TestIdentity ca = pki.MakeCa("Quillmark HTTPS CA");
  TestIdentity strangerCa = pki.MakeCa("Quillmark HTTPS CA desconocida");
  TestIdentity loopback = Leaf(ca, "loopback", "IP:127.0.0.1,DNS:localhost");
  TestIdentity stranger = Leaf(strangerCa, "stranger", "IP:127.0.0.1,DNS:localhost");
  TestIdentity wrongHost = Leaf(ca, "wronghost", "DNS:otro.example");

  TestIdentity Leaf(const TestIdentity& issuer, const std::string& name, const std::string& names) {
    return pki.MakeLeaf(
        issuer, name, "/C=PE/O=Quillmark Pruebas/CN=" + name,
        "-algorithm EC -pkeyopt ec_paramgen_curve:P-256",
        "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\nsubjectAltName=" + names);
  }
};

const HttpsPki& Pki() {
  static const HttpsPki pki;
  return pki;
}

const TestIdentity& Identity(HttpsCertificate certificate) {
  switch (certificate) {
    case HttpsCertificate::Untrusted: return Pki().stranger;
    case HttpsCertificate::WrongHost: return Pki().wrongHost;
    case HttpsCertificate::Trusted: break;
  }
  return Pki().loopback;
}

std::string Line(const std::string& key, const std::string& value) {
  return key + " " + value + "\n";
}

}  // namespace

std::string HttpsRequest::RequestLine() const {
  return head.substr(0, head.find("\r\n"));
}

std::vector<std::string> HttpsRequest::Headers() const {
  std::vector<std::string> lines;
  size_t at = head.find("\r\n");
  while (at != std::string::npos) {
    const size_t next = head.find("\r\n", at + 2);
    if (next == std::string::npos || next == at + 2) break;
    lines.push_back(head.substr(at + 2, next - at - 2));
    at = next;
  }
  return lines;
}

HttpsServer::HttpsServer(HttpsServerOptions options) : options_(options) {}

HttpsServer::~HttpsServer() {
  Stop();
}

bool HttpsServer::Start(std::string* why) {
  const TestIdentity& identity = Identity(options_.certificate);
  const std::string script = std::string(VY_SOURCE_DIR) + "/tests/support/https_server.py";
  if (StartLoopbackServer({"python3", script, dir_.path(), identity.certPem, identity.keyPem,
                           options_.tls13Only ? "tls13" : "tls12"},
                          dir_, &pid_, &port_, why))
    return true;
  *why = "the HTTPS test server did not start: " + *why;
  return false;
}

void HttpsServer::Stop() {
  if (pid_ > 0) {
    StopChild(pid_, 3);
    pid_ = -1;
  }
  port_ = 0;
}

std::string HttpsServer::Url(const std::string& target) const {
  return "https://127.0.0.1:" + std::to_string(port_) + target;
}

void HttpsServer::SetAnswer(const HttpsAnswer& answer) {
  static const char* const kKinds[] = {"reply", "hang", "reset", "cut"};
  std::string text =
      Line("kind", kKinds[static_cast<int>(answer.kind)]) + Line("status", std::to_string(answer.status)) +
      Line("type", HexEncode(ToBytes(answer.contentType))) + Line("body", HexEncode(answer.body));
  for (const std::string& arg : answer.command) text += Line("arg", HexEncode(ToBytes(arg)));
  // Renamed into place, so the server never reads half of it.
  WriteFileText(dir_.File("answer.new"), text);
  std::filesystem::rename(dir_.File("answer.new"), dir_.File("answer"));
}

std::vector<HttpsRequest> HttpsServer::Requests() const {
  std::vector<HttpsRequest> requests;
  for (int n = 0;; ++n) {
    const std::string path = dir_.File("requests/" + std::to_string(n) + ".req");
    if (!FileExists(path)) break;
    HttpsRequest request;
    std::istringstream lines(ToText(ReadFileBytes(path)));
    std::string key, value;
    while (lines >> key) {
      std::getline(lines, value);
      value.erase(0, value.find_first_not_of(' '));
      if (key == "tls") request.tlsVersion = value;
      if (key == "head") request.head = ToText(HexDecode(value));
      if (key == "body") request.body = HexDecode(value);
    }
    requests.push_back(std::move(request));
  }
  return requests;
}

std::string HttpsServer::TrustBundle() {
  return Pki().ca.certPem;
}

void HttpsServer::TrustInThisProcess() {
  setenv("SSL_CERT_FILE", TrustBundle().c_str(), 1);
  for (const char* name : {"no_proxy", "NO_PROXY"}) setenv(name, "127.0.0.1,localhost", 1);
}

}  // namespace testing_support
