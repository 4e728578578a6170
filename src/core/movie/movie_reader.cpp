// Reading movie files back, defensively: the table readers, on top of the
// atom walker (atom_walker.h), which parses and checks every atom header.
#include "core/movie/movie_reader.h"

#include <limits>
#include <utility>

#include "core/movie/alias_record.h"
#include "core/movie/atom_walker.h"

namespace fw {

namespace {

// Movie atoms of real files are a few kilobytes to a few megabytes; a larger
// one is taken for damage rather than read into memory.
constexpr uint64_t kMaxMovieAtomSizeBytes = 64ull << 20;
constexpr uint32_t kDataRefSelfFlag = 1;  // the data are in the file that holds the movie

// The table readers: each takes one atom the walker found and fills in
// what it holds, checking every count against the bytes there are.
class Parser {
 public:
  Parser(MovieFileInfo* out, std::string* problem)
      : out_(out), problem_(problem), walker_(&out->atoms, &problem_) {}

  OSErr code() const { return problem_.code(); }

  bool Matrix(PayloadCursor& c, MatrixRecord* m) {
    for (auto& row : m->matrix)
      for (int32_t& v : row) {
        uint32_t w = 0;
        if (!c.U32(&w)) return false;
        v = static_cast<int32_t>(w);
      }
    return true;
  }

  bool Movie(const WalkedAtom& moov, int depth) {
    bool sawHeader = false;
    const bool ok = walker_.ForEachChild(moov, depth, [&](const WalkedAtom& child) {
      if (child.type == FourCC("mvhd")) {
        if (sawHeader) return problem_.Malformed("a second movie header", child.type, child.offsetBytes);
        sawHeader = true;
        return MovieHeader(child);
      }
      if (child.type == FourCC("trak")) return Track(child, depth + 1);
      return true;
    });
    if (!ok) return false;
    if (!sawHeader) return problem_.Malformed("no movie header ('mvhd')", moov.type, moov.offsetBytes);
    return true;
  }

