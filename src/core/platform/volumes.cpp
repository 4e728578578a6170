// Disk numbers from /proc/self/mountinfo and /sys/dev/block.
#include "core/platform/volumes.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

using namespace fw;

namespace fs = std::filesystem;

namespace {

std::atomic<DiskNumberResolver> gTestResolver{nullptr};

std::mutex gDiskTableMutex;
std::map<std::string, int16_t> gDiskNumbers;  // "MAJ:MIN" of a whole disk → number

bool IsNetworkFileSystem(const std::string& type) {
  static const char* const kNetworkTypes[] = {
      "nfs",       "nfs4",   "cifs",  "smb",   "smb3",       "smbfs",       "9p",        "afs",  "ceph",
      "glusterfs", "lustre", "ncpfs", "davfs", "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "sshfs"};
  for (const char* network : kNetworkTypes)
    if (type == network) return true;
  return false;
}

// The file system type mounted from this device, from /proc/self/mountinfo;
// empty when the device is not found there.
std::string FileSystemTypeOf(unsigned major, unsigned minor) {
  std::ifstream in("/proc/self/mountinfo");
  const std::string device = std::to_string(major) + ":" + std::to_string(minor);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, majMin;
    fields >> id >> parent >> majMin;
    if (majMin != device) continue;
    // The optional fields end at a lone "-", then come type and source.
    size_t dash = line.find(" - ");
    if (dash == std::string::npos) return {};
    std::istringstream tail(line.substr(dash + 3));
    std::string type;
    tail >> type;
    return type;
  }
  return {};
}

// "MAJ:MIN" of the whole disk behind a block device, or empty when the
// device is not a block device.
std::string WholeDiskOf(unsigned major, unsigned minor) {
  std::error_code ec;
  fs::path node = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  fs::path dir = fs::canonical(node, ec);
  if (ec) return {};
  if (fs::exists(dir / "partition", ec)) dir = dir.parent_path();
  std::ifstream devFile(dir / "dev");
  std::string majMin;
  if (!(devFile >> majMin)) return {};
  return majMin;
}

int16_t RealDiskNumber(VolumeRef volume) {
  const dev_t dev = static_cast<dev_t>(volume);
  const unsigned major = ::major(dev), minor = ::minor(dev);
  if (IsNetworkFileSystem(FileSystemTypeOf(major, minor))) return -1;
  const std::string disk = WholeDiskOf(major, minor);
  if (disk.empty()) return -1;
  std::lock_guard<std::mutex> lock(gDiskTableMutex);
  auto found = gDiskNumbers.find(disk);
  if (found != gDiskNumbers.end()) return found->second;
  if (gDiskNumbers.size() >= 32767) return -1;
  const auto number = static_cast<int16_t>(gDiskNumbers.size());
  gDiskNumbers.emplace(disk, number);
  return number;
}

}  // namespace

OSErr MyGetFSRefInfo(const FileRef* ref, VolumeRef* volume, uint64_t* parentDirID, unsigned char* name) {
  if (ref == nullptr) return paramErr;
  struct stat st {};
  if (::stat(ref->path.c_str(), &st) != 0) return OSErrFromErrno(errno);
  if (volume != nullptr) *volume = static_cast<VolumeRef>(st.st_dev);
  if (parentDirID != nullptr) {
    struct stat parent {};
    const std::string folder = FolderOf(*ref);
    if (::stat(folder.empty() ? "/" : folder.c_str(), &parent) != 0) return OSErrFromErrno(errno);
    *parentDirID = static_cast<uint64_t>(parent.st_ino);
  }
  if (name != nullptr) {
    const std::string fileName = NameOf(*ref);
    const size_t length = std::min<size_t>(fileName.size(), 255);
    name[0] = static_cast<unsigned char>(length);
    std::memcpy(name + 1, fileName.data(), length);
  }
  return noErr;
}

int16_t MyGetDiskNumberFromVolumeRef(VolumeRef volume) {
  DiskNumberResolver resolver = gTestResolver.load(std::memory_order_acquire);
  return resolver != nullptr ? resolver(volume) : RealDiskNumber(volume);
}

void fw::SetDiskNumberResolverForTesting(DiskNumberResolver resolver) {
  gTestResolver.store(resolver, std::memory_order_release);
}

namespace fw {

OSErr GetFreeBytesOfFolder(const std::string& folder, uint64_t* outFreeBytes) {
  if (outFreeBytes == nullptr || folder.empty()) return paramErr;
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) != 0) return OSErrFromErrno(errno);
  *outFreeBytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
  return noErr;
}

}  // namespace fw
