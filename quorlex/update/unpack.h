// The update server sends every index text and file as a zlib stream
// (RFC 1950). Unpacking streams from file to file with a ceiling on the
// unpacked size, so a hostile stream cannot fill the disk.
#pragma once

#include <cstdint>
#include <string>

namespace tarn {

// Result of an unpack or check that failed (also a different MD5).
constexpr int kUnpackFailed = 89;

// Ceilings of an unpacked index text and of an unpacked file.
constexpr uint64_t kMaxIndexBytes = 16ull << 20;
constexpr uint64_t kMaxFileBytes = 1ull << 30;

// Unpacks the zlib stream in `from` into `to` (created anew). 0 or
// kUnpackFailed (truncated or corrupt stream, more than maxBytes of output, a
// file that cannot be read or written); on failure `to` is deleted. md5Hex,
// when given, receives the lowercase MD5 of the output.
int UnpackZlibFile(const std::wstring& from, const std::wstring& to, uint64_t maxBytes,
                   std::string* md5Hex = nullptr);

// Lowercase hex MD5 of a file's content; "" when it cannot be read.
std::string Md5OfFile(const std::wstring& path);

}  // namespace tarn
