#pragma once

#include <string>
#include <vector>

#include "certs/certificate_entry.h"
#include "core/bytes.h"

// The DNIe as a source of the certificate list: the only place where the list meets the
// card code.

// ListDnieCertificates appends the signing certificates of the DNIe in the chosen reader
// (`options.readerName`, else the default reader) and returns the list's status part:
// "DNIe: sin lector", "DNIe: N de firma" or "DNIe: ninguno (...)".
std::string ListDnieCertificates(const SignerOptions& options, std::vector<CertificateEntry>* entries);

// SignWithDnie asks the card in `readerName` for the signature, with the card's own
// key-store fall-back. It returns empty bytes when nothing signed; `message` says why, or
// how the signature was made.
Bytes SignWithDnie(const std::string& readerName, const Bytes& certificateDer, const Bytes& data,
                   const std::string& pin, std::string* message);
