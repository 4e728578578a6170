// The preferences file image: defaults, reading and building.
#include "core/prefs/prefs_file_image.h"

#include <algorithm>
#include <cstring>

#include "core/util/byte_order.h"

namespace fw {

namespace {

// deviceNameOLD holds a length byte and at most 63 characters.
constexpr uint8_t kDeviceNameMaxChars = sizeof(PrefsStruct::deviceNameOLD) - 1;

constexpr size_t kVersionBytes = 2;

constexpr size_t kWindowYOffset = offsetof(PrefsStruct, mainWindowSize) + offsetof(MySize, y);
constexpr size_t kWindowXOffset = offsetof(PrefsStruct, mainWindowSize) + offsetof(MySize, x);
constexpr size_t kWindowWidthOffset = offsetof(PrefsStruct, mainWindowSize) + offsetof(MySize, width);
constexpr size_t kWindowHeightOffset = offsetof(PrefsStruct, mainWindowSize) + offsetof(MySize, height);

// The record image a reader has in hand, which may stop short of the record.
class RecordImage {
 public:
  RecordImage(const uint8_t* bytes, size_t sizeBytes) : bytes_(bytes), sizeBytes_(sizeBytes) {}

  // Whether the field at `offset` of `fieldBytes` lies wholly in the image.
  bool Holds(size_t offset, size_t fieldBytes) const { return offset + fieldBytes <= sizeBytes_; }

  void TakeBE16(size_t offset, int16_t* field) const {
    if (Holds(offset, 2)) *field = static_cast<int16_t>(LoadBE16(bytes_ + offset));
  }
  void TakeBE16(size_t offset, uint16_t* field) const {
    if (Holds(offset, 2)) *field = LoadBE16(bytes_ + offset);
  }
  void TakeBE32(size_t offset, int32_t* field) const {
    if (Holds(offset, 4)) *field = static_cast<int32_t>(LoadBE32(bytes_ + offset));
  }
  void TakeLE16(size_t offset, int16_t* field) const {
    if (Holds(offset, 2)) *field = static_cast<int16_t>(LoadLE16(bytes_ + offset));
  }
  template <typename Byte>
  void TakeByte(size_t offset, Byte* field) const {
    static_assert(sizeof(Byte) == 1);
    if (Holds(offset, 1)) std::memcpy(field, bytes_ + offset, 1);
  }
  template <size_t N, typename Byte>
  void TakeBytes(size_t offset, Byte (&field)[N]) const {
    static_assert(sizeof(Byte) == 1);
    if (Holds(offset, N)) std::memcpy(field, bytes_ + offset, N);
  }

