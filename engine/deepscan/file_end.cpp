#include "deepscan/file_end.h"

#include <algorithm>
#include <cstring>

namespace {

// A PDF's last "%%EOF" is looked for this far; beyond it the best end stands.
constexpr uint64_t kPdfWindow = 1ull << 30;
constexpr uint32_t kOleFreeSector = 0xFFFFFFFFu;
constexpr uint32_t kOleHighestSectorId = 0xFFFFFFF9u;   // above: special markers
constexpr size_t kOleHeaderFatEntries = 109;
// Files begin on a sector and their pieces lie in whole sectors: where the
// structure breaks, the sector it breaks in is where the junk begins.
constexpr uint64_t kCutUnit = 512;

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
enum PngStep { kPngSignature, kPngChunk, kPngCrc };
enum GifStep { kGifScreen, kGifBlock, kGifImage, kGifCodeSize, kGifLabel, kGifSubBlock };
enum ZipStep {
  kZipRecord,
  kZipLocalRest,
  kZipName,
  kZipCentralRest,
  kZipEndRest,
  kZip64EndSize,
  kZipSignatureSize,
  kZipExtraSize,
  kZipDescriptorStart,
  kZipFoundEnd,
  kZipDescriptorCheck,
};
enum OleStep { kOleHeader, kOleFat };
enum RiffStep { kRiffHeader, kRiffNext };
enum MpegStep { kMpegStart, kMpegPack, kMpegPack2, kMpegCode, kMpegLength };
enum Mp3Step { kMp3Start, kMp3Frame, kMp3Tail };
enum IsoStep { kIsoBox, kIsoLargeSize };
enum MatroskaStep { kMkvHeaderSize, kMkvHeaderSizeRest, kMkvSegmentId, kMkvSegmentSize, kMkvSegmentSizeRest };
enum FlvStep { kFlvHeader, kFlvFirstSize, kFlvTag, kFlvTagSize };

constexpr uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr uint32_t kMatroskaSegmentId = 0x18538067;

uint64_t Be64(const uint8_t* p) {
  return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4);
}

// A top-level box type of the ISO media family: four lower-case letters,
// digits or spaces (every box the formats put at the top), "uuid" included.
bool IsBoxType(const uint8_t* t) {
  for (int i = 0; i < 4; ++i) {
    uint8_t c = t[i];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ')) return false;
  }
  return true;
}

// The length of an EBML variable-size number from its first byte: 1 to 8,
// 0 for a first byte of 0.
uint32_t VintLength(uint8_t first) {
  for (uint32_t n = 1; n <= 8; ++n)
    if (first & (0x80u >> (n - 1))) return n;
  return 0;
}

// What the names of a zip's entries showed.
constexpr uint32_t kSawContentTypes = 1;
constexpr uint32_t kSawWordMain = 2, kSawExcelMain = 4, kSawPowerPointMain = 8;
constexpr uint32_t kSawWord = 16, kSawExcel = 32, kSawPowerPoint = 64;
// Enough of an entry's name to tell the Office parts apart.
constexpr size_t kZipNameLook = 64;
// A raw video stream pads with zero bytes only before a start code, and
// never with this many: the stream ended where they began.
constexpr uint32_t kEsZeroRun = 4096;

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

// The markers that may follow a scan's entropy-coded data: tables, a restart
// interval, the next scan, the line count, application data and comments.
bool MayFollowScan(uint8_t code) {
  return code == 0xC4 || code == 0xCC || (code >= 0xDA && code <= 0xDD) || (code >= 0xE0 && code <= 0xEF) ||
         code == 0xFE;
}

// The CRC of PNG chunks (ISO 3309, as zlib computes it), one byte at a time
// from a table.
const uint32_t* CrcTable() {
  static const struct Table {
    uint32_t v[256];
    Table() {
      for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        v[n] = c;
      }
    }
  } table;
  return table.v;
}

