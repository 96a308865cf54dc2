#include "examples/quillmark/progress.h"

#include <cmath>
#include <cstdio>

#include "certs/certificate_entry.h"

namespace {

// Long names keep their end, where names of a batch differ.
constexpr size_t kNameCharacters = 40;

size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

std::string Shortened(const std::string& name) {
  if (CharacterCount(name) <= kNameCharacters) return name;
  size_t keep = kNameCharacters - 3, at = name.size();
  while (at > 0 && keep > 0) {
    --at;
    if ((static_cast<unsigned char>(name[at]) & 0xC0) != 0x80) --keep;  // a character starts here
  }
  return "..." + name.substr(at);
}

std::string Duration(double seconds) {
  if (seconds < 1) return "menos de 1 s";
  long s = std::lround(std::ceil(seconds));
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

}  // namespace

std::string ProgressText(size_t index, size_t total, const std::string& path, double elapsed) {
  std::string text =
      std::to_string(index + 1) + "/" + std::to_string(total) + " · " + Shortened(FileNameOf(path));
  if (index > 0) text += " · quedan " + Duration(elapsed / double(index) * double(total - index));
  return text;
}

ProgressLine::ProgressLine(size_t total) : total_(total), enabled_(StderrIsTerminal()) {}

ProgressLine::~ProgressLine() {
  Clear();
}

void ProgressLine::Show(size_t index, const std::string& path) {
  if (!enabled_) return;
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string text = ProgressText(index, total_, path, elapsed);
  const size_t width = CharacterCount(text);
  std::fprintf(stderr, "\r%s%*s", text.c_str(), int(shown_ > width ? shown_ - width : 0), "");
  std::fflush(stderr);
  shown_ = width;
}

void ProgressLine::Clear() {
  if (!enabled_ || shown_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", int(shown_), "");
  std::fflush(stderr);
  shown_ = 0;
}
