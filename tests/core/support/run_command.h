// Runs a shell command and captures its standard output, for tests that ask
// real programs (ffprobe, ffmpeg, mediainfo, fwmov) about the files we write.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

struct CommandResult {
  int status = -1;  // exit status; -1 when the command did not exit normally
  std::string out;  // what it printed on stdout
};

inline CommandResult RunCommand(const std::string& command) {
  CommandResult r;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  std::array<char, 4096> buffer;
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// Quotes a string for the shell.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
