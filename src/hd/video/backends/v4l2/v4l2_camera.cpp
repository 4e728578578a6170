// V4L2 cameras.
#include "hd/video/backends/v4l2/v4l2_camera.h"

#include <dirent.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <thread>

#include "core/imaging/pixel_conversion.h"
#include "platform_linux/v4l2/v4l2_node.h"

namespace fw {

namespace {

constexpr uint32_t kBufferCount = 4;

// Node path → name of the by-id link that points at it.
std::map<std::string, std::string> ByIdLinks(const std::string& byIdDirectory) {
  std::map<std::string, std::string> links;
  DIR* dir = opendir(byIdDirectory.c_str());
  if (dir == nullptr) return links;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char resolved[PATH_MAX];
    if (realpath((byIdDirectory + "/" + entry->d_name).c_str(), resolved) == nullptr) continue;
    // Several links to one node: keep the first by name, so the choice is stable.
    auto [it, inserted] = links.emplace(resolved, entry->d_name);
    if (!inserted && it->second > entry->d_name) it->second = entry->d_name;
  }
  closedir(dir);
  return links;
}

class V4L2Device final : public CaptureDevice {
 public:
  V4L2Device(std::string path, CaptureDeviceDescription description)
      : path_(std::move(path)), description_(std::move(description)) {}
  ~V4L2Device() override { Stop(); }

  const CaptureDeviceDescription& Description() const override { return description_; }

  OSErr Start(const CaptureStreamRequest& request, FrameSink& sink) override {
    if (fd_.get() >= 0) return badCallOrderErr;
    const OSErr err = SetUp(request, sink);
    if (err != noErr) Stop();
    return err;
  }

  void Stop() override {
    if (thread_.joinable()) {
      const uint64_t one = 1;
      // An eventfd write of 1 cannot fail short of a counter overflow.
      [[maybe_unused]] const ssize_t written = write(stopFd_.get(), &one, sizeof one);
      thread_.join();
    }
    if (fd_.get() >= 0 && streaming_) {
      int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      V4L2Ioctl(fd_.get(), VIDIOC_STREAMOFF, &type);  // a vanished device has stopped anyway
    }
    streaming_ = false;
    for (const Mapping& mapping : mappings_) munmap(mapping.address, mapping.lengthBytes);
    mappings_.clear();
    if (fd_.get() >= 0) {
      v4l2_requestbuffers release{};
      release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      release.memory = V4L2_MEMORY_MMAP;
      V4L2Ioctl(fd_.get(), VIDIOC_REQBUFS, &release);
    }
    fd_.Reset();
    stopFd_.Reset();
  }

 private:
  struct Mapping {
    void* address;
    size_t lengthBytes;
  };

  OSErr SetUp(const CaptureStreamRequest& request, FrameSink& sink) {
    v4l2_capability caps{};
    if (const OSErr err = OpenV4L2CaptureNode(path_, &fd_, &caps); err != noErr) return err;
    const int fd = fd_.get();

    if (request.inputSource >= 0) {
      int input = request.inputSource;
      if (const int err = V4L2Ioctl(fd, VIDIOC_S_INPUT, &input); err != 0) return OSErrFromErrno(err);
    }

    const uint32_t pixelFormat = ChooseV4L2PixelFormat(V4L2CapturePixelFormats(fd));
    if (pixelFormat == 0) return cDepthErr;

    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int err = V4L2Ioctl(fd, VIDIOC_G_FMT, &format); err != 0) return OSErrFromErrno(err);
    format.fmt.pix.pixelformat = pixelFormat;
    if (request.widthPixels > 0 && request.heightPixels > 0) {
      format.fmt.pix.width = static_cast<uint32_t>(request.widthPixels);
      format.fmt.pix.height = static_cast<uint32_t>(request.heightPixels);
    }
    format.fmt.pix.field = V4L2_FIELD_ANY;
    format.fmt.pix.bytesperline = 0;  // let the driver choose the row length
    if (const int err = V4L2Ioctl(fd, VIDIOC_S_FMT, &format); err != 0) return OSErrFromErrno(err);
    // The driver may adjust anything; what it answers is what comes.
    if (format.fmt.pix.pixelformat != pixelFormat) return cDepthErr;
    if (format.fmt.pix.width == 0 || format.fmt.pix.height == 0 ||
        format.fmt.pix.width > static_cast<uint32_t>(kMaxJPEGSideLengthPixels) ||
        format.fmt.pix.height > static_cast<uint32_t>(kMaxJPEGSideLengthPixels))
      return cDepthErr;
    pixelFormat_ = pixelFormat;
    widthPixels_ = static_cast<int32_t>(format.fmt.pix.width & ~1u);
    heightPixels_ = static_cast<int32_t>(format.fmt.pix.height);
    sourceRowBytes_ = static_cast<int32_t>(std::max(format.fmt.pix.bytesperline, format.fmt.pix.width * 2));

