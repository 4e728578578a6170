// The decompression sequence of the classic program's preview: frames of
// one image description drawn into a window's port through a matrix
// (scale and move; a reversed destination mirrors), optionally only a
// source rectangle of them. '2vuy' and 32-bit 'raw ' frames go through the
// software preview's kernels shared with Framewright HD; 'dvc ' (DV) frames
// are decoded with libavcodec first.
#pragma once

#include <cstdint>

#include "classic/toolbox/toolbox_types.h"
#include "core/movie/movie.h"
#include "core/util/image_description.h"

// QuickTime's 3 × 3 matrix is the movie files' own (core/movie/movie.h):
// [0][0] and [1][1] scale x and y, [2][0] and [2][1] move; the last column
// is unused here (no perspective). SetIdentityMatrix and RectMatrix (a
// reversed destination mirrors) come with it.
constexpr Fixed fixed1 = kFixed1;
using MatrixRecordPtr = MatrixRecord*;

namespace fw {

// Where the matrix puts a point.
void TransformFixedPoint(const MatrixRecord* matrix, int32_t xFixed, int32_t yFixed, int32_t* outX,
                         int32_t* outY);

}  // namespace fw

using ImageSequence = int32_t;  // 0: none
using CodecFlags = uint16_t;
using CodecQ = uint32_t;
using TimeValue = int32_t;
constexpr CodecQ codecHighQuality = 0x300;
constexpr int16_t srcCopy = 0;
constexpr OSType k32RawCodecType = FourCC("raw ");
constexpr OSType kDVCNTSCCodecType = FourCC("dvc ");
constexpr OSType kDVCPALCodecType = FourCC("dvcp");

struct ICMFrameTimeRecord;
struct ICMCompletionProcRecord;
using DecompressorComponent = void*;
using GDHandleOpaque = void*;

// Begins a sequence for frames of `desc` ('2vuy'; 'raw ' of depth 32 with
// big-endian A R G B bytes; 'dvc '/'dvcp' DV) drawing into `port` (a
// window). srcRect: the part of each frame drawn (null: all); matrix: where
// it lands in the port (null: unmoved). The data and size are not used (no
// first frame). noCodecErr for another codec, paramErr for a bad port or
// description.
[[nodiscard]] OSErr DecompressSequenceBeginS(ImageSequence* seqID, const ImageDescription* desc,
                                             const void* data, int32_t dataSize, CGrafPtr port,
                                             GDHandleOpaque gdh, const Rect* srcRect,
                                             const MatrixRecord* matrix, int16_t mode, const void* mask,
                                             CodecFlags flags, CodecQ accuracy, DecompressorComponent codec);
// Draws one frame (its bytes read during the call only) and tells the
// backend. codecBadDataErr for a frame too short for the description or
// one the DV decoder rejects.
[[nodiscard]] OSErr DecompressSequenceFrameWhen(ImageSequence seqID, const void* data, int32_t dataSize,
                                                CodecFlags inFlags, CodecFlags* outFlags,
                                                const ICMCompletionProcRecord* asyncCompletionProc,
                                                const ICMFrameTimeRecord* frameTime);
[[nodiscard]] OSErr CDSequenceEnd(ImageSequence seqID);
