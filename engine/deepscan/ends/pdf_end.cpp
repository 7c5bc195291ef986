// PDF: the last "%%EOF" line (incremental updates append more), looked for
// up to a window; the best length so far stands beyond it.
#include <algorithm>

#include "deepscan/ends/format_end.h"

namespace fileend {
namespace {

constexpr uint64_t kPdfWindow = 1ull << 30;

class PdfEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override {
    w.StartSearch("%%EOF", 5);
    w.mode = EndWalk::Mode::kOwn;
  }

  void Step(EndWalk& w) override { w.Fail(); }

  void FeedOwn(EndWalk& w, const uint8_t*& data, size_t& size) override {
    // Line ends that belong to the "%%EOF" found last.
    while (eolLeft_ > 0 && size > 0) {
      uint8_t b = data[0];
      if (b == '\n' || (b == '\r' && eolLeft_ == 2)) {
        ++data;
        --size;
        ++w.pos;
        w.length = w.pos;
        eolLeft_ = b == '\r' ? 1 : 0;
        continue;
      }
      eolLeft_ = 0;
    }
    if (size == 0) return;
    if (w.pos >= kPdfWindow) return w.Fail();
    size = static_cast<size_t>(std::min<uint64_t>(size, kPdfWindow - w.pos));
    w.Search(data, size);
  }

  void OnSearchHit(EndWalk& w, uint64_t at, int which) override {
    (void)which;
    w.length = at + 5;
    eolLeft_ = 2;
  }

 private:
  int eolLeft_ = 0;   // end-of-line bytes that may still follow "%%EOF"
};

}  // namespace

std::unique_ptr<FormatEnd> MakePdfEnd() { return std::unique_ptr<FormatEnd>(new PdfEnd); }

}  // namespace fileend
