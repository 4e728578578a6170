// The in-memory movie and its serialisation into a movie atom.
#include "core/movie/movie.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "core/movie/atom.h"
#include "core/movie/image_descriptions.h"
#include "core/platform/clocks.h"

using namespace fw;

namespace {

constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();
constexpr uint32_t kTrackEnabledInMovieInPreview = 0x7;
constexpr uint16_t kUndeterminedLanguage = 0x55C4;  // ISO 639-2 "und", packed
constexpr uint16_t kDataRefIndex = 1;               // the one entry of each track's 'dref'

void WriteMatrix(AtomWriter& out, const MatrixRecord& m) {
  for (const auto& row : m.matrix)
    for (int32_t v : row) out.U32(static_cast<uint32_t>(v));
}

// Writes a 32- or 64-bit field by the atom's version.
void WriteVersioned(AtomWriter& out, uint8_t version, uint64_t v) {
  if (version == 1) {
    out.U64(v);
  } else {
    out.U32(static_cast<uint32_t>(v));
  }
}

class MovieHeaderAtom final : public FullAtom {
 public:
  MovieHeaderAtom(uint64_t time, int32_t timeScale, uint64_t duration, uint32_t nextTrackID)
      : FullAtom(FourCC("mvhd"), time > kMax32 || duration > kMax32 ? 1 : 0, 0),
        time_(time),
        timeScale_(timeScale),
        duration_(duration),
        nextTrackID_(nextTrackID) {
    SetIdentityMatrix(&matrix_);
  }

 protected:
  uint64_t FieldsSizeBytes() const override { return (version() == 1 ? 28 : 16) + 80; }
  void WriteFields(AtomWriter& out) const override {
    WriteVersioned(out, version(), time_);  // creation
    WriteVersioned(out, version(), time_);  // modification
    out.U32(static_cast<uint32_t>(timeScale_));
    WriteVersioned(out, version(), duration_);
    out.U32(kFixed1);  // preferred rate 1.0
    out.U16(0x100);    // preferred volume 1.0 (8.8)
    out.Zeros(10);
    WriteMatrix(out, matrix_);
    out.Zeros(6 * 4);  // preview, poster, selection and current time
    out.U32(nextTrackID_);
  }

 private:
  uint64_t time_;
  int32_t timeScale_;
  uint64_t duration_;
  uint32_t nextTrackID_;
  MatrixRecord matrix_;
};

class TrackHeaderAtom final : public FullAtom {
 public:
  TrackHeaderAtom(uint64_t time, const MovieTrack& track)
      : FullAtom(FourCC("tkhd"), time > kMax32 || track.DurationTicks() > kMax32 ? 1 : 0,
                 kTrackEnabledInMovieInPreview),
        time_(time),
        track_(track) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return (version() == 1 ? 32 : 20) + 60; }
  void WriteFields(AtomWriter& out) const override {
    WriteVersioned(out, version(), time_);
    WriteVersioned(out, version(), time_);
    out.U32(track_.trackID());
    out.U32(0);
    WriteVersioned(out, version(), track_.DurationTicks());
    out.Zeros(8);
    out.U16(0);  // layer
    out.U16(0);  // alternate group
    out.U16(static_cast<uint16_t>(track_.volume()));
    out.U16(0);
    WriteMatrix(out, track_.matrix());
    out.U32(static_cast<uint32_t>(track_.width()));
    out.U32(static_cast<uint32_t>(track_.height()));
  }

 private:
  uint64_t time_;
  const MovieTrack& track_;
};

// A rectangular QuickDraw region: its size (10) and its bounding box.
class ClipRegionAtom final : public Atom {
 public:
  explicit ClipRegionAtom(const Rect& rect) : Atom(FourCC("crgn")), rect_(rect) {}

 protected:
  uint64_t PayloadSizeBytes() const override { return 10; }
  void WritePayload(AtomWriter& out) const override {
    out.U16(10);
    out.U16(static_cast<uint16_t>(rect_.top));
    out.U16(static_cast<uint16_t>(rect_.left));
    out.U16(static_cast<uint16_t>(rect_.bottom));
    out.U16(static_cast<uint16_t>(rect_.right));
  }

 private:
  Rect rect_;
};

