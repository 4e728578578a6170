// Where the program's manual lies: beside the program in the same layout in
// the build tree and once installed (bin/framewright-hd, bin/framewright and
// share/doc/framewright/manual.html under one prefix).
#pragma once

#include <string>

#include "core/platform/os_errors.h"

namespace fw {

// A file: URL of `path` (absolute), with every byte that may not stand in a
// URL path percent-encoded.
std::string FileURLOfPath(const std::string& path);

// The manual's path: `relativePath` taken from the program's folder and
// made canonical. fnfErr when no file lies there.
[[nodiscard]] OSErr FindManual(const std::string& relativePath, std::string* outPath);

}  // namespace fw
