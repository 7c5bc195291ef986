// RIFF (avi, wav): the size in its header, and for a large AVI the OpenDML
// "AVIX" lists that follow it.
#include "deepscan/ends/format_end.h"

#include "bytes.h"

namespace fileend {
namespace {

enum RiffStep { kRiffHeader, kRiffNext };

class RiffEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(12); }

  void Step(EndWalk& w) override {
    const uint8_t* h = w.hdr.data();
    bool isRiff = std::memcmp(h, "RIFF", 4) == 0;
    uint32_t size = ReadLe32(h + 4);
    if (w.step == kRiffNext) {
      // OpenDML: a large AVI goes on in further "RIFF....AVIX" lists.
      if (!isRiff || std::memcmp(h + 8, "AVIX", 4) != 0 || size < 4) return w.Fail();
    } else if (!isRiff || size < 4) {
      return w.Fail();
    }
    uint64_t end = w.hdrAt + 8 + size + (size & 1);
    w.length = end;
    if (std::memcmp(h + 8, "AVI", 3) != 0) return w.EndAt(end);
    w.skipTo = end;
    w.GatherAs(kRiffNext, 12);
  }

  // A RIFF size read before a gap still holds; anything else would be a guess.
  bool LengthSurvivesGap() const override { return true; }
};

}  // namespace

std::unique_ptr<FormatEnd> MakeRiffEnd() { return std::unique_ptr<FormatEnd>(new RiffEnd); }

}  // namespace fileend
