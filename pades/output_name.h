#pragma once

#include <string>

// SignedOutputPath names the signed copy of `input` beside it: the input without its
// extension (a dot in a folder name is not one; "documento" when nothing is left), then
// "_firmao.pdf", or "_firmao2.pdf", "_firmao3.pdf" ... up to 999, the first that does not
// exist. It returns false when every name is taken: an existing file is never overwritten.
bool SignedOutputPath(const std::string& input, std::string* output);
