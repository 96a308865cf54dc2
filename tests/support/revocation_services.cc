#include "tests/support/revocation_services.h"

#include <ctime>
#include <regex>
#include <sstream>

#include "core/text.h"

namespace testing_support {
namespace {

constexpr char kRsa[] = "-algorithm RSA -pkeyopt rsa_keygen_bits:2048";
constexpr char kResponderUsage[] =
    "keyUsage=critical,digitalSignature\nextendedKeyUsage=OCSPSigning\nnoCheck=ignored";

std::string Utc(std::time_t when, const char* format) {
  char text[64];
  std::tm parts{};
  gmtime_r(&when, &parts);
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

std::string Url(int port, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

bool Run(const std::string& command, std::string* why) {
  const CommandResult r = RunCommand(command);
  if (r.status != 0) *why = command + "\n" + r.output;
  return r.status == 0;
}

}  // namespace

RevocationServices::RevocationServices() = default;

RevocationServices::~RevocationServices() {
  tsa_.reset();
  for (pid_t* pid : {&files_, &ocsp_, &strangerOcsp_})
    if (*pid > 0) StopChild(*pid, 3), *pid = -1;
}

const TestIdentity& RevocationServices::Holder(Person person) const {
  return people_[static_cast<int>(person)];
}

int RevocationServices::OcspRequests() const {
  return Count(ToText(ReadFileBytes(ocspDir_.File("server.log"))), "OCSP Request Data:");
}

int RevocationServices::FileRequests(const std::string& path) const {
  return Count(ToText(ReadFileBytes(filesDir_.File("requests.log"))), " " + path + "\n");
}

bool RevocationServices::StartResponder(const TempDir& dir, const TestIdentity& signer, pid_t* pid, int* port,
                                        std::string* why) {
  // The responder prints its port and then that it waits; its port is never probed by a bare
  // connect, which it would serve before anyone else for its whole time-out.
  const std::string log = dir.File("server.log");
  auto ready = [&] {
    return ToText(ReadFileBytes(log)).find("waiting for OCSP client connections") != std::string::npos;
  };
  if (!StartServerUntil({"openssl", "ocsp", "-index", dir_.File("index.txt"), "-port", "0", "-rsigner",
                         signer.certPem, "-rkey", signer.keyPem, "-CA", root_.certPem, "-timeout", "3",
                         "-ndays", "1", "-ignore_err", "-text"},
                        dir, ready, pid, why))
    return false;
  std::smatch match;
  const std::string text = ToText(ReadFileBytes(log));
  if (!std::regex_search(text, match, std::regex(R"(ACCEPT \S*:(\d+))"))) {
    *why = "openssl ocsp did not say its port: " + text;
    return false;
  }
  *port = std::stoi(match[1]);
  return true;
}

void RevocationServices::MakeList(const TestIdentity& ca, const std::string& index, const std::string& out) {
  const std::string base = out + ".work";
  WriteFileText(base + ".number", "01\n");
  WriteFileText(base + ".cnf", "[ ca ]\ndefault_ca = here\n[ here ]\ndatabase = " + index + "\ncrlnumber = " +
                                   base + ".number\ndefault_md = sha256\ndefault_crl_days = 7\n");
  std::string why;
  if (!Run("openssl ca -batch -gencrl -config " + Quote(base + ".cnf") + " -keyfile " + Quote(ca.keyPem) +
               " -cert " + Quote(ca.certPem) + " -out " + Quote(base + ".pem") + " && openssl crl -in " +
               Quote(base + ".pem") + " -outform DER -out " + Quote(out),
           &why))
    throw std::runtime_error(why);
}

bool RevocationServices::Start(std::string* why) {
  root_ = pki_.MakeCa("Quillmark Raiz LTV");
  tsaRoot_ = pki_.MakeCa("Quillmark Raiz TSA LTV");
  strangerRoot_ = pki_.MakeCa("Otra CA");
  responder_ = pki_.MakeLeaf(root_, "respondedor", "/C=PE/O=Quillmark Pruebas/CN=Respondedor OCSP", kRsa,
                             kResponderUsage);
  stranger_ =
      pki_.MakeLeaf(strangerRoot_, "ajeno", "/C=PE/O=Otra/CN=Respondedor ajeno", kRsa, kResponderUsage);

  // The authority's records come first: the responders read them when they start.
  const std::time_t revoked = std::time(nullptr) - 3600;
  revokedAt_ = Utc(revoked, "%Y-%m-%d %H:%M:%S UTC");
  const int serials[5] = {2001, 2002, 2003, 2004, 2005};
  std::string index;
  for (int i = 0; i < 5; ++i) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X", serials[i]);
    const bool isRevoked = i == static_cast<int>(Person::Revoked);
    index += std::string(isRevoked ? "R" : "V") + "\t491231235959Z\t" +
             (isRevoked ? Utc(revoked, "%y%m%d%H%M%SZ") : "") + "\t" + hex + "\tunknown\t/CN=persona" +
             std::to_string(i) + "\n";
  }
  WriteFileText(dir_.File("index.txt"), index);
  WriteFileText(dir_.File("tsa-index.txt"), "");

  if (!StartLoopbackServer(
          {"python3", std::string(VY_SOURCE_DIR) + "/tests/support/file_server.py", filesDir_.path()},
          filesDir_, &files_, &filesPort_, why) ||
      !StartResponder(ocspDir_, responder_, &ocsp_, &ocspPort_, why) ||
      !StartResponder(strangerDir_, stranger_, &strangerOcsp_, &strangerPort_, why))
    return false;

  const std::string issuer = "caIssuers;URI:" + Url(filesPort_, "/ca.cer");
  const std::string list = "\ncrlDistributionPoints=URI:" + Url(filesPort_, "/ca.crl");
  const std::string usage = "keyUsage=critical,digitalSignature,nonRepudiation\nauthorityInfoAccess=";
  const struct {
    const char* name;
    const char* subject;
    std::string extensions;
  } people[5] = {
      {"ana", "/C=PE/CN=Ana Quispe", usage + "OCSP;URI:" + OcspUrl() + "," + issuer + list},
      {"rosa", "/C=PE/CN=Rosa Revocada", usage + "OCSP;URI:" + OcspUrl() + "," + issuer + list},
      {"ciro", "/C=PE/CN=Ciro Caido", usage + "OCSP;URI:" + Url(filesPort_, "/error/ocsp") + "," + issuer},
      {"dora", "/C=PE/CN=Dora Falsa", usage + "OCSP;URI:" + Url(strangerPort_, "/") + "," + issuer},
      {"eva", "/C=PE/CN=Eva Sinlista",
       usage + issuer + "\ncrlDistributionPoints=URI:http://127.0.0.1:9/ca.crl"},
  };
  for (int i = 0; i < 5; ++i)
    people_[i] =
        pki_.MakeLeaf(root_, people[i].name, people[i].subject, kRsa, people[i].extensions, serials[i]);

  MakeList(root_, dir_.File("index.txt"), filesDir_.File("files/ca.crl"));
  MakeList(tsaRoot_, dir_.File("tsa-index.txt"), filesDir_.File("files/tsa.crl"));
  WriteFileBytes(filesDir_.File("files/ca.cer"), root_.certDer);
  WriteFileText(TrustBundle(),
                ToText(ReadFileBytes(root_.certPem)) + ToText(ReadFileBytes(tsaRoot_.certPem)));

  tsaCert_ = pki_.MakeLeaf(tsaRoot_, "tsa-ltv", "/C=PE/O=Quillmark Pruebas/CN=Sellado LTV", kRsa,
                           "keyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n"
                           "crlDistributionPoints=URI:" +
                               Url(filesPort_, "/tsa.crl"));
  tsa_ = std::make_unique<TsaServer>(tsaCert_, tsaRoot_);
  return tsa_->Start(why);
}

}  // namespace testing_support
