#include "tests/support/tsa_server.h"

#include <filesystem>

#include "core/text.h"

namespace testing_support {
namespace {

// The authority's certificates, made once per test process and removed when it exits.
struct TsaPki {
  TempDir dir;
  TestPki pki{dir.path()};
  TestIdentity ca = pki.MakeCa("Quillmark TSA CA");
  TestIdentity tsa =
      pki.MakeLeaf(ca, "tsa", "/C=PE/O=Quillmark Pruebas/CN=Sellado de tiempo de pruebas",
                   "-algorithm RSA -pkeyopt rsa_keygen_bits:2048",
                   "keyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping");
};

const TsaPki& Pki() {
  static const TsaPki pki;
  return pki;
}

}  // namespace

TsaServer::TsaServer() : TsaServer(Pki().tsa, Pki().ca) {}

TsaServer::TsaServer(const TestIdentity& authority, const TestIdentity& ca) {
  const std::string folder = dir_.path();
  WriteFileText(dir_.File("serial"), "01\n");
  WriteFileText(dir_.File("tsa.cnf"),
                "[ tsa ]\ndefault_tsa = pruebas\n[ pruebas ]\n"
                "serial = " +
                    folder +
                    "/serial\n"
                    "crypto_device = builtin\n"
                    "signer_cert = " +
                    authority.certPem +
                    "\n"
                    "certs = " +
                    ca.certPem +
                    "\n"
                    "signer_key = " +
                    authority.keyPem +
                    "\n"
                    "signer_digest = sha256\n"
                    "default_policy = 1.3.6.1.4.1.99999.1\n"
                    "digests = sha256, sha384, sha512\n"
                    "accuracy = secs:1\n"
                    "ordering = no\n"
                    "tsa_name = yes\n"
                    "ess_cert_id_alg = sha256\n");
}

TsaServer::~TsaServer() {
  Stop();
}

bool TsaServer::Start(std::string* why) {
  const std::string script = std::string(VY_SOURCE_DIR) + "/tests/support/tsa_server.py";
  return StartLoopbackServer({"python3", script, dir_.path(), dir_.File("tsa.cnf")}, dir_, &pid_, &port_,
                             why);
}

void TsaServer::Stop() {
  if (pid_ > 0) {
    StopChild(pid_, 3);
    pid_ = -1;
  }
  port_ = 0;
}

std::string TsaServer::Url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/tsa";
}

void TsaServer::SetMode(Mode mode) {
  static const char* const kModes[] = {"normal", "http500", "imprint", "nonce", "oversized"};
  WriteFileText(dir_.File("mode.new"), kModes[static_cast<int>(mode)]);
  std::filesystem::rename(dir_.File("mode.new"), dir_.File("mode"));
}

int TsaServer::Requests() const {
  int n = 0;
  while (FileExists(dir_.File("requests/" + std::to_string(n) + ".tsq"))) ++n;
  return n;
}

const TestIdentity& TsaServer::Authority() {
  return Pki().tsa;
}

const TestIdentity& TsaServer::AuthorityCa() {
  return Pki().ca;
}

}  // namespace testing_support
