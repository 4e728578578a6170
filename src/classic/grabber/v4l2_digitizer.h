// V4L2 cameras as compressing '2vuy' digitizers: one digitizer component per
// video capture node (subtype 'v4l2', manufacturer 'FWlx'), named by the
// card name the driver gives, listed before the built-in cameras. Frames are
// UYVY as delivered, or YUYV and Motion JPEG converted to '2vuy'. There is no
// thread: the driver fills its buffers, and each query for finished frames
// takes the filled ones without waiting, so a camera that disappears makes
// the next call fail with a code rather than hang.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "classic/grabber/video_digitizer.h"
#include "core/imaging/pixel_conversion.h"

namespace fw {

constexpr OSType kV4L2DigitizerSubType = FourCC("v4l2");
constexpr OSType kV4L2DigitizerManufacturer = FourCC("FWlx");

// Adds the scan that keeps one component per capture node of `nodeDirectory`
// ("videoN" nodes, in the order of N) registered, adding cameras that appear
// and removing those that go.
void AddV4L2DigitizerScan(std::string nodeDirectory = "/dev");

// The digitizer of one node; an error for anything that is not a video
// capture node with streaming I/O (a missing node fnfErr, another kind of
// file the ioctl's errno).
OSErr OpenV4L2Digitizer(const std::string& nodePath, std::unique_ptr<VideoDigitizer>* out);

// The pixel format we take of those offered, best first: UYVY, YUYV, Motion
// JPEG; 0 when none is.
uint32_t ChooseV4L2CaptureFormat(const uint32_t* offered, size_t count);

// One driver buffer into a '2vuy' picture of widthPixels × heightPixels
// (rows of dstRowBytes). A short buffer, or a JPEG that does not decode to
// that size, gives paramErr.
OSErr ConvertV4L2Buffer(uint32_t pixelFormat, const uint8_t* bytes, size_t usedBytes, int32_t srcRowBytes,
                        int32_t widthPixels, int32_t heightPixels, JPEGTo2vuyDecoder& decoder, uint8_t* dst,
                        int32_t dstRowBytes);

}  // namespace fw
