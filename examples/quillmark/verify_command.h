#pragma once

#include "examples/quillmark/arguments.h"

// Exit status of verify when every signature is intact but some issuer is not trusted.
inline constexpr int kExitUntrusted = 3;

// RunVerify is `quillmark verify FILE [--trust CERTS.pem] [--json]`.
int RunVerify(const Arguments& args);