bool NeedsWideEdits(const std::vector<EditSegment>& edits) {
  for (const EditSegment& e : edits) {
    if (e.durationTicks > kMax32 || e.mediaTime > std::numeric_limits<int32_t>::max()) return true;
  }
  return false;
}

class EditListAtom final : public FullAtom {
 public:
  explicit EditListAtom(const std::vector<EditSegment>& edits)
      : FullAtom(FourCC("elst"), NeedsWideEdits(edits) ? 1 : 0, 0), edits_(edits) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return 4 + edits_.size() * (version() == 1 ? 20 : 12); }
  void WriteFields(AtomWriter& out) const override {
    out.U32(static_cast<uint32_t>(edits_.size()));
    for (const EditSegment& e : edits_) {
      WriteVersioned(out, version(), e.durationTicks);
      WriteVersioned(out, version(), static_cast<uint64_t>(e.mediaTime));
      out.U32(static_cast<uint32_t>(e.rate));
    }
  }

 private:
  const std::vector<EditSegment>& edits_;
};

class MediaHeaderAtom final : public FullAtom {
 public:
  MediaHeaderAtom(uint64_t time, const MovieMedia& media)
      : FullAtom(FourCC("mdhd"), time > kMax32 || media.DurationTicks() > kMax32 ? 1 : 0, 0),
        time_(time),
        media_(media) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return version() == 1 ? 32 : 20; }
  void WriteFields(AtomWriter& out) const override {
    WriteVersioned(out, version(), time_);
    WriteVersioned(out, version(), time_);
    out.U32(static_cast<uint32_t>(media_.timeScale()));
    WriteVersioned(out, version(), media_.DurationTicks());
    out.U16(kUndeterminedLanguage);
    out.U16(0);  // quality
  }

 private:
  uint64_t time_;
  const MovieMedia& media_;
};

// The component name is a Pascal string that ends the atom: readers that
// strip the length byte only do so when it matches the rest of the atom.
class HandlerAtom final : public FullAtom {
 public:
  HandlerAtom(OSType componentType, OSType componentSubType, std::string_view name)
      : FullAtom(FourCC("hdlr"), 0, 0),
        componentType_(componentType),
        componentSubType_(componentSubType),
        name_(name.substr(0, 255)) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return 20 + 1 + name_.size(); }
  void WriteFields(AtomWriter& out) const override {
    out.Type(componentType_);
    out.Type(componentSubType_);
    out.U32(0);  // manufacturer
    out.U32(0);  // flags
    out.U32(0);  // flags mask
    out.U8(static_cast<uint8_t>(name_.size()));
    out.Bytes(reinterpret_cast<const uint8_t*>(name_.data()), name_.size());
  }

 private:
  OSType componentType_;
  OSType componentSubType_;
  std::string_view name_;
};

class VideoMediaHeaderAtom final : public FullAtom {
 public:
  VideoMediaHeaderAtom() : FullAtom(FourCC("vmhd"), 0, 1) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return 8; }
  void WriteFields(AtomWriter& out) const override {
    out.U16(0x40);  // graphics mode: dither copy
    for (int i = 0; i < 3; ++i) out.U16(0x8000);
  }
};

class DataReferenceAtom final : public FullAtom {
 public:
  explicit DataReferenceAtom(const DataReference& ref) : FullAtom(FourCC("dref"), 0, 0), ref_(ref) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return 4 + 12 + ref_.data.size(); }
  void WriteFields(AtomWriter& out) const override {
    out.U32(1);
    out.U32(static_cast<uint32_t>(12 + ref_.data.size()));
    out.Type(ref_.type);
    out.U32(ref_.flags & 0xFFFFFF);
    out.Bytes(ref_.data);
  }

 private:
  const DataReference& ref_;
};

class SampleDescriptionAtom final : public FullAtom {
 public:
  explicit SampleDescriptionAtom(const std::vector<ImageDescription>& descriptions)
      : FullAtom(FourCC("stsd"), 0, 0) {
    for (const ImageDescription& d : descriptions)
      entries_.push_back(SerialiseImageDescription(d, kDataRefIndex));
  }

 protected:
  uint64_t FieldsSizeBytes() const override {
    uint64_t total = 4;
    for (const auto& e : entries_) total += e.size();
    return total;
  }
  void WriteFields(AtomWriter& out) const override {
    out.U32(static_cast<uint32_t>(entries_.size()));
    for (const auto& e : entries_) out.Bytes(e);
  }

