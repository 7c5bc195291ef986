// GIF: the screen descriptor and its colour table, then blocks (images with
// their colour tables, extensions) and their sub-blocks up to the trailer.
#include "deepscan/ends/format_end.h"

namespace fileend {
namespace {

enum GifStep { kGifScreen, kGifBlock, kGifImage, kGifCodeSize, kGifLabel, kGifSubBlock };

class GifEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(13); }

  void Step(EndWalk& w) override {
    const uint8_t* h = w.hdr.data();
    switch (w.step) {
      case kGifScreen:
        if (std::memcmp(h, "GIF87a", 6) != 0 && std::memcmp(h, "GIF89a", 6) != 0) return w.Fail();
        if (h[10] & 0x80) w.skipTo = w.pos + 3u * (2u << (h[10] & 7));   // global colour table
        return w.GatherAs(kGifBlock, 1);
      case kGifBlock:
        if (h[0] == 0x2C) return w.GatherAs(kGifImage, 9);
        if (h[0] == 0x21) return w.GatherAs(kGifLabel, 1);
        if (h[0] == 0x3B) return w.EndAt(w.pos);
        return w.Fail();
      case kGifImage:
        if (h[8] & 0x80) w.skipTo = w.pos + 3u * (2u << (h[8] & 7));   // local colour table
        return w.GatherAs(kGifCodeSize, 1);
      case kGifCodeSize:
        if (h[0] > 12) return w.Fail();
        return w.GatherAs(kGifSubBlock, 1);
      case kGifLabel:
        return w.GatherAs(kGifSubBlock, 1);
      case kGifSubBlock:
        if (h[0] == 0) return w.GatherAs(kGifBlock, 1);
        w.skipTo = w.pos + h[0];
        return w.Gather(1);
    }
    w.Fail();
  }
};

}  // namespace

std::unique_ptr<FormatEnd> MakeGifEnd() { return std::unique_ptr<FormatEnd>(new GifEnd); }

}  // namespace fileend
