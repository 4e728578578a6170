// JSON output of movie file structure. Four-character codes and names come
// from the file, so every string is escaped.
#include "core/movie/movie_json.h"

#include <cinttypes>
#include <cstdio>

namespace fw {

namespace {

class Json {
 public:
  std::string& text() { return text_; }

  void Open(char bracket) {
    Separator();
    text_ += bracket;
    first_ = true;
  }
  void Close(char bracket) {
    text_ += bracket;
    first_ = false;
  }
  void Key(const char* key) {
    Separator();
    String(key);
    text_ += ':';
    afterKey_ = true;
  }
  void Str(const std::string& value) {
    Separator();
    String(value);
  }
  void Int(int64_t v) {
    Separator();
    char b[32];
    std::snprintf(b, sizeof b, "%" PRId64, v);
    text_ += b;
  }
  void UInt(uint64_t v) {
    Separator();
    char b[32];
    std::snprintf(b, sizeof b, "%" PRIu64, v);
    text_ += b;
  }
  void Number(double v) {
    Separator();
    char b[40];
    std::snprintf(b, sizeof b, "%.6g", v);
    text_ += b;
  }
  void Bool(bool v) {
    Separator();
    text_ += v ? "true" : "false";
  }

 private:
  void Separator() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (!first_) text_ += ',';
    first_ = false;
  }
  void String(const std::string& s) {
    text_ += '"';
    for (unsigned char c : s) {
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += static_cast<char>(c);
      } else if (c < 0x20 || c >= 0x7F) {
        // Names in files are Mac Roman or UTF-8 or anything; escape bytes
        // outside ASCII one by one so the output is always valid JSON.
        char b[8];
        std::snprintf(b, sizeof b, "\\u%04x", c);
        text_ += b;
      } else {
        text_ += static_cast<char>(c);
      }
    }
    text_ += '"';
  }

  std::string text_;
  bool first_ = true;
  bool afterKey_ = false;
};

std::string Code(OSType type) {
  return FourCCToString(type);
}

void Matrix(Json& j, const MatrixRecord& m) {
  j.Open('[');
  for (const auto& row : m.matrix)
    for (int32_t v : row) j.Int(v);
  j.Close(']');
}

