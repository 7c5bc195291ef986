#include "deepscan/file_end.h"

#include <algorithm>
#include <cstring>

namespace {

// A PDF's last "%%EOF" is looked for this far; beyond it the best end stands.
constexpr uint64_t kPdfWindow = 1ull << 30;
constexpr uint32_t kOleFreeSector = 0xFFFFFFFFu;
constexpr uint32_t kOleHighestSectorId = 0xFFFFFFF9u;   // above: special markers
constexpr size_t kOleHeaderFatEntries = 109;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}
bool IsAsciiLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool SameTypeName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
    if (x != *b) return false;
  }
  return *a == 0 && *b == 0;
}

// Zip record signatures ("PK" and two bytes).
constexpr uint32_t kZipLocal = 0x04034b50;
constexpr uint32_t kZipCentral = 0x02014b50;
constexpr uint32_t kZipEnd = 0x06054b50;
constexpr uint32_t kZip64End = 0x06064b50;
constexpr uint32_t kZip64Locator = 0x07064b50;
constexpr uint32_t kZipSignature = 0x05054b50;
constexpr uint32_t kZipExtraData = 0x08064b50;
constexpr uint32_t kZipDescriptor = 0x08074b50;

// Steps of the readers (what the bytes being gathered are).
enum JpegStep { kJpegStart, kJpegFf, kJpegCode, kJpegLength };
enum PngStep { kPngSignature, kPngChunk };
enum GifStep { kGifScreen, kGifBlock, kGifImage, kGifCodeSize, kGifLabel, kGifSubBlock };
enum ZipStep {
  kZipRecord,
  kZipLocalRest,
  kZipCentralRest,
  kZipEndRest,
  kZip64EndSize,
  kZipSignatureSize,
  kZipExtraSize,
  kZipDescriptorStart,
  kZipFoundEnd,
};
enum OleStep { kOleHeader, kOleFat };
enum RiffStep { kRiffHeader, kRiffNext };

}  // namespace

FileEndKind FileEndKindOfType(const char* type) {
  if (!type) return FileEndKind::kNone;
  struct {
    const char* name;
    FileEndKind kind;
  } static const kTypes[] = {
      {"jpg", FileEndKind::kJpeg}, {"jpeg", FileEndKind::kJpeg}, {"jpe", FileEndKind::kJpeg},
      {"png", FileEndKind::kPng},  {"gif", FileEndKind::kGif},   {"bmp", FileEndKind::kBmp},
      {"dib", FileEndKind::kBmp},  {"zip", FileEndKind::kZip},   {"docx", FileEndKind::kZip},
      {"xlsx", FileEndKind::kZip}, {"pptx", FileEndKind::kZip},  {"doc", FileEndKind::kOle},
      {"xls", FileEndKind::kOle},  {"ppt", FileEndKind::kOle},   {"avi", FileEndKind::kRiff},
      {"wav", FileEndKind::kRiff}, {"pdf", FileEndKind::kPdf},
  };
  for (const auto& t : kTypes)
    if (SameTypeName(type, t.name)) return t.kind;
  return FileEndKind::kNone;
}

void FileEndFinder::Reset(FileEndKind kind) {
  kind_ = kind;
  done_ = kind == FileEndKind::kNone;
  length_ = 0;
  pos_ = 0;
  skipTo_ = 0;
  step_ = 0;
  hdr_.clear();
  pendingFf_ = false;
  marker_ = 0;
  patternLength_ = 0;
  carryLength_ = 0;
  eolLeft_ = 0;
  zipDescriptor_ = false;
  fatSectors_.clear();
  fatNext_ = 0;
  sectorShift_ = 9;
  highestUsed_ = -1;
  switch (kind) {
    case FileEndKind::kJpeg:
    case FileEndKind::kZip:
      Gather(kind == FileEndKind::kJpeg ? 2 : 4);
      break;
    case FileEndKind::kPng:
      Gather(8);
      break;
    case FileEndKind::kGif:
      Gather(13);
      break;
    case FileEndKind::kBmp:
      Gather(18);
      break;
    case FileEndKind::kOle:
      Gather(512);
      break;
    case FileEndKind::kRiff:
      Gather(12);
      break;
    case FileEndKind::kPdf:
      StartSearch("%%EOF", 5);
      break;
    case FileEndKind::kNone:
      break;
  }
}

