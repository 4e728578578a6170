// The recovery record: its stored form, its file, and the folder it lives in.
#include "core/recovery/recovery_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/movie/image_descriptions.h"
#include "core/platform/files.h"
#include "core/util/byte_order.h"

namespace fw {

namespace {

constexpr uint8_t kMagic[4] = {'F', 'W', 'c', 'r'};
constexpr size_t kPreambleBytes = 12;
constexpr size_t kChecksumBytes = 4;
constexpr uint8_t kFlipHBit = 1, kFlipVBit = 2, kClipBit = 4;

uint32_t Crc32(const uint8_t* data, size_t sizeBytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < sizeBytes; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

class Writer {
 public:
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v) { Put(&StoreBE16, v, 2); }
  void U32(uint32_t v) { Put(&StoreBE32, v, 4); }
  void U64(uint64_t v) { Put(&StoreBE64, v, 8); }
  void Bytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
  }
  std::vector<uint8_t> bytes;

 private:
  template <typename Store, typename T>
  void Put(Store store, T v, size_t n) {
    bytes.resize(bytes.size() + n);
    store(bytes.data() + bytes.size() - n, v);
  }
};

// Reads fields in turn; the first read past the end fails every later one.
class Reader {
 public:
  Reader(const uint8_t* data, size_t sizeBytes) : p_(data), left_(sizeBytes) {}
  bool ok() const { return ok_; }
  size_t left() const { return left_; }
  uint8_t U8() { return Take(1) ? p_[-1] : 0; }
  uint16_t U16() { return Take(2) ? LoadBE16(p_ - 2) : 0; }
  uint32_t U32() { return Take(4) ? LoadBE32(p_ - 4) : 0; }
  uint64_t U64() { return Take(8) ? LoadBE64(p_ - 8) : 0; }
  const uint8_t* Bytes(size_t n) { return Take(n) ? p_ - n : nullptr; }

 private:
  bool Take(size_t n) {
    if (!ok_ || n > left_) {
      ok_ = false;
      return false;
    }
    p_ += n;
    left_ -= n;
    return true;
  }
  const uint8_t* p_;
  size_t left_;
  bool ok_ = true;
};

OSErr Refuse(std::string* problem, const char* what) {
  if (problem != nullptr) *problem = what;
  return paramErr;
}

std::string StateHome() {
  const char* xdg = std::getenv("XDG_STATE_HOME");
  // The XDG rules ignore a relative value.
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  std::string home;
  if (GetHomeFolder(&home) != noErr) return {};
  return home + "/.local/state";
}

}  // namespace

std::vector<uint8_t> SerialiseRecoveryRecord(const CaptureRecoveryRecord& r) {
  Writer body;
  body.U8(r.flavor == ProgramFlavor::kClassic ? 1 : 0);
  body.U8(r.format == CaptureFileFormat::kDVStream ? 1 : 0);
  body.U8(static_cast<uint8_t>((r.movie.flipH ? kFlipHBit : 0) | (r.movie.flipV ? kFlipVBit : 0) |
                               (r.movie.setClip ? kClipBit : 0)));
  body.U8(0);
  body.U32(r.frameDataSize);
  body.U64(r.fileInode);
  body.U16(static_cast<uint16_t>(r.capturePath.size()));
  body.Bytes(r.capturePath.data(), r.capturePath.size());
  body.U32(r.movie.width);
  body.U32(r.movie.height);
  body.U32(static_cast<uint32_t>(r.movie.timeScale));
  for (int16_t edge : {r.movie.clip.top, r.movie.clip.left, r.movie.clip.bottom, r.movie.clip.right})
    body.U16(static_cast<uint16_t>(edge));
  if (r.format == CaptureFileFormat::kQuickTimeMovie) {
    const std::vector<uint8_t> description = SerialiseImageDescription(r.movie.description, 0);
    body.U32(static_cast<uint32_t>(description.size()));
    body.Bytes(description.data(), description.size());
  } else {
    body.U32(0);
  }

  Writer out;
  out.Bytes(kMagic, sizeof kMagic);
  out.U16(kRecoveryRecordVersion);
  out.U16(0);
  out.U32(static_cast<uint32_t>(body.bytes.size()));
  out.Bytes(body.bytes.data(), body.bytes.size());
  out.U32(Crc32(out.bytes.data(), out.bytes.size()));
  return std::move(out.bytes);
}

