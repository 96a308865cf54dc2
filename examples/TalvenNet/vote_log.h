#pragma once

#include <ctime>
#include <string>

// The program's log, "TALVEN.log": one line per event, local time first. Nothing secret is
// ever written to it; the callers pass summaries, never the PIN or the request body.

// AppendLine appends `text` and a line feed to the file at `path`. It returns false for an
// empty path, a file that cannot be opened, or a short write.
bool AppendLine(const std::string& path, const std::string& text);

// LogLine is the line as written for local time `when`: "%Y-%m-%d %H:%M:%S", two spaces and
// the text (no time when the time cannot be formatted), every control character of the text
// written as "\xNN" so that one event stays one line.
std::string LogLine(std::time_t when, const std::string& text);

// LogFolders lists where the log may go, in order: the program's folder, and on Linux the
// user's state folder ($XDG_STATE_HOME/talvennet, by default ~/.local/state/talvennet) for an
// installed program whose folder is not writable.
struct LogFolders {
  std::string program;
  std::string fallback;  // empty when there is none
};
LogFolders DefaultLogFolders();
// MakeLogFolder creates the fallback folder and its parents (private to the user) when they
// are missing; false when it cannot.
bool MakeLogFolder(const std::string& folder);

// WriteLogTo appends the line to TALVEN.log in the first folder that takes it (creating the
// fallback folder when it is needed). It returns the file written, or empty when none was.
std::string WriteLogTo(const LogFolders& folders, const std::string& text);

// WriteLog logs `text` with the current local time; a log that cannot be written is ignored.
void WriteLog(const std::string& text);
