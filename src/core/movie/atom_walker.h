// Walks the atoms of files that come from outside: the top-level atoms of a
// file, and the atoms inside a payload held in memory. Every atom header is
// parsed here, in one place (32- and 64-bit sizes, a size of 0 running to
// the end of the parent, the 32-bit zero that may end a list inside an
// atom), checked against the bytes its parent has left and against the
// nesting depth, and recorded in the list of atoms found. Readers of their
// own tables (the movie reader, and any other reader of outside bytes) sit
// on top of it and never parse a header themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/os_errors.h"
#include "core/util/byte_order.h"
#include "core/util/types.h"

namespace fw {

// Random access to the bytes of a file, or of a buffer standing for one.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t SizeBytes() const = 0;
  // Reads exactly `sizeBytes` at `offsetBytes`; a short read is eofErr.
  [[nodiscard]] virtual OSErr ReadAt(uint64_t offsetBytes, void* data, size_t sizeBytes) const = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* data, size_t sizeBytes) : data_(data), sizeBytes_(sizeBytes) {}
  uint64_t SizeBytes() const override { return sizeBytes_; }
  [[nodiscard]] OSErr ReadAt(uint64_t offsetBytes, void* data, size_t sizeBytes) const override;

 private:
  const uint8_t* data_;
  size_t sizeBytes_;
};

// Borrows an open file descriptor.
class FileByteSource final : public ByteSource {
 public:
  FileByteSource(int fd, uint64_t sizeBytes) : fd_(fd), sizeBytes_(sizeBytes) {}
  uint64_t SizeBytes() const override { return sizeBytes_; }
  [[nodiscard]] OSErr ReadAt(uint64_t offsetBytes, void* data, size_t sizeBytes) const override;

 private:
  int fd_;
  uint64_t sizeBytes_;
};

struct AtomInfo {
  uint64_t offsetBytes = 0;
  OSType type = 0;
  uint64_t sizeBytes = 0;
  int depth = 0;  // 0 for top-level atoms
};

// Deeper nesting than any real file has is taken for damage (or a file
// made to exhaust the stack).
constexpr int kMaxAtomDepth = 16;

// "'moov'": a type as the problem texts quote it.
std::string QuotedTypeName(OSType type);

// The first problem met while reading: its code, and a sentence fit for a
// user in `*text` (when given). Later problems do not overwrite it.
class ReadProblem {
 public:
  explicit ReadProblem(std::string* text) : text_(text) {}
  OSErr code() const { return code_; }
  // Both return false, so that a reader can `return problem.Fail(...)`.
  bool Fail(OSErr code, const char* format, ...) __attribute__((format(printf, 3, 4)));
  bool Malformed(const char* what, OSType atom, uint64_t offsetBytes);

 private:
  std::string* text_;
  OSErr code_ = noErr;
};

// One atom found by the walker.
struct WalkedAtom {
  OSType type = 0;
  uint64_t offsetBytes = 0;         // of the atom's first byte
  uint64_t sizeBytes = 0;           // header included
  uint64_t payloadOffsetBytes = 0;  // of the payload's first byte
  size_t payloadSizeBytes = 0;
  // The payload, for atoms walked in memory; null for top-level atoms of a
  // file, whose payload the reader fetches itself if it wants it.
  const uint8_t* payload = nullptr;

  size_t headerSizeBytes() const { return static_cast<size_t>(payloadOffsetBytes - offsetBytes); }
};

// Bounds-checked big-endian reads over one atom's payload.
class PayloadCursor {
 public:
  PayloadCursor(const uint8_t* data, size_t sizeBytes) : data_(data), size_(sizeBytes) {}
  explicit PayloadCursor(const WalkedAtom& atom) : PayloadCursor(atom.payload, atom.payloadSizeBytes) {}
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

// Walks atoms, records each in `*atoms` and reports the first fault to
// `*problem`. Every walk returns false once a problem is reported, by the
// walker or by the visitor (a visitor returns false to stop).
class AtomWalker {
 public:
  AtomWalker(std::vector<AtomInfo>* atoms, ReadProblem* problem) : atoms_(atoms), problem_(problem) {}

  // The atoms inside `parent`'s payload, recorded at `depth`.
  template <typename Visit>
  bool ForEachChild(const WalkedAtom& parent, int depth, Visit visit) {
    return ForEachAtomIn(parent.payload, parent.payloadSizeBytes, parent.payloadOffsetBytes, depth,
                         parent.type, visit);
  }

  // The atoms of a run of bytes inside an atom of type `parentType` (all of
  // its payload, or what follows a table's own fields), the first at file
  // offset `baseOffsetBytes`.
  template <typename Visit>
  bool ForEachAtomIn(const uint8_t* data, size_t sizeBytes, uint64_t baseOffsetBytes, int depth,
                     OSType parentType, Visit visit) {
    if (depth > kMaxAtomDepth)
      return problem_->Malformed("atoms nested too deeply", parentType, baseOffsetBytes);
    const Run run{data, sizeBytes, baseOffsetBytes, depth, parentType};
    size_t pos = 0;
    WalkedAtom atom;
    for (;;) {
      switch (NextInMemory(run, &pos, &atom)) {
        case Step::kAtom:
          if (!visit(static_cast<const WalkedAtom&>(atom))) return false;
          break;
        case Step::kEnd:
          return true;
        case Step::kFailed:
          return false;
      }
    }
  }

  // The top-level atoms of a file, recorded at depth 0. Their payloads are
  // not read; an atom that runs past the end of the file is a truncation
  // (eofErr).
  template <typename Visit>
  bool ForEachTopLevelAtom(const ByteSource& source, Visit visit) {
    uint64_t offset = 0;
    WalkedAtom atom;
    for (;;) {
      switch (NextInFile(source, &offset, &atom)) {
        case Step::kAtom:
          if (!visit(static_cast<const WalkedAtom&>(atom))) return false;
          break;
        case Step::kEnd:
          return true;
        case Step::kFailed:
          return false;
      }
    }
  }

  // Records the atoms of a run with plain 32-bit sizes as far as they are
  // well formed, and stops quietly at the first that is not: for parts of a
  // file whose damage does not make it unreadable (the extensions of a
  // sample description).
  void RecordWellFormedAtoms(const uint8_t* data, size_t sizeBytes, uint64_t baseOffsetBytes, int depth);

  // Reads a full atom's version and flags, refusing versions other than 0
  // and 1.
  bool FullAtomHeader(PayloadCursor& c, const WalkedAtom& atom, uint8_t* version, uint32_t* flags);

 private:
  enum class Step { kAtom, kEnd, kFailed };
  struct Run {
    const uint8_t* data;
    size_t sizeBytes;
    uint64_t baseOffsetBytes;
    int depth;
    OSType parentType;
  };
  Step NextInMemory(const Run& run, size_t* pos, WalkedAtom* out);
  Step NextInFile(const ByteSource& source, uint64_t* offset, WalkedAtom* out);

  std::vector<AtomInfo>* atoms_;
  ReadProblem* problem_;
};

}  // namespace fw