void FileEndFinder::Fail() { done_ = true; }

void FileEndFinder::EndAt(uint64_t length) {
  length_ = length;
  done_ = true;
}

void FileEndFinder::Break() {
  if (done_) return;
  // A RIFF size was read before the gap; anything else would be a guess.
  if (kind_ != FileEndKind::kRiff) length_ = 0;
  done_ = true;
}

void FileEndFinder::Gather(size_t count) {
  mode_ = Mode::kGather;
  hdr_.clear();
  need_ = count;
  hdrAt_ = std::max(pos_, skipTo_);
}

void FileEndFinder::GatherAs(int step, size_t count) {
  step_ = step;
  Gather(count);
}

void FileEndFinder::NextZipRecordAfter(uint64_t bytes) {
  skipTo_ = pos_ + bytes;
  GatherAs(kZipRecord, 4);
}

void FileEndFinder::StartSearch(const char* pattern, size_t length) {
  mode_ = Mode::kSearch;
  std::memcpy(pattern_, pattern, length);
  patternLength_ = length;
  carryLength_ = 0;
}

void FileEndFinder::Feed(const uint8_t* data, size_t size) {
  while (size > 0 && !done_) {
    if (pos_ < skipTo_) {
      uint64_t n = std::min<uint64_t>(size, skipTo_ - pos_);
      data += n;
      size -= static_cast<size_t>(n);
      pos_ += n;
      continue;
    }
    switch (mode_) {
      case Mode::kGather: {
        size_t n = std::min(size, need_ - hdr_.size());
        hdr_.insert(hdr_.end(), data, data + n);
        data += n;
        size -= n;
        pos_ += n;
        if (hdr_.size() == need_) Step();
        break;
      }
      case Mode::kEntropy:
        FeedEntropy(data, size);
        break;
      case Mode::kSearch:
        FeedSearch(data, size);
        break;
    }
  }
}

void FileEndFinder::Step() {
  switch (kind_) {
    case FileEndKind::kJpeg:
      StepJpeg();
      break;
    case FileEndKind::kPng:
      StepPng();
      break;
    case FileEndKind::kGif:
      StepGif();
      break;
    case FileEndKind::kBmp: {
      const uint8_t* h = hdr_.data();
      uint32_t size = Le32(h + 2), dataAt = Le32(h + 10), dib = Le32(h + 14);
      bool knownDib = dib == 12 || dib == 16 || dib == 40 || dib == 52 || dib == 56 || dib == 64 || dib == 108 ||
                      dib == 124;
      if (h[0] != 'B' || h[1] != 'M' || !knownDib || dataAt < 14 + dib || size < dataAt) {
        Fail();
        return;
      }
      EndAt(size);
      break;
    }
    case FileEndKind::kZip:
      StepZip();
      break;
    case FileEndKind::kOle:
      StepOle();
      break;
    case FileEndKind::kRiff:
      StepRiff();
      break;
    case FileEndKind::kPdf:
    case FileEndKind::kNone:
      Fail();
      break;
  }
}

