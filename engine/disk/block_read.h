// One large read, and where it fails, the same sectors again in pieces: a
// bad sector then costs the reader its own piece, not the whole block.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "state.h"

// Reads count sectors from sector into buffer with read(sector, count, out),
// which says whether the read succeeded. When the one read of the block
// fails, the block is read again pieceSectors at a time (the last piece may
// be shorter); a piece that still cannot be read is zero-filled and, when bad
// is given, marked there (one flag per piece, 1 = not read; every flag 0 when
// the first read succeeds). Returns the number of pieces that could not be
// read: 0 when every sector of the block is in buffer.
template <typename Read>
uint32_t ReadBlockOrPieces(Read&& read, uint64_t sector, uint32_t count, uint32_t pieceSectors, uint8_t* buffer,
                           std::vector<uint8_t>* bad = nullptr) {
  if (pieceSectors == 0) pieceSectors = 1;
  const uint32_t pieces = count / pieceSectors + (count % pieceSectors ? 1 : 0);
  if (bad) bad->assign(pieces, 0);
  if (read(sector, count, buffer)) return 0;
  uint32_t failed = 0;
  for (uint32_t i = 0; i < pieces; ++i) {
    const uint32_t at = i * pieceSectors;
    const uint32_t n = count - at < pieceSectors ? count - at : pieceSectors;
    uint8_t* p = buffer + static_cast<size_t>(at) * kSectorSize;
    if (read(sector + at, n, p)) continue;
    std::memset(p, 0, static_cast<size_t>(n) * kSectorSize);
    if (bad) (*bad)[i] = 1;
    ++failed;
  }
  return failed;
}
