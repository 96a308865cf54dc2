#include "examples/quillmark/sources.h"

#include <cstdlib>

#include "card/dnie_certificates.h"
#include "card/reader_report.h"
#include "certs/certificate_list.h"
#include "certs/pkcs12.h"
#include "certs/store.h"
#include "examples/quillmark/secrets.h"

const std::vector<OptionRule> kSourceOptions = {
    {"--pkcs12", true, "FICHERO", "firma con la clave de un fichero PKCS#12 (mediante openssl)"},
    {"--password-file", true, "F", "la contraseña del PKCS#12, de la primera linea de F ('-': la entrada)"},
    {"--password-env", true, "VAR", "la contraseña del PKCS#12, de la variable de entorno VAR"},
    {"--store", false, "", "firma con un certificado del almacen del sistema"},
    {"--pin-file", true, "F", "el PIN del DNIe o del token, de la primera linea de F ('-': la entrada)"},
    {"--pin-env", true, "VAR", "el PIN del DNIe o del token, de la variable de entorno VAR"},
    {"--dnie", false, "", "firma con el DNIe del lector predeterminado o de --reader"},
    {"--reader", true, "LECTOR", "el lector del DNIe (vea 'quillmark readers')"},
};
const OptionRule kCertOption = {"--cert", true, "N", "el certificado numero N de 'quillmark certs'"};

