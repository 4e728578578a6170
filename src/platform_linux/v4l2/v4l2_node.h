// V4L2 device nodes, as both programs' camera code meets them: the ioctl
// wrapper, the "videoN" nodes of a folder, opening a node that captures
// video with streaming I/O, and asking it for its inputs and pixel formats.
// System calls answer 0 or errno; what opens a node answers an OSErr.
#pragma once

#include <linux/videodev2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/os_errors.h"

namespace fw {

// ioctl, retried when a signal interrupts it; 0 or errno.
int V4L2Ioctl(int fd, unsigned long request, void* arg);

// A file descriptor closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  // Gives the descriptor up to the caller, who closes it.
  int Release();
  void Reset();

 private:
  int fd_ = -1;
};

// A fixed-size, NUL-padded text field of a V4L2 structure.
std::string V4L2FieldText(const uint8_t* field, size_t fieldBytes);

// The number N of a name "videoN" (digits only after "video"), or -1.
int V4L2VideoNodeNumber(const char* name);
// The "videoN" entries of a folder, in the order of N (video2 before
// video10); none when the folder cannot be read.
std::vector<std::string> ListV4L2VideoNodes(const std::string& directory);

// Opens a node, non-blocking, that captures video with streaming I/O (by
// the caps of this node, not of the whole device, whose other nodes may
// capture metadata only), and its capabilities. Anything else is refused
// with a code: a missing file fnfErr, another kind of file the ioctl's
// errno, a node of another kind ENODEV.
OSErr OpenV4L2CaptureNode(const std::string& path, UniqueFd* outFd, v4l2_capability* outCaps);

// What the node offers: its inputs' names (none when it names none) and its
// capture pixel formats.
std::vector<std::string> V4L2InputNames(int fd);
std::vector<uint32_t> V4L2CapturePixelFormats(int fd);

// The pixel formats both programs can turn into '2vuy', best first: UYVY,
// YUYV, Motion JPEG (or JPEG). The best of those offered, 0 when none is.
uint32_t ChooseV4L2PixelFormat(const std::vector<uint32_t>& offered);

}  // namespace fw
