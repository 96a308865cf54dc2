#include "certs/pkcs12.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "certs/openssl_process.h"
#include "core/der.h"
#include "core/text.h"

namespace {

std::atomic<long> g_tempCounter{0};

// openssl reads the password up to the first line feed (and a C string stops at a NUL), so
// such a password would be cut silently, and a wrong key tried with it.
bool UsablePassword(const std::string& password, std::string* error) {
  if (password.find_first_of(std::string_view("\n\0", 2)) == std::string::npos) return true;
  *error =
      "la contraseña del PKCS#12 contiene un salto de linea o un caracter nulo; openssl no puede recibirla.";
  return false;
}

// The failures of the temporary files, which only the command-line form of openssl uses.
std::string TempError(OpensslOutcome outcome) {
  switch (outcome) {
    case OpensslOutcome::PasswordTemp: return "no se pudo crear un temporal para la contraseña.";
    case OpensslOutcome::Temp: return "no se pudo escribir un temporal.";
    case OpensslOutcome::TempFull:
      return "no se pudo escribir en la carpeta temporal (¿disco lleno?); no se extrajo la clave del "
             "PKCS#12.";
    default: return "";
  }
}

}  // namespace

bool OpensslAvailable() {
  return RunOpenssl({{"version", ""}}) == 0;
}

std::string MakeTempPath(std::string_view suffix) {
  std::string dir = ".";
  for (const char* name : {"TEMP", "TMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      dir = value;
      break;
    }
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "vycert_%ld_%d", ++g_tempCounter, int(CurrentProcessId()));
  return dir + TempPathSeparator() + buf + std::string(suffix);
}

KeyExtraction ExtractPkcs12Key(const std::string& pkcs12Path, const std::string& password) {
  KeyExtraction result;
  if (!OpensslAvailable()) {
    result.extractError = "no se encontro el programa 'openssl' en el PATH del sistema.";
    return result;
  }
  if (!UsablePassword(password, &result.extractError)) return result;
  OpensslOutcome outcome = ExportPkcs12Key(pkcs12Path, password, &result.key);
  if (outcome == OpensslOutcome::Failed) {
    result.extractError = "openssl no pudo abrir el PKCS#12 (contraseña incorrecta o fichero dañado).";
    return result;
  }
  if (outcome != OpensslOutcome::Ok) {
    result.extractError = TempError(outcome);
    return result;
  }
  if (result.key.empty()) {
    result.extractError = "el PKCS#12 no contiene ninguna clave privada.";
    return result;
  }
  result.extracted = true;
  return result;
}

namespace {

// ReadCertificates is ReadPkcs12Certificates that also says whether openssl ran and refused
// the file (a wrong password or a damaged file) rather than failing before.
bool ReadCertificates(const std::string& pkcs12Path, const std::string& password,
                      std::vector<Bytes>* certificates, std::string* error, bool* refused) {
  *refused = false;
  certificates->clear();
  error->clear();
  InputKind kind = CheckInputFile(pkcs12Path);
  if (kind == InputKind::Missing) {
    *error = "no existe el fichero " + pkcs12Path;
    return false;
  }
  if (kind == InputKind::NotRegular) {
    *error = pkcs12Path + " no es un fichero normal.";
    return false;
  }
  if (!OpensslAvailable()) {
    *error = "para leer el PKCS#12 hace falta el programa 'openssl' en el PATH.";
    return false;
  }
  if (!UsablePassword(password, error)) return false;
  std::string output;
  OpensslOutcome outcome = ExportPkcs12Certificates(pkcs12Path, password, &output);
  if (outcome != OpensslOutcome::Ok && outcome != OpensslOutcome::Failed) {
    *error = TempError(outcome);
    return false;
  }
  *certificates = ReadPemBlocks(output, "CERTIFICATE");
  if (certificates->empty()) {
    *refused = outcome == OpensslOutcome::Failed;
    *error = "openssl no extrajo ningun certificado del PKCS#12 (contraseña incorrecta o fichero dañado).";
    return false;
  }
  return true;
}

// ReadHead reads at most `limit` bytes from the start of a file.
Bytes ReadHead(const std::string& path, size_t limit) {
  Bytes bytes(limit);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  return bytes;
}

}  // namespace

bool ReadPkcs12Certificates(const std::string& pkcs12Path, const std::string& password,
                            std::vector<Bytes>* certificates, std::string* error) {
  bool refused = false;
  return ReadCertificates(pkcs12Path, password, certificates, error, &refused);
}