void FileEndFinder::StepJpeg() {
  const uint8_t* h = hdr_.data();
  switch (step_) {
    case kJpegStart:
      if (h[0] != 0xFF || h[1] != 0xD8) return Fail();
      return GatherAs(kJpegFf, 1);
    case kJpegFf:
      if (h[0] != 0xFF) return Fail();
      return GatherAs(kJpegCode, 1);
    case kJpegCode: {
      uint8_t c = h[0];
      if (c == 0xFF) return Gather(1);   // fill byte
      if (c == 0xD9) return EndAt(pos_);
      if (c == 0x00 || c == 0xD8) return Fail();
      if ((c >= 0xD0 && c <= 0xD7) || c == 0x01) {
        return GatherAs(kJpegFf, 1);
      }
      marker_ = c;
      return GatherAs(kJpegLength, 2);
    }
    case kJpegLength: {
      uint32_t length = static_cast<uint32_t>(h[0]) << 8 | h[1];
      if (length < 2) return Fail();
      skipTo_ = pos_ + length - 2;
      if (marker_ == 0xDA) {
        mode_ = Mode::kEntropy;
        pendingFf_ = false;
        return;
      }
      return GatherAs(kJpegFf, 1);
    }
  }
  Fail();
}

void FileEndFinder::FeedEntropy(const uint8_t*& data, size_t& size) {
  while (size > 0 && !done_ && mode_ == Mode::kEntropy) {
    if (pendingFf_) {
      uint8_t b = data[0];
      ++data;
      --size;
      ++pos_;
      if (b == 0xFF) continue;   // fill: the marker follows
      pendingFf_ = false;
      if (b == 0x00 || (b >= 0xD0 && b <= 0xD7)) continue;   // stuffed byte, restart marker
      if (b == 0xD9) return EndAt(pos_);
      if (b == 0xD8) return Fail();
      if (b == 0x01) {
        GatherAs(kJpegFf, 1);
        return;
      }
      // Another segment (tables, the next scan of a progressive picture).
      marker_ = b;
      GatherAs(kJpegLength, 2);
      return;
    }
    const void* ff = std::memchr(data, 0xFF, size);
    size_t n = ff ? static_cast<size_t>(static_cast<const uint8_t*>(ff) - data) + 1 : size;
    data += n;
    size -= n;
    pos_ += n;
    if (ff) pendingFf_ = true;
  }
}

void FileEndFinder::StepPng() {
  const uint8_t* h = hdr_.data();
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (step_ == kPngSignature) {
    if (std::memcmp(h, kSignature, 8) != 0) return Fail();
    return GatherAs(kPngChunk, 8);
  }
  uint32_t length = Be32(h);
  if (length > 0x7FFFFFFFu) return Fail();
  for (int i = 4; i < 8; ++i)
    if (!IsAsciiLetter(h[i])) return Fail();
  uint64_t next = pos_ + length + 4;   // data and CRC
  if (std::memcmp(h + 4, "IEND", 4) == 0) return EndAt(next);
  skipTo_ = next;
  Gather(8);
}

void FileEndFinder::StepGif() {
  const uint8_t* h = hdr_.data();
  switch (step_) {
    case kGifScreen:
      if (std::memcmp(h, "GIF87a", 6) != 0 && std::memcmp(h, "GIF89a", 6) != 0) return Fail();
      if (h[10] & 0x80) skipTo_ = pos_ + 3u * (2u << (h[10] & 7));   // global colour table
      return GatherAs(kGifBlock, 1);
    case kGifBlock:
      if (h[0] == 0x2C) {
        return GatherAs(kGifImage, 9);
      }
      if (h[0] == 0x21) {
        return GatherAs(kGifLabel, 1);
      }
      if (h[0] == 0x3B) return EndAt(pos_);
      return Fail();
    case kGifImage:
      if (h[8] & 0x80) skipTo_ = pos_ + 3u * (2u << (h[8] & 7));   // local colour table
      return GatherAs(kGifCodeSize, 1);
    case kGifCodeSize:
      if (h[0] > 12) return Fail();
      return GatherAs(kGifSubBlock, 1);
    case kGifLabel:
      return GatherAs(kGifSubBlock, 1);
    case kGifSubBlock:
      if (h[0] == 0) {
        return GatherAs(kGifBlock, 1);
      }
      skipTo_ = pos_ + h[0];
      return Gather(1);
  }
  Fail();
}