    if (request.framesPerSecond > 0) {
      v4l2_streamparm parm{};
      parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      if (V4L2Ioctl(fd, VIDIOC_G_PARM, &parm) == 0 &&
          (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME) != 0) {
        parm.parm.capture.timeperframe.numerator = 1;
        parm.parm.capture.timeperframe.denominator = static_cast<uint32_t>(request.framesPerSecond);
        V4L2Ioctl(fd, VIDIOC_S_PARM, &parm);  // a cap on the rate, not a requirement
      }
    }

    if (request.video == VideoConnection::kDisabled) return noErr;  // open, but no picture

    v4l2_requestbuffers buffers{};
    buffers.count = kBufferCount;
    buffers.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffers.memory = V4L2_MEMORY_MMAP;
    if (const int err = V4L2Ioctl(fd, VIDIOC_REQBUFS, &buffers); err != 0) return OSErrFromErrno(err);
    if (buffers.count == 0) return memFullErr;
    for (uint32_t index = 0; index < buffers.count; ++index) {
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      buffer.index = index;
      if (const int err = V4L2Ioctl(fd, VIDIOC_QUERYBUF, &buffer); err != 0) return OSErrFromErrno(err);
      void* address = mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buffer.m.offset);
      if (address == MAP_FAILED) return OSErrFromErrno(errno);
      mappings_.push_back({address, buffer.length});
      if (const int err = V4L2Ioctl(fd, VIDIOC_QBUF, &buffer); err != 0) return OSErrFromErrno(err);
    }
    stopFd_ = UniqueFd(eventfd(0, EFD_CLOEXEC));
    if (stopFd_.get() < 0) return OSErrFromErrno(errno);
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int err = V4L2Ioctl(fd, VIDIOC_STREAMON, &type); err != 0) return OSErrFromErrno(err);
    streaming_ = true;
    thread_ = std::thread([this, &sink] { Stream(sink); });
    return noErr;
  }

  // The device's thread: waits for filled buffers, converts each into a
  // frame of our own and gives the buffer straight back to the driver, so a
  // frame held by the application never starves the driver's queue.
  void Stream(FrameSink& sink) {
    JPEGTo2vuyDecoder decoder;
    pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {stopFd_.get(), POLLIN, 0}};
    for (;;) {
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        sink.RuntimeErrorOccurred(OSErrFromErrno(errno));
        return;
      }
      if (fds[1].revents != 0) return;
      if (fds[0].revents == 0) continue;
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      if (const int err = V4L2Ioctl(fd_.get(), VIDIOC_DQBUF, &buffer); err != 0) {
        if (err == EAGAIN && (fds[0].revents & (POLLERR | POLLHUP)) == 0) continue;
        // A device that has gone (unplugged: ENODEV, or an error state
        // without a buffer) becomes a runtime error, never a silent hang.
        sink.RuntimeErrorOccurred(OSErrFromErrno(err == EAGAIN ? ENODEV : err));
        return;
      }
      if (buffer.index < mappings_.size() && (buffer.flags & V4L2_BUF_FLAG_ERROR) == 0) {
        CaptureFrameRef frame;
        const OSErr err =
            Convert(static_cast<const uint8_t*>(mappings_[buffer.index].address),
                    std::min<size_t>(buffer.bytesused, mappings_[buffer.index].lengthBytes), decoder, &frame);
        if (err == memFullErr) {
          sink.RuntimeErrorOccurred(err);
          return;
        }
        if (frame != nullptr) sink.FrameArrived(std::move(frame));
      }
      if (const int err = V4L2Ioctl(fd_.get(), VIDIOC_QBUF, &buffer); err != 0) {
        sink.RuntimeErrorOccurred(OSErrFromErrno(err));
        return;
      }
    }
  }

  // A damaged or short buffer gives no frame and no error: cameras send
  // such frames now and then, and the next one is usually fine.
  OSErr Convert(const uint8_t* bytes, size_t usedBytes, JPEGTo2vuyDecoder& decoder,
                CaptureFrameRef* outFrame) {
    if (pixelFormat_ == V4L2_PIX_FMT_MJPEG || pixelFormat_ == V4L2_PIX_FMT_JPEG) {
      CaptureFrameRef frame;
      const OSErr err = decoder.Decode(bytes, usedBytes, [&](int32_t widthPixels, int32_t heightPixels) {
        frame = pool_.Acquire(widthPixels, heightPixels);
        return frame == nullptr ? JPEGTo2vuyDecoder::Destination{}
                                : JPEGTo2vuyDecoder::Destination{frame->BaseAddress(), frame->RowBytes()};
      });
      if (err == noErr) *outFrame = std::move(frame);
      return err == memFullErr ? err : noErr;
    }
    const size_t needed = static_cast<size_t>(sourceRowBytes_) * static_cast<size_t>(heightPixels_ - 1) +
                          static_cast<size_t>(widthPixels_) * 2;
    // Some drivers leave bytesused 0 for raw formats; the buffer length holds.
    if (usedBytes != 0 && usedBytes < needed) return noErr;
    CaptureFrameRef frame = pool_.Acquire(widthPixels_, heightPixels_);
    if (frame == nullptr) return memFullErr;
    if (pixelFormat_ == V4L2_PIX_FMT_UYVY)
      CopyUYVYTo2vuy(bytes, sourceRowBytes_, frame->BaseAddress(), frame->RowBytes(), widthPixels_,
                     heightPixels_);
    else
      ConvertYUYVTo2vuy(bytes, sourceRowBytes_, frame->BaseAddress(), frame->RowBytes(), widthPixels_,
                        heightPixels_);
    *outFrame = std::move(frame);
    return noErr;
  }

  std::string path_;
  CaptureDeviceDescription description_;
  UniqueFd fd_;
  UniqueFd stopFd_;
  std::vector<Mapping> mappings_;
  bool streaming_ = false;
  uint32_t pixelFormat_ = 0;
  int32_t widthPixels_ = 0;
  int32_t heightPixels_ = 0;
  int32_t sourceRowBytes_ = 0;
  FramePool pool_;
  std::thread thread_;
};

}  // namespace

