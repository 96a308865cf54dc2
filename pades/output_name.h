#pragma once

#include <string>

#include "core/signal_cleanup.h"

// SignedOutputPath names the signed copy of `input` beside it: the input without its
// extension (a dot in a folder name is not one; "documento" when nothing is left), then
// "_firmao.pdf", or "_firmao2.pdf", "_firmao3.pdf" ... up to 999, the first for which no entry
// exists (any entry counts: a file nobody may read, a folder, a dangling link). It returns
// false when every name is taken: an existing file is never overwritten. The name is not
// reserved; a signer that writes it at once uses ClaimSignedOutputPath.
bool SignedOutputPath(const std::string& input, std::string* output);

// OutputClaim holds a name taken for a signed copy: an empty file that no other process can
// take. Unless Keep is called once the signed copy has replaced it, the claim removes the
// empty file when it goes, and also when a signal stops the process while the file is still
// empty (a signed copy that has just replaced it stays).
class OutputClaim {
 public:
  OutputClaim() = default;
  ~OutputClaim();
  OutputClaim(const OutputClaim&) = delete;
  OutputClaim& operator=(const OutputClaim&) = delete;

  const std::string& path() const { return path_; }
  void Keep();

 private:
  friend bool ClaimSignedOutputPath(const std::string& input, OutputClaim* claim);
  std::string path_;
  bool created_ = false;
  CleanupPath guard_;
};

// ClaimSignedOutputPath takes the first free name of SignedOutputPath's sequence by creating
// it exclusively, so parallel signers of one document never write the same copy. When the
// folder does not let it create anything, the first free name is returned unclaimed, and
// writing it reports why. It returns false when every name is taken.
bool ClaimSignedOutputPath(const std::string& input, OutputClaim* claim);
