// MPEG: a program stream's packs and packets up to the end code or the last
// valid one; a video elementary stream's start codes up to the sequence end
// code, or up to what no stream can hold.
#include "bytes.h"
#include "deepscan/ends/format_end.h"

namespace fileend {
namespace {

enum MpegStep { kMpegStart, kMpegPack, kMpegPack2, kMpegCode, kMpegLength };

// A raw video stream pads with zero bytes only before a start code, and
// never with this many: the stream ended where they began.
constexpr uint32_t kEsZeroRun = 4096;

class MpegEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(4); }
  void Step(EndWalk& w) override;
  void FeedOwn(EndWalk& w, const uint8_t*& data, size_t& size) override;
  bool Finish(EndWalk& w) override {
    const bool boundary = w.mode == EndWalk::Mode::kGather && w.pos >= w.hdrAt;
    if (boundary && w.step == kMpegCode) {
      Stop(w, w.hdrAt);
      return true;
    }
    // A video stream that ran out in zero bytes that no picture can hold.
    if (w.mode == EndWalk::Mode::kOwn && !codeNext_ && zeros_ >= 3 && units_ > 0) {
      w.EndAt(zeroAt_);
      return true;
    }
    return false;
  }

 private:
  void Stop(EndWalk& w, uint64_t at);

  // Packets walked, where the unit being read began; for a video elementary
  // stream the zero bytes before the current byte and start codes.
  uint32_t units_ = 0;
  uint64_t unitAt_ = 0;
  uint32_t zeros_ = 0;
  uint64_t zeroAt_ = 0;
  bool codeNext_ = false;
  uint64_t codeAt_ = 0;
};

void MpegEnd::Step(EndWalk& w) {
  const uint8_t* h = w.hdr.data();
  switch (w.step) {
    case kMpegStart:
      if (h[0] != 0 || h[1] != 0 || h[2] != 1) return w.Fail();
      if (h[3] == 0xBA) {
        unitAt_ = w.hdrAt;
        return w.GatherAs(kMpegPack, 8);
      }
      if (h[3] != 0xB3) return w.Fail();
      // A video elementary stream: no lengths, only start codes.
      w.mode = EndWalk::Mode::kOwn;
      zeros_ = 0;
      codeNext_ = false;
      return;
    case kMpegPack:
      // The marker bits of an MPEG-2 pack header, or of an MPEG-1 one.
      if ((h[0] & 0xC4) == 0x44 && (h[2] & 4) && (h[4] & 4) && (h[5] & 1)) return w.GatherAs(kMpegPack2, 2);
      if ((h[0] & 0xF1) == 0x21 && (h[2] & 1) && (h[4] & 1) && (h[5] & 0x80) && (h[7] & 1))
        return w.GatherAs(kMpegCode, 4);
      return Stop(w, unitAt_);
    case kMpegPack2:
      if ((h[0] & 3) != 3) return Stop(w, unitAt_);
      w.skipTo = w.pos + (h[1] & 7);   // stuffing
      return w.GatherAs(kMpegCode, 4);
    case kMpegCode: {
      unitAt_ = w.hdrAt;
      if (h[0] != 0 || h[1] != 0 || h[2] != 1) return Stop(w, w.hdrAt);
      uint8_t code = h[3];
      if (code == 0xBA) return w.GatherAs(kMpegPack, 8);
      if (code == 0xB9) return Stop(w, w.pos);   // the program's end code
      if (code == 0xBB || code >= 0xBC) return w.GatherAs(kMpegLength, 2);   // system header, packets
      return Stop(w, w.hdrAt);
    }
    case kMpegLength:
      w.skipTo = w.pos + ReadBe16(h);
      ++units_;
      return w.GatherAs(kMpegCode, 4);
  }
  w.Fail();
}

void MpegEnd::Stop(EndWalk& w, uint64_t at) {
  // A pack header alone, with nothing valid after it, is not yet a stream.
  if (units_ == 0) return w.Fail();
  w.EndAt(at);
}

void MpegEnd::FeedOwn(EndWalk& w, const uint8_t*& data, size_t& size) {
  while (size > 0 && !w.done) {
    if (!codeNext_ && zeros_ == 0) {
      // Nothing pending: on to the next zero byte.
      const void* z = std::memchr(data, 0, size);
      size_t n = z ? static_cast<size_t>(static_cast<const uint8_t*>(z) - data) : size;
      data += n;
      size -= n;
      w.pos += n;
      if (!z) return;
    }
    const uint8_t b = data[0];
    const uint64_t at = w.pos;
    ++data;
    --size;
    ++w.pos;
    if (codeNext_) {
      codeNext_ = false;
      if (b == 0xB7) {   // sequence end
        if (units_ == 0) return w.Fail();
        return w.EndAt(w.pos);
      }
      bool video = b <= 0xAF || b == 0xB2 || b == 0xB3 || b == 0xB5 || b == 0xB8;
      if (!video) return Stop(w, codeAt_);
      if (b == 0x00 || b == 0xB8) ++units_;   // a picture, a group of pictures
      continue;
    }
    if (b == 0) {
      if (zeros_ == 0) zeroAt_ = at;
      if (++zeros_ >= kEsZeroRun) return Stop(w, zeroAt_);
      continue;
    }
    if (b == 1 && zeros_ >= 2) {
      codeNext_ = true;
      codeAt_ = zeroAt_;
    } else if (zeros_ >= 3) {
      // Three zero bytes come only before a start code.
      return Stop(w, zeroAt_);
    }
    zeros_ = 0;
  }
}

}  // namespace

std::unique_ptr<FormatEnd> MakeMpegEnd() { return std::unique_ptr<FormatEnd>(new MpegEnd); }

}  // namespace fileend
