// Well-known folders: preferences, Desktop, Documents and the program's own.
#pragma once

#include <string>

#include "core/platform/os_errors.h"

namespace fw {

enum class FolderCreation { kCreateIfMissing, kUseAsIs };

// $XDG_CONFIG_HOME, else ~/.config; created when missing.
[[nodiscard]] OSErr GetPreferencesFolder(std::string* outPath);

// The XDG user directories named in ~/.config/user-dirs.dirs (XDG_DESKTOP_DIR,
// XDG_DOCUMENTS_DIR), falling back to ~/Desktop and ~/Documents.
[[nodiscard]] OSErr GetDesktopFolder(std::string* outPath, FolderCreation creation);
[[nodiscard]] OSErr GetDocumentsFolder(std::string* outPath, FolderCreation creation);

// The folder that holds the running executable.
[[nodiscard]] OSErr GetApplicationFolder(std::string* outPath);

// The user's home folder ($HOME, else the password database).
[[nodiscard]] OSErr GetHomeFolder(std::string* outPath);

}  // namespace fw
