#pragma once

#include <string>

#include "certs/certificate_entry.h"
#include "examples/quillmark/arguments.h"
#include "examples/quillmark/sources.h"
#include "pades/sign.h"

// What `sign` and `sample` share: the chosen certificate with the secrets that unlock it, the
// signature's texts and the lines that report a result.

// Signer is what a command signs with: the chosen certificate and the secrets that unlock
// it, wiped when the command ends.
struct Signer {
  SignerOptions options;
  CertificateEntry entry;
  ~Signer();
  // Choose reads the source options and picks the certificate, asking on the terminal for a
  // secret that was not given. It returns false with the failure to report.
  bool Choose(const Arguments& args, Failure* failure);
};

// TextsFor takes --name, --location and --reason, else the certificate's common name,
// "FirmaZEB" and "Firma de documento".
SignatureTexts TextsFor(const Arguments& args, const CertificateEntry& entry);

// PrintSigned writes the result lines of a signed copy on standard output.
void PrintSigned(const std::string& path, const SignResult& result);

// Fail prints "quillmark: <message>" on standard error and returns kExitFailed; a Failure
// with the usage status is reported as a usage error.
int Fail(const std::string& message);
int Fail(const Failure& failure);