  bool MovieHeader(const WalkedAtom& atom) {
    PayloadCursor c(atom);
    uint8_t version = 0;
    uint32_t flags = 0;
    if (!walker_.FullAtomHeader(c, atom, &version, &flags)) return false;
    uint64_t creation = 0, modification = 0, duration = 0;
    uint32_t timeScale = 0, rate = 0;
    uint16_t volume = 0;
    if (!c.Versioned(version, &creation) || !c.Versioned(version, &modification) || !c.U32(&timeScale) ||
        !c.Versioned(version, &duration) || !c.U32(&rate) || !c.U16(&volume) || !c.Skip(10) ||
        !Matrix(c, &out_->matrix) || !c.Skip(24) || !c.U32(&out_->nextTrackID)) {
      return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    }
    if (timeScale == 0 || timeScale > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
      return problem_.Malformed("time scale out of range", atom.type, atom.offsetBytes);
    out_->timeScale = static_cast<int32_t>(timeScale);
    out_->durationTicks = duration;
    out_->preferredRate = static_cast<Fixed>(rate);
    return true;
  }

  bool Track(const WalkedAtom& trak, int depth) {
    out_->tracks.emplace_back();
    const size_t index = out_->tracks.size() - 1;
    bool sawHeader = false, sawMedia = false;
    const bool ok = walker_.ForEachChild(trak, depth, [&](const WalkedAtom& child) {
      TrackInfo& t = out_->tracks[index];
      switch (child.type) {
        case FourCC("tkhd"):
          sawHeader = true;
          return TrackHeader(child, &t);
        case FourCC("clip"):
          return walker_.ForEachChild(child, depth + 1, [&](const WalkedAtom& region) {
            return region.type != FourCC("crgn") || ClipRegion(region, &t);
          });
        case FourCC("edts"):
          return walker_.ForEachChild(child, depth + 1, [&](const WalkedAtom& list) {
            return list.type != FourCC("elst") || EditList(list, &t);
          });
        case FourCC("mdia"):
          if (sawMedia)
            return problem_.Malformed("a second media atom in a track", child.type, child.offsetBytes);
          sawMedia = true;
          return MediaAtom(child, depth + 1, &t);
        default:
          return true;
      }
    });
    if (!ok) return false;
    if (!sawHeader) return problem_.Malformed("no track header ('tkhd')", trak.type, trak.offsetBytes);
    if (!sawMedia) return problem_.Malformed("no media ('mdia')", trak.type, trak.offsetBytes);
    return true;
  }

  bool TrackHeader(const WalkedAtom& atom, TrackInfo* t) {
    PayloadCursor c(atom);
    uint8_t version = 0;
    if (!walker_.FullAtomHeader(c, atom, &version, &t->flags)) return false;
    uint64_t creation = 0, modification = 0;
    uint32_t reserved = 0, width = 0, height = 0;
    uint16_t layer = 0, group = 0, volume = 0, pad = 0;
    if (!c.Versioned(version, &creation) || !c.Versioned(version, &modification) || !c.U32(&t->trackID) ||
        !c.U32(&reserved) || !c.Versioned(version, &t->durationTicks) || !c.Skip(8) || !c.U16(&layer) ||
        !c.U16(&group) || !c.U16(&volume) || !c.U16(&pad) || !Matrix(c, &t->matrix) || !c.U32(&width) ||
        !c.U32(&height)) {
      return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    }
    t->volume = static_cast<int16_t>(volume);
    t->width = static_cast<Fixed>(width);
    t->height = static_cast<Fixed>(height);
    return true;
  }

  bool ClipRegion(const WalkedAtom& atom, TrackInfo* t) {
    PayloadCursor c(atom);
    uint16_t size = 0, top = 0, left = 0, bottom = 0, right = 0;
    if (!c.U16(&size) || !c.U16(&top) || !c.U16(&left) || !c.U16(&bottom) || !c.U16(&right))
      return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    t->clipRect = Rect{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
                       static_cast<int16_t>(right)};
    return true;
  }

  bool EditList(const WalkedAtom& atom, TrackInfo* t) {
    PayloadCursor c(atom);
    uint8_t version = 0;
    uint32_t flags = 0, count = 0;
    if (!walker_.FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(&count)) return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    const size_t entrySize = version == 1 ? 20 : 12;
    if (count > c.remaining() / entrySize)
      return problem_.Malformed("more edits than the atom holds", atom.type, atom.offsetBytes);
    t->edits.clear();
    for (uint32_t i = 0; i < count; ++i) {
      EditSegment e;
      uint64_t mediaTime = 0;
      uint32_t rate = 0;
      c.Versioned(version, &e.durationTicks);
      c.Versioned(version, &mediaTime);
      c.U32(&rate);
      e.mediaTime = version == 1
                        ? static_cast<int64_t>(mediaTime)
                        : static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(mediaTime)));
      e.rate = static_cast<Fixed>(rate);
      t->edits.push_back(e);
    }
    return true;
  }

  bool MediaAtom(const WalkedAtom& mdia, int depth, TrackInfo* t) {
    bool sawHeader = false, sawTables = false;
    const bool ok = walker_.ForEachChild(mdia, depth, [&](const WalkedAtom& child) {
      switch (child.type) {
        case FourCC("mdhd"):
          sawHeader = true;
          return MediaHeader(child, t);
        case FourCC("hdlr"):
          return Handler(child, &t->mediaHandlerType, &t->mediaType);
        case FourCC("minf"):
          return walker_.ForEachChild(child, depth + 1, [&](const WalkedAtom& info) {
            return MediaInfo(info, depth + 2, t, &sawTables);
          });
        default:
          return true;
      }
    });
    if (!ok) return false;
    if (!sawHeader) return problem_.Malformed("no media header ('mdhd')", mdia.type, mdia.offsetBytes);
    if (!sawTables) return problem_.Malformed("no sample table ('stbl')", mdia.type, mdia.offsetBytes);
    return true;
  }

