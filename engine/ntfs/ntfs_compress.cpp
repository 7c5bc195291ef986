#include "ntfs/ntfs_compress.h"

#include <cstring>

#include "bytes.h"

namespace {

constexpr size_t kChunkBytes = 4096;

// One compressed chunk: tag bytes, each saying for the next eight items
// whether they are a literal byte (0) or a back-reference (1).
bool ExpandChunk(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
  size_t ip = 0, op = 0;
  while (ip < inSize && op < outSize) {
    const uint8_t tags = in[ip++];
    for (int bit = 0; bit < 8 && ip < inSize && op < outSize; ++bit) {
      if (!(tags & (1 << bit))) {
        out[op++] = in[ip++];
        continue;
      }
      if (ip + 2 > inSize) return false;
      const uint16_t token = ReadLe16(in + ip);
      ip += 2;
      // The further into the chunk, the more bits the offset takes.
      unsigned lengthBits = 12;
      for (size_t p = op - 1; op > 0 && p >= 0x10; p >>= 1) --lengthBits;
      if (op == 0) return false;
      const size_t offset = (token >> lengthBits) + 1;
      size_t length = (token & ((1u << lengthBits) - 1)) + 3;
      if (offset > op) return false;
      if (length > outSize - op) length = outSize - op;
      for (size_t i = 0; i < length; ++i, ++op) out[op] = out[op - offset];   // may overlap itself
    }
  }
  return true;
}

}  // namespace

bool Lznt1Decompress(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
  std::memset(out, 0, outSize);
  size_t ip = 0, op = 0;
  while (ip + 2 <= inSize && op < outSize) {
    const uint16_t header = ReadLe16(in + ip);
    if (header == 0) break;   // end of the unit
    const size_t size = (header & 0x0FFF) + 1;
    ip += 2;
    if (size > inSize - ip) return false;
    const size_t room = outSize - op < kChunkBytes ? outSize - op : kChunkBytes;
    if (header & 0x8000) {
      if (!ExpandChunk(in + ip, size, out + op, room)) return false;
    } else {
      std::memcpy(out + op, in + ip, size < room ? size : room);
    }
    ip += size;
    op += kChunkBytes;   // a chunk that expands to less is padded with zeros
  }
  return true;
}
