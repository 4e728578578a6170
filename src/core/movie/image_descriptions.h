// Image descriptions of the frames both programs write, and their form in a
// movie file: the video sample description entry of the QuickTime file
// format (the 86-byte description followed by its extension atoms).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/platform/os_errors.h"
#include "core/util/image_description.h"
#include "core/util/pixmap.h"

constexpr OSType kRawCodecType = FourCC("raw ");
constexpr OSType kDVNTSCCodecType = FourCC("dvc ");
constexpr OSType kDVPALCodecType = FourCC("dvcp");
constexpr int16_t kNoColorTable = -1;
constexpr uint32_t kCodecLosslessQuality = 0x400;

// Describes the pixels a pixel map frames: 4:2:2 Y'CbCr formats ('2vuy',
// 'yuv2', 'yuvs', 'yuvu') under their own type at depth 16, and RGB pixels
// of 16, 24 or 32 bits and 8-bit grey (format 40) as 'raw '. Width and height
// come from the bounds; the data size is that of the packed pixels; 72 dpi
// both ways, no colour table, one frame per sample, and a 'colr' extension
// for the frame size. Other formats give paramErr, as do empty bounds.
[[nodiscard]] OSErr MakeImageDescriptionForPixMap(const PixMap* pixMap, ImageDescriptionHandle* out);

// The two DV systems, told apart by their frame size.
enum class DVVideoSystem : uint8_t { k525Lines60Hz, k625Lines50Hz };
constexpr int32_t kDVFrameSizeBytes525 = 120000;
constexpr int32_t kDVFrameSizeBytes625 = 144000;

// Describes DV frames: 'dvc ' for 525 lines (720 × 480), 'dvcp' for 625
// lines (720 × 576), depth 24, data size one DV frame.
[[nodiscard]] OSErr MakeDVImageDescription(DVVideoSystem system, ImageDescriptionHandle* out);

namespace fw {

// The 'colr' (nclc) code points that tell players how to turn the frames
// into RGB: BT.601 for standard-definition sizes (with the 625-line
// primaries for frames 576 or 288 lines high), BT.709 from 720 lines or 1280
// pixels on. RGB frames say their matrix is the identity.
struct ColorTags {
  uint16_t primaries = 0;
  uint16_t transfer = 0;
  uint16_t matrix = 0;
  friend bool operator==(const ColorTags&, const ColorTags&) = default;
};
ColorTags ColorTagsFor(OSType codecType, int width, int height);

// True for the codec types whose colours the 'colr' extension pins down and
// that the programs write: Y'CbCr, 'raw ' and DV.
bool WantsColorExtension(OSType codecType);

// Appends a 'colr' extension when the description has none (and its type
// wants one), and keeps idSize equal to 86 plus its extensions.
void AddColorExtension(ImageDescription* description);

// The sample description entry for a movie: the description's fields with
// the reserved bytes cleared and the given data reference index, followed by
// its well-formed extension atoms (a 'colr' one added when it has none).
// The entry's size field counts the bytes actually written, whatever idSize
// says.
std::vector<uint8_t> SerialiseImageDescription(const ImageDescription& description, uint16_t dataRefIndex);

// Reads a sample description entry back. Anything shorter than 86 bytes, or
// whose size field disagrees with `sizeBytes`, gives paramErr. Extension
// bytes are kept as they stand.
[[nodiscard]] OSErr ParseImageDescription(const uint8_t* data, size_t sizeBytes, ImageDescription* out);

// Finds the 'colr' nclc extension of a description; false when it has none.
bool FindColorTags(const ImageDescription& description, ColorTags* out);

}  // namespace fw
