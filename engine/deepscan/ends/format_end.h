// The pieces behind FileEndFinder (deepscan/file_end.h): the walk every
// format shares (bytes gathered into a small header, bytes skipped, a pattern
// searched for) and one small walker per format that reads what was gathered
// and says what comes next. The finder picks the walker from its table of
// formats; the walkers know nothing of the scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "deepscan/file_end.h"

namespace fileend {

// Files begin on a sector and their pieces lie in whole sectors: where the
// structure breaks, the sector it breaks in is where the junk begins.
constexpr uint64_t kCutUnit = 512;

class FormatEnd;

// The state of one walk through a file's bytes, and the moves a walker makes.
struct EndWalk {
  enum class Mode {
    kGather,   // the next need bytes go to hdr, then the walker's Step
    kOwn,      // the walker takes the bytes itself (FeedOwn)
    kSearch,   // the pattern is looked for, then the walker's OnSearchHit
  };

  FormatEnd* format = nullptr;
  bool done = true;
  bool cut = false;
  bool ranOut = false;
  uint64_t length = 0;
  uint64_t pos = 0;      // bytes fed so far
  uint64_t skipTo = 0;   // bytes before this offset are passed over
  Mode mode = Mode::kGather;
  int step = 0;          // where the walker is
  std::vector<uint8_t> hdr;
  size_t need = 0;
  uint64_t hdrAt = 0;    // offset of hdr[0]

  void Fail() { done = true; }
  void EndAt(uint64_t at) {
    length = at;
    done = true;
  }
  // The structure broke: the whole part is `at` bytes (at least one sector).
  void CutAt(uint64_t at);
  // The sector of `at` is where junk begins: the file ends before it.
  void CutBeforeSectorOf(uint64_t at) { CutAt(at / kCutUnit * kCutUnit); }
  // The unit beginning at `at` broke: the file ends after the sector it begins in.
  void CutAfterSectorOf(uint64_t at) { CutAt((at + kCutUnit - 1) / kCutUnit * kCutUnit); }
  void Gather(size_t count);
  void GatherAs(int next, size_t count) {
    step = next;
    Gather(count);
  }
  // Looks for pattern, or for either of two patterns of the same length.
  void StartSearch(const char* pattern, size_t patternLength, const char* other = nullptr);
  // The search over the bytes given; stops after a hit (the walker's
  // OnSearchHit has run) or when they are used up.
  void Search(const uint8_t*& data, size_t& size);

  void Feed(const uint8_t* data, size_t size);

 private:
  char pattern_[2][8] = {};
  int patternCount_ = 0;
  size_t patternLength_ = 0;
  uint8_t carry_[8] = {};
  size_t carryLength_ = 0;
};

// One format's walker. Start sets up the first gather (or search); Step
// reads a gathered header; the rest is for walkers that need it.
class FormatEnd {
 public:
  virtual ~FormatEnd() = default;
  virtual void Start(EndWalk& w) = 0;
  virtual void Step(EndWalk& w) = 0;
  virtual void FeedOwn(EndWalk& w, const uint8_t*& data, size_t& size) {
    (void)data;
    (void)size;
    w.Fail();
  }
  // at: the offset of the pattern's first byte; which: which pattern.
  virtual void OnSearchHit(EndWalk& w, uint64_t at, int which) {
    (void)at;
    (void)which;
    w.Fail();
  }
  // Bytes passed over by a skip, for a walker that checks them.
  virtual void OnSkipped(const uint8_t* data, size_t size) {
    (void)data;
    (void)size;
  }
  // The source ends here: an end the walker can give at a boundary.
  virtual bool Finish(EndWalk& w) {
    (void)w;
    return false;
  }
  // A gap in the stream: whether the length read before it still holds.
  virtual bool LengthSurvivesGap() const { return false; }
  // See FileEndFinder::Holds.
  virtual bool Holds(const EndWalk& w, uint64_t offset) const {
    (void)w;
    (void)offset;
    return false;
  }
  virtual int OfficeKind() const { return kZipPlain; }
};

// The walkers, one per format (their own files).
std::unique_ptr<FormatEnd> MakeJpegEnd();
std::unique_ptr<FormatEnd> MakePngEnd();
std::unique_ptr<FormatEnd> MakeGifEnd();
std::unique_ptr<FormatEnd> MakeBmpEnd();
std::unique_ptr<FormatEnd> MakeZipEnd();
std::unique_ptr<FormatEnd> MakeOleEnd();
std::unique_ptr<FormatEnd> MakeRiffEnd();
std::unique_ptr<FormatEnd> MakePdfEnd();
std::unique_ptr<FormatEnd> MakeMpegEnd();
std::unique_ptr<FormatEnd> MakeMp3End();
std::unique_ptr<FormatEnd> MakeIsoMediaEnd();
std::unique_ptr<FormatEnd> MakeMatroskaEnd();
std::unique_ptr<FormatEnd> MakeFlvEnd();

// Whether a part whose length the walker read (or the place where it
// expects the next structure) holds the byte at offset: what the walkers
// whose walks check what follows such a part answer.
inline bool HoldsByWalk(const EndWalk& w, uint64_t offset) {
  if (w.done) return false;
  if (offset < w.pos || w.skipTo > offset) return true;
  return w.mode == EndWalk::Mode::kGather && w.hdrAt <= offset;
}

}  // namespace fileend
