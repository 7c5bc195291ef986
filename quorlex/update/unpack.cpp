#include "unpack.h"

#include <windows.h>
#include <zlib.h>

#include <vector>

#include "hashing.h"

namespace tarn {

namespace {

constexpr DWORD kChunk = 64 * 1024;

class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  void close() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

bool WriteAll(HANDLE h, const unsigned char* data, size_t size) {
  while (size > 0) {
    DWORD done = 0;
    DWORD n = size > kChunk ? kChunk : (DWORD)size;
    if (!WriteFile(h, data, n, &done, nullptr) || done != n) return false;
    data += n;
    size -= n;
  }
  return true;
}

// Inflates in to out; true when the stream ended within the ceiling.
bool Inflate(HANDLE in, HANDLE out, uint64_t maxBytes, Md5Context* md5) {
  z_stream z = {};
  if (inflateInit(&z) != Z_OK) return false;
  std::vector<unsigned char> input(kChunk), output(kChunk);
  uint64_t total = 0;
  bool ended = false, failed = false;
  while (!ended && !failed) {
    DWORD got = 0;
    if (!ReadFile(in, input.data(), kChunk, &got, nullptr)) {
      failed = true;
      break;
    }
    if (got == 0) break;  // the input ends before the stream does
    z.next_in = input.data();
    z.avail_in = got;
    while (z.avail_in > 0 && !ended) {
      z.next_out = output.data();
      z.avail_out = kChunk;
      int rc = inflate(&z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END) {
        failed = true;  // data, dictionary or memory error
        break;
      }
      size_t produced = kChunk - z.avail_out;
      total += produced;
      if (total > maxBytes || !WriteAll(out, output.data(), produced)) {
        failed = true;
        break;
      }
      if (md5) Md5Update(md5, output.data(), produced);
      if (rc == Z_STREAM_END) ended = true;
      else if (produced == 0 && z.avail_in > 0) {
        failed = true;  // no progress with input left: cannot happen in a sound stream
        break;
      }
    }
  }
  inflateEnd(&z);
  return ended && !failed;
}

}  // namespace

int UnpackZlibFile(const std::wstring& from, const std::wstring& to, uint64_t maxBytes,
                   std::string* md5Hex) {
  FileHandle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.ok()) return kUnpackFailed;
  FileHandle out(CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.ok()) return kUnpackFailed;
  Md5Context md5;
  Md5Init(&md5);
  bool ok = Inflate(in.get(), out.get(), maxBytes, &md5);
  out.close();
  if (!ok) {
    DeleteFileW(to.c_str());
    return kUnpackFailed;
  }
  unsigned char digest[16];
  Md5Final(&md5, digest);
  if (md5Hex) *md5Hex = HexText(digest, sizeof digest);
  return 0;
}

std::string Md5OfFile(const std::wstring& path) {
  FileHandle in(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.ok()) return std::string();
  Md5Context md5;
  Md5Init(&md5);
  std::vector<unsigned char> block(kChunk);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.get(), block.data(), kChunk, &got, nullptr)) return std::string();
    if (got == 0) break;
    Md5Update(&md5, block.data(), got);
  }
  unsigned char digest[16];
  Md5Final(&md5, digest);
  return HexText(digest, sizeof digest);
}

}  // namespace tarn
