// Reading movie files back, defensively.
#include "core/movie/movie_reader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "core/movie/alias_record.h"
#include "core/platform/files.h"
#include "core/util/byte_order.h"

namespace {

// Movie atoms of real files are a few kilobytes to a few megabytes; a larger
// one is taken for damage rather than read into memory.
constexpr uint64_t kMaxMovieAtomSizeBytes = 64ull << 20;
constexpr int kMaxDepth = 16;
constexpr uint32_t kDataRefSelfFlag = 1;  // the data are in the file that holds the movie

std::string TypeName(OSType type) {
  return "'" + FourCCToString(type) + "'";
}

// Bounds-checked big-endian reads over one atom's payload.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t sizeBytes) : data_(data), size_(sizeBytes) {}
  size_t remaining() const { return size_ - at_; }
  size_t position() const { return at_; }
  const uint8_t* here() const { return data_ + at_; }
  bool Skip(size_t n) {
    if (n > remaining()) return false;
    at_ += n;
    return true;
  }
  bool U8(uint8_t* v) {
    if (remaining() < 1) return false;
    *v = data_[at_++];
    return true;
  }
  bool U16(uint16_t* v) {
    if (remaining() < 2) return false;
    *v = LoadBE16(data_ + at_);
    at_ += 2;
    return true;
  }
  bool U32(uint32_t* v) {
    if (remaining() < 4) return false;
    *v = LoadBE32(data_ + at_);
    at_ += 4;
    return true;
  }
  bool U64(uint64_t* v) {
    if (remaining() < 8) return false;
    *v = LoadBE64(data_ + at_);
    at_ += 8;
    return true;
  }
  // A 32- or 64-bit field by the atom's version.
  bool Versioned(uint8_t version, uint64_t* v) {
    if (version == 1) return U64(v);
    uint32_t v32 = 0;
    if (!U32(&v32)) return false;
    *v = v32;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// One atom found while walking a payload.
struct Child {
  OSType type;
  const uint8_t* payload;
  size_t payloadSizeBytes;
  uint64_t offsetBytes;         // of the atom's first byte
  uint64_t payloadOffsetBytes;  // of the payload's first byte
};

class Parser {
 public:
  Parser(MovieFileInfo* out, std::string* problem) : out_(out), problem_(problem) {}

  OSErr code() const { return code_; }

  bool Fail(OSErr code, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    if (code_ != noErr) return false;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    code_ = code;
    if (problem_ != nullptr) *problem_ = text;
    return false;
  }
  bool Malformed(const char* what, OSType atom, uint64_t offset) {
    return Fail(badPublicMovieAtom, "%s atom at offset %llu: %s", TypeName(atom).c_str(),
                static_cast<unsigned long long>(offset), what);
  }

  // Walks the atoms of a payload, recording each, and hands them to `visit`.
  // QuickTime allows a 32-bit zero to end a list of atoms.
  template <typename Visit>
  bool ForEachChild(const uint8_t* data, size_t sizeBytes, uint64_t baseOffset, int depth, OSType parent,
                    Visit visit) {
    if (depth > kMaxDepth) return Malformed("atoms nested too deeply", parent, baseOffset);
    size_t pos = 0;
    while (pos < sizeBytes) {
      const size_t left = sizeBytes - pos;
      if (left == 4 && LoadBE32(data + pos) == 0) break;
      if (left < 8) return Malformed("an atom header inside it is cut short", parent, baseOffset + pos);
      uint64_t size = LoadBE32(data + pos);
      const OSType type = LoadBE32(data + pos + 4);
      uint64_t header = 8;
      if (size == 1) {
        if (left < 16) return Malformed("a 64-bit atom size is cut short", type, baseOffset + pos);
        size = LoadBE64(data + pos + 8);
        header = 16;
      } else if (size == 0) {
        size = left;
      }
      if (size < header) return Malformed("size smaller than its header", type, baseOffset + pos);
      if (size > left) {
        return Fail(badPublicMovieAtom,
                    "%s atom at offset %llu claims %llu bytes but its parent %s has only %zu left",
                    TypeName(type).c_str(), static_cast<unsigned long long>(baseOffset + pos),
                    static_cast<unsigned long long>(size), TypeName(parent).c_str(), left);
      }
      out_->atoms.push_back({baseOffset + pos, type, size, depth});
      const Child child{type, data + pos + header, static_cast<size_t>(size - header), baseOffset + pos,
                        baseOffset + pos + header};
      if (!visit(child)) return false;
      pos += static_cast<size_t>(size);
    }
    return true;
  }

  bool FullAtomHeader(Cursor& c, const Child& atom, uint8_t* version, uint32_t* flags) {
    uint32_t word = 0;
    if (!c.U32(&word)) return Malformed("too short for its version and flags", atom.type, atom.offsetBytes);
    *version = static_cast<uint8_t>(word >> 24);
    *flags = word & 0xFFFFFF;
    if (*version > 1) return Malformed("unknown version", atom.type, atom.offsetBytes);
    return true;
  }

  bool Matrix(Cursor& c, MatrixRecord* m) {
    for (auto& row : m->matrix)
      for (int32_t& v : row) {
        uint32_t w = 0;
        if (!c.U32(&w)) return false;
        v = static_cast<int32_t>(w);
      }
    return true;
  }

  bool Movie(const Child& moov, int depth) {
    bool sawHeader = false;
    const bool ok =
        ForEachChild(moov.payload, moov.payloadSizeBytes, moov.payloadOffsetBytes, depth, moov.type,
                     [&](const Child& child) {
                       if (child.type == FourCC("mvhd")) {
                         if (sawHeader)
                           return Malformed("a second movie header", child.type, child.offsetBytes);
                         sawHeader = true;
                         return MovieHeader(child);
                       }
                       if (child.type == FourCC("trak")) return Track(child, depth + 1);
                       return true;
                     });
    if (!ok) return false;
    if (!sawHeader) return Malformed("no movie header ('mvhd')", moov.type, moov.offsetBytes);
    return true;
  }

  bool MovieHeader(const Child& atom) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint8_t version = 0;
    uint32_t flags = 0;
    if (!FullAtomHeader(c, atom, &version, &flags)) return false;
    uint64_t creation = 0, modification = 0, duration = 0;
    uint32_t timeScale = 0, rate = 0;
    uint16_t volume = 0;
    if (!c.Versioned(version, &creation) || !c.Versioned(version, &modification) || !c.U32(&timeScale) ||
        !c.Versioned(version, &duration) || !c.U32(&rate) || !c.U16(&volume) || !c.Skip(10) ||
        !Matrix(c, &out_->matrix) || !c.Skip(24) || !c.U32(&out_->nextTrackID)) {
      return Malformed("too short", atom.type, atom.offsetBytes);
    }
    if (timeScale == 0 || timeScale > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
      return Malformed("time scale out of range", atom.type, atom.offsetBytes);
    out_->timeScale = static_cast<int32_t>(timeScale);
    out_->durationTicks = duration;
    out_->preferredRate = static_cast<Fixed>(rate);
    return true;
  }

  bool Track(const Child& trak, int depth) {
    out_->tracks.emplace_back();
    const size_t index = out_->tracks.size() - 1;
    bool sawHeader = false, sawMedia = false;
    const bool ok = ForEachChild(
        trak.payload, trak.payloadSizeBytes, trak.payloadOffsetBytes, depth, trak.type,
        [&](const Child& child) {
          TrackInfo& t = out_->tracks[index];
          switch (child.type) {
            case FourCC("tkhd"):
              sawHeader = true;
              return TrackHeader(child, &t);
            case FourCC("clip"):
              return ForEachChild(child.payload, child.payloadSizeBytes, child.payloadOffsetBytes, depth + 1,
                                  child.type, [&](const Child& region) {
                                    return region.type != FourCC("crgn") || ClipRegion(region, &t);
                                  });
            case FourCC("edts"):
              return ForEachChild(
                  child.payload, child.payloadSizeBytes, child.payloadOffsetBytes, depth + 1, child.type,
                  [&](const Child& list) { return list.type != FourCC("elst") || EditList(list, &t); });
            case FourCC("mdia"):
              if (sawMedia) return Malformed("a second media atom in a track", child.type, child.offsetBytes);
              sawMedia = true;
              return MediaAtom(child, depth + 1, &t);
            default:
              return true;
          }
        });
    if (!ok) return false;
    if (!sawHeader) return Malformed("no track header ('tkhd')", trak.type, trak.offsetBytes);
    if (!sawMedia) return Malformed("no media ('mdia')", trak.type, trak.offsetBytes);
    return true;
  }

  bool TrackHeader(const Child& atom, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint8_t version = 0;
    if (!FullAtomHeader(c, atom, &version, &t->flags)) return false;
    uint64_t creation = 0, modification = 0;
    uint32_t reserved = 0, width = 0, height = 0;
    uint16_t layer = 0, group = 0, volume = 0, pad = 0;
    if (!c.Versioned(version, &creation) || !c.Versioned(version, &modification) || !c.U32(&t->trackID) ||
        !c.U32(&reserved) || !c.Versioned(version, &t->durationTicks) || !c.Skip(8) || !c.U16(&layer) ||
        !c.U16(&group) || !c.U16(&volume) || !c.U16(&pad) || !Matrix(c, &t->matrix) || !c.U32(&width) ||
        !c.U32(&height)) {
      return Malformed("too short", atom.type, atom.offsetBytes);
    }
    t->volume = static_cast<int16_t>(volume);
    t->width = static_cast<Fixed>(width);
    t->height = static_cast<Fixed>(height);
    return true;
  }

  bool ClipRegion(const Child& atom, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint16_t size = 0, top = 0, left = 0, bottom = 0, right = 0;
    if (!c.U16(&size) || !c.U16(&top) || !c.U16(&left) || !c.U16(&bottom) || !c.U16(&right))
      return Malformed("too short", atom.type, atom.offsetBytes);
    t->clipRect = Rect{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
                       static_cast<int16_t>(right)};
    return true;
  }

  bool EditList(const Child& atom, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint8_t version = 0;
    uint32_t flags = 0, count = 0;
    if (!FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(&count)) return Malformed("too short", atom.type, atom.offsetBytes);
    const size_t entrySize = version == 1 ? 20 : 12;
    if (count > c.remaining() / entrySize)
      return Malformed("more edits than the atom holds", atom.type, atom.offsetBytes);
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

  bool MediaAtom(const Child& mdia, int depth, TrackInfo* t) {
    bool sawHeader = false, sawTables = false;
    const bool ok = ForEachChild(
        mdia.payload, mdia.payloadSizeBytes, mdia.payloadOffsetBytes, depth, mdia.type,
        [&](const Child& child) {
          switch (child.type) {
            case FourCC("mdhd"):
              sawHeader = true;
              return MediaHeader(child, t);
            case FourCC("hdlr"):
              return Handler(child, &t->mediaHandlerType, &t->mediaType);
            case FourCC("minf"):
              return ForEachChild(
                  child.payload, child.payloadSizeBytes, child.payloadOffsetBytes, depth + 1, child.type,
                  [&](const Child& info) { return MediaInfo(info, depth + 2, t, &sawTables); });
            default:
              return true;
          }
        });
    if (!ok) return false;
    if (!sawHeader) return Malformed("no media header ('mdhd')", mdia.type, mdia.offsetBytes);
    if (!sawTables) return Malformed("no sample table ('stbl')", mdia.type, mdia.offsetBytes);
    return true;
  }

  bool MediaHeader(const Child& atom, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint8_t version = 0;
    uint32_t flags = 0, timeScale = 0;
    uint64_t creation = 0, modification = 0;
    if (!FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.Versioned(version, &creation) || !c.Versioned(version, &modification) || !c.U32(&timeScale) ||
        !c.Versioned(version, &t->mediaDurationTicks)) {
      return Malformed("too short", atom.type, atom.offsetBytes);
    }
    if (timeScale == 0 || timeScale > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
      return Malformed("time scale out of range", atom.type, atom.offsetBytes);
    t->mediaTimeScale = static_cast<int32_t>(timeScale);
    return true;
  }

  bool Handler(const Child& atom, OSType* componentType, OSType* componentSubType) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint8_t version = 0;
    uint32_t flags = 0;
    if (!FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(componentType) || !c.U32(componentSubType))
      return Malformed("too short", atom.type, atom.offsetBytes);
    return true;
  }

  bool MediaInfo(const Child& child, int depth, TrackInfo* t, bool* sawTables) {
    switch (child.type) {
      case FourCC("hdlr"):
        return Handler(child, &t->dataHandlerType, &t->dataHandlerSubType);
      case FourCC("dinf"):
        return ForEachChild(
            child.payload, child.payloadSizeBytes, child.payloadOffsetBytes, depth, child.type,
            [&](const Child& ref) { return ref.type != FourCC("dref") || DataRefs(ref, depth + 1, t); });
      case FourCC("stbl"):
        if (*sawTables) return Malformed("a second sample table", child.type, child.offsetBytes);
        *sawTables = true;
        return SampleTable(child, depth, t);
      default:
        return true;
    }
  }

  bool DataRefs(const Child& atom, int depth, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint8_t version = 0;
    uint32_t flags = 0, count = 0;
    if (!FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(&count)) return Malformed("too short", atom.type, atom.offsetBytes);
    t->dataRefs.clear();
    const bool ok =
        ForEachChild(c.here(), c.remaining(), atom.payloadOffsetBytes + c.position(), depth, atom.type,
                     [&](const Child& entry) {
                       Cursor e(entry.payload, entry.payloadSizeBytes);
                       DataRefInfo info;
                       info.type = entry.type;
                       uint32_t word = 0;
                       if (!e.U32(&word))
                         return Malformed("data reference entry too short", entry.type, entry.offsetBytes);
                       info.flags = word & 0xFFFFFF;
                       info.sizeBytes = static_cast<uint32_t>(entry.payloadSizeBytes + 8);
                       std::string path;
                       if (e.remaining() > 0 && ReadAliasRecordPath(e.here(), e.remaining(), &path))
                         info.aliasPath = path;
                       t->dataRefs.push_back(std::move(info));
                       return true;
                     });
    if (!ok) return false;
    if (t->dataRefs.size() != count) {
      return Fail(badPublicMovieAtom, "'dref' atom at offset %llu says it holds %u entries but holds %zu",
                  static_cast<unsigned long long>(atom.offsetBytes), count, t->dataRefs.size());
    }
    return true;
  }

  bool SampleTable(const Child& stbl, int depth, TrackInfo* t) {
    bool sawStsd = false, sawStts = false, sawStsc = false, sawStsz = false;
    const bool ok = ForEachChild(stbl.payload, stbl.payloadSizeBytes, stbl.payloadOffsetBytes, depth,
                                 stbl.type, [&](const Child& child) {
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
    if (missing != nullptr) return Malformed(missing, stbl.type, stbl.offsetBytes);
    return true;
  }

  // Reads a full atom's version, flags and entry count, and checks that
  // `count` entries of `entrySize` bytes fit in what is left.
  bool TableHeader(Cursor& c, const Child& atom, size_t entrySize, uint32_t* count) {
    uint8_t version = 0;
    uint32_t flags = 0;
    if (!FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(count)) return Malformed("too short", atom.type, atom.offsetBytes);
    if (*count > c.remaining() / entrySize) {
      return Fail(badPublicMovieAtom, "%s atom at offset %llu says it holds %u entries but has room for %zu",
                  TypeName(atom.type).c_str(), static_cast<unsigned long long>(atom.offsetBytes), *count,
                  c.remaining() / entrySize);
    }
    return true;
  }

  bool SampleDescriptions(const Child& atom, int depth, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint32_t count = 0;
    if (!TableHeader(c, atom, 8, &count)) return false;
    t->sampleDescriptions.clear();
    const bool ok = ForEachChild(
        c.here(), c.remaining(), atom.payloadOffsetBytes + c.position(), depth, atom.type,
        [&](const Child& entry) {
          SampleDescriptionInfo info;
          // The entry goes whole to the description parser, header included.
          const size_t headerSize = static_cast<size_t>(entry.payloadOffsetBytes - entry.offsetBytes);
          const uint8_t* start = entry.payload - headerSize;
          const size_t size = entry.payloadSizeBytes + headerSize;
          if (t->mediaType == FourCC("vide")) {
            if (ParseImageDescription(start, size, &info.description) != noErr)
              return Malformed("video sample description too short", entry.type, entry.offsetBytes);
            ColorTags tags;
            if (FindColorTags(info.description, &tags)) info.colorTags = tags;
            ListExtensions(info.description, entry.offsetBytes, depth + 1);
          } else {
            info.description.cType = entry.type;
            info.description.idSize = static_cast<int32_t>(size);
          }
          t->sampleDescriptions.push_back(std::move(info));
          return true;
        });
    if (!ok) return false;
    if (t->sampleDescriptions.size() != count) {
      return Fail(badPublicMovieAtom,
                  "'stsd' atom at offset %llu says it holds %u descriptions but holds %zu",
                  static_cast<unsigned long long>(atom.offsetBytes), count, t->sampleDescriptions.size());
    }
    return true;
  }

  // Lists a description's extension atoms among the atoms, as far as they
  // are well formed (a damaged extension does not make the movie unplayable).
  void ListExtensions(const ImageDescription& d, uint64_t entryOffset, int depth) {
    const std::vector<uint8_t>& ext = d.extensions;
    size_t pos = 0;
    while (ext.size() - pos >= 8) {
      const uint32_t size = LoadBE32(ext.data() + pos);
      if (size < 8 || size > ext.size() - pos) return;
      out_->atoms.push_back(
          {entryOffset + kImageDescriptionBaseSizeBytes + pos, LoadBE32(ext.data() + pos + 4), size, depth});
      pos += size;
    }
  }

  bool TimeToSample(const Child& atom, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint32_t count = 0;
    if (!TableHeader(c, atom, 8, &count)) return false;
    t->timeToSample.resize(count);
    for (TimeToSampleEntry& e : t->timeToSample) {
      c.U32(&e.count);
      c.U32(&e.durationTicks);
    }
    return true;
  }

  bool SyncSamples(const Child& atom, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint32_t count = 0;
    if (!TableHeader(c, atom, 4, &count)) return false;
    t->syncSamples.emplace(count);
    for (uint32_t& n : *t->syncSamples) c.U32(&n);
    return true;
  }

  bool SampleToChunk(const Child& atom, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
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

  bool SampleSizes(const Child& atom, TrackInfo* t) {
    Cursor c(atom.payload, atom.payloadSizeBytes);
    uint8_t version = 0;
    uint32_t flags = 0;
    if (!FullAtomHeader(c, atom, &version, &flags)) return false;
    if (!c.U32(&t->uniformSampleSizeBytes) || !c.U32(&t->sampleCount))
      return Malformed("too short", atom.type, atom.offsetBytes);
    if (t->uniformSampleSizeBytes != 0) return true;
    if (t->sampleCount > c.remaining() / 4) {
      return Fail(badPublicMovieAtom, "'stsz' atom at offset %llu lists %u sizes but has room for %zu",
                  static_cast<unsigned long long>(atom.offsetBytes), t->sampleCount, c.remaining() / 4);
    }
    t->sampleSizes.resize(t->sampleCount);
    for (uint32_t& s : t->sampleSizes) c.U32(&s);
    return true;
  }

  bool ChunkOffsets(const Child& atom, TrackInfo* t) {
    if (t->chunkOffsetType != 0) return Malformed("a second chunk offset table", atom.type, atom.offsetBytes);
    const bool wide = atom.type == FourCC("co64");
    Cursor c(atom.payload, atom.payloadSizeBytes);
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
        return Fail(
            eofErr,
            "the file is truncated: chunk %llu of track %u runs past the end of the file (%llu bytes)",
            static_cast<unsigned long long>(chunk), trackNumber,
            static_cast<unsigned long long>(*fileSizeBytes));
      }
      return Fail(badPublicMovieAtom, "track %u: chunk %llu lies beyond any file", trackNumber,
                  static_cast<unsigned long long>(chunk));
    }
    // Samples of a movie that refers to its own file lie in its media data.
    if (fileSizeBytes && !mediaData_.empty() && !t->dataRefs.empty() &&
        (t->dataRefs[0].flags & kDataRefSelfFlag) != 0) {
      bool inside = false;
      for (const auto& [from, to] : mediaData_) inside = inside || (start >= from && end <= to);
      if (!inside) {
        return Fail(badPublicMovieAtom,
                    "track %u: chunk %llu (bytes %llu to %llu) lies outside the media data", trackNumber,
                    static_cast<unsigned long long>(chunk), static_cast<unsigned long long>(start),
                    static_cast<unsigned long long>(end));
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
      return Fail(badPublicMovieAtom,
                  "track %u: the time-to-sample table covers %llu samples but there are %u", trackNumber,
                  static_cast<unsigned long long>(timedSamples), t.sampleCount);
    }
    if (t.syncSamples) {
      for (uint32_t n : *t.syncSamples)
        if (n == 0 || n > t.sampleCount)
          return Fail(badPublicMovieAtom, "track %u: sync sample %u does not exist", trackNumber, n);
    }

    const uint64_t chunkCount = t.chunkOffsets.size();
    uint64_t sample = 0;  // samples placed so far
    for (size_t i = 0; i < t.sampleToChunk.size(); ++i) {
      const SampleToChunkEntry& e = t.sampleToChunk[i];
      const uint64_t nextFirst =
          i + 1 < t.sampleToChunk.size() ? t.sampleToChunk[i + 1].firstChunk : chunkCount + 1;
      if (e.firstChunk == 0 || e.firstChunk >= nextFirst || nextFirst > chunkCount + 1) {
        return Fail(badPublicMovieAtom, "track %u: sample-to-chunk entry %zu names chunks that do not exist",
                    trackNumber, i + 1);
      }
      if (e.samplesPerChunk == 0 || e.descriptionIndex == 0 ||
          e.descriptionIndex > t.sampleDescriptions.size()) {
        return Fail(badPublicMovieAtom, "track %u: sample-to-chunk entry %zu is invalid", trackNumber, i + 1);
      }
      for (uint64_t chunk = e.firstChunk; chunk < nextFirst; ++chunk) {
        if (sample + e.samplesPerChunk > t.sampleCount) {
          return Fail(badPublicMovieAtom, "track %u: its chunks hold more samples than the %u it has",
                      trackNumber, t.sampleCount);
        }
        if (!Chunk(&t, trackNumber, chunk, e.samplesPerChunk, &sample, fileSizeBytes)) return false;
      }
    }
    if (sample != t.sampleCount) {
      return Fail(badPublicMovieAtom, "track %u: its chunks hold %llu samples but there are %u", trackNumber,
                  static_cast<unsigned long long>(sample), t.sampleCount);
    }
    return true;
  }

  void AddMediaData(uint64_t fromOffset, uint64_t toOffset) { mediaData_.emplace_back(fromOffset, toOffset); }

 private:
  std::vector<std::pair<uint64_t, uint64_t>> mediaData_;  // payloads of the 'mdat' atoms
  MovieFileInfo* out_;
  std::string* problem_;
  OSErr code_ = noErr;
};

OSErr ReadMovie(const ByteSource& source, bool checkSamplesInFile, MovieFileInfo* out,
                std::string* outProblem) {
  if (out == nullptr) return paramErr;
  *out = MovieFileInfo();
  Parser parser(out, outProblem);
  const uint64_t fileSize = source.SizeBytes();
  out->fileSizeBytes = fileSize;
  std::vector<uint8_t> movieAtom;
  AtomInfo movieInfo;
  bool sawMovie = false;

  uint64_t offset = 0;
  while (offset < fileSize) {
    const uint64_t left = fileSize - offset;
    uint8_t header[16];
    if (left < 8) {
      parser.Fail(eofErr, "the file is truncated: it ends inside an atom header at offset %llu",
                  static_cast<unsigned long long>(offset));
      break;
    }
    if (OSErr err = source.ReadAt(offset, header, 8); err != noErr) {
      parser.Fail(err, "cannot read the file at offset %llu (error %d)",
                  static_cast<unsigned long long>(offset), err);
      break;
    }
    uint64_t size = LoadBE32(header);
    const OSType type = LoadBE32(header + 4);
    uint64_t headerSize = 8;
    if (size == 1) {
      if (left < 16) {
        parser.Fail(eofErr, "the file is truncated: it ends inside the header of the %s atom at offset %llu",
                    TypeName(type).c_str(), static_cast<unsigned long long>(offset));
        break;
      }
      if (OSErr err = source.ReadAt(offset + 8, header + 8, 8); err != noErr) {
        parser.Fail(err, "cannot read the file at offset %llu (error %d)",
                    static_cast<unsigned long long>(offset), err);
        break;
      }
      size = LoadBE64(header + 8);
      headerSize = 16;
    } else if (size == 0) {
      size = left;  // runs to the end of the file
    }
    if (size < headerSize) {
      parser.Malformed("size smaller than its header", type, offset);
      break;
    }
    if (size > left) {
      parser.Fail(eofErr,
                  "the file is truncated: the %s atom at offset %llu needs %llu bytes but only %llu remain",
                  TypeName(type).c_str(), static_cast<unsigned long long>(offset),
                  static_cast<unsigned long long>(size), static_cast<unsigned long long>(left));
      break;
    }
    out->atoms.push_back({offset, type, size, 0});
    if (type == FourCC("mdat")) parser.AddMediaData(offset + headerSize, offset + size);
    if (type == FourCC("mdat") && !out->hasMediaData) {
      out->hasMediaData = true;
      out->mediaDataOffsetBytes = offset + headerSize;
      out->mediaDataSizeBytes = size - headerSize;
    }
    if (type == FourCC("moov")) {
      if (sawMovie) {
        parser.Malformed("a second movie atom", type, offset);
        break;
      }
      if (size > kMaxMovieAtomSizeBytes) {
        parser.Malformed("movie atom too large to be genuine", type, offset);
        break;
      }
      sawMovie = true;
      movieInfo = out->atoms.back();
      movieAtom.resize(static_cast<size_t>(size));
      if (OSErr err = source.ReadAt(offset, movieAtom.data(), movieAtom.size()); err != noErr) {
        parser.Fail(err, "cannot read the movie atom (error %d)", err);
        break;
      }
      const size_t header = static_cast<size_t>(headerSize);
      const Child moov{type, movieAtom.data() + header, movieAtom.size() - header, offset, offset + header};
      if (!parser.Movie(moov, 1)) break;
    }
    offset += size;
  }
  if (parser.code() == noErr && !sawMovie) parser.Fail(badPublicMovieAtom, "no movie atom ('moov') found");
  if (parser.code() == noErr) {
    for (size_t i = 0; i < out->tracks.size(); ++i) {
      if (!parser.Samples(i, checkSamplesInFile ? std::optional<uint64_t>(fileSize) : std::nullopt)) break;
    }
  }
  return parser.code();
}

}  // namespace

OSErr MemoryByteSource::ReadAt(uint64_t offsetBytes, void* data, size_t sizeBytes) const {
  if (offsetBytes > sizeBytes_ || sizeBytes > sizeBytes_ - offsetBytes) return eofErr;
  if (sizeBytes > 0) std::memcpy(data, data_ + offsetBytes, sizeBytes);
  return noErr;
}

OSErr FileByteSource::ReadAt(uint64_t offsetBytes, void* data, size_t sizeBytes) const {
  return ReadAtOffset(fd_, offsetBytes, data, sizeBytes);
}

OSErr ReadMovieFile(const ByteSource& source, MovieFileInfo* out, std::string* outProblem) {
  return ReadMovie(source, true, out, outProblem);
}

OSErr ReadMovieAtom(const uint8_t* data, size_t sizeBytes, MovieFileInfo* out, std::string* outProblem) {
  if (data == nullptr) return paramErr;
  MemoryByteSource source(data, sizeBytes);
  return ReadMovie(source, false, out, outProblem);
}