 private:
  std::vector<std::vector<uint8_t>> entries_;
};

// Full atoms holding an entry count and a table of 32-bit words.
class WordTableAtom final : public FullAtom {
 public:
  WordTableAtom(OSType type, uint32_t entryCount, std::vector<uint32_t> words)
      : FullAtom(type, 0, 0), entryCount_(entryCount), words_(std::move(words)) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return 4 + 4 * uint64_t{words_.size()}; }
  void WriteFields(AtomWriter& out) const override {
    out.U32(entryCount_);
    for (uint32_t w : words_) out.U32(w);
  }

 private:
  uint32_t entryCount_;
  std::vector<uint32_t> words_;
};

class SampleSizeAtom final : public FullAtom {
 public:
  SampleSizeAtom(uint32_t uniformSize, uint32_t count, std::vector<uint32_t> sizes)
      : FullAtom(FourCC("stsz"), 0, 0), uniformSize_(uniformSize), count_(count), sizes_(std::move(sizes)) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return 8 + 4 * uint64_t{sizes_.size()}; }
  void WriteFields(AtomWriter& out) const override {
    out.U32(uniformSize_);
    out.U32(count_);
    for (uint32_t s : sizes_) out.U32(s);
  }

 private:
  uint32_t uniformSize_;
  uint32_t count_;
  std::vector<uint32_t> sizes_;
};

class ChunkOffset64Atom final : public FullAtom {
 public:
  explicit ChunkOffset64Atom(std::vector<uint64_t> offsets)
      : FullAtom(FourCC("co64"), 0, 0), offsets_(std::move(offsets)) {}

 protected:
  uint64_t FieldsSizeBytes() const override { return 4 + 8 * uint64_t{offsets_.size()}; }
  void WriteFields(AtomWriter& out) const override {
    out.U32(static_cast<uint32_t>(offsets_.size()));
    for (uint64_t o : offsets_) out.U64(o);
  }

 private:
  std::vector<uint64_t> offsets_;
};

struct Chunk {
  uint64_t offsetBytes;
  uint32_t sampleCount;
  uint32_t descriptionIndex;
};

// Consecutive samples that lie back to back and share a description share a
// chunk, however many there are.
std::vector<Chunk> ChunksOf(const std::vector<SampleRun>& runs) {
  std::vector<Chunk> chunks;
  uint64_t nextOffset = 0;
  for (const SampleRun& run : runs) {
    if (!chunks.empty() && chunks.back().descriptionIndex == run.descriptionIndex &&
        run.firstOffsetBytes == nextOffset) {
      chunks.back().sampleCount += run.count;  // the media caps the total at 32 bits
    } else {
      chunks.push_back({run.firstOffsetBytes, run.count, run.descriptionIndex});
    }
    nextOffset = run.firstOffsetBytes + uint64_t{run.sizeBytes} * run.count;
  }
  return chunks;
}

