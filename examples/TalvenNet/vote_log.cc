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
  return std::string(stamp, n) + "  " + text;
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
