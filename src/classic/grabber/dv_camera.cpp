// The built-in DV camera.
#include "classic/grabber/dv_camera.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "classic/grabber/frame_ticker.h"
#include "classic/grabber/sequence_grabber.h"
#include "classic/grabber/test_pictures.h"
#include "classic/grabber/video_digitizer.h"
#include "core/movie/image_descriptions.h"
#include "core/platform/clocks.h"

namespace fw {

namespace {

std::atomic<double> gSpeedForTesting{1.0};

constexpr OSType kDVCompressionType = kDVNTSCCodecType;

// One libavcodec DV encoder for 525-line frames from '2vuy' pictures.
class DVEncoder {
 public:
  DVEncoder() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (codec == nullptr) return;
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) return;
    context_->width = kDVCameraWidthPixels;
    context_->height = kDVCameraHeightPixels;
    context_->pix_fmt = AV_PIX_FMT_YUV411P;  // DV25 in 525 lines is 4:1:1
    context_->time_base = {kDVCameraFrameRateDenominator, kDVCameraFrameRateNumerator};
    context_->framerate = {kDVCameraFrameRateNumerator, kDVCameraFrameRateDenominator};
    context_->sample_aspect_ratio = {10, 11};
    if (avcodec_open2(context_, codec, nullptr) < 0) return;
    frame_->format = context_->pix_fmt;
    frame_->width = context_->width;
    frame_->height = context_->height;
    if (av_frame_get_buffer(frame_, 0) < 0) return;
    ready_ = true;
  }
  ~DVEncoder() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
  }
  DVEncoder(const DVEncoder&) = delete;
  DVEncoder& operator=(const DVEncoder&) = delete;

  bool Ready() const { return ready_; }

  // One '2vuy' picture of 720 × 480 into exactly one DV frame.
  OSErr Encode(const uint8_t* picture, int32_t rowBytes, int64_t pts, std::vector<uint8_t>* out) {
    if (!ready_) return memFullErr;
    if (av_frame_make_writable(frame_) < 0) return memFullErr;
    for (int y = 0; y < kDVCameraHeightPixels; ++y) {
      const uint8_t* in = picture + static_cast<ptrdiff_t>(y) * rowBytes;
      uint8_t* luma = frame_->data[0] + static_cast<ptrdiff_t>(y) * frame_->linesize[0];
      uint8_t* cb = frame_->data[1] + static_cast<ptrdiff_t>(y) * frame_->linesize[1];
      uint8_t* cr = frame_->data[2] + static_cast<ptrdiff_t>(y) * frame_->linesize[2];
      for (int x = 0; x < kDVCameraWidthPixels; x += 4, in += 8) {
        luma[x] = in[1];
        luma[x + 1] = in[3];
        luma[x + 2] = in[5];
        luma[x + 3] = in[7];
        cb[x / 4] = static_cast<uint8_t>((in[0] + in[4] + 1) / 2);
        cr[x / 4] = static_cast<uint8_t>((in[2] + in[6] + 1) / 2);
      }
    }
    frame_->pts = pts;
    if (avcodec_send_frame(context_, frame_) < 0) return paramErr;
    if (avcodec_receive_packet(context_, packet_) < 0) return paramErr;
    const bool whole = packet_->size == kDVFrameSizeBytes525;
    if (whole) out->assign(packet_->data, packet_->data + packet_->size);
    av_packet_unref(packet_);
    return whole ? noErr : paramErr;
  }

 private:
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool ready_ = false;
};

