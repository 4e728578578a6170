// Adding the movie resource to a finished capture file.
#include "core/movie/movie_resource.h"

#include <new>

#include "core/movie/alias_record.h"
#include "core/movie/mdat_header.h"
#include "core/movie/movie_reader.h"
#include "core/movie/self_data_ref.h"
#include "core/platform/program_flavor.h"

using namespace fw;

namespace {

constexpr uint32_t kSampleDurationTicks = 100;  // one frame at hundredTimesMovieFPS

// True when every track of the movie atom holds exactly the self reference.
bool RefersToItself(const std::vector<uint8_t>& movieResource) {
  MovieFileInfo info;
  if (ReadMovieAtom(movieResource.data(), movieResource.size(), &info, nullptr) != noErr) return false;
  for (const TrackInfo& t : info.tracks) {
    if (t.dataRefs.size() != 1 || t.dataRefs[0].type != FourCC("alis") ||
        t.dataRefs[0].flags != kDataRefSelfReferenceFlag || t.dataRefs[0].sizeBytes != 12)
      return false;
  }
  return !info.tracks.empty();
}

// Builds the movie, referring to the file through an alias record as the
// movie toolbox would, and serialises it.
bool BuildMovieResource(const MovieRequest& r, std::vector<uint8_t>* outResource, MovieFailure* failure) {
  std::unique_ptr<Movie> movie(new (std::nothrow) Movie());
  if (!movie) {
    *failure = {kLocationNewMovie, memFullErr};
    return false;
  }
  DataReference alias{FourCC("alis"), 0, {}};
  if (OSErr err = NewMinimalAliasRecord(*r.file, &alias.data); err != noErr) {
    *failure = {kLocationAlias, err};
    return false;
  }
  movie->SetDefaultDataRef(std::move(alias));
  if (OSErr err = movie->SetTimeScale(r.timeScale); err != noErr) {
    *failure = {kLocationNewMovie, err};
    return false;
  }

  Track track = nullptr;
  if (OSErr err =
          movie->NewTrack(static_cast<Fixed>(r.width << 16), static_cast<Fixed>(r.height << 16), 0, &track);
      err != noErr) {
    *failure = {kLocationNewTrack, err};
    return false;
  }
  if (r.setClip) track->SetClipRect(r.clip);
  if (r.setMatrix) track->SetMatrix(r.matrix);

  Media media = nullptr;
  if (OSErr err = track->NewMedia(FourCC("vide"), r.timeScale, &media); err != noErr) {
    *failure = {kLocationNewMedia, err};
    return false;
  }

  // The frames lie back to back, all of one size: one run describes them
  // all, so finishing costs the same for one frame as for a million.
  const OSErr err =
      MyAddMediaSampleReferences(media, kMdatHeaderSizeBytes, 0, static_cast<uint32_t>(r.frameDataSize),
                                 r.frameCount, r.description, kSampleDurationTicks, false);
  if (err != noErr) {
    *failure = {kLocationAddSamples, err};
    return false;
  }

  const uint64_t duration = media->DurationTicks();
  if (duration != 0) {
    if (OSErr e = track->InsertMedia(-1, 0, duration, kFixed1); e != noErr) {
      *failure = {kLocationInsertMedia, e};
      return false;
    }
  }

  if (OSErr e = movie->Serialise(outResource); e != noErr) {
    *failure = {kLocationSerialise, e};
    return false;
  }
  if (outResource->empty()) return true;  // reported as 729 by the caller, after the header

  // The byte scan that makes the movie refer to its own file is blind to atom
  // boundaries, so a field that happens to read 'trak' or 'mdia' could hide a
  // track from it. Check, and in that case write the self reference directly.
  SetMovieDataRefToSelf(outResource);
  if (!RefersToItself(*outResource)) {
    movie->SetDefaultDataRef(DataReference{FourCC("alis"), kDataRefSelfReferenceFlag, {}});
    if (OSErr e = movie->Serialise(outResource); e != noErr) {
      *failure = {kLocationSerialise, e};
      return false;
    }
  }
  return true;
}

// Owns the open file for the duration of the call.
class OpenFileGuard {
 public:
  ~OpenFileGuard() {
    // Only on a failure, whose error is the one reported.
    if (fd != kNoFile) (void)CloseFile(fd);
  }
  int fd = kNoFile;
};

}  // namespace

