#include "hashing.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "params.h"

namespace tarn {

uint32_t Crc32(const void* data, size_t size) {
  if (!data) return 0;
  uLong crc = crc32(0L, Z_NULL, 0);
  const Bytef* p = static_cast<const Bytef*>(data);
  // zlib takes 32-bit lengths on some targets; feed it in slices.
  while (size > 0) {
    uInt n = size > 0x40000000u ? 0x40000000u : (uInt)size;
    crc = crc32(crc, p, n);
    p += n;
    size -= n;
  }
  return (uint32_t)crc;
}

std::string CrcText(const std::string& text) {
  char out[9];
  snprintf(out, sizeof out, "%08X", (unsigned)Crc32(text.data(), text.size()));
  return out;
}

// ---- MD5 (RFC 1321) --------------------------------------------------------

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

const uint32_t kMd5K[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};
const int kMd5S[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                       5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                       4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                       6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

void Md5Block(uint32_t state[4], const unsigned char block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = (uint32_t)block[i * 4] | (uint32_t)block[i * 4 + 1] << 8 |
           (uint32_t)block[i * 4 + 2] << 16 | (uint32_t)block[i * 4 + 3] << 24;
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t next = b + Rotl(a + f + kMd5K[i] + m[g], kMd5S[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void Md5Init(Md5Context* ctx) {
  ctx->state[0] = 0x67452301;
  ctx->state[1] = 0xefcdab89;
  ctx->state[2] = 0x98badcfe;
  ctx->state[3] = 0x10325476;
  ctx->bits = 0;
  memset(ctx->buffer, 0, sizeof ctx->buffer);
}

void Md5Update(Md5Context* ctx, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  size_t used = (size_t)(ctx->bits / 8 % 64);
  ctx->bits += (uint64_t)size * 8;
  if (used) {
    size_t take = 64 - used < size ? 64 - used : size;
    memcpy(ctx->buffer + used, p, take);
    used += take;
    p += take;
    size -= take;
    if (used < 64) return;
    Md5Block(ctx->state, ctx->buffer);
  }
  for (; size >= 64; p += 64, size -= 64) Md5Block(ctx->state, p);
  memcpy(ctx->buffer, p, size);
}

void Md5Final(Md5Context* ctx, unsigned char digest[16]) {
  unsigned char length[8];
  for (int i = 0; i < 8; ++i) length[i] = (unsigned char)(ctx->bits >> (8 * i));
  static const unsigned char pad[64] = {0x80};
  size_t used = (size_t)(ctx->bits / 8 % 64);
  Md5Update(ctx, pad, used < 56 ? 56 - used : 120 - used);
  Md5Update(ctx, length, 8);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) digest[i * 4 + j] = (unsigned char)(ctx->state[i] >> (8 * j));
  volatile unsigned char* wipe = reinterpret_cast<volatile unsigned char*>(ctx);
  for (size_t i = 0; i < sizeof *ctx; ++i) wipe[i] = 0;
}

void Md5(const void* data, size_t size, unsigned char digest[16]) {
  Md5Context ctx;
  Md5Init(&ctx);
  Md5Update(&ctx, data, size);
  Md5Final(&ctx, digest);
}

std::string HexText(const unsigned char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

std::string Md5Hex(const void* data, size_t size) {
  unsigned char digest[16];
  Md5(data, size, digest);
  return HexText(digest, 16);
}

// ---- Base64 ----------------------------------------------------------------

std::string Base64Encode(const void* data, size_t size) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (!p && size) return std::string();
  std::string out;
  out.reserve(4 * ((size + 2) / 3));
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    uint32_t v = (uint32_t)p[i] << 16 | (uint32_t)p[i + 1] << 8 | p[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (size - i == 1) {
    uint32_t v = (uint32_t)p[i] << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (size - i == 2) {
    uint32_t v = (uint32_t)p[i] << 16 | (uint32_t)p[i + 1] << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

// ---- signing ---------------------------------------------------------------

std::string SignParams(const TarnParams& params, const char* salt) {
  std::string p = params.Serialize();
  std::string crc = CrcText(p + "&c=" + (salt ? salt : ""));
  return p + "&c=" + crc;
}

}  // namespace tarn