uint32_t CrcUpdate(uint32_t crc, const uint8_t* data, size_t size) {
  const uint32_t* t = CrcTable();
  for (size_t i = 0; i < size; ++i) crc = t[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

bool NameIs(const std::vector<uint8_t>& name, uint32_t fullLength, const char* text) {
  size_t n = std::strlen(text);
  return fullLength == n && name.size() == n && std::memcmp(name.data(), text, n) == 0;
}

bool NameStarts(const std::vector<uint8_t>& name, const char* text) {
  size_t n = std::strlen(text);
  return name.size() >= n && std::memcmp(name.data(), text, n) == 0;
}

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
      {"wav", FileEndKind::kRiff}, {"pdf", FileEndKind::kPdf},   {"mpg", FileEndKind::kMpeg},
      {"mpeg", FileEndKind::kMpeg}, {"mpe", FileEndKind::kMpeg}, {"vob", FileEndKind::kMpeg},
      {"m2v", FileEndKind::kMpeg}, {"mp3", FileEndKind::kMp3},   {"mp4", FileEndKind::kIsoMedia},
      {"m4v", FileEndKind::kIsoMedia}, {"m4a", FileEndKind::kIsoMedia}, {"3gp", FileEndKind::kIsoMedia},
      {"mkv", FileEndKind::kMatroska}, {"webm", FileEndKind::kMatroska}, {"flv", FileEndKind::kFlv},
  };
  for (const auto& t : kTypes)
    if (SameTypeName(type, t.name)) return t.kind;
  return FileEndKind::kNone;
}

void FileEndFinder::Reset(FileEndKind kind) {
  kind_ = kind;
  done_ = kind == FileEndKind::kNone;
  cut_ = false;
  ranOut_ = false;
  length_ = 0;
  pos_ = 0;
  skipTo_ = 0;
  step_ = 0;
  hdr_.clear();
  pendingFf_ = false;
  marker_ = 0;
  restartNext_ = 0;
  segmentAt_ = 0;
  sectorHeadLength_ = sizeof sectorHead_;
  crc_ = 0;
  chunkAt_ = 0;
  zipRecordAt_ = 0;
  patternLength_ = 0;
  carryLength_ = 0;
  eolLeft_ = 0;
  zipDescriptor_ = false;
  zipNameLength_ = 0;
  zipAfterName_ = 0;
  zipDataAt_ = 0;
  zipPackedSize_ = 0;
  zipCentral_ = false;
  zipNames_ = 0;
  patternCount_ = 0;
  mpegUnits_ = 0;
  mpegUnitAt_ = 0;
  esZeros_ = 0;
  esZeroAt_ = 0;
  esCodeNext_ = false;
  esCodeAt_ = 0;
  mp3Frames_ = 0;
  mp3Kind_ = 0;
  mp3Zeros_ = 0;
  mp3TagAt_ = 0;
  boxes_ = 0;
  sawMovie_ = false;
  boxAt_ = 0;
  movieBox_ = false;
  ebmlId_ = 0;
  vintLength_ = 0;
  flvTagSize_ = 0;
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
    case FileEndKind::kMpeg:
      Gather(4);
      break;
    case FileEndKind::kMp3:
      Gather(10);
      break;
    case FileEndKind::kIsoMedia:
      Gather(8);
      break;
    case FileEndKind::kMatroska:
      // The header's number, then the first byte of its size.
      skipTo_ = 4;
      step_ = kMkvHeaderSize;
      Gather(1);
      break;
    case FileEndKind::kFlv:
      Gather(9);
      break;
    case FileEndKind::kNone:
      break;
  }
}

void FileEndFinder::Fail() { done_ = true; }

void FileEndFinder::CutAt(uint64_t length) {
  length_ = std::max(length, kCutUnit);
  cut_ = true;
  done_ = true;
}

void FileEndFinder::CutBeforeSectorOf(uint64_t at) { CutAt(at / kCutUnit * kCutUnit); }

void FileEndFinder::CutAfterSectorOf(uint64_t at) { CutAt((at + kCutUnit - 1) / kCutUnit * kCutUnit); }

