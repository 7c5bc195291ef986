#include "deepscan/file_end.h"

#include <algorithm>

#include "deepscan/ends/format_end.h"

using fileend::EndWalk;
using fileend::FormatEnd;

namespace {

bool SameTypeName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
    if (x != *b) return false;
  }
  return *a == 0 && *b == 0;
}

// The formats: each walker, and the type names (extensions) it walks.
struct FormatRow {
  FileEndKind kind;
  std::unique_ptr<FormatEnd> (*make)();
  const char* names[6];
};

const FormatRow kFormats[] = {
    {FileEndKind::kJpeg, fileend::MakeJpegEnd, {"jpg", "jpeg", "jpe"}},
    {FileEndKind::kPng, fileend::MakePngEnd, {"png"}},
    {FileEndKind::kGif, fileend::MakeGifEnd, {"gif"}},
    {FileEndKind::kBmp, fileend::MakeBmpEnd, {"bmp", "dib"}},
    {FileEndKind::kZip, fileend::MakeZipEnd, {"zip", "docx", "xlsx", "pptx"}},
    {FileEndKind::kOle, fileend::MakeOleEnd, {"doc", "xls", "ppt"}},
    {FileEndKind::kRiff, fileend::MakeRiffEnd, {"avi", "wav"}},
    {FileEndKind::kPdf, fileend::MakePdfEnd, {"pdf"}},
    {FileEndKind::kMpeg, fileend::MakeMpegEnd, {"mpg", "mpeg", "mpe", "vob", "m2v"}},
    {FileEndKind::kMp3, fileend::MakeMp3End, {"mp3"}},
    {FileEndKind::kIsoMedia, fileend::MakeIsoMediaEnd, {"mp4", "m4v", "m4a", "3gp"}},
    {FileEndKind::kMatroska, fileend::MakeMatroskaEnd, {"mkv", "webm"}},
    {FileEndKind::kFlv, fileend::MakeFlvEnd, {"flv"}},
};

}  // namespace

FileEndKind FileEndKindOfType(const char* type) {
  if (!type) return FileEndKind::kNone;
  for (const FormatRow& row : kFormats)
    for (const char* name : row.names)
      if (name && SameTypeName(type, name)) return row.kind;
  return FileEndKind::kNone;
}

// --- the walk the formats share ---------------------------------------------

