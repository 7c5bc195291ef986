// PNG: the signature, then chunks by their lengths up to IEND, each checked
// by its CRC. A chunk whose length or type is none, or whose CRC disagrees,
// is where the picture's own bytes stopped: the chunks before it are whole.
#include "bytes.h"
#include "deepscan/ends/format_end.h"

namespace fileend {
namespace {

enum PngStep { kPngSignature, kPngChunk, kPngCrc };

// The CRC of PNG chunks (ISO 3309, as zlib computes it), one byte at a time
// from a table.
const uint32_t* CrcTable() {
  static const struct Table {
    uint32_t v[256];
    Table() {
      for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        v[n] = c;
      }
    }
  } table;
  return table.v;
}

uint32_t CrcUpdate(uint32_t crc, const uint8_t* data, size_t size) {
  const uint32_t* t = CrcTable();
  for (size_t i = 0; i < size; ++i) crc = t[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

bool IsAsciiLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

class PngEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(8); }

  void Step(EndWalk& w) override {
    const uint8_t* h = w.hdr.data();
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    switch (w.step) {
      case kPngSignature:
        if (std::memcmp(h, kSignature, 8) != 0) return w.Fail();
        chunkAt_ = w.pos;
        return w.GatherAs(kPngChunk, 8);
      case kPngChunk: {
        uint32_t length = ReadBe32(h);
        if (length > 0x7FFFFFFFu) return w.CutAfterSectorOf(chunkAt_);
        for (int i = 4; i < 8; ++i)
          if (!IsAsciiLetter(h[i])) return w.CutAfterSectorOf(chunkAt_);
        last_ = std::memcmp(h + 4, "IEND", 4) == 0;
        crc_ = CrcUpdate(0xFFFFFFFFu, h + 4, 4);
        w.skipTo = w.pos + length;   // the data, added to the CRC as it passes
        return w.GatherAs(kPngCrc, 4);
      }
      case kPngCrc:
        if ((crc_ ^ 0xFFFFFFFFu) != ReadBe32(h)) return w.CutAfterSectorOf(chunkAt_);
        if (last_) return w.EndAt(w.pos);
        chunkAt_ = w.pos;
        return w.GatherAs(kPngChunk, 8);
    }
    w.Fail();
  }

  void OnSkipped(const uint8_t* data, size_t size) override { crc_ = CrcUpdate(crc_, data, size); }

  bool Holds(const EndWalk& w, uint64_t offset) const override { return HoldsByWalk(w, offset); }

 private:
  uint32_t crc_ = 0;       // of the chunk being walked
  uint64_t chunkAt_ = 0;   // where that chunk begins
  bool last_ = false;      // it is IEND
};

}  // namespace

std::unique_ptr<FormatEnd> MakePngEnd() { return std::unique_ptr<FormatEnd>(new PngEnd); }

}  // namespace fileend
