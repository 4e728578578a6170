// Real cameras and capture cards through V4L2, the Linux video capture API.
// Every /dev/video* node that captures video with streaming I/O is a device
// (metadata-only and output nodes are left out). Its unique ID stays the
// same across reboots: the node's /dev/v4l/by-id link where udev made one,
// else the bus position and card name. Input sources come from
// VIDIOC_ENUMINPUT. Frames stream through mmap buffers on the device's own
// thread, in UYVY ('2vuy' byte order) when the driver offers it, else YUYV
// or Motion JPEG converted to '2vuy'.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hd/video/capture_backend.h"
#include "platform_linux/v4l2/v4l2_node.h"  // ChooseV4L2PixelFormat

namespace fw {

// IDs begin with this, so they never clash with another backend's.
constexpr char kV4L2UniqueIDPrefix[] = "v4l2:";

class V4L2Backend final : public CaptureBackend {
 public:
  V4L2Backend();  // /dev and /dev/v4l/by-id
  // Other folders to scan, for tests.
  V4L2Backend(std::string nodeDirectory, std::string byIdDirectory);

  void ListDevices(std::vector<CaptureDeviceDescription>& devices) override;
  std::unique_ptr<CaptureDevice> FindDevice(const std::string& uniqueID) override;

 private:
  struct Node {
    std::string path;
    CaptureDeviceDescription description;
  };
  std::vector<Node> ListNodes();

  std::string nodeDirectory_;
  std::string byIdDirectory_;
};

// What a node tells about itself.
struct V4L2NodeInfo {
  std::string card;     // the driver's name of the device
  std::string busInfo;  // where it sits, e.g. "usb-0000:00:14.0-1"
  std::vector<std::string> inputs;
};

// Opens the node and asks it; an error for anything that is not a video
// capture node with streaming I/O (a missing file gives fnfErr, another
// kind of file the ioctl's errno).
OSErr ProbeV4L2Node(const std::string& path, V4L2NodeInfo* outInfo);

// The capture device on a node, as FindDevice makes it.
std::unique_ptr<CaptureDevice> NewV4L2Device(std::string nodePath, CaptureDeviceDescription description);

}  // namespace fw
