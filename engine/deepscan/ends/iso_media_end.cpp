// MP4 and its kin (m4v, m4a, 3gp): top-level boxes by their sizes; the file
// ends where a box is none, or where the source ends on a box's boundary.
#include "deepscan/ends/format_end.h"

#include "bytes.h"

namespace fileend {
namespace {

enum IsoStep { kIsoBox, kIsoLargeSize };

// A top-level box type of the ISO media family: four lower-case letters,
// digits or spaces (every box the formats put at the top), "uuid" included.
bool IsBoxType(const uint8_t* t) {
  for (int i = 0; i < 4; ++i) {
    uint8_t c = t[i];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ')) return false;
  }
  return true;
}

class IsoMediaEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(8); }
  void Step(EndWalk& w) override;
  bool Finish(EndWalk& w) override {
    if (w.mode != EndWalk::Mode::kGather || w.pos < w.hdrAt || w.step != kIsoBox) return false;
    EndAfterBoxes(w, w.hdrAt);
    return true;
  }

 private:
  // Besides the file type, the box of the movie or of its data is needed.
  void EndAfterBoxes(EndWalk& w, uint64_t at) {
    if (boxes_ < 2 || !sawMovie_) return w.Fail();
    w.EndAt(at);
  }

  uint32_t boxes_ = 0;      // top-level boxes walked
  bool sawMovie_ = false;   // one of them held the movie or its data
  bool movieBox_ = false;   // the box being read holds the movie or its data
  uint64_t boxAt_ = 0;      // where the box being read begins
};

void IsoMediaEnd::Step(EndWalk& w) {
  const uint8_t* h = w.hdr.data();
  uint64_t length = 0;
  if (w.step == kIsoBox) {
    boxAt_ = w.hdrAt;
    const uint32_t size = ReadBe32(h);
    // The first box names the file type; a box that is none ends the file.
    const bool first = boxes_ == 0;
    if ((first && std::memcmp(h + 4, "ftyp", 4) != 0) || !IsBoxType(h + 4))
      return first ? w.Fail() : EndAfterBoxes(w, w.hdrAt);
    if (size == 0) return w.Fail();   // "to the end of the file": which end is not said
    if (size != 1 && size < 8) return first ? w.Fail() : EndAfterBoxes(w, w.hdrAt);
    movieBox_ = std::memcmp(h + 4, "moov", 4) == 0 || std::memcmp(h + 4, "mdat", 4) == 0 ||
                std::memcmp(h + 4, "moof", 4) == 0;
    if (size == 1) return w.GatherAs(kIsoLargeSize, 8);   // a 64-bit size follows
    length = size;
  } else {
    length = ReadBe64(h);
    if (length < 16 || length > (1ull << 50)) return EndAfterBoxes(w, boxAt_);
  }
  sawMovie_ = sawMovie_ || movieBox_;
  ++boxes_;
  w.skipTo = boxAt_ + length;
  w.GatherAs(kIsoBox, 8);
}

}  // namespace

std::unique_ptr<FormatEnd> MakeIsoMediaEnd() { return std::unique_ptr<FormatEnd>(new IsoMediaEnd); }

}  // namespace fileend