void TrackJson(Json& j, const TrackInfo& t) {
  j.Open('{');
  j.Key("trackId"), j.UInt(t.trackID);
  j.Key("flags"), j.UInt(t.flags);
  j.Key("duration"), j.UInt(t.durationTicks);
  j.Key("width"), j.Number(t.width / 65536.0);
  j.Key("height"), j.Number(t.height / 65536.0);
  j.Key("volume"), j.Int(t.volume);
  j.Key("matrix"), Matrix(j, t.matrix);
  if (t.clipRect) {
    j.Key("clip"), j.Open('{');
    j.Key("top"), j.Int(t.clipRect->top);
    j.Key("left"), j.Int(t.clipRect->left);
    j.Key("bottom"), j.Int(t.clipRect->bottom);
    j.Key("right"), j.Int(t.clipRect->right);
    j.Close('}');
  }
  j.Key("edits"), j.Open('[');
  for (const EditSegment& e : t.edits) {
    j.Open('{');
    j.Key("duration"), j.UInt(e.durationTicks);
    j.Key("mediaTime"), j.Int(e.mediaTime);
    j.Key("rate"), j.Int(e.rate);
    j.Close('}');
  }
  j.Close(']');
  j.Key("mediaHandler"), j.Str(Code(t.mediaHandlerType));
  j.Key("mediaType"), j.Str(Code(t.mediaType));
  j.Key("dataHandler"), j.Str(Code(t.dataHandlerType));
  j.Key("dataHandlerSubType"), j.Str(Code(t.dataHandlerSubType));
  j.Key("mediaTimeScale"), j.Int(t.mediaTimeScale);
  j.Key("mediaDuration"), j.UInt(t.mediaDurationTicks);
  j.Key("dataReferences"), j.Open('[');
  for (const DataRefInfo& d : t.dataRefs) {
    j.Open('{');
    j.Key("type"), j.Str(Code(d.type));
    j.Key("flags"), j.UInt(d.flags);
    j.Key("size"), j.UInt(d.sizeBytes);
    if (d.aliasPath) j.Key("path"), j.Str(*d.aliasPath);
    j.Close('}');
  }
  j.Close(']');
  j.Key("sampleDescriptions"), j.Open('[');
  for (const SampleDescriptionInfo& s : t.sampleDescriptions) {
    const ImageDescription& d = s.description;
    j.Open('{');
    j.Key("codec"), j.Str(Code(d.cType));
    j.Key("size"), j.Int(d.idSize);
    j.Key("dataRefIndex"), j.Int(d.dataRefIndex);
    j.Key("width"), j.Int(d.width);
    j.Key("height"), j.Int(d.height);
    j.Key("depth"), j.Int(d.depth);
    j.Key("dataSize"), j.Int(d.dataSize);
    j.Key("hRes"), j.Number(d.hRes / 65536.0);
    j.Key("vRes"), j.Number(d.vRes / 65536.0);
    j.Key("colorTableId"), j.Int(d.clutID);
    j.Key("name"), j.Str(std::string(reinterpret_cast<const char*>(d.name + 1), d.name[0]));
    if (s.colorTags) {
      j.Key("colr"), j.Open('{');
      j.Key("primaries"), j.UInt(s.colorTags->primaries);
      j.Key("transfer"), j.UInt(s.colorTags->transfer);
      j.Key("matrix"), j.UInt(s.colorTags->matrix);
      j.Close('}');
    }
    j.Close('}');
  }
  j.Close(']');
  j.Key("sampleCount"), j.UInt(t.sampleCount);
  j.Key("sampleSize"), j.UInt(t.uniformSampleSizeBytes);
  j.Key("timeToSample"), j.Open('[');
  for (const TimeToSampleEntry& e : t.timeToSample) {
    j.Open('{');
    j.Key("count"), j.UInt(e.count);
    j.Key("duration"), j.UInt(e.durationTicks);
    j.Close('}');
  }
  j.Close(']');
  j.Key("sampleToChunk"), j.Open('[');
  for (const SampleToChunkEntry& e : t.sampleToChunk) {
    j.Open('{');
    j.Key("firstChunk"), j.UInt(e.firstChunk);
    j.Key("samplesPerChunk"), j.UInt(e.samplesPerChunk);
    j.Key("descriptionIndex"), j.UInt(e.descriptionIndex);
    j.Close('}');
  }
  j.Close(']');
  if (t.syncSamples) {
    j.Key("syncSampleCount"), j.UInt(t.syncSamples->size());
  }
  j.Key("chunkOffsetAtom"), j.Str(Code(t.chunkOffsetType));
  j.Key("chunkOffsets"), j.Open('[');
  for (uint64_t o : t.chunkOffsets) j.UInt(o);
  j.Close(']');
  j.Key("firstSampleOffset"), j.UInt(t.firstSampleOffsetBytes);
  j.Key("lastSampleOffset"), j.UInt(t.lastSampleOffsetBytes);
  j.Key("lastSampleSize"), j.UInt(t.lastSampleSizeBytes);
  j.Key("sampleDurationTotal"), j.UInt(t.sampleDurationTotalTicks);
  j.Close('}');
}

}  // namespace

std::string MovieFileInfoToJson(const MovieFileInfo& info, const std::string& fileName) {
  Json j;
  j.Open('{');
  j.Key("file"), j.Str(fileName);
  j.Key("fileSize"), j.UInt(info.fileSizeBytes);
  j.Key("atoms"), j.Open('[');
  for (const AtomInfo& a : info.atoms) {
    j.Open('{');
    j.Key("offset"), j.UInt(a.offsetBytes);
    j.Key("type"), j.Str(Code(a.type));
    j.Key("size"), j.UInt(a.sizeBytes);
    j.Key("depth"), j.Int(a.depth);
    j.Close('}');
  }
  j.Close(']');
  if (info.hasMediaData) {
    j.Key("mediaData"), j.Open('{');
    j.Key("offset"), j.UInt(info.mediaDataOffsetBytes);
    j.Key("size"), j.UInt(info.mediaDataSizeBytes);
    j.Close('}');
  }
  j.Key("movie"), j.Open('{');
  j.Key("timeScale"), j.Int(info.timeScale);
  j.Key("duration"), j.UInt(info.durationTicks);
  j.Key("preferredRate"), j.Int(info.preferredRate);
  j.Key("matrix"), Matrix(j, info.matrix);
  j.Key("nextTrackId"), j.UInt(info.nextTrackID);
  j.Close('}');
  j.Key("tracks"), j.Open('[');
  for (const TrackInfo& t : info.tracks) TrackJson(j, t);
  j.Close(']');
  j.Close('}');
  j.text() += '\n';
  return j.text();
}

}  // namespace fw