 private:
  const uint8_t* bytes_;
  size_t sizeBytes_;
};

void TakeRecord(const RecordImage& image, ProgramFlavor flavor, PrefsStruct* p) {
  image.TakeBE16(kWindowYOffset, &p->mainWindowSize.y);
  image.TakeBE16(kWindowXOffset, &p->mainWindowSize.x);
  image.TakeBE16(kWindowWidthOffset, &p->mainWindowSize.width);
  image.TakeBE16(kWindowHeightOffset, &p->mainWindowSize.height);
  image.TakeBE32(offsetof(PrefsStruct, hundredTimesMovieFPS), &p->hundredTimesMovieFPS);
  image.TakeByte(offsetof(PrefsStruct, captureFormatOLD), &p->captureFormatOLD);
  image.TakeByte(offsetof(PrefsStruct, dateOrdering), &p->dateOrdering);
  image.TakeLE16(offsetof(PrefsStruct, inputNum), &p->inputNum);
  image.TakeByte(offsetof(PrefsStruct, captureTrigger), &p->captureTrigger);
  image.TakeByte(offsetof(PrefsStruct, ignoreFrameCount), &p->ignoreFrameCount);
  image.TakeByte(offsetof(PrefsStruct, previewSizeOLD), &p->previewSizeOLD);
  image.TakeByte(offsetof(PrefsStruct, previewFlag), &p->previewFlag);
  image.TakeBytes(offsetof(PrefsStruct, deviceNameOLD), p->deviceNameOLD);
  image.TakeByte(offsetof(PrefsStruct, flipHFlag), &p->flipHFlag);
  image.TakeByte(offsetof(PrefsStruct, flipVFlag), &p->flipVFlag);
  image.TakeByte(offsetof(PrefsStruct, captureLocation), &p->captureLocation);
  image.TakeByte(offsetof(PrefsStruct, padding), &p->padding);
  image.TakeLE16(offsetof(PrefsStruct, trimTop), &p->trimTop);
  image.TakeLE16(offsetof(PrefsStruct, trimLeft), &p->trimLeft);
  image.TakeLE16(offsetof(PrefsStruct, trimRight), &p->trimRight);
  image.TakeLE16(offsetof(PrefsStruct, trimBottom), &p->trimBottom);
  if (flavor == ProgramFlavor::kHD) image.TakeBytes(offsetof(PrefsStruct, uniqueID), p->uniqueID);
}

// A file may hold any bytes; code that reads these fields as strings must not
// be led past them.
void MakeStringsSafe(ProgramFlavor flavor, PrefsStruct* p) {
  p->deviceNameOLD[0] = std::min(p->deviceNameOLD[0], kDeviceNameMaxChars);
  if (flavor == ProgramFlavor::kHD) p->uniqueID[sizeof(p->uniqueID) - 1] = '\0';
}

// Files of older versions lack settings that later versions added or
// changed the meaning of.
void BringUpToDate(int16_t version, ProgramFlavor flavor, PrefsStruct* p) {
  if (version < 3) {
    p->captureTrigger = kCaptureTriggerMouseDown;
    p->dateOrdering = 0;
    if (flavor == ProgramFlavor::kClassic && version < 2) p->previewSizeOLD = 0;
  }
  if (version <= 3) p->ignoreFrameCount = 0;
}

}  // namespace

size_t PrefsRecordSizeBytes(ProgramFlavor flavor) {
  return flavor == ProgramFlavor::kHD ? kPrefsRecordSizeHD : kPrefsRecordSizeClassic;
}

void SetPreferencesDefaults(PrefsStruct* prefs, ProgramFlavor flavor) {
  std::memset(prefs, 0, PrefsRecordSizeBytes(flavor));
  prefs->previewFlag = 1;
  if (flavor == ProgramFlavor::kHD) {
    prefs->hundredTimesMovieFPS = 1800;
    return;
  }
  prefs->hundredTimesMovieFPS = 1500;
  prefs->captureFormatOLD = 1;
  static constexpr char kDefaultDeviceName[] = "DV Video";
  prefs->deviceNameOLD[0] = sizeof(kDefaultDeviceName) - 1;
  std::memcpy(prefs->deviceNameOLD + 1, kDefaultDeviceName, sizeof(kDefaultDeviceName) - 1);
}

OSErr ParsePreferencesFileImage(std::span<const uint8_t> file, ProgramFlavor flavor, PrefsStruct* prefs) {
  if (file.size() <= kPrefsReservedHeaderBytes) return eofErr;
  const uint8_t reservedBlockBytes = file[kPrefsReservedHeaderBytes];
  if (reservedBlockBytes > kPrefsMaxReservedBlockBytes) return kMalformedPreferencesErr;

  const size_t versionOffset = kPrefsReservedHeaderBytes + 1 + reservedBlockBytes;
  if (file.size() < versionOffset + kVersionBytes) return eofErr;
  const auto version = static_cast<int16_t>(LoadBE16(file.data() + versionOffset));

  const size_t recordOffset = versionOffset + kVersionBytes;
  const size_t imageBytes = std::min(file.size() - recordOffset, PrefsRecordSizeBytes(flavor));
  TakeRecord(RecordImage(file.data() + recordOffset, imageBytes), flavor, prefs);
  MakeStringsSafe(flavor, prefs);
  BringUpToDate(version, flavor, prefs);
  return noErr;
}

std::optional<int16_t> PreferencesFileImageVersion(std::span<const uint8_t> file) {
  if (file.size() <= kPrefsReservedHeaderBytes) return std::nullopt;
  const size_t versionOffset = kPrefsReservedHeaderBytes + 1 + file[kPrefsReservedHeaderBytes];
  if (file.size() < versionOffset + kVersionBytes) return std::nullopt;
  return static_cast<int16_t>(LoadBE16(file.data() + versionOffset));
}

std::vector<uint8_t> BuildPreferencesFileImage(const PrefsStruct& prefs, ProgramFlavor flavor) {
  const size_t recordOffset = kPrefsReservedHeaderBytes + 1 + kVersionBytes;
  const size_t recordBytes = PrefsRecordSizeBytes(flavor);
  std::vector<uint8_t> file(recordOffset + recordBytes, 0);
  StoreBE16(file.data() + kPrefsReservedHeaderBytes + 1, static_cast<uint16_t>(kPrefsFileVersion));

  // Single bytes and byte arrays go as they lie in memory; the multi-byte
  // numbers are then stored in their fixed byte orders over that copy.
  uint8_t* r = file.data() + recordOffset;
  std::memcpy(r, &prefs, recordBytes);
  StoreBE16(r + kWindowYOffset, static_cast<uint16_t>(prefs.mainWindowSize.y));
  StoreBE16(r + kWindowXOffset, static_cast<uint16_t>(prefs.mainWindowSize.x));
  StoreBE16(r + kWindowWidthOffset, prefs.mainWindowSize.width);
  StoreBE16(r + kWindowHeightOffset, prefs.mainWindowSize.height);
  StoreBE32(r + offsetof(PrefsStruct, hundredTimesMovieFPS),
            static_cast<uint32_t>(prefs.hundredTimesMovieFPS));
  StoreLE16(r + offsetof(PrefsStruct, inputNum), static_cast<uint16_t>(prefs.inputNum));
  StoreLE16(r + offsetof(PrefsStruct, trimTop), static_cast<uint16_t>(prefs.trimTop));
  StoreLE16(r + offsetof(PrefsStruct, trimLeft), static_cast<uint16_t>(prefs.trimLeft));
  StoreLE16(r + offsetof(PrefsStruct, trimRight), static_cast<uint16_t>(prefs.trimRight));
  StoreLE16(r + offsetof(PrefsStruct, trimBottom), static_cast<uint16_t>(prefs.trimBottom));
  return file;
}

}  // namespace fw
