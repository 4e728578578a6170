// Finding the manual beside the program.
#include "core/platform/manual_location.h"

#include <climits>
#include <cstdlib>

#include "core/platform/folders.h"

namespace fw {

std::string FileURLOfPath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') || byte == '/' || byte == '-' || byte == '_' ||
                       byte == '.' || byte == '~';
    if (plain) {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0xF];
    }
  }
  return url;
}

OSErr FindManual(const std::string& relativePath, std::string* outPath) {
  std::string folder;
  if (const OSErr err = GetApplicationFolder(&folder); err != noErr) return err;
  char resolved[PATH_MAX];
  if (realpath((folder + "/" + relativePath).c_str(), resolved) == nullptr) return fnfErr;
  *outPath = resolved;
  return noErr;
}

}  // namespace fw
