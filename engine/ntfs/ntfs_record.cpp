#include "ntfs/ntfs_record.h"

#include <cstring>

#include "bytes.h"

bool ApplyUpdateSequence(uint8_t* buffer, size_t size) {
  if (size < 512 || size % 512 != 0) return false;
  const size_t sectors = size / 512;
  const size_t offset = ReadLe16(buffer + 4);
  const size_t count = ReadLe16(buffer + 6);
  // One entry for the sequence number and one per sector, inside the first
  // sector and clear of its own fix-up position.
  if (count != sectors + 1) return false;
  if (offset < 8 || offset % 2 != 0 || offset + 2 * count > 510) return false;
  const uint8_t* array = buffer + offset;
  for (size_t i = 1; i < count; ++i) {
    uint8_t* tail = buffer + i * 512 - 2;
    tail[0] = array[2 * i];
    tail[1] = array[2 * i + 1];
  }
  return true;
}

bool HasFileMagic(const uint8_t* record) { return std::memcmp(record, "FILE", 4) == 0; }

uint64_t RecordBaseReference(const uint8_t* record) { return ReadLe64(record + 32); }

bool PrepareFileRecord(uint8_t* record) {
  return HasFileMagic(record) && ApplyUpdateSequence(record, kMftRecordBytes);
}

NtfsAttributeWalk::NtfsAttributeWalk(const uint8_t* record, size_t size)
    : record_(record), limit_(size), offset_(size >= 24 ? ReadLe16(record + 20) : size) {}

bool NtfsAttributeWalk::Next(NtfsAttribute* out) {
  if (done_) return false;
  auto fail = [this] {
    done_ = true;
    malformed_ = true;
    return false;
  };
  if (offset_ + 4 > limit_) return fail();
  const uint8_t* a = record_ + offset_;
  const uint32_t type = ReadLe32(a);
  if (type == kAttrEnd) {
    done_ = true;
    return false;
  }
  if (offset_ + 16 > limit_) return fail();
  const uint32_t length = ReadLe32(a + 4);
  if (length < 16 || length > limit_ - offset_) return fail();
  NtfsAttribute attr;
  attr.header = a;
  attr.type = type;
  attr.length = length;
  attr.nonResident = a[8] != 0;
  if (length < (attr.nonResident ? 64u : 24u)) return fail();
  attr.nameLength = a[9];
  attr.flags = ReadLe16(a + 12);
  attr.id = ReadLe16(a + 14);
  if (attr.nameLength) {
    const size_t nameOffset = ReadLe16(a + 10);
    if (nameOffset + 2u * attr.nameLength > length) return fail();
    attr.name = a + nameOffset;
  }
  if (!attr.nonResident) {
    const uint64_t valueLength = ReadLe32(a + 16);
    const uint64_t valueOffset = ReadLe16(a + 20);
    if (valueOffset + valueLength > length) return fail();
    attr.value = a + valueOffset;
    attr.valueLength = static_cast<uint32_t>(valueLength);
  } else {
    const size_t runOffset = ReadLe16(a + 32);
    if (runOffset < 64 || runOffset > length) return fail();
    attr.lowestVcn = ReadLe64(a + 16);
    attr.highestVcn = ReadLe64(a + 24);
    attr.runList = a + runOffset;
    attr.runListLength = length - runOffset;
    attr.compressionUnit = ReadLe16(a + 34);
    attr.allocatedSize = ReadLe64(a + 40);
    attr.realSize = ReadLe64(a + 48);
    attr.initializedSize = ReadLe64(a + 56);
  }
  offset_ += length;
  *out = attr;
  return true;
}

bool FindAttribute(const uint8_t* record, size_t size, uint32_t type, bool unnamedOnly, NtfsAttribute* out) {
  NtfsAttributeWalk walk(record, size);
  NtfsAttribute a;
  while (walk.Next(&a)) {
    if (a.type == type && (!unnamedOnly || a.nameLength == 0)) {
      *out = a;
      return true;
    }
  }
  return false;
}

bool ParseFileNameValue(const uint8_t* value, size_t length, NtfsFileName* out) {
  if (!value || length < 0x42) return false;
  NtfsFileName fn;
  fn.parentRef = ReadLe64(value);
  fn.fileAttributes = ReadLe32(value + 0x38);
  fn.length = value[0x40];
  fn.nameSpace = value[0x41];
  if (fn.length == 0 || 0x42u + 2u * fn.length > length) return false;
  fn.name = value + 0x42;
  *out = fn;
  return true;
}

bool ChooseFileName(const uint8_t* record, size_t size, NtfsFileName* out) {
  NtfsAttributeWalk walk(record, size);
  NtfsAttribute a;
  bool haveDos = false;
  NtfsFileName dos;
  while (walk.Next(&a)) {
    if (a.type != kAttrFileName || a.nonResident) continue;
    NtfsFileName fn;
    if (!ParseFileNameValue(a.value, a.valueLength, &fn)) continue;
    if (fn.nameSpace != 2) {
      *out = fn;
      return true;
    }
    if (!haveDos) {
      dos = fn;
      haveDos = true;
    }
  }
  if (haveDos) *out = dos;
  return haveDos;
}

bool ReadStandardTimes(const uint8_t* record, size_t size, NtfsTimes* out) {
  NtfsAttributeWalk walk(record, size);
  NtfsAttribute a;
  if (!walk.Next(&a) || a.type != kAttrStandardInformation || a.nonResident || a.valueLength < 32) return false;
  auto filetime = [](const uint8_t* p) {
    FILETIME ft;
    ft.dwLowDateTime = ReadLe32(p);
    ft.dwHighDateTime = ReadLe32(p + 4);
    return ft;
  };
  out->created = filetime(a.value);
  out->modified = filetime(a.value + 8);
  out->accessed = filetime(a.value + 24);
  return true;
}

bool NtfsNameToComponent(const uint8_t* utf16le, size_t chars, char* out, size_t outSize) {
  if (!out || outSize < 2) return false;
  out[0] = 0;
  if (!utf16le || chars == 0 || chars > 255) return false;
  wchar_t name[256];
  bool onlyDotsAndSpaces = true;
  for (size_t i = 0; i < chars; ++i) {
    wchar_t c = static_cast<wchar_t>(ReadLe16(utf16le + 2 * i));
    // A POSIX name may hold what Windows reads as a separator, a stream or a
    // drive; none of them may reach a path.
    if (c == L'\\' || c == L'/' || c == L':' || c < 0x20) c = L'_';
    if (c != L'.' && c != L' ') onlyDotsAndSpaces = false;
    name[i] = c;
  }
  if (onlyDotsAndSpaces) {
    for (size_t i = 0; i < chars; ++i)
      if (name[i] == L'.') name[i] = L'_';
  }
  int n = WideCharToMultiByte(CP_OEMCP, 0, name, static_cast<int>(chars), out, static_cast<int>(outSize - 1),
                              nullptr, nullptr);
  if (n <= 0) {
    out[0] = 0;
    return false;
  }
  out[n] = 0;
  return true;
}

uint32_t NtfsNameHash(const char* component) {
  // FNV-1a: names differ in their bytes; nothing here needs to resist a
  // chosen collision, since the sequence number is compared too.
  uint32_t h = 2166136261u;
  for (const uint8_t* p = reinterpret_cast<const uint8_t*>(component); *p; ++p) h = (h ^ *p) * 16777619u;
  return h;
}
