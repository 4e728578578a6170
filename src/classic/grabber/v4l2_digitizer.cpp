// V4L2 camera digitizers.
#include "classic/grabber/v4l2_digitizer.h"

#include <linux/videodev2.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "classic/grabber/component_registry.h"
#include "core/movie/image_descriptions.h"
#include "platform_linux/v4l2/v4l2_node.h"

namespace fw {

namespace {

constexpr uint32_t kBufferCount = 4;

uint32_t AdjustmentControl(PictureAdjustment adjustment) {
  switch (adjustment) {
    case PictureAdjustment::kBrightness:
      return V4L2_CID_BRIGHTNESS;
    case PictureAdjustment::kContrast:
      return V4L2_CID_CONTRAST;
    case PictureAdjustment::kSaturation:
      return V4L2_CID_SATURATION;
    case PictureAdjustment::kHue:
      return V4L2_CID_HUE;
  }
  return 0;
}

class V4L2Digitizer final : public VideoDigitizer {
 public:
  explicit V4L2Digitizer(int fd) : fd_(fd) {}
  ~V4L2Digitizer() override {
    StopStreaming();
    close(fd_);
  }

  // The format: the best one offered, at the driver's current size.
  OSErr Configure() {
    const uint32_t pixelFormat = ChooseV4L2PixelFormat(V4L2CapturePixelFormats(fd_));
    if (pixelFormat == 0) return cDepthErr;
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int err = V4L2Ioctl(fd_, VIDIOC_G_FMT, &format); err != 0) return OSErrFromErrno(err);
    format.fmt.pix.pixelformat = pixelFormat;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    format.fmt.pix.bytesperline = 0;
    if (const int err = V4L2Ioctl(fd_, VIDIOC_S_FMT, &format); err != 0) return OSErrFromErrno(err);
    // The driver may adjust anything; what it answers is what comes.
    if (format.fmt.pix.pixelformat != pixelFormat || format.fmt.pix.width < 2 || format.fmt.pix.height == 0 ||
        format.fmt.pix.width > static_cast<uint32_t>(kMaxJPEGSideLengthPixels) ||
        format.fmt.pix.height > static_cast<uint32_t>(kMaxJPEGSideLengthPixels))
      return cDepthErr;
    pixelFormat_ = pixelFormat;
    width_ = static_cast<int32_t>(format.fmt.pix.width & ~1u);
    height_ = static_cast<int32_t>(format.fmt.pix.height);
    sourceRowBytes_ = static_cast<int32_t>(std::max(format.fmt.pix.bytesperline, format.fmt.pix.width * 2));
    frame_.assign(static_cast<size_t>(width_) * 2 * static_cast<size_t>(height_), 0);
    return noErr;
  }

  OSErr GetDigitizerInfo(DigitizerInfo* out) override {
    *out = DigitizerInfo{};
    out->outputCapabilityFlags = digiOutDoesCompress;
    out->maxDestWidth = static_cast<int16_t>(width_);
    out->maxDestHeight = static_cast<int16_t>(height_);
    return noErr;
  }
  OSErr GetMaxSrcRect(int16_t, Rect* out) override {
    *out = Rect{0, 0, static_cast<int16_t>(height_), static_cast<int16_t>(width_)};
    return noErr;
  }
  OSErr SetDigitizerRect(const Rect*) override { return noErr; }
  OSErr SetPlayThruOnOff(bool) override { return noErr; }
  OSErr SetTimeBase(TimeBase base) override {
    timeBase_ = base;
    return noErr;
  }
  OSErr CallComponentDispatch(int16_t selector, uint32_t) override {
    return selector == kVDCaptureStateChangingSelect ? noErr : badComponentSelector;
  }

  OSErr GetNumberOfInputs(int16_t* outCount) override {
    *outCount = static_cast<int16_t>(std::max<size_t>(1, InputNames().size()));
    return noErr;
  }
  OSErr GetInputName(int16_t input, std::string* outName) override {
    const std::vector<std::string> names = InputNames();
    if (input < 0 || static_cast<size_t>(input) >= std::max<size_t>(1, names.size())) return paramErr;
    *outName = names.empty() ? std::string() : names[static_cast<size_t>(input)];
    return noErr;
  }
  OSErr GetInput(int16_t* outInput) override {
    int input = 0;
    if (V4L2Ioctl(fd_, VIDIOC_G_INPUT, &input) != 0) input = 0;  // drivers with one input may not answer
    *outInput = static_cast<int16_t>(input);
    return noErr;
  }
  OSErr SetInput(int16_t input) override {
    StopStreaming();
    int value = input;
    if (const int err = V4L2Ioctl(fd_, VIDIOC_S_INPUT, &value); err != 0) return OSErrFromErrno(err);
    return Configure();  // another input may bring another size
  }

