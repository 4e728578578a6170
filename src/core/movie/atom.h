// The building blocks of a movie atom written in the QuickTime file format.
// Every atom knows its own size before it is written and writes its header
// and fields itself; containers add up their children. Writing checks that
// each atom produced exactly the bytes it declared, so a size field in the
// file can never disagree with what follows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/util/types.h"

namespace fw {

constexpr uint64_t kAtomHeaderSizeBytes = 8;

// A growable big-endian byte sink.
class AtomWriter {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void Type(OSType type) { U32(type); }
  void Zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  void Bytes(const uint8_t* data, size_t count) { bytes_.insert(bytes_.end(), data, data + count); }
  void Bytes(const std::vector<uint8_t>& data) { Bytes(data.data(), data.size()); }

  size_t PositionBytes() const { return bytes_.size(); }
  // Set when an atom wrote a different number of bytes than it declared.
  bool sizeMismatch() const { return sizeMismatch_; }
  void NoteSizeMismatch() { sizeMismatch_ = true; }

  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  bool sizeMismatch_ = false;
};

class Atom {
 public:
  explicit Atom(OSType type) : type_(type) {}
  virtual ~Atom() = default;
  Atom(const Atom&) = delete;
  Atom& operator=(const Atom&) = delete;

  OSType type() const { return type_; }
  uint64_t SizeBytes() const { return kAtomHeaderSizeBytes + PayloadSizeBytes(); }

  // Header and payload. Movie atoms stay far below 4 GiB; the caller checks
  // the total before writing.
  void Write(AtomWriter& out) const;

 protected:
  virtual uint64_t PayloadSizeBytes() const = 0;
  virtual void WritePayload(AtomWriter& out) const = 0;

 private:
  OSType type_;
};

// An atom whose payload starts with a version byte and 24 bits of flags.
class FullAtom : public Atom {
 public:
  FullAtom(OSType type, uint8_t version, uint32_t flags) : Atom(type), version_(version), flags_(flags) {}
  uint8_t version() const { return version_; }

 protected:
  uint64_t PayloadSizeBytes() const final { return 4 + FieldsSizeBytes(); }
  void WritePayload(AtomWriter& out) const final;
  virtual uint64_t FieldsSizeBytes() const = 0;
  virtual void WriteFields(AtomWriter& out) const = 0;

 private:
  uint8_t version_;
  uint32_t flags_;
};

// An atom made of other atoms, in the order they were added.
class ContainerAtom : public Atom {
 public:
  explicit ContainerAtom(OSType type) : Atom(type) {}
  // Returns the child, still owned by this container, for further filling.
  Atom* AddChild(std::unique_ptr<Atom> child);

 protected:
  uint64_t PayloadSizeBytes() const override;
  void WritePayload(AtomWriter& out) const override;

 private:
  std::vector<std::unique_ptr<Atom>> children_;
};

}  // namespace fw
