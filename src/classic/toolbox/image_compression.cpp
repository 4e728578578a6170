// Decompression sequences: frames drawn into a window's port through a
// matrix, with the software preview's kernels; DV through libavcodec.
#include "classic/toolbox/image_compression.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "classic/toolbox/toolbox_state.h"
#include "core/imaging/soft_scaler.h"
#include "core/util/pixmap.h"

using namespace fw;

namespace {

// The largest picture a sequence draws: a bogus matrix must not allocate
// gigabytes.
constexpr int64_t kMaxDestPixels = 8192LL * 8192LL;

struct CodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// One DV decoder per sequence, single-threaded so each frame comes out of
// the call that hands it in.
class DVDecoder {
 public:
  OSErr Open() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    if (codec == nullptr) return noCodecErr;
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) return memFullErr;
    context_->thread_count = 1;
    if (avcodec_open2(context_.get(), codec, nullptr) < 0) return codecErr;
    return noErr;
  }

  // Decodes one DV frame into '2vuy' (chroma repeated over its pixels).
  OSErr Decode(const uint8_t* data, int32_t size, std::vector<uint8_t>* out2vuy, int32_t* width,
               int32_t* height) {
    padded_.assign(data, data + size);
    padded_.resize(static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    packet_->data = padded_.data();
    packet_->size = size;
    const int sent = avcodec_send_packet(context_.get(), packet_.get());
    packet_->data = nullptr;
    packet_->size = 0;
    if (sent < 0) return codecBadDataErr;
    if (avcodec_receive_frame(context_.get(), frame_.get()) < 0) return codecBadDataErr;
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame_->format));
    if (format == nullptr || format->nb_components < 3 || (format->flags & AV_PIX_FMT_FLAG_PLANAR) == 0 ||
        format->comp[0].depth != 8) {
      return codecErr;
    }
    const int32_t w = frame_->width, h = frame_->height;
    const int32_t rowBytes = Row2vuyBytesNeeded(w);
    out2vuy->resize(static_cast<size_t>(rowBytes) * static_cast<size_t>(h));
    const int cw = format->log2_chroma_w, ch = format->log2_chroma_h;
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* luma = frame_->data[0] + static_cast<ptrdiff_t>(y) * frame_->linesize[0];
      const uint8_t* cb = frame_->data[1] + static_cast<ptrdiff_t>(y >> ch) * frame_->linesize[1];
      const uint8_t* cr = frame_->data[2] + static_cast<ptrdiff_t>(y >> ch) * frame_->linesize[2];
      uint8_t* row = out2vuy->data() + static_cast<ptrdiff_t>(y) * rowBytes;
      for (int32_t x = 0; x < w; x += 2) {
        row[0] = cb[x >> cw];
        row[1] = luma[x];
        row[2] = cr[x >> cw];
        row[3] = x + 1 < w ? luma[x + 1] : luma[x];
        row += 4;
      }
    }
    *width = w;
    *height = h;
    return noErr;
  }

 private:
  std::unique_ptr<AVCodecContext, CodecContextDeleter> context_;
  std::unique_ptr<AVFrame, FrameDeleter> frame_;
  std::unique_ptr<AVPacket, PacketDeleter> packet_;
  std::vector<uint8_t> padded_;
};

int32_t RoundFixed(int64_t fixed) {
  return static_cast<int32_t>((fixed + (fixed >= 0 ? 0x8000 : -0x8000)) / 0x10000);
}

}  // namespace

class DecompressionSequence {
 public:
  OSType codec = 0;
  int32_t width = 0;
  int32_t height = 0;
  WindowRef port = nullptr;
  Rect source;  // within the frame
  Rect dest;    // in the port, normalised
  Mirroring mirroring = Mirroring::kNone;
  YCbCrScaler ycbcrScaler;
  RGB32Scaler rgbScaler;
  std::vector<uint32_t> scratch;  // the destination rectangle's pixels
  std::vector<uint32_t> rgbSource;
  std::vector<uint8_t> decoded;  // DV frames as '2vuy'
  std::unique_ptr<DVDecoder> dv;

  OSErr DrawFrame(const uint8_t* data, int32_t dataSize);

 private:
  OSErr Draw2vuy(const uint8_t* base, int32_t rowBytes, int32_t frameWidth, int32_t frameHeight);
  void CopyToPort();
};