namespace {

// ReadSecret takes a secret from `<kind>-file` or `<kind>-env`; `asked` tells whether neither
// was given (the caller then asks on the terminal when it needs one).
bool ReadSecret(const Arguments& args, const std::string& kind, std::string* secret, bool* given,
                Failure* failure) {
  std::string fileOption = "--" + kind + "-file", envOption = "--" + kind + "-env";
  if (args.Has(fileOption) && args.Has(envOption)) {
    *failure = {2, fileOption + " y " + envOption + " no pueden ir juntas."};
    return false;
  }
  *given = true;
  if (args.Has(fileOption)) return ReadSecretFile(args.Value(fileOption), secret, &failure->message);
  if (args.Has(envOption)) return ReadSecretEnv(args.Value(envOption), secret, &failure->message);
  *given = false;
  return true;
}

bool AskOnTerminal(const std::string& prompt, std::string* secret, Failure* failure) {
  if (AskSecret(prompt, secret, &failure->message)) return true;
  failure->status = 1;
  return false;
}

bool ReadPkcs12Options(const Arguments& args, SignerOptions* options, Failure* failure) {
  bool given = false;
  if (!ReadSecret(args, "password", &options->pkcs12Password, &given, failure)) return false;
  if (!args.Has("--pkcs12")) {
    if (given) *failure = {2, "--password-file y --password-env acompañan a --pkcs12."};
    return !given;
  }
  options->pkcs12Path = args.Value("--pkcs12");
  if (options->pkcs12Path.empty()) {
    *failure = {2, "--pkcs12 necesita la ruta del fichero."};
    return false;
  }
  return given || AskOnTerminal("Contraseña del PKCS#12: ", &options->pkcs12Password, failure);
}

bool ReadStoreOptions(const Arguments& args, SignerOptions* options, Failure* failure) {
  bool given = false;
  if (!ReadSecret(args, "pin", &options->pin, &given, failure)) return false;
  // A terminal program cannot host the key provider's own dialog: it asks for the PIN itself.
  options->allowKeyPrompt = false;
  return true;
}

bool ReadDnieOptions(const Arguments& args, SignerOptions* options, Failure* failure) {
  if (!args.Has("--reader")) return true;
  if (!args.Has("--dnie")) {
    *failure = {2, "--reader acompaña a --dnie."};
    return false;
  }
  options->readerName = args.Value("--reader");
  if (options->readerName.empty()) {
    *failure = {2, "--reader necesita el nombre de un lector (vea 'quillmark readers')."};
    return false;
  }
  return true;
}

bool PickDnie(SignerOptions* options, CertificateEntry* entry, Failure* failure) {
  if (options->readerName.empty()) {
    options->readerName = DefaultReaderName(&failure->message);
    if (options->readerName.empty()) return false;
  }
  std::string status, atrHex;
  std::vector<CardCertificate> certificates = ReadCardCertificates(options->readerName, &status, &atrHex);
  const CardCertificate* chosen = SignatureCertificate(certificates);
  if (!chosen) {
    failure->message =
        certificates.empty() ? status : "el DNIe no tiene certificado de firma (" + status + ").";
    return false;
  }
  *entry = MakeDnieEntry(chosen->certificate, options->readerName);
  return true;
}

bool PickPkcs12(const SignerOptions& options, CertificateEntry* entry, Failure* failure) {
  std::vector<Bytes> blocks;
  if (!ReadPkcs12Certificates(options.pkcs12Path, options.pkcs12Password, &blocks, &failure->message))
    return false;
  for (const Bytes& der : blocks) {
    ParsedCertificate cert;
    if (!ParseCertificateExact(der, &cert)) continue;
    *entry = MakePkcs12Entry(cert, options.pkcs12Path, true);
    return true;
  }
  failure->message = "el PKCS#12 no tiene ningun certificado legible.";
  return false;
}

bool PickStore(CertificateEntry* entry, Failure* failure) {
  std::vector<CertificateEntry> entries;
  std::string message;
  ListSystemCertificates(&entries, &message);
  std::vector<const CertificateEntry*> withKey;
  for (const CertificateEntry& candidate : entries)
    if (candidate.hasPrivateKey) withKey.push_back(&candidate);
  if (withKey.size() == 1) {
    *entry = *withKey.front();
    return true;
  }
  if (withKey.empty())
    failure->message = entries.empty() ? message : "ningun certificado del almacen tiene clave privada.";
  else
    failure->message = "el almacen tiene " + std::to_string(withKey.size()) +
                       " certificados con clave; elija uno con --cert N (vea 'quillmark certs').";
  return false;
}

bool PickListed(const std::string& number, const SignerOptions& options, CertificateEntry* entry,
                Failure* failure) {
  char* end = nullptr;
  long index = std::strtol(number.c_str(), &end, 10);
  if (number.empty() || *end != '\0' || index < 1) {
    *failure = {2, "--cert necesita un numero de la lista de 'quillmark certs' (desde 1)."};
    return false;
  }
  std::string status;
  std::vector<CertificateEntry> entries = ListCertificates(options, &status);
  if (size_t(index) > entries.size()) {
    failure->message = "no hay certificado numero " + number + " (la lista tiene " +
                       std::to_string(entries.size()) + "; " + status + ").";
    return false;
  }
  *entry = entries[size_t(index - 1)];
  return true;
}

}  // namespace

bool HasSourceOption(const Arguments& args) {
  return args.Has("--pkcs12") || args.Has("--store") || args.Has("--dnie") || args.Has(kCertOption.name);
}

bool ReadSourceOptions(const Arguments& args, SignerOptions* options, Failure* failure) {
  *options = SignerOptions();
  return ReadPkcs12Options(args, options, failure) && ReadStoreOptions(args, options, failure) &&
         ReadDnieOptions(args, options, failure);
}

bool ChooseCertificate(const Arguments& args, SignerOptions* options, CertificateEntry* entry,
                       Failure* failure) {
  bool picked = args.Has(kCertOption.name)
                    ? PickListed(args.Value(kCertOption.name), *options, entry, failure)
                : args.Has("--pkcs12") ? PickPkcs12(*options, entry, failure)
                : args.Has("--dnie")   ? PickDnie(options, entry, failure)
                                       : PickStore(entry, failure);
  if (!picked) return false;
  if (options->pin.empty()) {
    if (entry->source == CertificateSource::DNIe)
      return AskOnTerminal("PIN de firma del DNIe: ", &options->pin, failure);
    if (entry->keyNeedsInteraction) return AskOnTerminal("PIN del token: ", &options->pin, failure);
  }
  return true;
}