bool LooksLikePkcs12(const Bytes& der) {
  // 1.2.840.113549.1.7: the PKCS#7 content types; .1 is data, .2 signedData.
  static const uint8_t kPkcs7[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07};
  DerReader file(der.data(), der.size()), pfx, version, authSafe, type;
  DerElement whole;
  if (!file.Expect(0x30, &pfx, &whole) || whole.end != der.size()) return false;
  if (!pfx.Expect(0x02, &version) || version.size() != 1 || version.data()[0] != 3) return false;
  if (!pfx.Expect(0x30, &authSafe) || !authSafe.Expect(0x06, &type) || type.size() != sizeof kPkcs7 + 1)
    return false;
  return std::equal(kPkcs7, kPkcs7 + sizeof kPkcs7, type.data()) &&
         (type.data()[8] == 1 || type.data()[8] == 2);
}

bool CheckPkcs12Password(const std::string& pkcs12Path, const std::string& password, std::string* error) {
  std::vector<Bytes> certificates;
  bool refused = false;
  if (ReadCertificates(pkcs12Path, password, &certificates, error, &refused)) return true;
  // Real PKCS#12 files are a few kilobytes; a larger file is left to openssl's own message.
  constexpr size_t kLargestChecked = size_t(1) << 20;
  if (refused && LooksLikePkcs12(ReadHead(pkcs12Path, kLargestChecked))) *error = "Contraseña incorrecta.";
  return false;
}

bool Pkcs12HasPrivateKey(const std::string& pkcs12Path, const std::string& password, std::string* error) {
  KeyExtraction key = ExtractPkcs12Key(pkcs12Path, password);
  *error = key.extractError;
  return key.extracted;
}

bool Pkcs12Signer::Open(const std::string& pkcs12Path, const std::string& password, std::string* error) {
  Close();
  error->clear();
  if (pkcs12Path.empty()) {
    *error = "no hay ruta del PKCS#12.";
    return false;
  }
  if (!OpensslAvailable()) {
    *error = "falta el programa 'openssl' en el PATH.";
    return false;
  }
  KeyExtraction extraction = ExtractPkcs12Key(pkcs12Path, password);
  if (!extraction.extracted) {
    *error = extraction.extractError;
    return false;
  }
  key_ = std::move(extraction.key);
  // Once the library holds the key, the PEM text is of no further use.
  if (loaded_.Open(key_)) key_.Reset();
  return true;
}

Bytes Pkcs12Signer::Sign(const Bytes& data, std::string* error) {
  error->clear();
  Bytes signature;
  OpensslOutcome outcome = OpensslOutcome::Failed;
  if (loaded_.IsOpen())
    outcome = loaded_.Sign(data, &signature);
  else if (!key_.empty())
    outcome = SignWithKey(key_, data, &signature);
  if (outcome != OpensslOutcome::Ok && outcome != OpensslOutcome::Failed) {
    *error = TempError(outcome);
    return {};
  }
  if (signature.empty()) *error = "openssl no pudo firmar con la clave del PKCS#12.";
  return signature;
}

void Pkcs12Signer::Close() {
  key_.Reset();
  loaded_.Reset();
}

Bytes SignWithPkcs12(const std::string& pkcs12Path, const std::string& password, const Bytes& data,
                     std::string* error) {
  Pkcs12Signer signer;
  if (!signer.Open(pkcs12Path, password, error)) return {};
  return signer.Sign(data, error);
}

std::vector<Bytes> ReadPemBlocks(std::string_view text, std::string_view label) {
  std::vector<Bytes> blocks;
  const std::string begin = "-----BEGIN " + std::string(label) + "-----";
  const std::string end = "-----END " + std::string(label) + "-----";
  size_t pos = 0;
  while (true) {
    size_t start = text.find(begin, pos);
    if (start == std::string_view::npos) break;
    start += begin.size();
    size_t stop = text.find(end, start);
    if (stop == std::string_view::npos) break;
    std::string base64;
    for (char c : text.substr(start, stop - start)) {
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
          c == '/' || c == '=')
        base64 += c;
    }
    Bytes der;
    if (Base64Decode(base64, &der) && der.size() >= 64) blocks.push_back(std::move(der));
    pos = stop + end.size();
  }
  return blocks;
}
