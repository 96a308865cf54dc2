#include "certs/certificate_list.h"

#include <algorithm>
#include <set>

#include "certs/dnie_source.h"
#include "certs/pkcs12.h"
#include "certs/signing_session.h"
#include "certs/store.h"

namespace {

std::string ListSystemStore(std::vector<CertificateEntry>* entries) {
  size_t before = entries->size();
  std::string message;
  ListSystemCertificates(entries, &message);
  std::string part = " | " + SourceText(CertificateSource::WindowsStore) + ": ";
  size_t added = entries->size() - before;
  if (added > 0) return part + std::to_string(added) + " certificado(s)";
  return part + (message.empty() ? "vacío" : message);
}

std::string ListPkcs12(const SignerOptions& options, std::vector<CertificateEntry>* entries) {
  std::vector<Bytes> blocks;
  std::string error;
  if (!ReadPkcs12Certificates(options.pkcs12Path, options.pkcs12Password, &blocks, &error))
    return " | PKCS#12: " + error;
  std::string keyError;
  bool hasKey = Pkcs12HasPrivateKey(options.pkcs12Path, options.pkcs12Password, &keyError);
  for (const Bytes& der : blocks) {
    ParsedCertificate cert;
    if (ParseCertificateExact(der, &cert))
      entries->push_back(MakePkcs12Entry(cert, options.pkcs12Path, hasKey));
  }
  std::string part = " | PKCS#12: " + std::to_string(blocks.size()) + " certificado(s) del PKCS#12";
  if (!hasKey) part += " (sin clave privada: " + keyError + ")";
  return part;
}

}  // namespace

std::vector<CertificateEntry> ListCertificates(const SignerOptions& options, std::string* status) {
  std::vector<CertificateEntry> found;
  *status = ListDnieCertificates(options, &found);
  *status += ListSystemStore(&found);
  if (!options.pkcs12Path.empty()) *status += ListPkcs12(options, &found);

  // The DNIe's certificate may also sit in the system store through the card's own module:
  // both entries stay, since they sign through different paths.
  std::vector<CertificateEntry> entries;
  std::set<std::string> seen;
  for (CertificateEntry& entry : found) {
    if (entry.source == CertificateSource::DNIe ||
        seen.insert(entry.issuerName + "|" + entry.serialHex).second)
      entries.push_back(std::move(entry));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const CertificateEntry& a, const CertificateEntry& b) {
    bool aExpired = IsExpired(a), bExpired = IsExpired(b);
    if (aExpired != bExpired) return !aExpired;
    return a.source < b.source;
  });
  return entries;
}

bool SignWithCertificate(const CertificateEntry& entry, const SignerOptions& options, const Bytes& data,
                         Bytes* signature, std::string* message) {
  signature->clear();
  message->clear();
  if (data.empty()) {
    *message = "No hay datos que firmar.";
    return false;
  }
  SigningSession session(entry, options);
  return session.Begin(message) && session.Sign(data, signature, message);
}