OSErr ParseRecoveryRecord(const uint8_t* data, size_t sizeBytes, CaptureRecoveryRecord* out,
                          std::string* problem) {
  if (data == nullptr || sizeBytes < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0)
    return Refuse(problem, "not a recovery record");
  if (sizeBytes < kPreambleBytes + kChecksumBytes) return Refuse(problem, "cut short or too long");
  if (sizeBytes > kRecoveryRecordMaxBytes) return Refuse(problem, "too long");
  if (LoadBE16(data + 4) != kRecoveryRecordVersion || LoadBE16(data + 6) != 0)
    return Refuse(problem, "an unknown version");
  const uint32_t bodyBytes = LoadBE32(data + 8);
  if (bodyBytes != sizeBytes - kPreambleBytes - kChecksumBytes)
    return Refuse(problem, "cut short or too long");
  if (LoadBE32(data + sizeBytes - kChecksumBytes) != Crc32(data, sizeBytes - kChecksumBytes))
    return Refuse(problem, "a wrong checksum");

  Reader in(data + kPreambleBytes, bodyBytes);
  CaptureRecoveryRecord r;
  const uint8_t flavor = in.U8(), format = in.U8(), flags = in.U8(), reserved = in.U8();
  if (flavor > 1 || format > 1 || (flags & ~(kFlipHBit | kFlipVBit | kClipBit)) != 0 || reserved != 0)
    return Refuse(problem, "a field out of range");
  r.flavor = flavor == 1 ? ProgramFlavor::kClassic : ProgramFlavor::kHD;
  r.format = format == 1 ? CaptureFileFormat::kDVStream : CaptureFileFormat::kQuickTimeMovie;
  r.movie.flipH = (flags & kFlipHBit) != 0;
  r.movie.flipV = (flags & kFlipVBit) != 0;
  r.movie.setClip = (flags & kClipBit) != 0;
  r.frameDataSize = in.U32();
  r.fileInode = in.U64();
  const uint16_t pathBytes = in.U16();
  const uint8_t* path = in.Bytes(pathBytes);
  if (!in.ok()) return Refuse(problem, "cut short");
  r.capturePath.assign(reinterpret_cast<const char*>(path), pathBytes);
  if (r.frameDataSize == 0) return Refuse(problem, "no frame size");
  if (pathBytes == 0 || pathBytes > kRecoveryPathMaxBytes || r.capturePath[0] != '/' ||
      r.capturePath.find('\0') != std::string::npos) {
    return Refuse(problem, "no usable file path");
  }
  r.movie.width = in.U32();
  r.movie.height = in.U32();
  r.movie.timeScale = static_cast<int32_t>(in.U32());
  r.movie.clip.top = static_cast<int16_t>(in.U16());
  r.movie.clip.left = static_cast<int16_t>(in.U16());
  r.movie.clip.bottom = static_cast<int16_t>(in.U16());
  r.movie.clip.right = static_cast<int16_t>(in.U16());
  const uint32_t descriptionBytes = in.U32();
  const uint8_t* description = in.Bytes(descriptionBytes);
  if (!in.ok() || in.left() != 0) return Refuse(problem, "cut short or too long");
  if (r.format == CaptureFileFormat::kQuickTimeMovie) {
    // Sizes the movie's track header and time scale can carry.
    if (r.movie.width == 0 || r.movie.height == 0 || r.movie.width > 0xFFFF || r.movie.height > 0xFFFF ||
        r.movie.timeScale <= 0) {
      return Refuse(problem, "a movie size or rate out of range");
    }
    if (ParseImageDescription(description, descriptionBytes, &r.movie.description) != noErr)
      return Refuse(problem, "a damaged image description");
  } else if (descriptionBytes != 0) {
    return Refuse(problem, "an image description for a DV stream");
  }
  *out = std::move(r);
  return noErr;
}

