// Matroska (mkv, webm): the EBML header by its size, then the segment, whose
// size is where the file ends.
#include "deepscan/ends/format_end.h"

#include "bytes.h"

namespace fileend {
namespace {

enum MatroskaStep { kMkvHeaderSize, kMkvHeaderSizeRest, kMkvSegmentId, kMkvSegmentSize, kMkvSegmentSizeRest };

constexpr uint32_t kMatroskaSegmentId = 0x18538067;

// The length of an EBML variable-size number from its first byte: 1 to 8,
// 0 for a first byte of 0.
uint32_t VintLength(uint8_t first) {
  for (uint32_t n = 1; n <= 8; ++n)
    if (first & (0x80u >> (n - 1))) return n;
  return 0;
}

class MatroskaEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override {
    // The header's number, then the first byte of its size.
    w.skipTo = 4;
    w.step = kMkvHeaderSize;
    w.Gather(1);
  }
  void Step(EndWalk& w) override;

 private:
  uint32_t value_ = 0;        // the first bits of the size being read
  uint32_t vintLength_ = 0;   // that size's length in bytes
};

void MatroskaEnd::Step(EndWalk& w) {
  const uint8_t* h = w.hdr.data();
  switch (w.step) {
    case kMkvHeaderSize:
    case kMkvSegmentSize:
      vintLength_ = VintLength(h[0]);
      if (vintLength_ == 0) return w.Fail();
      value_ = h[0] & (0xFFu >> vintLength_);   // the value's first bits
      if (vintLength_ == 1) {
        w.step = w.step == kMkvHeaderSize ? kMkvHeaderSizeRest : kMkvSegmentSizeRest;
        w.hdr.clear();
        return Step(w);
      }
      return w.GatherAs(w.step == kMkvHeaderSize ? kMkvHeaderSizeRest : kMkvSegmentSizeRest, vintLength_ - 1);
    case kMkvHeaderSizeRest:
    case kMkvSegmentSizeRest: {
      uint64_t value = value_;
      bool unknown = value == (0xFFu >> vintLength_);
      for (uint8_t b : w.hdr) {
        value = value << 8 | b;
        unknown = unknown && b == 0xFF;
      }
      // A size of all ones is "unknown": a stream still being written.
      if (unknown || value > (1ull << 50)) return w.Fail();
      if (w.step == kMkvHeaderSizeRest) {
        w.skipTo = w.pos + value;
        return w.GatherAs(kMkvSegmentId, 4);
      }
      return w.EndAt(w.pos + value);
    }
    case kMkvSegmentId:
      if (ReadBe32(h) != kMatroskaSegmentId) return w.Fail();
      return w.GatherAs(kMkvSegmentSize, 1);
  }
  w.Fail();
}

}  // namespace

std::unique_ptr<FormatEnd> MakeMatroskaEnd() { return std::unique_ptr<FormatEnd>(new MatroskaEnd); }

}  // namespace fileend
