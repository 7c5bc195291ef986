// Digests and encodings of the request texts: CRC-32 (zlib's), MD5, Base64,
// and the one signing scheme: a CRC over the parameters and a secret salt,
// appended as the parameter c.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarn {

class TarnParams;

// CRC-32 (IEEE, reflected, as zlib computes it); 0 for null data.
uint32_t Crc32(const void* data, size_t size);
// "%08X" of the CRC-32 of text.
std::string CrcText(const std::string& text);

struct Md5Context {
  uint32_t state[4];
  uint64_t bits;
  unsigned char buffer[64];
};
void Md5Init(Md5Context* ctx);
void Md5Update(Md5Context* ctx, const void* data, size_t size);
// Fills the 16-byte digest and wipes the context.
void Md5Final(Md5Context* ctx, unsigned char digest[16]);
void Md5(const void* data, size_t size, unsigned char digest[16]);
// Two lowercase hex digits per byte.
std::string HexText(const unsigned char* bytes, size_t size);
std::string Md5Hex(const void* data, size_t size);
inline std::string Md5Hex(const std::string& text) { return Md5Hex(text.data(), text.size()); }

// RFC 4648 alphabet, '=' padding, no line breaks.
std::string Base64Encode(const void* data, size_t size);
inline std::string Base64Encode(const std::string& bytes) {
  return Base64Encode(bytes.data(), bytes.size());
}

// p + "&c=" + CrcText(p + "&c=" + salt), p the serialised list.
std::string SignParams(const TarnParams& params, const char* salt);

}  // namespace tarn
