// Where a found file ends, told from its own structure while its bytes stream
// past: the deep scan feeds each hit the sectors that follow it, and the
// copy-out and the preview feed it the bytes they read, so both agree on one
// length. A format that cannot say where it ends (or bytes that make no sense
// for it) leaves the length unknown, and the hit keeps the extent the scan
// gave it.
//
// Every length and offset comes from the disk: each is checked before use,
// the finder never reads outside what it was fed, and it keeps at most one
// compound-file sector (4 KB) of its own.
//
// Streams of frames or packets (MP3, MPEG) have no size in a header: they end
// where the next frame or packet is not one, or where the source ends on a
// frame's or packet's boundary (Finish).
//
// Where a format lets structure be told from junk (JPEG markers and the
// entropy-coded data between them, PNG chunk CRCs, zip records), bytes that
// break it end the file there: the length is then where the whole part ends
// and cut() is true. A fragmented file is never given as whole with other
// data run on after it; its first piece still comes out, counted damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class FileEndKind {
  kNone,   // no structure the finder knows: the extent is the scan's
  kJpeg,   // markers up to EOI; entropy-coded data searched for its markers
  kPng,    // chunks up to IEND
  kGif,    // blocks and sub-blocks up to the trailer
  kBmp,    // the size in the file header
  kZip,    // local headers, central directory, end record (+ comment); also docx/xlsx/pptx
  kOle,    // compound file: one past the highest sector its allocation table uses
  kRiff,   // the RIFF size (+ OpenDML "AVIX" extensions); avi, wav
  kPdf,    // the last "%%EOF" line (incremental updates append more)
  kMpeg,   // program stream: packs and packets up to the end code or the last
           // valid one; video elementary stream: start codes up to the
           // sequence end code, or up to what no stream can hold
  kMp3,    // ID3v2 tag, MPEG audio frames by their lengths, an ID3v1 tag
  kIsoMedia,   // MP4 and its kin: top-level boxes by their sizes
  kMatroska,   // MKV, WebM: the EBML header, then the segment's size
  kFlv,        // FLV: header, then tags each followed by its own size
};

// The Office Open XML package a zip's own entries name.
constexpr int kZipPlain = 0;
constexpr int kZipWord = 1;          // docx
constexpr int kZipExcel = 2;         // xlsx
constexpr int kZipPowerPoint = 3;    // pptx

// The finder for a hit's type name (the extension: "jpg", "docx", ...).
FileEndKind FileEndKindOfType(const char* type);

class FileEndFinder {
 public:
  explicit FileEndFinder(FileEndKind kind = FileEndKind::kNone) { Reset(kind); }
  void Reset(FileEndKind kind);

  // The next bytes of the file, contiguous with those fed before.
  void Feed(const uint8_t* data, size_t size);
  // The stream has a gap (an unreadable stretch): the end cannot be told
  // any more, unless it already is.
  void Break();
  // The source ends after the bytes fed: a stream of frames or packets that
  // stopped on a boundary ends there; anything else stays unknown.
  void Finish();

  // No more bytes are wanted: the end is known, or cannot be told.
  bool done() const { return done_; }
  // The bytes stopped being this file's at length(): the file is damaged
  // (another file's bytes or a file system's structures followed its part).
  bool cut() const { return cut_; }
  // Finish was called while the finder was still inside the file's
  // structure: the file is shorter than its structure says.
  bool ranOut() const { return ranOut_; }
  // The byte at offset (not yet fed, offset >= fed()) is known to be the
  // file's own: it lies inside a part whose length the finder read (a JPEG
  // segment, a PNG chunk, a zip entry, a compound file's sectors) or it is
  // where the finder expects the file's next structure. Only formats whose
  // walk checks what follows such a part answer yes; their cut() then tells
  // where the trust ends.
  bool Holds(uint64_t offset) const;
  // The file's length in bytes, 0 when unknown. For PDF it is the best
  // length so far (the last "%%EOF" fed), final only once done().
  uint64_t length() const { return length_; }
  uint64_t fed() const { return pos_; }
  // For a zip: kZipWord, kZipExcel or kZipPowerPoint when the entry names
  // walked so far hold "[Content_Types].xml" and the parts of exactly one
  // Office format, else kZipPlain.
  int OfficeKind() const;

 private:
  enum class Mode { kGather, kEntropy, kSearch, kStartCodes };

