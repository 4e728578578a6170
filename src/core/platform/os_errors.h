// Error codes shared by every module. Every fallible function returns a signed
// 32-bit code, 0 for success. File operations report the classic File Manager
// codes, so that the alert texts and the classic message tables explain them;
// errno values without such a code pass through as themselves (positive).
#pragma once

#include <cstdint>

using OSErr = int32_t;

constexpr OSErr noErr = 0;
constexpr OSErr dskFulErr = -34;    // disk full (ENOSPC, EDQUOT, EFBIG)
constexpr OSErr ioErr = -36;        // I/O error (EIO)
constexpr OSErr bdNamErr = -37;     // bad file name (ENAMETOOLONG)
constexpr OSErr eofErr = -39;       // end of file reached before all bytes were read
constexpr OSErr fnfErr = -43;       // file not found (ENOENT)
constexpr OSErr wPrErr = -44;       // volume is read-only (EROFS)
constexpr OSErr dupFNErr = -48;     // file already exists (EEXIST)
constexpr OSErr paramErr = -50;     // bad parameter
constexpr OSErr permErr = -54;      // no permission (EACCES, EPERM)
constexpr OSErr memFullErr = -108;  // out of memory (ENOMEM)
constexpr OSErr dirNFErr = -120;    // directory not found (ENOTDIR)
constexpr OSErr userCanceledErr = -128;
constexpr OSErr cDepthErr = -157;     // unsupported pixel depth
constexpr OSErr notAFileErr = -1302;  // a folder or special file where a file was expected
constexpr OSErr badCallOrderErr = -2209;

namespace fw {

// Translates an errno value to the code the message tables know; any errno
// without a File Manager counterpart comes back unchanged (positive). 0 → 0.
[[nodiscard]] OSErr OSErrFromErrno(int errnoValue);

}  // namespace fw
