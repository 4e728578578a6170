// Sustained throughput of the writer, for run.sh to set against dd.
//
//   afw_throughput write FILE FRAME_BYTES FRAMES
//       creates FILE, appends FRAMES frames through AFWOpenFile/AFWWriteData/
//       AFWCloseFile as fast as the writer takes them, then fdatasync; prints
//       one line: bytes, seconds, MB/s (10^6 bytes per second), when the
//       writer was closed, the peak memory and the page faults.
//   afw_throughput emit FRAME_BYTES FRAMES
//       writes the very same bytes to standard output, for dd to write.
//
// Every frame is the same pseudo-random block (not zeros, which some file
// systems compress) with its number in its first four bytes.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/platform/files.h"
#include "core/writer/async_file_writer.h"

using namespace fw;

namespace {

std::vector<uint8_t> MakeFrame(size_t n) {
  std::vector<uint8_t> frame(n);
  std::mt19937_64 rng(7);
  for (size_t i = 0; i < n; i += 8) {
    const uint64_t x = rng();
    std::memcpy(&frame[i], &x, std::min<size_t>(8, n - i));
  }
  return frame;
}

void Stamp(std::vector<uint8_t>& frame, uint32_t number) {
  std::memcpy(frame.data(), &number, std::min<size_t>(4, frame.size()));
}

int Usage() {
  std::fprintf(stderr,
               "usage: afw_throughput write FILE FRAME_BYTES FRAMES\n"
               "       afw_throughput emit FRAME_BYTES FRAMES\n");
  return 2;
}

int Emit(size_t frameBytes, uint32_t frames) {
  std::vector<uint8_t> frame = MakeFrame(frameBytes);
  for (uint32_t n = 0; n < frames; ++n) {
    Stamp(frame, n);
    size_t done = 0;
    while (done < frame.size()) {
      const ssize_t w = ::write(STDOUT_FILENO, frame.data() + done, frame.size() - done);
      if (w <= 0) return 1;
      done += static_cast<size_t>(w);
    }
  }
  return 0;
}

int Write(const std::string& path, size_t frameBytes, uint32_t frames) {
  FileRef file;
  if (MakeFileRef(path, &file) != noErr || CreateEmptyFile(file) != noErr) {
    std::fprintf(stderr, "afw_throughput: cannot create %s\n", path.c_str());
    return 1;
  }
  std::vector<uint8_t> frame = MakeFrame(frameBytes);
  const auto start = std::chrono::steady_clock::now();
  AFWRef writer = nullptr;
  OSErr err = AFWOpenFile(&file, false, &writer);
  for (uint32_t n = 0; err == noErr && n < frames; ++n) {
    Stamp(frame, n);
    err = AFWWriteData(writer, frame.data(), static_cast<uint32_t>(frameBytes), 1);
  }
  if (writer != nullptr) {
    const OSErr closed = AFWCloseFile(writer);
    if (err == noErr) err = closed;
    AFWDispose(writer);
  }
  const auto closed = std::chrono::steady_clock::now();
  int fd = kNoFile;
  if (err == noErr) err = OpenFile(file, OpenMode::kReadWrite, &fd);
  if (err == noErr) err = SyncFileData(fd);
  if (fd != kNoFile) {
    const OSErr closeErr = CloseFile(fd);
    if (err == noErr) err = closeErr;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (err != noErr) {
    std::fprintf(stderr, "afw_throughput: error %d\n", static_cast<int>(err));
    return 1;
  }
  const double bytes = double(frameBytes) * frames;
  const double closeSeconds = std::chrono::duration<double>(closed - start).count();
  // The buffers grow while the disk lags behind the producer; their first
  // touch (page faults) is often what separates one run from the next.
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "afw bytes=%.0f seconds=%.3f MBps=%.1f closed_after=%.3f fdatasync=%.3f peak_rss_MiB=%.0f "
      "minor_faults=%ld system_seconds=%.2f\n",
      bytes, seconds, bytes / seconds / 1e6, closeSeconds, seconds - closeSeconds, usage.ru_maxrss / 1024.0,
      usage.ru_minflt, usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "write") {
    return Write(argv[2], std::strtoull(argv[3], nullptr, 10), std::strtoul(argv[4], nullptr, 10));
  }
  if (argc == 4 && std::string(argv[1]) == "emit") {
    return Emit(std::strtoull(argv[2], nullptr, 10), std::strtoul(argv[3], nullptr, 10));
  }
  return Usage();
}