OSErr ProbeV4L2Node(const std::string& path, V4L2NodeInfo* outInfo) {
  UniqueFd fd;
  v4l2_capability caps{};
  if (const OSErr err = OpenV4L2CaptureNode(path, &fd, &caps); err != noErr) return err;
  V4L2NodeInfo info;
  info.card = V4L2FieldText(caps.card, sizeof caps.card);
  info.busInfo = V4L2FieldText(caps.bus_info, sizeof caps.bus_info);
  info.inputs = V4L2InputNames(fd.get());
  *outInfo = std::move(info);
  return noErr;
}

std::unique_ptr<CaptureDevice> NewV4L2Device(std::string nodePath, CaptureDeviceDescription description) {
  return std::make_unique<V4L2Device>(std::move(nodePath), std::move(description));
}

V4L2Backend::V4L2Backend() : V4L2Backend("/dev", "/dev/v4l/by-id") {}

V4L2Backend::V4L2Backend(std::string nodeDirectory, std::string byIdDirectory)
    : nodeDirectory_(std::move(nodeDirectory)), byIdDirectory_(std::move(byIdDirectory)) {}

std::vector<V4L2Backend::Node> V4L2Backend::ListNodes() {
  const std::map<std::string, std::string> byId = ByIdLinks(byIdDirectory_);
  std::vector<Node> nodes;
  for (const std::string& path : ListV4L2VideoNodes(nodeDirectory_)) {
    V4L2NodeInfo info;
    if (ProbeV4L2Node(path, &info) != noErr) continue;
    Node node;
    node.path = path;
    node.description.name = info.card;
    node.description.inputSources = std::move(info.inputs);
    char resolved[PATH_MAX];
    const auto link = realpath(path.c_str(), resolved) != nullptr ? byId.find(resolved) : byId.end();
    // The node number changes with the order devices appear; the by-id link
    // (maker, model, serial) and the bus position do not.
    std::string id = link != byId.end() ? link->second : info.busInfo + "/" + info.card;
    std::string uniqueID = kV4L2UniqueIDPrefix + id;
    for (int copy = 2; std::any_of(nodes.begin(), nodes.end(),
                                   [&](const Node& n) { return n.description.uniqueID == uniqueID; });
         ++copy)
      uniqueID = kV4L2UniqueIDPrefix + id + "#" + std::to_string(copy);
    node.description.uniqueID = std::move(uniqueID);
    nodes.push_back(std::move(node));
  }
  return nodes;
}

void V4L2Backend::ListDevices(std::vector<CaptureDeviceDescription>& devices) {
  for (Node& node : ListNodes()) devices.push_back(std::move(node.description));
}

std::unique_ptr<CaptureDevice> V4L2Backend::FindDevice(const std::string& uniqueID) {
  if (uniqueID.rfind(kV4L2UniqueIDPrefix, 0) != 0) return nullptr;
  for (Node& node : ListNodes())
    if (node.description.uniqueID == uniqueID)
      return NewV4L2Device(std::move(node.path), std::move(node.description));
  return nullptr;
}

}  // namespace fw