namespace {

std::map<ImageSequence, std::unique_ptr<DecompressionSequence>>& Sequences() {
  static std::map<ImageSequence, std::unique_ptr<DecompressionSequence>> sequences;
  return sequences;
}
ImageSequence gNextSequence = 1;

Rect ClampToFrame(Rect r, int32_t width, int32_t height) {
  r.left = static_cast<int16_t>(std::clamp<int32_t>(r.left, 0, width));
  r.right = static_cast<int16_t>(std::clamp<int32_t>(r.right, r.left, width));
  r.top = static_cast<int16_t>(std::clamp<int32_t>(r.top, 0, height));
  r.bottom = static_cast<int16_t>(std::clamp<int32_t>(r.bottom, r.top, height));
  return r;
}

}  // namespace

void DecompressionSequence::CopyToPort() {
  MutablePortPixels target = GetMutablePortPixels(port);
  const int32_t w = dest.right - dest.left;
  for (int32_t y = std::max<int32_t>(0, dest.top); y < std::min<int32_t>(target.height, dest.bottom); ++y) {
    const int32_t x0 = std::max<int32_t>(0, dest.left), x1 = std::min<int32_t>(target.width, dest.right);
    if (x1 <= x0) return;
    const uint32_t* from = scratch.data() + static_cast<ptrdiff_t>(y - dest.top) * w + (x0 - dest.left);
    std::copy(from, from + (x1 - x0), target.pixels + static_cast<ptrdiff_t>(y) * target.width + x0);
  }
  PortPixelsChanged(port);
}

OSErr DecompressionSequence::Draw2vuy(const uint8_t* base, int32_t rowBytes, int32_t frameWidth,
                                      int32_t frameHeight) {
  // Pairs of pixels share their chroma: a source starting on an odd column
  // starts one column early.
  const Rect s = ClampToFrame(source, frameWidth, frameHeight);
  const int32_t left = s.left & ~1;
  const YCbCrImageView view{base + static_cast<ptrdiff_t>(s.top) * rowBytes + (left / 2) * 4, rowBytes,
                            s.right - left, s.bottom - s.top};
  if (view.width <= 0 || view.height <= 0) return noErr;
  const int32_t w = dest.right - dest.left, h = dest.bottom - dest.top;
  scratch.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  ycbcrScaler.Draw(view, RGB32ImageView{scratch.data(), w * 4, w, h}, mirroring,
                   ChooseYCbCrMatrix(frameWidth, frameHeight));
  CopyToPort();
  return noErr;
}

OSErr DecompressionSequence::DrawFrame(const uint8_t* data, int32_t dataSize) {
  if (dest.right <= dest.left || dest.bottom <= dest.top) return noErr;
  if (codec == k2vuyPixelFormat) {
    const int32_t rowBytes = dataSize / height;
    if (rowBytes < Row2vuyBytesNeeded(width)) return codecBadDataErr;
    return Draw2vuy(data, rowBytes, width, height);
  }
  if (codec == k32RawCodecType) {
    const int32_t rowBytes = dataSize / height;
    if (rowBytes < width * 4) return codecBadDataErr;
    const Rect s = ClampToFrame(source, width, height);
    const int32_t sw = s.right - s.left, sh = s.bottom - s.top;
    if (sw <= 0 || sh <= 0) return noErr;
    // 'raw ' pixels are the bytes A R G B in this order.
    rgbSource.resize(static_cast<size_t>(sw) * static_cast<size_t>(sh));
    for (int32_t y = 0; y < sh; ++y) {
      const uint8_t* p =
          data + static_cast<ptrdiff_t>(s.top + y) * rowBytes + static_cast<ptrdiff_t>(s.left) * 4;
      uint32_t* out = rgbSource.data() + static_cast<ptrdiff_t>(y) * sw;
      for (int32_t x = 0; x < sw; ++x, p += 4) {
        out[x] = 0xFF000000u | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
      }
    }
    const int32_t w = dest.right - dest.left, h = dest.bottom - dest.top;
    scratch.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    rgbScaler.Draw(ConstRGB32ImageView{rgbSource.data(), sw * 4, sw, sh},
                   RGB32ImageView{scratch.data(), w * 4, w, h}, mirroring);
    CopyToPort();
    return noErr;
  }
  int32_t w = 0, h = 0;
  if (OSErr err = dv->Decode(data, dataSize, &decoded, &w, &h); err != noErr) return err;
  return Draw2vuy(decoded.data(), Row2vuyBytesNeeded(w), w, h);
}

void fw::ResetImageCompression() {
  Sequences().clear();
}

