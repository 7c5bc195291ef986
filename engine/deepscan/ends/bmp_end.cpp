// BMP: the size in the file header, once the header is one.
#include "deepscan/ends/format_end.h"

#include "bytes.h"

namespace fileend {
namespace {

class BmpEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(18); }

  void Step(EndWalk& w) override {
    const uint8_t* h = w.hdr.data();
    uint32_t size = ReadLe32(h + 2), dataAt = ReadLe32(h + 10), dib = ReadLe32(h + 14);
    bool knownDib =
        dib == 12 || dib == 16 || dib == 40 || dib == 52 || dib == 56 || dib == 64 || dib == 108 || dib == 124;
    if (h[0] != 'B' || h[1] != 'M' || !knownDib || dataAt < 14 + dib || size < dataAt) return w.Fail();
    w.EndAt(size);
  }
};

}  // namespace

std::unique_ptr<FormatEnd> MakeBmpEnd() { return std::unique_ptr<FormatEnd>(new BmpEnd); }

}  // namespace fileend
