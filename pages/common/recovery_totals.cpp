#include "recovery_totals.h"

#include <algorithm>

#include <climits>

#include "recovery_road.h"
#include "resource.h"

uint64_t SelectedDeletedSectors(uint32_t* files) {
  uint64_t total = 0;
  uint32_t n = 0;
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  for (const DeletedFileRecord& r : gDeletedFiles) {
    if (!r.selected) continue;
    AddSelectedSize(&total, RecordSize(r));
    ++n;
  }
  if (files) *files = n;
  return total;
}

void SizeText(uint64_t sectors, CString* number, CString* unit) {
  const uint64_t bytes = sectors * 512;
  if (sectors < 2) {
    number->Format("%llu", static_cast<unsigned long long>(bytes));
    *unit = "Byte";
    return;
  }
  int shift;
  if (sectors < 2048) {
    shift = 10;
    *unit = "KB";
  } else if (sectors < 2097152) {
    shift = 20;
    *unit = "MB";
  } else {
    shift = 30;
    *unit = "GB";
  }
  // Two decimals of the unit, cut (not rounded): 1536 bytes are "1.50 KB".
  const uint64_t whole = bytes >> shift;
  const uint64_t rest = bytes & ((uint64_t{1} << shift) - 1);
  const uint64_t hundredths = (rest * 100) >> shift;
  number->Format("%llu.%02llu", static_cast<unsigned long long>(whole), static_cast<unsigned long long>(hundredths));
}

bool DriveFreeBytes(char letter, uint64_t* freeBytes) {
  char root[4] = {letter, ':', '\\', 0};
  ULARGE_INTEGER available = {}, total = {}, free = {};
  if (!GetDiskFreeSpaceExA(root, &available, &total, &free)) return false;
  *freeBytes = available.QuadPart;
  return true;
}

CString FileSizeText(uint64_t size) {
  CString text;
  if (size < 1024)
    text.Format("%llu Byte", static_cast<unsigned long long>(size));
  else
    text.Format("%llu KB", static_cast<unsigned long long>(size >> 10));
  return text;
}

CString RecordSizeText(const DeletedFileRecord& record) {
  CString text = FileSizeText(RecordSize(record));
  if (record.damaged) {
    CString format, marked;
    if (format.LoadString(IDS_RES_SIZE_OVERWRITTEN)) {
      marked.Format(format, text.GetString());
      return marked;
    }
  }
  return text;
}

CString RecordTimeText(const SYSTEMTIME& t) {
  CString text;
  text.Format("%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return text;
}

CString RecordDateText(const SYSTEMTIME& t) {
  CString text;
  text.Format("%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
  return text;
}

void ScaleForBar(uint64_t total, uint64_t done, int* barTotal, int* barDone) {
  if (done > total) done = total;
  while (total > static_cast<uint64_t>(INT_MAX)) {
    total >>= 1;
    done >>= 1;
  }
  *barTotal = static_cast<int>(total);
  *barDone = static_cast<int>(done);
}

void SetCopyOutCounts(RecoveryReportFacts* facts, uint32_t whole, uint32_t damaged, uint32_t failed) {
  const uint32_t chosen = facts->chosen;
  facts->recovered = std::min(whole, chosen);
  facts->damaged = std::min(damaged, chosen - facts->recovered);
  facts->failed = std::min(failed, chosen - facts->recovered - facts->damaged);
  facts->notStarted = chosen - facts->recovered - facts->damaged - facts->failed;
}