void FileEndFinder::StepZip() {
  const uint8_t* h = hdr_.data();
  switch (step_) {
    case kZipRecord:
      switch (Le32(h)) {
        case kZipLocal:
          return GatherAs(kZipLocalRest, 26);
        case kZipCentral:
          return GatherAs(kZipCentralRest, 42);
        case kZipEnd:
          return GatherAs(kZipEndRest, 18);
        case kZip64End:
          return GatherAs(kZip64EndSize, 8);
        case kZip64Locator:
          skipTo_ = pos_ + 16;
          return Gather(4);
        case kZipSignature:
          return GatherAs(kZipSignatureSize, 2);
        case kZipExtraData:
          return GatherAs(kZipExtraSize, 4);
        default:
          // Not a record where one should be: find the end record instead.
          return StartSearch("PK\x05\x06", 4);
      }
    case kZipLocalRest: {
      uint16_t flags = Le16(h + 2);
      uint32_t packed = Le32(h + 14);
      uint32_t names = static_cast<uint32_t>(Le16(h + 22)) + Le16(h + 24);
      // Sizes that follow the data, or live in a zip64 field: the walk cannot
      // step over the data, the end record still tells where the file ends.
      if (((flags & 8) && packed == 0) || packed == 0xFFFFFFFFu) return StartSearch("PK\x05\x06", 4);
      skipTo_ = pos_ + names + packed;
      zipDescriptor_ = (flags & 8) != 0;
      step_ = zipDescriptor_ ? kZipDescriptorStart : kZipRecord;
      return Gather(4);
    }
    case kZipDescriptorStart:
      // CRC, sizes; with or without a signature of its own.
      return NextZipRecordAfter(Le32(h) == kZipDescriptor ? 12 : 8);
    case kZipCentralRest: {
      uint32_t more = static_cast<uint32_t>(Le16(h + 24)) + Le16(h + 26) + Le16(h + 28);
      return NextZipRecordAfter(more);
    }
    case kZipEndRest:
      return EndAt(pos_ + Le16(h + 16));
    case kZip64EndSize: {
      uint64_t size = static_cast<uint64_t>(Le32(h)) | static_cast<uint64_t>(Le32(h + 4)) << 32;
      if (size > (1ull << 32)) return Fail();
      return NextZipRecordAfter(size);
    }
    case kZipSignatureSize:
      return NextZipRecordAfter(Le16(h));
    case kZipExtraSize:
      return NextZipRecordAfter(Le32(h));
    case kZipFoundEnd: {
      // An end record found by searching must point back at its central
      // directory, which ends where the record begins.
      uint64_t at = hdrAt_ - 4;
      uint32_t cdSize = Le32(h + 8), cdOffset = Le32(h + 12);
      if (cdOffset == 0xFFFFFFFFu || static_cast<uint64_t>(cdOffset) + cdSize == at)
        return EndAt(pos_ + Le16(h + 16));
      return StartSearch("PK\x05\x06", 4);
    }
  }
  Fail();
}

void FileEndFinder::StepOle() {
  const uint8_t* h = hdr_.data();
  if (step_ == kOleHeader) {
    static const uint8_t kMagic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (std::memcmp(h, kMagic, 8) != 0) return Fail();
    uint16_t shift = Le16(h + 30);
    if (shift != 9 && shift != 12) return Fail();
    sectorShift_ = shift;
    uint32_t fatCount = Le32(h + 44);
    // Larger files list the rest of their table elsewhere; their end is not told.
    if (fatCount == 0 || fatCount > kOleHeaderFatEntries) return Fail();
    for (uint32_t i = 0; i < fatCount; ++i) {
      uint32_t id = Le32(h + 76 + 4 * i);
      if (id > kOleHighestSectorId) return Fail();
      fatSectors_.push_back({(static_cast<uint64_t>(id) + 1) << shift, i});
    }
    std::sort(fatSectors_.begin(), fatSectors_.end(),
              [](const FatSector& a, const FatSector& b) { return a.offset < b.offset; });
    step_ = kOleFat;
  } else {
    uint32_t perSector = (1u << sectorShift_) / 4;
    uint64_t first = static_cast<uint64_t>(fatSectors_[fatNext_].index) * perSector;
    for (uint32_t k = 0; k < perSector; ++k)
      if (Le32(h + 4 * k) != kOleFreeSector) highestUsed_ = std::max<int64_t>(highestUsed_, first + k);
    ++fatNext_;
  }
  if (fatNext_ == fatSectors_.size()) {
    if (highestUsed_ < 0) return Fail();
    // The header is one sector, then sectors 0 .. highest.
    return EndAt((static_cast<uint64_t>(highestUsed_) + 2) << sectorShift_);
  }
  uint64_t at = fatSectors_[fatNext_].offset;
  if (at < pos_) return Fail();   // inside the header, or listed twice
  skipTo_ = at;
  Gather(static_cast<size_t>(1) << sectorShift_);
}

