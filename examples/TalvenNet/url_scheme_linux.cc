#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "examples/TalvenNet/url_scheme.h"

extern char** environ;

namespace {

std::string ProgramPath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0 || n >= ssize_t(sizeof buf - 1)) return {};
  return std::string(buf, size_t(n));
}

// XdgFolder is $variable when it is absolute, else $HOME/fallback; empty without either.
std::string XdgFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/" + fallback;
  return {};
}

bool MakeFolders(const std::string& folder) {
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at < folder.size() && folder[at] != '/') continue;
    if (mkdir(folder.substr(0, at).c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool ReadText(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

// WriteIfChanged replaces the file through a temporary one beside it, so a reader never
// sees half of it, and leaves an identical file untouched.
bool WriteIfChanged(const std::string& path, const std::string& text) {
  std::string old;
  if (ReadText(path, &old) && old == text) return true;
  const std::string temporary = path + ".tmp-" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush()) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

// ExecArgument quotes a path for a desktop entry's Exec key when it needs it; '%' is
// doubled in every case, as field codes are expanded inside quotes too.
std::string ExecArgument(const std::string& path) {
  bool quote = path.find_first_of(" \t\n\"'\\><~|&;$*?#()`=") != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char c : path) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
    if (c == '%') out += '%';
  }
  if (quote) out += '"';
  // The desktop entry format reads a backslash as an escape of its own: double it again.
  std::string escaped;
  for (char c : out) {
    escaped += c;
    if (c == '\\') escaped += '\\';
  }
  return escaped;
}

// SetDefaultHandler puts `key`=`entry` into the [Default Applications] group of a
// mimeapps.list text, keeping every other line as it is.
std::string SetDefaultHandler(const std::string& text, const std::string& key, const std::string& entry) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::string wanted = key + "=" + entry;
  int group = -1;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == "[Default Applications]") group = static_cast<int>(i);
  }
  if (group < 0) {
    if (!lines.empty() && !lines.back().empty()) lines.push_back("");
    lines.push_back("[Default Applications]");
    lines.push_back(wanted);
  } else {
    size_t end = group + 1;
    bool done = false;
    for (; end < lines.size() && !(lines[end].size() > 0 && lines[end][0] == '['); ++end) {
      if (lines[end].rfind(key + "=", 0) == 0) {
        lines[end] = wanted;
        done = true;
      }
    }
    // A new line goes after the group's last one, before any blank lines that end it.
    while (!done && end > size_t(group) + 1 && lines[end - 1].empty()) --end;
    if (!done) lines.insert(lines.begin() + end, wanted);
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// RunXdgMime runs xdg-mime from the search path without a shell; false when it is missing
// or fails.
bool RunXdgMime(const std::string& entry, const std::string& type) {
  std::vector<std::string> words = {"xdg-mime", "default", entry, type};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  int spawned = posix_spawnp(&pid, "xdg-mime", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool RegisterUrlScheme(const std::string& scheme) {
  if (scheme.empty()) return false;
  const std::string program = ProgramPath();
  const std::string applications = XdgFolder("XDG_DATA_HOME", ".local/share");
  const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
  if (program.empty() || applications.empty() || config.empty()) return false;
  const std::string folder = applications + "/applications";
  const std::string entry = "voteauth-" + scheme + ".desktop";
  const std::string type = "x-scheme-handler/" + scheme;
  const std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=TalvenNet\n"
      "Comment=URL:" +
      scheme +
      " Identidad Digital\n"
      "Exec=" +
      ExecArgument(program) +
      " %u\n"
      "Terminal=false\n"
      "NoDisplay=true\n"
      "MimeType=" +
      type + ";\n";
  if (!MakeFolders(folder) || !WriteIfChanged(folder + "/" + entry, text)) return false;
  if (RunXdgMime(entry, type)) return true;
  if (!MakeFolders(config)) return false;
  const std::string list = config + "/mimeapps.list";
  std::string old;
  ReadText(list, &old);
  return WriteIfChanged(list, SetDefaultHandler(old, type, entry));
}