  OSErr GetPictureAdjustment(PictureAdjustment adjustment, uint16_t* out) override {
    v4l2_queryctrl query{};
    query.id = AdjustmentControl(adjustment);
    if (V4L2Ioctl(fd_, VIDIOC_QUERYCTRL, &query) != 0 || (query.flags & V4L2_CTRL_FLAG_DISABLED) != 0 ||
        query.maximum <= query.minimum)
      return badComponentSelector;
    v4l2_control control{query.id, 0};
    if (const int err = V4L2Ioctl(fd_, VIDIOC_G_CTRL, &control); err != 0) return OSErrFromErrno(err);
    const int64_t span = int64_t{query.maximum} - query.minimum;
    *out = static_cast<uint16_t>((int64_t{control.value} - query.minimum) * 65535 / span);
    return noErr;
  }
  OSErr SetPictureAdjustment(PictureAdjustment adjustment, uint16_t value) override {
    v4l2_queryctrl query{};
    query.id = AdjustmentControl(adjustment);
    if (V4L2Ioctl(fd_, VIDIOC_QUERYCTRL, &query) != 0 || query.maximum <= query.minimum)
      return badComponentSelector;
    const int64_t span = int64_t{query.maximum} - query.minimum;
    v4l2_control control{query.id,
                         static_cast<int32_t>(query.minimum + (int64_t{value} * span + 32767) / 65535)};
    if (const int err = V4L2Ioctl(fd_, VIDIOC_S_CTRL, &control); err != 0) return OSErrFromErrno(err);
    return noErr;
  }

  OSErr GetCompressionTypes(std::vector<VDCompressionList>* out) override {
    out->push_back({k2vuyPixelFormat, "Component Y'CbCr 8-bit 4:2:2", "V4L2"});
    return noErr;
  }
  OSErr SetCompression(OSType type, int16_t, const Rect*, uint32_t, uint32_t, int32_t) override {
    return type == k2vuyPixelFormat ? noErr : paramErr;
  }
  OSErr SetCompressionOnOff(bool on) override {
    if (!on) StopStreaming();
    return noErr;
  }
  OSErr ResetCompressSequence() override { return noErr; }
  OSErr ReleaseAsyncBuffers() override {
    StopStreaming();
    return noErr;
  }
  OSErr GetImageDescription(ImageDescription* out) override {
    PixMapHandle pixMap;
    const Rect bounds{0, 0, static_cast<int16_t>(height_), static_cast<int16_t>(width_)};
    if (const OSErr err = MyNewPixMapWithoutStorage(k2vuyPixelFormat, bounds, width_ * 2, &pixMap);
        err != noErr)
      return err;
    ImageDescriptionHandle description;
    if (const OSErr err = MakeImageDescriptionForPixMap(pixMap.get(), &description); err != noErr) return err;
    *out = *description;
    return noErr;
  }

  OSErr CompressOneFrameAsync() override {
    if (error_ != noErr) return error_;
    if (streaming_) return noErr;
    const OSErr err = StartStreaming();
    if (err != noErr) {
      StopStreaming();
      return Sticky(err);
    }
    return noErr;
  }