std::unique_ptr<Atom> SampleTableOf(const MovieMedia& media) {
  auto stbl = std::make_unique<ContainerAtom>(FourCC("stbl"));
  stbl->AddChild(std::make_unique<SampleDescriptionAtom>(media.descriptions()));

  const std::vector<SampleRun>& runs = media.runs();
  std::vector<uint32_t> stts;  // (count, duration) pairs
  for (const SampleRun& run : runs) {
    if (!stts.empty() && stts.back() == run.durationTicks) {
      stts[stts.size() - 2] += run.count;
    } else {
      stts.push_back(run.count);
      stts.push_back(run.durationTicks);
    }
  }
  const auto sttsCount = static_cast<uint32_t>(stts.size() / 2);
  stbl->AddChild(std::make_unique<WordTableAtom>(FourCC("stts"), sttsCount, std::move(stts)));

  // Without a sync sample table every sample is a sync sample.
  bool allSync = true;
  for (const SampleRun& run : runs) allSync = allSync && run.sync == SampleSync::kSync;
  if (!allSync) {
    std::vector<uint32_t> syncSamples;
    uint32_t number = 1;
    for (const SampleRun& run : runs) {
      for (uint32_t i = 0; i < run.count; ++i, ++number)
        if (run.sync == SampleSync::kSync) syncSamples.push_back(number);
    }
    const auto count = static_cast<uint32_t>(syncSamples.size());
    stbl->AddChild(std::make_unique<WordTableAtom>(FourCC("stss"), count, std::move(syncSamples)));
  }

  const std::vector<Chunk> chunks = ChunksOf(runs);
  std::vector<uint32_t> stsc;  // (first chunk, samples per chunk, description) triples
  for (size_t i = 0; i < chunks.size(); ++i) {
    const size_t n = stsc.size();
    if (n == 0 || stsc[n - 2] != chunks[i].sampleCount || stsc[n - 1] != chunks[i].descriptionIndex) {
      stsc.push_back(static_cast<uint32_t>(i + 1));
      stsc.push_back(chunks[i].sampleCount);
      stsc.push_back(chunks[i].descriptionIndex);
    }
  }
  const auto stscCount = static_cast<uint32_t>(stsc.size() / 3);
  stbl->AddChild(std::make_unique<WordTableAtom>(FourCC("stsc"), stscCount, std::move(stsc)));

  bool uniform = true;
  for (const SampleRun& run : runs) uniform = uniform && run.sizeBytes == runs.front().sizeBytes;
  const auto sampleCount = static_cast<uint32_t>(media.SampleCount());
  if (uniform) {
    stbl->AddChild(std::make_unique<SampleSizeAtom>(runs.empty() ? 0 : runs.front().sizeBytes, sampleCount,
                                                    std::vector<uint32_t>()));
  } else {
    std::vector<uint32_t> sizes;
    sizes.reserve(sampleCount);
    for (const SampleRun& run : runs) sizes.insert(sizes.end(), run.count, run.sizeBytes);
    stbl->AddChild(std::make_unique<SampleSizeAtom>(0, sampleCount, std::move(sizes)));
  }

  bool wide = false;
  for (const Chunk& c : chunks) wide = wide || c.offsetBytes > kMax32;
  if (wide) {
    std::vector<uint64_t> offsets;
    for (const Chunk& c : chunks) offsets.push_back(c.offsetBytes);
    stbl->AddChild(std::make_unique<ChunkOffset64Atom>(std::move(offsets)));
  } else {
    std::vector<uint32_t> offsets;
    for (const Chunk& c : chunks) offsets.push_back(static_cast<uint32_t>(c.offsetBytes));
    const auto count = static_cast<uint32_t>(offsets.size());
    stbl->AddChild(std::make_unique<WordTableAtom>(FourCC("stco"), count, std::move(offsets)));
  }
  return stbl;
}

std::unique_ptr<Atom> TrackAtomOf(const MovieTrack& track, const DataReference& dataRef, uint64_t time) {
  auto trak = std::make_unique<ContainerAtom>(FourCC("trak"));
  trak->AddChild(std::make_unique<TrackHeaderAtom>(time, track));
  if (track.clipRect()) {
    auto clip = std::make_unique<ContainerAtom>(FourCC("clip"));
    clip->AddChild(std::make_unique<ClipRegionAtom>(*track.clipRect()));
    trak->AddChild(std::move(clip));
  }
  if (!track.edits().empty()) {
    auto edts = std::make_unique<ContainerAtom>(FourCC("edts"));
    edts->AddChild(std::make_unique<EditListAtom>(track.edits()));
    trak->AddChild(std::move(edts));
  }
  const MovieMedia* media = track.media();
  if (media == nullptr) return trak;

  auto mdia = std::make_unique<ContainerAtom>(FourCC("mdia"));
  mdia->AddChild(std::make_unique<MediaHeaderAtom>(time, *media));
  mdia->AddChild(std::make_unique<HandlerAtom>(FourCC("mhlr"), media->mediaType(), "Video Media Handler"));
  auto minf = std::make_unique<ContainerAtom>(FourCC("minf"));
  minf->AddChild(std::make_unique<VideoMediaHeaderAtom>());
  minf->AddChild(std::make_unique<HandlerAtom>(FourCC("dhlr"), dataRef.type, "Alias Data Handler"));
  auto dinf = std::make_unique<ContainerAtom>(FourCC("dinf"));
  dinf->AddChild(std::make_unique<DataReferenceAtom>(dataRef));
  minf->AddChild(std::move(dinf));
  minf->AddChild(SampleTableOf(*media));
  mdia->AddChild(std::move(minf));
  trak->AddChild(std::move(mdia));
  return trak;
}