// -1.0 in row 0, column 0 mirrors left to right; in row 1, column 1, top to
// bottom. No translation is added.
MatrixRecord fw::FlipMatrix(bool flipH, bool flipV) {
  MatrixRecord m;
  SetIdentityMatrix(&m);
  if (flipH) m.matrix[0][0] = -kFixed1;
  if (flipV) m.matrix[1][1] = -kFixed1;
  return m;
}

OSErr fw::AppendMovieResource(const MovieRequest& r, MovieFailure* failure) {
  if (r.file == nullptr || r.description == nullptr || r.frameDataSize <= 0 || r.frameCount < 0) {
    *failure = {kLocationAddSamples, paramErr};
    return paramErr;
  }
  std::vector<uint8_t> resource;
  if (!BuildMovieResource(r, &resource, failure)) return failure->err;

  OpenFileGuard file;
  if (OSErr err = OpenFile(*r.file, OpenMode::kReadWrite, &file.fd); err != noErr) {
    *failure = {kLocationOpenFile, err};
    return err;
  }
  uint64_t sizeBytes = 0;
  if (OSErr err = GetFileSizeBytes(file.fd, &sizeBytes); err != noErr) {
    *failure = {kLocationFileSize, err};
    return err;
  }
  // A movie indexing frames that never reached the file would send players
  // into the movie resource itself; such a file is left as it is.
  const uint64_t framesEnd =
      kMdatHeaderSizeBytes + uint64_t(uint32_t(r.frameCount)) * uint32_t(r.frameDataSize);
  if (sizeBytes < framesEnd) {
    *failure = {kLocationFileSize, eofErr};
    return eofErr;
  }

  uint8_t header[kMdatHeaderSizeBytes];
  CreateMdatHeader(static_cast<uint32_t>(sizeBytes), static_cast<int32_t>(sizeBytes >> 32), header);
  if (OSErr err = WriteAtOffset(file.fd, 0, header, sizeof header); err != noErr) {
    *failure = {kLocationWriteHeader, err};
    return err;
  }
  if (resource.empty()) {
    *failure = {kLocationEmptyResource, kEmptyMovieResourceErr};
    return kEmptyMovieResourceErr;
  }
  if (OSErr err = WriteAtOffset(file.fd, sizeBytes, resource.data(), resource.size()); err != noErr) {
    // Leave no half movie resource behind: the file ends with its frames.
    // The write's error is the one to report, whether or not this succeeds.
    (void)TruncateFile(file.fd, sizeBytes);
    *failure = {kLocationWriteMovie, err};
    return err;
  }
  const int fd = file.fd;
  file.fd = kNoFile;
  if (OSErr err = CloseFile(fd); err != noErr) {
    *failure = {kLocationWriteMovie, err};
    return err;
  }
  return noErr;
}

OSErr MyAddMediaSampleReferences(Media media, uint32_t offsetLow, int32_t offsetHigh, uint32_t sampleSize,
                                 int32_t count, const ImageDescription* description, int32_t duration,
                                 bool notSync) {
  if (media == nullptr || description == nullptr || offsetHigh < 0 || count < 0 || duration <= 0)
    return paramErr;
  if (count == 0) return noErr;
  const uint64_t offset = (uint64_t(uint32_t(offsetHigh)) << 32) | offsetLow;
  const SampleSync sync = notSync ? SampleSync::kNotSync : SampleSync::kSync;
  // Added in one call: the media keeps samples that lie back to back as one
  // run, exactly as it would after adding them one by one, and a call that
  // fails adds none of them (the movie is abandoned either way).
  return media->AddSampleReferences(offset, sampleSize, static_cast<uint32_t>(count),
                                    static_cast<uint32_t>(duration), *description, sync);
}
