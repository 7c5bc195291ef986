// LZNT1, the compression of NTFS files whose data attribute is marked
// compressed: each compression unit (16 clusters) that does not fill its
// clusters holds a sequence of chunks that each expand to at most 4 KB.
#pragma once

#include <cstddef>
#include <cstdint>

// Expands the chunks of one compression unit into out (outSize bytes; what no
// chunk fills stays zero). False when a chunk is malformed: a length past the
// input, a back-reference before the start of its chunk. Never writes past
// out or reads past in.
bool Lznt1Decompress(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize);