OSErr GetRecoveryFolder(ProgramFlavor flavor, FolderCreation creation, std::string* outPath) {
  const std::string home = StateHome();
  if (home.empty()) return fnfErr;
  const std::string folder = home + (flavor == ProgramFlavor::kHD ? "/framewright-hd" : "/framewright");
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    if (creation == FolderCreation::kUseAsIs) return fnfErr;
    std::filesystem::create_directories(folder, ec);
    if (ec) return OSErrFromErrno(ec.value());
    // Private: the records name the user's files.
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
  }
  *outPath = folder;
  return noErr;
}

std::string RecoveryRecordPath(const std::string& folder, const std::string& capturePath) {
  // FNV-1a: a short, stable name; two running captures never share a path.
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : capturePath) hash = (hash ^ c) * 0x100000001b3ull;
  char name[40];
  std::snprintf(name, sizeof name, "capture-%016llx.record", static_cast<unsigned long long>(hash));
  return folder + "/" + name;
}

OSErr SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return OSErrFromErrno(errno);
  // Some file systems cannot sync a folder (EINVAL); their entries are as
  // durable as they get.
  const OSErr err = ::fsync(fd) == 0 || errno == EINVAL ? noErr : OSErrFromErrno(errno);
  ::close(fd);
  return err;
}

OSErr WriteRecoveryRecordFile(const std::string& path, const CaptureRecoveryRecord& record) {
  const std::vector<uint8_t> bytes = SerialiseRecoveryRecord(record);
  FileRef target, temporary;
  OSErr err = MakeFileRef(path, &target);
  if (err == noErr) err = MakeFileRef(path + ".tmp-" + std::to_string(::getpid()), &temporary);
  if (err != noErr) return err;
  const int fd = ::open(temporary.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return OSErrFromErrno(errno);
  err = WriteAtMark(fd, bytes.data(), bytes.size());
  if (err == noErr && ::fsync(fd) != 0) err = OSErrFromErrno(errno);
  const OSErr closeErr = CloseFile(fd);
  if (err == noErr) err = closeErr;
  if (err == noErr) err = RenameFile(temporary, target);
  if (err != noErr) {
    (void)DeleteFile(temporary);
    return err;
  }
  return SyncFolder(FolderOf(target));
}

OSErr ReadRecoveryRecordFile(const std::string& path, CaptureRecoveryRecord* out, std::string* problem) {
  FileRef file;
  int fd = kNoFile;
  OSErr err = MakeFileRef(path, &file);
  if (err == noErr) err = OpenRegularFileForReading(file, &fd);
  if (err != noErr) {
    if (problem != nullptr) *problem = err == notAFileErr ? "not a file" : "unreadable";
    return err;
  }
  uint64_t sizeBytes = 0;
  err = GetFileSizeBytes(fd, &sizeBytes);
  std::vector<uint8_t> bytes;
  if (err == noErr && sizeBytes > kRecoveryRecordMaxBytes) {
    (void)CloseFile(fd);
    return Refuse(problem, "too long");
  }
  if (err == noErr) {
    bytes.resize(sizeBytes);
    if (sizeBytes > 0) err = ReadAtOffset(fd, 0, bytes.data(), bytes.size());
  }
  (void)CloseFile(fd);  // read only: nothing is lost at close
  if (err != noErr) {
    if (problem != nullptr) *problem = "unreadable";
    return err;
  }
  return ParseRecoveryRecord(bytes.data(), bytes.size(), out, problem);
}

std::vector<std::string> ListRecoveryRecordFiles(const std::string& folder) {
  std::vector<std::string> paths;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 7 && name.compare(name.size() - 7, 7, ".record") == 0)
      paths.push_back(it->path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace fw
