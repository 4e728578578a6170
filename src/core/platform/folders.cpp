// Well-known folders after the XDG base directory and user directory rules.
#include "core/platform/folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fw {

namespace fs = std::filesystem;

namespace {

OSErr EnsureFolder(const std::string& path, FolderCreation creation) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return noErr;
  if (creation == FolderCreation::kUseAsIs) return fs::exists(path, ec) ? dirNFErr : fnfErr;
  fs::create_directories(path, ec);
  if (ec) return OSErrFromErrno(ec.value());
  return noErr;
}

std::string ConfigHome(const std::string& home) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // The XDG rules ignore a relative value.
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  return home + "/.config";
}

// Reads one entry of user-dirs.dirs: lines like XDG_DESKTOP_DIR="$HOME/Desktop".
// Returns an empty string when the entry is absent or malformed.
std::string UserDirFromConfig(const std::string& home, const std::string& key) {
  std::ifstream in(ConfigHome(home) + "/user-dirs.dirs");
  std::string line;
  const std::string prefix = key + "=\"";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    size_t end = line.find('"', prefix.size());
    if (end == std::string::npos) return {};
    std::string value = line.substr(prefix.size(), end - prefix.size());
    if (value.rfind("$HOME", 0) == 0) {
      value = home + value.substr(5);
    } else if (value.empty() || value[0] != '/') {
      return {};
    }
    while (value.size() > 1 && value.back() == '/') value.pop_back();
    return value;
  }
  return {};
}

OSErr UserDir(const std::string& key, const std::string& fallbackName, FolderCreation creation,
              std::string* outPath) {
  std::string home;
  if (OSErr err = GetHomeFolder(&home)) return err;
  std::string path = UserDirFromConfig(home, key);
  if (path.empty()) path = home + "/" + fallbackName;
  if (OSErr err = EnsureFolder(path, creation)) return err;
  *outPath = path;
  return noErr;
}

}  // namespace

OSErr GetHomeFolder(std::string* outPath) {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    *outPath = home;
    return noErr;
  }
  struct passwd* pw = ::getpwuid(::getuid());
  if (pw == nullptr || pw->pw_dir == nullptr) return fnfErr;
  *outPath = pw->pw_dir;
  return noErr;
}

OSErr GetPreferencesFolder(std::string* outPath) {
  std::string home;
  if (OSErr err = GetHomeFolder(&home)) return err;
  std::string path = ConfigHome(home);
  if (OSErr err = EnsureFolder(path, FolderCreation::kCreateIfMissing)) return err;
  *outPath = path;
  return noErr;
}

OSErr GetDesktopFolder(std::string* outPath, FolderCreation creation) {
  return UserDir("XDG_DESKTOP_DIR", "Desktop", creation, outPath);
}

OSErr GetDocumentsFolder(std::string* outPath, FolderCreation creation) {
  return UserDir("XDG_DOCUMENTS_DIR", "Documents", creation, outPath);
}

OSErr GetApplicationFolder(std::string* outPath) {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return OSErrFromErrno(ec.value());
  *outPath = exe.parent_path().string();
  return noErr;
}

}  // namespace fw