  bool MediaHeader(const WalkedAtom& atom, TrackInfo* t) {
    PayloadCursor c(atom);
    uint8_t version = 0;
    uint32_t flags = 0, timeScale = 0;
    uint64_t creation = 0, modification = 0;
    if (!walker_.FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.Versioned(version, &creation) || !c.Versioned(version, &modification) || !c.U32(&timeScale) ||
        !c.Versioned(version, &t->mediaDurationTicks)) {
      return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    }
    if (timeScale == 0 || timeScale > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
      return problem_.Malformed("time scale out of range", atom.type, atom.offsetBytes);
    t->mediaTimeScale = static_cast<int32_t>(timeScale);
    return true;
  }

  bool Handler(const WalkedAtom& atom, OSType* componentType, OSType* componentSubType) {
    PayloadCursor c(atom);
    uint8_t version = 0;
    uint32_t flags = 0;
    if (!walker_.FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(componentType) || !c.U32(componentSubType))
      return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    return true;
  }

  bool MediaInfo(const WalkedAtom& child, int depth, TrackInfo* t, bool* sawTables) {
    switch (child.type) {
      case FourCC("hdlr"):
        return Handler(child, &t->dataHandlerType, &t->dataHandlerSubType);
      case FourCC("dinf"):
        return walker_.ForEachChild(child, depth, [&](const WalkedAtom& ref) {
          return ref.type != FourCC("dref") || DataRefs(ref, depth + 1, t);
        });
      case FourCC("stbl"):
        if (*sawTables) return problem_.Malformed("a second sample table", child.type, child.offsetBytes);
        *sawTables = true;
        return SampleTable(child, depth, t);
      default:
        return true;
    }
  }

  bool DataRefs(const WalkedAtom& atom, int depth, TrackInfo* t) {
    PayloadCursor c(atom);
    uint8_t version = 0;
    uint32_t flags = 0, count = 0;
    if (!walker_.FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(&count)) return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    t->dataRefs.clear();
    const bool ok = walker_.ForEachAtomIn(
        c.here(), c.remaining(), atom.payloadOffsetBytes + c.position(), depth, atom.type,
        [&](const WalkedAtom& entry) {
          PayloadCursor e(entry);
          DataRefInfo info;
          info.type = entry.type;
          uint32_t word = 0;
          if (!e.U32(&word))
            return problem_.Malformed("data reference entry too short", entry.type, entry.offsetBytes);
          info.flags = word & 0xFFFFFF;
          info.sizeBytes = static_cast<uint32_t>(entry.payloadSizeBytes + 8);
          std::string path;
          if (e.remaining() > 0 && ReadAliasRecordPath(e.here(), e.remaining(), &path)) info.aliasPath = path;
          t->dataRefs.push_back(std::move(info));
          return true;
        });
    if (!ok) return false;
    if (t->dataRefs.size() != count) {
      return problem_.Fail(badPublicMovieAtom,
                           "'dref' atom at offset %llu says it holds %u entries but holds %zu",
                           static_cast<unsigned long long>(atom.offsetBytes), count, t->dataRefs.size());
    }
    return true;
  }

  bool SampleTable(const WalkedAtom& stbl, int depth, TrackInfo* t) {
    bool sawStsd = false, sawStts = false, sawStsc = false, sawStsz = false;
    const bool ok = walker_.ForEachChild(stbl, depth, [&](const WalkedAtom& child) {
      switch (child.type) {
        case FourCC("stsd"):
          sawStsd = true;
          return SampleDescriptions(child, depth + 1, t);
        case FourCC("stts"):
          sawStts = true;
          return TimeToSample(child, t);
        case FourCC("stss"):
          return SyncSamples(child, t);
        case FourCC("stsc"):
          sawStsc = true;
          return SampleToChunk(child, t);
        case FourCC("stsz"):
          sawStsz = true;
          return SampleSizes(child, t);
        case FourCC("stco"):
        case FourCC("co64"):
          return ChunkOffsets(child, t);
        default:
          return true;
      }
    });
    if (!ok) return false;
    const char* missing = !sawStsd                  ? "no sample descriptions ('stsd')"
                          : !sawStts                ? "no time-to-sample table ('stts')"
                          : !sawStsc                ? "no sample-to-chunk table ('stsc')"
                          : !sawStsz                ? "no sample size table ('stsz')"
                          : t->chunkOffsetType == 0 ? "no chunk offset table ('stco' or 'co64')"
                                                    : nullptr;
    if (missing != nullptr) return problem_.Malformed(missing, stbl.type, stbl.offsetBytes);
    return true;
  }

  // Reads a full atom's version, flags and entry count, and checks that
  // `count` entries of `entrySize` bytes fit in what is left.
  bool TableHeader(PayloadCursor& c, const WalkedAtom& atom, size_t entrySize, uint32_t* count) {
    uint8_t version = 0;
    uint32_t flags = 0;
    if (!walker_.FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(count)) return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    if (*count > c.remaining() / entrySize) {
      return problem_.Fail(
          badPublicMovieAtom, "%s atom at offset %llu says it holds %u entries but has room for %zu",
          QuotedTypeName(atom.type).c_str(), static_cast<unsigned long long>(atom.offsetBytes), *count,
          c.remaining() / entrySize);
    }
    return true;
  }

  bool SampleDescriptions(const WalkedAtom& atom, int depth, TrackInfo* t) {
    PayloadCursor c(atom);
    uint32_t count = 0;
    if (!TableHeader(c, atom, 8, &count)) return false;
    t->sampleDescriptions.clear();
    const bool ok = walker_.ForEachAtomIn(
        c.here(), c.remaining(), atom.payloadOffsetBytes + c.position(), depth, atom.type,
        [&](const WalkedAtom& entry) {
          SampleDescriptionInfo info;
          // The entry goes whole to the description parser, header included.
          const uint8_t* start = entry.payload - entry.headerSizeBytes();
          const size_t size = entry.payloadSizeBytes + entry.headerSizeBytes();
          if (t->mediaType == FourCC("vide")) {
            if (ParseImageDescription(start, size, &info.description) != noErr)
              return problem_.Malformed("video sample description too short", entry.type, entry.offsetBytes);
            ColorTags tags;
            if (FindColorTags(info.description, &tags)) info.colorTags = tags;
            // Listed as far as they are well formed: a damaged extension
            // does not make the movie unplayable.
            const std::vector<uint8_t>& ext = info.description.extensions;
            walker_.RecordWellFormedAtoms(ext.data(), ext.size(),
                                          entry.offsetBytes + kImageDescriptionBaseSizeBytes, depth + 1);
          } else {
            info.description.cType = entry.type;
            info.description.idSize = static_cast<int32_t>(size);
          }
          t->sampleDescriptions.push_back(std::move(info));
          return true;
        });
    if (!ok) return false;
    if (t->sampleDescriptions.size() != count) {
      return problem_.Fail(
          badPublicMovieAtom, "'stsd' atom at offset %llu says it holds %u descriptions but holds %zu",
          static_cast<unsigned long long>(atom.offsetBytes), count, t->sampleDescriptions.size());
    }
    return true;
  }

  bool TimeToSample(const WalkedAtom& atom, TrackInfo* t) {
    PayloadCursor c(atom);
    uint32_t count = 0;
    if (!TableHeader(c, atom, 8, &count)) return false;
    t->timeToSample.resize(count);
    for (TimeToSampleEntry& e : t->timeToSample) {
      c.U32(&e.count);
      c.U32(&e.durationTicks);
    }
    return true;
  }

  bool SyncSamples(const WalkedAtom& atom, TrackInfo* t) {
    PayloadCursor c(atom);
    uint32_t count = 0;
    if (!TableHeader(c, atom, 4, &count)) return false;
    t->syncSamples.emplace(count);
    for (uint32_t& n : *t->syncSamples) c.U32(&n);
    return true;
  }

  bool SampleToChunk(const WalkedAtom& atom, TrackInfo* t) {
    PayloadCursor c(atom);
    uint32_t count = 0;
    if (!TableHeader(c, atom, 12, &count)) return false;
    t->sampleToChunk.resize(count);
    for (SampleToChunkEntry& e : t->sampleToChunk) {
      c.U32(&e.firstChunk);
      c.U32(&e.samplesPerChunk);
      c.U32(&e.descriptionIndex);
    }
    return true;
  }

  bool SampleSizes(const WalkedAtom& atom, TrackInfo* t) {
    PayloadCursor c(atom);
    uint8_t version = 0;
    uint32_t flags = 0;
    if (!walker_.FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(&t->uniformSampleSizeBytes) || !c.U32(&t->sampleCount))
      return problem_.Malformed("too short", atom.type, atom.offsetBytes);
    if (t->uniformSampleSizeBytes != 0) return true;
    if (t->sampleCount > c.remaining() / 4) {
      return problem_.Fail(
          badPublicMovieAtom, "'stsz' atom at offset %llu lists %u sizes but has room for %zu",
          static_cast<unsigned long long>(atom.offsetBytes), t->sampleCount, c.remaining() / 4);
    }
    t->sampleSizes.resize(t->sampleCount);
    for (uint32_t& s : t->sampleSizes) c.U32(&s);
    return true;
  }

  bool ChunkOffsets(const WalkedAtom& atom, TrackInfo* t) {
    if (t->chunkOffsetType != 0)
      return problem_.Malformed("a second chunk offset table", atom.type, atom.offsetBytes);
    const bool wide = atom.type == FourCC("co64");
    PayloadCursor c(atom);
    uint32_t count = 0;
    if (!TableHeader(c, atom, wide ? 8 : 4, &count)) return false;
    t->chunkOffsetType = atom.type;
    t->chunkOffsets.resize(count);
    for (uint64_t& o : t->chunkOffsets) {
      if (wide) {
        c.U64(&o);
      } else {
        uint32_t o32 = 0;
        c.U32(&o32);
        o = o32;
      }
    }
    return true;
  }

  // Places the samples of one chunk, which lie back to back from the chunk's
  // offset, and checks that they end inside the file.
  bool Chunk(TrackInfo* t, unsigned trackNumber, uint64_t chunk, uint32_t samplesInChunk, uint64_t* sample,
             std::optional<uint64_t> fileSizeBytes) {
    const unsigned __int128 limit = fileSizeBytes ? *fileSizeBytes : std::numeric_limits<uint64_t>::max();
    const uint64_t start = t->chunkOffsets[chunk - 1];
    unsigned __int128 end = start;
    uint64_t lastOffset = start;
    uint32_t lastSize = 0;
    if (t->uniformSampleSizeBytes != 0) {
      lastSize = t->uniformSampleSizeBytes;
      end += static_cast<unsigned __int128>(samplesInChunk) * lastSize;
      lastOffset = static_cast<uint64_t>(end - lastSize);
    } else {
      for (uint32_t s = 0; s < samplesInChunk; ++s) {
        lastOffset = static_cast<uint64_t>(end);
        lastSize = t->sampleSizes[*sample + s];
        end += lastSize;
        if (end > limit) break;
      }
    }
    if (end > limit) {
      if (fileSizeBytes) {
        return problem_.Fail(
            eofErr,
            "the file is truncated: chunk %llu of track %u runs past the end of the file (%llu bytes)",
            static_cast<unsigned long long>(chunk), trackNumber,
            static_cast<unsigned long long>(*fileSizeBytes));
      }
      return problem_.Fail(badPublicMovieAtom, "track %u: chunk %llu lies beyond any file", trackNumber,
                           static_cast<unsigned long long>(chunk));
    }
    // Samples of a movie that refers to its own file lie in its media data.
    if (fileSizeBytes && !mediaData_.empty() && !t->dataRefs.empty() &&
        (t->dataRefs[0].flags & kDataRefSelfFlag) != 0) {
      bool inside = false;
      for (const auto& [from, to] : mediaData_) inside = inside || (start >= from && end <= to);
      if (!inside) {
        return problem_.Fail(badPublicMovieAtom,
                             "track %u: chunk %llu (bytes %llu to %llu) lies outside the media data",
                             trackNumber, static_cast<unsigned long long>(chunk),
                             static_cast<unsigned long long>(start), static_cast<unsigned long long>(end));
      }
    }
    if (*sample == 0) t->firstSampleOffsetBytes = start;
    *sample += samplesInChunk;
    if (*sample == t->sampleCount) {
      t->lastSampleOffsetBytes = lastOffset;
      t->lastSampleSizeBytes = lastSize;
    }
    return true;
  }

  // Checks that the tables agree and works out where the samples lie.
  bool Samples(size_t trackIndex, std::optional<uint64_t> fileSizeBytes) {
    TrackInfo& t = out_->tracks[trackIndex];
    const unsigned trackNumber = static_cast<unsigned>(trackIndex + 1);
    uint64_t timedSamples = 0;
    for (const TimeToSampleEntry& e : t.timeToSample) {
      timedSamples += e.count;
      t.sampleDurationTotalTicks += uint64_t{e.count} * e.durationTicks;
    }
    if (timedSamples != t.sampleCount) {
      return problem_.Fail(badPublicMovieAtom,
                           "track %u: the time-to-sample table covers %llu samples but there are %u",
                           trackNumber, static_cast<unsigned long long>(timedSamples), t.sampleCount);
    }
    if (t.syncSamples) {
      for (uint32_t n : *t.syncSamples)
        if (n == 0 || n > t.sampleCount)
          return problem_.Fail(badPublicMovieAtom, "track %u: sync sample %u does not exist", trackNumber, n);
    }

    const uint64_t chunkCount = t.chunkOffsets.size();
    uint64_t sample = 0;  // samples placed so far
    for (size_t i = 0; i < t.sampleToChunk.size(); ++i) {
      const SampleToChunkEntry& e = t.sampleToChunk[i];
      const uint64_t nextFirst =
          i + 1 < t.sampleToChunk.size() ? t.sampleToChunk[i + 1].firstChunk : chunkCount + 1;
      if (e.firstChunk == 0 || e.firstChunk >= nextFirst || nextFirst > chunkCount + 1) {
        return problem_.Fail(badPublicMovieAtom,
                             "track %u: sample-to-chunk entry %zu names chunks that do not exist",
                             trackNumber, i + 1);
      }
      if (e.samplesPerChunk == 0 || e.descriptionIndex == 0 ||
          e.descriptionIndex > t.sampleDescriptions.size()) {
        return problem_.Fail(badPublicMovieAtom, "track %u: sample-to-chunk entry %zu is invalid",
                             trackNumber, i + 1);
      }
      for (uint64_t chunk = e.firstChunk; chunk < nextFirst; ++chunk) {
        if (sample + e.samplesPerChunk > t.sampleCount) {
          return problem_.Fail(badPublicMovieAtom,
                               "track %u: its chunks hold more samples than the %u it has", trackNumber,
                               t.sampleCount);
        }
        if (!Chunk(&t, trackNumber, chunk, e.samplesPerChunk, &sample, fileSizeBytes)) return false;
      }
    }
    if (sample != t.sampleCount) {
      return problem_.Fail(badPublicMovieAtom, "track %u: its chunks hold %llu samples but there are %u",
                           trackNumber, static_cast<unsigned long long>(sample), t.sampleCount);
    }
    return true;
  }

  // Walks the file's top-level atoms: notes the media data, reads the
  // movie atom, then checks where the samples lie.
  bool File(const ByteSource& source, bool checkSamplesInFile) {
    bool sawMovie = false;
    const bool ok = walker_.ForEachTopLevelAtom(source, [&](const WalkedAtom& atom) {
      if (atom.type == FourCC("mdat")) {
        mediaData_.emplace_back(atom.payloadOffsetBytes, atom.offsetBytes + atom.sizeBytes);
        if (!out_->hasMediaData) {
          out_->hasMediaData = true;
          out_->mediaDataOffsetBytes = atom.payloadOffsetBytes;
          out_->mediaDataSizeBytes = atom.payloadSizeBytes;
        }
      }
      if (atom.type != FourCC("moov")) return true;
      if (sawMovie) return problem_.Malformed("a second movie atom", atom.type, atom.offsetBytes);
      if (atom.sizeBytes > kMaxMovieAtomSizeBytes)
        return problem_.Malformed("movie atom too large to be genuine", atom.type, atom.offsetBytes);
      sawMovie = true;
      std::vector<uint8_t> movieAtom(static_cast<size_t>(atom.sizeBytes));
      if (OSErr err = source.ReadAt(atom.offsetBytes, movieAtom.data(), movieAtom.size()); err != noErr)
        return problem_.Fail(err, "cannot read the movie atom (error %d)", err);
      WalkedAtom moov = atom;
      moov.payload = movieAtom.data() + atom.headerSizeBytes();
      return Movie(moov, 1);
    });
    if (!ok) return false;
    if (!sawMovie) return problem_.Fail(badPublicMovieAtom, "no movie atom ('moov') found");
    const uint64_t fileSize = source.SizeBytes();
    for (size_t i = 0; i < out_->tracks.size(); ++i)
      if (!Samples(i, checkSamplesInFile ? std::optional<uint64_t>(fileSize) : std::nullopt)) return false;
    return true;
  }

 private:
  std::vector<std::pair<uint64_t, uint64_t>> mediaData_;  // payloads of the 'mdat' atoms
  MovieFileInfo* out_;
  ReadProblem problem_;
  AtomWalker walker_;
};

OSErr ReadMovie(const ByteSource& source, bool checkSamplesInFile, MovieFileInfo* out,
                std::string* outProblem) {
  if (out == nullptr) return paramErr;
  *out = MovieFileInfo();
  out->fileSizeBytes = source.SizeBytes();
  Parser parser(out, outProblem);
  parser.File(source, checkSamplesInFile);
  return parser.code();
}

}  // namespace

OSErr ReadMovieFile(const ByteSource& source, MovieFileInfo* out, std::string* outProblem) {
  return ReadMovie(source, true, out, outProblem);
}

OSErr ReadMovieAtom(const uint8_t* data, size_t sizeBytes, MovieFileInfo* out, std::string* outProblem) {
  if (data == nullptr) return paramErr;
  MemoryByteSource source(data, sizeBytes);
  return ReadMovie(source, false, out, outProblem);
}

}  // namespace fw
