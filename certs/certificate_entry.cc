#include "certs/certificate_entry.h"

#include "core/platform_names.h"

namespace {

CertificateEntry EntryOf(const ParsedCertificate& cert, CertificateSource source, std::string displayName) {
  CertificateEntry entry;
  static_cast<ParsedCertificate&>(entry) = cert;
  entry.source = source;
  entry.displayName = std::move(displayName);
  return entry;
}

}  // namespace

CertificateEntry MakeDnieEntry(const ParsedCertificate& cert, const std::string& readerName) {
  CertificateEntry entry = EntryOf(cert, CertificateSource::DNIe, "DNIe · " + DisplayHolder(cert));
  entry.readerName = readerName;
  entry.hasPrivateKey = true;
  return entry;
}

CertificateEntry MakeStoreEntry(const ParsedCertificate& cert) {
  return EntryOf(cert, CertificateSource::WindowsStore,
                 std::string(platform::kStoreEntryName) + " · " + DisplayHolder(cert));
}

CertificateEntry MakePkcs12Entry(const ParsedCertificate& cert, const std::string& path, bool hasPrivateKey) {
  CertificateEntry entry = EntryOf(cert, CertificateSource::Pkcs12, "PFX · " + FileNameOf(path));
  entry.hasPrivateKey = hasPrivateKey;
  return entry;
}

std::string DisplayHolder(const ParsedCertificate& cert) {
  std::string name = HolderName(cert);
  return name.empty() ? "(sin nombre)" : name;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
