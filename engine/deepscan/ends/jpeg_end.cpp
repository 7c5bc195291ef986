// JPEG: marker segments by their lengths up to EOI; after each scan header,
// the entropy-coded data byte by byte, where 0xFF is followed only by a
// stuffed zero, the restart marker due next, or a marker that may follow a
// scan. Anything else, or another file system's structure at the start of a
// sector in that data, is where the picture's bytes stopped.
#include <algorithm>

#include "bytes.h"
#include "deepscan/ends/format_end.h"

namespace fileend {
namespace {

enum JpegStep { kJpegStart, kJpegFf, kJpegCode, kJpegLength };

// The markers that may follow a scan's entropy-coded data: tables, a restart
// interval, the next scan, the line count, application data and comments.
bool MayFollowScan(uint8_t code) {
  return code == 0xC4 || code == 0xCC || (code >= 0xDA && code <= 0xDD) || (code >= 0xE0 && code <= 0xEF) ||
         code == 0xFE;
}

bool LooksLikeFileSystemSector(const uint8_t* head) {
  // An NTFS record (file record, index block, log page) with its update
  // sequence where the volume puts it.
  if (std::memcmp(head, "FILE", 4) == 0 || std::memcmp(head, "INDX", 4) == 0 || std::memcmp(head, "RCRD", 4) == 0 ||
      std::memcmp(head, "RSTR", 4) == 0) {
    const uint16_t usaOffset = ReadLe16(head + 4), usaCount = ReadLe16(head + 6);
    return usaOffset >= 0x1E && usaOffset <= 0x30 && usaOffset % 2 == 0 && usaCount >= 2 && usaCount <= 17;
  }
  // The first sector of a FAT directory: its "." entry.
  return std::memcmp(head, ".       ", 8) == 0;
}

class JpegEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(2); }

  void Step(EndWalk& w) override {
    const uint8_t* h = w.hdr.data();
    switch (w.step) {
      case kJpegStart:
        if (h[0] != 0xFF || h[1] != 0xD8) return w.Fail();
        return w.GatherAs(kJpegFf, 1);
      case kJpegFf:
        // The segment before ran into bytes that are no marker.
        if (h[0] != 0xFF) return w.CutBeforeSectorOf(segmentAt_);
        segmentAt_ = w.hdrAt;
        return w.GatherAs(kJpegCode, 1);
      case kJpegCode: {
        uint8_t c = h[0];
        if (c == 0xFF) return w.Gather(1);   // fill byte
        if (c == 0xD9) return w.EndAt(w.pos);
        if (c == 0x00 || c == 0xD8) return w.CutBeforeSectorOf(segmentAt_);
        if ((c >= 0xD0 && c <= 0xD7) || c == 0x01) return w.GatherAs(kJpegFf, 1);
        marker_ = c;
        return w.GatherAs(kJpegLength, 2);
      }
      case kJpegLength: {
        uint32_t length = ReadBe16(h);
        if (length < 2) return w.CutBeforeSectorOf(segmentAt_);
        w.skipTo = w.pos + length - 2;
        if (marker_ == 0xDA) {
          // A scan header names one to four components, two bytes each.
          if (length < 8 || length > 14 || length % 2 != 0) return w.CutBeforeSectorOf(segmentAt_);
          w.mode = EndWalk::Mode::kOwn;
          pendingFf_ = false;
          restartNext_ = 0;
          sectorHeadLength_ = sizeof sectorHead_;   // from the next sector on
          return;
        }
        return w.GatherAs(kJpegFf, 1);
      }
    }
    w.Fail();
  }

  void FeedOwn(EndWalk& w, const uint8_t*& data, size_t& size) override {
    while (size > 0 && !w.done && w.mode == EndWalk::Mode::kOwn) {
      // One sector at a time: the first bytes of each are looked at for
      // another file system's structures, as they are walked.
      const size_t inSector = static_cast<size_t>(w.pos % kCutUnit);
      if (inSector == 0) sectorHeadLength_ = 0;
      size_t chunk = static_cast<size_t>(std::min<uint64_t>(size, kCutUnit - inSector));
      const bool head = sectorHeadLength_ == inSector && inSector < sizeof sectorHead_;
      if (head) {
        chunk = std::min(chunk, sizeof sectorHead_ - inSector);
        std::memcpy(sectorHead_ + inSector, data, chunk);
        sectorHeadLength_ += chunk;
      }
      size_t left = chunk;
      WalkEntropy(w, data, left);
      size -= chunk - left;
      if (head && left == 0 && !w.done && w.mode == EndWalk::Mode::kOwn && sectorHeadLength_ == sizeof sectorHead_ &&
          LooksLikeFileSystemSector(sectorHead_))
        return w.CutBeforeSectorOf(w.pos - 1);
    }
  }

  bool Holds(const EndWalk& w, uint64_t offset) const override { return HoldsByWalk(w, offset); }

 private:
  void WalkEntropy(EndWalk& w, const uint8_t*& data, size_t& size) {
    while (size > 0 && !w.done && w.mode == EndWalk::Mode::kOwn) {
      if (pendingFf_) {
        uint8_t b = data[0];
        ++data;
        --size;
        ++w.pos;
        if (b == 0xFF) continue;   // fill: the marker follows
        pendingFf_ = false;
        if (b == 0x00) continue;   // a stuffed byte
        if (b >= 0xD0 && b <= 0xD7) {
          // Restart markers come in turn; one out of turn is another file's byte.
          if ((b & 7) != restartNext_) return w.CutBeforeSectorOf(w.pos - 1);
          restartNext_ = static_cast<uint8_t>((restartNext_ + 1) & 7);
          continue;
        }
        if (b == 0xD9) return w.EndAt(w.pos);
        if (!MayFollowScan(b)) return w.CutBeforeSectorOf(w.pos - 1);
        // Another segment (tables, the next scan of a progressive picture).
        marker_ = b;
        segmentAt_ = w.pos - 2;
        w.GatherAs(kJpegLength, 2);
        return;
      }
      const void* ff = std::memchr(data, 0xFF, size);
      size_t n = ff ? static_cast<size_t>(static_cast<const uint8_t*>(ff) - data) + 1 : size;
      data += n;
      size -= n;
      w.pos += n;
      if (ff) pendingFf_ = true;
    }
  }

  bool pendingFf_ = false;     // a 0xFF was the last byte of entropy-coded data
  uint8_t marker_ = 0;
  uint8_t restartNext_ = 0;    // the restart marker due next in the scan (0..7)
  uint64_t segmentAt_ = 0;     // where the marker segment being walked begins
  // The first bytes of the sector being walked through in entropy-coded data.
  uint8_t sectorHead_[8] = {};
  size_t sectorHeadLength_ = sizeof sectorHead_;
};

}  // namespace

std::unique_ptr<FormatEnd> MakeJpegEnd() { return std::unique_ptr<FormatEnd>(new JpegEnd); }

}  // namespace fileend