  void Fail();
  void EndAt(uint64_t length);
  // The structure broke: the whole part is `length` bytes (at least one sector).
  void CutAt(uint64_t length);
  // The sector of `at` is where junk begins: the file ends before it.
  void CutBeforeSectorOf(uint64_t at);
  // The unit beginning at `at` broke: the file ends after the sector it begins in.
  void CutAfterSectorOf(uint64_t at);
  bool LooksLikeFileSystemSector(const uint8_t* head) const;
  void Gather(size_t count);   // the next count bytes go to hdr_, then Step()
  void GatherAs(int step, size_t count);   // step_ = step, then Gather(count)
  void NextZipRecordAfter(uint64_t bytes);  // skips bytes, then reads a record signature
  void Step();
  void StepJpeg();
  void StepPng();
  void StepGif();
  void StepZip();
  void StepOle();
  void StepRiff();
  void StepMpeg();
  void StepMp3();
  void StepIsoMedia();
  void StepMatroska();
  void StepFlv();
  void EndAfterUnits(uint64_t at);   // ends at `at` once a unit or more was walked
  void MpegStop(uint64_t at);
  void FeedStartCodes(const uint8_t*& data, size_t& size);
  void NoteZipName();
  void FeedEntropy(const uint8_t*& data, size_t& size);
  void WalkEntropy(const uint8_t*& data, size_t& size);
  void FeedSearch(const uint8_t*& data, size_t& size);
  // Looks for pattern, or for either of two patterns of the same length.
  void StartSearch(const char* pattern, size_t length, const char* other = nullptr);
  void OnSearchHit(uint64_t at, int which);   // at: offset of the pattern's first byte

  FileEndKind kind_ = FileEndKind::kNone;
  bool done_ = true;
  bool cut_ = false;
  bool ranOut_ = false;
  uint64_t length_ = 0;
  uint64_t pos_ = 0;      // bytes fed so far
  uint64_t skipTo_ = 0;   // bytes before this offset are passed over
  Mode mode_ = Mode::kGather;
  int step_ = 0;          // where the format's reader is
  std::vector<uint8_t> hdr_;
  size_t need_ = 0;
  uint64_t hdrAt_ = 0;    // offset of hdr_[0]

  // JPEG entropy-coded data: a 0xFF was the last byte seen.
  bool pendingFf_ = false;
  uint8_t marker_ = 0;
  uint8_t restartNext_ = 0;   // the restart marker due next in the scan (0..7)
  uint64_t segmentAt_ = 0;    // where the marker segment being walked begins
  // The first bytes of the sector being walked through in entropy-coded data
  // (another file system's structure there ends the picture).
  uint8_t sectorHead_[8] = {};
  size_t sectorHeadLength_ = 0;
  // PNG: the CRC of the chunk being walked, and where the chunk begins.
  uint32_t crc_ = 0;
  uint64_t chunkAt_ = 0;
  // Zip: where the last record whose walk went well begins.
  uint64_t zipRecordAt_ = 0;
  // Pattern search (zip end record or data descriptor, pdf end line).
  char pattern_[2][8] = {};
  int patternCount_ = 0;
  size_t patternLength_ = 0;
  uint8_t carry_[8] = {};
  size_t carryLength_ = 0;
  int eolLeft_ = 0;       // pdf: end-of-line bytes that may still follow "%%EOF"
  bool zipDescriptor_ = false;
  uint32_t zipNameLength_ = 0;   // of the entry whose name is being read
  uint64_t zipAfterName_ = 0;    // bytes of the entry after the part of its name read
  uint64_t zipDataAt_ = 0;       // where the data of an entry sized by its descriptor begins
  uint32_t zipPackedSize_ = 0;
  bool zipCentral_ = false;      // the name being read is a central directory entry's
  uint32_t zipNames_ = 0;        // what the entry names showed (kSaw... bits)
  // MPEG: packets walked, where the unit being read began; for a video
  // elementary stream the zero bytes before the current byte and start codes.
  uint32_t mpegUnits_ = 0;
  uint64_t mpegUnitAt_ = 0;
  uint32_t esZeros_ = 0;
  uint64_t esZeroAt_ = 0;
  bool esCodeNext_ = false;
  uint64_t esCodeAt_ = 0;
  // MP3: frames walked, and what the first frame was (all must agree).
  uint32_t mp3Frames_ = 0;
  uint32_t mp3Kind_ = 0;
  uint64_t mp3Zeros_ = 0;
  uint64_t mp3TagAt_ = 0;
  // MP4: top-level boxes walked, and whether one held the movie or its data.
  uint32_t boxes_ = 0;
  bool sawMovie_ = false;
  bool movieBox_ = false;   // the box being read holds the movie or its data
  uint64_t boxAt_ = 0;      // where the box (or FLV tag) being read begins
  // Matroska: the element whose number is being read, and its size's length.
  uint32_t ebmlId_ = 0;
  uint32_t vintLength_ = 0;
  // FLV: the data size of the tag being walked.
  uint32_t flvTagSize_ = 0;
  // Compound file: the offsets of its allocation-table sectors, in file order.
  struct FatSector {
    uint64_t offset;
    uint32_t index;       // which part of the table it holds
  };
  std::vector<FatSector> fatSectors_;
  size_t fatNext_ = 0;
  uint32_t sectorShift_ = 9;
  int64_t highestUsed_ = -1;
};
