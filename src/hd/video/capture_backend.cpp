// The frame pool, the backend registry and the name-field helper.
#include "hd/video/capture_backend.h"

#include <cstring>
#include <mutex>
#include <new>

#include "hd/video/backends/decklink/decklink_backend.h"
#include "hd/video/backends/test_pattern/test_pattern_camera.h"
#include "hd/video/backends/v4l2/v4l2_camera.h"

namespace fw {

namespace {

// Storage kept for reuse. A device rarely has more than a few frames out at
// once (one parked, one being delivered, one being filled).
constexpr size_t kMaxFreeStorages = 4;

struct FrameStorage {
  std::unique_ptr<uint8_t[]> bytes;
  size_t sizeBytes = 0;
};

}  // namespace

struct FramePool::Shared {
  std::mutex mutex;
  std::vector<FrameStorage> free;  // guarded by mutex
};

namespace {

class PooledFrame final : public CaptureFrame {
 public:
  PooledFrame(std::shared_ptr<FramePool::Shared> pool, FrameStorage storage, int32_t width, int32_t height)
      : pool_(std::move(pool)), storage_(std::move(storage)), width_(width), height_(height) {}

  ~PooledFrame() override {
    std::lock_guard<std::mutex> lock(pool_->mutex);
    if (pool_->free.size() < kMaxFreeStorages) pool_->free.push_back(std::move(storage_));
  }

  uint8_t* BaseAddress() const override { return storage_.bytes.get(); }
  int32_t RowBytes() const override { return width_ * 2; }
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }

 private:
  std::shared_ptr<FramePool::Shared> pool_;
  FrameStorage storage_;
  int32_t width_;
  int32_t height_;
};

}  // namespace

FramePool::FramePool() : shared_(std::make_shared<Shared>()) {}
FramePool::~FramePool() = default;

CaptureFrameRef FramePool::Acquire(int32_t widthPixels, int32_t heightPixels) {
  if (widthPixels <= 0 || heightPixels <= 0) return nullptr;
  const int32_t width = widthPixels + (widthPixels & 1);
  const size_t sizeBytes = static_cast<size_t>(width) * 2 * static_cast<size_t>(heightPixels);
  FrameStorage storage;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    for (auto it = shared_->free.begin(); it != shared_->free.end(); ++it) {
      if (it->sizeBytes == sizeBytes) {
        storage = std::move(*it);
        shared_->free.erase(it);
        break;
      }
    }
    // A size change leaves storages that will never fit again.
    if (storage.bytes == nullptr) shared_->free.clear();
  }
  if (storage.bytes == nullptr) {
    storage.bytes.reset(new (std::nothrow) uint8_t[sizeBytes]);
    if (storage.bytes == nullptr) return nullptr;
    storage.sizeBytes = sizeBytes;
  }
  return std::make_shared<PooledFrame>(shared_, std::move(storage), width, heightPixels);
}

namespace {

std::vector<CaptureBackend*> gTestBackends;  // main thread only

}  // namespace

std::vector<CaptureBackend*> CaptureBackends() {
  if (!gTestBackends.empty()) return gTestBackends;
  static V4L2Backend v4l2;
  static TestPatternBackend testPattern;
  static DeckLinkBackend deckLink;
  return {&v4l2, &testPattern, &deckLink};
}

void SetCaptureBackendsForTesting(std::vector<CaptureBackend*> backends) {
  gTestBackends = std::move(backends);
}

void CopyUTF8ToField(const std::string& text, char* field, size_t fieldBytes) {
  if (fieldBytes == 0) return;
  size_t length = text.size();
  if (length > fieldBytes - 1) {
    length = fieldBytes - 1;
    // Back off over continuation bytes (10xxxxxx) to the start of the
    // character that did not fit whole.
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace fw