  OSErr CompressDone(int32_t* outQueued, const uint8_t** outData, int32_t* outSize, uint8_t* outSimilarity,
                     TimeRecord* outTime) override {
    if (error_ != noErr) return error_;
    *outQueued = 0;
    if (!streaming_) return noErr;
    // Take what the driver has filled, keeping one buffer with it.
    while (held_.size() + 1 < mappings_.size()) {
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      const int err = V4L2Ioctl(fd_, VIDIOC_DQBUF, &buffer);
      if (err == EAGAIN) break;
      if (err != 0) return Sticky(OSErrFromErrno(err));  // unplugged: ENODEV
      if (buffer.index >= mappings_.size()) continue;
      const uint64_t nanoseconds = static_cast<uint64_t>(buffer.timestamp.tv_sec) * 1000000000u +
                                   static_cast<uint64_t>(buffer.timestamp.tv_usec) * 1000u;
      if ((buffer.flags & V4L2_BUF_FLAG_ERROR) != 0 || !Convertible(buffer)) {
        if (const int requeue = V4L2Ioctl(fd_, VIDIOC_QBUF, &buffer); requeue != 0)
          return Sticky(OSErrFromErrno(requeue));
        continue;
      }
      held_.push_back({buffer, nanoseconds});
    }
    while (!held_.empty()) {
      Held& oldest = held_.front();
      if (!oldest.converted) {
        const Mapping& mapping = mappings_[oldest.buffer.index];
        const size_t used = std::min<size_t>(oldest.buffer.bytesused, mapping.lengthBytes);
        if (ConvertV4L2Buffer(pixelFormat_, static_cast<const uint8_t*>(mapping.address), used,
                              sourceRowBytes_, width_, height_, decoder_, frame_.data(),
                              width_ * 2) != noErr) {
          // A damaged frame (cameras send one now and then): skip it.
          if (const int requeue = V4L2Ioctl(fd_, VIDIOC_QBUF, &oldest.buffer); requeue != 0)
            return Sticky(OSErrFromErrno(requeue));
          held_.pop_front();
          continue;
        }
        oldest.converted = true;
      }
      *outQueued = static_cast<int32_t>(held_.size());
      *outData = frame_.data();
      *outSize = static_cast<int32_t>(frame_.size());
      *outSimilarity = 0;
      if (timeBase_ != nullptr)
        GetTimeBaseTimeAt(timeBase_, oldest.nanoseconds, 0, outTime);
      else
        *outTime = TimeRecord{static_cast<int64_t>(oldest.nanoseconds / 1000000), 1000, nullptr};
      return noErr;
    }
    return noErr;
  }

  OSErr ReleaseCompressBuffer(const uint8_t* data) override {
    if (error_ != noErr) return error_;
    if (held_.empty() || data != frame_.data()) return paramErr;
    v4l2_buffer buffer = held_.front().buffer;
    held_.pop_front();
    if (const int err = V4L2Ioctl(fd_, VIDIOC_QBUF, &buffer); err != 0) return Sticky(OSErrFromErrno(err));
    return noErr;
  }

 private:
  struct Mapping {
    void* address;
    size_t lengthBytes;
  };
  struct Held {
    v4l2_buffer buffer;
    uint64_t nanoseconds;
    bool converted = false;
  };

  OSErr Sticky(OSErr err) {
    if (error_ == noErr) error_ = err;
    return error_;
  }

  std::vector<std::string> InputNames() { return V4L2InputNames(fd_); }

  // Raw formats must fill the picture; drivers that leave bytesused 0 mean
  // the whole buffer.
  bool Convertible(const v4l2_buffer& buffer) const {
    if (pixelFormat_ == V4L2_PIX_FMT_MJPEG || pixelFormat_ == V4L2_PIX_FMT_JPEG) return buffer.bytesused > 0;
    return true;
  }

  OSErr StartStreaming() {
    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int err = V4L2Ioctl(fd_, VIDIOC_REQBUFS, &request); err != 0) return OSErrFromErrno(err);
    if (request.count < 2) return memFullErr;
    for (uint32_t index = 0; index < request.count; ++index) {
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      buffer.index = index;
      if (const int err = V4L2Ioctl(fd_, VIDIOC_QUERYBUF, &buffer); err != 0) return OSErrFromErrno(err);
      void* address = mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
      if (address == MAP_FAILED) return OSErrFromErrno(errno);
      mappings_.push_back({address, buffer.length});
      if (const int err = V4L2Ioctl(fd_, VIDIOC_QBUF, &buffer); err != 0) return OSErrFromErrno(err);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int err = V4L2Ioctl(fd_, VIDIOC_STREAMON, &type); err != 0) return OSErrFromErrno(err);
    streaming_ = true;
    return noErr;
  }

  void StopStreaming() {
    if (streaming_) {
      int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      V4L2Ioctl(fd_, VIDIOC_STREAMOFF, &type);  // a vanished device has stopped anyway
    }
    streaming_ = false;
    held_.clear();
    for (const Mapping& mapping : mappings_) munmap(mapping.address, mapping.lengthBytes);
    if (!mappings_.empty()) {
      v4l2_requestbuffers release{};
      release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      release.memory = V4L2_MEMORY_MMAP;
      V4L2Ioctl(fd_, VIDIOC_REQBUFS, &release);
    }
    mappings_.clear();
  }

  int fd_;
  uint32_t pixelFormat_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t sourceRowBytes_ = 0;
  std::vector<uint8_t> frame_;  // the oldest held frame in '2vuy'
  JPEGTo2vuyDecoder decoder_;
  std::vector<Mapping> mappings_;
  std::deque<Held> held_;
  bool streaming_ = false;
  TimeBase timeBase_ = nullptr;
  OSErr error_ = noErr;  // once the device has failed, every call says so
};

struct RegisteredCamera {
  std::string path;
  std::string card;
  Component component;
};

