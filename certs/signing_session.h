#pragma once

#include <memory>
#include <string>

#include "card/transport.h"
#include "certs/certificate_entry.h"
#include "certs/dnie_source.h"
#include "certs/pkcs12.h"
#include "certs/store.h"
#include "core/bytes.h"

// SigningSession signs a run of data blocks with one chosen certificate, unlocking its key
// once: one card session and one PIN verification for the DNIe, one login for a store key,
// one key extraction for a PKCS#12 file. Every signature is checked against the entry's
// certificate before it is returned. The secrets it keeps are wiped when it goes.
class SigningSession {
 public:
  SigningSession(const CertificateEntry& entry, const SignerOptions& options,
                 CardConnector& connector = PcscConnector());
  ~SigningSession();
  SigningSession(const SigningSession&) = delete;
  SigningSession& operator=(const SigningSession&) = delete;

  // Begin unlocks the key. It returns false, with a Spanish `message`, when nothing can be
  // signed: the entry is not valid, a PIN is missing or was refused, the store has no usable
  // key, or the PKCS#12 key cannot be extracted. Nothing has been signed then.
  bool Begin(std::string* message);
  // Sign returns the checked signature of `data`. It returns false, with `signature` empty and
  // a Spanish `message`, when the source gave none or the signature does not belong to the
  // certificate. On success `message` is empty.
  bool Sign(const Bytes& data, Bytes* signature, std::string* message);

 private:
  bool SignBySource(const Bytes& data, Bytes* signature, std::string* note);

  CertificateEntry entry_;
  const SignerOptions& options_;
  CardConnector& connector_;
  std::unique_ptr<DnieSigner> dnie_;
  std::unique_ptr<SystemKeySession> store_;
  std::unique_ptr<Pkcs12Signer> pkcs12_;
  bool begun_ = false;
};