void fw::EndSequencesDrawingInto(WindowRef window) {
  // The sequence keeps its number, so the program's later CDSequenceEnd
  // finds it; it only stops drawing.
  for (auto& [id, sequence] : Sequences()) {
    if (sequence->port == window) sequence->port = nullptr;
  }
}

void fw::TransformFixedPoint(const MatrixRecord* m, int32_t xFixed, int32_t yFixed, int32_t* outX,
                             int32_t* outY) {
  const int64_t x =
      (int64_t{xFixed} * m->matrix[0][0] + int64_t{yFixed} * m->matrix[1][0]) / 0x10000 + m->matrix[2][0];
  const int64_t y =
      (int64_t{xFixed} * m->matrix[0][1] + int64_t{yFixed} * m->matrix[1][1]) / 0x10000 + m->matrix[2][1];
  *outX = static_cast<int32_t>(x);
  *outY = static_cast<int32_t>(y);
}

OSErr DecompressSequenceBeginS(ImageSequence* seqID, const ImageDescription* desc, const void*, int32_t,
                               CGrafPtr port, GDHandleOpaque, const Rect* srcRect, const MatrixRecord* matrix,
                               int16_t, const void*, CodecFlags, CodecQ, DecompressorComponent) {
  if (seqID == nullptr) return paramErr;
  *seqID = 0;
  if (desc == nullptr || desc->width <= 0 || desc->height <= 0 || CheckedWindow(port) == nullptr)
    return paramErr;
  const OSType codec = desc->cType;
  const bool dvCodec = codec == kDVCNTSCCodecType || codec == kDVCPALCodecType;
  if (codec != k2vuyPixelFormat && !(codec == k32RawCodecType && desc->depth == 32) && !dvCodec)
    return noCodecErr;

  auto sequence = std::make_unique<DecompressionSequence>();
  sequence->codec = codec;
  sequence->width = desc->width;
  sequence->height = desc->height;
  sequence->port = port;
  const Rect whole{0, 0, desc->height, desc->width};
  sequence->source = srcRect != nullptr ? *srcRect : whole;

  MatrixRecord identity;
  SetIdentityMatrix(&identity);
  const MatrixRecord& m = matrix != nullptr ? *matrix : identity;
  int32_t x0, y0, x1, y1;
  TransformFixedPoint(&m, int32_t{sequence->source.left} << 16, int32_t{sequence->source.top} << 16, &x0,
                      &y0);
  TransformFixedPoint(&m, int32_t{sequence->source.right} << 16, int32_t{sequence->source.bottom} << 16, &x1,
                      &y1);
  const int32_t left = RoundFixed(x0), top = RoundFixed(y0), right = RoundFixed(x1), bottom = RoundFixed(y1);
  sequence->mirroring = MirroringFor(right < left, bottom < top);
  const Rect dest{static_cast<int16_t>(std::clamp(std::min(top, bottom), INT16_MIN + 0, INT16_MAX + 0)),
                  static_cast<int16_t>(std::clamp(std::min(left, right), INT16_MIN + 0, INT16_MAX + 0)),
                  static_cast<int16_t>(std::clamp(std::max(top, bottom), INT16_MIN + 0, INT16_MAX + 0)),
                  static_cast<int16_t>(std::clamp(std::max(left, right), INT16_MIN + 0, INT16_MAX + 0))};
  if (int64_t{dest.right - dest.left} * (dest.bottom - dest.top) > kMaxDestPixels) return paramErr;
  sequence->dest = dest;
  if (dvCodec) {
    sequence->dv = std::make_unique<DVDecoder>();
    if (OSErr err = sequence->dv->Open(); err != noErr) return err;
  }
  *seqID = gNextSequence++;
  Sequences()[*seqID] = std::move(sequence);
  return noErr;
}

OSErr DecompressSequenceFrameWhen(ImageSequence seqID, const void* data, int32_t dataSize, CodecFlags,
                                  CodecFlags* outFlags, const ICMCompletionProcRecord*,
                                  const ICMFrameTimeRecord*) {
  if (outFlags != nullptr) *outFlags = 0;
  auto it = Sequences().find(seqID);
  if (it == Sequences().end() || data == nullptr || dataSize <= 0) return paramErr;
  DecompressionSequence& sequence = *it->second;
  if (sequence.port == nullptr) return paramErr;  // its window is gone
  return sequence.DrawFrame(static_cast<const uint8_t*>(data), dataSize);
}

OSErr CDSequenceEnd(ImageSequence seqID) {
  return Sequences().erase(seqID) != 0 ? noErr : paramErr;
}
