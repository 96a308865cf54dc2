// Hashes a 256 MiB buffer with each SHA-256 path and prints MB/s beside openssl's figure.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "core/text.h"

namespace {

double Measure(const std::vector<uint8_t>& data) {
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    auto start = std::chrono::steady_clock::now();
    Sha256Digest d = Sha256(data.data(), data.size());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    volatile uint8_t sink = d[0];
    (void)sink;
    best = std::max(best, data.size() / 1e6 / seconds);
  }
  return best;
}

double OpensslFigure() {
  // "sha256  ...  <16384-byte column>k": the last column of the result line, in kB/s.
  FILE* pipe = popen("openssl speed -seconds 2 -bytes 16384 -evp sha256 2>/dev/null | tail -n 1", "r");
  if (!pipe) return 0;
  char line[512] = {0};
  if (!fgets(line, sizeof line, pipe)) line[0] = 0;
  pclose(pipe);
  std::string text = line;
  size_t end = text.find_last_of("k");
  if (end == std::string::npos) return 0;
  size_t start = text.find_last_of(" \t", end);
  return std::atof(text.substr(start + 1, end - start - 1).c_str()) * 1000 / 1e6;
}

}  // namespace

int main() {
  std::vector<uint8_t> data(256u << 20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 2654435761u >> 24);
  auto& active = sha256_internal::Active();
  auto saved = active;
  active = sha256_internal::BlocksPortable;
  double portable = Measure(data);
  std::printf("sha256 portable:        %8.0f MB/s\n", portable);
  if (auto extensions = sha256_internal::BlocksShaExtensions()) {
    active = extensions;
    std::printf("sha256 SHA extensions:  %8.0f MB/s\n", Measure(data));
  } else {
    std::printf("sha256 SHA extensions:  not available on this CPU\n");
  }
  active = saved;
  std::printf("openssl speed -evp sha256 (16 KiB blocks): %8.0f MB/s\n", OpensslFigure());
  return 0;
}
