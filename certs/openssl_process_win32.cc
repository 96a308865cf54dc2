#include <process.h>

#include <cstdio>
#include <cstdlib>

#include "certs/openssl_process.h"

namespace {

// QuoteArgument wraps a path in double quotes and writes every inner quote as \".
std::string QuoteArgument(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string CommandLine(const std::vector<OpensslArg>& args) {
  std::string line = "openssl";
  for (const OpensslArg& arg : args) {
    line += ' ';
    line += arg.text;
    if (!arg.path.empty()) line += QuoteArgument(arg.path);
  }
  return line;
}

}  // namespace

int RunOpenssl(const std::vector<OpensslArg>& args) {
  return std::system((CommandLine(args) + " >nul 2>&1").c_str());
}

std::string RunOpensslCapture(const std::vector<OpensslArg>& args) {
  std::string output;
  FILE* pipe = _popen(CommandLine(args).c_str(), "rb");
  if (!pipe) return output;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
  _pclose(pipe);
  return output;
}

TempCreate CreateTempFile(const std::string& path, const uint8_t* data, size_t len) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return TempCreate::Failed;
  bool ok = len == 0 || std::fwrite(data, 1, len, f) == len;
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    std::remove(path.c_str());
    return TempCreate::Failed;
  }
  return TempCreate::Created;
}

char TempPathSeparator() {
  return '\\';
}

long CurrentProcessId() {
  return long(_getpid());
}