namespace fileend {

void EndWalk::CutAt(uint64_t at) {
  length = std::max(at, kCutUnit);
  cut = true;
  done = true;
}

void EndWalk::Gather(size_t count) {
  mode = Mode::kGather;
  hdr.clear();
  need = count;
  hdrAt = std::max(pos, skipTo);
}

void EndWalk::StartSearch(const char* pattern, size_t patternLength, const char* other) {
  mode = Mode::kSearch;
  std::memcpy(pattern_[0], pattern, patternLength);
  patternCount_ = 1;
  if (other) {
    std::memcpy(pattern_[1], other, patternLength);
    patternCount_ = 2;
  }
  patternLength_ = patternLength;
  carryLength_ = 0;
}

void EndWalk::Feed(const uint8_t* data, size_t size) {
  while (size > 0 && !done) {
    if (pos < skipTo) {
      uint64_t n = std::min<uint64_t>(size, skipTo - pos);
      format->OnSkipped(data, static_cast<size_t>(n));
      data += n;
      size -= static_cast<size_t>(n);
      pos += n;
      continue;
    }
    switch (mode) {
      case Mode::kGather: {
        size_t n = std::min(size, need - hdr.size());
        hdr.insert(hdr.end(), data, data + n);
        data += n;
        size -= n;
        pos += n;
        if (hdr.size() == need) format->Step(*this);
        break;
      }
      case Mode::kOwn:
        format->FeedOwn(*this, data, size);
        break;
      case Mode::kSearch:
        Search(data, size);
        break;
    }
  }
}

void EndWalk::Search(const uint8_t*& data, size_t& size) {
  if (size == 0) return;
  const size_t m = patternLength_;
  auto which = [&](const uint8_t* at) {
    for (int k = 0; k < patternCount_; ++k)
      if (std::memcmp(at, pattern_[k], m) == 0) return k;
    return -1;
  };
  // A pattern that began in the bytes fed before.
  if (carryLength_ > 0) {
    uint8_t joined[16];
    size_t head = std::min(size, m - 1);
    std::memcpy(joined, carry_, carryLength_);
    std::memcpy(joined + carryLength_, data, head);
    size_t total = carryLength_ + head;
    for (size_t j = 0; j < carryLength_ && j + m <= total; ++j) {
      int k = which(joined + j);
      if (k >= 0) {
        size_t used = j + m - carryLength_;
        data += used;
        size -= used;
        pos += used;
        carryLength_ = 0;
        format->OnSearchHit(*this, pos - m, k);
        return;
      }
    }
  }
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  while (p < end) {
    // Both patterns of a pair begin with the same byte.
    const void* f = std::memchr(p, static_cast<uint8_t>(pattern_[0][0]), static_cast<size_t>(end - p));
    if (!f) break;
    const uint8_t* at = static_cast<const uint8_t*>(f);
    if (static_cast<size_t>(end - at) < m) break;
    int k = which(at);
    if (k >= 0) {
      size_t used = static_cast<size_t>(at - data) + m;
      data += used;
      size -= used;
      pos += used;
      carryLength_ = 0;
      format->OnSearchHit(*this, pos - m, k);
      return;
    }
    p = at + 1;
  }
  // Keep the tail that could be the start of a pattern split by the next feed.
  uint8_t joined[16];
  size_t keep = m - 1;
  size_t total = 0;
  if (size < keep) {
    std::memcpy(joined, carry_, carryLength_);
    total = carryLength_;
  }
  size_t fromData = std::min(size, keep);
  std::memcpy(joined + total, data + size - fromData, fromData);
  total += fromData;
  carryLength_ = std::min(total, keep);
  std::memcpy(carry_, joined + total - carryLength_, carryLength_);
  pos += size;
  data += size;
  size = 0;
}

}  // namespace fileend

// --- the finder ----------------------------------------------------------------

FileEndFinder::FileEndFinder(FileEndKind kind) : walk_(new EndWalk) { Reset(kind); }

FileEndFinder::~FileEndFinder() = default;

void FileEndFinder::Reset(FileEndKind kind) {
  // The header buffer is kept: a disk of small files resets once per hit.
  std::vector<uint8_t> hdr;
  hdr.swap(walk_->hdr);
  *walk_ = EndWalk();
  hdr.clear();
  walk_->hdr.swap(hdr);
  format_.reset();
  for (const FormatRow& row : kFormats)
    if (row.kind == kind) format_ = row.make();
  if (!format_) return;   // no structure known: done, length unknown
  walk_->format = format_.get();
  walk_->done = false;
  format_->Start(*walk_);
}

void FileEndFinder::Feed(const uint8_t* data, size_t size) {
  if (format_) walk_->Feed(data, size);
}

void FileEndFinder::Break() {
  if (walk_->done) return;
  // A length read before the gap stands only where the format says so.
  if (!format_->LengthSurvivesGap()) walk_->length = 0;
  walk_->done = true;
}

void FileEndFinder::Finish() {
  if (walk_->done) return;
  if (format_->Finish(*walk_)) return;
  walk_->ranOut = true;
  walk_->Fail();
}

bool FileEndFinder::done() const { return walk_->done; }
bool FileEndFinder::cut() const { return walk_->cut; }
bool FileEndFinder::ranOut() const { return walk_->ranOut; }
uint64_t FileEndFinder::length() const { return walk_->length; }
uint64_t FileEndFinder::fed() const { return walk_->pos; }

bool FileEndFinder::Holds(uint64_t offset) const { return format_ && format_->Holds(*walk_, offset); }

int FileEndFinder::OfficeKind() const { return format_ ? format_->OfficeKind() : kZipPlain; }