bool FileEndFinder::LooksLikeFileSystemSector(const uint8_t* head) const {
  // An NTFS record (file record, index block, log page) with its update
  // sequence where the volume puts it.
  if (std::memcmp(head, "FILE", 4) == 0 || std::memcmp(head, "INDX", 4) == 0 || std::memcmp(head, "RCRD", 4) == 0 ||
      std::memcmp(head, "RSTR", 4) == 0) {
    const uint16_t usaOffset = Le16(head + 4), usaCount = Le16(head + 6);
    return usaOffset >= 0x1E && usaOffset <= 0x30 && usaOffset % 2 == 0 && usaCount >= 2 && usaCount <= 17;
  }
  // The first sector of a FAT directory: its "." entry.
  return std::memcmp(head, ".       ", 8) == 0;
}

bool FileEndFinder::Holds(uint64_t offset) const {
  switch (kind_) {
    case FileEndKind::kJpeg:
    case FileEndKind::kPng:
    case FileEndKind::kZip:
    case FileEndKind::kOle:
      break;
    default:
      return false;
  }
  // A compound file's end comes from its allocation table, not from a size
  // field that junk could hold.
  if (done_) return kind_ == FileEndKind::kOle && !cut_ && length_ > offset;
  if (offset < pos_ || skipTo_ > offset) return true;
  return mode_ == Mode::kGather && hdrAt_ <= offset;
}

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

void FileEndFinder::Finish() {
  if (done_) return;
  const bool boundary = mode_ == Mode::kGather && pos_ >= hdrAt_;
  if (kind_ == FileEndKind::kMp3 && boundary && step_ == kMp3Frame && mp3Frames_ > 0) return EndAt(hdrAt_);
  if (kind_ == FileEndKind::kMp3 && step_ == kMp3Tail) return EndAt(mp3TagAt_);
  if (kind_ == FileEndKind::kMpeg && boundary && step_ == kMpegCode) return MpegStop(hdrAt_);
  if (kind_ == FileEndKind::kIsoMedia && boundary && step_ == kIsoBox) return EndAfterUnits(hdrAt_);
  if (kind_ == FileEndKind::kFlv && boundary && step_ == kFlvTag) return EndAfterUnits(hdrAt_);
  // A video stream that ran out in zero bytes that no picture can hold.
  if (kind_ == FileEndKind::kMpeg && mode_ == Mode::kStartCodes && !esCodeNext_ && esZeros_ >= 3 && mpegUnits_ > 0)
    return EndAt(esZeroAt_);
  ranOut_ = true;
  Fail();
}

