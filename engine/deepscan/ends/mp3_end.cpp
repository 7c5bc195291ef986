// MP3: an ID3v2 tag, MPEG audio frames by their lengths (all of one kind),
// an ID3v1 tag; or where the source ends on a frame's boundary.
#include "deepscan/ends/format_end.h"

namespace fileend {
namespace {

enum Mp3Step { kMp3Start, kMp3Frame, kMp3Tail };

// MPEG audio: the frame's length in bytes, 0 when the four bytes are not a
// frame header. kind receives version, layer and sampling rate, which stay
// the same through a file.
uint32_t Mp3FrameLength(const uint8_t* h, uint32_t* kind) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  uint32_t version = (h[1] >> 3) & 3;   // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
  uint32_t layer = (h[1] >> 1) & 3;     // 3 layer I, 2 layer II, 1 layer III
  uint32_t bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
  if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 || (h[3] & 3) == 2)
    return 0;
  static const uint16_t kRates[3] = {44100, 48000, 32000};
  static const uint16_t kBitrates[5][14] = {
      {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},   // MPEG 1 layer I
      {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},      // MPEG 1 layer II
      {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},       // MPEG 1 layer III
      {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},      // MPEG 2, 2.5 layer I
      {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},           // MPEG 2, 2.5 layers II, III
  };
  bool mpeg1 = version == 3;
  int table = mpeg1 ? static_cast<int>(3 - layer) : (layer == 3 ? 3 : 4);
  uint32_t bitrate = kBitrates[table][bitrateIndex - 1] * 1000u;
  uint32_t rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  *kind = version << 4 | layer << 2 | rateIndex;
  if (layer == 3) return (12 * bitrate / rate + padding) * 4;
  if (layer == 1 && !mpeg1) return 72 * bitrate / rate + padding;
  return 144 * bitrate / rate + padding;
}

class Mp3End : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(10); }
  void Step(EndWalk& w) override;
  bool Finish(EndWalk& w) override {
    const bool boundary = w.mode == EndWalk::Mode::kGather && w.pos >= w.hdrAt;
    if (boundary && w.step == kMp3Frame && frames_ > 0) {
      w.EndAt(w.hdrAt);
      return true;
    }
    if (w.step == kMp3Tail) {
      w.EndAt(tagAt_);
      return true;
    }
    return false;
  }

 private:
  // Frames walked, and what the first frame was (all must agree).
  uint32_t frames_ = 0;
  uint32_t kind_ = 0;
  uint64_t zeros_ = 0;
  uint64_t tagAt_ = 0;
};

void Mp3End::Step(EndWalk& w) {
  const uint8_t* h = w.hdr.data();
  uint32_t kind = 0, length = 0;
  switch (w.step) {
    case kMp3Start:
      if (std::memcmp(h, "ID3", 3) == 0) {
        if (h[3] < 2 || h[3] > 4 || ((h[6] | h[7] | h[8] | h[9]) & 0x80)) return w.Fail();
        uint32_t size = static_cast<uint32_t>(h[6]) << 21 | static_cast<uint32_t>(h[7]) << 14 |
                        static_cast<uint32_t>(h[8]) << 7 | h[9];
        if (h[3] == 4 && (h[5] & 0x10)) size += 10;   // footer
        w.skipTo = w.pos + size;
        return w.GatherAs(kMp3Frame, 4);
      }
      length = Mp3FrameLength(h, &kind);
      if (length < 10) return w.Fail();
      kind_ = kind;
      frames_ = 1;
      w.skipTo = w.hdrAt + length;
      return w.GatherAs(kMp3Frame, 4);
    case kMp3Frame:
      length = Mp3FrameLength(h, &kind);
      if (length > 0 && (frames_ == 0 || kind == kind_)) {
        kind_ = kind;
        ++frames_;
        w.skipTo = w.hdrAt + length;
        return w.Gather(4);
      }
      if (frames_ == 0) {
        // Zero bytes after the tag that its size did not count.
        size_t zeros = 0;
        while (zeros < w.hdr.size() && h[zeros] == 0) ++zeros;
        zeros_ += zeros;
        if (zeros == 0 || zeros_ > (1u << 20)) return w.Fail();
        w.hdr.erase(w.hdr.begin(), w.hdr.begin() + static_cast<std::ptrdiff_t>(zeros));
        w.hdrAt += zeros;
        return;   // the gather goes on for the rest of the header
      }
      if (std::memcmp(h, "TAG", 3) == 0) {
        tagAt_ = w.hdrAt;
        return w.GatherAs(kMp3Tail, 128 - 4);
      }
      return w.EndAt(w.hdrAt);
    case kMp3Tail:
      return w.EndAt(w.pos);
  }
  w.Fail();
}

}  // namespace

std::unique_ptr<FormatEnd> MakeMp3End() { return std::unique_ptr<FormatEnd>(new Mp3End); }

}  // namespace fileend
