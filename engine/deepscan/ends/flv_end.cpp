// FLV: the header, then tags, each followed by its own size; the file ends
// where a tag is none, or where the source ends on a tag's boundary.
#include "deepscan/ends/format_end.h"

#include "bytes.h"

namespace fileend {
namespace {

enum FlvStep { kFlvHeader, kFlvFirstSize, kFlvTag, kFlvTagSize };

class FlvEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(9); }
  void Step(EndWalk& w) override;
  bool Finish(EndWalk& w) override {
    if (w.mode != EndWalk::Mode::kGather || w.pos < w.hdrAt || w.step != kFlvTag) return false;
    EndAfterTags(w, w.hdrAt);
    return true;
  }

 private:
  // One tag at least.
  void EndAfterTags(EndWalk& w, uint64_t at) {
    if (tags_ < 2) return w.Fail();
    w.EndAt(at);
  }

  uint32_t tags_ = 0;      // the header counts as one
  uint64_t tagAt_ = 0;     // where the tag being walked begins
  uint32_t tagSize_ = 0;   // its data size
};

void FlvEnd::Step(EndWalk& w) {
  const uint8_t* h = w.hdr.data();
  switch (w.step) {
    case kFlvHeader: {
      const uint32_t headerSize = ReadBe32(h + 5);
      if (std::memcmp(h, "FLV", 3) != 0 || headerSize < 9 || headerSize > 1024) return w.Fail();
      w.skipTo = headerSize;
      return w.GatherAs(kFlvFirstSize, 4);
    }
    case kFlvFirstSize:
      if (ReadBe32(h) != 0) return w.Fail();
      tags_ = 1;
      return w.GatherAs(kFlvTag, 11);
    case kFlvTag: {
      const uint8_t type = h[0] & 0x1F;
      const uint32_t size = static_cast<uint32_t>(h[1]) << 16 | static_cast<uint32_t>(h[2]) << 8 | h[3];
      const uint32_t stream = static_cast<uint32_t>(h[8]) << 16 | static_cast<uint32_t>(h[9]) << 8 | h[10];
      if ((type != 8 && type != 9 && type != 18) || (h[0] & 0xC0) || stream != 0) return EndAfterTags(w, w.hdrAt);
      tagSize_ = size;
      tagAt_ = w.hdrAt;
      w.skipTo = w.pos + size;
      return w.GatherAs(kFlvTagSize, 4);
    }
    case kFlvTagSize:
      // Each tag is followed by its own length: a tag that disagrees is not one.
      if (ReadBe32(h) != tagSize_ + 11) return EndAfterTags(w, tagAt_);
      ++tags_;
      return w.GatherAs(kFlvTag, 11);
  }
  w.Fail();
}

}  // namespace

std::unique_ptr<FormatEnd> MakeFlvEnd() { return std::unique_ptr<FormatEnd>(new FlvEnd); }

}  // namespace fileend