void ScanV4L2Nodes(const std::string& nodeDirectory, std::vector<RegisteredCamera>& registered) {
  std::vector<RegisteredCamera> found;
  for (const std::string& path : ListV4L2VideoNodes(nodeDirectory)) {
    UniqueFd fd;
    v4l2_capability caps{};
    if (OpenV4L2CaptureNode(path, &fd, &caps) != noErr) continue;
    found.push_back({path, V4L2FieldText(caps.card, sizeof caps.card), 0});
  }
  // Cameras still there keep their components (a channel may have one
  // open); the ones gone are removed, the new ones go before the rest.
  for (RegisteredCamera& old : registered) {
    const auto same = std::find_if(found.begin(), found.end(), [&](const RegisteredCamera& camera) {
      return camera.path == old.path && camera.card == old.card;
    });
    if (same == found.end())
      UnregisterComponent(old.component);
    else
      same->component = old.component;
  }
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    if (it->component != 0) continue;
    ComponentRegistration registration;
    registration.description.componentType = kVideoDigitizerComponentType;
    registration.description.componentSubType = kV4L2DigitizerSubType;
    registration.description.componentManufacturer = kV4L2DigitizerManufacturer;
    registration.name = it->card;
    registration.info = it->path;
    const std::string path = it->path;
    registration.open = [path](ComponentInstance* out) {
      std::unique_ptr<VideoDigitizer> digitizer;
      const OSErr err = OpenV4L2Digitizer(path, &digitizer);
      if (err == noErr) *out = std::move(digitizer);
      return err;
    };
    registration.available = [path] {
      UniqueFd fd;
      return OpenV4L2CaptureNode(path, &fd, nullptr) == noErr;
    };
    it->component = RegisterComponent(std::move(registration), RegistryPlace::kFront);
  }
  registered = std::move(found);
}

}  // namespace

uint32_t ChooseV4L2CaptureFormat(const uint32_t* offered, size_t count) {
  return ChooseV4L2PixelFormat(std::vector<uint32_t>(offered, offered + count));
}

OSErr ConvertV4L2Buffer(uint32_t pixelFormat, const uint8_t* bytes, size_t usedBytes, int32_t srcRowBytes,
                        int32_t widthPixels, int32_t heightPixels, JPEGTo2vuyDecoder& decoder, uint8_t* dst,
                        int32_t dstRowBytes) {
  if (pixelFormat == V4L2_PIX_FMT_MJPEG || pixelFormat == V4L2_PIX_FMT_JPEG) {
    return decoder.Decode(bytes, usedBytes,
                          [&](int32_t width, int32_t height) {
                            // A frame of another size than the stream's is not ours to show.
                            return width == widthPixels && height == heightPixels
                                       ? JPEGTo2vuyDecoder::Destination{dst, dstRowBytes}
                                       : JPEGTo2vuyDecoder::Destination{};
                          }) == noErr
               ? noErr
               : paramErr;
  }
  const size_t needed = static_cast<size_t>(srcRowBytes) * static_cast<size_t>(heightPixels - 1) +
                        static_cast<size_t>(widthPixels) * 2;
  if (heightPixels <= 0 || (usedBytes != 0 && usedBytes < needed)) return paramErr;
  if (pixelFormat == V4L2_PIX_FMT_UYVY)
    CopyUYVYTo2vuy(bytes, srcRowBytes, dst, dstRowBytes, widthPixels, heightPixels);
  else if (pixelFormat == V4L2_PIX_FMT_YUYV)
    ConvertYUYVTo2vuy(bytes, srcRowBytes, dst, dstRowBytes, widthPixels, heightPixels);
  else
    return paramErr;
  return noErr;
}

OSErr OpenV4L2Digitizer(const std::string& nodePath, std::unique_ptr<VideoDigitizer>* out) {
  UniqueFd fd;
  if (const OSErr err = OpenV4L2CaptureNode(nodePath, &fd, nullptr); err != noErr) return err;
  auto digitizer = std::make_unique<V4L2Digitizer>(fd.Release());
  if (const OSErr err = digitizer->Configure(); err != noErr) return err;
  *out = std::move(digitizer);
  return noErr;
}

void AddV4L2DigitizerScan(std::string nodeDirectory) {
  auto registered = std::make_shared<std::vector<RegisteredCamera>>();
  auto mutex = std::make_shared<std::mutex>();
  AddComponentScan([nodeDirectory = std::move(nodeDirectory), registered, mutex] {
    std::lock_guard lock(*mutex);
    ScanV4L2Nodes(nodeDirectory, *registered);
  });
}

}  // namespace fw
