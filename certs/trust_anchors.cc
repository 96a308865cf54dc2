#include "certs/trust_anchors.h"

#include <cstdio>

#include "pades/cert_chain.h"

bool ReadPemBundle(const std::string& path, std::vector<Bytes>* anchors) {
  anchors->clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string pem;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) pem.append(buffer, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  if (ok) *anchors = ReadPemCertificates(pem);
  return ok;
}