// a × b / c, rounded to nearest, for time scale conversions.
uint64_t ScaleTicks(uint64_t ticks, int32_t toScale, int32_t fromScale) {
  const unsigned __int128 product = static_cast<unsigned __int128>(ticks) * static_cast<uint32_t>(toScale);
  const unsigned __int128 scaled =
      (product + static_cast<uint32_t>(fromScale) / 2) / static_cast<uint32_t>(fromScale);
  return scaled > std::numeric_limits<uint64_t>::max() ? std::numeric_limits<uint64_t>::max()
                                                       : static_cast<uint64_t>(scaled);
}

bool SameFields(const ImageDescription& a, const ImageDescription& b) {
  return a.idSize == b.idSize && a.cType == b.cType && a.resvd1 == b.resvd1 && a.resvd2 == b.resvd2 &&
         a.dataRefIndex == b.dataRefIndex && a.version == b.version && a.revisionLevel == b.revisionLevel &&
         a.vendor == b.vendor && a.temporalQuality == b.temporalQuality &&
         a.spatialQuality == b.spatialQuality && a.width == b.width && a.height == b.height &&
         a.hRes == b.hRes && a.vRes == b.vRes && a.dataSize == b.dataSize && a.frameCount == b.frameCount &&
         std::memcmp(a.name, b.name, sizeof(a.name)) == 0 && a.depth == b.depth && a.clutID == b.clutID &&
         a.extensions == b.extensions;
}

}  // namespace

void SetIdentityMatrix(MatrixRecord* m) {
  *m = MatrixRecord{};
  m->matrix[0][0] = kFixed1;
  m->matrix[1][1] = kFixed1;
  m->matrix[2][2] = kFract1;
}

void RectMatrix(MatrixRecord* m, const Rect* source, const Rect* destination) {
  SetIdentityMatrix(m);
  const int32_t sw = source->right - source->left, sh = source->bottom - source->top;
  const int32_t dw = destination->right - destination->left, dh = destination->bottom - destination->top;
  if (sw == 0 || sh == 0) return;
  const int64_t sx = static_cast<int64_t>(dw) * kFixed1 / sw;
  const int64_t sy = static_cast<int64_t>(dh) * kFixed1 / sh;
  m->matrix[0][0] = static_cast<int32_t>(sx);
  m->matrix[1][1] = static_cast<int32_t>(sy);
  m->matrix[2][0] = static_cast<int32_t>(destination->left * int64_t{kFixed1} - source->left * sx);
  m->matrix[2][1] = static_cast<int32_t>(destination->top * int64_t{kFixed1} - source->top * sy);
}

uint64_t fw::CurrentTimeSince1904() {
  constexpr uint64_t kSecondsFrom1904To1970 = 2082844800;
  // The wall clock's seam lets a test pin it and compare movies byte for byte.
  const int64_t now = WallClockSeconds();
  return now > 0 ? kSecondsFrom1904To1970 + static_cast<uint64_t>(now) : kSecondsFrom1904To1970;
}

OSErr fw::MovieMedia::AddSampleReferences(uint64_t offsetBytes, uint32_t sizeBytes, uint32_t count,
                                          uint32_t durationTicks, const ImageDescription& description,
                                          SampleSync sync) {
  if (sizeBytes == 0 || durationTicks == 0) return paramErr;
  if (count == 0) return noErr;
  if (sampleCount_ + count > kMax32) return paramErr;
  const unsigned __int128 lastEnd =
      static_cast<unsigned __int128>(offsetBytes) + static_cast<unsigned __int128>(sizeBytes) * count;
  if (lastEnd > std::numeric_limits<uint64_t>::max()) return paramErr;

  // Frames are added one by one with the same description, so the common
  // case is a field-for-field match with the last one; otherwise
  // descriptions are compared as they will be written.
  uint32_t index = 0;
  if (!descriptions_.empty() && SameFields(descriptions_.back(), description)) {
    index = static_cast<uint32_t>(descriptions_.size());
  } else {
    std::vector<uint8_t> entry = SerialiseImageDescription(description, kDataRefIndex);
    for (size_t i = 0; i < entries_.size() && index == 0; ++i) {
      if (entries_[i] == entry) index = static_cast<uint32_t>(i + 1);
    }
    if (index == 0) {
      descriptions_.push_back(description);
      entries_.push_back(std::move(entry));
      index = static_cast<uint32_t>(descriptions_.size());
    }
  }

  SampleRun* last = runs_.empty() ? nullptr : &runs_.back();
  if (last != nullptr && last->sizeBytes == sizeBytes && last->durationTicks == durationTicks &&
      last->sync == sync && last->descriptionIndex == index &&
      last->firstOffsetBytes + uint64_t{last->sizeBytes} * last->count == offsetBytes) {
    last->count += count;
  } else {
    runs_.push_back({offsetBytes, sizeBytes, count, durationTicks, sync, index});
  }
  sampleCount_ += count;
  durationTicks_ += uint64_t{durationTicks} * count;
  return noErr;
}

