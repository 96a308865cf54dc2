#pragma once

#include <string>
#include <vector>

#include "certs/certificate_entry.h"
#include "examples/quillmark/arguments.h"

// The certificate-source options that `certs`, `sign` and `sample` share. Each source reads
// its own options in its own function, so a new source is one more function and entry.
extern const std::vector<OptionRule> kSourceOptions;
// `--cert N`: the N-th certificate (from 1) of the list `quillmark certs` prints with the same
// source options.
extern const OptionRule kCertOption;

// Outcome of the steps that may fail: the exit status to use and the message for stderr.
struct Failure {
  int status = 1;
  std::string message;
};

// ReadSourceOptions fills `options` from the arguments: the PKCS#12 file and its password
// (asked on the terminal when no other way is given), the token PIN when given. It returns
// false on a usage error or an unreadable secret.
bool ReadSourceOptions(const Arguments& args, SignerOptions* options, Failure* failure);

// ChooseCertificate picks the certificate to sign with: `--cert N` from the full list, else
// the PKCS#12 file's certificate, else the DNIe's signature certificate (in `--reader` or the
// default reader), else the system store's only certificate with a key. It
// then asks for the PIN on the terminal when the chosen key needs one and none was given.
bool ChooseCertificate(const Arguments& args, SignerOptions* options, CertificateEntry* entry,
                       Failure* failure);

// HasSourceOption tells whether any option names a certificate source.
bool HasSourceOption(const Arguments& args);
