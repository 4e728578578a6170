// The 16-byte header at the start of every capture file: the media data atom
// that encloses the frames. Frames always start at offset 16, whichever of its
// two forms the file needs.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kMdatHeaderSizeBytes = 16;

// Fills 16 bytes for a file of size S = sizeHigh:sizeLow bytes (header plus
// all frame bytes). Below 4 GiB (sizeHigh <= 0): an 8-byte 'wide' atom, then a
// 32-bit 'mdat' of S - 8 bytes. From 4 GiB on: one 'mdat' with a 64-bit size S.
void CreateMdatHeader(uint32_t sizeLow, int32_t sizeHigh, void* outHeader);
