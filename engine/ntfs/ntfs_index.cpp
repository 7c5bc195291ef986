#include "ntfs/ntfs_index.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "bytes.h"
#include "ntfs/ntfs_volume.h"

namespace {

constexpr uint32_t kMaxIndexBlock = 64 * 1024;
constexpr uint64_t kMaxIndexBlocks = 1 << 16;

bool IsI30(const NtfsAttribute& a) {
  static const uint8_t kI30[] = {'$', 0, 'I', 0, '3', 0, '0', 0};
  return a.nameLength == 4 && std::memcmp(a.name, kI30, sizeof kI30) == 0;
}

bool SameName(const NtfsFileName& fn, const wchar_t* name, size_t length) {
  if (fn.length != length) return false;
  wchar_t other[256];
  for (size_t i = 0; i < length; ++i) other[i] = static_cast<wchar_t>(ReadLe16(fn.name + 2 * i));
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, other, static_cast<int>(length), name,
                        static_cast<int>(length)) == CSTR_EQUAL;
}

// Walks the entries between begin and end; collects the references of those
// whose key names `name`.
void CollectMatches(const uint8_t* begin, const uint8_t* end, const wchar_t* name, size_t length,
                    std::vector<uint64_t>* refs) {
  const uint8_t* p = begin;
  while (p + 16 <= end) {
    const uint16_t entryLength = ReadLe16(p + 8);
    const uint16_t keyLength = ReadLe16(p + 10);
    const uint16_t flags = ReadLe16(p + 12);
    if (flags & 2) break;   // the last entry carries no key
    if (entryLength < 16 || entryLength > end - p) break;
    NtfsFileName fn;
    if (keyLength && 16u + keyLength <= entryLength && ParseFileNameValue(p + 16, keyLength, &fn) &&
        SameName(fn, name, length))
      refs->push_back(ReadLe64(p));
    p += entryLength;
  }
}

// The entries of an index header at `header` within [base, base + size).
void CollectFromHeader(const uint8_t* base, size_t size, size_t header, const wchar_t* name, size_t length,
                       std::vector<uint64_t>* refs) {
  if (header + 16 > size) return;
  const uint64_t first = header + static_cast<uint64_t>(ReadLe32(base + header));
  const uint64_t last = header + static_cast<uint64_t>(ReadLe32(base + header + 4));
  if (first >= size || last > size || first >= last) return;
  CollectMatches(base + first, base + last, name, length, refs);
}

bool IsLiveFolder(NtfsVolume& volume, uint64_t ref) {
  uint8_t record[kMftRecordBytes];
  if (!volume.ReadRecord(RefRecord(ref), record)) return false;
  const uint16_t flags = RecordFlags(record);
  if ((flags & kRecordInUse) == 0 || (flags & kRecordIsFolder) == 0) return false;
  return RefSequence(ref) == 0 || RefSequence(ref) == RecordSequence(record);
}

}  // namespace

int64_t FindSubfolder(NtfsVolume& volume, uint64_t folder, const wchar_t* name, size_t length) {
  if (length == 0 || length > 255) return -1;
  uint8_t record[kMftRecordBytes];
  if (!volume.ReadRecord(folder, record)) return -1;
  std::vector<uint64_t> refs;
  NtfsAttribute root, allocation;
  bool haveRoot = false, haveAllocation = false;
  {
    NtfsAttributeWalk walk(record, sizeof record);
    NtfsAttribute a;
    while (walk.Next(&a)) {
      if (a.type == kAttrIndexRoot && !a.nonResident && IsI30(a) && !haveRoot) {
        root = a;
        haveRoot = true;
      } else if (a.type == kAttrIndexAllocation && a.nonResident && IsI30(a) && !haveAllocation) {
        allocation = a;
        haveAllocation = true;
      }
    }
  }
  if (!haveRoot || root.valueLength < 32) return -1;
  CollectFromHeader(root.value, root.valueLength, 16, name, length, &refs);
  for (uint64_t ref : refs)
    if (IsLiveFolder(volume, ref)) return static_cast<int64_t>(RefRecord(ref));
  refs.clear();

  const uint32_t blockSize = ReadLe32(root.value + 8);
  if (!haveAllocation || blockSize < 512 || blockSize > kMaxIndexBlock || blockSize % 512 != 0) return -1;
  // Extents of a large index kept in other records are found the same way as
  // those of a data stream; only the $I30 allocation of this record is read.
  NtfsDataStream stream;
  DecodeRunList(allocation.runList, allocation.runListLength, allocation.lowestVcn, &stream.runs);
  stream.realSize = allocation.realSize;
  stream.initializedSize = std::min(allocation.initializedSize, allocation.realSize);
  NtfsDataReader reader(volume, stream);
  std::vector<uint8_t> block(blockSize);
  const uint64_t blocks = std::min<uint64_t>(stream.realSize / blockSize, kMaxIndexBlocks);
  for (uint64_t i = 0; i < blocks; ++i) {
    if (!reader.Read(i * blockSize, blockSize, block.data())) continue;
    if (std::memcmp(block.data(), "INDX", 4) != 0 || !ApplyUpdateSequence(block.data(), blockSize)) continue;
    CollectFromHeader(block.data(), blockSize, 0x18, name, length, &refs);
    for (uint64_t ref : refs)
      if (IsLiveFolder(volume, ref)) return static_cast<int64_t>(RefRecord(ref));
    refs.clear();
  }
  return -1;
}

int64_t FindNtfsTargetRecord(NtfsVolume& volume, const char* target) {
  if (!target || !target[0] || target[1] != ':') return -1;
  const char* rest = target[2] == '\\' ? target + 3 : target + 2;
  int64_t current = static_cast<int64_t>(kNtfsRootRecord);
  // The target is 8-bit text in the ANSI code page; its components are cut at
  // the backslashes of the wide text, so a trail byte is never taken for one.
  wchar_t wide[512];
  int n = rest[0] ? MultiByteToWideChar(CP_ACP, 0, rest, -1, wide, 512) : 1;
  if (n <= 0) return -1;
  size_t start = 0;
  for (int i = 0; i < n; ++i) {
    if (wide[i] != L'\\' && wide[i] != 0) continue;
    const size_t length = static_cast<size_t>(i) - start;
    if (length) {
      current = FindSubfolder(volume, static_cast<uint64_t>(current), wide + start, length);
      if (current < 0) return -1;
    }
    start = static_cast<size_t>(i) + 1;
  }
  return current;
}