int FileEndFinder::OfficeKind() const {
  if (!(zipNames_ & kSawContentTypes)) return kZipPlain;
  auto only = [](uint32_t word, uint32_t excel, uint32_t powerPoint, int* kind) {
    int n = (word != 0) + (excel != 0) + (powerPoint != 0);
    if (n != 1) return false;
    *kind = word ? kZipWord : excel ? kZipExcel : kZipPowerPoint;
    return true;
  };
  int kind = kZipPlain;
  // The main part decides; a package with none of them, the folders.
  if (only(zipNames_ & kSawWordMain, zipNames_ & kSawExcelMain, zipNames_ & kSawPowerPointMain, &kind)) return kind;
  if (zipNames_ & (kSawWordMain | kSawExcelMain | kSawPowerPointMain)) return kZipPlain;
  if (only(zipNames_ & kSawWord, zipNames_ & kSawExcel, zipNames_ & kSawPowerPoint, &kind)) return kind;
  return kZipPlain;
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

void FileEndFinder::StartSearch(const char* pattern, size_t length, const char* other) {
  mode_ = Mode::kSearch;
  std::memcpy(pattern_[0], pattern, length);
  patternCount_ = 1;
  if (other) {
    std::memcpy(pattern_[1], other, length);
    patternCount_ = 2;
  }
  patternLength_ = length;
  carryLength_ = 0;
}

void FileEndFinder::Feed(const uint8_t* data, size_t size) {
  while (size > 0 && !done_) {
    if (pos_ < skipTo_) {
      uint64_t n = std::min<uint64_t>(size, skipTo_ - pos_);
      if (kind_ == FileEndKind::kPng) crc_ = CrcUpdate(crc_, data, static_cast<size_t>(n));
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
      case Mode::kStartCodes:
        FeedStartCodes(data, size);
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
    case FileEndKind::kMpeg:
      StepMpeg();
      break;
    case FileEndKind::kMp3:
      StepMp3();
      break;
    case FileEndKind::kIsoMedia:
      StepIsoMedia();
      break;
    case FileEndKind::kMatroska:
      StepMatroska();
      break;
    case FileEndKind::kFlv:
      StepFlv();
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
      // The segment before ran into bytes that are no marker.
      if (h[0] != 0xFF) return CutBeforeSectorOf(segmentAt_);
      segmentAt_ = hdrAt_;
      return GatherAs(kJpegCode, 1);
    case kJpegCode: {
      uint8_t c = h[0];
      if (c == 0xFF) return Gather(1);   // fill byte
      if (c == 0xD9) return EndAt(pos_);
      if (c == 0x00 || c == 0xD8) return CutBeforeSectorOf(segmentAt_);
      if ((c >= 0xD0 && c <= 0xD7) || c == 0x01) {
        return GatherAs(kJpegFf, 1);
      }
      marker_ = c;
      return GatherAs(kJpegLength, 2);
    }
    case kJpegLength: {
      uint32_t length = static_cast<uint32_t>(h[0]) << 8 | h[1];
      if (length < 2) return CutBeforeSectorOf(segmentAt_);
      skipTo_ = pos_ + length - 2;
      if (marker_ == 0xDA) {
        // A scan header names one to four components, two bytes each.
        if (length < 8 || length > 14 || length % 2 != 0) return CutBeforeSectorOf(segmentAt_);
        mode_ = Mode::kEntropy;
        pendingFf_ = false;
        restartNext_ = 0;
        sectorHeadLength_ = sizeof sectorHead_;   // from the next sector on
        return;
      }
      return GatherAs(kJpegFf, 1);
    }
  }
  Fail();
}

void FileEndFinder::FeedEntropy(const uint8_t*& data, size_t& size) {
  while (size > 0 && !done_ && mode_ == Mode::kEntropy) {
    // One sector at a time: the first bytes of each are looked at for
    // another file system's structures, as they are walked.
    const size_t inSector = static_cast<size_t>(pos_ % kCutUnit);
    if (inSector == 0) sectorHeadLength_ = 0;
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(size, kCutUnit - inSector));
    const bool head = sectorHeadLength_ == inSector && inSector < sizeof sectorHead_;
    if (head) {
      chunk = std::min(chunk, sizeof sectorHead_ - inSector);
      std::memcpy(sectorHead_ + inSector, data, chunk);
      sectorHeadLength_ += chunk;
    }
    size_t left = chunk;
    WalkEntropy(data, left);
    size -= chunk - left;
    if (head && left == 0 && !done_ && mode_ == Mode::kEntropy && sectorHeadLength_ == sizeof sectorHead_ &&
        LooksLikeFileSystemSector(sectorHead_))
      return CutBeforeSectorOf(pos_ - 1);
  }
}

void FileEndFinder::WalkEntropy(const uint8_t*& data, size_t& size) {
  while (size > 0 && !done_ && mode_ == Mode::kEntropy) {
    if (pendingFf_) {
      uint8_t b = data[0];
      ++data;
      --size;
      ++pos_;
      if (b == 0xFF) continue;   // fill: the marker follows
      pendingFf_ = false;
      if (b == 0x00) continue;   // a stuffed byte
      if (b >= 0xD0 && b <= 0xD7) {
        // Restart markers come in turn; one out of turn is another file's byte.
        if ((b & 7) != restartNext_) return CutBeforeSectorOf(pos_ - 1);
        restartNext_ = static_cast<uint8_t>((restartNext_ + 1) & 7);
        continue;
      }
      if (b == 0xD9) return EndAt(pos_);
      if (!MayFollowScan(b)) return CutBeforeSectorOf(pos_ - 1);
      // Another segment (tables, the next scan of a progressive picture).
      marker_ = b;
      segmentAt_ = pos_ - 2;
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
  switch (step_) {
    case kPngSignature:
      if (std::memcmp(h, kSignature, 8) != 0) return Fail();
      chunkAt_ = pos_;
      return GatherAs(kPngChunk, 8);
    case kPngChunk: {
      // A chunk whose length or type is none, or whose CRC disagrees, is
      // where the picture's own bytes stopped: the chunks before it are whole.
      uint32_t length = Be32(h);
      if (length > 0x7FFFFFFFu) return CutAfterSectorOf(chunkAt_);
      for (int i = 4; i < 8; ++i)
        if (!IsAsciiLetter(h[i])) return CutAfterSectorOf(chunkAt_);
      marker_ = std::memcmp(h + 4, "IEND", 4) == 0;
      crc_ = CrcUpdate(0xFFFFFFFFu, h + 4, 4);
      skipTo_ = pos_ + length;   // the data, added to the CRC as it passes
      return GatherAs(kPngCrc, 4);
    }
    case kPngCrc:
      if ((crc_ ^ 0xFFFFFFFFu) != Be32(h)) return CutAfterSectorOf(chunkAt_);
      if (marker_) return EndAt(pos_);
      chunkAt_ = pos_;
      return GatherAs(kPngChunk, 8);
  }
  Fail();
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
    case kZipRecord: {
      const uint64_t lastRecord = zipRecordAt_;
      zipRecordAt_ = hdrAt_;
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
          // Not a record where one should be: the entry before it ran into
          // other bytes, and the entries before that one are what is whole.
          return CutAfterSectorOf(lastRecord);
      }
    }
    case kZipLocalRest: {
      uint16_t flags = Le16(h + 2);
      zipPackedSize_ = Le32(h + 14);
      zipDescriptor_ = (flags & 8) != 0;
      zipCentral_ = false;
      zipNameLength_ = Le16(h + 22);
      zipAfterName_ = Le16(h + 24);   // the extra field; the data follows
      if (zipNameLength_ == 0) return NoteZipName();
      return GatherAs(kZipName, std::min<size_t>(zipNameLength_, kZipNameLook));
    }
    case kZipName:
      return NoteZipName();
    case kZipDescriptorCheck: {
      // A descriptor of this entry holds the size of the data before it; the
      // same bytes inside the data are a coincidence, and the search goes on.
      uint64_t packed = hdrAt_ - 4 - zipDataAt_;
      if (Le32(h + 4) == static_cast<uint32_t>(packed)) {
        if (packed <= 0xFFFFFFFFu) return NextZipRecordAfter(0);
        if (Le32(h + 8) == static_cast<uint32_t>(packed >> 32)) return NextZipRecordAfter(8);   // zip64 sizes
      }
      return StartSearch("PK\x07\x08", 4, "PK\x05\x06");
    }
    case kZipDescriptorStart:
      // CRC, sizes; with or without a signature of its own.
      return NextZipRecordAfter(Le32(h) == kZipDescriptor ? 12 : 8);
    case kZipCentralRest: {
      zipCentral_ = true;
      zipNameLength_ = Le16(h + 24);
      zipAfterName_ = static_cast<uint32_t>(Le16(h + 26)) + Le16(h + 28);   // extra field, comment
      if (zipNameLength_ == 0) return NoteZipName();
      return GatherAs(kZipName, std::min<size_t>(zipNameLength_, kZipNameLook));
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

void FileEndFinder::NoteZipName() {
  const uint32_t read = step_ == kZipName ? static_cast<uint32_t>(hdr_.size()) : 0;
  if (read > 0) {
    if (NameIs(hdr_, zipNameLength_, "[Content_Types].xml")) zipNames_ |= kSawContentTypes;
    if (NameIs(hdr_, zipNameLength_, "word/document.xml")) zipNames_ |= kSawWordMain;
    if (NameIs(hdr_, zipNameLength_, "xl/workbook.xml")) zipNames_ |= kSawExcelMain;
    if (NameIs(hdr_, zipNameLength_, "ppt/presentation.xml")) zipNames_ |= kSawPowerPointMain;
    if (NameStarts(hdr_, "word/")) zipNames_ |= kSawWord;
    if (NameStarts(hdr_, "xl/")) zipNames_ |= kSawExcel;
    if (NameStarts(hdr_, "ppt/")) zipNames_ |= kSawPowerPoint;
  }
  const uint64_t rest = zipNameLength_ - read + zipAfterName_;
  if (zipCentral_) return NextZipRecordAfter(rest);
  if (zipDescriptor_ && zipPackedSize_ == 0) {
    // The size follows the data: the descriptor after it tells where the
    // data ended (checked against the bytes passed); failing that, the end
    // record still tells where the file ends.
    zipDataAt_ = pos_ + rest;
    skipTo_ = zipDataAt_;
    return StartSearch("PK\x07\x08", 4, "PK\x05\x06");
  }
  // Sizes in a zip64 field: the walk cannot step over the data.
  if (zipPackedSize_ == 0xFFFFFFFFu) {
    skipTo_ = pos_ + rest;
    return StartSearch("PK\x05\x06", 4);
  }
  skipTo_ = pos_ + rest + zipPackedSize_;
  step_ = zipDescriptor_ ? kZipDescriptorStart : kZipRecord;
  Gather(4);
}

void FileEndFinder::StepMpeg() {
  const uint8_t* h = hdr_.data();
  switch (step_) {
    case kMpegStart:
      if (h[0] != 0 || h[1] != 0 || h[2] != 1) return Fail();
      if (h[3] == 0xBA) {
        mpegUnitAt_ = hdrAt_;
        return GatherAs(kMpegPack, 8);
      }
      if (h[3] != 0xB3) return Fail();
      // A video elementary stream: no lengths, only start codes.
      mode_ = Mode::kStartCodes;
      esZeros_ = 0;
      esCodeNext_ = false;
      return;
    case kMpegPack:
      // The marker bits of an MPEG-2 pack header, or of an MPEG-1 one.
      if ((h[0] & 0xC4) == 0x44 && (h[2] & 4) && (h[4] & 4) && (h[5] & 1)) return GatherAs(kMpegPack2, 2);
      if ((h[0] & 0xF1) == 0x21 && (h[2] & 1) && (h[4] & 1) && (h[5] & 0x80) && (h[7] & 1))
        return GatherAs(kMpegCode, 4);
      return MpegStop(mpegUnitAt_);
    case kMpegPack2:
      if ((h[0] & 3) != 3) return MpegStop(mpegUnitAt_);
      skipTo_ = pos_ + (h[1] & 7);   // stuffing
      return GatherAs(kMpegCode, 4);
    case kMpegCode: {
      mpegUnitAt_ = hdrAt_;
      if (h[0] != 0 || h[1] != 0 || h[2] != 1) return MpegStop(hdrAt_);
      uint8_t code = h[3];
      if (code == 0xBA) return GatherAs(kMpegPack, 8);
      if (code == 0xB9) return MpegStop(pos_);   // the program's end code
      if (code == 0xBB || code >= 0xBC) return GatherAs(kMpegLength, 2);   // system header, packets
      return MpegStop(hdrAt_);
    }
    case kMpegLength:
      skipTo_ = pos_ + (static_cast<uint32_t>(h[0]) << 8 | h[1]);
      ++mpegUnits_;
      return GatherAs(kMpegCode, 4);
  }
  Fail();
}

void FileEndFinder::MpegStop(uint64_t at) {
  // A pack header alone, with nothing valid after it, is not yet a stream.
  if (mpegUnits_ == 0) return Fail();
  EndAt(at);
}

void FileEndFinder::FeedStartCodes(const uint8_t*& data, size_t& size) {
  while (size > 0 && !done_) {
    if (!esCodeNext_ && esZeros_ == 0) {
      // Nothing pending: on to the next zero byte.
      const void* z = std::memchr(data, 0, size);
      size_t n = z ? static_cast<size_t>(static_cast<const uint8_t*>(z) - data) : size;
      data += n;
      size -= n;
      pos_ += n;
      if (!z) return;
    }
    const uint8_t b = data[0];
    const uint64_t at = pos_;
    ++data;
    --size;
    ++pos_;
    if (esCodeNext_) {
      esCodeNext_ = false;
      if (b == 0xB7) {   // sequence end
        if (mpegUnits_ == 0) return Fail();
        return EndAt(pos_);
      }
      bool video = b <= 0xAF || b == 0xB2 || b == 0xB3 || b == 0xB5 || b == 0xB8;
      if (!video) return MpegStop(esCodeAt_);
      if (b == 0x00 || b == 0xB8) ++mpegUnits_;   // a picture, a group of pictures
      continue;
    }
    if (b == 0) {
      if (esZeros_ == 0) esZeroAt_ = at;
      if (++esZeros_ >= kEsZeroRun) return MpegStop(esZeroAt_);
      continue;
    }
    if (b == 1 && esZeros_ >= 2) {
      esCodeNext_ = true;
      esCodeAt_ = esZeroAt_;
    } else if (esZeros_ >= 3) {
      // Three zero bytes come only before a start code.
      return MpegStop(esZeroAt_);
    }
    esZeros_ = 0;
  }
}

void FileEndFinder::StepMp3() {
  const uint8_t* h = hdr_.data();
  uint32_t kind = 0, length = 0;
  switch (step_) {
    case kMp3Start:
      if (std::memcmp(h, "ID3", 3) == 0) {
        if (h[3] < 2 || h[3] > 4 || ((h[6] | h[7] | h[8] | h[9]) & 0x80)) return Fail();
        uint32_t size = static_cast<uint32_t>(h[6]) << 21 | static_cast<uint32_t>(h[7]) << 14 |
                        static_cast<uint32_t>(h[8]) << 7 | h[9];
        if (h[3] == 4 && (h[5] & 0x10)) size += 10;   // footer
        skipTo_ = pos_ + size;
        return GatherAs(kMp3Frame, 4);
      }
      length = Mp3FrameLength(h, &kind);
      if (length < 10) return Fail();
      mp3Kind_ = kind;
      mp3Frames_ = 1;
      skipTo_ = hdrAt_ + length;
      return GatherAs(kMp3Frame, 4);
    case kMp3Frame:
      length = Mp3FrameLength(h, &kind);
      if (length > 0 && (mp3Frames_ == 0 || kind == mp3Kind_)) {
        mp3Kind_ = kind;
        ++mp3Frames_;
        skipTo_ = hdrAt_ + length;
        return Gather(4);
      }
      if (mp3Frames_ == 0) {
        // Zero bytes after the tag that its size did not count.
        size_t zeros = 0;
        while (zeros < hdr_.size() && h[zeros] == 0) ++zeros;
        mp3Zeros_ += zeros;
        if (zeros == 0 || mp3Zeros_ > (1u << 20)) return Fail();
        hdr_.erase(hdr_.begin(), hdr_.begin() + static_cast<std::ptrdiff_t>(zeros));
        hdrAt_ += zeros;
        return;   // the gather goes on for the rest of the header
      }
      if (std::memcmp(h, "TAG", 3) == 0) {
        mp3TagAt_ = hdrAt_;
        return GatherAs(kMp3Tail, 128 - 4);
      }
      return EndAt(hdrAt_);
    case kMp3Tail:
      return EndAt(pos_);
  }
  Fail();
}

void FileEndFinder::EndAfterUnits(uint64_t at) {
  // An MP4 needs the box of its movie or of its data besides the file type;
  // an FLV, one tag.
  if (boxes_ < 2 || (kind_ == FileEndKind::kIsoMedia && !sawMovie_)) return Fail();
  EndAt(at);
}

void FileEndFinder::StepIsoMedia() {
  const uint8_t* h = hdr_.data();
  uint64_t length = 0;
  if (step_ == kIsoBox) {
    boxAt_ = hdrAt_;
    const uint32_t size = Be32(h);
    // The first box names the file type; a box that is none ends the file.
    const bool first = boxes_ == 0;
    if ((first && std::memcmp(h + 4, "ftyp", 4) != 0) || !IsBoxType(h + 4))
      return first ? Fail() : EndAfterUnits(hdrAt_);
    if (size == 0) return Fail();   // "to the end of the file": which end is not said
    if (size != 1 && size < 8) return first ? Fail() : EndAfterUnits(hdrAt_);
    movieBox_ = std::memcmp(h + 4, "moov", 4) == 0 || std::memcmp(h + 4, "mdat", 4) == 0 ||
                std::memcmp(h + 4, "moof", 4) == 0;
    if (size == 1) return GatherAs(kIsoLargeSize, 8);   // a 64-bit size follows
    length = size;
  } else {
    length = Be64(h);
    if (length < 16 || length > (1ull << 50)) return EndAfterUnits(boxAt_);
  }
  sawMovie_ = sawMovie_ || movieBox_;
  ++boxes_;
  skipTo_ = boxAt_ + length;
  GatherAs(kIsoBox, 8);
}

void FileEndFinder::StepMatroska() {
  const uint8_t* h = hdr_.data();
  switch (step_) {
    case kMkvHeaderSize:
    case kMkvSegmentSize:
      vintLength_ = VintLength(h[0]);
      if (vintLength_ == 0) return Fail();
      ebmlId_ = h[0] & (0xFFu >> vintLength_);   // the value's first bits
      if (vintLength_ == 1) {
        step_ = step_ == kMkvHeaderSize ? kMkvHeaderSizeRest : kMkvSegmentSizeRest;
        hdr_.clear();
        return StepMatroska();
      }
      return GatherAs(step_ == kMkvHeaderSize ? kMkvHeaderSizeRest : kMkvSegmentSizeRest, vintLength_ - 1);
    case kMkvHeaderSizeRest:
    case kMkvSegmentSizeRest: {
      uint64_t value = ebmlId_;
      bool unknown = value == (0xFFu >> vintLength_);
      for (uint8_t b : hdr_) {
        value = value << 8 | b;
        unknown = unknown && b == 0xFF;
      }
      // A size of all ones is "unknown": a stream still being written.
      if (unknown || value > (1ull << 50)) return Fail();
      if (step_ == kMkvHeaderSizeRest) {
        skipTo_ = pos_ + value;
        return GatherAs(kMkvSegmentId, 4);
      }
      return EndAt(pos_ + value);
    }
    case kMkvSegmentId:
      if (Be32(h) != kMatroskaSegmentId) return Fail();
      return GatherAs(kMkvSegmentSize, 1);
  }
  Fail();
}

void FileEndFinder::StepFlv() {
  const uint8_t* h = hdr_.data();
  switch (step_) {
    case kFlvHeader: {
      const uint32_t headerSize = Be32(h + 5);
      if (std::memcmp(h, "FLV", 3) != 0 || headerSize < 9 || headerSize > 1024) return Fail();
      skipTo_ = headerSize;
      return GatherAs(kFlvFirstSize, 4);
    }
    case kFlvFirstSize:
      if (Be32(h) != 0) return Fail();
      boxes_ = 1;
      return GatherAs(kFlvTag, 11);
    case kFlvTag: {
      const uint8_t type = h[0] & 0x1F;
      const uint32_t size = static_cast<uint32_t>(h[1]) << 16 | static_cast<uint32_t>(h[2]) << 8 | h[3];
      const uint32_t stream = static_cast<uint32_t>(h[8]) << 16 | static_cast<uint32_t>(h[9]) << 8 | h[10];
      if ((type != 8 && type != 9 && type != 18) || (h[0] & 0xC0) || stream != 0) return EndAfterUnits(hdrAt_);
      flvTagSize_ = size;
      boxAt_ = hdrAt_;
      skipTo_ = pos_ + size;
      return GatherAs(kFlvTagSize, 4);
    }
    case kFlvTagSize:
      // Each tag is followed by its own length: a tag that disagrees is not one.
      if (Be32(h) != flvTagSize_ + 11) return EndAfterUnits(boxAt_);
      ++boxes_;
      return GatherAs(kFlvTag, 11);
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
        pos_ += used;
        carryLength_ = 0;
        OnSearchHit(pos_ - m, k);
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
      pos_ += used;
      carryLength_ = 0;
      OnSearchHit(pos_ - m, k);
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

void FileEndFinder::OnSearchHit(uint64_t at, int which) {
  if (kind_ == FileEndKind::kPdf) {
    length_ = at + patternLength_;
    eolLeft_ = 2;
    return;
  }
  // A data descriptor (CRC and sizes) to check, or the end record: check it,
  // then take its comment.
  if (std::memcmp(pattern_[which], "PK\x07\x08", 4) == 0) return GatherAs(kZipDescriptorCheck, 12);
  GatherAs(kZipFoundEnd, 18);
}
