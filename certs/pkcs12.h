#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "certs/openssl_process.h"
#include "core/bytes.h"

// PKCS#12 files are handled only by the external `openssl` program. On POSIX the password,
// the key and the data reach it through pipes and never touch the disk; on Windows they go
// through private temporary files, removed before an operation returns.

// OpensslAvailable runs "openssl version" and answers whether it exited with status 0. The
// answer is not cached.
bool OpensslAvailable();

// MakeTempPath names a temporary file of the command-line form (Windows): the first non-empty of TEMP, TMP
// and TMPDIR (else
// "."), the platform's separator, "vycert_<counter>_<process id>" and `suffix`. The
// process-wide counter makes every name of a run distinct.
std::string MakeTempPath(std::string_view suffix);

// KeyExtraction is the result of ExtractPkcs12Key.
struct KeyExtraction {
  PrivateKey key;  // the unencrypted key, wiped or removed when the extraction goes
  std::string extractError;
  bool extracted = false;
};

// ExtractPkcs12Key takes the file's private key out, unencrypted. It returns `extracted`
// false, with a Spanish `extractError` and nothing left, when openssl is missing, the
// password cannot be passed, the password or file is wrong, or the file holds no private key.
KeyExtraction ExtractPkcs12Key(const std::string& pkcs12Path, const std::string& password);

// ReadPkcs12Certificates lists the DER of the file's end-entity certificates in openssl's
// output order. It returns false, with `certificates` empty and a Spanish `error`, when the
// file is missing or not a regular file, openssl is missing or nothing could be extracted.
bool ReadPkcs12Certificates(const std::string& pkcs12Path, const std::string& password,
                            std::vector<Bytes>* certificates, std::string* error);

// LooksLikePkcs12 tells whether `der` has the outer shape of a PKCS#12 file (RFC 7292: a
// SEQUENCE of version 3 and a ContentInfo of data or signedData), which reads without the
// password: such a file that openssl cannot open takes another password.
bool LooksLikePkcs12(const Bytes& der);

// CheckPkcs12Password tells whether `password` opens the file's certificates. It returns
// false with a Spanish `error`: "Contraseña incorrecta." when openssl refused a file of
// PKCS#12's shape, else what prevents reading it (missing file, no openssl, a damaged file).
bool CheckPkcs12Password(const std::string& pkcs12Path, const std::string& password, std::string* error);

// Pkcs12HasPrivateKey runs the key extraction once and removes the key at once. It returns
// false with the extraction's error when no key could be extracted.
bool Pkcs12HasPrivateKey(const std::string& pkcs12Path, const std::string& password, std::string* error);

// Pkcs12Signer takes the file's private key out once and signs a run of data blocks with it.
// The key stays in memory (POSIX) or in a private temporary file (Windows) until the signer
// goes; where the openssl library can hold it (LoadedKey), a signature starts no process,
// otherwise each one is a single openssl run.
class Pkcs12Signer {
 public:
  // Open extracts the key. It returns false with a Spanish `error` when there is no path,
  // openssl is missing or the key cannot be extracted.
  bool Open(const std::string& pkcs12Path, const std::string& password, std::string* error);
  // Sign makes an RSA PKCS#1 v1.5 signature over SHA-256 of `data`. It returns empty bytes
  // and a Spanish `error` on any failure.
  Bytes Sign(const Bytes& data, std::string* error);
  // Close wipes or removes the key.
  void Close();

 private:
  PrivateKey key_;
  LoadedKey loaded_;
};

// SignWithPkcs12 makes an RSA PKCS#1 v1.5 signature over SHA-256 of `data` with the file's
// private key, as one Pkcs12Signer run. It returns empty bytes and a Spanish `error` on any
// failure.
Bytes SignWithPkcs12(const std::string& pkcs12Path, const std::string& password, const Bytes& data,
                     std::string* error);

// ReadPemBlocks decodes every "-----BEGIN <label>-----" ... "-----END <label>-----" block of
// at least 64 bytes, in order; blocks that do not decode are skipped.
std::vector<Bytes> ReadPemBlocks(std::string_view text, std::string_view label);
