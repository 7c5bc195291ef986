// Zip (and docx, xlsx, pptx): local headers and their entries, the central
// directory, the end record and its comment. A record missing where the walk
// expects one is where the archive's own bytes stopped: the entries before the
// one that ran into other bytes are whole. Entries sized only by a data
// descriptor, or in zip64 fields, are passed by searching.
#include <algorithm>

#include "bytes.h"
#include "deepscan/ends/format_end.h"

namespace fileend {
namespace {

// Record signatures ("PK" and two bytes).
constexpr uint32_t kZipLocal = 0x04034b50;
constexpr uint32_t kZipCentral = 0x02014b50;
constexpr uint32_t kZipEnd = 0x06054b50;
constexpr uint32_t kZip64End = 0x06064b50;
constexpr uint32_t kZip64Locator = 0x07064b50;
constexpr uint32_t kZipSignature = 0x05054b50;
constexpr uint32_t kZipExtraData = 0x08064b50;
constexpr uint32_t kZipDescriptor = 0x08074b50;

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

// What the names of the entries showed.
constexpr uint32_t kSawContentTypes = 1;
constexpr uint32_t kSawWordMain = 2, kSawExcelMain = 4, kSawPowerPointMain = 8;
constexpr uint32_t kSawWord = 16, kSawExcel = 32, kSawPowerPoint = 64;
// Enough of an entry's name to tell the Office parts apart.
constexpr size_t kZipNameLook = 64;

bool NameIs(const std::vector<uint8_t>& name, uint32_t fullLength, const char* text) {
  size_t n = std::strlen(text);
  return fullLength == n && name.size() == n && std::memcmp(name.data(), text, n) == 0;
}

bool NameStarts(const std::vector<uint8_t>& name, const char* text) {
  size_t n = std::strlen(text);
  return name.size() >= n && std::memcmp(name.data(), text, n) == 0;
}

class ZipEnd : public FormatEnd {
 public:
  void Start(EndWalk& w) override { w.Gather(4); }
  void Step(EndWalk& w) override;
  void OnSearchHit(EndWalk& w, uint64_t at, int which) override {
    (void)at;
    // A data descriptor (CRC and sizes) to check, or the end record: check
    // it, then take its comment.
    if (which == 0 && descriptorSearch_) return w.GatherAs(kZipDescriptorCheck, 12);
    w.GatherAs(kZipFoundEnd, 18);
  }
  bool Holds(const EndWalk& w, uint64_t offset) const override { return HoldsByWalk(w, offset); }
  int OfficeKind() const override;

 private:
  void NoteName(EndWalk& w);
  void NextRecordAfter(EndWalk& w, uint64_t bytes) {
    w.skipTo = w.pos + bytes;
    w.GatherAs(kZipRecord, 4);
  }
  void SearchDescriptorOrEnd(EndWalk& w) {
    descriptorSearch_ = true;
    w.StartSearch("PK\x07\x08", 4, "PK\x05\x06");
  }
  void SearchEnd(EndWalk& w) {
    descriptorSearch_ = false;
    w.StartSearch("PK\x05\x06", 4);
  }

