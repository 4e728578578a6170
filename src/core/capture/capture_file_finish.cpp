// Finishing a capture file, cutting back whole frames until the movie fits.
#include "core/capture/capture_file_finish.h"

#include <algorithm>

#include "core/movie/mdat_header.h"

namespace fw {

namespace {

uint64_t EndOfFrames(uint32_t frameDataSize, uint32_t frames) {
  return kMdatHeaderSizeBytes + uint64_t{frames} * frameDataSize;
}

// The whole frames (at most `framesWritten`) the file holds; what lies
// behind the last of them is cut off. Frames counted as written may never
// have reached the disk (the one whose write failed, those lost with a failed
// background write); a movie indexing them would point past its data.
OSErr KeepWholeFrames(const FileRef& file, uint32_t frameDataSize, uint32_t framesWritten,
                      uint32_t* outFrames) {
  int fd = kNoFile;
  OSErr err = OpenFile(file, OpenMode::kReadWrite, &fd);
  if (err != noErr) return err;
  uint64_t sizeBytes = 0;
  err = GetFileSizeBytes(fd, &sizeBytes);
  uint32_t frames = 0;
  if (err == noErr && sizeBytes > kMdatHeaderSizeBytes) {
    frames = static_cast<uint32_t>(
        std::min<uint64_t>((sizeBytes - kMdatHeaderSizeBytes) / frameDataSize, framesWritten));
  }
  if (err == noErr && sizeBytes > EndOfFrames(frameDataSize, frames)) {
    err = TruncateFile(fd, EndOfFrames(frameDataSize, frames));
  }
  const OSErr closeErr = CloseFile(fd);
  if (err == noErr) err = closeErr;
  if (err == noErr) *outFrames = frames;
  return err;
}

OSErr CutBackTo(const FileRef& file, uint32_t frameDataSize, uint32_t frames) {
  int fd = kNoFile;
  OSErr err = OpenFile(file, OpenMode::kReadWrite, &fd);
  if (err != noErr) return err;
  err = TruncateFile(fd, EndOfFrames(frameDataSize, frames));
  const OSErr closeErr = CloseFile(fd);
  return err != noErr ? err : closeErr;
}

}  // namespace

OSErr FinishCaptureFile(const FileRef& file, uint32_t frameDataSize, uint32_t framesWritten,
                        CaptureFrameData frameData, const AddMovieResourceFunction& addMovieResource,
                        uint32_t* outFramesInMovie) {
  if (outFramesInMovie != nullptr) *outFramesInMovie = 0;
  if (framesWritten == 0 || frameDataSize == 0) return noErr;
  // Sample counts are signed in the movie toolbox.
  uint32_t frames = std::min<uint32_t>(framesWritten, INT32_MAX);
  if (frameData == CaptureFrameData::kMayBeShort) {
    // An error here leaves the file as it is: without a look at it, its
    // frames must not be deleted.
    if (const OSErr err = KeepWholeFrames(file, frameDataSize, frames, &frames); err != noErr) return err;
  }

  OSErr firstErr = noErr;
  uint32_t cut = 1;
  while (frames > 0) {
    const OSErr err = addMovieResource(static_cast<int32_t>(frames));
    if (err == noErr) break;
    if (firstErr == noErr) firstErr = err;
    // Only a lack of room is mended by fewer frames; anything else would
    // fail the same way again.
    if (err != dskFulErr) return firstErr;
    // The movie resource is far smaller than a frame of any real picture
    // size, so one frame is what it takes; tiny frames need more, and the
    // doubling keeps the tries few however many frames that is.
    frames -= std::min(cut, frames);
    cut = cut > UINT32_MAX / 2 ? UINT32_MAX : cut * 2;
    if (const OSErr cutErr = CutBackTo(file, frameDataSize, frames); cutErr != noErr) return firstErr;
  }
  if (frames == 0) {
    // Nothing of the capture is left in it; should the delete fail, an
    // empty file stays behind and nothing is lost.
    (void)DeleteFile(file);
    return firstErr;
  }
  if (outFramesInMovie != nullptr) *outFramesInMovie = frames;
  return firstErr;
}

}  // namespace fw