uint8_t BCD(uint32_t value) {
  return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

// A camera stamps every frame with its timecode; readers (ffmpeg's DV
// demuxer among them) look for it in the first pack of the subcode. The
// encoder leaves the subcode packs empty, so the timecode pack (0x13,
// non-drop-frame, counted at 30 a second) goes into the first pack of both
// subcode blocks of each of the frame's ten DIF sequences.
void WriteTimecode(std::vector<uint8_t>& frame, uint32_t frameIndex) {
  constexpr size_t kSequenceBytes = kDVFrameSizeBytes525 / 10;
  constexpr size_t kBlockBytes = 80;
  const uint32_t seconds = frameIndex / 30;
  const uint8_t pack[5] = {0x13, BCD(frameIndex % 30), BCD(seconds % 60), BCD(seconds / 60 % 60),
                           BCD(seconds / 3600 % 24)};
  for (size_t sequence = 0; sequence < 10; ++sequence)
    for (size_t block = 1; block <= 2; ++block)
      std::memcpy(frame.data() + sequence * kSequenceBytes + block * kBlockBytes + 6, pack, sizeof pack);
}

class DVCamera final : public FixedSizeDigitizer {
 public:
  DVCamera()
      : FixedSizeDigitizer(kDVCameraWidthPixels, kDVCameraHeightPixels, digiOutDoesCompress),
        picture_(static_cast<size_t>(kDVCameraWidthPixels) * 2 * kDVCameraHeightPixels) {
    for (int i = 0; i < kDVCameraQueueFrames; ++i) {
      buffers_[i].reserve(kDVFrameSizeBytes525);
      free_.push_back(i);
    }
  }
  ~DVCamera() override { ticker_.Stop(); }
  bool EncoderReady() const { return encoder_.Ready(); }

  OSErr SetTimeBase(TimeBase base) override {
    timeBase_ = base;
    return noErr;
  }
  OSErr GetInputName(int16_t input, std::string* outName) override {
    if (input != 0) return paramErr;
    *outName = "DV";
    return noErr;
  }
  OSErr GetCompressionTypes(std::vector<VDCompressionList>* out) override {
    out->push_back({kDVCompressionType, "DV - NTSC", kDVCameraName});
    return noErr;
  }
  OSErr SetCompression(OSType type, int16_t, const Rect*, uint32_t, uint32_t, int32_t) override {
    return type == kDVCompressionType ? noErr : paramErr;
  }
  OSErr SetCompressionOnOff(bool on) override {
    if (!on) StopStream();
    compressionOn_ = on;
    return noErr;
  }
  OSErr ResetCompressSequence() override { return noErr; }
  OSErr ReleaseAsyncBuffers() override {
    StopStream();
    return noErr;
  }
  OSErr CallComponentDispatch(int16_t selector, uint32_t) override {
    return selector == kVDCaptureStateChangingSelect ? noErr : badComponentSelector;
  }

  OSErr CompressOneFrameAsync() override {
    if (!compressionOn_) return badCallOrderErr;
    if (!ticker_.Running()) {
      const double speed = gSpeedForTesting.load();
      const auto period = static_cast<uint64_t>(1e9 * kDVCameraFrameRateDenominator /
                                                kDVCameraFrameRateNumerator / (speed > 0 ? speed : 1.0));
      ticker_.Start(period, [this](uint64_t) { MakeFrame(); });
    }
    return noErr;
  }

  OSErr CompressDone(int32_t* outQueued, const uint8_t** outData, int32_t* outSize, uint8_t* outSimilarity,
                     TimeRecord* outTime) override {
    std::lock_guard lock(mutex_);
    if (error_ != noErr) return error_;
    *outQueued = static_cast<int32_t>(finished_.size());
    if (finished_.empty()) return noErr;
    const Finished& oldest = finished_.front();
    *outData = buffers_[oldest.buffer].data();
    *outSize = static_cast<int32_t>(buffers_[oldest.buffer].size());
    *outSimilarity = 0;
    if (timeBase_ != nullptr) {
      GetTimeBaseTimeAt(timeBase_, oldest.madeNanoseconds, 0, outTime);
    } else {
      *outTime = TimeRecord{static_cast<int64_t>(oldest.madeNanoseconds / 1000000), 1000, nullptr};
    }
    return noErr;
  }

  OSErr ReleaseCompressBuffer(const uint8_t* data) override {
    std::lock_guard lock(mutex_);
    // Frames are released oldest first, as CompressDone hands them out.
    if (finished_.empty() || buffers_[finished_.front().buffer].data() != data) return paramErr;
    free_.push_back(finished_.front().buffer);
    finished_.pop_front();
    return noErr;
  }

  OSErr GetImageDescription(ImageDescription* out) override {
    ImageDescriptionHandle description;
    if (const OSErr err = MakeDVImageDescription(DVVideoSystem::k525Lines60Hz, &description); err != noErr)
      return err;
    *out = *description;
    return noErr;
  }

 private:
  struct Finished {
    int buffer;
    uint64_t madeNanoseconds;
  };

  void StopStream() {
    ticker_.Stop();
    std::lock_guard lock(mutex_);
    while (!finished_.empty()) {
      free_.push_back(finished_.front().buffer);
      finished_.pop_front();
    }
  }

  // On the camera's thread. The picture and the encoding need no lock: only
  // this thread touches them; the queue is shared with the main thread.
  void MakeFrame() {
    const uint32_t number = ++frameNumber_;
    DrawCameraTestPicture(picture_.data(), kDVCameraWidthPixels * 2, kDVCameraWidthPixels,
                          kDVCameraHeightPixels, number);
    const OSErr err = encoder_.Encode(picture_.data(), kDVCameraWidthPixels * 2, number, &encoded_);
    if (err == noErr) WriteTimecode(encoded_, number - 1);
    const uint64_t made = MonotonicNanoseconds();
    std::lock_guard lock(mutex_);
    if (err != noErr) {
      if (error_ == noErr) error_ = err;
      return;
    }
    if (free_.empty()) return;  // no buffer free: this frame is lost, as on a bus
    const int buffer = free_.front();
    free_.pop_front();
    buffers_[buffer] = encoded_;
    finished_.push_back({buffer, made});
  }

  FrameTicker ticker_;
  DVEncoder encoder_;
  std::vector<uint8_t> picture_;
  std::vector<uint8_t> encoded_;
  uint32_t frameNumber_ = 0;
  bool compressionOn_ = false;
  TimeBase timeBase_ = nullptr;

  std::mutex mutex_;
  std::vector<uint8_t> buffers_[kDVCameraQueueFrames];
  std::deque<int> free_;
  std::deque<Finished> finished_;
  OSErr error_ = noErr;  // sticky: an encoder that failed once is not trusted again
};

}  // namespace

Component RegisterDVCamera() {
  ComponentRegistration registration;
  registration.description.componentType = kVideoDigitizerComponentType;
  registration.description.componentSubType = FourCC("fire");
  registration.description.componentManufacturer = FourCC("appl");
  registration.name = kDVCameraName;
  registration.info = "Built-in DV camera: NTSC DV25 test picture";
  registration.open = [](ComponentInstance* out) {
    auto camera = std::make_unique<DVCamera>();
    // A libavcodec built without the DV encoder: say so at once.
    if (!camera->EncoderReady()) return kCouldntGetRequiredComponent;
    *out = std::move(camera);
    return noErr;
  };
  return RegisterComponent(std::move(registration));
}

void SetDVCameraSpeedForTesting(double multiple) {
  gSpeedForTesting.store(multiple);
}

}  // namespace fw