OSErr fw::MovieTrack::NewMedia(OSType mediaType, int32_t timeScale, Media* out) {
  if (out == nullptr || timeScale <= 0 || media_) return paramErr;
  media_.reset(new (std::nothrow) MovieMedia(mediaType, timeScale));
  if (!media_) return memFullErr;
  *out = media_.get();
  return noErr;
}

OSErr fw::MovieTrack::InsertMedia(int64_t trackStart, int64_t mediaTime, uint64_t mediaDurationTicks,
                                  Fixed rate) {
  if (!media_ || mediaTime < 0) return paramErr;
  if (mediaDurationTicks == 0) return noErr;
  const uint64_t end = DurationTicks();
  if (trackStart != -1) {
    if (trackStart < 0 || static_cast<uint64_t>(trackStart) < end) return paramErr;
    if (static_cast<uint64_t>(trackStart) > end)
      edits_.push_back({static_cast<uint64_t>(trackStart) - end, -1, kFixed1});
  }
  edits_.push_back(
      {ScaleTicks(mediaDurationTicks, movie_->timeScale(), media_->timeScale()), mediaTime, rate});
  return noErr;
}

uint64_t fw::MovieTrack::DurationTicks() const {
  uint64_t total = 0;
  for (const EditSegment& e : edits_) total += e.durationTicks;
  return total;
}

fw::Movie::Movie() : creationTime_(CurrentTimeSince1904()) {
  defaultDataRef_.type = FourCC("alis");
  defaultDataRef_.flags = 1;  // the file that holds the movie
}

OSErr fw::Movie::SetTimeScale(int32_t timeScale) {
  if (timeScale <= 0) return paramErr;
  timeScale_ = timeScale;
  return noErr;
}

OSErr fw::Movie::NewTrack(Fixed width, Fixed height, int16_t volume, Track* out) {
  if (out == nullptr) return paramErr;
  const auto id = static_cast<uint32_t>(tracks_.size() + 1);
  std::unique_ptr<MovieTrack> track(new (std::nothrow) MovieTrack(this, id, width, height, volume));
  if (!track) return memFullErr;
  *out = track.get();
  tracks_.push_back(std::move(track));
  return noErr;
}

uint64_t fw::Movie::DurationTicks() const {
  uint64_t longest = 0;
  for (const auto& t : tracks_) longest = std::max(longest, t->DurationTicks());
  return longest;
}

OSErr fw::Movie::Serialise(std::vector<uint8_t>* outMovieResource) const {
  if (outMovieResource == nullptr) return paramErr;
  ContainerAtom moov(FourCC("moov"));
  moov.AddChild(std::make_unique<MovieHeaderAtom>(creationTime_, timeScale_, DurationTicks(),
                                                  static_cast<uint32_t>(tracks_.size() + 1)));
  for (const auto& track : tracks_) moov.AddChild(TrackAtomOf(*track, defaultDataRef_, creationTime_));
  if (moov.SizeBytes() > kMax32) return cantPutPublicMovieAtom;

  AtomWriter writer;
  writer.bytes().reserve(static_cast<size_t>(moov.SizeBytes()));
  moov.Write(writer);
  if (writer.sizeMismatch()) return cantPutPublicMovieAtom;
  *outMovieResource = std::move(writer.bytes());
  return noErr;
}