  bool descriptor_ = false;
  bool descriptorSearch_ = false;   // the search is for a descriptor or the end record
  uint32_t nameLength_ = 0;         // of the entry whose name is being read
  uint64_t afterName_ = 0;          // bytes of the entry after the part of its name read
  uint64_t dataAt_ = 0;             // where the data of an entry sized by its descriptor begins
  uint32_t packedSize_ = 0;
  bool central_ = false;            // the name being read is a central directory entry's
  uint32_t names_ = 0;              // what the entry names showed (kSaw... bits)
  uint64_t recordAt_ = 0;           // where the last record whose walk went well begins
};

void ZipEnd::Step(EndWalk& w) {
  const uint8_t* h = w.hdr.data();
  switch (w.step) {
    case kZipRecord: {
      const uint64_t lastRecord = recordAt_;
      recordAt_ = w.hdrAt;
      switch (ReadLe32(h)) {
        case kZipLocal:
          return w.GatherAs(kZipLocalRest, 26);
        case kZipCentral:
          return w.GatherAs(kZipCentralRest, 42);
        case kZipEnd:
          return w.GatherAs(kZipEndRest, 18);
        case kZip64End:
          return w.GatherAs(kZip64EndSize, 8);
        case kZip64Locator:
          w.skipTo = w.pos + 16;
          return w.Gather(4);
        case kZipSignature:
          return w.GatherAs(kZipSignatureSize, 2);
        case kZipExtraData:
          return w.GatherAs(kZipExtraSize, 4);
        default:
          // Not a record where one should be: the entry before it ran into
          // other bytes, and the entries before that one are what is whole.
          return w.CutAfterSectorOf(lastRecord);
      }
    }
    case kZipLocalRest: {
      uint16_t flags = ReadLe16(h + 2);
      packedSize_ = ReadLe32(h + 14);
      descriptor_ = (flags & 8) != 0;
      central_ = false;
      nameLength_ = ReadLe16(h + 22);
      afterName_ = ReadLe16(h + 24);   // the extra field; the data follows
      if (nameLength_ == 0) return NoteName(w);
      return w.GatherAs(kZipName, std::min<size_t>(nameLength_, kZipNameLook));
    }
    case kZipName:
      return NoteName(w);
    case kZipDescriptorCheck: {
      // A descriptor of this entry holds the size of the data before it; the
      // same bytes inside the data are a coincidence, and the search goes on.
      uint64_t packed = w.hdrAt - 4 - dataAt_;
      if (ReadLe32(h + 4) == static_cast<uint32_t>(packed)) {
        if (packed <= 0xFFFFFFFFu) return NextRecordAfter(w, 0);
        if (ReadLe32(h + 8) == static_cast<uint32_t>(packed >> 32)) return NextRecordAfter(w, 8);   // zip64 sizes
      }
      return SearchDescriptorOrEnd(w);
    }
    case kZipDescriptorStart:
      // CRC, sizes; with or without a signature of its own.
      return NextRecordAfter(w, ReadLe32(h) == kZipDescriptor ? 12 : 8);
    case kZipCentralRest: {
      central_ = true;
      nameLength_ = ReadLe16(h + 24);
      afterName_ = static_cast<uint32_t>(ReadLe16(h + 26)) + ReadLe16(h + 28);   // extra field, comment
      if (nameLength_ == 0) return NoteName(w);
      return w.GatherAs(kZipName, std::min<size_t>(nameLength_, kZipNameLook));
    }
    case kZipEndRest:
      return w.EndAt(w.pos + ReadLe16(h + 16));
    case kZip64EndSize: {
      uint64_t size = static_cast<uint64_t>(ReadLe32(h)) | static_cast<uint64_t>(ReadLe32(h + 4)) << 32;
      if (size > (1ull << 32)) return w.Fail();
      return NextRecordAfter(w, size);
    }
    case kZipSignatureSize:
      return NextRecordAfter(w, ReadLe16(h));
    case kZipExtraSize:
      return NextRecordAfter(w, ReadLe32(h));
    case kZipFoundEnd: {
      // An end record found by searching must point back at its central
      // directory, which ends where the record begins.
      uint64_t at = w.hdrAt - 4;
      uint32_t cdSize = ReadLe32(h + 8), cdOffset = ReadLe32(h + 12);
      if (cdOffset == 0xFFFFFFFFu || static_cast<uint64_t>(cdOffset) + cdSize == at)
        return w.EndAt(w.pos + ReadLe16(h + 16));
      return SearchEnd(w);
    }
  }
  w.Fail();
}

void ZipEnd::NoteName(EndWalk& w) {
  const uint32_t read = w.step == kZipName ? static_cast<uint32_t>(w.hdr.size()) : 0;
  if (read > 0) {
    if (NameIs(w.hdr, nameLength_, "[Content_Types].xml")) names_ |= kSawContentTypes;
    if (NameIs(w.hdr, nameLength_, "word/document.xml")) names_ |= kSawWordMain;
    if (NameIs(w.hdr, nameLength_, "xl/workbook.xml")) names_ |= kSawExcelMain;
    if (NameIs(w.hdr, nameLength_, "ppt/presentation.xml")) names_ |= kSawPowerPointMain;
    if (NameStarts(w.hdr, "word/")) names_ |= kSawWord;
    if (NameStarts(w.hdr, "xl/")) names_ |= kSawExcel;
    if (NameStarts(w.hdr, "ppt/")) names_ |= kSawPowerPoint;
  }
  const uint64_t rest = nameLength_ - read + afterName_;
  if (central_) return NextRecordAfter(w, rest);
  if (descriptor_ && packedSize_ == 0) {
    // The size follows the data: the descriptor after it tells where the
    // data ended (checked against the bytes passed); failing that, the end
    // record still tells where the file ends.
    dataAt_ = w.pos + rest;
    w.skipTo = dataAt_;
    return SearchDescriptorOrEnd(w);
  }
  // Sizes in a zip64 field: the walk cannot step over the data.
  if (packedSize_ == 0xFFFFFFFFu) {
    w.skipTo = w.pos + rest;
    return SearchEnd(w);
  }
  w.skipTo = w.pos + rest + packedSize_;
  w.step = descriptor_ ? kZipDescriptorStart : kZipRecord;
  w.Gather(4);
}

int ZipEnd::OfficeKind() const {
  if (!(names_ & kSawContentTypes)) return kZipPlain;
  auto only = [](uint32_t word, uint32_t excel, uint32_t powerPoint, int* kind) {
    int n = (word != 0) + (excel != 0) + (powerPoint != 0);
    if (n != 1) return false;
    *kind = word ? kZipWord : excel ? kZipExcel : kZipPowerPoint;
    return true;
  };
  int kind = kZipPlain;
  // The main part decides; a package with none of them, the folders.
  if (only(names_ & kSawWordMain, names_ & kSawExcelMain, names_ & kSawPowerPointMain, &kind)) return kind;
  if (names_ & (kSawWordMain | kSawExcelMain | kSawPowerPointMain)) return kZipPlain;
  if (only(names_ & kSawWord, names_ & kSawExcel, names_ & kSawPowerPoint, &kind)) return kind;
  return kZipPlain;
}

}  // namespace

std::unique_ptr<FormatEnd> MakeZipEnd() { return std::unique_ptr<FormatEnd>(new ZipEnd); }

}  // namespace fileend