void FileEndFinder::StepRiff() {
  const uint8_t* h = hdr_.data();
  bool isRiff = std::memcmp(h, "RIFF", 4) == 0;
  uint32_t size = Le32(h + 4);
  if (step_ == kRiffNext) {
    // OpenDML: a large AVI goes on in further "RIFF....AVIX" lists.
    if (!isRiff || std::memcmp(h + 8, "AVIX", 4) != 0 || size < 4) return Fail();
  } else if (!isRiff || size < 4) {
    return Fail();
  }
  uint64_t end = hdrAt_ + 8 + size + (size & 1);
  length_ = end;
  if (std::memcmp(h + 8, "AVI", 3) != 0) return EndAt(end);
  skipTo_ = end;
  GatherAs(kRiffNext, 12);
}

void FileEndFinder::FeedSearch(const uint8_t*& data, size_t& size) {
  // Line ends that belong to a PDF's "%%EOF".
  while (eolLeft_ > 0 && size > 0) {
    uint8_t b = data[0];
    if (b == '\n' || (b == '\r' && eolLeft_ == 2)) {
      ++data;
      --size;
      ++pos_;
      length_ = pos_;
      eolLeft_ = b == '\r' ? 1 : 0;
      continue;
    }
    eolLeft_ = 0;
  }
  if (size == 0) return;
  if (kind_ == FileEndKind::kPdf) {
    if (pos_ >= kPdfWindow) return Fail();
    size = static_cast<size_t>(std::min<uint64_t>(size, kPdfWindow - pos_));
  }
  const size_t m = patternLength_;
  // A pattern that began in the bytes fed before.
  if (carryLength_ > 0) {
    uint8_t joined[16];
    size_t head = std::min(size, m - 1);
    std::memcpy(joined, carry_, carryLength_);
    std::memcpy(joined + carryLength_, data, head);
    size_t total = carryLength_ + head;
    for (size_t j = 0; j < carryLength_ && j + m <= total; ++j) {
      if (std::memcmp(joined + j, pattern_, m) == 0) {
        size_t used = j + m - carryLength_;
        data += used;
        size -= used;
        pos_ += used;
        carryLength_ = 0;
        OnSearchHit(pos_ - m);
        return;
      }
    }
  }
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  while (p < end) {
    const void* f = std::memchr(p, static_cast<uint8_t>(pattern_[0]), static_cast<size_t>(end - p));
    if (!f) break;
    const uint8_t* at = static_cast<const uint8_t*>(f);
    if (static_cast<size_t>(end - at) < m) break;
    if (std::memcmp(at, pattern_, m) == 0) {
      size_t used = static_cast<size_t>(at - data) + m;
      data += used;
      size -= used;
      pos_ += used;
      carryLength_ = 0;
      OnSearchHit(pos_ - m);
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
  pos_ += size;
  data += size;
  size = 0;
}

void FileEndFinder::OnSearchHit(uint64_t at) {
  if (kind_ == FileEndKind::kPdf) {
    length_ = at + patternLength_;
    eolLeft_ = 2;
    return;
  }
  // The zip end record: check it, then take its comment.
  GatherAs(kZipFoundEnd, 18);
}
