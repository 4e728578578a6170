// Minimal alias records.
#include "core/movie/alias_record.h"

#include "core/util/byte_order.h"

namespace fw {

namespace {
constexpr size_t kAliasHeaderSizeBytes = 10;
constexpr uint16_t kAliasVersion = 2;
constexpr uint16_t kAliasEndTag = 0xFFFF;
}  // namespace

OSErr NewMinimalAliasRecord(const FileRef& file, std::vector<uint8_t>* outRecord) {
  if (outRecord == nullptr || file.path.empty() || file.path[0] != '/') return paramErr;
  const size_t padded = file.path.size() + (file.path.size() & 1);
  const size_t total = kAliasHeaderSizeBytes + 4 + padded + 4;
  if (total > 0xFFFF) return bdNamErr;
  std::vector<uint8_t> r(total, 0);
  StoreBE16(r.data() + 4, static_cast<uint16_t>(total));
  StoreBE16(r.data() + 6, kAliasVersion);
  size_t at = kAliasHeaderSizeBytes;
  StoreBE16(r.data() + at, kAliasPathTag);
  StoreBE16(r.data() + at + 2, static_cast<uint16_t>(file.path.size()));
  std::copy(file.path.begin(), file.path.end(), r.begin() + static_cast<std::ptrdiff_t>(at + 4));
  at += 4 + padded;
  StoreBE16(r.data() + at, kAliasEndTag);
  *outRecord = std::move(r);
  return noErr;
}

bool ReadAliasRecordPath(const uint8_t* data, size_t sizeBytes, std::string* outPath) {
  if (data == nullptr || sizeBytes < kAliasHeaderSizeBytes) return false;
  if (LoadBE16(data + 4) != sizeBytes || LoadBE16(data + 6) != kAliasVersion) return false;
  size_t at = kAliasHeaderSizeBytes;
  while (at <= sizeBytes && sizeBytes - at >= 4) {
    const uint16_t tag = LoadBE16(data + at);
    const size_t length = LoadBE16(data + at + 2);
    if (tag == kAliasEndTag) return false;
    if (length > sizeBytes - at - 4) return false;
    if (tag == kAliasPathTag) {
      outPath->assign(reinterpret_cast<const char*>(data + at + 4), length);
      return true;
    }
    at += 4 + length + (length & 1);
  }
  return false;
}

}  // namespace fw
