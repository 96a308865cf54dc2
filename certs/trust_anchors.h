#pragma once

#include <string>
#include <vector>

#include "core/bytes.h"

// The certificates a verification trusts as roots when the user names none: the system's own.

// ReadPemBundle reads every certificate of a PEM file. It returns false, with `anchors` empty,
// when the file cannot be read; a readable file without certificates gives true and nothing.
bool ReadPemBundle(const std::string& path, std::vector<Bytes>* anchors);

// SystemTrustAnchors gives the DER of the system's trusted roots: on Linux the PEM bundle named
// by SSL_CERT_FILE (as OpenSSL reads it), else Debian's /etc/ssl/certs/ca-certificates.crt; on
// Windows the current user's "ROOT" store, which includes the machine's. Empty when none can be
// read. Defined per platform.
std::vector<Bytes> SystemTrustAnchors();
