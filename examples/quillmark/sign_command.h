#pragma once

#include <string>
#include <vector>

#include "examples/quillmark/arguments.h"

// RunSign is `quillmark sign DOCUMENTO.pdf|CARPETA... [--out F | --out-dir CARPETA] ...`: every
// document signed with one certificate, unlocked once.
int RunSign(const Arguments& args);

// DocumentList is what the words of the command line name: files as they are, and for each
// folder its PDF files (by name, not in subfolders, hidden ones left out).
struct DocumentList {
  std::vector<std::string> documents;
  std::vector<std::string> emptyFolders;  // folders without a PDF file
};
DocumentList ListDocuments(const std::vector<std::string>& words);
