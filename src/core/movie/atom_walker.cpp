// Walking atoms from outside: every header is parsed and checked here.
#include "core/movie/atom_walker.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/movie/movie.h"
#include "core/platform/files.h"
#include "core/util/types.h"

namespace fw {

namespace {

enum class HeaderFault { kNone, kSizeCutShort, kSmallerThanHeader, kBeyondParent };

struct AtomHeader {
  OSType type = 0;
  uint64_t sizeBytes = 0;  // header included
  uint64_t headerSizeBytes = 8;
};

// Parses the header of an atom whose first `availableBytes` bytes (8, or 16
// when a 64-bit size can follow) are at `bytes`; `leftBytes` is what its
// parent, or the file, has left from the atom's first byte on.
HeaderFault ParseAtomHeader(const uint8_t* bytes, size_t availableBytes, uint64_t leftBytes,
                            AtomHeader* out) {
  out->sizeBytes = LoadBE32(bytes);
  out->type = LoadBE32(bytes + 4);
  out->headerSizeBytes = 8;
  if (out->sizeBytes == 1) {
    if (availableBytes < 16) return HeaderFault::kSizeCutShort;
    out->sizeBytes = LoadBE64(bytes + 8);
    out->headerSizeBytes = 16;
  } else if (out->sizeBytes == 0) {
    out->sizeBytes = leftBytes;  // runs to the end of its parent
  }
  if (out->sizeBytes < out->headerSizeBytes) return HeaderFault::kSmallerThanHeader;
  if (out->sizeBytes > leftBytes) return HeaderFault::kBeyondParent;
  return HeaderFault::kNone;
}

WalkedAtom Walked(const AtomHeader& h, uint64_t offsetBytes, const uint8_t* payload) {
  WalkedAtom atom;
  atom.type = h.type;
  atom.offsetBytes = offsetBytes;
  atom.sizeBytes = h.sizeBytes;
  atom.payloadOffsetBytes = offsetBytes + h.headerSizeBytes;
  atom.payloadSizeBytes = static_cast<size_t>(h.sizeBytes - h.headerSizeBytes);
  atom.payload = payload;
  return atom;
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

std::string QuotedTypeName(OSType type) {
  return "'" + FourCCToString(type) + "'";
}

bool ReadProblem::Fail(OSErr code, const char* format, ...) {
  if (code_ != noErr) return false;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  code_ = code;
  if (text_ != nullptr) *text_ = text;
  return false;
}

bool ReadProblem::Malformed(const char* what, OSType atom, uint64_t offsetBytes) {
  return Fail(badPublicMovieAtom, "%s atom at offset %llu: %s", QuotedTypeName(atom).c_str(),
              static_cast<unsigned long long>(offsetBytes), what);
}

AtomWalker::Step AtomWalker::NextInMemory(const Run& run, size_t* pos, WalkedAtom* out) {
  if (*pos >= run.sizeBytes) return Step::kEnd;
  const size_t left = run.sizeBytes - *pos;
  const uint8_t* bytes = run.data + *pos;
  const uint64_t offset = run.baseOffsetBytes + *pos;
  // QuickTime allows a 32-bit zero to end a list of atoms.
  if (left == 4 && LoadBE32(bytes) == 0) return Step::kEnd;
  if (left < 8) {
    problem_->Malformed("an atom header inside it is cut short", run.parentType, offset);
    return Step::kFailed;
  }
  AtomHeader h;
  switch (ParseAtomHeader(bytes, left < 16 ? left : 16, left, &h)) {
    case HeaderFault::kNone:
      break;
    case HeaderFault::kSizeCutShort:
      problem_->Malformed("a 64-bit atom size is cut short", h.type, offset);
      return Step::kFailed;
    case HeaderFault::kSmallerThanHeader:
      problem_->Malformed("size smaller than its header", h.type, offset);
      return Step::kFailed;
    case HeaderFault::kBeyondParent:
      problem_->Fail(
          badPublicMovieAtom, "%s atom at offset %llu claims %llu bytes but its parent %s has only %zu left",
          QuotedTypeName(h.type).c_str(), static_cast<unsigned long long>(offset),
          static_cast<unsigned long long>(h.sizeBytes), QuotedTypeName(run.parentType).c_str(), left);
      return Step::kFailed;
  }
  atoms_->push_back({offset, h.type, h.sizeBytes, run.depth});
  *out = Walked(h, offset, bytes + h.headerSizeBytes);
  *pos += static_cast<size_t>(h.sizeBytes);
  return Step::kAtom;
}

AtomWalker::Step AtomWalker::NextInFile(const ByteSource& source, uint64_t* offset, WalkedAtom* out) {
  const uint64_t fileSize = source.SizeBytes();
  if (*offset >= fileSize) return Step::kEnd;
  const uint64_t left = fileSize - *offset;
  const auto at = static_cast<unsigned long long>(*offset);
  if (left < 8) {
    problem_->Fail(eofErr, "the file is truncated: it ends inside an atom header at offset %llu", at);
    return Step::kFailed;
  }
  uint8_t header[16];
  size_t available = 8;
  if (OSErr err = source.ReadAt(*offset, header, 8); err != noErr) {
    problem_->Fail(err, "cannot read the file at offset %llu (error %d)", at, err);
    return Step::kFailed;
  }
  if (LoadBE32(header) == 1 && left >= 16) {
    if (OSErr err = source.ReadAt(*offset + 8, header + 8, 8); err != noErr) {
      problem_->Fail(err, "cannot read the file at offset %llu (error %d)", at, err);
      return Step::kFailed;
    }
    available = 16;
  }
  AtomHeader h;
  switch (ParseAtomHeader(header, available, left, &h)) {
    case HeaderFault::kNone:
      break;
    case HeaderFault::kSizeCutShort:
      problem_->Fail(eofErr, "the file is truncated: it ends inside the header of the %s atom at offset %llu",
                     QuotedTypeName(h.type).c_str(), at);
      return Step::kFailed;
    case HeaderFault::kSmallerThanHeader:
      problem_->Malformed("size smaller than its header", h.type, *offset);
      return Step::kFailed;
    case HeaderFault::kBeyondParent:
      problem_->Fail(
          eofErr, "the file is truncated: the %s atom at offset %llu needs %llu bytes but only %llu remain",
          QuotedTypeName(h.type).c_str(), at, static_cast<unsigned long long>(h.sizeBytes),
          static_cast<unsigned long long>(left));
      return Step::kFailed;
  }
  atoms_->push_back({*offset, h.type, h.sizeBytes, 0});
  *out = Walked(h, *offset, nullptr);
  *offset += h.sizeBytes;
  return Step::kAtom;
}

void AtomWalker::RecordWellFormedAtoms(const uint8_t* data, size_t sizeBytes, uint64_t baseOffsetBytes,
                                       int depth) {
  size_t pos = 0;
  while (sizeBytes - pos >= 8) {
    const uint32_t size = LoadBE32(data + pos);
    if (size < 8 || size > sizeBytes - pos) return;
    atoms_->push_back({baseOffsetBytes + pos, LoadBE32(data + pos + 4), size, depth});
    pos += size;
  }
}

bool AtomWalker::FullAtomHeader(PayloadCursor& c, const WalkedAtom& atom, uint8_t* version, uint32_t* flags) {
  uint32_t word = 0;
  if (!c.U32(&word))
    return problem_->Malformed("too short for its version and flags", atom.type, atom.offsetBytes);
  *version = static_cast<uint8_t>(word >> 24);
  *flags = word & 0xFFFFFF;
  if (*version > 1) return problem_->Malformed("unknown version", atom.type, atom.offsetBytes);
  return true;
}

}  // namespace fw
