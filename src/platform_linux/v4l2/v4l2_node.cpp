// V4L2 device nodes.
#include "platform_linux/v4l2/v4l2_node.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/platform/os_errors.h"

namespace fw {

int V4L2Ioctl(int fd, unsigned long request, void* arg) {
  int result;
  do {
    result = ioctl(fd, request, arg);
  } while (result == -1 && errno == EINTR);
  return result == -1 ? errno : 0;
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int UniqueFd::Release() {
  return std::exchange(fd_, -1);
}

void UniqueFd::Reset() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::string V4L2FieldText(const uint8_t* field, size_t fieldBytes) {
  const char* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, fieldBytes));
}

int V4L2VideoNodeNumber(const char* name) {
  if (std::strncmp(name, "video", 5) != 0 || name[5] < '0' || name[5] > '9') return -1;
  char* end = nullptr;
  const long number = std::strtol(name + 5, &end, 10);
  if (*end != '\0' || number < 0 || number > INT_MAX) return -1;
  return static_cast<int>(number);
}

std::vector<std::string> ListV4L2VideoNodes(const std::string& directory) {
  std::vector<std::pair<int, std::string>> nodes;
  if (DIR* dir = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const int number = V4L2VideoNodeNumber(entry->d_name);
      if (number >= 0) nodes.emplace_back(number, directory + "/" + entry->d_name);
    }
    closedir(dir);
  }
  std::sort(nodes.begin(), nodes.end());
  std::vector<std::string> paths;
  for (auto& [number, path] : nodes) paths.push_back(std::move(path));
  return paths;
}

OSErr OpenV4L2CaptureNode(const std::string& path, UniqueFd* outFd, v4l2_capability* outCaps) {
  UniqueFd fd(open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return OSErrFromErrno(errno);
  v4l2_capability caps{};
  if (const int err = V4L2Ioctl(fd.get(), VIDIOC_QUERYCAP, &caps); err != 0) return OSErrFromErrno(err);
  const uint32_t nodeCaps =
      (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? caps.device_caps : caps.capabilities;
  if ((nodeCaps & V4L2_CAP_VIDEO_CAPTURE) == 0 || (nodeCaps & V4L2_CAP_STREAMING) == 0)
    return OSErrFromErrno(ENODEV);
  *outFd = std::move(fd);
  if (outCaps != nullptr) *outCaps = caps;
  return noErr;
}

std::vector<std::string> V4L2InputNames(int fd) {
  std::vector<std::string> names;
  for (uint32_t index = 0;; ++index) {
    v4l2_input input{};
    input.index = index;
    if (V4L2Ioctl(fd, VIDIOC_ENUMINPUT, &input) != 0) break;
    names.push_back(V4L2FieldText(input.name, sizeof input.name));
  }
  return names;
}

std::vector<uint32_t> V4L2CapturePixelFormats(int fd) {
  std::vector<uint32_t> formats;
  for (uint32_t index = 0;; ++index) {
    v4l2_fmtdesc desc{};
    desc.index = index;
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (V4L2Ioctl(fd, VIDIOC_ENUM_FMT, &desc) != 0) break;
    formats.push_back(desc.pixelformat);
  }
  return formats;
}

uint32_t ChooseV4L2PixelFormat(const std::vector<uint32_t>& offered) {
  for (const uint32_t preferred :
       {V4L2_PIX_FMT_UYVY, V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_JPEG})
    if (std::find(offered.begin(), offered.end(), preferred) != offered.end()) return preferred;
  return 0;
}

}  // namespace fw
