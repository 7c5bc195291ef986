#include "partition_fixture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "disk/raw.h"
#include "partition/partition_table.h"
#include "testsupport.h"

namespace partfix {

namespace {

std::string DiskPath(int disk) {
  char path[32];
  MakeDiskPath(disk, path);
  return path;
}

bool ReadFileAt(const std::string& path, uint64_t offset, void* out, size_t size) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(offset);
  DWORD got = 0;
  bool ok = SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && ReadFile(h, out, static_cast<DWORD>(size), &got, nullptr) &&
            got == size;
  CloseHandle(h);
  return ok;
}

}  // namespace

std::vector<uint8_t> ReadSectors(int disk, uint64_t lba, uint32_t count) {
  std::vector<uint8_t> data(static_cast<size_t>(count) * 512);
  EXPECT_EQ(ReadDiskSectors(DiskPath(disk).c_str(), lba, count, data.data()), 0) << "disk " << disk << " lba " << lba;
  return data;
}

void WriteSectors(int disk, uint64_t lba, const std::vector<uint8_t>& data) {
  ASSERT_EQ(data.size() % 512, 0u);
  ASSERT_EQ(WriteDiskSectors(DiskPath(disk).c_str(), lba, static_cast<uint32_t>(data.size() / 512), data.data()), 0);
}

void WipeTableEntries(int disk) {
  std::vector<uint8_t> s = ReadSectors(disk, 0, 1);
  std::fill(s.begin() + 446, s.begin() + 510, 0);
  WriteSectors(disk, 0, s);
}

std::vector<uint8_t> FixtureSectors(const std::string& fixture, uint64_t lba, uint32_t count) {
  std::vector<uint8_t> data(static_cast<size_t>(count) * 512);
  EXPECT_TRUE(ReadFileAt(testsupport::FixtureImage(fixture), lba * 512, data.data(), data.size()));
  return data;
}

std::vector<SfdiskPartition> ReadSfdisk(const std::string& fixture) {
  std::string text;
  EXPECT_TRUE(testsupport::ReadWholeFile(testsupport::FixtureDir(fixture) + "sfdisk.txt", &text));
  std::vector<SfdiskPartition> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(" : start=");
    if (colon == std::string::npos) continue;
    SfdiskPartition p;
    size_t digits = colon;
    while (digits > 0 && isdigit(static_cast<unsigned char>(line[digits - 1]))) --digits;
    p.number = std::atoi(line.c_str() + digits);
    unsigned long long start = 0, size = 0;
    unsigned type = 0;
    std::sscanf(line.c_str() + colon, " : start= %llu, size= %llu, type=%x", &start, &size, &type);
    p.start = start;
    p.size = size;
    p.type = type;
    p.bootable = line.find("bootable") != std::string::npos;
    out.push_back(p);
  }
  EXPECT_FALSE(out.empty()) << "no partitions in sfdisk.txt of " << fixture;
  return out;
}

std::vector<TestdiskPartition> ReadTestdisk(const std::string& fixture) {
  std::string text;
  EXPECT_TRUE(testsupport::ReadWholeFile(testsupport::FixtureDir(fixture) + "testdisk.tsv", &text));
  std::vector<TestdiskPartition> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    TestdiskPartition p;
    unsigned long long start = 0, size = 0;
    if (std::sscanf(line.c_str(), "%c\t%llu\t%llu", &p.kind, &start, &size) != 3) continue;
    p.start = start;
    p.size = size;
    out.push_back(p);
  }
  EXPECT_FALSE(out.empty()) << "no partitions in testdisk.tsv of " << fixture;
  return out;
}

std::vector<uint64_t> DifferingSectors(int disk, const std::string& fixture) {
  std::vector<uint64_t> out;
  std::string mine = testsupport::MappedDisk(disk), theirs = testsupport::FixtureImage(fixture);
  HANDLE a = CreateFileA(mine.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  HANDLE b = CreateFileA(theirs.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  EXPECT_NE(a, INVALID_HANDLE_VALUE);
  EXPECT_NE(b, INVALID_HANDLE_VALUE);
  if (a == INVALID_HANDLE_VALUE || b == INVALID_HANDLE_VALUE) return {UINT64_MAX};
  std::vector<uint8_t> x(4 << 20), y(4 << 20);
  uint64_t sector = 0;
  for (;;) {
    DWORD gx = 0, gy = 0;
    ReadFile(a, x.data(), static_cast<DWORD>(x.size()), &gx, nullptr);
    ReadFile(b, y.data(), static_cast<DWORD>(y.size()), &gy, nullptr);
    if (gx != gy) {
      out.push_back(UINT64_MAX);   // lengths differ
      break;
    }
    if (gx == 0) break;
    if (std::memcmp(x.data(), y.data(), gx) != 0) {
      for (DWORD off = 0; off < gx && out.size() < 64; off += 512)
        if (std::memcmp(x.data() + off, y.data() + off, std::min<DWORD>(512, gx - off)) != 0)
          out.push_back(sector + off / 512);
    }
    sector += gx / 512;
    if (out.size() >= 64) break;
  }
  CloseHandle(a);
  CloseHandle(b);
  return out;
}

std::vector<uint64_t> PartitionStarts(int disk) {
  std::vector<uint64_t> starts;
  std::vector<uint8_t> s0 = ReadSectors(disk, 0, 1);
  for (unsigned i = 0; i < 4; ++i) {
    PartitionEntry e = ReadPartitionEntry(s0.data(), i);
    if (IsEmptyEntry(e)) continue;
    if (!IsExtendedType(e.type)) {
      starts.push_back(e.startLba);
      continue;
    }
    uint64_t first = e.startLba, current = first;
    for (int n = 0; n < 64; ++n) {
      std::vector<uint8_t> ebr = ReadSectors(disk, current, 1);
      PartitionEntry logical = ReadPartitionEntry(ebr.data(), 0);
      if (!IsEmptyEntry(logical)) starts.push_back(current + logical.startLba);
      PartitionEntry link = ReadPartitionEntry(ebr.data(), 1);
      if (!IsExtendedType(link.type)) break;
      current = first + link.startLba;
    }
  }
  std::sort(starts.begin(), starts.end());
  return starts;
}

void RemoveKeptRestoreCopies() {
  char folder[MAX_PATH];
  const DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n >= sizeof folder) return;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((std::string(folder) + "DISK*-BEFORE-RESTORE-*.VXB").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    DeleteFileA((std::string(folder) + fd.cFileName).c_str());
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

}  // namespace partfix
