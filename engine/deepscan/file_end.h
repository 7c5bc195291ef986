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
#include <memory>

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

namespace fileend {
struct EndWalk;
class FormatEnd;
}  // namespace fileend

// The walk of one hit's bytes: a small walker per format (deepscan/ends/)
// behind the table of formats, and the moves they share.
class FileEndFinder {
 public:
  explicit FileEndFinder(FileEndKind kind = FileEndKind::kNone);
  ~FileEndFinder();
  FileEndFinder(const FileEndFinder&) = delete;
  FileEndFinder& operator=(const FileEndFinder&) = delete;
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
  bool done() const;
  // The bytes stopped being this file's at length(): the file is damaged
  // (another file's bytes or a file system's structures followed its part).
  bool cut() const;
  // Finish was called while the finder was still inside the file's
  // structure: the file is shorter than its structure says.
  bool ranOut() const;
  // The byte at offset (not yet fed, offset >= fed()) is known to be the
  // file's own: it lies inside a part whose length the finder read (a JPEG
  // segment, a PNG chunk, a zip entry, a compound file's sectors) or it is
  // where the finder expects the file's next structure. Only formats whose
  // walk checks what follows such a part answer yes; their cut() then tells
  // where the trust ends.
  bool Holds(uint64_t offset) const;
  // The file's length in bytes, 0 when unknown. For PDF it is the best
  // length so far (the last "%%EOF" fed), final only once done().
  uint64_t length() const;
  uint64_t fed() const;
  // For a zip: kZipWord, kZipExcel or kZipPowerPoint when the entry names
  // walked so far hold "[Content_Types].xml" and the parts of exactly one
  // Office format, else kZipPlain.
  int OfficeKind() const;

 private:
  std::unique_ptr<fileend::EndWalk> walk_;
  std::unique_ptr<fileend::FormatEnd> format_;
};
