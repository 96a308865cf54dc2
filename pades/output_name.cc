#include "pades/output_name.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "pades/file_io.h"

namespace {

constexpr int kLastNumber = 999;

// Taken: any entry of that name, whatever its kind and whoever may read it. When the folder
// cannot be examined, the name is free here and writing it reports the cause.
bool Taken(const std::string& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  return !error && status.type() != std::filesystem::file_type::not_found;
}

std::string Stem(const std::string& input) {
  std::string stem = input;
  size_t slash = stem.find_last_of("/\\");
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.erase(dot);
  if (stem.empty()) stem = "documento";
  return stem;
}

std::string Candidate(const std::string& stem, int n) {
  return stem + "_firmao" + (n == 1 ? "" : std::to_string(n)) + ".pdf";
}

}  // namespace

bool SignedOutputPath(const std::string& input, std::string* output) {
  const std::string stem = Stem(input);
  for (int n = 1; n <= kLastNumber; ++n) {
    std::string candidate = Candidate(stem, n);
    if (Taken(candidate)) continue;
    *output = candidate;
    return true;
  }
  return false;
}

OutputClaim::~OutputClaim() {
  if (created_) std::remove(path_.c_str());
}

void OutputClaim::Keep() {
  created_ = false;
  guard_.Release();
}

bool ClaimSignedOutputPath(const std::string& input, OutputClaim* claim) {
  const std::string stem = Stem(input);
  for (int n = 1; n <= kLastNumber; ++n) {
    std::string candidate = Candidate(stem, n);
    NewFile made = CreateNewFile(candidate);
    if (made == NewFile::Exists) continue;
    claim->path_ = candidate;
    claim->created_ = made == NewFile::Created;
    if (claim->created_) claim->guard_.GuardWhileEmpty(candidate.c_str());
    return true;
  }
  return false;
}
