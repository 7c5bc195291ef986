// Compound file (doc, xls, ppt): one past the highest sector its allocation
// table uses, the table read from the sectors its header lists.
#include <algorithm>

#include "bytes.h"
#include "deepscan/ends/format_end.h"

namespace fileend {
namespace {

enum OleStep { kOleHeader, kOleFat };

constexpr uint32_t kOleFreeSector = 0xFFFFFFFFu;
constexpr uint32_t kOleHighestSectorId = 0xFFFFFFF9u;   // above: special markers
constexpr size_t kOleHeaderFatEntries = 109;

class OleEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(512); }

  void Step(EndWalk& w) override {
    const uint8_t* h = w.hdr.data();
    if (w.step == kOleHeader) {
      static const uint8_t kMagic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
      if (std::memcmp(h, kMagic, 8) != 0) return w.Fail();
      uint16_t shift = ReadLe16(h + 30);
      if (shift != 9 && shift != 12) return w.Fail();
      sectorShift_ = shift;
      uint32_t fatCount = ReadLe32(h + 44);
      // Larger files list the rest of their table elsewhere; their end is not told.
      if (fatCount == 0 || fatCount > kOleHeaderFatEntries) return w.Fail();
      for (uint32_t i = 0; i < fatCount; ++i) {
        uint32_t id = ReadLe32(h + 76 + 4 * i);
        if (id > kOleHighestSectorId) return w.Fail();
        fatSectors_.push_back({(static_cast<uint64_t>(id) + 1) << shift, i});
      }
      std::sort(fatSectors_.begin(), fatSectors_.end(),
                [](const FatSector& a, const FatSector& b) { return a.offset < b.offset; });
      w.step = kOleFat;
    } else {
      uint32_t perSector = (1u << sectorShift_) / 4;
      uint64_t first = static_cast<uint64_t>(fatSectors_[fatNext_].index) * perSector;
      for (uint32_t k = 0; k < perSector; ++k)
        if (ReadLe32(h + 4 * k) != kOleFreeSector) highestUsed_ = std::max<int64_t>(highestUsed_, first + k);
      ++fatNext_;
    }
    if (fatNext_ == fatSectors_.size()) {
      if (highestUsed_ < 0) return w.Fail();
      // The header is one sector, then sectors 0 .. highest.
      return w.EndAt((static_cast<uint64_t>(highestUsed_) + 2) << sectorShift_);
    }
    uint64_t at = fatSectors_[fatNext_].offset;
    if (at < w.pos) return w.Fail();   // inside the header, or listed twice
    w.skipTo = at;
    w.Gather(static_cast<size_t>(1) << sectorShift_);
  }

  // The end comes from the allocation table, not from a size field that
  // junk could hold: a file whose end is known holds what lies before it.
  bool Holds(const EndWalk& w, uint64_t offset) const override {
    if (w.done) return !w.cut && w.length > offset;
    return HoldsByWalk(w, offset);
  }

 private:
  // The offsets of the allocation-table sectors, in file order.
  struct FatSector {
    uint64_t offset;
    uint32_t index;   // which part of the table it holds
  };
  std::vector<FatSector> fatSectors_;
  size_t fatNext_ = 0;
  uint32_t sectorShift_ = 9;
  int64_t highestUsed_ = -1;
};

}  // namespace

std::unique_ptr<FormatEnd> MakeOleEnd() { return std::unique_ptr<FormatEnd>(new OleEnd); }

}  // namespace fileend
