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

namespace {
void AppendNumber(uint64_t n, int width, std::string* out) {
  char digits[24];
  int k = 0;
  do {
    digits[k++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n);
  while (k < width && k < static_cast<int>(sizeof digits)) digits[k++] = '0';
  while (k) out->push_back(digits[--k]);
}
}  // namespace

void AppendFileSizeText(uint64_t size, std::string* out) {
  if (size < 1024) {
    AppendNumber(size, 0, out);
    out->append(" Byte");
  } else {
    AppendNumber(size >> 10, 0, out);
    out->append(" KB");
  }
}

void AppendRecordSizeText(const DeletedFileRecord& record, std::string* out) {
  AppendFileSizeText(RecordSize(record), out);
}

void AppendRecordTimeText(const SYSTEMTIME& t, std::string* out) {
  const WORD parts[6] = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  static const char kAfter[6] = {'-', '-', ' ', ':', ':', 0};
  for (int i = 0; i < 6; ++i) {
    AppendNumber(parts[i], i == 0 ? 4 : 2, out);
    if (kAfter[i]) out->push_back(kAfter[i]);
  }
}

void AppendRecordDateText(const SYSTEMTIME& t, std::string* out) {
  AppendNumber(t.wYear, 4, out);
  out->push_back('-');
  AppendNumber(t.wMonth, 2, out);
  out->push_back('-');
  AppendNumber(t.wDay, 2, out);
}

CString FileSizeText(uint64_t size) {
  std::string plain;
  AppendFileSizeText(size, &plain);
  return CString(plain.c_str());
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
  std::string text;
  AppendRecordTimeText(t, &text);
  return CString(text.c_str());
}

CString RecordDateText(const SYSTEMTIME& t) {
  std::string text;
  AppendRecordDateText(t, &text);
  return CString(text.c_str());
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
