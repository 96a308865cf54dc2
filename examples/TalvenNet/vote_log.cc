#include "examples/TalvenNet/vote_log.h"

#include <cstdio>

#include "core/calendar.h"

bool AppendLine(const std::string& path, const std::string& text) {
  if (path.empty()) return false;
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fputc('\n', file) != EOF;
  return std::fclose(file) == 0 && ok;
}

std::string LogLine(std::time_t when, const std::string& text) {
  const std::tm tm = LocalCalendar(when);
  char stamp[128];
  size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::string line = std::string(stamp, n) + "  ";
  // A server's answer or a link's value may hold line breaks: written as they are, they
  // would end this event's line and could pass for lines of their own.
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      line += escaped;
    } else {
      line += c;
    }
  }
  return line;
}

std::string WriteLogTo(const LogFolders& folders, const std::string& text) {
  const std::string line = LogLine(std::time(nullptr), text);
  std::string path = folders.program + "/TALVEN.log";
  if (AppendLine(path, line)) return path;
  if (folders.fallback.empty() || !MakeLogFolder(folders.fallback)) return {};
  path = folders.fallback + "/TALVEN.log";
  return AppendLine(path, line) ? path : std::string();
}

void WriteLog(const std::string& text) {
  static const LogFolders folders = DefaultLogFolders();
  WriteLogTo(folders, text);
}
