#pragma once

#include <cstddef>
#include <string>

// WriteLargeDocument writes the signing benchmarks' document: `pages` pages, each drawing its
// own gray image of about `imageBytes` bytes of noise (so nothing compresses), with a classic
// cross-reference table. It returns false when the file cannot be written.
bool WriteLargeDocument(const std::string& path, size_t pages, size_t imageBytes);
