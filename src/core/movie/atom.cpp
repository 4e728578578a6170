// Atom writing and the written-versus-declared size check.
#include "core/movie/atom.h"

#include <cassert>

#include "core/util/byte_order.h"

namespace fw {

void AtomWriter::U16(uint16_t v) {
  uint8_t b[2];
  StoreBE16(b, v);
  Bytes(b, 2);
}

void AtomWriter::U32(uint32_t v) {
  uint8_t b[4];
  StoreBE32(b, v);
  Bytes(b, 4);
}

void AtomWriter::U64(uint64_t v) {
  uint8_t b[8];
  StoreBE64(b, v);
  Bytes(b, 8);
}

void Atom::Write(AtomWriter& out) const {
  const size_t start = out.PositionBytes();
  const uint64_t declared = SizeBytes();
  out.U32(static_cast<uint32_t>(declared));
  out.Type(type_);
  WritePayload(out);
  const uint64_t written = out.PositionBytes() - start;
  assert(written == declared && "an atom wrote a different size than it declared");
  if (written != declared) out.NoteSizeMismatch();
}

void FullAtom::WritePayload(AtomWriter& out) const {
  out.U32((static_cast<uint32_t>(version_) << 24) | (flags_ & 0xFFFFFF));
  WriteFields(out);
}

Atom* ContainerAtom::AddChild(std::unique_ptr<Atom> child) {
  children_.push_back(std::move(child));
  return children_.back().get();
}

uint64_t ContainerAtom::PayloadSizeBytes() const {
  uint64_t total = 0;
  for (const auto& child : children_) total += child->SizeBytes();
  return total;
}

void ContainerAtom::WritePayload(AtomWriter& out) const {
  for (const auto& child : children_) child->Write(out);
}

}  // namespace fw
